#include "worker/connection.h"

#include <algorithm>

namespace Quellmar::worker {
namespace {
using namespace protocol;

bool Send(Transport& t, const std::vector<uint8_t>& message) {
  return t.WriteAll(message.data(), message.size());
}

bool SendEmpty(Transport& t, uint32_t type) { return Send(t, BuildMessage(type)); }

enum class Stream { kFinished, kAbandoned, kConnectionOver };

// Sends the samples in pieces, looking for a Cancel before each one.
Stream StreamAudio(Transport& t, const std::vector<int16_t>& samples) {
  const uint8_t* bytes = reinterpret_cast<const uint8_t*>(samples.data());
  size_t remaining = samples.size() * sizeof(int16_t);  // always even
  size_t offset = 0;
  while (remaining > 0) {
    Header h;
    Transport::Poll poll = t.PollMessage(h);
    if (poll == Transport::Poll::kBroken) break;
    // The same bound as between exchanges: a header announcing more ends
    // the connection rather than tying this thread to an endless read.
    if (poll == Transport::Poll::kTooLong) return Stream::kConnectionOver;
    if (poll == Transport::Poll::kMessage && h.type == kCancel) break;
    size_t n = std::min<size_t>(remaining, kMaxPieceBytes);
    if (!Send(t, BuildAudioPiece(std::span<const uint8_t>(bytes + offset, n)))) {
      return Stream::kAbandoned;
    }
    offset += n;
    remaining -= n;
  }
  return Stream::kFinished;
}

// Reads and drops `length` bytes without holding them all at once.
template <typename ReadFn>
bool Discard(ReadFn&& read, uint32_t length) {
  uint8_t sink[4096];
  while (length > 0) {
    uint32_t n = std::min<uint32_t>(length, sizeof(sink));
    if (!read(sink, n)) return false;
    length -= n;
  }
  return true;
}

}  // namespace

Transport::Next ByteStreamTransport::NextMessage(Header& header, std::vector<uint8_t>& payload) {
  uint8_t raw[kHeaderBytes];
  if (!ReadExact(raw, sizeof(raw))) return Next::kClosed;
  header = DecodeHeader(raw);
  if (header.length > kServerPayloadLimit) return Next::kTooLong;
  auto read = [this](void* d, size_t n) { return ReadExact(d, n); };
  return ReadPayload(read, header.length, payload) ? Next::kMessage : Next::kClosed;
}

Transport::Poll ByteStreamTransport::PollMessage(Header& header) {
  uint32_t available = 0;
  if (!Peek(available)) return Poll::kBroken;
  if (available < kHeaderBytes) return Poll::kNothing;
  uint8_t raw[kHeaderBytes];
  if (!ReadExact(raw, sizeof(raw))) return Poll::kBroken;
  header = DecodeHeader(raw);
  if (header.length > kServerPayloadLimit) return Poll::kTooLong;
  auto read = [this](void* d, size_t n) { return ReadExact(d, n); };
  return Discard(read, header.length) ? Poll::kMessage : Poll::kBroken;
}

namespace {

// One message and its answer. False when the connection is over.
bool ServeOne(Transport& t, Services& services) {
  Header h;
  std::vector<uint8_t> payload;
  Transport::Next next = t.NextMessage(h, payload);
  if (next == Transport::Next::kClosed) return false;
  services.Touch();
  if (next == Transport::Next::kTooLong) return false;

  switch (h.type) {
    case kHello:
      Send(t, BuildVersionReply());
      break;
    case kSynthesizeRequest: {
      SynthesisRequest request;
      if (!ParseSynthesizeRequest(payload, request)) {
        SendEmpty(t, kError);
        break;
      }
      std::vector<int16_t> samples = services.Synthesize(request);
      payload.clear();
      payload.shrink_to_fit();
      Stream s = StreamAudio(t, samples);
      if (s == Stream::kConnectionOver) return false;
      if (s == Stream::kFinished) SendEmpty(t, kEnd);
      break;
    }
    case kCancel:
      SendEmpty(t, kAck);
      break;
    case kShutdown:
      SendEmpty(t, kAck);
      services.Shutdown();
      return false;
    case kInfoRequest:
      Send(t, BuildInfoReply(services.Info()));
      break;
    default:
      SendEmpty(t, kError);
      break;
  }
  return true;
}

}  // namespace

void ServeConnection(Transport& t, Services& services) noexcept {
  try {
    while (ServeOne(t, services)) {
    }
  } catch (...) {
    // Out of memory or worse on this connection: it ends, the worker and
    // its other clients go on.
  }
}

Served ServeWaiting(Transport& t, Services& services) noexcept {
  try {
    while (t.MessageWaiting()) {
      if (!ServeOne(t, services)) return Served::kOver;
    }
    return Served::kIdle;
  } catch (...) {
    return Served::kOver;
  }
}

}  // namespace Quellmar::worker
