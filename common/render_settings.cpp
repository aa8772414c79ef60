#include "common/render_settings.h"

#include <algorithm>
#include <cmath>

namespace Quellmar {
namespace {
constexpr Range kAdjustmentRange{-10, 10};
}

double DurationForSpeed(int32_t speed) {
  const double v = kSpeedRange.Limit(speed);
  if (v > 175) return (525 - v) / 350;
  if (v < 175) return 2 - (v - 85) / 90;
  return 1.0;
}

double SemitonesForPitch(int32_t pitch) {
  const double m = kPitchRange.Limit(pitch);
  if (m > 63) return (m - 7) * 3 / 14 - 12;
  if (m < 63) return (m - 27) / 3 - 12;
  return 0.0;
}

RenderSetup ComputeRenderParams(const CustomVoiceSettings& voice, const GlobalSettings& global,
                                int32_t rate, int32_t pitch, uint16_t volume) {
  RenderSetup out;
  RenderParams& p = out.params;

  // Ten steps are a factor of four either way.
  const double rate_multiplier = std::pow(2.0, kAdjustmentRange.Limit(rate) / 5.0);
  // The global percentages are limited again so that a record that did not
  // come through the reader cannot divide by zero.
  const double rate_percent = kRatePercentRange.Limit(global.rate_percent);
  p.duration_factor = DurationForSpeed(voice.speed) / (rate_multiplier * (rate_percent / 100.0));

  // 0.6 semitone per SAPI pitch step.
  const double semitones = kAdjustmentRange.Limit(pitch) * 0.6 + SemitonesForPitch(voice.pitch);
  p.pitch_factor = std::clamp(std::pow(2.0, semitones / 12), 0.5, 2.0);

  // 32767 is the recorded level (gain 1.0), so 65535 is slightly above 2.0.
  const double volume_percent = kVolumePercentRange.Limit(global.volume_percent);
  p.gain_factor = kVolumeRange.Limit(voice.volume) / 32767.0 * std::min<uint16_t>(volume, 100) /
                  100.0 * (volume_percent / 100.0);

  p.pauses = global.override_pauses ? global.pauses : voice.pauses;
  p.tags = voice.tags || global.tags;
  out.speak_punctuation = voice.speak_punctuation || global.speak_punctuation;
  return out;
}

}  // namespace Quellmar
