// QuellmarSAPI.dll as COM loads it: its exports, class objects, object
// count and self-registration, and one utterance through its own worker client.
#include <gtest/gtest.h>
#include <windows.h>

#include <memory>
#include <string>

#include "common/win_handles.h"
#include "sapi/guids.h"
#include "sapi/sapi_ids.h"
#include "sapi/sapi_test_support.h"
#include "sapi/voice_registration.h"
#include "testing/test_env.h"
#include "worker_client/worker_client.h"

namespace Quellmar::sapi {
namespace {
using namespace Quellmar::sapi::testing;

using GetClassObjectFn = HRESULT(WINAPI*)(REFCLSID, REFIID, void**);
using PlainFn = HRESULT(WINAPI*)();

struct Dll {
  HMODULE module = nullptr;
  std::wstring path;
  GetClassObjectFn get_class_object = nullptr;
  PlainFn can_unload = nullptr;
  PlainFn register_server = nullptr;
  PlainFn unregister_server = nullptr;
};
Dll g_dll;

template <typename F>
F Export(HMODULE module, const char* name) {
  return reinterpret_cast<F>(reinterpret_cast<void*>(GetProcAddress(module, name)));
}

class DllEnvironment : public ::testing::Environment {
 public:
  void SetUp() override {
    // The DLL's worker client chooses its worker when the DLL loads.
    const std::wstring root = RealWorkerRoot();
    unique_reg_key key;
    if (!root.empty() &&
        RegCreateKeyExW(HKEY_LOCAL_MACHINE, kInstallKey, 0, nullptr, 0, KEY_SET_VALUE, nullptr,
                        key.put(), nullptr) == ERROR_SUCCESS) {
      RegSetValueExW(key.get(), kInstallLocationValue, 0, REG_SZ,
                     reinterpret_cast<const BYTE*>(root.c_str()),
                     static_cast<DWORD>((root.size() + 1) * sizeof(wchar_t)));
    }
    const auto path = Quellmar::testing::BinDir() / L"sapi" / L"QuellmarSAPI.dll";
    g_dll.module = LoadLibraryW(path.c_str());
    ASSERT_NE(g_dll.module, nullptr) << path;
    wchar_t buf[MAX_PATH];
    g_dll.path.assign(buf, GetModuleFileNameW(g_dll.module, buf, MAX_PATH));
    g_dll.get_class_object = Export<GetClassObjectFn>(g_dll.module, "DllGetClassObject");
    g_dll.can_unload = Export<PlainFn>(g_dll.module, "DllCanUnloadNow");
    g_dll.register_server = Export<PlainFn>(g_dll.module, "DllRegisterServer");
    g_dll.unregister_server = Export<PlainFn>(g_dll.module, "DllUnregisterServer");
  }
  void TearDown() override {
    const std::wstring worker = RealWorkerPath();
    if (!worker.empty()) WorkerClient(worker).RequestShutdown();
    RegDeleteKeyValueW(HKEY_LOCAL_MACHINE, kInstallKey, kInstallLocationValue);
  }
};
[[maybe_unused]] ::testing::Environment* const g_env =
    ::testing::AddGlobalTestEnvironment(new DllEnvironment);

class DllTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_NE(g_dll.module, nullptr);
    ASSERT_NE(g_dll.get_class_object, nullptr);
    ASSERT_NE(g_dll.can_unload, nullptr);
    ASSERT_NE(g_dll.register_server, nullptr);
    ASSERT_NE(g_dll.unregister_server, nullptr);
    CoInitializeEx(nullptr, COINIT_MULTITHREADED);
  }
  void TearDown() override { CoUninitialize(); }

  com_ptr<IClassFactory> Factory(const CLSID& id) {
    com_ptr<IClassFactory> f;
    EXPECT_EQ(g_dll.get_class_object(id, __uuidof(IClassFactory), f.put_void()), S_OK);
    return f;
  }
};

