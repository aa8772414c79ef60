// A client's bytes, timing and disconnection, the worker's completions and
// the engine's segments, in any order: the session must stay whole, write
// only whole messages, and give back every byte it charged.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <memory>
#include <vector>

#include "worker/segment_streamer.h"
#include "worker/session.h"

namespace {
using namespace Quellmar;
using namespace Quellmar::protocol;

// The written bytes must be a sequence of whole, well-formed server messages.
void CheckMessages(const std::vector<uint8_t>& out) {
  size_t at = 0;
  while (at + kHeaderBytes <= out.size()) {
    Header h = DecodeHeader(&out[at]);
    if (at + kHeaderBytes + h.length > out.size()) abort();
    switch (h.type) {
      case kAudioPiece: {
        uint32_t n = GetU32(&out[at + kHeaderBytes]);
        if (h.length != n + 4 || n > kMaxPieceBytes || n % 2) abort();
        break;
      }
      case kVersionReply:
        if (h.length != 4) abort();
        break;
      case kInfoReply:
        if (h.length != kInfoReplyBytes) abort();
        break;
      case kAck:
      case kError:
      case kEnd:
        if (h.length != 0) abort();
        break;
      default:
        abort();
    }
    at += kHeaderBytes + h.length;
  }
  if (at != out.size()) abort();
}

struct SessionTarget : worker::AudioTarget {
  SessionTarget(worker::Session& session, uint64_t id) : s(session), job(id) {}
  bool AudioWanted() override { return s.AudioWanted(job); }
  worker::Delivery Deliver(std::vector<int16_t> samples, worker::AudioMark mark) override {
    return s.Hand(job, std::move(samples), mark);
  }
  worker::Session& s;
  uint64_t job;
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  worker::MemoryBudget budget(1 << 20);  // small, so that refusals happen
  std::vector<uint8_t> out;
  {
    worker::SessionLimits limits;
    limits.message_ms = 3000;
    limits.stall_ms = 20000;
    limits.write_bytes = 1 + (size ? data[0] % 4 : 0) * 20000;
    worker::Session s(budget, MakeWorkerInfo(8000, 8, 7, 1, "fuzz"), 0, limits);
    uint32_t now = 0;
    std::vector<uint64_t> running;
    std::unique_ptr<SessionTarget> target;
    std::unique_ptr<worker::SegmentStreamer> streamer;
    std::span<const uint8_t> writing;
    size_t i = 1;
    auto next = [&]() -> uint8_t { return i < size ? data[i++] : 0; };
    while (i < size && !s.over()) {
      switch (next() % 8) {
        case 0:
        case 1: {  // the client sends some bytes
          size_t n = std::min<size_t>(next() % 64 + 1, size - i);
          s.Receive(std::span(data + i, n), now);
          i += n;
          break;
        }
        case 2: {  // a write starts, or the one in flight completes, whole or in part
          if (writing.empty()) {
            writing = s.BeginWrite(now);
            break;
          }
          size_t n = next() % 4 ? writing.size() : writing.size() / 2;
          out.insert(out.end(), writing.begin(), writing.begin() + n);
          s.OnWritten(n, now);
          writing = {};
          break;
        }
        case 3: {  // the synthesis side: audio handed in, or engine segments rendered as they come
          if (auto job = s.TakeJob()) {
            running.push_back(job->id);
            streamer.reset();
            if (next() % 2) {
              RenderParams params;
              params.duration_factor = 0.5 + next() / 128.0;
              target = std::make_unique<SessionTarget>(s, job->id);
              streamer = worker::SegmentStreamer::Create(params, *target);
            }
          }
          if (running.empty()) break;
          if (running.size() > 1) abort();  // one synthesis at a time
          uint8_t what = next();
          if (streamer) {
            const size_t n = std::min<size_t>(size_t{what} * 8, size - i);
            const bool more = streamer->Segment(data + i, n);
            i += n;
            if (!more || what % 5 == 0) {
              streamer->Finish();
              streamer.reset();
              running.pop_back();
            }
            break;
          }
          const worker::AudioMark mark = what % 3 == 0   ? worker::AudioMark::kLast
                                         : what % 3 == 1 ? worker::AudioMark::kFlush
                                                         : worker::AudioMark::kMore;
          s.Hand(running.back(),
                 std::vector<int16_t>(size_t{what} * 37, static_cast<int16_t>(what)), mark);
          if (mark == worker::AudioMark::kLast) running.pop_back();
          break;
        }
        case 4:
        case 5:  // time passes
          now += next() * 50u;
          s.OnTick(now);
          break;
        case 6:  // the client leaves, or others need the memory it holds
          switch (next()) {
            case 0xFF:
              s.OnReadFailed();
              break;
            case 0xFE:
              if (s.UnreadFor(now) > 0) s.Evict();
              break;
          }
          break;
        case 7:
          if (next() == 0xFF && !writing.empty()) {
            s.OnWriteFailed();
            writing = {};
          }
          break;
      }
      if (s.held_bytes() > budget.held()) abort();
    }
    // What a client that now reads everything gets is whole too.
    if (streamer) streamer->Finish();
    for (uint64_t id : running) s.OnSynthesisEnd(id);
    for (int n = 0; n < 100000 && !s.over(); ++n) {
      if (writing.empty()) writing = s.BeginWrite(now);
      if (writing.empty()) break;
      out.insert(out.end(), writing.begin(), writing.end());
      s.OnWritten(writing.size(), now);
      writing = {};
    }
    // A session ended in the middle of a write leaves a cut message: the
    // client sees the pipe break there.
    if (!s.over()) CheckMessages(out);
  }
  if (budget.held() != 0) abort();
  // Client-side parsers over the same bytes.
  std::span<const uint8_t> bytes(data, size);
  std::span<const uint8_t> audio;
  ParseAudioPiece(bytes, audio);
  WorkerInfo info;
  ParseInfoReply(bytes, info);
  uint32_t v;
  ParseVersionReply(bytes, v);
  return 0;
}
