// quellmar.ini through the platform's private-profile functions.
#include <windows.h>

#include "common/engine_settings.h"
#include "common/log.h"

namespace Quellmar {
namespace {

class PrivateProfile : public ProfileSource {
 public:
  explicit PrivateProfile(const std::wstring& path) : path_(path) {}
  std::wstring String(const wchar_t* section, const wchar_t* key) const override {
    wchar_t buffer[kEngineSettingsValueChars] = {};
    DWORD n = GetPrivateProfileStringW(section, key, L"", buffer, kEngineSettingsValueChars,
                                       path_.c_str());
    if (n >= kEngineSettingsValueChars) n = kEngineSettingsValueChars - 1;
    return std::wstring(buffer, n);
  }
  int32_t Int(const wchar_t* section, const wchar_t* key, int32_t fallback) const override {
    return static_cast<int32_t>(GetPrivateProfileIntW(section, key, fallback, path_.c_str()));
  }

 private:
  const std::wstring& path_;
};

}  // namespace

std::wstring EngineSettingsPath() {
  wchar_t dir[kWindowsPathChars] = {};
  UINT n = GetWindowsDirectoryW(dir, kWindowsPathChars);
  // 0 is failure; a result that does not fit is the size it would need.
  if (n == 0 || n >= kWindowsPathChars) return kEngineSettingsFallbackPath;
  return EngineSettingsPathIn(std::wstring_view(dir, n));
}

EngineSettings ReadEngineSettings() {
  const std::wstring path = EngineSettingsPath();
  return EngineSettingsFrom(PrivateProfile(path));
}

bool WriteEngineSettings(const EngineSettings& settings) {
  const std::wstring path = EngineSettingsPath();
  bool all = true;
  for (const ProfileEntry& e : EngineSettingsEntries(settings)) {
    // Every key is attempted; there is no rollback of those already written.
    if (!WritePrivateProfileStringW(e.section, e.key, e.value.c_str(), path.c_str())) all = false;
  }
  if (!all) {
    const unsigned long error = GetLastError();
    Log("could not write %ls (error %lu) -- the engine keeps its current directories until it is "
        "next restarted",
        path.c_str(), error);
  }
  return all;
}

}  // namespace Quellmar
