// Voice tokens: the registry tokens under a scratch root, the in-memory data
// keys, and the enumerator over a stand-in for SAPI's token object.
#include "sapi/voice_token.h"

#include <gtest/gtest.h>

#include "common/voices.h"
#include "common/win_handles.h"
#include "sapi/out_ptr.h"
#include "sapi/registry.h"
#include "sapi/sapi_ids.h"
#include "sapi/sapi_test_support.h"
#include "sapi/voice_registration.h"

namespace Quellmar::sapi {
namespace {
using namespace Quellmar::sapi::testing;

std::wstring Text(ISpDataKey* key, const wchar_t* name, HRESULT* hr = nullptr) {
  utils::out_ptr<wchar_t> out;
  const HRESULT r = key->GetStringValue(name, out.put());
  if (hr) *hr = r;
  return out ? std::wstring(out.get()) : std::wstring(L"<none>");
}

TEST(VoiceTokenKey, ValuesAndSubkeys) {
  auto token = com::IUnknownImpl<voice_token>::Make(5);
  EXPECT_EQ(Text(token.get(), nullptr), L"Quellmar Oskel Announcer");
  EXPECT_EQ(Text(token.get(), L""), L"Quellmar Oskel Announcer");
  EXPECT_EQ(Text(token.get(), L"clsid"), kEngineClassIdText);
  HRESULT hr;
  Text(token.get(), L"409", &hr);
  EXPECT_EQ(hr, SPERR_NOT_FOUND);
  EXPECT_EQ(token->GetStringValue(L"CLSID", nullptr), E_POINTER);

  EXPECT_EQ(token->SetStringValue(L"x", L"y"), E_NOTIMPL);
  EXPECT_EQ(token->SetData(L"x", 0, nullptr), E_NOTIMPL);
  EXPECT_EQ(token->SetDWORD(L"x", 1), E_NOTIMPL);
  DWORD d;
  EXPECT_EQ(token->GetDWORD(L"x", &d), E_NOTIMPL);
  EXPECT_EQ(token->CreateKey(L"x", nullptr), E_NOTIMPL);
  EXPECT_EQ(token->DeleteKey(L"x"), E_NOTIMPL);
  EXPECT_EQ(token->DeleteValue(L"x"), E_NOTIMPL);
  ULONG size = 0;
  EXPECT_EQ(token->GetData(L"CLSID", &size, nullptr), SPERR_NOT_FOUND);

  utils::out_ptr<wchar_t> name;
  ASSERT_EQ(token->EnumKeys(0, name.put()), S_OK);
  EXPECT_STREQ(name.get(), L"Attributes");
  EXPECT_EQ(token->EnumKeys(1, name.put()), SPERR_NO_MORE_ITEMS);
  EXPECT_EQ(name.get(), nullptr);
  EXPECT_EQ(token->EnumKeys(0, nullptr), E_POINTER);
  ASSERT_EQ(token->EnumValues(0, name.put()), S_OK);
  EXPECT_STREQ(name.get(), L"CLSID");
  EXPECT_EQ(token->EnumValues(1, name.put()), SPERR_NO_MORE_ITEMS);

  com_ptr<ISpDataKey> key;
  EXPECT_EQ(token->OpenKey(L"Voices", key.put()), SPERR_NOT_FOUND);
  EXPECT_EQ(token->OpenKey(nullptr, key.put()), E_INVALIDARG);
  EXPECT_EQ(token->OpenKey(L"Attributes", nullptr), E_POINTER);
  ASSERT_EQ(token->OpenKey(L"attributes", key.put()), S_OK);
  EXPECT_EQ(Text(key.get(), nullptr), L"");
  EXPECT_EQ(Text(key.get(), L"quellmar"), L"announcer");
  EXPECT_EQ(Text(key.get(), L"Vendor"), L"Quellmar / Zentrik");
  Text(key.get(), L"Description", &hr);
  EXPECT_EQ(hr, SPERR_NOT_FOUND);
  // A plain data key has no subkeys.
  com_ptr<ISpDataKey> deeper;
  EXPECT_EQ(key->OpenKey(L"Attributes", deeper.put()), SPERR_NOT_FOUND);
  EXPECT_EQ(key->EnumKeys(0, name.put()), SPERR_NO_MORE_ITEMS);

  // The six attributes enumerate in name order, without regard to case.
  const wchar_t* order[] = {L"Age", L"Gender", L"Language", L"Name", L"Quellmar", L"Vendor"};
  for (ULONG i = 0; i < 6; ++i) {
    ASSERT_EQ(key->EnumValues(i, name.put()), S_OK);
    EXPECT_STREQ(name.get(), order[i]);
  }
  EXPECT_EQ(key->EnumValues(6, nullptr), SPERR_NO_MORE_ITEMS);
  EXPECT_EQ(key->EnumValues(0, nullptr), E_POINTER);

  com_ptr<IUnknown> unknown;
  EXPECT_EQ(key->QueryInterface(kIID_IEnumSpObjectTokens, unknown.put_void()), E_NOINTERFACE);
  EXPECT_EQ(key->QueryInterface(__uuidof(IUnknown), unknown.put_void()), S_OK);
}

TEST(VoiceTokenKey, UnknownIndicesSpeakAsTheFirstVoice) {
  auto token = com::IUnknownImpl<voice_token>::Make(-3);
  EXPECT_EQ(Text(token.get(), nullptr), VoiceTextsFor(0).display_name);
  EXPECT_EQ(VoiceTokenId(0),
            L"HKEY_LOCAL_"
            L"MACHINE\\SOFTWARE\\Microsoft\\Speech\\Voices\\TokenEnums\\Quellmar\\Quellmar Oskel");
}

class EnumeratorTest : public ::testing::Test {
 protected:
  void SetUp() override { CoInitializeEx(nullptr, COINIT_MULTITHREADED); }
  void TearDown() override { CoUninitialize(); }

