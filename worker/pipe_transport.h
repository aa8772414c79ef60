// The connection's stream over one connected pipe instance. The instances
// are created for overlapped operation (so that accepting can wait), which
// obliges every read and write to carry an OVERLAPPED; this transport waits
// for each one to finish, so the connection reads and writes as if blocking.
#pragma once

#include <windows.h>

#include "common/win_handles.h"
#include "worker/connection.h"

namespace Quellmar::worker {

class PipeTransport : public Transport {
 public:
  explicit PipeTransport(HANDLE pipe)
      : pipe_(pipe), event_(CreateEventW(nullptr, TRUE, FALSE, nullptr)) {}
  bool ReadExact(void* data, size_t size) override;
  bool WriteAll(const void* data, size_t size) override;
  bool Peek(uint32_t& available) override;

 private:
  // One ReadFile or WriteFile, waited for; the bytes moved, 0 on failure.
  DWORD Transfer(bool write, void* data, DWORD size);
  HANDLE pipe_;
  unique_kernel_handle event_;
};

}  // namespace Quellmar::worker
