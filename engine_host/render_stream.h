// Render fed piece by piece, as the engine core delivers its segments: the
// same arithmetic as DecodeMuLaw, TimeStretch, Resample and ApplyGain, and
// the same bytes as Render of the whole input however the input is cut.
// Every output sample goes to the sink as soon as the input it depends on is
// known. The look-ahead is bounded: a stretch waits for kMinStretchInput
// input samples before its first output, then for kFrame + kSearchRadius + 1
// past each frame's start, and holds the kOverlap samples a crossfade leaves
// open; the resampler waits for the three samples after a position. So is
// the memory, whatever the size of a piece or the factors.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <functional>

#include "engine_host/render.h"
#include "engine_host/resample.h"
#include "engine_host/time_stretch.h"

namespace Quellmar {

class RenderStream {
 public:
  // Takes the next run of output samples; false stops the stream (a
  // cancelled request).
  using Sink = std::function<bool(const int16_t* samples, size_t count)>;

  explicit RenderStream(const RenderParams& params);

  // The engine's next mu-law bytes, or the next linear samples. False once
  // the stream has stopped: the sink refused, the output reached its bound
  // (too_long), or memory ran out or the sink threw (failed). No exception
  // leaves the stream, so it may be fed from inside the engine driver's
  // segment loop. Pieces of any length, empty ones included.
  bool FeedMuLaw(const unsigned char* bytes, size_t count, const Sink& sink);
  bool Feed(const int16_t* samples, size_t count, const Sink& sink);
  // The input has ended: the rest of the output. Feeding after it does
  // nothing.
  bool Finish(const Sink& sink);

  // Render of the whole input would have made nothing because its output
  // passes kMaxRenderSamples; the stream stopped at the point where that
  // became known, after at most kMaxRenderSamples samples.
  bool too_long() const { return stretch_.too_long() || resample_.too_long(); }
  // Memory ran out, or the sink threw: the stream stopped there.
  bool failed() const { return failed_; }

 private:
  // Input is taken this many samples at a time, and output handed on in
  // runs of at most this many samples: the stream's memory stays bounded.
  static constexpr size_t kBlock = 4096;

  bool Drain(const Sink& sink);

  double gain_;
  bool valid_;
  bool stopped_ = false;
  bool finished_ = false;
  bool failed_ = false;
  stretch::StretchStream stretch_;
  resample::ResampleStream resample_;
  Samples stretched_;
  std::array<int16_t, kBlock> decoded_;
  std::array<int16_t, kBlock> out_;
};

}  // namespace Quellmar
