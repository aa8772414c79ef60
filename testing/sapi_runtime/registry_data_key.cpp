#include "testing/sapi_runtime/registry_data_key.h"

#include <vector>

#include "common/win_handles.h"

namespace Quellmar::sapirt {

bool ParseRegistryId(const std::wstring& id, RegistryPath& out) {
  static const std::pair<const wchar_t*, HKEY> kRoots[] = {
      {L"HKEY_LOCAL_MACHINE", HKEY_LOCAL_MACHINE}, {L"HKEY_CURRENT_USER", HKEY_CURRENT_USER},
      {L"HKLM", HKEY_LOCAL_MACHINE}, {L"HKCU", HKEY_CURRENT_USER}};
  for (const auto& [name, root] : kRoots) {
    const size_t n = wcslen(name);
    if (id.size() >= n && _wcsnicmp(id.c_str(), name, n) == 0 && (id.size() == n || id[n] == L'\\')) {
      out.root = root;
      out.path = id.size() > n ? id.substr(n + 1) : std::wstring();
      while (!out.path.empty() && out.path.back() == L'\\') out.path.pop_back();
      return true;
    }
  }
  return false;
}

HRESULT FromRegistry(LONG result) {
  if (result == ERROR_SUCCESS) return S_OK;
  if (result == ERROR_FILE_NOT_FOUND || result == ERROR_PATH_NOT_FOUND) return kSpErrNotFound;
  if (result == ERROR_NO_MORE_ITEMS) return kSpErrNoMoreItems;
  return HRESULT_FROM_WIN32(result);
}

HRESULT RegistryDataKey::Open(REGSAM access, HKEY& out) const {
  out = nullptr;
  return FromRegistry(RegOpenKeyExW(where_.root, where_.path.c_str(), 0, access, &out));
}

HRESULT RegistryDataKey::SetData(LPCWSTR name, ULONG size, const BYTE* data) {
  if (!data && size) return E_POINTER;
  HKEY raw;
  if (HRESULT hr = Open(KEY_SET_VALUE, raw); FAILED(hr)) return hr;
  unique_reg_key key(raw);
  return FromRegistry(RegSetValueExW(key.get(), name, 0, REG_BINARY, data, size));
}

HRESULT RegistryDataKey::GetData(LPCWSTR name, ULONG* size, BYTE* data) {
  if (!size) return E_POINTER;
  HKEY raw;
  if (HRESULT hr = Open(KEY_QUERY_VALUE, raw); FAILED(hr)) return hr;
  unique_reg_key key(raw);
  DWORD n = *size;
  const LONG r = RegQueryValueExW(key.get(), name, nullptr, nullptr, data, &n);
  *size = n;
  return FromRegistry(r);
}

HRESULT RegistryDataKey::SetStringValue(LPCWSTR name, LPCWSTR value) {
  if (!value) return E_POINTER;
  HKEY raw;
  if (HRESULT hr = Open(KEY_SET_VALUE, raw); FAILED(hr)) return hr;
  unique_reg_key key(raw);
  const DWORD bytes = static_cast<DWORD>((wcslen(value) + 1) * sizeof(wchar_t));
  return FromRegistry(RegSetValueExW(key.get(), name, 0, REG_SZ, reinterpret_cast<const BYTE*>(value), bytes));
}

HRESULT RegistryDataKey::GetStringValue(LPCWSTR name, LPWSTR* value) {
  if (!value) return E_POINTER;
  *value = nullptr;
  return Guard([&]() -> HRESULT {
    HKEY raw;
    if (HRESULT hr = Open(KEY_QUERY_VALUE, raw); FAILED(hr)) return hr;
    unique_reg_key key(raw);
    DWORD type = 0, bytes = 0;
    LONG r = RegQueryValueExW(key.get(), name, nullptr, &type, nullptr, &bytes);
    if (r != ERROR_SUCCESS) return FromRegistry(r);
    if (type != REG_SZ && type != REG_EXPAND_SZ) return kSpErrNotFound;
    std::vector<wchar_t> text(bytes / sizeof(wchar_t) + 1, L'\0');
    r = RegQueryValueExW(key.get(), name, nullptr, &type, reinterpret_cast<BYTE*>(text.data()), &bytes);
    if (r != ERROR_SUCCESS) return FromRegistry(r);
    text.back() = L'\0';
    return CoTaskCopy(text.data(), value);
  });
}

HRESULT RegistryDataKey::SetDWORD(LPCWSTR name, DWORD value) {
  HKEY raw;
  if (HRESULT hr = Open(KEY_SET_VALUE, raw); FAILED(hr)) return hr;
  unique_reg_key key(raw);
  return FromRegistry(RegSetValueExW(key.get(), name, 0, REG_DWORD, reinterpret_cast<const BYTE*>(&value), sizeof value));
}

HRESULT RegistryDataKey::GetDWORD(LPCWSTR name, DWORD* value) {
  if (!value) return E_POINTER;
  HKEY raw;
  if (HRESULT hr = Open(KEY_QUERY_VALUE, raw); FAILED(hr)) return hr;
  unique_reg_key key(raw);
  DWORD type = 0, v = 0, bytes = sizeof v;
  const LONG r = RegQueryValueExW(key.get(), name, nullptr, &type, reinterpret_cast<BYTE*>(&v), &bytes);
  if (r != ERROR_SUCCESS) return FromRegistry(r);
  if (type != REG_DWORD) return kSpErrNotFound;
  *value = v;
  return S_OK;
}

HRESULT RegistryDataKey::OpenKey(LPCWSTR name, ISpDataKey** key) {
  if (!name) return E_INVALIDARG;
  if (!key) return E_POINTER;
  *key = nullptr;
  return Guard([&]() -> HRESULT {
    RegistryPath sub{where_.root, where_.path + L"\\" + name};
    HKEY raw;
    if (HRESULT hr = FromRegistry(RegOpenKeyExW(sub.root, sub.path.c_str(), 0, KEY_READ, &raw)); FAILED(hr)) return hr;
    unique_reg_key check(raw);
    return HandOut(Make<RegistryDataKey>(std::move(sub)), key);
  });
}

HRESULT RegistryDataKey::CreateKey(LPCWSTR name, ISpDataKey** key) {
  if (!name) return E_INVALIDARG;
  if (!key) return E_POINTER;
  *key = nullptr;
  return Guard([&]() -> HRESULT {
    RegistryPath sub{where_.root, where_.path + L"\\" + name};
    HKEY raw;
    if (HRESULT hr = FromRegistry(RegCreateKeyExW(sub.root, sub.path.c_str(), 0, nullptr, 0, KEY_READ | KEY_WRITE,
                                                  nullptr, &raw, nullptr));
        FAILED(hr))
      return hr;
    unique_reg_key check(raw);
    return HandOut(Make<RegistryDataKey>(std::move(sub)), key);
  });
}

HRESULT RegistryDataKey::DeleteKey(LPCWSTR name) {
  if (!name) return E_INVALIDARG;
  HKEY raw;
  if (HRESULT hr = Open(KEY_ALL_ACCESS, raw); FAILED(hr)) return hr;
  unique_reg_key key(raw);
  return FromRegistry(RegDeleteTreeW(key.get(), name));  // the key with everything below it
}

HRESULT RegistryDataKey::DeleteValue(LPCWSTR name) {
  HKEY raw;
  if (HRESULT hr = Open(KEY_SET_VALUE, raw); FAILED(hr)) return hr;
  unique_reg_key key(raw);
  return FromRegistry(RegDeleteValueW(key.get(), name));
}

HRESULT RegistryDataKey::EnumKeys(ULONG index, LPWSTR* name) {
  if (!name) return E_POINTER;
  *name = nullptr;
  HKEY raw;
  if (HRESULT hr = Open(KEY_READ, raw); FAILED(hr)) return hr;
  unique_reg_key key(raw);
  wchar_t buffer[256];
  DWORD n = 256;
  const LONG r = RegEnumKeyExW(key.get(), index, buffer, &n, nullptr, nullptr, nullptr, nullptr);
  if (r != ERROR_SUCCESS) return r == ERROR_NO_MORE_ITEMS ? kSpErrNoMoreItems : FromRegistry(r);
  return CoTaskCopy(buffer, name);
}

HRESULT RegistryDataKey::EnumValues(ULONG index, LPWSTR* name) {
  if (!name) return E_POINTER;
  *name = nullptr;
  HKEY raw;
  if (HRESULT hr = Open(KEY_READ, raw); FAILED(hr)) return hr;
  unique_reg_key key(raw);
  wchar_t buffer[16384];
  DWORD n = 16384;
  const LONG r = RegEnumValueW(key.get(), index, buffer, &n, nullptr, nullptr, nullptr, nullptr);
  if (r != ERROR_SUCCESS) return r == ERROR_NO_MORE_ITEMS ? kSpErrNoMoreItems : FromRegistry(r);
  return CoTaskCopy(buffer, name);
}

}  // namespace Quellmar::sapirt
