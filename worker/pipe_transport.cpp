#include "worker/pipe_transport.h"

#include <algorithm>

namespace Quellmar::worker {
using namespace protocol;

PipeTransport::PipeTransport(HANDLE pipe)
    : pipe_(pipe),
      read_event_(CreateEventW(nullptr, TRUE, FALSE, nullptr)),
      write_event_(CreateEventW(nullptr, TRUE, FALSE, nullptr)) {
  try {
    reader_ = std::thread(&PipeTransport::ReaderLoop, this);
  } catch (...) {
    slot_ = Slot::kClosed;  // no reader: the connection ends at once
  }
}

PipeTransport::~PipeTransport() {
  {
    std::lock_guard<std::mutex> lock(mutex_);
    stopping_ = true;
  }
  changed_.notify_all();
  // The end of the connection: what was written reaches the client, then
  // the instance is disconnected, which also fails a read still waiting.
  FlushFileBuffers(pipe_);
  DisconnectNamedPipe(pipe_);
  if (reader_.joinable()) {
    CancelIoEx(pipe_, nullptr);
    reader_.join();
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
    {
      std::lock_guard<std::mutex> lock(mutex_);
      if (stopping_) return false;
    }
    DWORD got =
        Transfer(read_event_.get(), false, p, static_cast<DWORD>(std::min<size_t>(size, 1u << 20)));
    if (got == 0) return false;
    p += got;
    size -= got;
  }
  return true;
}

void PipeTransport::ReaderLoop() {
  for (;;) {
    {
      // One message ahead at most: wait until the last one was taken.
      std::unique_lock<std::mutex> lock(mutex_);
      changed_.wait(lock, [this] { return slot_ == Slot::kEmpty || stopping_; });
      if (stopping_) return;
    }
    uint8_t raw[kHeaderBytes];
    Header h;
    std::vector<uint8_t> payload;
    Slot result = Slot::kFull;
    if (!ReadExact(raw, sizeof(raw))) {
      result = Slot::kClosed;
    } else {
      h = DecodeHeader(raw);
      if (h.length > kServerPayloadLimit) {
        result = Slot::kTooLong;
      } else if (!ReadPayload([this](void* d, size_t n) { return ReadExact(d, n); }, h.length,
                              payload)) {
        result = Slot::kClosed;
      }
    }
    {
      std::lock_guard<std::mutex> lock(mutex_);
      header_ = h;
      payload_ = std::move(payload);
      slot_ = result;
    }
    changed_.notify_all();
    if (result != Slot::kFull) return;
  }
}

Transport::Next PipeTransport::NextMessage(Header& header, std::vector<uint8_t>& payload) {
  std::unique_lock<std::mutex> lock(mutex_);
  changed_.wait(lock, [this] { return slot_ != Slot::kEmpty; });
  header = header_;
  switch (slot_) {
    case Slot::kFull:
      payload = std::move(payload_);
      payload_.clear();
      slot_ = Slot::kEmpty;
      lock.unlock();
      changed_.notify_all();
      return Next::kMessage;
    case Slot::kTooLong:
      return Next::kTooLong;
    default:
      return Next::kClosed;
  }
}

Transport::Poll PipeTransport::PollMessage(Header& header) {
  std::unique_lock<std::mutex> lock(mutex_);
  header = header_;
  switch (slot_) {
    case Slot::kEmpty:
      return Poll::kNothing;
    case Slot::kFull:
      payload_.clear();
      payload_.shrink_to_fit();
      slot_ = Slot::kEmpty;
      lock.unlock();
      changed_.notify_all();
      return Poll::kMessage;
    case Slot::kTooLong:
      return Poll::kTooLong;
    default:
      return Poll::kBroken;
  }
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
