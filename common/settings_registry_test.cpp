#include "common/settings_registry.h"

#include <gtest/gtest.h>

#include <cstdint>

#include "common/voices.h"
#include "testing/user_state.h"

namespace Quellmar {
namespace {

using Pauses = std::array<int32_t, 4>;
using SettingsRegistry = testing::CleanUserState;

const wchar_t kCustom[] = L"CustomVoice";
const wchar_t kGlobal[] = L"Global";

TEST_F(SettingsRegistry, NoKeyAtAllGivesTheDefaults) {
  CustomVoiceSettings custom = VoiceSettingsFor(kCustomVoiceIndex);
  CustomVoiceSettings row0 = PresetVoiceSettings(0);
  EXPECT_EQ(custom.speed, row0.speed);
  EXPECT_EQ(custom.pitch, row0.pitch);
  EXPECT_EQ(custom.volume, row0.volume);
  EXPECT_EQ(custom.pauses, (Pauses{650, 500, 350, 7}));
  EXPECT_FALSE(custom.tags || custom.speak_punctuation);
  GlobalSettings g = ReadGlobalSettings();
  EXPECT_EQ(g.rate_percent, 100);
  EXPECT_EQ(g.volume_percent, 100);
  EXPECT_FALSE(g.override_pauses || g.tags || g.speak_punctuation);
  EXPECT_EQ(ReadUserDword(kCustomVoiceKeyPath, L"Speed"), std::nullopt);
}

TEST_F(SettingsRegistry, StoredValuesAreLimited) {
  ASSERT_TRUE(testing::SetUserDword(kCustom, L"Speed", 400));
  ASSERT_TRUE(testing::SetUserDword(kCustom, L"Pitch", 10));
  ASSERT_TRUE(testing::SetUserDword(kCustom, L"Volume", static_cast<DWORD>(-5)));
  ASSERT_TRUE(testing::SetUserDword(kCustom, L"Pause1", 2999));
  ASSERT_TRUE(testing::SetUserDword(kCustom, L"Pause4", 500));
  ASSERT_TRUE(testing::SetUserDword(kCustom, L"HonourTags", 7));
  ASSERT_TRUE(testing::SetUserDword(kGlobal, L"RatePercent", 10));
  ASSERT_TRUE(testing::SetUserDword(kGlobal, L"VolumePercent", 1000));
  ASSERT_TRUE(testing::SetUserDword(kGlobal, L"Pause3", static_cast<DWORD>(-100)));
  ASSERT_TRUE(testing::SetUserDword(kGlobal, L"SpeakPunctuation", 1));
  CustomVoiceSettings v = ReadCustomVoiceSettings();
  EXPECT_EQ(v.speed, 350);
  EXPECT_EQ(v.pitch, 45);
  EXPECT_EQ(v.volume, 0);
  EXPECT_EQ(v.pauses, (Pauses{2999, 500, 350, 100}));
  EXPECT_TRUE(v.tags);
  EXPECT_FALSE(v.speak_punctuation);
  GlobalSettings g = ReadGlobalSettings();
  EXPECT_EQ(g.rate_percent, 25);
  EXPECT_EQ(g.volume_percent, 200);
  EXPECT_EQ(g.pauses, (Pauses{650, 500, 0, 7}));
  EXPECT_TRUE(g.speak_punctuation);
  EXPECT_FALSE(g.override_pauses);
}

TEST_F(SettingsRegistry, ValuesOfAnotherTypeOrSizeCountAsMissing) {
  const wchar_t text[] = L"400";
  const uint8_t two[2] = {0x5A, 0x00};
  const uint8_t eight[8] = {90, 0, 0, 0, 0, 0, 0, 0};
  const uint64_t qword = 90;
  const DWORD big_endian = 0x5A000000, one = 1;
  ASSERT_TRUE(testing::SetUserValue(kCustom, L"Speed", REG_SZ, text, sizeof(text)));
  ASSERT_TRUE(testing::SetUserValue(kCustom, L"Pitch", REG_BINARY, two, sizeof(two)));
  ASSERT_TRUE(testing::SetUserValue(kCustom, L"Volume", REG_BINARY, eight, sizeof(eight)));
  ASSERT_TRUE(testing::SetUserValue(kCustom, L"Pause1", REG_QWORD, &qword, sizeof(qword)));
  ASSERT_TRUE(
      testing::SetUserValue(kCustom, L"Pause2", REG_DWORD_BIG_ENDIAN, &big_endian, sizeof(DWORD)));
  // REG_DWORD in name only: too short and too long.
  ASSERT_TRUE(testing::SetUserValue(kCustom, L"Pause3", REG_DWORD, two, sizeof(two)));
  ASSERT_TRUE(testing::SetUserValue(kCustom, L"Pause4", REG_DWORD, eight, sizeof(eight)));
  ASSERT_TRUE(testing::SetUserValue(kCustom, L"HonourTags", REG_BINARY, &one, sizeof(one)));
  const wchar_t on[] = L"1";
  ASSERT_TRUE(testing::SetUserValue(kCustom, L"SpeakPunctuation", REG_SZ, on, sizeof(on)));
  ASSERT_TRUE(testing::SetUserValue(kGlobal, L"RatePercent", REG_EXPAND_SZ, text, sizeof(text)));
  ASSERT_TRUE(testing::SetUserValue(kGlobal, L"OverridePauses", REG_QWORD, &qword, sizeof(qword)));
  ASSERT_TRUE(testing::SetUserValue(kGlobal, L"HonourTags", REG_NONE, nullptr, 0));

  CustomVoiceSettings v = ReadCustomVoiceSettings();
  EXPECT_EQ(v.speed, 175);
  EXPECT_EQ(v.pitch, 63);
  EXPECT_EQ(v.volume, 32767);
  EXPECT_EQ(v.pauses, (Pauses{650, 500, 350, 7}));
  EXPECT_FALSE(v.tags);
  EXPECT_FALSE(v.speak_punctuation);
  GlobalSettings g = ReadGlobalSettings();
  EXPECT_EQ(g.rate_percent, 100);
  EXPECT_FALSE(g.override_pauses);
  EXPECT_FALSE(g.tags);
}

TEST_F(SettingsRegistry, EveryReadSeesTheCurrentValues) {
  ASSERT_TRUE(testing::SetUserDword(kCustom, L"Speed", 200));
  EXPECT_EQ(VoiceSettingsFor(kCustomVoiceIndex).speed, 200);
  ASSERT_TRUE(testing::SetUserDword(kCustom, L"Speed", 90));
  EXPECT_EQ(VoiceSettingsFor(kCustomVoiceIndex).speed, 90);
  // The ready-made voices never look at the registry.
  EXPECT_EQ(VoiceSettingsFor(1).speed, 160);
  ASSERT_TRUE(testing::SetUserDword(kGlobal, L"OverridePauses", 1));
  ASSERT_TRUE(testing::SetUserDword(kGlobal, L"Pause1", 0));
  EXPECT_TRUE(ReadGlobalSettings().override_pauses);
  EXPECT_EQ(ReadGlobalSettings().pauses[0], 0);
  testing::DeleteQuellmarKeys();
  EXPECT_EQ(VoiceSettingsFor(kCustomVoiceIndex).speed, 175);
}

}  // namespace
}  // namespace Quellmar
