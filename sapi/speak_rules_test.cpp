#include "sapi/speak_rules.h"

#include <gtest/gtest.h>

namespace Quellmar::sapi {
namespace {

TEST(BookmarkNumber, ReadsLikeTheCLibrary) {
  EXPECT_EQ(BookmarkNumber(L"42"), 42);
  EXPECT_EQ(BookmarkNumber(L"x7"), 0);
  EXPECT_EQ(BookmarkNumber(L""), 0);
  EXPECT_EQ(BookmarkNumber(L"  \t-13abc"), -13);
  EXPECT_EQ(BookmarkNumber(L"+8"), 8);
  EXPECT_EQ(BookmarkNumber(L"- 8"), 0);
  EXPECT_EQ(BookmarkNumber(L"7 8"), 7);
  EXPECT_EQ(BookmarkNumber(L"-"), 0);
  // Out of range saturates instead of wrapping.
  EXPECT_EQ(BookmarkNumber(L"99999999999999999999"), 2147483647);
  EXPECT_EQ(BookmarkNumber(L"-2147483648"), -2147483647 - 1);
  EXPECT_EQ(BookmarkNumber(L"-99999999999"), -2147483647 - 1);
}

TEST(FindWords, LettersDigitsApostrophesAndHyphens) {
  auto w = FindWords(L"don't stop-gap, 42x!");
  ASSERT_EQ(w.size(), 3u);
  EXPECT_EQ(w[0].start, 0u);
  EXPECT_EQ(w[0].length, 5u);
  EXPECT_EQ(w[1].start, 6u);
  EXPECT_EQ(w[1].length, 8u);
  EXPECT_EQ(w[2].start, 16u);
  EXPECT_EQ(w[2].length, 3u);

  EXPECT_TRUE(FindWords(L"     ").empty());
  EXPECT_TRUE(FindWords(L"").empty());
  auto end = FindWords(L"...end");  // a word ending with the text counts
  ASSERT_EQ(end.size(), 1u);
  EXPECT_EQ(end[0].start, 3u);
  EXPECT_EQ(end[0].length, 3u);
  auto latin = FindWords(L"caf\u00e9\u00d7x");  // the multiplication sign is no letter
  ASSERT_EQ(latin.size(), 2u);
  EXPECT_EQ(latin[0].length, 4u);
}

TEST(ProsodyFor, RateAndVolumeArithmetic) {
  auto p = ProsodyFor(10, 100, 5, 0, 100);
  EXPECT_EQ(p.rate, 10);
  p = ProsodyFor(-10, 50, -5, 0, 50);
  EXPECT_EQ(p.rate, -10);
  EXPECT_EQ(p.volume, 25u);
  p = ProsodyFor(3, 100, -1, 99, 100);
  EXPECT_EQ(p.rate, 2);
  EXPECT_EQ(p.pitch, 10);
  EXPECT_EQ(ProsodyFor(0, 100, 0, -50, 100).pitch, -10);
  // Extreme host values neither overflow nor escape the limits.
  p = ProsodyFor(2147483647L, 65535, 2147483647L, -2147483647L - 1, 0xFFFFFFFFul);
  EXPECT_EQ(p.rate, 10);
  EXPECT_EQ(p.pitch, -10);
  // 65535 * 0xFFFFFFFF wraps to 0xFFFF0001, /100 is large: limited to 100.
  EXPECT_EQ(p.volume, 100u);
  // The product wraps in 32 bits: 100 * 42949673 = 2^32 + 4 -> 4, /100 -> 0.
  EXPECT_EQ(ProsodyFor(0, 100, 0, 0, 42949673ul).volume, 0u);
  EXPECT_EQ(ProsodyFor(0, 0, 0, 0, 100).volume, 0u);
  EXPECT_EQ(ProsodyFor(0, 100, 0, 0, 0x80000000ul).volume, 0u);  // 100 * 2^31 wraps to 0
}

TEST(Silence, SamplesAndWrites) {
  EXPECT_EQ(SilenceSamples(250), 4000u);
  EXPECT_EQ(SilenceSamples(0), 0u);
  EXPECT_EQ(SilenceSamples(0xFFFFFFFFu), 0xFFFFFFFFull * 16);
  EXPECT_EQ(BytesTaken(0, 4096), 4096u);
  EXPECT_EQ(BytesTaken(5000, 4096), 4096u);
  EXPECT_EQ(BytesTaken(100, 4096), 100u);
}

TEST(EventInterest, MasksIncludeTheFlagCheckBits) {
  EXPECT_TRUE(WantsSentences(1ull << 7));
  EXPECT_FALSE(WantsSentences(1ull << 5));
  EXPECT_TRUE(WantsWords(1ull << 5));
  EXPECT_FALSE(WantsWords(1ull << 7));
  // Hosts that pass SPFEI() values always carry bits 30 and 33, so any
  // such interest passes both tests.
  EXPECT_TRUE(WantsWords(1ull << 30));
  EXPECT_TRUE(WantsSentences(1ull << 33));
  EXPECT_FALSE(WantsWords(0));
}

}  // namespace
}  // namespace Quellmar::sapi