  static std::wstring IdOf(ISpObjectToken* token) {
    utils::out_ptr<wchar_t> id;
    if (FAILED(token->GetId(id.put())) || !id) return L"";
    return id.get();
  }
};

TEST_F(EnumeratorTest, NextSkipCloneItemAndCount) {
  FakeTokenClass token_class;
  ASSERT_TRUE(token_class.ok());
  auto e = com::IUnknownImpl<IEnumSpObjectTokensImpl>::Make();
  ULONG count = 0;
  ASSERT_EQ(e->GetCount(&count), S_OK);
  EXPECT_EQ(count, 8u);
  EXPECT_EQ(e->GetCount(nullptr), E_POINTER);

  ISpObjectToken* tokens[8] = {};
  ULONG fetched = 99;
  ASSERT_EQ(e->Next(3, tokens, &fetched), S_OK);
  EXPECT_EQ(fetched, 3u);
  for (int i = 0; i < 3; ++i) {
    ASSERT_NE(tokens[i], nullptr);
    EXPECT_EQ(IdOf(tokens[i]), VoiceTokenId(i));
    // The token reads through our data key.
    EXPECT_EQ(Text(tokens[i], L"CLSID"), kEngineClassIdText);
    tokens[i]->Release();
    tokens[i] = nullptr;
  }
  EXPECT_EQ(e->Skip(10), S_FALSE);
  fetched = 99;
  EXPECT_EQ(e->Next(1, tokens, &fetched), S_FALSE);
  EXPECT_EQ(fetched, 0u);
  EXPECT_EQ(tokens[0], nullptr);

  ISpObjectToken* one = nullptr;
  EXPECT_EQ(e->Item(8, &one), SPERR_NO_MORE_ITEMS);
  EXPECT_EQ(e->Item(0, nullptr), E_POINTER);
  ASSERT_EQ(e->Item(7, &one), S_OK);
  EXPECT_EQ(IdOf(one), VoiceTokenId(7));
  one->Release();

  ASSERT_EQ(e->Reset(), S_OK);
  EXPECT_EQ(e->Next(2, tokens, nullptr), E_POINTER);
  EXPECT_EQ(e->Next(0, tokens, &fetched), E_INVALIDARG);
  EXPECT_EQ(e->Next(1, nullptr, &fetched), E_POINTER);
  ASSERT_EQ(e->Next(1, tokens, nullptr), S_OK);  // one without a count is fine
  EXPECT_EQ(IdOf(tokens[0]), VoiceTokenId(0));
  tokens[0]->Release();
  EXPECT_EQ(e->Skip(7), S_OK);
  EXPECT_EQ(e->Skip(0), S_OK);
  EXPECT_EQ(e->Skip(1), S_FALSE);

  ASSERT_EQ(e->Reset(), S_OK);
  ASSERT_EQ(e->Next(5, tokens, &fetched), S_OK);
  for (int i = 0; i < 5; ++i) tokens[i]->Release();
  com_ptr<IEnumSpObjectTokens> clone;
  EXPECT_EQ(e->Clone(nullptr), E_POINTER);
  ASSERT_EQ(e->Clone(clone.put()), S_OK);
  ASSERT_EQ(clone->Next(5, tokens, &fetched), S_FALSE);
  ASSERT_EQ(fetched, 3u);
  for (int i = 0; i < 3; ++i) {
    EXPECT_EQ(IdOf(tokens[i]), VoiceTokenId(5 + i));
    tokens[i]->Release();
  }
  // The clone moves on its own.
  ASSERT_EQ(e->Next(1, tokens, &fetched), S_OK);
  EXPECT_EQ(IdOf(tokens[0]), VoiceTokenId(5));
  tokens[0]->Release();
}

TEST_F(EnumeratorTest, WithoutATokenInitInterfaceNothingIsStored) {
  // No stand-in registered: the platform's SpObjectToken (if any) cannot be
  // initialised from a data key in this prefix.
  auto e = com::IUnknownImpl<IEnumSpObjectTokensImpl>::Make();
  ISpObjectToken* tokens[2] = {};
  ULONG fetched = 99;
  const HRESULT hr = e->Next(2, tokens, &fetched);
  if (hr == S_OK) GTEST_SKIP() << "this prefix has a SpObjectToken that takes data keys";
  EXPECT_EQ(hr, E_UNEXPECTED);
  EXPECT_EQ(fetched, 0u);
  EXPECT_EQ(tokens[0], nullptr);
  ISpObjectToken* one = reinterpret_cast<ISpObjectToken*>(1);
  EXPECT_EQ(e->Item(0, &one), E_UNEXPECTED);
  EXPECT_EQ(one, nullptr);
  // The position did not move.
  FakeTokenClass token_class;
  ASSERT_EQ(e->Next(1, tokens, &fetched), S_OK);
  EXPECT_EQ(IdOf(tokens[0]), VoiceTokenId(0));
  tokens[0]->Release();
}

// ---- registry tokens, under a scratch root instead of HKLM

class VoiceRegistrationTest : public ::testing::Test {
 protected:
  static constexpr wchar_t kScratch[] = L"Software\\Quellmar SAPI5 test root";
  void SetUp() override {
    RegDeleteTreeW(HKEY_CURRENT_USER, kScratch);
    ASSERT_EQ(RegCreateKeyExW(HKEY_CURRENT_USER, kScratch, 0, nullptr, 0, KEY_ALL_ACCESS, nullptr,
                              root_.put(), nullptr),
              ERROR_SUCCESS);
  }
  void TearDown() override {
    root_.reset();
    RegDeleteTreeW(HKEY_CURRENT_USER, kScratch);
    RegDeleteKeyW(HKEY_CURRENT_USER, kScratch);
  }
  std::wstring Value(const std::wstring& key, const wchar_t* name) {
    wchar_t buf[512];
    DWORD bytes = sizeof(buf);
    DWORD type = 0;
    const std::wstring path = std::wstring(kVoiceTokensKey) + L"\\" + key;
    if (RegGetValueW(root_.get(), path.c_str(), name, RRF_RT_ANY, &type, buf, &bytes) !=
        ERROR_SUCCESS) {
      return L"<missing>";
    }
    EXPECT_EQ(type, static_cast<DWORD>(REG_SZ));
    return buf;
  }
  bool Exists(const std::wstring& key) { return Value(key, nullptr) != L"<missing>"; }

