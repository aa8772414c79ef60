#include "testing/pipe_client.h"

#include <algorithm>

namespace Quellmar::testing {

bool RawPipeClient::Connect(const std::wstring& name, DWORD timeout_ms, bool* busy) {
  DWORD start = GetTickCount();
  if (busy) *busy = false;
  event_.reset(CreateEventW(nullptr, TRUE, FALSE, nullptr));
  for (;;) {
    pipe_.reset(CreateFileW(name.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING,
                            FILE_FLAG_OVERLAPPED, nullptr));
    if (pipe_) return true;
    DWORD error = GetLastError();
    if (GetTickCount() - start > timeout_ms) return false;
    if (error == ERROR_PIPE_BUSY) {
      if (busy) *busy = true;
      WaitNamedPipeW(name.c_str(), 500);
    } else {
      Sleep(50);
    }
  }
}

bool RawPipeClient::Send(const std::vector<uint8_t>& bytes) {
  size_t done = 0;
  while (done < bytes.size()) {
    OVERLAPPED o{};
    o.hEvent = event_.get();
    ResetEvent(event_.get());
    DWORD put = 0;
    DWORD chunk = static_cast<DWORD>(std::min<size_t>(bytes.size() - done, 1 << 20));
    if (!WriteFile(pipe_.get(), bytes.data() + done, chunk, &put, &o)) {
      if (GetLastError() != ERROR_IO_PENDING) return false;
      if (WaitForSingleObject(event_.get(), 20000) != WAIT_OBJECT_0) {
        CancelIo(pipe_.get());
        GetOverlappedResult(pipe_.get(), &o, &put, TRUE);
        return false;
      }
      if (!GetOverlappedResult(pipe_.get(), &o, &put, FALSE)) return false;
    }
    if (put == 0) return false;
    done += put;
  }
  return true;
}

bool RawPipeClient::ReadExact(void* data, size_t size, DWORD timeout_ms, bool* timed_out) {
  auto* p = static_cast<uint8_t*>(data);
  if (timed_out) *timed_out = false;
  while (size > 0) {
    OVERLAPPED o{};
    o.hEvent = event_.get();
    ResetEvent(event_.get());
    DWORD got = 0;
    DWORD chunk = static_cast<DWORD>(std::min<size_t>(size, 1 << 20));
    if (!ReadFile(pipe_.get(), p, chunk, &got, &o)) {
      if (GetLastError() != ERROR_IO_PENDING) return false;
      if (WaitForSingleObject(event_.get(), timeout_ms) != WAIT_OBJECT_0) {
        CancelIo(pipe_.get());
        GetOverlappedResult(pipe_.get(), &o, &got, TRUE);
        if (timed_out) *timed_out = true;
        return false;
      }
      if (!GetOverlappedResult(pipe_.get(), &o, &got, FALSE)) return false;
    }
    if (got == 0) return false;
    p += got;
    size -= got;
  }
  return true;
}

std::optional<PipeMessage> RawPipeClient::Read(DWORD timeout_ms) {
  uint8_t header[8];
  if (!ReadExact(header, 8, timeout_ms)) return std::nullopt;
  PipeMessage m;
  m.type = static_cast<uint32_t>(header[0] | header[1] << 8 | header[2] << 16 | header[3] << 24);
  uint32_t length =
      static_cast<uint32_t>(header[4] | header[5] << 8 | header[6] << 16 | header[7] << 24);
  if (length > (64u << 20)) return std::nullopt;
  m.payload.resize(length);
  if (length > 0 && !ReadExact(m.payload.data(), length, timeout_ms)) return std::nullopt;
  return m;
}

DWORD RawPipeClient::Waiting() const {
  DWORD available = 0;
  return PeekNamedPipe(pipe_.get(), nullptr, 0, nullptr, &available, nullptr) ? available : 0;
}

bool RawPipeClient::ServerClosed(DWORD timeout_ms) {
  uint8_t byte;
  bool timed_out = false;
  bool got = ReadExact(&byte, 1, timeout_ms, &timed_out);
  return !got && !timed_out;
}

}  // namespace Quellmar::testing
