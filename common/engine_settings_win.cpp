// quellmar.ini: read through the platform's private-profile functions, its
// CUSTOM line written in the file's own bytes.
#include <windows.h>

#include "common/durable_file.h"
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

bool WriteCustomEntries(bool on) {
  const std::wstring path = EngineSettingsPath();
  std::string old;
  const FileError read = LocalFiles().Read(path, old, kEngineSettingsFileLimit);
  bool ok = read == FileError::kNone || read == FileError::kNotFound;
  if (ok) {
    const std::string now = WithCustomEntries(old, on);
    if (read == FileError::kNone && now == old) return true;
    ok = ReplaceWholeFile(LocalFiles(), path, now) == FileError::kNone;
    // The profile functions may keep the old contents: have them read the file again.
    WritePrivateProfileStringW(nullptr, nullptr, nullptr, path.c_str());
  }
  if (!ok) {
    Log("could not write %ls (error %lu) -- the engine keeps its current directories until it is "
        "next restarted",
        path.c_str(), LastSystemError());
  }
  return ok;
}

}  // namespace Quellmar
