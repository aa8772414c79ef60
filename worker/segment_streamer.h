// One synthesis's audio on its way from the engine to its client. Each
// segment the engine core makes is rendered as it arrives and handed to the
// connection at once, so the first piece leaves while the engine still
// works on the rest of the text, and a Cancel (or a client gone, or a stream
// its session has ended) stops the engine at its next segment, or within the
// segment being rendered.
//
// It runs inside the engine driver's segment loop, with the engine held:
// rendering there is cheap, and handing audio over never waits for the
// client. No exception leaves it.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <vector>

#include "engine_host/render_stream.h"
#include "worker/session.h"

namespace Quellmar::worker {

// Where the audio goes: the connection that asked for it.
class AudioTarget {
 public:
  virtual ~AudioTarget() = default;
  virtual bool AudioWanted() = 0;
  // See Session::Hand.
  virtual Delivery Deliver(std::vector<int16_t> samples, AudioMark mark) = 0;
};

class SegmentStreamer {
 public:
  // Null when memory runs out (the caller ends the request with no audio).
  static std::unique_ptr<SegmentStreamer> Create(const RenderParams& params,
                                                 AudioTarget& target) noexcept;
  SegmentStreamer(const RenderParams& params, AudioTarget& target);
  SegmentStreamer(const SegmentStreamer&) = delete;
  SegmentStreamer& operator=(const SegmentStreamer&) = delete;

  // The engine driver's segment consumer; `context` is the streamer.
  static bool OnSegment(const unsigned char* bytes, uint32_t count, void* context);
  // One segment of mu-law bytes, any length. False: stop the engine.
  bool Segment(const unsigned char* bytes, size_t count);
  // The engine has stopped: what the renderer held back goes out, and the
  // stream ends. Called once, whatever came before.
  void Finish();

  uint64_t engine_bytes() const { return engine_bytes_; }
  // Why the audio stopped short, if it did.
  bool too_long() const { return render_.too_long(); }
  bool failed() const { return render_.failed(); }
  bool refused() const { return refused_; }

 private:
  // Within a long segment, rendered samples are handed over four pieces'
  // worth at a time: what the connection sends in one write.
  static constexpr size_t kHandSamples = 4 * protocol::kMaxPieceBytes / sizeof(int16_t);

  bool Take(const int16_t* samples, size_t count);
  bool Hand(AudioMark mark);

  AudioTarget& target_;
  RenderStream render_;
  RenderStream::Sink sink_;
  std::vector<int16_t> pending_;
  bool stopped_ = false;
  bool refused_ = false;
  bool finished_ = false;
  uint64_t engine_bytes_ = 0;
};

}  // namespace Quellmar::worker
