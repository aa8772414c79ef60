#include "worker/pipe_transport.h"

#include <algorithm>

namespace Quellmar::worker {
using namespace protocol;

PipeTransport::PipeTransport(HANDLE pipe)
    : pipe_(pipe),
      read_event_(CreateEventW(nullptr, TRUE, FALSE, nullptr)),
      write_event_(CreateEventW(nullptr, TRUE, FALSE, nullptr)),
      ahead_event_(CreateEventW(nullptr, TRUE, FALSE, nullptr)) {}

PipeTransport::~PipeTransport() {
  FlushFileBuffers(pipe_);
  DisconnectNamedPipe(pipe_);
  if (ahead_pending_) {
    CancelIoEx(pipe_, &ahead_);
    DWORD unused = 0;
    GetOverlappedResult(pipe_, &ahead_, &unused, TRUE);  // the buffer must outlive the read
  }
}

DWORD PipeTransport::Transfer(HANDLE event, bool write, void* data, DWORD size) {
  if (!event) return 0;
  // ReadFile and WriteFile reset the event themselves when they start.
  OVERLAPPED o{};
  o.hEvent = event;
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
    DWORD got =
        Transfer(read_event_.get(), false, p, static_cast<DWORD>(std::min<size_t>(size, 1u << 20)));
    if (got == 0) return false;
    p += got;
    size -= got;
  }
  return true;
}

bool PipeTransport::FinishHeader(bool wait, bool& ready, Header& header) {
  ready = false;
  if (!ahead_pending_) {
    // Start the read of the next header; a byte-mode read ends as soon as
    // some bytes are there.
    if (!ahead_event_) return false;
    ahead_ = OVERLAPPED{};
    ahead_.hEvent = ahead_event_.get();
    DWORD got = 0;
    if (!ReadFile(pipe_, ahead_bytes_, kHeaderBytes, &got, &ahead_)) {
      if (GetLastError() != ERROR_IO_PENDING) return false;
    }
    ahead_pending_ = true;
  }
  if (!wait && !HasOverlappedIoCompleted(&ahead_)) return true;
  DWORD got = 0;
  BOOL ok = GetOverlappedResult(pipe_, &ahead_, &got, wait ? TRUE : FALSE);
  if (!ok && !wait && GetLastError() == ERROR_IO_INCOMPLETE) return true;
  ahead_pending_ = false;
  if (!ok || got == 0) return false;
  if (got < kHeaderBytes && !ReadExact(ahead_bytes_ + got, kHeaderBytes - got)) return false;
  header = DecodeHeader(ahead_bytes_);
  ready = true;
  return true;
}

Transport::Next PipeTransport::NextMessage(Header& header, std::vector<uint8_t>& payload) {
  bool ready = false;
  if (!FinishHeader(true, ready, header) || !ready) return Next::kClosed;
  if (header.length > kServerPayloadLimit) return Next::kTooLong;
  return ReadPayload([this](void* d, size_t n) { return ReadExact(d, n); }, header.length, payload)
             ? Next::kMessage
             : Next::kClosed;
}

Transport::Poll PipeTransport::PollMessage(Header& header) {
  bool ready = false;
  if (!FinishHeader(false, ready, header)) return Poll::kBroken;
  if (!ready) return Poll::kNothing;
  if (header.length > kServerPayloadLimit) return Poll::kTooLong;
  uint8_t sink[4096];
  for (uint32_t left = header.length; left > 0;) {
    uint32_t n = std::min<uint32_t>(left, sizeof(sink));
    if (!ReadExact(sink, n)) return Poll::kBroken;
    left -= n;
  }
  return Poll::kMessage;
}

bool PipeTransport::WriteAll(const void* data, size_t size) {
  auto* p = static_cast<unsigned char*>(const_cast<void*>(data));
  while (size > 0) {
    DWORD put = Transfer(write_event_.get(), true, p,
                         static_cast<DWORD>(std::min<size_t>(size, 1u << 20)));
    if (put == 0) return false;
    p += put;
    size -= put;
  }
  return true;
}

}  // namespace Quellmar::worker
