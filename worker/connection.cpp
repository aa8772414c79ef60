#include "worker/connection.h"

#include <algorithm>
#include <new>

namespace Quellmar::worker {
namespace {
using namespace protocol;

bool Send(Transport& t, const std::vector<uint8_t>& message) {
  return t.WriteAll(message.data(), message.size());
}

bool SendEmpty(Transport& t, uint32_t type) { return Send(t, BuildMessage(type)); }

// Reads and drops `length` bytes without holding them all at once.
bool Discard(Transport& t, uint32_t length) {
  uint8_t sink[4096];
  while (length > 0) {
    uint32_t n = std::min<uint32_t>(length, sizeof(sink));
    if (!t.ReadExact(sink, n)) return false;
    length -= n;
  }
  return true;
}

// Reads a payload of `length` bytes. The buffer grows with the bytes that
// actually arrive, so a header that announces 64 MiB and sends little costs
// little: a 32-bit worker serving many such clients keeps its memory.
bool ReadPayload(Transport& t, uint32_t length, std::vector<uint8_t>& payload) {
  constexpr size_t kStep = size_t{1} << 20;
  try {
    size_t done = 0;
    while (done < length) {
      size_t n = std::min<size_t>(length - done, kStep);
      payload.resize(done + n);
      if (!t.ReadExact(payload.data() + done, n)) return false;
      done += n;
    }
  } catch (const std::bad_alloc&) {
    return false;
  }
  return true;
}

enum class Stream { kFinished, kAbandoned, kConnectionOver };

// Sends the samples in pieces, looking for a Cancel before each one.
Stream StreamAudio(Transport& t, const std::vector<int16_t>& samples) {
  const uint8_t* bytes = reinterpret_cast<const uint8_t*>(samples.data());
  size_t remaining = samples.size() * sizeof(int16_t);  // always even
  size_t offset = 0;
  while (remaining > 0) {
    uint32_t available = 0;
    if (!t.Peek(available)) break;
    if (available >= kHeaderBytes) {
      uint8_t raw[kHeaderBytes];
      if (!t.ReadExact(raw, sizeof(raw))) break;
      Header h = DecodeHeader(raw);
      // The same bound as between exchanges: a header announcing more ends
      // the connection rather than tying this thread to an endless read.
      if (h.length > kServerPayloadLimit) return Stream::kConnectionOver;
      if (!Discard(t, h.length)) break;
      if (h.type == kCancel) break;
    }
    size_t n = std::min<size_t>(remaining, kMaxPieceBytes);
    if (!Send(t, BuildAudioPiece(std::span<const uint8_t>(bytes + offset, n)))) {
      return Stream::kAbandoned;
    }
    offset += n;
    remaining -= n;
  }
  return Stream::kFinished;
}

}  // namespace

void ServeConnection(Transport& t, Services& services) {
  for (;;) {
    uint8_t raw[kHeaderBytes];
    if (!t.ReadExact(raw, sizeof(raw))) return;
    services.Touch();
    Header h = DecodeHeader(raw);
    if (h.length > kServerPayloadLimit) return;
    std::vector<uint8_t> payload;
    if (!ReadPayload(t, h.length, payload)) return;

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
        if (s == Stream::kConnectionOver) return;
        if (s == Stream::kFinished) SendEmpty(t, kEnd);
        break;
      }
      case kCancel:
        SendEmpty(t, kAck);
        break;
      case kShutdown:
        SendEmpty(t, kAck);
        services.Shutdown();
        return;
      case kInfoRequest:
        Send(t, BuildInfoReply(services.Info()));
        break;
      default:
        SendEmpty(t, kError);
        break;
    }
  }
}

}  // namespace Quellmar::worker
