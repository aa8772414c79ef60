#include "engine_host/render_stream.h"

#include <algorithm>
#include <cmath>

namespace Quellmar {
namespace {

bool PositiveFinite(double v) { return v > 0 && std::isfinite(v); }

}  // namespace

// The stretch and the step are taken as Render takes them; with a duration
// or pitch that Render refuses, the stages make nothing.
RenderStream::RenderStream(const RenderParams& params)
    : gain_(params.gain_factor),
      valid_(PositiveFinite(params.duration_factor) && PositiveFinite(params.pitch_factor)),
      stretch_(valid_ ? params.duration_factor * params.pitch_factor : 0, stretch::Fastest()),
      resample_(params.pitch_factor * 0.5, true) {}

bool RenderStream::FeedMuLaw(const unsigned char* bytes, size_t count, const Sink& sink) {
  const auto& table = MuLawTable();
  while (count > 0 && !stopped_) {
    const size_t n = std::min(count, kBlock);
    for (size_t i = 0; i < n; ++i) decoded_[i] = table[bytes[i]];
    Feed(decoded_.data(), n, sink);
    bytes += n;
    count -= n;
  }
  return !stopped_;
}

bool RenderStream::Feed(const int16_t* samples, size_t count, const Sink& sink) {
  try {
    while (count > 0 && !stopped_ && !finished_) {
      const size_t n = std::min(count, kBlock);
      stretch_.Push(samples, n);
      Drain(sink);
      samples += n;
      count -= n;
    }
  } catch (...) {
    stopped_ = failed_ = true;
  }
  return !stopped_;
}

bool RenderStream::Finish(const Sink& sink) {
  if (stopped_ || finished_) return !stopped_;
  finished_ = true;
  stretch_.End();
  try {
    Drain(sink);
  } catch (...) {
    stopped_ = failed_ = true;
  }
  return !stopped_;
}

// Moves everything now known through the stages to the sink, a block at a
// time.
bool RenderStream::Drain(const Sink& sink) {
  for (;;) {
    stretched_.clear();
    stretch_.Pull(stretched_, kBlock);
    resample_.Push(stretched_.data(), stretched_.size());
    if (stretch_.done()) resample_.End();
    while (const size_t n = resample_.Pull(out_.data(), out_.size())) {
      ApplyGain(out_.data(), n, gain_);
      if (!sink(out_.data(), n)) {
        stopped_ = true;
        return false;
      }
    }
    if (too_long()) {
      stopped_ = true;
      return false;
    }
    if (stretched_.empty()) return true;
  }
}

}  // namespace Quellmar
