// ISpDataKey over a registry key, as the platform's runtime serves it for
// tokens and categories, and the registry spelling of token ids.
#pragma once

#include <windows.h>
#include "sapi/sapi_engine_interfaces.h"

#include <string>

#include "testing/sapi_runtime/runtime_object.h"

namespace Quellmar::sapirt {

struct RegistryPath {
  HKEY root = nullptr;
  std::wstring path;  // below the root, no leading backslash
};

// "HKEY_LOCAL_MACHINE\A\B" -> {HKLM, "A\B"}; also HKEY_CURRENT_USER and the
// short forms HKLM and HKCU. False for anything else.
bool ParseRegistryId(const std::wstring& id, RegistryPath& out);

class RegistryDataKey : public ISpDataKey {
 public:
  explicit RegistryDataKey(RegistryPath where) : where_(std::move(where)) {}
  virtual ~RegistryDataKey() = default;
  void* Find(REFIID iid) {
    return (iid == IID_IUnknown || iid == __uuidof(ISpDataKey)) ? static_cast<ISpDataKey*>(this) : nullptr;
  }

  HRESULT STDMETHODCALLTYPE SetData(LPCWSTR name, ULONG size, const BYTE* data) override;
  HRESULT STDMETHODCALLTYPE GetData(LPCWSTR name, ULONG* size, BYTE* data) override;
  HRESULT STDMETHODCALLTYPE SetStringValue(LPCWSTR name, LPCWSTR value) override;
  HRESULT STDMETHODCALLTYPE GetStringValue(LPCWSTR name, LPWSTR* value) override;
  HRESULT STDMETHODCALLTYPE SetDWORD(LPCWSTR name, DWORD value) override;
  HRESULT STDMETHODCALLTYPE GetDWORD(LPCWSTR name, DWORD* value) override;
  HRESULT STDMETHODCALLTYPE OpenKey(LPCWSTR name, ISpDataKey** key) override;
  HRESULT STDMETHODCALLTYPE CreateKey(LPCWSTR name, ISpDataKey** key) override;
  HRESULT STDMETHODCALLTYPE DeleteKey(LPCWSTR name) override;
  HRESULT STDMETHODCALLTYPE DeleteValue(LPCWSTR name) override;
  HRESULT STDMETHODCALLTYPE EnumKeys(ULONG index, LPWSTR* name) override;
  HRESULT STDMETHODCALLTYPE EnumValues(ULONG index, LPWSTR* name) override;

  const RegistryPath& where() const { return where_; }

 private:
  HRESULT Open(REGSAM access, HKEY& out) const;
  RegistryPath where_;
};

// Turns a registry result into the platform's speech error for "missing".
HRESULT FromRegistry(LONG result);

}  // namespace Quellmar::sapirt