TEST_F(DllTest, ClassObjectLookup) {
  void* out = reinterpret_cast<void*>(1);
  EXPECT_EQ(g_dll.get_class_object(GUID_NULL, __uuidof(IClassFactory), &out),
            CLASS_E_CLASSNOTAVAILABLE);
  EXPECT_EQ(out, nullptr);
  EXPECT_EQ(g_dll.get_class_object(kEngineClsid, __uuidof(IClassFactory), nullptr), E_POINTER);
  out = reinterpret_cast<void*>(1);
  EXPECT_EQ(g_dll.get_class_object(kEngineClsid, kIID_ISpTTSEngine, &out), E_NOINTERFACE);
  EXPECT_EQ(out, nullptr);
  com_ptr<IUnknown> unknown;
  EXPECT_EQ(g_dll.get_class_object(kEnumeratorClsid, __uuidof(IUnknown), unknown.put_void()), S_OK);
  EXPECT_TRUE(Factory(kEngineClsid));
}

TEST_F(DllTest, CreateInstance) {
  auto factory = Factory(kEngineClsid);
  ASSERT_TRUE(factory);
  void* out = reinterpret_cast<void*>(1);
  EXPECT_EQ(factory->CreateInstance(factory.get(), kIID_ISpTTSEngine, &out), CLASS_E_NOAGGREGATION);
  EXPECT_EQ(out, reinterpret_cast<void*>(1));  // untouched
  EXPECT_EQ(factory->CreateInstance(nullptr, kIID_ISpTTSEngine, nullptr), E_POINTER);
  EXPECT_EQ(factory->CreateInstance(nullptr, __uuidof(IClassFactory), &out), E_NOINTERFACE);
  EXPECT_EQ(out, nullptr);
  com_ptr<ISpObjectWithToken> engine;
  ASSERT_EQ(factory->CreateInstance(nullptr, kIID_ISpObjectWithToken, engine.put_void()), S_OK);
  com_ptr<ISpObjectToken> token;
  EXPECT_EQ(engine->GetObjectToken(token.put()), E_UNEXPECTED);

  auto enum_factory = Factory(kEnumeratorClsid);
  com_ptr<IEnumSpObjectTokens> tokens;
  ASSERT_EQ(enum_factory->CreateInstance(nullptr, kIID_IEnumSpObjectTokens, tokens.put_void()),
            S_OK);
  ULONG count = 0;
  ASSERT_EQ(tokens->GetCount(&count), S_OK);
  EXPECT_EQ(count, 8u);
}

TEST_F(DllTest, CanUnloadOnlyWithoutLiveObjectsOrLocks) {
  FakeTokenClass token_class;
  ASSERT_TRUE(token_class.ok());
  EXPECT_EQ(g_dll.can_unload(), S_OK);
  {
    auto factory = Factory(kEngineClsid);
    EXPECT_EQ(g_dll.can_unload(), S_FALSE);  // a class object
    com_ptr<ISpTTSEngine> engine;
    ASSERT_EQ(factory->CreateInstance(nullptr, kIID_ISpTTSEngine, engine.put_void()), S_OK);
    factory.reset();
    EXPECT_EQ(g_dll.can_unload(), S_FALSE);  // an engine
  }
  EXPECT_EQ(g_dll.can_unload(), S_OK);

  com_ptr<ISpObjectToken> token;
  com_ptr<ISpDataKey> attributes;
  {
    com_ptr<IEnumSpObjectTokens> tokens;
    ASSERT_EQ(Factory(kEnumeratorClsid)
                  ->CreateInstance(nullptr, kIID_IEnumSpObjectTokens, tokens.put_void()),
              S_OK);
    EXPECT_EQ(g_dll.can_unload(), S_FALSE);  // an enumerator
    ASSERT_EQ(tokens->Item(4, token.put()), S_OK);
  }
  EXPECT_EQ(g_dll.can_unload(), S_FALSE);  // the token's data key
  ASSERT_EQ(token->OpenKey(L"Attributes", attributes.put()), S_OK);
  token.reset();
  EXPECT_EQ(g_dll.can_unload(), S_FALSE);  // the attributes key
  attributes.reset();
  EXPECT_EQ(g_dll.can_unload(), S_OK);

  auto factory = Factory(kEnumeratorClsid);
  ASSERT_EQ(factory->LockServer(TRUE), S_OK);
  factory.reset();
  EXPECT_EQ(g_dll.can_unload(), S_FALSE);  // a server lock
  ASSERT_EQ(Factory(kEnumeratorClsid)->LockServer(FALSE), S_OK);
  EXPECT_EQ(g_dll.can_unload(), S_OK);
}

