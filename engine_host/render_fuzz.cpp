// Drives Render with arbitrary engine bytes and factors: the first byte
// picks how the factors are read (raw doubles, so NaN, infinities and huge
// values come through, or one byte each on a musical scale), the rest is
// engine output. Also checks that every search path stretches exactly alike,
// and that RenderStream fed the same bytes in pieces (cut by a generator
// seeded from the input) makes exactly Render's output.
#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstring>

#include "engine_host/render.h"
#include "engine_host/render_stream.h"
#include "engine_host/time_stretch.h"

using namespace Quellmar;

namespace {

// About how much work the factors make of n samples. Finite factors whose
// output is huge but within the bound are fine but slow to fuzz; those are
// left to the unit tests. Render refuses far larger outputs at once, while a
// stream only learns it from the input seen: it is fuzzed where the
// resampler's output refuses it, with a sink that stops it early.
constexpr double kLimit = 1 << 17;
struct Work {
  bool refused, too_slow, stream;
};
Work Estimate(double n, const RenderParams& p) {
  const double factor = p.duration_factor * p.pitch_factor;
  // Short inputs are not stretched, whatever the factor.
  const double stretched = n < kMinStretchInput ? n : n * factor;
  const double out = stretched * 2 / p.pitch_factor;
  const bool refused = !(stretched <= 4.0 * kMaxRenderSamples) || !(out <= 4.0 * kMaxRenderSamples);
  const bool slow_stretch = stretched > kLimit || 1 / p.pitch_factor > 64;
  return {refused, !refused && (slow_stretch || out > kLimit), !refused || !slow_stretch};
}

// The engine's bytes through RenderStream: one byte at a time, whole, or in
// pieces of random length (empty ones included), by the seed. A capped sink
// stops once it has more than kLimit samples.
Samples Streamed(const uint8_t* data, size_t size, const RenderParams& params, uint32_t seed,
                 bool capped, bool& too_long) {
  Samples out;
  const RenderStream::Sink sink = [&](const int16_t* s, size_t n) {
    out.insert(out.end(), s, s + n);
    return !capped || static_cast<double>(out.size()) <= kLimit;
  };
  RenderStream stream(params);
  for (size_t at = 0; at < size;) {
    seed = seed * 1664525u + 1013904223u;
    size_t n = size - at;
    if (seed % 3 == 0) n = 1;
    if (seed % 3 == 1) n = std::min<size_t>(n, (seed >> 8) % ((seed & 0x80) ? 9 : 3000));
    stream.FeedMuLaw(data + at, n, sink);
    at += n;
  }
  stream.Finish(sink);
  too_long = stream.too_long();
  return out;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 1) return 0;
  const uint8_t mode = data[0];
  ++data, --size;
  RenderParams params;
  if (mode & 1) {
    if (size < 24) return 0;
    std::memcpy(&params.duration_factor, data, 8);
    std::memcpy(&params.pitch_factor, data + 8, 8);
    std::memcpy(&params.gain_factor, data + 16, 8);
    data += 24, size -= 24;
  } else {
    if (size < 3) return 0;
    params.duration_factor = std::exp2((data[0] - 128) / 32.0);  // 1/16 .. 16
    params.pitch_factor = std::exp2((data[1] - 128) / 64.0);     // 1/4 .. 4
    params.gain_factor = (data[2] - 64) / 32.0;                  // -2 .. 6
    data += 3, size -= 3;
  }
  const Samples in = DecodeMuLaw(data, size);
  const Work work = Estimate(static_cast<double>(in.size()), params);
  if (work.too_slow) return 0;

  const Samples out = Render(in, params);
  if (out.size() > kMaxRenderSamples) __builtin_trap();

  // Only a stream of what Render refused may differ from it: Render made
  // nothing, the stream stopped at the bound or at its sink's cap.
  if (work.stream) {
    uint32_t seed = static_cast<uint32_t>(size);
    for (size_t i = 0; i < size && i < 16; ++i) seed = seed * 31 + data[i];
    bool too_long = false;
    const Samples streamed = Streamed(data, size, params, seed, work.refused, too_long);
    const bool stopped = work.refused && static_cast<double>(streamed.size()) > kLimit;
    if (too_long) {
      if (!out.empty() || streamed.size() > kMaxRenderSamples) __builtin_trap();
    } else if (stopped) {
      if (!out.empty() && (streamed.size() > out.size() ||
                           !std::equal(streamed.begin(), streamed.end(), out.begin()))) {
        __builtin_trap();
      }
    } else if (streamed != out) {
      __builtin_trap();
    }
  }
  if (!std::isfinite(params.gain_factor) && !out.empty()) {
    for (int16_t s : out) {
      if (s != 0) __builtin_trap();
    }
  }

  const double factor = params.duration_factor * params.pitch_factor;
  if (std::isfinite(factor) && factor > 0 && static_cast<double>(in.size()) * factor < (1 << 13)) {
    const Samples plain = stretch::TimeStretchWith(in, factor, stretch::Path::Plain);
    for (stretch::Path path : {stretch::Path::Sse2, stretch::Path::Avx2}) {
      if (stretch::Available(path) && stretch::TimeStretchWith(in, factor, path) != plain) __builtin_trap();
    }
  }
  return 0;
}
