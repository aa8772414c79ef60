#include "common/voice_settings.h"

namespace Quellmar {
namespace {

// The stored DWORD is a signed 32-bit number: 0xFFFFFFFB is -5, not 4 billion.
int32_t Number(const DwordSource& source, const wchar_t* name, int32_t fallback, Range range) {
  std::optional<uint32_t> stored = source(name);
  return range.Limit(stored ? static_cast<int32_t>(*stored) : fallback);
}

bool Switch(const DwordSource& source, const wchar_t* name) {
  std::optional<uint32_t> stored = source(name);
  return stored && *stored != 0;
}

void ReadPauses(const DwordSource& source, std::array<int32_t, 4>& pauses) {
  for (int i = 0; i < 4; ++i) {
    pauses[i] = Number(source, kPauseValues[i], kDefaultPauses[i], kPauseRanges[i]);
  }
}

}  // namespace

void LimitPauses(std::array<int32_t, 4>& pauses) {
  for (int i = 0; i < 4; ++i) pauses[i] = kPauseRanges[i].Limit(pauses[i]);
}

CustomVoiceSettings CustomVoiceSettingsFrom(const DwordSource& source) {
  CustomVoiceSettings s;
  s.speed = Number(source, kSpeedValue, kDefaultSpeed, kSpeedRange);
  s.pitch = Number(source, kPitchValue, kDefaultPitch, kPitchRange);
  s.volume = Number(source, kVolumeValue, kDefaultVolume, kVolumeRange);
  ReadPauses(source, s.pauses);
  s.tags = Switch(source, kHonourTagsValue);
  s.speak_punctuation = Switch(source, kSpeakPunctuationValue);
  return s;
}

GlobalSettings GlobalSettingsFrom(const DwordSource& source) {
  GlobalSettings g;
  g.rate_percent = Number(source, kRatePercentValue, kDefaultRatePercent, kRatePercentRange);
  g.volume_percent =
      Number(source, kVolumePercentValue, kDefaultVolumePercent, kVolumePercentRange);
  g.override_pauses = Switch(source, kOverridePausesValue);
  // Read and limited whether or not they override the voices' own.
  ReadPauses(source, g.pauses);
  g.tags = Switch(source, kHonourTagsValue);
  g.speak_punctuation = Switch(source, kSpeakPunctuationValue);
  return g;
}

}  // namespace Quellmar