TEST_F(DllTest, ObjectsMadeAndReleasedInALoopLeaveNothingBehind) {
  FakeTokenClass token_class;
  ASSERT_TRUE(token_class.ok());
  auto engine_factory = Factory(kEngineClsid);
  auto enum_factory = Factory(kEnumeratorClsid);
  for (int round = 0; round < 200; ++round) {
    com_ptr<IEnumSpObjectTokens> tokens;
    ASSERT_EQ(enum_factory->CreateInstance(nullptr, kIID_IEnumSpObjectTokens, tokens.put_void()),
              S_OK);
    ISpObjectToken* all[8] = {};
    ULONG fetched = 0;
    ASSERT_EQ(tokens->Next(8, all, &fetched), S_OK);
    com_ptr<IEnumSpObjectTokens> clone;
    ASSERT_EQ(tokens->Clone(clone.put()), S_OK);
    com_ptr<ISpObjectToken> item;
    ASSERT_EQ(clone->Item(round % 8, item.put()), S_OK);
    com_ptr<ISpObjectWithToken> engine;
    ASSERT_EQ(engine_factory->CreateInstance(nullptr, kIID_ISpObjectWithToken, engine.put_void()),
              S_OK);
    ASSERT_EQ(engine->SetObjectToken(all[round % 8]), S_OK);
    ASSERT_EQ(engine->SetObjectToken(item.get()), S_OK);
    com_ptr<ISpDataKey> attributes;
    ASSERT_EQ(item->OpenKey(L"Attributes", attributes.put()), S_OK);
    for (ISpObjectToken* t : all) t->Release();
  }
  engine_factory.reset();
  enum_factory.reset();
  EXPECT_EQ(g_dll.can_unload(), S_OK);
}

// ---- registration

std::wstring HklmValue(const std::wstring& path, const wchar_t* name) {
  wchar_t buf[1024];
  DWORD bytes = sizeof(buf);
  if (RegGetValueW(HKEY_LOCAL_MACHINE, path.c_str(), name, RRF_RT_REG_SZ, nullptr, buf, &bytes) !=
      ERROR_SUCCESS) {
    return L"<missing>";
  }
  return buf;
}
bool HklmKeyExists(const std::wstring& path) {
  unique_reg_key key;
  return RegOpenKeyExW(HKEY_LOCAL_MACHINE, path.c_str(), 0, KEY_READ, key.put()) == ERROR_SUCCESS;
}
std::wstring ClassKey(const wchar_t* clsid) {
  return std::wstring(kClassesClsidKey) + L"\\" + clsid;
}
std::wstring TokenKey(int voice) {
  return std::wstring(kVoiceTokensKey) + L"\\" + TokenKeyName(voice);
}

TEST_F(DllTest, RegistrationWritesClassesAndTokensTwiceAndUnregistrationRemovesThem) {
  for (int pass = 0; pass < 2; ++pass) {
    ASSERT_EQ(g_dll.register_server(), S_OK);
    for (const wchar_t* clsid : {kEngineClassIdText, kEnumeratorClassIdText}) {
      EXPECT_EQ(HklmValue(ClassKey(clsid) + L"\\InProcServer32", nullptr), g_dll.path);
      EXPECT_EQ(HklmValue(ClassKey(clsid) + L"\\InProcServer32", L"ThreadingModel"), L"Both");
      EXPECT_EQ(HklmValue(ClassKey(clsid), nullptr), L"<missing>");
    }
    EXPECT_EQ(HklmValue(TokenKey(5), nullptr), L"Quellmar Oskel Announcer");
    EXPECT_EQ(HklmValue(TokenKey(7), L"CLSID"), kEngineClassIdText);
    EXPECT_EQ(HklmValue(TokenKey(7) + L"\\Attributes", L"Quellmar"), L"custom");
  }
  ASSERT_EQ(g_dll.unregister_server(), S_OK);
  for (int i = 0; i < 8; ++i) EXPECT_FALSE(HklmKeyExists(TokenKey(i))) << i;
  EXPECT_FALSE(HklmKeyExists(ClassKey(kEngineClassIdText)));
  EXPECT_FALSE(HklmKeyExists(ClassKey(kEnumeratorClassIdText)));
  // Nothing left to remove.
  EXPECT_EQ(g_dll.unregister_server(), E_UNEXPECTED);
}

