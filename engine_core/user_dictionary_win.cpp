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
  DWORD n = GetPrivateProfileStringW(section, key, L"", value,
                                     static_cast<DWORD>(kEngineSettingsValueChars), path.c_str());
  return std::wstring(value, n);
}

// Times in 100 ns: a dictionary compiled twice within a second is still
// told apart (a replaced file is also a newly created one).
bool WindowsStamp(const std::filesystem::path& file, UserDictionaryCache::Stamp& stamp) {
  WIN32_FILE_ATTRIBUTE_DATA a;
  if (!GetFileAttributesExW(file.c_str(), GetFileExInfoStandard, &a)) return false;
  auto u64 = [](DWORD high, DWORD low) { return (static_cast<uint64_t>(high) << 32) | low; };
  stamp.written = u64(a.ftLastWriteTime.dwHighDateTime, a.ftLastWriteTime.dwLowDateTime);
  stamp.created = u64(a.ftCreationTime.dwHighDateTime, a.ftCreationTime.dwLowDateTime);
  stamp.size = u64(a.nFileSizeHigh, a.nFileSizeLow);
  return true;
}

}  // namespace

std::shared_ptr<const WordLookup> CurrentUserDictionary() {
  static UserDictionaryCache cache(LocalFiles(), &WindowsStamp);
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
