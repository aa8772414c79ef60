// Which user dictionary the engine core honours: quellmar.ini is read anew
// for every synthesis, so switching CUSTOM or recompiling the dictionary
// reaches the next synthesis of a running worker without a restart.
#include <windows.h>

#include "common/engine_settings.h"
#include "engine_core/user_dictionary.h"

namespace Quellmar::engine_core {
namespace {

std::wstring SettingsPath() {
  wchar_t dir[MAX_PATH];
  UINT n = GetWindowsDirectoryW(dir, MAX_PATH);
  if (n == 0 || n >= MAX_PATH) return kEngineSettingsFallbackPath;
  return EngineSettingsPathIn(std::wstring_view(dir, n));
}

std::wstring ProfileString(const wchar_t* section, const wchar_t* key, const std::wstring& path) {
  wchar_t value[kEngineSettingsValueChars];
  DWORD n = GetPrivateProfileStringW(section, key, L"", value, static_cast<DWORD>(kEngineSettingsValueChars),
                                     path.c_str());
  return std::wstring(value, n);
}

}  // namespace

std::shared_ptr<const WordLookup> CurrentUserDictionary() {
  static UserDictionaryCache cache;
  try {
    const std::wstring path = SettingsPath();
    if (!IsCustomOn(ProfileString(kDictionarySection, kCustomKey, path))) return nullptr;
    std::wstring folder = ProfileString(kAppDirSection, kDictionaryFilesKey, path);
    if (folder.empty()) return nullptr;
    return cache.Get(std::filesystem::path(folder));
  } catch (...) {
    // A dictionary that cannot be had leaves the core's own rules.
    return nullptr;
  }
}

}  // namespace Quellmar::engine_core
