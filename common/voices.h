// The eight published voices: seven ready-made variations of the recorded
// voice, fixed in a table, and the custom voice whose parameters come from the
// current user's registry. Index 0..6 are the table rows, 7 is the custom voice.
#pragma once

#include <cstdint>
#include <string_view>

#include "common/voice_settings.h"

namespace Quellmar {

inline constexpr int kVoiceCount = 8;
inline constexpr int kPresetCount = 7;
inline constexpr int kCustomVoiceIndex = 7;

struct VoicePreset {
  const wchar_t* key;           // lower-case token identifier
  const wchar_t* display_name;  // what SAPI hosts show
  const wchar_t* description;   // one sentence, the token's description
  int32_t speed;                // words a minute; 175 is the engine's own pace
  int32_t pitch;                // engine pitch units; 63 is the recorded pitch
  int32_t volume;               // 0..65535; 32767 is the recorded level
  int32_t pause_scale;          // percent of the standard pauses 650, 500, 350, 7
};

extern const VoicePreset kVoicePresets[kPresetCount];

inline constexpr wchar_t kCustomVoiceKey[] = L"custom";
inline constexpr wchar_t kCustomVoiceDisplayName[] = L"Quellmar Custom Voice";
inline constexpr wchar_t kCustomVoiceDescription[] =
    L"Every parameter comes from the Quellmar configuration utility.";

struct VoiceTexts {
  const wchar_t* key;
  const wchar_t* display_name;
  const wchar_t* description;
};

// The texts of voice `index` (0..7); any other index gives row 0's texts.
VoiceTexts VoiceTextsFor(int index);

// The voice a token's key attribute names: "custom" is 7, a row's key its row;
// no exact, case-sensitive match (an empty key included) gives 0.
int VoiceIndexFromKey(std::wstring_view key);

// The settings of ready-made voice `index` (0..6; anything else uses row 0):
// the row's speed, pitch and volume, its pause scale applied to the standard
// pauses with truncation, both switches off.
CustomVoiceSettings PresetVoiceSettings(int index);

}  // namespace Quellmar
