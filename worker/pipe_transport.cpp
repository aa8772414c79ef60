#include "worker/pipe_transport.h"

#include <algorithm>

namespace Quellmar::worker {

DWORD PipeTransport::Transfer(bool write, void* data, DWORD size) {
  if (!event_) return 0;
  // ReadFile and WriteFile reset the event themselves when they start.
  OVERLAPPED o{};
  o.hEvent = event_.get();
  DWORD moved = 0;
  BOOL ok = write ? WriteFile(pipe_, data, size, &moved, &o) : ReadFile(pipe_, data, size, &moved, &o);
  if (ok) return moved;  // finished at once: the count is already there
  if (GetLastError() != ERROR_IO_PENDING) return 0;
  if (!GetOverlappedResult(pipe_, &o, &moved, TRUE)) return 0;
  return moved;
}

bool PipeTransport::ReadExact(void* data, size_t size) {
  auto* p = static_cast<unsigned char*>(data);
  while (size > 0) {
    DWORD got = Transfer(false, p, static_cast<DWORD>(std::min<size_t>(size, 1u << 20)));
    if (got == 0) return false;
    p += got;
    size -= got;
  }
  return true;
}

bool PipeTransport::WriteAll(const void* data, size_t size) {
  auto* p = static_cast<unsigned char*>(const_cast<void*>(data));
  while (size > 0) {
    DWORD put = Transfer(true, p, static_cast<DWORD>(std::min<size_t>(size, 1u << 20)));
    if (put == 0) return false;
    p += put;
    size -= put;
  }
  return true;
}

bool PipeTransport::Peek(uint32_t& available) {
  DWORD total = 0;
  if (!PeekNamedPipe(pipe_, nullptr, 0, nullptr, &total, nullptr)) return false;
  available = total;
  return true;
}

}  // namespace Quellmar::worker
