#include "common/engine_settings.h"

#include <gtest/gtest.h>

#include <climits>

#include "common/profile_text.h"

namespace Quellmar {
namespace {

TEST(EngineSettingsRules, PathJoinsWithOneBackslash) {
  EXPECT_EQ(EngineSettingsPathIn(L"C:\\windows"), L"C:\\windows\\quellmar.ini");
  EXPECT_EQ(EngineSettingsPathIn(L"C:\\"), L"C:\\quellmar.ini");
}

TEST(EngineSettingsRules, CustomSwitch) {
  EXPECT_TRUE(IsCustomOn(L"YES"));
  EXPECT_TRUE(IsCustomOn(L"yes"));
  EXPECT_TRUE(IsCustomOn(L"yEs"));
  for (const wchar_t* off : {L"Y", L"1", L"", L"YES ", L"NO", L"YESS"}) {
    EXPECT_FALSE(IsCustomOn(off)) << off;
  }
}

TEST(ProfileTextReader, ReadsLikeTheProfileFunctions) {
  std::wstring value1023(1023, L'x'), value1030(1030, L'y');
  ProfileText text(
      L"; engine settings\r\n"
      L"[quellmarappdir]\r\n"
      L"  sndbank =  C:\\Quellmar\\bank  \r\n"
      L"TEMPDIR=\"C:\\tmp\"\r\n"
      L"DICTFLSDIR=" +
      value1023 +
      L"\n"
      L"LEXMEREDIR=" +
      value1030 +
      L"\n"
      L"[Other]\nPAUSE1=1\n"
      L"[QuellmarDictionary]\nCUSTOM=yes\n"
      L"[QUELLMARSETTINGS]\nPAUSE1=100\nPAUSE2=-20\nPAUSE3=  30ms\nPAUSE1=999\n");
  EngineSettings s = EngineSettingsFrom(text);
  EXPECT_EQ(s.sound_bank_dir, L"C:\\Quellmar\\bank");
  EXPECT_EQ(s.temp_dir, L"C:\\tmp");
  EXPECT_EQ(s.dictionary_files_dir, value1023);
  EXPECT_EQ(s.user_dictionary_dir, value1030.substr(0, 1023));
  EXPECT_TRUE(s.custom_entries);
  // Only PAUSE4 missing: it keeps its default of 7.
  EXPECT_EQ(s.pauses, (std::array<int32_t, 4>{100, -20, 30, 7}));

  EngineSettings none = EngineSettingsFrom(ProfileText(L""));
  EXPECT_TRUE(none.sound_bank_dir.empty() && none.temp_dir.empty());
  EXPECT_FALSE(none.custom_entries);
  EXPECT_EQ(none.pauses, (std::array<int32_t, 4>{650, 500, 350, 7}));

  EXPECT_FALSE(EngineSettingsFrom(ProfileText(L"[QuellmarDictionary]\nCUSTOM=Y\n")).custom_entries);
  EXPECT_FALSE(EngineSettingsFrom(ProfileText(L"[QuellmarDictionary]\nCUSTOM=1\n")).custom_entries);
  EXPECT_EQ(EngineSettingsFrom(ProfileText(L"[QuellmarSettings]\nPAUSE1=0x1F\nPAUSE2=+0b101\n"
                                           L"PAUSE3=-0650\nPAUSE4=x\n"))
                .pauses,
            (std::array<int32_t, 4>{31, 5, -650, 0}));
  // An empty integer value keeps the default.
  EXPECT_EQ(EngineSettingsFrom(ProfileText(L"[QuellmarSettings]\nPAUSE2=\n")).pauses[1], 500);
}

}  // namespace
}  // namespace Quellmar
