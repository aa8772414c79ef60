#include "testing/sapi_runtime/object_token.h"

#include "testing/sapi_runtime/attribute_query.h"
#include "testing/sapi_runtime/token_category.h"

namespace Quellmar::sapirt {

void* ObjectToken::Find(REFIID iid) {
  if (iid == IID_IUnknown || iid == __uuidof(ISpDataKey) || iid == __uuidof(ISpObjectToken) ||
      iid == __uuidof(ISpObjectTokenInit))
    return static_cast<ISpObjectTokenInit*>(this);
  return nullptr;
}

#define QM_FORWARD(call) \
  if (!key_) return kSpErrUninitialized; \
  return key_->call

HRESULT ObjectToken::SetData(LPCWSTR name, ULONG size, const BYTE* data) { QM_FORWARD(SetData(name, size, data)); }
HRESULT ObjectToken::GetData(LPCWSTR name, ULONG* size, BYTE* data) { QM_FORWARD(GetData(name, size, data)); }
HRESULT ObjectToken::SetStringValue(LPCWSTR name, LPCWSTR value) { QM_FORWARD(SetStringValue(name, value)); }
HRESULT ObjectToken::GetStringValue(LPCWSTR name, LPWSTR* value) { QM_FORWARD(GetStringValue(name, value)); }
HRESULT ObjectToken::SetDWORD(LPCWSTR name, DWORD value) { QM_FORWARD(SetDWORD(name, value)); }
HRESULT ObjectToken::GetDWORD(LPCWSTR name, DWORD* value) { QM_FORWARD(GetDWORD(name, value)); }
HRESULT ObjectToken::OpenKey(LPCWSTR name, ISpDataKey** key) { QM_FORWARD(OpenKey(name, key)); }
HRESULT ObjectToken::CreateKey(LPCWSTR name, ISpDataKey** key) { QM_FORWARD(CreateKey(name, key)); }
HRESULT ObjectToken::DeleteKey(LPCWSTR name) { QM_FORWARD(DeleteKey(name)); }
HRESULT ObjectToken::DeleteValue(LPCWSTR name) { QM_FORWARD(DeleteValue(name)); }
HRESULT ObjectToken::EnumKeys(ULONG index, LPWSTR* name) { QM_FORWARD(EnumKeys(index, name)); }
HRESULT ObjectToken::EnumValues(ULONG index, LPWSTR* name) { QM_FORWARD(EnumValues(index, name)); }
#undef QM_FORWARD

HRESULT ObjectToken::SetId(LPCWSTR category_id, LPCWSTR token_id, WINBOOL create) {
  if (!token_id) return E_POINTER;
  if (key_) return kSpErrAlreadyInitialized;
  return Guard([&]() -> HRESULT {
    RegistryPath where;
    if (!ParseRegistryId(token_id, where)) return E_INVALIDARG;
    HKEY raw = nullptr;
    const LONG r = create ? RegCreateKeyExW(where.root, where.path.c_str(), 0, nullptr, 0, KEY_READ, nullptr,
                                            &raw, nullptr)
                          : RegOpenKeyExW(where.root, where.path.c_str(), 0, KEY_READ, &raw);
    if (r != ERROR_SUCCESS) return FromRegistry(r);
    RegCloseKey(raw);
    auto key = Make<RegistryDataKey>(std::move(where));
    if (!key) return E_OUTOFMEMORY;
    key_ = com_ptr<ISpDataKey>(key.get());
    id_ = token_id;
    category_id_ = category_id ? category_id : L"";
    return S_OK;
  });
}

HRESULT ObjectToken::InitFromDataKey(LPCWSTR category_id, LPCWSTR token_id, ISpDataKey* key) {
  if (!token_id || !key) return E_POINTER;
  if (key_) return kSpErrAlreadyInitialized;
  return Guard([&]() -> HRESULT {
    id_ = token_id;
    category_id_ = category_id ? category_id : L"";
    key_ = com_ptr<ISpDataKey>(key);
    return S_OK;
  });
}

HRESULT ObjectToken::GetId(LPWSTR* id) {
  if (!id) return E_POINTER;
  *id = nullptr;
  if (!key_) return kSpErrUninitialized;
  return CoTaskCopy(id_.c_str(), id);
}

HRESULT ObjectToken::GetCategory(ISpObjectTokenCategory** category) {
  if (!category) return E_POINTER;
  *category = nullptr;
  if (!key_) return kSpErrUninitialized;
  return Guard([&]() -> HRESULT {
    auto c = Make<TokenCategory>();
    if (!c) return E_OUTOFMEMORY;
    if (HRESULT hr = c->SetId(category_id_.c_str(), FALSE); FAILED(hr)) return hr;
    return HandOut<ISpObjectTokenCategory>(c, category);
  });
}

HRESULT ObjectToken::CreateInstance(IUnknown* outer, DWORD context, REFIID iid, void** object) {
  if (!object) return E_POINTER;
  *object = nullptr;
  if (!key_) return kSpErrUninitialized;
  return Guard([&]() -> HRESULT {
    wchar_t* text = nullptr;
    if (HRESULT hr = key_->GetStringValue(L"CLSID", &text); FAILED(hr)) return hr;
    CLSID clsid;
    const HRESULT parsed = CLSIDFromString(text, &clsid);
    CoTaskMemFree(text);
    if (FAILED(parsed)) return parsed;
    com_ptr<IUnknown> created;
    if (HRESULT hr = CoCreateInstance(clsid, outer, context, IID_IUnknown, created.put_void()); FAILED(hr))
      return hr;
    // The platform hands the new object its token before anyone else sees it.
    com_ptr<ISpObjectWithToken> with_token;
    if (SUCCEEDED(created->QueryInterface(__uuidof(ISpObjectWithToken), with_token.put_void()))) {
      if (HRESULT hr = with_token->SetObjectToken(this); FAILED(hr)) return hr;
    }
    return created->QueryInterface(iid, object);
  });
}

HRESULT ObjectToken::GetStorageFileName(REFCLSID, LPCWSTR, LPCWSTR, ULONG, LPWSTR* path) {
  if (path) *path = nullptr;
  return E_NOTIMPL;
}
HRESULT ObjectToken::RemoveStorageFileName(REFCLSID, LPCWSTR, WINBOOL) { return E_NOTIMPL; }
HRESULT ObjectToken::Remove(const CLSID*) { return E_NOTIMPL; }
HRESULT ObjectToken::IsUISupported(LPCWSTR, void*, ULONG, IUnknown*, WINBOOL* supported) {
  if (!supported) return E_POINTER;
  *supported = FALSE;
  return S_OK;
}
HRESULT ObjectToken::DisplayUI(HWND, LPCWSTR, LPCWSTR, void*, ULONG, IUnknown*) { return E_NOTIMPL; }

bool ReadAttribute(ISpDataKey* token, const wchar_t* name, std::wstring& value) {
  com_ptr<ISpDataKey> attributes;
  if (FAILED(token->OpenKey(L"Attributes", attributes.put()))) return false;
  wchar_t* text = nullptr;
  if (FAILED(attributes->GetStringValue(name, &text)) || !text) return false;
  value = text;
  CoTaskMemFree(text);
  return true;
}

HRESULT ObjectToken::MatchesAttributes(LPCWSTR attributes, WINBOOL* matches) {
  if (!matches) return E_POINTER;
  *matches = FALSE;
  if (!key_) return kSpErrUninitialized;
  return Guard([&]() -> HRESULT {
    const auto conditions = ParseAttributeQuery(attributes ? attributes : L"");
    *matches = SatisfiesAll(conditions, [&](const std::wstring& name) -> std::optional<std::wstring> {
      std::wstring v;
      if (!ReadAttribute(this, name.c_str(), v)) return std::nullopt;
      return v;
    });
    return S_OK;
  });
}

}  // namespace Quellmar::sapirt
