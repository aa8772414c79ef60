// SpObjectTokenCategory over a registry category such as
// "HKEY_LOCAL_MACHINE\SOFTWARE\Microsoft\Speech\Voices", and the token
// enumerator its EnumTokens returns.
#pragma once

#include <string>
#include <vector>

#include "testing/sapi_runtime/registry_data_key.h"

namespace Quellmar::sapirt {

class TokenList : public IEnumSpObjectTokens {
 public:
  explicit TokenList(std::vector<com_ptr<ISpObjectToken>> tokens, ULONG position = 0)
      : tokens_(std::move(tokens)), position_(position) {}
  virtual ~TokenList() = default;
  void* Find(REFIID iid) {
    return (iid == IID_IUnknown || iid == __uuidof(IEnumSpObjectTokens)) ? static_cast<IEnumSpObjectTokens*>(this)
                                                                         : nullptr;
  }
  HRESULT STDMETHODCALLTYPE Next(ULONG count, ISpObjectToken** tokens, ULONG* fetched) override;
  HRESULT STDMETHODCALLTYPE Skip(ULONG count) override;
  HRESULT STDMETHODCALLTYPE Reset() override;
  HRESULT STDMETHODCALLTYPE Clone(IEnumSpObjectTokens** clone) override;
  HRESULT STDMETHODCALLTYPE Item(ULONG index, ISpObjectToken** token) override;
  HRESULT STDMETHODCALLTYPE GetCount(ULONG* count) override;

 private:
  std::vector<com_ptr<ISpObjectToken>> tokens_;
  ULONG position_;
};

class TokenCategory : public ISpObjectTokenCategory {
 public:
  virtual ~TokenCategory() = default;
  void* Find(REFIID iid) {
    return (iid == IID_IUnknown || iid == __uuidof(ISpDataKey) || iid == __uuidof(ISpObjectTokenCategory))
               ? static_cast<ISpObjectTokenCategory*>(this)
               : nullptr;
  }
  // ISpDataKey, over the category's own key
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
  // ISpObjectTokenCategory
  HRESULT STDMETHODCALLTYPE SetId(LPCWSTR id, WINBOOL create) override;
  HRESULT STDMETHODCALLTYPE GetId(LPWSTR* id) override;
  HRESULT STDMETHODCALLTYPE GetDataKey(SPDATAKEYLOCATION location, ISpDataKey** key) override;
  HRESULT STDMETHODCALLTYPE EnumTokens(LPCWSTR required, LPCWSTR optional, IEnumSpObjectTokens** tokens) override;
  HRESULT STDMETHODCALLTYPE SetDefaultTokenId(LPCWSTR id) override;
  HRESULT STDMETHODCALLTYPE GetDefaultTokenId(LPWSTR* id) override;

 private:
  // The category's tokens: every subkey of "Tokens", then the tokens of every
  // enumerator class named under "TokenEnums".
  HRESULT AllTokens(std::vector<com_ptr<ISpObjectToken>>& out);
  com_ptr<ISpDataKey> key_;
  std::wstring id_;
};

}  // namespace Quellmar::sapirt
