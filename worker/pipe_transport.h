// The connection's stream over one connected pipe instance (blocking I/O).
#pragma once

#include <windows.h>

#include "worker/connection.h"

namespace Quellmar::worker {

class PipeTransport : public Transport {
 public:
  explicit PipeTransport(HANDLE pipe) : pipe_(pipe) {}
  bool ReadExact(void* data, size_t size) override;
  bool WriteAll(const void* data, size_t size) override;
  bool Peek(uint32_t& available) override;

 private:
  HANDLE pipe_;
};

}  // namespace Quellmar::worker
