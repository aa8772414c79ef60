// A raw client of the worker's pipe for tests: sends any bytes and reads
// whole messages back, with time limits so that a test never hangs.
#pragma once

#include <windows.h>

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "common/win_handles.h"

namespace Quellmar::testing {

struct PipeMessage {
  uint32_t type = 0;
  std::vector<uint8_t> payload;
};

class RawPipeClient {
 public:
  // Opens the pipe, retrying while it does not exist yet, for up to
  // `timeout_ms`. `busy` (when given) tells whether any try found every
  // instance taken.
  bool Connect(const std::wstring& name, DWORD timeout_ms = 10000, bool* busy = nullptr);
  bool connected() const { return pipe_.valid(); }
  bool Send(const std::vector<uint8_t>& bytes);
  // One whole message; nullopt when the pipe broke or nothing came in time.
  std::optional<PipeMessage> Read(DWORD timeout_ms = 20000);
  // True when the server closed its end within `timeout_ms` (a read fails
  // with nothing received).
  bool ServerClosed(DWORD timeout_ms = 10000);
  void Close() { pipe_.reset(); }
  // Bytes that have arrived and not been read.
  DWORD Waiting() const;

 private:
  // Reads exactly `size` bytes; false on a broken pipe or time-out.
  bool ReadExact(void* data, size_t size, DWORD timeout_ms, bool* timed_out = nullptr);
  unique_file pipe_;
  unique_kernel_handle event_;
};

}  // namespace Quellmar::testing
