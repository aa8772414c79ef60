// The two per-user settings records: the custom voice's parameters and the
// settings that apply to every voice, with their registry value names,
// defaults and limits. Both live under HKEY_CURRENT_USER as REG_DWORD values;
// reading them is Windows code (settings_registry.h), the rules here are not.
#pragma once

#include <array>
#include <cstdint>
#include <functional>
#include <optional>

namespace Quellmar {

inline constexpr wchar_t kCustomVoiceKeyPath[] = L"Software\\Quellmar SAPI5\\CustomVoice";
inline constexpr wchar_t kGlobalKeyPath[] = L"Software\\Quellmar SAPI5\\Global";

inline constexpr wchar_t kSpeedValue[] = L"Speed";
inline constexpr wchar_t kPitchValue[] = L"Pitch";
inline constexpr wchar_t kVolumeValue[] = L"Volume";
inline constexpr wchar_t kRatePercentValue[] = L"RatePercent";
inline constexpr wchar_t kVolumePercentValue[] = L"VolumePercent";
inline constexpr wchar_t kOverridePausesValue[] = L"OverridePauses";
inline constexpr wchar_t kHonourTagsValue[] = L"HonourTags";
inline constexpr wchar_t kSpeakPunctuationValue[] = L"SpeakPunctuation";
// "Pause%d" for 1..4.
inline constexpr const wchar_t* kPauseValues[4] = {L"Pause1", L"Pause2", L"Pause3", L"Pause4"};

struct Range {
  int32_t low;
  int32_t high;
  int32_t Limit(int32_t v) const { return v < low ? low : (v > high ? high : v); }
};

inline constexpr Range kSpeedRange{85, 350};
inline constexpr Range kPitchRange{45, 91};
inline constexpr Range kVolumeRange{0, 65535};
inline constexpr Range kRatePercentRange{25, 400};
inline constexpr Range kVolumePercentRange{0, 200};
// Sentence, semicolon/colon, comma, gap between words (milliseconds).
inline constexpr Range kPauseRanges[4] = {{0, 3000}, {0, 3000}, {0, 3000}, {0, 100}};
inline constexpr std::array<int32_t, 4> kDefaultPauses = {650, 500, 350, 7};

inline constexpr int32_t kDefaultSpeed = 175;
inline constexpr int32_t kDefaultPitch = 63;
inline constexpr int32_t kDefaultVolume = 32767;
inline constexpr int32_t kDefaultRatePercent = 100;
inline constexpr int32_t kDefaultVolumePercent = 100;

struct CustomVoiceSettings {
  int32_t speed = kDefaultSpeed;
  int32_t pitch = kDefaultPitch;
  int32_t volume = kDefaultVolume;
  std::array<int32_t, 4> pauses = kDefaultPauses;
  bool tags = false;
  bool speak_punctuation = false;
  bool operator==(const CustomVoiceSettings&) const = default;
};

struct GlobalSettings {
  int32_t rate_percent = kDefaultRatePercent;
  int32_t volume_percent = kDefaultVolumePercent;
  bool override_pauses = false;
  std::array<int32_t, 4> pauses = kDefaultPauses;
  bool tags = false;
  bool speak_punctuation = false;
  bool operator==(const GlobalSettings&) const = default;
};

void LimitPauses(std::array<int32_t, 4>& pauses);

// A stored value by name: the 32-bit number, or nullopt when the value is
// missing or not exactly one REG_DWORD.
using DwordSource = std::function<std::optional<uint32_t>(const wchar_t* name)>;

// The records as stored in `source`, read field by field in table order,
// with defaults for what is missing and every number limited to its range.
CustomVoiceSettings CustomVoiceSettingsFrom(const DwordSource& source);
GlobalSettings GlobalSettingsFrom(const DwordSource& source);

}  // namespace Quellmar
