// SpObjectToken: a token over a registry key (SetId) or over a data key an
// enumerator made (InitFromDataKey). Every ISpDataKey call goes to that key.
#pragma once

#include <string>

#include "testing/sapi_runtime/registry_data_key.h"

namespace Quellmar::sapirt {

class ObjectToken : public ISpObjectTokenInit {
 public:
  virtual ~ObjectToken() = default;
  void* Find(REFIID iid);

  // ISpDataKey
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
  // ISpObjectToken
  HRESULT STDMETHODCALLTYPE SetId(LPCWSTR category_id, LPCWSTR token_id, WINBOOL create) override;
  HRESULT STDMETHODCALLTYPE GetId(LPWSTR* id) override;
  HRESULT STDMETHODCALLTYPE GetCategory(ISpObjectTokenCategory** category) override;
  HRESULT STDMETHODCALLTYPE CreateInstance(IUnknown* outer, DWORD context, REFIID iid, void** object) override;
  HRESULT STDMETHODCALLTYPE GetStorageFileName(REFCLSID caller, LPCWSTR value_name, LPCWSTR specifier,
                                               ULONG folder, LPWSTR* path) override;
  HRESULT STDMETHODCALLTYPE RemoveStorageFileName(REFCLSID caller, LPCWSTR key_name, WINBOOL delete_file) override;
  HRESULT STDMETHODCALLTYPE Remove(const CLSID* caller) override;
  HRESULT STDMETHODCALLTYPE IsUISupported(LPCWSTR type, void* extra, ULONG extra_size, IUnknown* object,
                                          WINBOOL* supported) override;
  HRESULT STDMETHODCALLTYPE DisplayUI(HWND parent, LPCWSTR title, LPCWSTR type, void* extra, ULONG extra_size,
                                      IUnknown* object) override;
  HRESULT STDMETHODCALLTYPE MatchesAttributes(LPCWSTR attributes, WINBOOL* matches) override;
  // ISpObjectTokenInit
  HRESULT STDMETHODCALLTYPE InitFromDataKey(LPCWSTR category_id, LPCWSTR token_id, ISpDataKey* key) override;

 private:
  com_ptr<ISpDataKey> key_;
  std::wstring id_;
  std::wstring category_id_;
};

// The value of an attribute of a token (its "Attributes" subkey); empty when missing.
bool ReadAttribute(ISpDataKey* token, const wchar_t* name, std::wstring& value);

}  // namespace Quellmar::sapirt
