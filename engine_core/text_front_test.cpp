#include "engine_core/text_front.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "engine_core/lexicon.h"

namespace Quellmar::engine_core {
namespace {

// The words of a text, joined by spaces; phrase ends shown as , ; . ? ! |.
std::string Read(std::string_view text, bool tags = false) {
  std::string out;
  for (const Sentence& s : Normalize(text, tags)) {
    for (const Phrase& p : s.phrases) {
      for (const Word& w : p.words) {
        if (!out.empty() && out.back() != ' ') out += ' ';
        out += w.spell ? "<" + w.text + ">" : w.text;
      }
      static const char kMarks[] = {0, '|', ',', ';', '.', '?', '!'};
      if (char m = kMarks[static_cast<int>(p.end)]) out += m;
    }
  }
  return out;
}

TEST(TextFront, NumbersBecomeWords) {
  EXPECT_EQ(Read("0"), "zero");
  EXPECT_EQ(Read("123"), "one hundred twenty three");
  EXPECT_EQ(Read("1,234,567"), "one million two hundred thirty four thousand five hundred sixty seven");
  EXPECT_EQ(Read("3.14"), "three point one four");
  EXPECT_EQ(Read("-7"), "minus seven");
  EXPECT_EQ(Read("1999 2024 2005"), "nineteen ninety nine twenty twenty four two thousand five");
  EXPECT_EQ(Read("the 1st and 22nd"), "the first and twenty second");
  EXPECT_EQ(Read("the 1990s"), "the nineteen nineties");
  EXPECT_EQ(Read("at 10:30 or 7:05 or 9:00"), "at ten thirty or seven oh five or nine o'clock");
  EXPECT_EQ(Read("$5.50 and $1"), "five dollars and fifty cents and one dollar");
  EXPECT_EQ(Read("50% off"), "fifty percent off");
  EXPECT_EQ(Read("007"), "zero zero seven");
  // More digits than the scales reach are read one by one.
  EXPECT_EQ(Read("12345678901234567"), "one two three four five six seven eight nine zero one two "
                                       "three four five six seven");
}

TEST(TextFront, AbbreviationsSymbolsAndSpelling) {
  EXPECT_EQ(Read("Dr. Smith met Mrs. Jones."), "doctor smith met missus jones.");
  EXPECT_EQ(Read("apples, pears etc. Then more."), "apples, pears et cetera. then more.");
  EXPECT_EQ(Read("No. 5 is good"), "number five is good");
  EXPECT_EQ(Read("e.g. this"), "for example this");
  EXPECT_EQ(Read("the BBC and the USA and IBM"), "the <b> <b> <c> and the <u> <s> <a> and <i> <b> <m>");
  EXPECT_EQ(Read("R&D @ 5 km"), "<r> and <d> at five kilometers");
  EXPECT_EQ(Read("caf\xe9 na\xefve"), "cafe naive");
  EXPECT_EQ(Read("don't stop"), "don't stop");
}

TEST(TextFront, PunctuationMakesTheBreaks) {
  EXPECT_EQ(Read("One, two; three: four. Five? Six! Seven"),
            "one, two; three; four. five? six! seven");
  EXPECT_EQ(Read("wait... what?!"), "wait, what?");
  EXPECT_EQ(Read("Hello.\n\nWorld"), "hello. world");
  EXPECT_EQ(Normalize("A b. C d. E f", false).size(), 3u);
  EXPECT_FALSE(HasSpeech("?!."));
  EXPECT_FALSE(HasSpeech(""));
  EXPECT_FALSE(HasSpeech(" \t\r\n\"'()-"));
  EXPECT_TRUE(HasSpeech("$"));
  EXPECT_TRUE(HasSpeech("a"));
}

TEST(TextFront, TagsAreRemovedOnlyWhenObeyed) {
  const char* text = "Hello \\spd=250\\world \\pit=70\\ \\vol=20000\\\\rspd=120\\ \\Rpit=90\\ \\mrk=42\\again";
  EXPECT_EQ(Read(text, true), "hello world again");
  EXPECT_EQ(Read(text, false),
            "hello <s> <p> <d> equals two hundred fifty world pit equals seventy vol equals twenty "
            "thousand <r> <s> <p> <d> equals one hundred twenty| rpit equals ninety <m> <r> <k> "
            "equals forty two again");
  // Bad tag syntax: an empty or absurd value is still a tag; a lone or
  // unclosed backslash is only a separator.
  EXPECT_EQ(RemoveTags("a\\spd=\\b"), "a b");
  EXPECT_EQ(RemoveTags("a\\spd=99999999999\\b"), "a b");
  EXPECT_EQ(RemoveTags("end\\"), "end\\");
  EXPECT_EQ(RemoveTags("\\=5\\"), "\\=5\\");
  EXPECT_EQ(RemoveTags("\\spd=250"), "\\spd=250");
  EXPECT_EQ(Read("C:\\Windows\\System", true), "<c>; windows system");
}

TEST(TextFront, EveryPieceStaysWithinItsLimits) {
  std::string text(1000, 'a');
  text += " ";
  for (int i = 0; i < 200; ++i) text += "word ";
  auto sentences = Normalize(text, false);
  size_t words = 0;
  for (const Sentence& s : sentences) {
    size_t in_sentence = 0;
    for (const Phrase& p : s.phrases) {
      EXPECT_LE(p.words.size(), kMaxPhraseWords);
      for (const Word& w : p.words) EXPECT_LE(w.text.size(), kMaxWordLetters);
      in_sentence += p.words.size();
    }
    EXPECT_LE(in_sentence, kMaxSentenceWords);
    words += in_sentence;
  }
  EXPECT_EQ(words, (1000 + kMaxWordLetters - 1) / kMaxWordLetters + 200);
}

TEST(Lexicon, KnownWordsRulesAndLetters) {
  auto names = [](const Pronunciation& p) {
    std::string s;
    for (const Phone& ph : p.phones) {
      if (!s.empty()) s += ' ';
      s += Info(ph.ph).name;
      if (IsVowel(ph.ph)) s += static_cast<char>('0' + ph.stress);
    }
    return s;
  };
  EXPECT_EQ(names(Pronounce({"the", false, {}})), "DH AX0");
  EXPECT_TRUE(Pronounce({"the", false, {}}).function_word);
  EXPECT_EQ(names(Pronounce({"quick", false, {}})), "K W IH1 K");
  // By rule: one primary stress, on the first full vowel.
  EXPECT_EQ(names(Pronounce({"fish", false, {}})), "F IH1 SH");
  EXPECT_EQ(names(Pronounce({"sheep", false, {}})), "SH IY1 P");
  EXPECT_EQ(names(Pronounce({"make", false, {}})), "M EY1 K");
  EXPECT_EQ(names(Pronounce({"station", false, {}})), "S T EY1 SH AX0 N");
  EXPECT_EQ(names(Pronounce({"b", true, {}})), "B IY1");
  EXPECT_EQ(names(Pronounce({"people's", false, {}})), "P IY1 P AX0 L Z");
  for (const char* w : {"xylophone", "rhythm", "queue", "knight", "'''", "zzzz"}) {
    Pronunciation p = Pronounce({w, false, {}});
    int primary = 0;
    for (const Phone& ph : p.phones) primary += ph.stress == 1;
    EXPECT_LE(primary, 1) << w;
  }
}

}  // namespace
}  // namespace Quellmar::engine_core