  unique_reg_key root_;
};

TEST_F(VoiceRegistrationTest, WritesEveryValueAndTwiceTheSame) {
  for (int pass = 0; pass < 2; ++pass) {
    ASSERT_NO_THROW(RegisterVoices(root_.get(), kEngineClassIdText));
    EXPECT_EQ(Value(L"Quellmar_announcer", nullptr), L"Quellmar Oskel Announcer");
    EXPECT_EQ(Value(L"Quellmar_custom\\Attributes", L"Description"),
              L"Every parameter comes from the Quellmar configuration utility.");
    EXPECT_EQ(Value(L"Quellmar_custom\\Attributes", L"Quellmar"), L"custom");
    for (int i = 0; i < kVoiceCount; ++i) {
      const std::wstring key = TokenKeyName(i);
      const VoiceTexts t = VoiceTextsFor(i);
      EXPECT_EQ(Value(key, L"CLSID"), kEngineClassIdText);
      EXPECT_EQ(Value(key, L"409"), t.display_name);
      EXPECT_EQ(Value(key + L"\\Attributes", L"Name"), t.display_name);
      EXPECT_EQ(Value(key + L"\\Attributes", L"Gender"), L"Male");
      EXPECT_EQ(Value(key + L"\\Attributes", L"Age"), L"Adult");
      EXPECT_EQ(Value(key + L"\\Attributes", L"Language"), L"409");
      EXPECT_EQ(Value(key + L"\\Attributes", L"Vendor"), L"Quellmar / Zentrik");
      EXPECT_EQ(Value(key + L"\\Attributes", L"Description"), t.description);
      EXPECT_EQ(Value(key + L"\\Attributes", L"Quellmar"), t.key);
    }
  }
  ASSERT_NO_THROW(UnregisterVoices(root_.get()));
  for (int i = 0; i < kVoiceCount; ++i) EXPECT_FALSE(Exists(TokenKeyName(i)));
}

TEST_F(VoiceRegistrationTest, UnregistrationStopsAtAMissingToken) {
  ASSERT_NO_THROW(RegisterVoices(root_.get(), kEngineClassIdText));
  const std::wstring deep = std::wstring(kVoiceTokensKey) + L"\\Quellmar_deep";
  ASSERT_EQ(RegDeleteTreeW(root_.get(), deep.c_str()), ERROR_SUCCESS);
  ASSERT_FALSE(Exists(L"Quellmar_deep"));
  try {
    UnregisterVoices(root_.get());
    FAIL() << "no error";
  } catch (const registry::error& e) {
    EXPECT_STREQ(e.what(), "Unable to open/create a registry key");
  }
  EXPECT_FALSE(Exists(L"Quellmar_oskel"));
  EXPECT_TRUE(Exists(L"Quellmar_bright"));
  EXPECT_TRUE(Exists(L"Quellmar_custom"));
}

TEST_F(VoiceRegistrationTest, UnregistrationWithoutTokensFails) {
  EXPECT_THROW(UnregisterVoices(root_.get()), registry::error);
}

}  // namespace
}  // namespace Quellmar::sapi
