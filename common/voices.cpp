#include "common/voices.h"

namespace Quellmar {

const VoicePreset kVoicePresets[kPresetCount] = {
    {L"oskel", L"Quellmar Oskel", L"The engine's own voice, exactly as Quellmar shipped it.", 175,
     63, 32767, 100},
    {L"deep", L"Quellmar Oskel Deep", L"Oskel a fourth lower and a little slower.", 160, 50, 32767,
     110},
    {L"bright", L"Quellmar Oskel Bright", L"Oskel a fourth higher, at his usual pace.", 180, 78,
     32767, 100},
    {L"brisk", L"Quellmar Oskel Brisk",
     L"Oskel at 260 words a minute, for reading rather than listening.", 260, 65, 32767, 70},
    {L"measured", L"Quellmar Oskel Measured", L"Oskel at 120 words a minute with longer pauses.",
     120, 60, 32767, 140},
    {L"announcer", L"Quellmar Oskel Announcer",
     L"Oskel slightly lower and louder, with broadcast pacing.", 165, 57, 46000, 120},
    {L"clipped", L"Quellmar Oskel Clipped",
     L"Oskel fast and with the pauses taken out, for skimming.", 300, 66, 32767, 25},
};

VoiceTexts VoiceTextsFor(int index) {
  if (index == kCustomVoiceIndex) {
    return {kCustomVoiceKey, kCustomVoiceDisplayName, kCustomVoiceDescription};
  }
  const VoicePreset& row = kVoicePresets[index >= 0 && index < kPresetCount ? index : 0];
  return {row.key, row.display_name, row.description};
}

int VoiceIndexFromKey(std::wstring_view key) {
  if (key == kCustomVoiceKey) return kCustomVoiceIndex;
  for (int i = 0; i < kPresetCount; ++i) {
    if (key == kVoicePresets[i].key) return i;
  }
  return 0;
}

CustomVoiceSettings PresetVoiceSettings(int index) {
  const VoicePreset& row = kVoicePresets[index >= 0 && index < kPresetCount ? index : 0];
  const int32_t s = row.pause_scale;
  CustomVoiceSettings v;
  v.speed = row.speed;
  v.pitch = row.pitch;
  v.volume = row.volume;
  // Integer division truncates towards zero, as the pauses are meant to.
  v.pauses = {s * 650 / 100, s * 5, s * 350 / 100, s * 7 / 100};
  LimitPauses(v.pauses);
  v.tags = false;
  v.speak_punctuation = false;
  return v;
}

}  // namespace Quellmar
