#include "testing/sapi_runtime/token_category.h"

#include <algorithm>

#include "testing/sapi_runtime/attribute_query.h"
#include "testing/sapi_runtime/object_token.h"

namespace Quellmar::sapirt {

// ---- TokenList

HRESULT TokenList::Next(ULONG count, ISpObjectToken** tokens, ULONG* fetched) {
  if (count == 0) return E_INVALIDARG;
  if (!tokens) return E_POINTER;
  if (fetched) *fetched = 0;
  if (!fetched && count > 1) return E_POINTER;
  ULONG n = 0;
  while (n < count && position_ < tokens_.size()) {
    tokens[n] = tokens_[position_].get();
    tokens[n]->AddRef();
    ++n;
    ++position_;
  }
  if (fetched) *fetched = n;
  return n == count ? S_OK : S_FALSE;
}

HRESULT TokenList::Skip(ULONG count) {
  const ULONG left = static_cast<ULONG>(tokens_.size()) - position_;
  const ULONG step = std::min(count, left);
  position_ += step;
  return step == count ? S_OK : S_FALSE;
}

HRESULT TokenList::Reset() {
  position_ = 0;
  return S_OK;
}

HRESULT TokenList::Clone(IEnumSpObjectTokens** clone) {
  if (!clone) return E_POINTER;
  *clone = nullptr;
  return Guard([&] { return HandOut<IEnumSpObjectTokens>(Make<TokenList>(tokens_, position_), clone); });
}

HRESULT TokenList::Item(ULONG index, ISpObjectToken** token) {
  if (!token) return E_POINTER;
  *token = nullptr;
  if (index >= tokens_.size()) return kSpErrNoMoreItems;
  *token = tokens_[index].get();
  (*token)->AddRef();
  return S_OK;
}

HRESULT TokenList::GetCount(ULONG* count) {
  if (!count) return E_POINTER;
  *count = static_cast<ULONG>(tokens_.size());
  return S_OK;
}

// ---- TokenCategory

#define QM_FORWARD(call) \
  if (!key_) return kSpErrUninitialized; \
  return key_->call

HRESULT TokenCategory::SetData(LPCWSTR name, ULONG size, const BYTE* data) { QM_FORWARD(SetData(name, size, data)); }
HRESULT TokenCategory::GetData(LPCWSTR name, ULONG* size, BYTE* data) { QM_FORWARD(GetData(name, size, data)); }
HRESULT TokenCategory::SetStringValue(LPCWSTR name, LPCWSTR value) { QM_FORWARD(SetStringValue(name, value)); }
HRESULT TokenCategory::GetStringValue(LPCWSTR name, LPWSTR* value) { QM_FORWARD(GetStringValue(name, value)); }
HRESULT TokenCategory::SetDWORD(LPCWSTR name, DWORD value) { QM_FORWARD(SetDWORD(name, value)); }
HRESULT TokenCategory::GetDWORD(LPCWSTR name, DWORD* value) { QM_FORWARD(GetDWORD(name, value)); }
HRESULT TokenCategory::OpenKey(LPCWSTR name, ISpDataKey** key) { QM_FORWARD(OpenKey(name, key)); }
HRESULT TokenCategory::CreateKey(LPCWSTR name, ISpDataKey** key) { QM_FORWARD(CreateKey(name, key)); }
HRESULT TokenCategory::DeleteKey(LPCWSTR name) { QM_FORWARD(DeleteKey(name)); }
HRESULT TokenCategory::DeleteValue(LPCWSTR name) { QM_FORWARD(DeleteValue(name)); }
HRESULT TokenCategory::EnumKeys(ULONG index, LPWSTR* name) { QM_FORWARD(EnumKeys(index, name)); }
HRESULT TokenCategory::EnumValues(ULONG index, LPWSTR* name) { QM_FORWARD(EnumValues(index, name)); }
#undef QM_FORWARD

HRESULT TokenCategory::SetId(LPCWSTR id, WINBOOL create) {
  if (!id) return E_POINTER;
  if (key_) return kSpErrAlreadyInitialized;
  return Guard([&]() -> HRESULT {
    RegistryPath where;
    if (!ParseRegistryId(id, where)) return E_INVALIDARG;
    HKEY raw = nullptr;
    const LONG r = create ? RegCreateKeyExW(where.root, where.path.c_str(), 0, nullptr, 0, KEY_READ, nullptr,
                                            &raw, nullptr)
                          : RegOpenKeyExW(where.root, where.path.c_str(), 0, KEY_READ, &raw);
    if (r != ERROR_SUCCESS) return FromRegistry(r);
    RegCloseKey(raw);
    auto key = Make<RegistryDataKey>(std::move(where));
    if (!key) return E_OUTOFMEMORY;
    key_ = com_ptr<ISpDataKey>(key.get());
    id_ = id;
    return S_OK;
  });
}

HRESULT TokenCategory::GetId(LPWSTR* id) {
  if (!id) return E_POINTER;
  *id = nullptr;
  if (!key_) return kSpErrUninitialized;
  return CoTaskCopy(id_.c_str(), id);
}

HRESULT TokenCategory::GetDataKey(SPDATAKEYLOCATION, ISpDataKey** key) {
  if (!key) return E_POINTER;
  *key = nullptr;
  if (!key_) return kSpErrUninitialized;
  return HandOut(key_, key);
}

HRESULT TokenCategory::AllTokens(std::vector<com_ptr<ISpObjectToken>>& out) {
  com_ptr<ISpDataKey> tokens_key;
  if (SUCCEEDED(key_->OpenKey(L"Tokens", tokens_key.put()))) {
    for (ULONG i = 0;; ++i) {
      wchar_t* name = nullptr;
      if (FAILED(tokens_key->EnumKeys(i, &name))) break;
      const std::wstring token_id = id_ + L"\\Tokens\\" + name;
      CoTaskMemFree(name);
      auto token = Make<ObjectToken>();
      if (!token) return E_OUTOFMEMORY;
      if (SUCCEEDED(token->SetId(id_.c_str(), token_id.c_str(), FALSE)))
        out.push_back(com_ptr<ISpObjectToken>(token.get()));
    }
  }
  com_ptr<ISpDataKey> enums_key;
  if (SUCCEEDED(key_->OpenKey(L"TokenEnums", enums_key.put()))) {
    for (ULONG i = 0;; ++i) {
      wchar_t* name = nullptr;
      if (FAILED(enums_key->EnumKeys(i, &name))) break;
      com_ptr<ISpDataKey> entry;
      HRESULT hr = enums_key->OpenKey(name, entry.put());
      CoTaskMemFree(name);
      wchar_t* clsid_text = nullptr;
      if (FAILED(hr) || FAILED(entry->GetStringValue(L"CLSID", &clsid_text))) continue;
      CLSID clsid;
      hr = CLSIDFromString(clsid_text, &clsid);
      CoTaskMemFree(clsid_text);
      com_ptr<IEnumSpObjectTokens> enumerator;
      if (FAILED(hr) || FAILED(CoCreateInstance(clsid, nullptr, CLSCTX_ALL, __uuidof(IEnumSpObjectTokens),
                                                enumerator.put_void())))
        continue;
      ISpObjectToken* token = nullptr;
      while (enumerator->Next(1, &token, nullptr) == S_OK) out.push_back(com_ptr<ISpObjectToken>::attach(token));
    }
  }
  return S_OK;
}

HRESULT TokenCategory::EnumTokens(LPCWSTR required, LPCWSTR optional, IEnumSpObjectTokens** tokens) {
  if (!tokens) return E_POINTER;
  *tokens = nullptr;
  if (!key_) return kSpErrUninitialized;
  return Guard([&]() -> HRESULT {
    std::vector<com_ptr<ISpObjectToken>> all;
    if (HRESULT hr = AllTokens(all); FAILED(hr)) return hr;
    const auto need = ParseAttributeQuery(required ? required : L"");
    const auto want = ParseAttributeQuery(optional ? optional : L"");
    struct Ranked {
      com_ptr<ISpObjectToken> token;
      size_t score;
    };
    std::vector<Ranked> kept;
    for (auto& token : all) {
      const AttributeLookup lookup = [&](const std::wstring& name) -> std::optional<std::wstring> {
        std::wstring v;
        if (!ReadAttribute(token.get(), name.c_str(), v)) return std::nullopt;
        return v;
      };
      if (!SatisfiesAll(need, lookup)) continue;
      kept.push_back({token, CountSatisfied(want, lookup)});
    }
    // Tokens that meet more of the optional attributes come first; otherwise
    // the category's own order stays.
    std::stable_sort(kept.begin(), kept.end(), [](const Ranked& a, const Ranked& b) { return a.score > b.score; });
    std::vector<com_ptr<ISpObjectToken>> ordered;
    for (auto& r : kept) ordered.push_back(r.token);
    return HandOut<IEnumSpObjectTokens>(Make<TokenList>(std::move(ordered)), tokens);
  });
}

HRESULT TokenCategory::SetDefaultTokenId(LPCWSTR id) {
  if (!id) return E_POINTER;
  if (!key_) return kSpErrUninitialized;
  return key_->SetStringValue(L"DefaultTokenId", id);
}

HRESULT TokenCategory::GetDefaultTokenId(LPWSTR* id) {
  if (!id) return E_POINTER;
  *id = nullptr;
  if (!key_) return kSpErrUninitialized;
  if (SUCCEEDED(key_->GetStringValue(L"DefaultTokenId", id))) return S_OK;
  return Guard([&]() -> HRESULT {
    std::vector<com_ptr<ISpObjectToken>> all;
    if (HRESULT hr = AllTokens(all); FAILED(hr)) return hr;
    if (all.empty()) return kSpErrNotFound;
    return all.front()->GetId(id);
  });
}

}  // namespace Quellmar::sapirt
