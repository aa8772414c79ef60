#include "sapi/registry.h"

namespace Quellmar::registry {

unique_reg_key CreateKey(HKEY parent, const wchar_t* name, REGSAM access) {
  HKEY key = nullptr;
  if (RegCreateKeyExW(parent, name, 0, nullptr, REG_OPTION_NON_VOLATILE, access, nullptr, &key,
                      nullptr) != ERROR_SUCCESS) {
    throw error(kOpenCreateFailed);
  }
  return unique_reg_key(key);
}

unique_reg_key OpenKey(HKEY parent, const wchar_t* name, REGSAM access) {
  HKEY key = nullptr;
  if (RegOpenKeyExW(parent, name, 0, access, &key) != ERROR_SUCCESS) throw error(kOpenCreateFailed);
  return unique_reg_key(key);
}

void SetString(HKEY key, const wchar_t* name, const std::wstring& value) {
  const DWORD bytes = static_cast<DWORD>((value.size() + 1) * sizeof(wchar_t));
  if (RegSetValueExW(key, name, 0, REG_SZ, reinterpret_cast<const BYTE*>(value.c_str()), bytes) !=
      ERROR_SUCCESS) {
    throw error(kWriteFailed);
  }
}

void DeleteKey(HKEY parent, const wchar_t* name) {
  if (RegDeleteKeyW(parent, name) != ERROR_SUCCESS) throw error(kDeleteFailed);
}

}  // namespace Quellmar::registry
