#include "sapi/voice_token.h"

#include <wchar.h>

#include <algorithm>
#include <stdexcept>

#include "common/voices.h"
#include "sapi/guids.h"
#include "sapi/sapi_ids.h"

namespace Quellmar::sapi {

bool NoCaseLess::operator()(const std::wstring& a, const std::wstring& b) const noexcept {
  return _wcsicmp(a.c_str(), b.c_str()) < 0;
}

// ---- ISpDataKeyImpl

void* ISpDataKeyImpl::FindInterface(REFIID iid) {
  if (IsEqualGUID(iid, __uuidof(IUnknown)) || IsEqualGUID(iid, __uuidof(ISpDataKey))) {
    return static_cast<ISpDataKey*>(this);
  }
  return nullptr;
}

STDMETHODIMP ISpDataKeyImpl::GetStringValue(LPCWSTR name, LPWSTR* value) noexcept {
  if (!value) return E_POINTER;
  return com::Guarded([&]() -> HRESULT {
    if (!name || !*name) {
      *value = com::CoTaskCopy(default_value_);
      return S_OK;
    }
    auto it = values_.find(name);
    if (it == values_.end()) return SPERR_NOT_FOUND;
    *value = com::CoTaskCopy(it->second);
    return S_OK;
  });
}

STDMETHODIMP ISpDataKeyImpl::OpenKey(LPCWSTR, ISpDataKey**) noexcept { return SPERR_NOT_FOUND; }

STDMETHODIMP ISpDataKeyImpl::EnumKeys(ULONG, LPWSTR*) noexcept { return SPERR_NO_MORE_ITEMS; }

STDMETHODIMP ISpDataKeyImpl::EnumValues(ULONG index, LPWSTR* name) noexcept {
  if (index >= values_.size()) return SPERR_NO_MORE_ITEMS;
  if (!name) return E_POINTER;
  return com::Guarded([&] {
    *name = com::CoTaskCopy(std::next(values_.begin(), index)->first);
    return S_OK;
  });
}

// ---- voice_token

voice_token::voice_token(int voice_index)
    : ISpDataKeyImpl(VoiceTextsFor(voice_index).display_name,
                     value_map{{kClsidValue, kEngineClassIdText}}) {
  const VoiceTexts texts = VoiceTextsFor(voice_index);
  attributes_ = value_map{{kAgeAttribute, kAgeAdult},
                          {kVendorAttribute, kVendorName},
                          {kLanguageAttribute, kLanguageUsEnglish},
                          {kGenderAttribute, kGenderMale},
                          {kNameAttribute, texts.display_name},
                          {kVoiceKeyAttribute, texts.key}};
}

STDMETHODIMP voice_token::OpenKey(LPCWSTR name, ISpDataKey** key) noexcept {
  if (!name) return E_INVALIDARG;
  if (!key) return E_POINTER;
  *key = nullptr;
  if (_wcsicmp(name, kAttributesKey) != 0) return SPERR_NOT_FOUND;
  return com::Guarded([&] {
    *key = com::IUnknownImpl<ISpDataKeyImpl>::Create(std::wstring(), attributes_);
    return S_OK;
  });
}

STDMETHODIMP voice_token::EnumKeys(ULONG index, LPWSTR* name) noexcept {
  if (!name) return E_POINTER;
  *name = nullptr;
  if (index != 0) return SPERR_NO_MORE_ITEMS;
  return com::Guarded([&] {
    *name = com::CoTaskCopy(kAttributesKey);
    return S_OK;
  });
}

// ---- making a token

std::wstring VoiceTokenId(int voice_index) {
  return std::wstring(kTokenEnumIdPrefix) + VoiceTextsFor(voice_index).display_name;
}

com_ptr<ISpObjectToken> MakeVoiceToken(int voice_index) {
  const std::wstring token_id = VoiceTokenId(voice_index);

  auto data = com::IUnknownImpl<voice_token>::Make(voice_index);
  com_ptr<ISpDataKey> key;
  if (FAILED(data->QueryInterface(__uuidof(ISpDataKey), key.put_void())) || !key) {
    throw std::invalid_argument("Unsupported interface");
  }

  com_ptr<ISpObjectTokenInit> init;
  {
    com_ptr<IUnknown> unknown;
    HRESULT hr = CoCreateInstance(kCLSID_SpObjectToken, nullptr, CLSCTX_ALL, __uuidof(IUnknown),
                                  unknown.put_void());
    if (SUCCEEDED(hr)) hr = OleRun(unknown.get());
    if (SUCCEEDED(hr)) hr = unknown->QueryInterface(kIID_ISpObjectTokenInit, init.put_void());
    if (FAILED(hr) && hr != E_NOINTERFACE) throw com::error(hr);
  }
  if (!init) throw std::runtime_error("Unable to create an object token");

  if (FAILED(init->InitFromDataKey(kVoiceCategoryId, token_id.c_str(), key.get()))) {
    throw std::runtime_error("Unable to initialize an object token");
  }

  com_ptr<ISpObjectToken> token;
  const HRESULT hr = init->QueryInterface(kIID_ISpObjectToken, token.put_void());
  if (FAILED(hr) && hr != E_NOINTERFACE) throw com::error(hr);
  return token;
}

// ---- IEnumSpObjectTokensImpl

const CLSID& IEnumSpObjectTokensImpl::class_id() { return kEnumeratorClsid; }

IEnumSpObjectTokensImpl::IEnumSpObjectTokensImpl() : voices_(kVoiceCount) {
  for (int i = 0; i < kVoiceCount; ++i) voices_[i] = i;
}

void* IEnumSpObjectTokensImpl::FindInterface(REFIID iid) {
  if (IsEqualGUID(iid, __uuidof(IUnknown)) || IsEqualGUID(iid, __uuidof(IEnumSpObjectTokens))) {
    return static_cast<IEnumSpObjectTokens*>(this);
  }
  return nullptr;
}

STDMETHODIMP IEnumSpObjectTokensImpl::Next(ULONG count, ISpObjectToken** tokens,
                                           ULONG* fetched) noexcept {
  if (count == 0) return E_INVALIDARG;
  if (!tokens) return E_POINTER;
  if (fetched) {
    *fetched = 0;
  } else if (count > 1) {
    return E_POINTER;
  }
  return com::Guarded([&]() -> HRESULT {
    const uint64_t end = std::min<uint64_t>(position_ + count, voices_.size());
    std::vector<com_ptr<ISpObjectToken>> made;
    for (uint64_t i = position_; i < end; ++i) {
      made.push_back(MakeVoiceToken(voices_[i]));
      if (!made.back()) return E_UNEXPECTED;
    }
    for (size_t i = 0; i < made.size(); ++i) tokens[i] = made[i].detach();
    const ULONG got = static_cast<ULONG>(made.size());
    if (fetched) *fetched = got;
    position_ += got;
    return got == count ? S_OK : S_FALSE;
  });
}

STDMETHODIMP IEnumSpObjectTokensImpl::Skip(ULONG count) noexcept {
  const uint64_t left = position_ < voices_.size() ? voices_.size() - position_ : 0;
  if (count <= left) {
    position_ += count;
    return S_OK;
  }
  position_ = voices_.size();
  return S_FALSE;
}

STDMETHODIMP IEnumSpObjectTokensImpl::Reset() noexcept {
  position_ = 0;
  return S_OK;
}

STDMETHODIMP IEnumSpObjectTokensImpl::Clone(IEnumSpObjectTokens** out) noexcept {
  if (!out) return E_POINTER;
  *out = nullptr;
  return com::Guarded([&] {
    *out = com::IUnknownImpl<IEnumSpObjectTokensImpl>::Create(voices_, position_);
    return S_OK;
  });
}

STDMETHODIMP IEnumSpObjectTokensImpl::Item(ULONG index, ISpObjectToken** token) noexcept {
  if (!token) return E_POINTER;
  *token = nullptr;
  if (index >= voices_.size()) return SPERR_NO_MORE_ITEMS;
  return com::Guarded([&]() -> HRESULT {
    com_ptr<ISpObjectToken> made = MakeVoiceToken(voices_[index]);
    if (!made) return E_UNEXPECTED;
    *token = made.detach();
    return S_OK;
  });
}

STDMETHODIMP IEnumSpObjectTokensImpl::GetCount(ULONG* count) noexcept {
  if (!count) return E_POINTER;
  *count = static_cast<ULONG>(voices_.size());
  return S_OK;
}

}  // namespace Quellmar::sapi
