#include "config/settings_writer.h"

#include "common/log.h"
#include "common/settings_registry.h"
#include "common/win_handles.h"
#include "config/dialog_values.h"

namespace Quellmar::config {
namespace {

DWORD Stored(int32_t v) { return static_cast<DWORD>(v); }
DWORD Stored(bool on) { return on ? 1 : 0; }

}  // namespace

bool WriteUserDword(const wchar_t* key_path, const wchar_t* name, DWORD value) {
  unique_reg_key key;
  if (RegCreateKeyExW(HKEY_CURRENT_USER, key_path, 0, nullptr, 0, KEY_SET_VALUE, nullptr, key.put(),
                      nullptr) != ERROR_SUCCESS) {
    return false;
  }
  return RegSetValueExW(key.get(), name, 0, REG_DWORD, reinterpret_cast<const BYTE*>(&value),
                        sizeof(value)) == ERROR_SUCCESS;
}

bool WriteCustomVoiceSettings(const CustomVoiceSettings& settings) {
  const CustomVoiceSettings v = LimitForStorage(settings);
  const wchar_t* key = kCustomVoiceKeyPath;
  bool ok = true;
  // Every value is tried; `&=` keeps going after a failure.
  ok &= WriteUserDword(key, kSpeedValue, Stored(v.speed));
  ok &= WriteUserDword(key, kPitchValue, Stored(v.pitch));
  ok &= WriteUserDword(key, kVolumeValue, Stored(v.volume));
  for (int i = 0; i < 4; ++i) ok &= WriteUserDword(key, kPauseValues[i], Stored(v.pauses[i]));
  ok &= WriteUserDword(key, kHonourTagsValue, Stored(v.tags));
  ok &= WriteUserDword(key, kSpeakPunctuationValue, Stored(v.speak_punctuation));
  return ok;
}

bool WriteGlobalSettings(const GlobalSettings& g, bool with_pauses) {
  const wchar_t* key = kGlobalKeyPath;
  bool ok = true;
  ok &= WriteUserDword(key, kRatePercentValue, Stored(g.rate_percent));
  ok &= WriteUserDword(key, kVolumePercentValue, Stored(g.volume_percent));
  ok &= WriteUserDword(key, kOverridePausesValue, Stored(g.override_pauses));
  for (int i = 0; with_pauses && i < 4; ++i) {
    ok &= WriteUserDword(key, kPauseValues[i], Stored(g.pauses[i]));
  }
  ok &= WriteUserDword(key, kHonourTagsValue, Stored(g.tags));
  ok &= WriteUserDword(key, kSpeakPunctuationValue, Stored(g.speak_punctuation));
  return ok;
}

bool LoggingSwitchOn() {
  std::optional<uint32_t> stored = ReadUserDword(kSettingsKey, kLoggingValue);
  return !stored || *stored != 0;
}

bool WriteLoggingSwitch(bool on) { return WriteUserDword(kSettingsKey, kLoggingValue, Stored(on)); }

void ResetStoredSettings() {
  const SavedSettings shipped = ShippedSettings();
  WriteCustomVoiceSettings(shipped.voice);
  WriteGlobalSettings(shipped.global);
}

}  // namespace Quellmar::config
