#include "common/settings_registry.h"

#include "common/voices.h"
#include "common/win_handles.h"

namespace Quellmar {

std::optional<uint32_t> ReadUserDword(const wchar_t* key_path, const wchar_t* name) {
  unique_reg_key key;
  if (RegOpenKeyExW(HKEY_CURRENT_USER, key_path, 0, KEY_READ, key.put()) != ERROR_SUCCESS) {
    return std::nullopt;
  }
  // A larger value (a string, a 64-bit number) fails with ERROR_MORE_DATA and
  // never lands beyond these four bytes.
  DWORD type = REG_NONE, value = 0, size = sizeof(value);
  if (RegQueryValueExW(key.get(), name, nullptr, &type, reinterpret_cast<BYTE*>(&value), &size) !=
          ERROR_SUCCESS ||
      type != REG_DWORD || size != sizeof(value)) {
    return std::nullopt;
  }
  return value;
}

CustomVoiceSettings ReadCustomVoiceSettings() {
  return CustomVoiceSettingsFrom(
      [](const wchar_t* name) { return ReadUserDword(kCustomVoiceKeyPath, name); });
}

GlobalSettings ReadGlobalSettings() {
  return GlobalSettingsFrom(
      [](const wchar_t* name) { return ReadUserDword(kGlobalKeyPath, name); });
}

CustomVoiceSettings VoiceSettingsFor(int index) {
  if (index == kCustomVoiceIndex) return ReadCustomVoiceSettings();
  return PresetVoiceSettings(index);
}

}  // namespace Quellmar
