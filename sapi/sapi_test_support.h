// Test doubles for the engine's Wine tests: a scripted output site, a token
// object standing in for SAPI's SpObjectToken, fragment lists, and the
// worker and log helpers.
#pragma once

#include <windows.h>

#include <cstdint>
#include <filesystem>
#include <functional>
#include <list>
#include <string>
#include <vector>

#include "common/com_ptr.h"
#include "sapi/com_object.h"
#include "sapi/sapi_engine_interfaces.h"

namespace Quellmar::sapi::testing {

struct RecordedEvent {
  SPEVENTENUM id;
  SPEVENTLPARAMTYPE type;
  ULONG stream;
  uint64_t offset;
  WPARAM wparam;
  LPARAM lparam;
  std::wstring text;  // the string lParam, copied during AddEvents
};

// An ISpTTSEngineSite that records what the engine does and answers as told.
class ScriptedSiteBase : public ISpTTSEngineSite {
 public:
  // Asked at every GetActions with the number of calls so far (from 0) and
  // the bytes written so far.
  std::function<DWORD(int call, uint64_t written)> actions = [](int, uint64_t) { return 0ul; };
  // Asked at every Write with the number of calls so far (from 0); a failed
  // result is returned as it is.
  std::function<HRESULT(int call)> write_result = [](int) { return S_OK; };
  long rate = 0;
  USHORT volume = 100;
  ULONGLONG interest = 0;
  HRESULT query_result = S_OK;        // of GetRate, GetVolume, GetEventInterest
  ULONG report_written = UINT32_MAX;  // the count Write reports; UINT32_MAX: the piece's size

  std::vector<RecordedEvent> events;
  std::vector<uint32_t> writes;
  std::vector<uint8_t> audio;
  std::vector<long> skips;
  int action_calls = 0;
  int write_calls = 0;
  int rate_calls = 0;
  int volume_calls = 0;

  STDMETHODIMP AddEvents(const SPEVENT* array, ULONG count) override;
  STDMETHODIMP GetEventInterest(ULONGLONG* interest_out) override;
  STDMETHODIMP_(DWORD) GetActions() override;
  STDMETHODIMP Write(const void* data, ULONG size, ULONG* written) override;
  STDMETHODIMP GetRate(long* out) override;
  STDMETHODIMP GetVolume(USHORT* out) override;
  STDMETHODIMP GetSkipInfo(SPVSKIPTYPE*, long*) override { return E_NOTIMPL; }
  STDMETHODIMP CompleteSkip(long skipped) override;

  std::vector<RecordedEvent> EventsOf(SPEVENTENUM id) const;

 protected:
  void* FindInterface(REFIID iid);
};
using ScriptedSite = com::IUnknownImpl<ScriptedSiteBase>;

// A token object over a data key, standing in for SAPI's SpObjectToken:
// ISpDataKey calls go to the key, InitFromDataKey takes a key and an id.
class FakeTokenBase : public ISpObjectTokenInit {
 public:
  static const CLSID& class_id() { return kCLSID_SpObjectToken; }
  FakeTokenBase() = default;
  explicit FakeTokenBase(ISpDataKey* key) : key_(key) {}
  virtual ~FakeTokenBase() = default;

  ISpDataKey* key() const { return key_.get(); }
  const std::wstring& id() const { return id_; }

