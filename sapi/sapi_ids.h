// The names QuellmarSAPI.dll publishes: its two COM classes and the registry
// layout its self-registration writes. Portable (GUID values are plain
// bytes), so host code and tests may use the texts too.
#pragma once

#include <cstdint>

namespace Quellmar::sapi {

// Same layout as the platform's GUID; the Windows code converts with ToGuid().
struct GuidValue {
  uint32_t data1;
  uint16_t data2;
  uint16_t data3;
  uint8_t data4[8];
};

// The text-to-speech engine, ISpTTSEngineImpl.
inline constexpr GuidValue kEngineClassId = {
    0x6d1a8c47, 0x2f30, 0x4b6e, {0x9a, 0x1c, 0x7e, 0x5b, 0x0d, 0x3a, 0x4f, 0x21}};
inline constexpr wchar_t kEngineClassIdText[] = L"{6D1A8C47-2F30-4B6E-9A1C-7E5B0D3A4F21}";

// The voice token enumerator, IEnumSpObjectTokensImpl.
inline constexpr GuidValue kEnumeratorClassId = {
    0xd25e46e7, 0x3c9a, 0x403b, {0xbc, 0xa1, 0xdb, 0xf9, 0x10, 0xd0, 0xf9, 0x9a}};
inline constexpr wchar_t kEnumeratorClassIdText[] = L"{D25E46E7-3C9A-403B-BCA1-DBF910D0F99A}";

// COM class registration, under HKEY_LOCAL_MACHINE:
//   Software\Classes\CLSID\{clsid}\InProcServer32  (default) = DLL path
//                                                  ThreadingModel = "Both"
inline constexpr wchar_t kClassesClsidKey[] = L"Software\\Classes\\CLSID";
inline constexpr wchar_t kInProcServerKey[] = L"InProcServer32";
inline constexpr wchar_t kThreadingModelValue[] = L"ThreadingModel";
inline constexpr wchar_t kThreadingModelBoth[] = L"Both";

// Voice tokens, under HKEY_LOCAL_MACHINE, one per voice index 0..7:
//   Software\Microsoft\Speech\Voices\Tokens\Quellmar_<key>
//     (default) = display name, CLSID = kEngineClassIdText, "409" = display name
//     Attributes\ Name, Gender, Age, Language, Vendor, Description, Quellmar
inline constexpr wchar_t kVoiceTokensKey[] = L"Software\\Microsoft\\Speech\\Voices\\Tokens";
inline constexpr wchar_t kTokenPrefix[] = L"Quellmar_";
inline constexpr wchar_t kClsidValue[] = L"CLSID";
inline constexpr wchar_t kLanguageNameValue[] = L"409";
inline constexpr wchar_t kAttributesKey[] = L"Attributes";
inline constexpr wchar_t kNameAttribute[] = L"Name";
inline constexpr wchar_t kGenderAttribute[] = L"Gender";
inline constexpr wchar_t kAgeAttribute[] = L"Age";
inline constexpr wchar_t kLanguageAttribute[] = L"Language";
inline constexpr wchar_t kVendorAttribute[] = L"Vendor";
inline constexpr wchar_t kDescriptionAttribute[] = L"Description";
// The engine reads this attribute to learn which voice a token is.
inline constexpr wchar_t kVoiceKeyAttribute[] = L"Quellmar";

inline constexpr wchar_t kGenderMale[] = L"Male";
inline constexpr wchar_t kAgeAdult[] = L"Adult";
inline constexpr wchar_t kLanguageUsEnglish[] = L"409";
inline constexpr wchar_t kVendorName[] = L"Quellmar / Zentrik";

// In-memory tokens made by the enumerator.
inline constexpr wchar_t kVoiceCategoryId[] =
    L"HKEY_LOCAL_MACHINE\\SOFTWARE\\Microsoft\\Speech\\Voices";
inline constexpr wchar_t kTokenEnumIdPrefix[] =
    L"HKEY_LOCAL_MACHINE\\SOFTWARE\\Microsoft\\Speech\\Voices\\TokenEnums\\Quellmar\\";

// The output format: 16 kHz, 16-bit mono PCM.
inline constexpr uint32_t kSampleRate = 16000;
inline constexpr uint16_t kBitsPerSample = 16;
inline constexpr uint16_t kChannels = 1;

}  // namespace Quellmar::sapi
