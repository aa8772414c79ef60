// In-memory voice tokens: read-only data keys that SAPI's own token object
// wraps (ISpObjectTokenInit::InitFromDataKey), and the enumerator that makes
// them on request.
#pragma once

#include <windows.h>

#include <cstdint>
#include <map>
#include <string>
#include <vector>

#include "common/com_ptr.h"
#include "sapi/com_object.h"
#include "sapi/sapi_engine_interfaces.h"

namespace Quellmar::sapi {

// Value names compared as the platform compares them without regard to case.
struct NoCaseLess {
  bool operator()(const std::wstring& a, const std::wstring& b) const noexcept;
};
using value_map = std::map<std::wstring, std::wstring, NoCaseLess>;

// A read-only ISpDataKey over a default value and named string values.
class ISpDataKeyImpl : public ISpDataKey {
 public:
  ISpDataKeyImpl(std::wstring default_value, value_map values)
      : default_value_(std::move(default_value)), values_(std::move(values)) {}
  virtual ~ISpDataKeyImpl() = default;

  STDMETHODIMP SetData(LPCWSTR, ULONG, const BYTE*) noexcept override { return E_NOTIMPL; }
  STDMETHODIMP GetData(LPCWSTR, ULONG*, BYTE*) noexcept override { return SPERR_NOT_FOUND; }
  STDMETHODIMP SetStringValue(LPCWSTR, LPCWSTR) noexcept override { return E_NOTIMPL; }
  STDMETHODIMP GetStringValue(LPCWSTR name, LPWSTR* value) noexcept override;
  STDMETHODIMP SetDWORD(LPCWSTR, DWORD) noexcept override { return E_NOTIMPL; }
  STDMETHODIMP GetDWORD(LPCWSTR, DWORD*) noexcept override { return E_NOTIMPL; }
  STDMETHODIMP OpenKey(LPCWSTR, ISpDataKey** key) noexcept override;
  STDMETHODIMP CreateKey(LPCWSTR, ISpDataKey**) noexcept override { return E_NOTIMPL; }
  STDMETHODIMP DeleteKey(LPCWSTR) noexcept override { return E_NOTIMPL; }
  STDMETHODIMP DeleteValue(LPCWSTR) noexcept override { return E_NOTIMPL; }
  STDMETHODIMP EnumKeys(ULONG index, LPWSTR* name) noexcept override;
  STDMETHODIMP EnumValues(ULONG index, LPWSTR* name) noexcept override;

 protected:
  void* FindInterface(REFIID iid);

 private:
  std::wstring default_value_;
  value_map values_;
};

// The data key of one voice: display name, CLSID, and an "Attributes" subkey.
class voice_token : public ISpDataKeyImpl {
 public:
  explicit voice_token(int voice_index);

  STDMETHODIMP OpenKey(LPCWSTR name, ISpDataKey** key) noexcept override;
  STDMETHODIMP EnumKeys(ULONG index, LPWSTR* name) noexcept override;

 private:
  value_map attributes_;
};

// "HKEY_LOCAL_MACHINE\SOFTWARE\Microsoft\Speech\Voices\TokenEnums\Quellmar\" + display name.
std::wstring VoiceTokenId(int voice_index);

// A SAPI token object over a new voice_token for `voice_index`; empty when
// the token object does not give ISpObjectToken. Throws on failure.
com_ptr<ISpObjectToken> MakeVoiceToken(int voice_index);

class IEnumSpObjectTokensImpl : public IEnumSpObjectTokens {
 public:
  static const CLSID& class_id();

  IEnumSpObjectTokensImpl();  // voices 0..7, at the start
  IEnumSpObjectTokensImpl(std::vector<int32_t> voices, uint64_t position)
      : position_(position), voices_(std::move(voices)) {}
  virtual ~IEnumSpObjectTokensImpl() = default;

  STDMETHODIMP Next(ULONG count, ISpObjectToken** tokens, ULONG* fetched) noexcept override;
  STDMETHODIMP Skip(ULONG count) noexcept override;
  STDMETHODIMP Reset() noexcept override;
  STDMETHODIMP Clone(IEnumSpObjectTokens** out) noexcept override;
  STDMETHODIMP Item(ULONG index, ISpObjectToken** token) noexcept override;
  STDMETHODIMP GetCount(ULONG* count) noexcept override;

 protected:
  void* FindInterface(REFIID iid);

 private:
  uint64_t position_ = 0;
  std::vector<int32_t> voices_;
};

}  // namespace Quellmar::sapi
