#include "common/engine_settings.h"

#include "common/profile_edit.h"

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

std::wstring EngineSettingsPathIn(std::wstring_view windows_dir) {
  std::wstring path(windows_dir);
  if (path.empty() || path.back() != L'\\') path.push_back(L'\\');
  return path + kEngineSettingsFileName;
}

std::string WithCustomEntries(std::string_view file, bool on) {
  return WithProfileValue(file, kDictionarySection, kCustomKey, on ? kCustomOn : kCustomOff);
}

}  // namespace Quellmar
