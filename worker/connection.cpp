#include "worker/connection.h"

#include "worker/session.h"

namespace Quellmar::worker {
namespace {
using namespace protocol;

// Feeds one message (a header, and the payload when there is one) in.
void Feed(Session& session, Header h, const std::vector<uint8_t>* payload) {
  std::vector<uint8_t> bytes(kHeaderBytes);
  EncodeHeader(bytes.data(), h);
  if (payload) bytes.insert(bytes.end(), payload->begin(), payload->end());
  session.Receive(bytes, 0);
}

// Writes one message, looking first for a Cancel when it is a piece.
bool Write(Transport& t, Session& session, std::span<const uint8_t> message) {
  if (GetU32(message.data()) == kAudioPiece) {
    Header h;
    switch (t.PollMessage(h)) {
      case Transport::Poll::kBroken:
        session.OnReadFailed();
        return false;
      case Transport::Poll::kTooLong:
        Feed(session, h, nullptr);
        return false;
      case Transport::Poll::kMessage:
        Feed(session, Header{h.type, 0}, nullptr);  // its payload was dropped
        if (h.type == kCancel) return false;        // the piece is not sent
        break;
      case Transport::Poll::kNothing:
        break;
    }
  }
  return t.WriteAll(message.data(), message.size());
}

}  // namespace

void ServeConnection(Transport& t, Services& services) noexcept {
  try {
    // No clock here: the time limits are the worker's own.
    MemoryBudget budget(kClientMemoryCap);
    SessionLimits limits;
    limits.write_bytes = 1;  // one message per write
    Session session(budget, services.Info(), 0, limits);
    while (!session.over()) {
      if (std::optional<SynthesisJob> job = session.TakeJob()) {
        if (session.AudioWanted(job->id)) {
          session.OnAudio(job->id, services.Synthesize(SynthesisRequest{job->params, job->text}));
        }
        session.OnSynthesisEnd(job->id);
        continue;
      }
      std::span<const uint8_t> out = session.BeginWrite(0);
      if (!out.empty()) {
        if (Write(t, session, out)) {
          session.OnWritten(out.size(), 0);
        } else if (!session.over()) {
          // A Cancel came before the piece: it goes unsent, End follows.
          session.OnWritten(out.size(), 0);
        } else {
          session.OnWriteFailed();
        }
        continue;
      }
      Header h;
      std::vector<uint8_t> payload;
      Transport::Next next = t.NextMessage(h, payload);
      if (next == Transport::Next::kClosed) {
        session.OnReadFailed();
        break;
      }
      services.Touch();
      Feed(session, h, next == Transport::Next::kMessage ? &payload : nullptr);
    }
    if (session.ending() == Ending::kShutdown) services.Shutdown();
  } catch (...) {
    // Out of memory or worse on this connection: it ends, the program and
    // its other connections go on.
  }
}

}  // namespace Quellmar::worker
