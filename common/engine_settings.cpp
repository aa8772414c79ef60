#include "common/engine_settings.h"

namespace Quellmar {

EngineSettings EngineSettingsFrom(const ProfileSource& source) {
  EngineSettings s;
  s.sound_bank_dir = source.String(kAppDirSection, kSoundBankKey);
  s.temp_dir = source.String(kAppDirSection, kTempDirKey);
  s.dictionary_files_dir = source.String(kAppDirSection, kDictionaryFilesKey);
  s.user_dictionary_dir = source.String(kAppDirSection, kUserDictionaryKey);
  s.custom_entries = IsCustomOn(source.String(kDictionarySection, kCustomKey));
  for (int i = 0; i < 4; ++i) {
    s.pauses[i] = source.Int(kEngineSettingsSection, kEnginePauseKeys[i], kEngineDefaultPauses[i]);
  }
  return s;
}

bool IsCustomOn(std::wstring_view value) {
  constexpr std::wstring_view on = kCustomOn;
  if (value.size() != on.size()) return false;
  for (size_t i = 0; i < on.size(); ++i) {
    wchar_t c = value[i];
    if (c >= L'a' && c <= L'z') c = c - L'a' + L'A';
    if (c != on[i]) return false;
  }
  return true;
}

std::wstring PauseText(int32_t pause) {
  // Through 64 bits so that the lowest value has a magnitude too.
  const int64_t v = pause;
  uint64_t magnitude = v < 0 ? static_cast<uint64_t>(-v) : static_cast<uint64_t>(v);
  std::wstring digits;
  do {
    digits.insert(digits.begin(), static_cast<wchar_t>(L'0' + magnitude % 10));
    magnitude /= 10;
  } while (magnitude != 0);
  return v < 0 ? L"-" + digits : digits;
}

std::wstring EngineSettingsPathIn(std::wstring_view windows_dir) {
  std::wstring path(windows_dir);
  if (path.empty() || path.back() != L'\\') path.push_back(L'\\');
  return path + kEngineSettingsFileName;
}

std::vector<ProfileEntry> EngineSettingsEntries(const EngineSettings& s) {
  std::vector<ProfileEntry> entries = {
      {kAppDirSection, kSoundBankKey, s.sound_bank_dir},
      {kAppDirSection, kTempDirKey, s.temp_dir},
      {kAppDirSection, kDictionaryFilesKey, s.dictionary_files_dir},
      {kAppDirSection, kUserDictionaryKey, s.user_dictionary_dir},
      {kDictionarySection, kCustomKey, s.custom_entries ? kCustomOn : kCustomOff},
  };
  for (int i = 0; i < 4; ++i) {
    entries.push_back({kEngineSettingsSection, kEnginePauseKeys[i], PauseText(s.pauses[i])});
  }
  return entries;
}

}  // namespace Quellmar
