#include "testing/user_state.h"

#include "common/log.h"
#include "common/win_handles.h"

namespace Quellmar::testing {

void DeleteQuellmarKeys() {
  RegDeleteTreeW(HKEY_CURRENT_USER, kSettingsKey);
  RegDeleteKeyW(HKEY_CURRENT_USER, kSettingsKey);
  for (REGSAM view : {KEY_WOW64_64KEY, KEY_WOW64_32KEY}) {
    unique_reg_key software;
    if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, L"SOFTWARE", 0, KEY_ALL_ACCESS | view, software.put()) ==
        ERROR_SUCCESS) {
      RegDeleteTreeW(software.get(), L"Quellmar SAPI5");
      RegDeleteKeyExW(software.get(), L"Quellmar SAPI5", view, 0);
    }
  }
}

bool SetUserValue(const std::wstring& subkey, const std::wstring& name, DWORD type,
                  const void* data, DWORD size) {
  std::wstring path = kSettingsKey;
  if (!subkey.empty()) path += L"\\" + subkey;
  unique_reg_key key;
  if (RegCreateKeyExW(HKEY_CURRENT_USER, path.c_str(), 0, nullptr, 0, KEY_SET_VALUE, nullptr,
                      key.put(), nullptr) != ERROR_SUCCESS) {
    return false;
  }
  return RegSetValueExW(key.get(), name.c_str(), 0, type, static_cast<const BYTE*>(data), size) ==
         ERROR_SUCCESS;
}

bool SetUserDword(const std::wstring& subkey, const std::wstring& name, DWORD value) {
  return SetUserValue(subkey, name, REG_DWORD, &value, sizeof(value));
}

void CleanUserState::SetUp() {
  DeleteQuellmarKeys();
  temp_ = std::make_unique<TempDir>("qm-user");
  wchar_t buf[1024];
  DWORD n = GetEnvironmentVariableW(L"LOCALAPPDATA", buf, 1024);
  had_local_app_data_ = n > 0 && n < 1024;
  if (had_local_app_data_) saved_local_app_data_.assign(buf, n);
  SetEnvironmentVariableW(L"LOCALAPPDATA", temp_->path().wstring().c_str());
}

void CleanUserState::TearDown() {
  SetEnvironmentVariableW(L"LOCALAPPDATA",
                          had_local_app_data_ ? saved_local_app_data_.c_str() : nullptr);
  DeleteQuellmarKeys();
  temp_.reset();
}

}  // namespace Quellmar::testing
