#include "worker/pipe_transport.h"

#include <algorithm>

namespace Quellmar::worker {

bool PipeTransport::ReadExact(void* data, size_t size) {
  auto* p = static_cast<unsigned char*>(data);
  while (size > 0) {
    DWORD chunk = static_cast<DWORD>(std::min<size_t>(size, 1u << 20));
    DWORD got = 0;
    if (!ReadFile(pipe_, p, chunk, &got, nullptr) || got == 0) return false;
    p += got;
    size -= got;
  }
  return true;
}

bool PipeTransport::WriteAll(const void* data, size_t size) {
  auto* p = static_cast<const unsigned char*>(data);
  while (size > 0) {
    DWORD chunk = static_cast<DWORD>(std::min<size_t>(size, 1u << 20));
    DWORD put = 0;
    if (!WriteFile(pipe_, p, chunk, &put, nullptr) || put == 0) return false;
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
