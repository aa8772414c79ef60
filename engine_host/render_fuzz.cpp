// Drives Render with arbitrary engine bytes and factors: the first byte
// picks how the factors are read (raw doubles, so NaN, infinities and huge
// values come through, or one byte each on a musical scale), the rest is
// engine output. Also checks that every search path stretches exactly alike.
#include <cmath>
#include <cstdint>
#include <cstring>

#include "engine_host/render.h"
#include "engine_host/time_stretch.h"

using namespace Quellmar;

namespace {

// Finite factors whose output is huge but within the bound are fine but slow
// to fuzz; those are left to the unit tests.
bool TooSlow(double n, const RenderParams& p) {
  const double stretched = n * p.duration_factor * p.pitch_factor;
  const double out = n * p.duration_factor * 2;
  const double limit = 1 << 17;
  const bool refused = !(stretched <= 4.0 * kMaxRenderSamples) || !(out <= 4.0 * kMaxRenderSamples);
  return !refused && (stretched > limit || out > limit || 1 / p.pitch_factor > 64);
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
  if (TooSlow(static_cast<double>(in.size()), params)) return 0;

  const Samples out = Render(in, params);
  if (out.size() > kMaxRenderSamples) __builtin_trap();
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
