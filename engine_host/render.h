// Audio rendering: the engine's 8 kHz samples are stretched in time without
// changing pitch, resampled to 16 kHz (which also shifts the pitch) and
// scaled with a soft limiter. Pure computation on whole utterances (the
// streaming form, with the same arithmetic, is RenderStream); every function
// is re-entrant and shares only read-only tables.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <vector>

#include "engine_host/mulaw.h"
#include "engine_host/render_params.h"

namespace Quellmar {

using Samples = std::vector<int16_t>;

// The factors arrive from any local process through the pipe, so a stage
// whose output would be longer than this renders nothing instead of
// allocating without limit. 2^26 samples is 128 MiB, 70 minutes at 16 kHz:
// the slowest voice settings (duration 32, pitch 2) make about 16 minutes of
// one 400-character chunk, so real requests stay far below it.
constexpr size_t kMaxRenderSamples = size_t{1} << 26;

// Crossfade length, frame hop and frame length of TimeStretch.
constexpr int kOverlap = 120;
constexpr int kFrame = 240;
// How far either side of the nominal frame start the search looks.
constexpr int kSearchRadius = 96;
// Below this many input samples TimeStretch copies its input.
constexpr size_t kMinStretchInput = 432;

// Crossfade weights: fade-in rises from exactly 0 to exactly 1, and
// fade-out[k] = 1 - fade-in[k] taken from the double value.
struct CrossfadeTables {
  std::array<float, kOverlap> fade_in;
  std::array<float, kOverlap> fade_out;
};
// Computed on first use (safe against concurrent first use), read-only after.
const CrossfadeTables& Crossfade();

// Clamps to the 16-bit range, otherwise rounds halves away from zero. NaN
// (never produced from finite inputs) becomes 0. Inline and branch-free in
// the rounding itself: it runs for every sample made.
inline int16_t RoundSample(double v) {
  if (v >= 32767) return 32767;
  if (!(v > -32768)) return v <= -32768 ? -32768 : 0;
  // Truncate, then step away from zero when the dropped fraction is at
  // least a half; v - t is exact.
  const int t = static_cast<int>(v);
  const double frac = v - t;
  return static_cast<int16_t>(t + (frac >= 0.5) - (frac <= -0.5));
}

// About factor times as many samples, same pitch. Empty when the factor is
// not a positive finite number or the output would exceed kMaxRenderSamples.
Samples TimeStretch(const Samples& in, double factor);

// Catmull-Rom interpolation at positions 0, step, 2 step, ... Empty when the
// step is not a positive finite number or the output would exceed
// kMaxRenderSamples.
Samples Resample(const Samples& in, double step);

// Level change with a soft limiter above 24000. A gain that is not a finite
// positive number silences the samples.
void ApplyGain(Samples& samples, double gain);
void ApplyGain(int16_t* samples, size_t count, double gain);

// TimeStretch by duration x pitch, Resample by pitch / 2, ApplyGain: the
// result is at twice the input rate (16 kHz for the engine's 8 kHz).
Samples Render(const Samples& in, const RenderParams& params);

}  // namespace Quellmar