  STDMETHODIMP SetData(LPCWSTR n, ULONG c, const BYTE* d) override {
    return key_ ? key_->SetData(n, c, d) : E_FAIL;
  }
  STDMETHODIMP GetData(LPCWSTR n, ULONG* c, BYTE* d) override {
    return key_ ? key_->GetData(n, c, d) : E_FAIL;
  }
  STDMETHODIMP SetStringValue(LPCWSTR n, LPCWSTR v) override {
    return key_ ? key_->SetStringValue(n, v) : E_FAIL;
  }
  STDMETHODIMP GetStringValue(LPCWSTR n, LPWSTR* v) override {
    return key_ ? key_->GetStringValue(n, v) : E_FAIL;
  }
  STDMETHODIMP SetDWORD(LPCWSTR n, DWORD v) override {
    return key_ ? key_->SetDWORD(n, v) : E_FAIL;
  }
  STDMETHODIMP GetDWORD(LPCWSTR n, DWORD* v) override {
    return key_ ? key_->GetDWORD(n, v) : E_FAIL;
  }
  STDMETHODIMP OpenKey(LPCWSTR n, ISpDataKey** k) override {
    return key_ ? key_->OpenKey(n, k) : E_FAIL;
  }
  STDMETHODIMP CreateKey(LPCWSTR n, ISpDataKey** k) override {
    return key_ ? key_->CreateKey(n, k) : E_FAIL;
  }
  STDMETHODIMP DeleteKey(LPCWSTR n) override { return key_ ? key_->DeleteKey(n) : E_FAIL; }
  STDMETHODIMP DeleteValue(LPCWSTR n) override { return key_ ? key_->DeleteValue(n) : E_FAIL; }
  STDMETHODIMP EnumKeys(ULONG i, LPWSTR* n) override {
    return key_ ? key_->EnumKeys(i, n) : E_FAIL;
  }
  STDMETHODIMP EnumValues(ULONG i, LPWSTR* n) override {
    return key_ ? key_->EnumValues(i, n) : E_FAIL;
  }

  STDMETHODIMP SetId(LPCWSTR, LPCWSTR, WINBOOL) override { return E_NOTIMPL; }
  STDMETHODIMP GetId(LPWSTR* out) override;
  STDMETHODIMP GetCategory(ISpObjectTokenCategory**) override { return E_NOTIMPL; }
  STDMETHODIMP CreateInstance(IUnknown*, DWORD, REFIID, void**) override { return E_NOTIMPL; }
  STDMETHODIMP GetStorageFileName(REFCLSID, LPCWSTR, LPCWSTR, ULONG, LPWSTR*) override {
    return E_NOTIMPL;
  }
  STDMETHODIMP RemoveStorageFileName(REFCLSID, LPCWSTR, WINBOOL) override { return E_NOTIMPL; }
  STDMETHODIMP Remove(const CLSID*) override { return E_NOTIMPL; }
  STDMETHODIMP IsUISupported(LPCWSTR, void*, ULONG, IUnknown*, WINBOOL*) override {
    return E_NOTIMPL;
  }
  STDMETHODIMP DisplayUI(HWND, LPCWSTR, LPCWSTR, void*, ULONG, IUnknown*) override {
    return E_NOTIMPL;
  }
  STDMETHODIMP MatchesAttributes(LPCWSTR, WINBOOL*) override { return E_NOTIMPL; }
  STDMETHODIMP InitFromDataKey(LPCWSTR category, LPCWSTR id, ISpDataKey* key) override;

 protected:
  void* FindInterface(REFIID iid);

 private:
  com_ptr<ISpDataKey> key_;
  std::wstring category_;
  std::wstring id_;
};
using FakeToken = com::IUnknownImpl<FakeTokenBase>;

// Registers FakeToken's class object as SAPI's SpObjectToken in this process
// for the object's life. COM must be initialised.
class FakeTokenClass {
 public:
  FakeTokenClass();
  ~FakeTokenClass();
  bool ok() const { return cookie_ != 0; }

 private:
  DWORD cookie_ = 0;
};

// A fragment list whose texts live as long as the list.
class Fragments {
 public:
  SPVTEXTFRAG& Add(SPVACTIONS action, const std::wstring& text = L"");
  SPVTEXTFRAG& Speak(const std::wstring& text) { return Add(SPVA_Speak, text); }
  const SPVTEXTFRAG* head();

 private:
  std::list<std::wstring> texts_;
  std::list<SPVTEXTFRAG> frags_;
};

// The fake worker program and the real one (from QM_SAPI_WORKER_ROOT; empty
// when that root has no worker).
std::wstring FakeWorkerPath();
std::wstring RealWorkerPath();
std::wstring RealWorkerRoot();

std::string ReadFileText(const std::filesystem::path& path);

// The log keeps its file open for the life of the process, so this program
// logs into one folder of its own, chosen before the first line; tests read
// what was appended since they started.
std::filesystem::path TestLogPath();
uint64_t TestLogSize();
std::string TestLogSince(uint64_t offset);
// Lines of the fake worker's record that start with "text ", each reduced to
// what stands between the bars.
std::vector<std::string> RecordedTexts(const std::filesystem::path& record);

}  // namespace Quellmar::sapi::testing
