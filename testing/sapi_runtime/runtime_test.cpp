// The stand-in runtime's objects driven directly from its DLL (no
// registration): registry tokens and categories, the token list, the WAV
// stream, and SpVoice against a scripted engine registered in this process.
#include <windows.h>

#include <gtest/gtest.h>

#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "common/com_ptr.h"
#include "common/win_handles.h"
#include "sapi/sapi_engine_interfaces.h"
#include "testing/sapi_runtime/runtime_test_api.h"
#include "testing/test_env.h"
#include "testing/win_process.h"

namespace {

using Quellmar::com_ptr;

constexpr CLSID kSpVoice = {0x96749377, 0x3391, 0x11d2, {0x9e, 0xe3, 0x00, 0xc0, 0x4f, 0x79, 0x73, 0x96}};
constexpr CLSID kSpObjectToken = {0xef411752, 0x3736, 0x4cb4, {0x9c, 0x8c, 0x8e, 0xf4, 0xcc, 0xb5, 0x8e, 0xfe}};
constexpr CLSID kSpObjectTokenCategory = {
    0xa910187f, 0x0c7a, 0x45ac, {0x92, 0xcc, 0x59, 0xed, 0xaf, 0xb7, 0x7b, 0x53}};
constexpr CLSID kSpStream = {0x715d9c59, 0x4442, 0x11d2, {0x96, 0x05, 0x00, 0xc0, 0x4f, 0x8e, 0xe6, 0x28}};
// The scripted engine's class, registered only in this process.
constexpr CLSID kFakeEngine = {0x3b0f8d52, 0x1c4e, 0x4f7a, {0x8e, 0x11, 0x52, 0x6a, 0x0b, 0x7c, 0x93, 0xd4}};
constexpr wchar_t kFakeEngineText[] = L"{3B0F8D52-1C4E-4F7A-8E11-526A0B7C93D4}";
constexpr wchar_t kTestRoot[] = L"Software\\QuellmarSapiRuntimeTest";
constexpr wchar_t kCategory[] = L"HKEY_CURRENT_USER\\Software\\QuellmarSapiRuntimeTest\\Voices";
constexpr HRESULT kNoMoreItems = static_cast<HRESULT>(0x80045039);
constexpr HRESULT kNotFound = static_cast<HRESULT>(0x8004503A);
constexpr HRESULT kUninitialized = static_cast<HRESULT>(0x80045001);
constexpr HRESULT kAlreadyInitialized = static_cast<HRESULT>(0x80045002);

using GetClassObjectFn = HRESULT(__stdcall*)(REFCLSID, REFIID, void**);

void SetString(const std::wstring& key, const wchar_t* name, const std::wstring& value) {
  HKEY raw = nullptr;
  ASSERT_EQ(RegCreateKeyExW(HKEY_CURRENT_USER, key.c_str(), 0, nullptr, 0, KEY_SET_VALUE, nullptr, &raw, nullptr),
            ERROR_SUCCESS);
  Quellmar::unique_reg_key k(raw);
  RegSetValueExW(raw, name, 0, REG_SZ, reinterpret_cast<const BYTE*>(value.c_str()),
                 static_cast<DWORD>((value.size() + 1) * sizeof(wchar_t)));
}

std::wstring Id(ISpObjectToken* token) {
  wchar_t* id = nullptr;
  if (FAILED(token->GetId(&id))) return L"";
  std::wstring s = id;
  CoTaskMemFree(id);
  return s;
}

// What the scripted engine saw of one Speak call.
struct EngineLog {
  std::vector<SPVTEXTFRAG> fragments;
  std::vector<std::wstring> texts;
  std::vector<DWORD> actions_seen;
  ULONGLONG interest = 0;
};
EngineLog g_engine;

// Writes 4096 bytes a fragment of text, 10 times, asking GetActions before
// each write and stopping on abort, like an engine should; raises a bookmark event.
class FakeEngine final : public ISpTTSEngine, public ISpObjectWithToken {
 public:
  virtual ~FakeEngine() = default;
  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** out) override {
    if (iid == IID_IUnknown || iid == kIID_ISpTTSEngine) {
      *out = static_cast<ISpTTSEngine*>(this);
    } else if (iid == kIID_ISpObjectWithToken) {
      *out = static_cast<ISpObjectWithToken*>(this);
    } else {
      *out = nullptr;
      return E_NOINTERFACE;
    }
    AddRef();
    return S_OK;
  }
  ULONG STDMETHODCALLTYPE AddRef() override { return ++refs_; }
  ULONG STDMETHODCALLTYPE Release() override {
    const ULONG n = --refs_;
    if (!n) delete this;
    return n;
  }
  HRESULT STDMETHODCALLTYPE SetObjectToken(ISpObjectToken* token) override {
    token_ = com_ptr<ISpObjectToken>(token);
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE GetObjectToken(ISpObjectToken** token) override {
    *token = token_.get();
    if (*token) (*token)->AddRef();
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE GetOutputFormat(const GUID*, const WAVEFORMATEX*, GUID* id, WAVEFORMATEX** format) override {
    *id = kSPDFID_WaveFormatEx;
    *format = static_cast<WAVEFORMATEX*>(CoTaskMemAlloc(sizeof(WAVEFORMATEX)));
    **format = WAVEFORMATEX{WAVE_FORMAT_PCM, 1, 16000, 32000, 2, 16, 0};
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE Speak(DWORD, REFGUID, const WAVEFORMATEX*, const SPVTEXTFRAG* list,
                                  ISpTTSEngineSite* site) override {
    g_engine = {};
    site->GetEventInterest(&g_engine.interest);
    static const unsigned char zeros[4096] = {};
    for (const SPVTEXTFRAG* f = list; f; f = f->pNext) {
      g_engine.fragments.push_back(*f);
      g_engine.texts.emplace_back(f->pTextStart ? std::wstring(f->pTextStart, f->ulTextLen) : L"");
      if (f->State.eAction == SPVA_Bookmark) {
        SPEVENT e{};
        e.eEventId = SPEI_TTS_BOOKMARK;
        e.elParamType = SPET_LPARAM_IS_STRING;
        e.ullAudioStreamOffset = 12345;
        e.lParam = reinterpret_cast<LPARAM>(g_engine.texts.back().c_str());
        site->AddEvents(&e, 1);
        continue;
      }
      for (int i = 0; i < 10; ++i) {
        const DWORD actions = site->GetActions();
        g_engine.actions_seen.push_back(actions);
        if (actions & SPVES_ABORT) return S_OK;
        ULONG written = 0;
        site->Write(zeros, sizeof zeros, &written);
      }
    }
    return S_OK;
  }

 private:
  std::atomic<ULONG> refs_{1};
  com_ptr<ISpObjectToken> token_;
};

class FakeEngineFactory : public IClassFactory {
 public:
  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** out) override {
    if (iid != IID_IUnknown && iid != IID_IClassFactory) {
      *out = nullptr;
      return E_NOINTERFACE;
    }
    *out = this;
    return S_OK;
  }
  ULONG STDMETHODCALLTYPE AddRef() override { return 2; }
  ULONG STDMETHODCALLTYPE Release() override { return 1; }
  HRESULT STDMETHODCALLTYPE CreateInstance(IUnknown*, REFIID iid, void** out) override {
    auto* e = new FakeEngine;
    const HRESULT hr = e->QueryInterface(iid, out);
    e->Release();
    return hr;
  }
  HRESULT STDMETHODCALLTYPE LockServer(BOOL) override { return S_OK; }
};

class SapiRuntime : public ::testing::Test {
 protected:
  void SetUp() override {
    CoInitializeEx(nullptr, COINIT_MULTITHREADED);
    RegDeleteTreeW(HKEY_CURRENT_USER, kTestRoot);
    const std::wstring tokens = std::wstring(kTestRoot) + L"\\Voices\\Tokens\\";
    for (const auto& [name, gender] : {std::pair{L"Alpha", L"Male"}, std::pair{L"Beta", L"Female"},
                                       std::pair{L"Gamma", L"Male"}}) {
      SetString(tokens + name, nullptr, name);
      SetString(tokens + name, L"CLSID", kFakeEngineText);
      SetString(tokens + name + L"\\Attributes", L"Gender", gender);
      SetString(tokens + name + L"\\Attributes", L"Language", L"409;9");
      SetString(tokens + name + L"\\Attributes", L"Name", name);
    }
    module_.reset(LoadLibraryW((Quellmar::testing::ProgramFolder() + L"\\qm_sapi_runtime.dll").c_str()));
    ASSERT_TRUE(module_);
    get_ = reinterpret_cast<GetClassObjectFn>(
        reinterpret_cast<void*>(GetProcAddress(module_.get(), "DllGetClassObject")));
    ASSERT_NE(get_, nullptr);
  }
  void TearDown() override {
    RegDeleteTreeW(HKEY_CURRENT_USER, kTestRoot);
    module_.release();  // objects may still be held by COM; the process ends soon
    CoUninitialize();
  }
  template <typename I>
  com_ptr<I> Create(const CLSID& clsid) {
    com_ptr<IClassFactory> factory;
    EXPECT_EQ(get_(clsid, IID_IClassFactory, factory.put_void()), S_OK);
    com_ptr<I> object;
    if (factory) {
      EXPECT_EQ(factory->CreateInstance(nullptr, __uuidof(I), object.put_void()), S_OK);
    }
    return object;
  }
  com_ptr<IEnumSpObjectTokens> Enum(const wchar_t* required, const wchar_t* optional) {
    auto category = Create<ISpObjectTokenCategory>(kSpObjectTokenCategory);
    EXPECT_EQ(category->SetId(kCategory, FALSE), S_OK);
    com_ptr<IEnumSpObjectTokens> tokens;
    EXPECT_EQ(category->EnumTokens(required, optional, tokens.put()), S_OK);
    return tokens;
  }
  Quellmar::unique_module module_;
  GetClassObjectFn get_ = nullptr;
};

TEST_F(SapiRuntime, CategoryFiltersAndOrdersTokensAndTheListBehavesAsPublished) {
  auto male = Enum(L"Gender=Male;Language=409", nullptr);
  ULONG count = 0;
  ASSERT_EQ(male->GetCount(&count), S_OK);
  EXPECT_EQ(count, 2u);
  ISpObjectToken* got[3] = {};
  ULONG fetched = 9;
  EXPECT_EQ(male->Next(2, got, nullptr), E_POINTER);
  EXPECT_EQ(male->Next(0, got, &fetched), E_INVALIDARG);
  EXPECT_EQ(male->Next(3, got, &fetched), S_FALSE);
  ASSERT_EQ(fetched, 2u);
  EXPECT_EQ(Id(got[0]), std::wstring(kCategory) + L"\\Tokens\\Alpha");
  EXPECT_EQ(Id(got[1]), std::wstring(kCategory) + L"\\Tokens\\Gamma");
  got[0]->Release();
  got[1]->Release();
  EXPECT_EQ(male->Next(1, got, &fetched), S_FALSE);
  EXPECT_EQ(fetched, 0u);
  EXPECT_EQ(male->Reset(), S_OK);
  EXPECT_EQ(male->Skip(1), S_OK);
  com_ptr<IEnumSpObjectTokens> clone;
  ASSERT_EQ(male->Clone(clone.put()), S_OK);
  EXPECT_EQ(clone->Next(1, got, nullptr), S_OK);
  EXPECT_EQ(Id(got[0]), std::wstring(kCategory) + L"\\Tokens\\Gamma");
  got[0]->Release();
  EXPECT_EQ(male->Skip(5), S_FALSE);
  com_ptr<ISpObjectToken> item;
  EXPECT_EQ(male->Item(2, item.put()), kNoMoreItems);
  EXPECT_EQ(Enum(L"Language=9;Gender!=Male", nullptr)->Item(0, item.put()), S_OK);
  EXPECT_EQ(Id(item.get()), std::wstring(kCategory) + L"\\Tokens\\Beta");
  // Optional attributes put the tokens that meet them first.
  EXPECT_EQ(Enum(nullptr, L"Gender=Female")->Item(0, item.put()), S_OK);
  EXPECT_EQ(Id(item.get()), std::wstring(kCategory) + L"\\Tokens\\Beta");
  auto category = Create<ISpObjectTokenCategory>(kSpObjectTokenCategory);
  EXPECT_EQ(category->SetId(L"HKEY_CURRENT_USER\\Software\\QuellmarSapiRuntimeTest\\Nothing", FALSE), kNotFound);
}

TEST_F(SapiRuntime, TokensOverTheRegistryAndOverAGivenDataKey) {
  auto token = Create<ISpObjectToken>(kSpObjectToken);
  wchar_t* text = nullptr;
  EXPECT_EQ(token->GetId(&text), kUninitialized);
  EXPECT_EQ(token->SetId(kCategory, (std::wstring(kCategory) + L"\\Tokens\\Missing").c_str(), FALSE), kNotFound);
  const std::wstring alpha = std::wstring(kCategory) + L"\\Tokens\\Alpha";
  ASSERT_EQ(token->SetId(kCategory, alpha.c_str(), FALSE), S_OK);
  EXPECT_EQ(token->SetId(kCategory, alpha.c_str(), FALSE), kAlreadyInitialized);
  ASSERT_EQ(token->GetStringValue(L"clsid", &text), S_OK);
  EXPECT_STREQ(text, kFakeEngineText);
  CoTaskMemFree(text);
  EXPECT_EQ(token->GetStringValue(L"409", &text), kNotFound);
  BOOL matches = FALSE;
  EXPECT_EQ(token->MatchesAttributes(L"Name=alpha", &matches), S_OK);
  EXPECT_TRUE(matches);

  // An in-memory token: every data-key call goes to the key it was given.
  com_ptr<ISpDataKey> attributes;
  ASSERT_EQ(token->OpenKey(L"Attributes", attributes.put()), S_OK);
  auto made = Create<ISpObjectTokenInit>(kSpObjectToken);
  EXPECT_EQ(made->InitFromDataKey(kCategory, nullptr, attributes.get()), E_POINTER);
  ASSERT_EQ(made->InitFromDataKey(kCategory, L"Made\\Token", attributes.get()), S_OK);
  EXPECT_EQ(Id(made.get()), L"Made\\Token");
  ASSERT_EQ(made->GetStringValue(L"Gender", &text), S_OK);
  EXPECT_STREQ(text, L"Male");
  CoTaskMemFree(text);
  EXPECT_EQ(made->InitFromDataKey(kCategory, L"Again", attributes.get()), kAlreadyInitialized);
}

TEST_F(SapiRuntime, StreamWritesAWavFileCompletedOnClose) {
  Quellmar::testing::TempDir dir("sapirt");
  const std::wstring path = (dir.path() / "out.wav").wstring();
  auto stream = Create<ISpStream>(kSpStream);
  WAVEFORMATEX f{WAVE_FORMAT_PCM, 1, 16000, 32000, 2, 16, 0};
  WAVEFORMATEX alaw = f;
  alaw.wFormatTag = 6;
  EXPECT_NE(stream->BindToFile(path.c_str(), SPFM_CREATE_ALWAYS, &kSPDFID_WaveFormatEx, &alaw, 0), S_OK);
  ULONG written = 0;
  EXPECT_NE(stream->Write("ab", 2, &written), S_OK);  // not bound yet
  ASSERT_EQ(stream->BindToFile(path.c_str(), SPFM_CREATE_ALWAYS, &kSPDFID_WaveFormatEx, &f, 0), S_OK);
  ASSERT_EQ(stream->Write("\x01\x02\x03\x04", 4, &written), S_OK);
  EXPECT_EQ(written, 4u);
  ASSERT_EQ(stream->Close(), S_OK);
  std::ifstream in(dir.path() / "out.wav", std::ios::binary);
  std::stringstream bytes;
  bytes << in.rdbuf();
  const std::string wav = bytes.str();
  ASSERT_EQ(wav.size(), 48u);
  EXPECT_EQ(wav.substr(0, 4), "RIFF");
  EXPECT_EQ(static_cast<unsigned char>(wav[4]), 40);
  EXPECT_EQ(wav.substr(36, 4), "data");
  EXPECT_EQ(static_cast<unsigned char>(wav[40]), 4);
  EXPECT_EQ(static_cast<unsigned char>(wav[24]) | (static_cast<unsigned char>(wav[25]) << 8), 16000);
}

class SapiVoice : public SapiRuntime {
 protected:
  void SetUp() override {
    SapiRuntime::SetUp();
    ASSERT_EQ(CoRegisterClassObject(kFakeEngine, &factory_, CLSCTX_INPROC_SERVER, REGCLS_MULTIPLEUSE, &cookie_), S_OK);
    voice_ = Create<ISpVoice>(kSpVoice);
    com_ptr<ISpObjectToken> token;
    ASSERT_EQ(Enum(L"Name=Alpha", nullptr)->Item(0, token.put()), S_OK);
    ASSERT_EQ(voice_->SetVoice(token.get()), S_OK);
    ASSERT_EQ(voice_->SetInterest(~0ull, ~0ull), S_OK);
    ASSERT_EQ(voice_->QueryInterface(__uuidof(IQmVoiceTest), test_.put_void()), S_OK);
  }
  void TearDown() override {
    test_.reset();
    voice_.reset();
    CoRevokeClassObject(cookie_);
    SapiRuntime::TearDown();
  }
  std::vector<SPEVENT> Events() {
    std::vector<SPEVENT> events;
    SPEVENT e;
    ULONG n = 0;
    while (voice_->GetEvents(1, &e, &n) == S_OK && n == 1) events.push_back(e);
    return events;
  }
  FakeEngineFactory factory_;
  DWORD cookie_ = 0;
  com_ptr<ISpVoice> voice_;
  com_ptr<IQmVoiceTest> test_;
};

TEST_F(SapiVoice, MarkupReachesTheEngineAsFragmentsAndItsEventsReachTheHost) {
  const wchar_t* text = L"Hi <bookmark mark=\"42\"/><rate speed=\"3\"><volume level=\"50\">there</volume></rate>";
  ASSERT_EQ(voice_->Speak(text, SPF_IS_XML, nullptr), S_OK);
  ASSERT_EQ(g_engine.fragments.size(), 3u);
  EXPECT_EQ(g_engine.texts[0], L"Hi ");
  EXPECT_EQ(g_engine.fragments[1].State.eAction, SPVA_Bookmark);
  EXPECT_EQ(g_engine.texts[1], L"42");
  EXPECT_EQ(g_engine.texts[2], L"there");
  EXPECT_EQ(g_engine.fragments[2].State.RateAdj, 3);
  EXPECT_EQ(g_engine.fragments[2].State.Volume, 50u);
  EXPECT_EQ(g_engine.fragments[2].ulTextSrcOffset, std::wstring(text).find(L"there"));
  EXPECT_EQ(g_engine.interest, ~0ull);
  const auto events = Events();
  ASSERT_EQ(events.size(), 3u);  // start, bookmark, end of the stream
  EXPECT_EQ(events[0].eEventId, SPEI_START_INPUT_STREAM);
  EXPECT_EQ(events[1].eEventId, SPEI_TTS_BOOKMARK);
  EXPECT_EQ(events[1].ullAudioStreamOffset, 12345u);
  EXPECT_STREQ(reinterpret_cast<const wchar_t*>(events[1].lParam), L"42");  // the host's own copy
  CoTaskMemFree(reinterpret_cast<void*>(events[1].lParam));
  EXPECT_EQ(events[2].eEventId, SPEI_END_INPUT_STREAM);
  EXPECT_EQ(events[2].ullAudioStreamOffset, 81920u);
  // Without the markup flag the same text is one plain fragment.
  ASSERT_EQ(voice_->Speak(text, SPF_IS_NOT_XML, nullptr), S_OK);
  ASSERT_EQ(g_engine.texts.size(), 1u);
  EXPECT_EQ(g_engine.texts[0], text);
}

TEST_F(SapiVoice, ScheduledActionsAreReportedToTheEngineAtTheRightByte) {
  ASSERT_EQ(test_->ScheduleAction(8192, QM_ACTION_ABORT, 0), S_OK);
  ASSERT_EQ(voice_->Speak(L"one", SPF_IS_NOT_XML, nullptr), S_OK);
  QmSpeakRecord r{};
  ASSERT_EQ(test_->GetLastSpeak(&r), S_OK);
  EXPECT_EQ(r.bytes, 8192u);
  EXPECT_EQ(r.writes, 2u);
  EXPECT_EQ(r.largest_write, 4096u);
  EXPECT_TRUE(r.action_raised);
  ASSERT_EQ(g_engine.actions_seen.size(), 3u);
  EXPECT_EQ(g_engine.actions_seen[2], static_cast<DWORD>(SPVES_ABORT));
  // The abort belonged to that call: the next Speak starts clean.
  ASSERT_EQ(test_->ScheduleAction(4096, QM_ACTION_RATE, 7), S_OK);
  ASSERT_EQ(voice_->Speak(L"two", SPF_IS_NOT_XML, nullptr), S_OK);
  EXPECT_EQ(g_engine.actions_seen[0], 0u);
  EXPECT_EQ(g_engine.actions_seen[1], static_cast<DWORD>(SPVES_RATE));
  LONG rate = 0;
  voice_->GetRate(&rate);
  EXPECT_EQ(rate, 7);
  EXPECT_EQ(test_->ScheduleAction(0, QM_ACTION_VOLUME, 101), E_INVALIDARG);
}

TEST_F(SapiVoice, AsynchronousSpeakIsPurgedAndWaitedFor) {
  ASSERT_EQ(voice_->Speak(L"one", SPF_IS_NOT_XML | SPF_ASYNC, nullptr), S_OK);
  EXPECT_EQ(voice_->WaitUntilDone(10000), S_OK);
  ASSERT_EQ(voice_->Speak(L"two", SPF_IS_NOT_XML | SPF_ASYNC, nullptr), S_OK);
  ASSERT_EQ(voice_->Speak(nullptr, SPF_PURGEBEFORESPEAK, nullptr), S_OK);
  SPVOICESTATUS status{};
  ASSERT_EQ(voice_->GetStatus(&status, nullptr), S_OK);
  EXPECT_EQ(status.dwRunningState, static_cast<DWORD>(SPRS_DONE));
  EXPECT_EQ(voice_->SetRate(11), E_INVALIDARG);
  EXPECT_EQ(voice_->SetVolume(101), E_INVALIDARG);
}

}  // namespace
