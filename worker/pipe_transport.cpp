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
  BOOL ok =
      write ? WriteFile(pipe_, data, size, &moved, &o) : ReadFile(pipe_, data, size, &moved, &o);
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

PipeTransport::Ahead PipeTransport::AdvanceHeader(bool wait) {
  if (header_ready_) return Ahead::kReady;
  if (broken_) return Ahead::kBroken;
  for (;;) {
    if (!ahead_pending_) {
      // A byte-mode read ends as soon as some bytes are there.
      if (!ahead_event_) return Broken();
      ahead_ = OVERLAPPED{};
      ahead_.hEvent = ahead_event_.get();
      DWORD got = 0;
      if (!ReadFile(pipe_, ahead_bytes_ + ahead_got_, static_cast<DWORD>(kHeaderBytes - ahead_got_),
                    &got, &ahead_) &&
          GetLastError() != ERROR_IO_PENDING) {
        return Broken();
      }
      ahead_pending_ = true;
    }
    if (!wait && !HasOverlappedIoCompleted(&ahead_)) return Ahead::kPending;
    DWORD got = 0;
    BOOL ok = GetOverlappedResult(pipe_, &ahead_, &got, wait ? TRUE : FALSE);
    if (!ok && !wait && GetLastError() == ERROR_IO_INCOMPLETE) return Ahead::kPending;
    ahead_pending_ = false;
    if (!ok || got == 0) return Broken();
    ahead_got_ += got;
    if (ahead_got_ == kHeaderBytes) {
      ahead_got_ = 0;
      header_ = DecodeHeader(ahead_bytes_);
      header_ready_ = true;
      return Ahead::kReady;
    }
    // Part of a header: read on for the rest.
  }
}

Transport::Next PipeTransport::NextMessage(Header& header, std::vector<uint8_t>& payload) {
  if (AdvanceHeader(true) != Ahead::kReady) return Next::kClosed;
  header_ready_ = false;
  header = header_;
  if (header.length > kServerPayloadLimit) return Next::kTooLong;
  return ReadPayload([this](void* d, size_t n) { return ReadExact(d, n); }, header.length, payload)
             ? Next::kMessage
             : Next::kClosed;
}

Transport::Poll PipeTransport::PollMessage(Header& header) {
  Ahead ahead = AdvanceHeader(false);
  if (ahead == Ahead::kBroken) return Poll::kBroken;
  if (ahead == Ahead::kPending) return Poll::kNothing;
  header_ready_ = false;
  header = header_;
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
    DWORD put =
        Transfer(write_event_.get(), true, p, static_cast<DWORD>(std::min<size_t>(size, 1u << 20)));
    if (put == 0) return false;
    p += put;
    size -= put;
  }
  return true;
}

}  // namespace Quellmar::worker
