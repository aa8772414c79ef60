// The host's character and code-page tables against the platform, unit by
// unit: the host build's text preparation answers as Windows does.
#include <gtest/gtest.h>
#include <windows.h>

#include <string>

#include "common/text_platform.h"
#include "common/text_platform_lookup.h"

namespace Quellmar::text_platform {
namespace {

TEST(TextPlatformTables, CharacterTypesMatchThePlatform) {
  for (unsigned c = 0x100; c <= 0xFFFF; ++c) {
    const wchar_t w = static_cast<wchar_t>(c);
    ASSERT_EQ(IsSpaceType(w), TableIsSpace(c)) << std::hex << c;
    ASSERT_EQ(IsLetterOrDigitType(w), TableIsLetterOrDigit(c)) << std::hex << c;
  }
}

TEST(TextPlatformTables, CodePage1252MatchesThePlatform) {
  std::wstring all;
  std::string expected;
  for (unsigned c = 1; c <= 0xFFFF; ++c) {
    all.push_back(static_cast<wchar_t>(c));
    expected.push_back(TableByte1252(c));
    ASSERT_EQ(ToCodePage1252(std::wstring(1, static_cast<wchar_t>(c))),
              std::string(1, TableByte1252(c)))
        << std::hex << c;
  }
  // In one piece too, with valid and broken surrogate pairs among the units.
  EXPECT_EQ(ToCodePage1252(all), expected);
  const wchar_t mixed[] = {0xD83D, 0xDE00, L'a', 0xDC00, 0xD800, L'b', 0xD800};
  EXPECT_EQ(ToCodePage1252(std::wstring(mixed, 7)), "  a  b ");
}

}  // namespace
}  // namespace Quellmar::text_platform
