#include "packaging/ini_tidy.h"

#include <gtest/gtest.h>

#include <string>

namespace Quellmar::packaging {
namespace {

std::string Utf16(const std::string& ascii) {
  std::string out = "\xFF\xFE";
  for (char c : ascii) out += std::string{c, '\0'};
  return out;
}

TEST(IniTidy, WhatTheUninstallLeavesMayGo) {
  EXPECT_TRUE(OnlyEmptyEngineSections(""));
  EXPECT_TRUE(OnlyEmptyEngineSections(
      "[QuellmarAppDir]\r\n[QuellmarDictionary]\r\n[QuellmarSettings]\r\n"));
  EXPECT_TRUE(OnlyEmptyEngineSections("\n  [quellmarsettings] \t\n\n[QUELLMARAPPDIR]"));
  EXPECT_TRUE(OnlyEmptyEngineSections("\xEF\xBB\xBF[QuellmarAppDir]\n"));
  EXPECT_TRUE(OnlyEmptyEngineSections(Utf16("[QuellmarAppDir]\r\n[QuellmarSettings]\r\n")));
}

TEST(IniTidy, AnythingElseKeepsTheFile) {
  EXPECT_FALSE(OnlyEmptyEngineSections("[QuellmarSettings]\r\nPAUSE1=900\r\n"));
  EXPECT_FALSE(OnlyEmptyEngineSections("[QuellmarAppDir]\n[Other]\n"));
  EXPECT_FALSE(OnlyEmptyEngineSections("; the user's note\n[QuellmarAppDir]\n"));
  EXPECT_FALSE(OnlyEmptyEngineSections("[Quellmar AppDir]"));
  EXPECT_FALSE(OnlyEmptyEngineSections(std::string("[QuellmarAppDir]\0x", 18)));
  EXPECT_FALSE(OnlyEmptyEngineSections(Utf16("[QuellmarAppDir]\r\nCUSTOM=YES\r\n")));
  EXPECT_FALSE(OnlyEmptyEngineSections(Utf16("[QuellmarAppDir]") + "x"));        // odd byte count
  EXPECT_FALSE(OnlyEmptyEngineSections(std::string("\xFF\xFE[\0\x01\x01", 6)));  // above 0xFF
}

}  // namespace
}  // namespace Quellmar::packaging
