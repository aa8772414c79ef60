#include "packaging/saved_settings.h"

#include <gtest/gtest.h>

namespace Quellmar::packaging {
namespace {

TEST(SavedSettings, RoundTripsTheUsersValues) {
  SavedSettings s{L"C:\\Windows\\quellmar.ini",
                  {{L"QuellmarDictionary", L"CUSTOM", L"YES"},
                   {L"QuellmarSettings", L"PAUSE2", L"-20"},
                   {L"QuellmarSettings", L"PAUSE4", L""}}};
  const auto back = ParseSavedSettings(FormatSavedSettings(s));
  ASSERT_TRUE(back);
  EXPECT_EQ(back->path, s.path);
  ASSERT_EQ(back->values.size(), 3u);
  EXPECT_EQ(back->values[1].value, L"-20");
  EXPECT_EQ(back->values[2].value, L"");
  const auto none = ParseSavedSettings(L"C:\\Windows\\quellmar.ini");
  ASSERT_TRUE(none);
  EXPECT_TRUE(none->values.empty());
}

TEST(SavedSettings, RefusesAnythingButTheUsersKeys) {
  for (const wchar_t* bad :
       {L"", L"\nQuellmarSettings\tPAUSE1\t1", L"p\nQuellmarSettings\tPAUSE1",
        L"p\nQuellmarAppDir\tSNDBANK\tC:\\evil\\", L"p\nquellmarsettings\tPAUSE1\t1",
        L"p\nQuellmarSettings\tPAUSE1\t1\t2", L"p\nQuellmarSettings\tPAUSE1\t1\r", L"p\n",
        L"p\tq\nQuellmarSettings\tPAUSE1\t1"}) {
    EXPECT_FALSE(ParseSavedSettings(bad)) << bad;
  }
}

}  // namespace
}  // namespace Quellmar::packaging