TEST_F(DllTest, UnregistrationStopsAtTheFirstMissingToken) {
  ASSERT_EQ(g_dll.register_server(), S_OK);
  ASSERT_EQ(RegDeleteTreeW(HKEY_LOCAL_MACHINE, TokenKey(1).c_str()), ERROR_SUCCESS);
  EXPECT_EQ(g_dll.unregister_server(), E_UNEXPECTED);
  EXPECT_FALSE(HklmKeyExists(TokenKey(0)));
  EXPECT_TRUE(HklmKeyExists(TokenKey(2)));
  EXPECT_TRUE(HklmKeyExists(ClassKey(kEngineClassIdText)));
  // Registering again repairs it.
  ASSERT_EQ(g_dll.register_server(), S_OK);
  EXPECT_EQ(g_dll.unregister_server(), S_OK);
}

TEST_F(DllTest, RegistrationOfACopyWhosePathFillsTheBufferWritesNothing) {
  // A copy of the DLL under a folder deep enough that its full path does
  // not fit MAX_PATH characters.
  std::wstring folder = Quellmar::testing::BinDir().wstring() + L"\\deep";
  const std::wstring prefix = L"\\\\?\\";
  CreateDirectoryW((prefix + folder).c_str(), nullptr);
  while (folder.size() < MAX_PATH) {
    folder += L"\\" + std::wstring(60, L'd');
    ASSERT_TRUE(CreateDirectoryW((prefix + folder).c_str(), nullptr) ||
                GetLastError() == ERROR_ALREADY_EXISTS);
  }
  const std::wstring copy = prefix + folder + L"\\QuellmarSAPI.dll";
  ASSERT_TRUE(CopyFileW(g_dll.path.c_str(), copy.c_str(), FALSE));
  HMODULE module = LoadLibraryW(copy.c_str());
  if (!module) GTEST_SKIP() << "this system loads no DLL from a path that long";
  auto register_copy = Export<PlainFn>(module, "DllRegisterServer");
  ASSERT_NE(register_copy, nullptr);
  EXPECT_EQ(register_copy(), E_UNEXPECTED);
  for (int i = 0; i < 8; ++i) EXPECT_FALSE(HklmKeyExists(TokenKey(i))) << i;
  EXPECT_FALSE(HklmKeyExists(ClassKey(kEngineClassIdText)));
  EXPECT_FALSE(HklmKeyExists(ClassKey(kEnumeratorClassIdText)));
  FreeLibrary(module);
  DeleteFileW(copy.c_str());
}

// ---- speaking through the DLL's own worker client

TEST_F(DllTest, AnEngineFromTheDllSpeaksThroughTheInstalledWorker) {
  if (RealWorkerPath().empty()) GTEST_SKIP() << "no staged worker under QM_SAPI_WORKER_ROOT";
  FakeTokenClass token_class;
  com_ptr<IEnumSpObjectTokens> tokens;
  ASSERT_EQ(Factory(kEnumeratorClsid)
                ->CreateInstance(nullptr, kIID_IEnumSpObjectTokens, tokens.put_void()),
            S_OK);
  com_ptr<ISpObjectToken> deep;
  ASSERT_EQ(tokens->Item(1, deep.put()), S_OK);
  com_ptr<ISpTTSEngine> engine;
  ASSERT_EQ(Factory(kEngineClsid)->CreateInstance(nullptr, kIID_ISpTTSEngine, engine.put_void()),
            S_OK);
  com_ptr<ISpObjectWithToken> with_token;
  ASSERT_EQ(engine->QueryInterface(kIID_ISpObjectWithToken, with_token.put_void()), S_OK);
  ASSERT_EQ(with_token->SetObjectToken(deep.get()), S_OK);

  auto site = ScriptedSite::Make();
  site->interest = SPFEI(SPEI_WORD_BOUNDARY);
  Fragments f;
  f.Speak(L"Hello there.");
  f.Add(SPVA_Bookmark, L"9");
  ASSERT_EQ(engine->Speak(0, kSPDFID_WaveFormatEx, nullptr, f.head(), site.get()), S_OK);
  EXPECT_GT(site->audio.size(), 8000u);
  EXPECT_EQ(site->EventsOf(SPEI_WORD_BOUNDARY).size(), 2u);
  EXPECT_EQ(site->EventsOf(SPEI_TTS_BOOKMARK).at(0).offset, site->audio.size());
}

}  // namespace
}  // namespace Quellmar::sapi
