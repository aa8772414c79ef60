#include "packaging/folder_rules.h"

#include <gtest/gtest.h>

namespace Quellmar::packaging {
namespace {

TEST(FolderRules, ReadsTheModeAndEachFolderInOrder) {
  const auto secure =
      ParseFolderRules(L"secure|R*C:\\Program Files\\Quellmar SAPI5\\|U*\\\\srv\\share\\Q");
  ASSERT_TRUE(secure);
  EXPECT_TRUE(secure->secure);
  ASSERT_EQ(secure->rules.size(), 2u);
  const std::string read_only = kReadOnlyFolderSddl, user = kUserContentFolderSddl;
  EXPECT_EQ(secure->rules[0].sddl, std::wstring(read_only.begin(), read_only.end()));
  EXPECT_EQ(secure->rules[1].sddl, std::wstring(user.begin(), user.end()));
  EXPECT_EQ(secure->rules[0].folder, L"C:\\Program Files\\Quellmar SAPI5\\");
  EXPECT_EQ(secure->rules[1].folder, L"\\\\srv\\share\\Q");
  const auto check = ParseFolderRules(L"check");
  ASSERT_TRUE(check);
  EXPECT_FALSE(check->secure);
  EXPECT_TRUE(check->rules.empty());
}

TEST(FolderRules, RefusesWhatCouldSecureTheWrongFolder) {
  for (const wchar_t* text :
       {L"", L"install|R*C:\\Q\\", L"secure|*C:\\Q\\", L"secure|R", L"secure|X*C:\\Q\\",
        L"secure|RU*C:\\Q\\", L"secure|R*Q\\", L"secure|R*C:\\", L"secure|R*C:",
        L"secure|R*C:\\Q\\..\\Windows\\", L"secure|R*C:\\Q\\.\\", L"secure|R*C:\\Q\\\\R\\",
        L"secure|R*C:\\Q\\\\", L"secure|R*\\\\srv\\share\\", L"secure|R*C:/Q/",
        L"secure|R*C:\\Q\\|", L"secure|R*C:\\Q*R\\"}) {
    EXPECT_FALSE(ParseFolderRules(text)) << text;
  }
  std::wstring many = L"check";
  for (size_t i = 0; i <= kMaxFolderRules; ++i) many += L"|R*C:\\Q\\";
  EXPECT_FALSE(ParseFolderRules(many));
}

}  // namespace
}  // namespace Quellmar::packaging
