#include "sapi/voice_registration.h"

#include "common/voices.h"
#include "sapi/registry.h"
#include "sapi/sapi_ids.h"

namespace Quellmar::sapi {

std::wstring TokenKeyName(int voice_index) {
  return std::wstring(kTokenPrefix) + VoiceTextsFor(voice_index).key;
}

void RegisterVoices(HKEY root, const std::wstring& engine_clsid_text) {
  constexpr REGSAM kAccess = KEY_SET_VALUE | KEY_CREATE_SUB_KEY;
  unique_reg_key tokens = registry::CreateKey(root, kVoiceTokensKey, kAccess);
  for (int i = 0; i < kVoiceCount; ++i) {
    const VoiceTexts texts = VoiceTextsFor(i);
    unique_reg_key token = registry::CreateKey(tokens.get(), TokenKeyName(i).c_str(), kAccess);
    registry::SetString(token.get(), nullptr, texts.display_name);
    registry::SetString(token.get(), kClsidValue, engine_clsid_text);
    registry::SetString(token.get(), kLanguageNameValue, texts.display_name);

    unique_reg_key attributes = registry::CreateKey(token.get(), kAttributesKey, KEY_SET_VALUE);
    registry::SetString(attributes.get(), kNameAttribute, texts.display_name);
    registry::SetString(attributes.get(), kGenderAttribute, kGenderMale);
    registry::SetString(attributes.get(), kAgeAttribute, kAgeAdult);
    registry::SetString(attributes.get(), kLanguageAttribute, kLanguageUsEnglish);
    registry::SetString(attributes.get(), kVendorAttribute, kVendorName);
    registry::SetString(attributes.get(), kDescriptionAttribute, texts.description);
    registry::SetString(attributes.get(), kVoiceKeyAttribute, texts.key);
  }
}

void UnregisterVoices(HKEY root) {
  unique_reg_key tokens = registry::OpenKey(root, kVoiceTokensKey, KEY_ALL_ACCESS);
  for (int i = 0; i < kVoiceCount; ++i) {
    const std::wstring name = TokenKeyName(i);
    {
      unique_reg_key token = registry::OpenKey(tokens.get(), name.c_str(), KEY_ALL_ACCESS);
      registry::DeleteKey(token.get(), kAttributesKey);
    }
    registry::DeleteKey(tokens.get(), name.c_str());
  }
}

}  // namespace Quellmar::sapi
