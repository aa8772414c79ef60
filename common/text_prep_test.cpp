// Runs on the host (table-driven platform answers) and under Wine (the
// platform's own), so both builds are held to the same results.
#include "common/text_prep.h"

#include <gtest/gtest.h>

#include <random>
#include <string>
#include <vector>

namespace Quellmar {
namespace {

using Chunks = std::vector<std::wstring>;

std::wstring Units(std::initializer_list<unsigned> units) {
  std::wstring s;
  for (unsigned u : units) s.push_back(static_cast<wchar_t>(u));
  return s;
}

TEST(CharacterTests, WhiteSpaceAndLetterOrDigit) {
  for (unsigned c : {0x09u, 0x0Du, 0x20u, 0x85u, 0xA0u, 0x3000u, 0x2003u, 0x1680u}) {
    EXPECT_TRUE(IsWhiteSpaceUnit(static_cast<wchar_t>(c))) << std::hex << c;
  }
  for (unsigned c : {0x08u, 0x0Eu, 0x1Fu, 0x41u, 0xADu, 0x200Bu, 0xFEFFu, 0xD800u}) {
    EXPECT_FALSE(IsWhiteSpaceUnit(static_cast<wchar_t>(c))) << std::hex << c;
  }
  for (unsigned c :
       {0x30u, 0x7Au, 0xAAu, 0xB2u, 0xB5u, 0xBAu, 0xC0u, 0xFFu, 0x100u, 0x391u, 0x4E00u, 0x0660u}) {
    EXPECT_TRUE(IsLetterOrDigitUnit(static_cast<wchar_t>(c))) << std::hex << c;
  }
  for (unsigned c : {0x20u, 0x2Eu, 0x5Fu, 0xB4u, 0xBFu, 0xD7u, 0xF7u, 0x2014u, 0xD83Du, 0xFFFFu}) {
    EXPECT_FALSE(IsLetterOrDigitUnit(static_cast<wchar_t>(c))) << std::hex << c;
  }
  EXPECT_EQ(UpperCaseAscii(L'q'), L'Q');
  EXPECT_EQ(UpperCaseAscii(0xE9), 0xE9);
}

TEST(CollapseWhitespace, RunsBecomeOneSpaceAndEndsAreDropped) {
  EXPECT_EQ(CollapseWhitespace(L"\t  Hello \r\n  world  "), L"Hello world");
  EXPECT_EQ(CollapseWhitespace(Units({0x01, 0x20, 0x09, 0x1F, 0x7F, 0x0B, 0x0C})), L"");
  // Control characters vanish without breaking a word or a pending space.
  EXPECT_EQ(CollapseWhitespace(Units({'a', 0x07, 'b', ' ', 0x00, ' ', 'c'})), L"ab c");
  // Only ASCII white space is collapsed here.
  EXPECT_EQ(CollapseWhitespace(Units({'a', 0x85, 0xA0, ' ', ' ', 'b'})),
            Units({'a', 0x85, 0xA0, ' ', 'b'}));
  EXPECT_EQ(CollapseWhitespace(L""), L"");
}

TEST(SpellOut, EveryNonSpaceIsAWord) {
  EXPECT_EQ(SpellOut(L"ab c"), L"A B C");
  EXPECT_EQ(SpellOut(L"Hello, you"), L"H E L L O , Y O U");
  EXPECT_EQ(SpellOut(Units({0xE9})), Units({0xE9}));
  EXPECT_EQ(SpellOut(L"   "), L"");
  EXPECT_EQ(SpellOut(Units({'x', 0xA0, 0x85, 0x3000, 'y'})), L"X Y");
  // A surrogate pair is two units, spelled as two.
  EXPECT_EQ(SpellOut(Units({0xD83D, 0xDE00})), Units({0xD83D, ' ', 0xDE00}));
}

TEST(NamePunctuation, NamesAreInsertedWithTheirSpaces) {
  EXPECT_EQ(NamePunctuation(L"Hi, you."), L"Hi comma  you dot ");
  // A speed tag is spoken, not obeyed.
  EXPECT_EQ(NamePunctuation(L"\\spd=200\\"), L" backslash spd equals 200 backslash ");
  EXPECT_EQ(NamePunctuation(L"a<b>c|d`e~f&g"),
            L"a less than b greater than c pipe d backtick e tilde f and g");
  int named = 0;
  for (unsigned c = 0; c < 0x10000; ++c) {
    if (const wchar_t* name = PunctuationName(static_cast<wchar_t>(c))) {
      ++named;
      std::wstring n = name;
      EXPECT_TRUE(n.size() > 2 && n.front() == L' ' && n.back() == L' ');
    }
  }
  EXPECT_EQ(named, 32);
  // Typographic marks are left for ToEngineText, after naming has run.
  std::wstring curly = Units({0x201C, 'H', 'i', 0x201D, ' ', 0x2014});
  EXPECT_EQ(NamePunctuation(curly), curly);
  EXPECT_EQ(ToEngineText(NamePunctuation(curly)), "\"Hi\"  - ");
}

TEST(SplitIntoChunks, HardCutsOfOneLongWord) {
  Chunks c = SplitIntoChunks(std::wstring(1000, L'w'), 400);
  ASSERT_EQ(c.size(), 3u);
  EXPECT_EQ(c[0].size(), 400u);
  EXPECT_EQ(c[1].size(), 400u);
  EXPECT_EQ(c[2].size(), 200u);
  EXPECT_TRUE(SplitIntoChunks(L"", 400).empty());
}

TEST(SplitIntoChunks, ExactlyTheLimitIsOneUntrimmedChunk) {
  std::wstring t = L" " + std::wstring(398, L'a') + L" ";
  EXPECT_EQ(SplitIntoChunks(t, 400), Chunks{t});
  Chunks c = SplitIntoChunks(t + L"b", 400);
  ASSERT_EQ(c.size(), 2u);
  EXPECT_EQ(c[0], std::wstring(398, L'a'));
  EXPECT_EQ(c[1], L"b");
}

TEST(SplitIntoChunks, SentenceEndBeatsLaterClauseEnds) {
  std::wstring t(450, L'x');
  t[300] = L'.';
  t[301] = L' ';
  t[302] = L' ';
  for (size_t i : {320u, 350u, 390u, 399u}) t[i] = L',';
  Chunks c = SplitIntoChunks(t, 400);
  ASSERT_EQ(c.size(), 2u);
  EXPECT_EQ(c[0], t.substr(0, 301));
  EXPECT_EQ(c[1], t.substr(303));
}

TEST(SplitIntoChunks, EarlyOrDecimalFullStopsAreNoCut) {
  // A full stop within the first quarter, and one followed by a digit.
  std::wstring t(500, L'x');
  t[50] = L'.';
  t[51] = L' ';
  t[200] = L'.';
  t[201] = L'5';
  t[380] = L' ';
  Chunks c = SplitIntoChunks(t, 400);
  ASSERT_EQ(c.size(), 2u);
  EXPECT_EQ(c[0], t.substr(0, 380));  // the last space, not either full stop
  EXPECT_EQ(c[1], t.substr(381));
  // With a clause end after the quarter, the clause end wins over spaces.
  t[250] = L';';
  c = SplitIntoChunks(t, 400);
  EXPECT_EQ(c[0], t.substr(0, 251));
  // An exclamation mark followed by a line feed is a sentence end.
  std::wstring u = std::wstring(300, L'y') + L"!\n" + std::wstring(150, L'z');
  EXPECT_EQ(SplitIntoChunks(u, 400), (Chunks{u.substr(0, 301), u.substr(301)}));
}

TEST(SplitIntoChunks, WordEndLooksOneUnitPastTheChunk) {
  std::wstring t = std::wstring(400, L'a') + L" " + std::wstring(100, L'b');
  EXPECT_EQ(SplitIntoChunks(t, 400), (Chunks{std::wstring(400, L'a'), std::wstring(100, L'b')}));
  std::wstring words;
  while (words.size() < 900) words += L"word ";
  Chunks chunks = SplitIntoChunks(words, 400);
  ASSERT_EQ(chunks.size(), 3u);
  for (const std::wstring& chunk : chunks) EXPECT_NE(chunk.front(), L' ');
  // Cut chunks are trimmed; the last one is the rest of the text as it is.
  EXPECT_EQ(chunks[0].back(), L'd');
  EXPECT_EQ(chunks[1].back(), L'd');
  EXPECT_EQ(chunks[2].back(), L' ');
}

TEST(SplitIntoChunks, TinyLimitsStillMakeProgress) {
  EXPECT_EQ(SplitIntoChunks(L"ab c", 0), (Chunks{L"a", L"b", L"c"}));
  EXPECT_EQ(SplitIntoChunks(L"a. b", 1), (Chunks{L"a", L".", L"b"}));
}

// Every unit of the text, in order, is in exactly one chunk, except spaces
// dropped at the cuts; no chunk is empty or longer than the limit.
void ExpectLossless(const std::wstring& text, const Chunks& chunks, size_t limit) {
  size_t pos = 0;
  for (const std::wstring& chunk : chunks) {
    ASSERT_FALSE(chunk.empty());
    ASSERT_LE(chunk.size(), limit);
    while (pos < text.size() && text[pos] == L' ' && text.compare(pos, chunk.size(), chunk) != 0) {
      ++pos;
    }
    ASSERT_EQ(text.compare(pos, chunk.size(), chunk), 0) << "chunk not found at " << pos;
    pos += chunk.size();
  }
  for (; pos < text.size(); ++pos) ASSERT_EQ(text[pos], L' ') << "lost unit at " << pos;
}

TEST(SplitIntoChunks, RandomTextsAreCutWithinTheLimitWithoutLoss) {
  std::mt19937 rng(20240607);
  const std::vector<std::wstring> pieces = {L" ",
                                            L"  ",
                                            L".",
                                            L". ",
                                            L"!",
                                            L"? ",
                                            L",",
                                            L";",
                                            L":",
                                            L"word",
                                            L"a",
                                            L"\t",
                                            Units({0xD83D, 0xDE00}),
                                            Units({0xA0}),
                                            Units({0x3000}),
                                            std::wstring(120, L'L'),
                                            std::wstring(450, L'M'),
                                            L"3.5",
                                            L"...",
                                            Units({0x2026})};
  for (int round = 0; round < 400; ++round) {
    std::wstring text;
    size_t target = std::uniform_int_distribution<size_t>(0, 3000)(rng);
    while (text.size() < target) {
      text += pieces[std::uniform_int_distribution<size_t>(0, pieces.size() - 1)(rng)];
    }
    size_t limit = round % 5 == 0 ? std::uniform_int_distribution<size_t>(1, 60)(rng) : 400;
    Chunks chunks = SplitIntoChunks(text, limit);
    ExpectLossless(text, chunks, limit);
    if (::testing::Test::HasFatalFailure()) {
      ADD_FAILURE() << "round " << round << ", limit " << limit << ", length " << text.size();
      return;
    }
  }
}

TEST(ToEngineText, FoldsThenConvertsToCodePage1252) {
  std::wstring t = Units({0x201C, 'c', 'a', 'f', 0xE9, 0x201D, ' ', 0x2014, ' ', '5', ' ', 0x20AC});
  EXPECT_EQ(ToEngineText(t), "\"caf\xE9\"  -  5  euros ");
  EXPECT_EQ(ToEngineText(Units({'a', 0x4E2D, 'b'})), "a b");
  EXPECT_EQ(ToEngineText(Units({0xFEFF, 'a', 0x200B, 'b', 0x200E, 0x200F})), "ab");
  EXPECT_EQ(ToEngineText(std::wstring(400, static_cast<wchar_t>(0x20AC))).size(), 2800u);
  EXPECT_EQ(ToEngineText(L""), "");
  // Removed-only text converts to nothing, which the caller skips.
  EXPECT_EQ(ToEngineText(Units({0x200B})), "");
  // Folded although the code page has them.
  EXPECT_EQ(ToEngineText(Units({0x0152, 0xE6, 0xDF, 0x0161, 0xBD, 0xD7})),
            "OEaesss one half  times ");
  EXPECT_EQ(ToEngineText(Units({0x2026, 0x2018, 0x201A, 0x2011, 0xAB})), "...',-\"");
  // Surrogates are units the code page lacks: a pair is two spaces.
  EXPECT_EQ(ToEngineText(Units({'x', 0xD83D, 0xDE00, 0xDC00, 'y'})), "x   y");
  // Control characters and the code page's own letters pass as bytes.
  EXPECT_EQ(ToEngineText(Units({0x01, 0xFC, 0x7F})), "\x01\xFC\x7F");
}

TEST(ToEngineText, EveryUnitGivesABoundedResult) {
  for (unsigned c = 1; c < 0x10000; ++c) {
    std::string bytes = ToEngineText(std::wstring(1, static_cast<wchar_t>(c)));
    ASSERT_LE(bytes.size(), 16u) << std::hex << c;
  }
}

TEST(TextPreparation, AMegabyteOfAwkwardTextGoesThroughEveryStep) {
  std::wstring text;
  text.reserve(1 << 20);
  for (unsigned i = 0; text.size() < (1u << 20); ++i) {
    text.push_back(static_cast<wchar_t>((i * 2654435761u) >> 16));
    if (i % 7 == 0) text += L". ";
  }
  std::wstring collapsed = CollapseWhitespace(text);
  EXPECT_LE(collapsed.size(), text.size());
  EXPECT_FALSE(SpellOut(collapsed).empty());
  std::wstring named = NamePunctuation(collapsed);
  Chunks chunks = SplitIntoChunks(named, 400);
  ExpectLossless(named, chunks, 400);
  size_t bytes = 0;
  for (const std::wstring& chunk : chunks) bytes += ToEngineText(chunk).size();
  EXPECT_GE(bytes, named.size() / 2);
}

}  // namespace
}  // namespace Quellmar
