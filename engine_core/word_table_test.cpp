// The word table: every word it holds is found with all its phones, and
// words between and beyond its entries are not.
#include "engine_core/word_table.h"

#include <gtest/gtest.h>

#include <string>
#include <string_view>
#include <vector>

#include "engine_core/lexicon.h"

namespace Quellmar::engine_core {
namespace {

constexpr char kRaw[] =
#include "engine_core/word_table.inc"
    ;

TEST(WordTable, FindsEveryWordItHoldsAndNothingElse) {
  std::string_view all(kRaw, sizeof kRaw - 1);
  size_t words = 0;
  std::string previous;
  while (!all.empty()) {
    size_t nl = all.find('\n');
    std::string_view line = all.substr(0, nl);
    all.remove_prefix(nl == std::string_view::npos ? all.size() : nl + 1);
    size_t space = line.find(' ');
    if (space == std::string_view::npos) continue;
    std::string word(line.substr(0, space));
    std::vector<Phone> phones;
    ASSERT_TRUE(LookUpWordTable(word, phones)) << word;
    ASSERT_EQ(phones.size(), line.size() - space - 1) << word;
    int main_stress = 0;
    for (const Phone& p : phones) main_stress += p.stress == 1;
    EXPECT_LE(main_stress, 1) << word;
    // Just after the word in byte order, before its successor: absent.
    std::vector<Phone> none;
    EXPECT_FALSE(LookUpWordTable(word + "'", none)) << word;
    EXPECT_TRUE(none.empty());
    EXPECT_LT(previous, word);
    previous = word;
    ++words;
  }
  EXPECT_EQ(words, 20000u);
  std::vector<Phone> none;
  for (std::string_view absent : {"", " ", "'", "\n", "aaaaa", "zzzzz", "the ", "zhao\nx"})
    EXPECT_FALSE(LookUpWordTable(absent, none)) << absent;
}

TEST(WordTable, ReadsWordsAsTheDictionaryAndCompoundsAsTheirParts) {
  auto names = [](const std::string& word) {
    std::string s;
    Word w;
    w.text = word;
    for (const Phone& ph : Pronounce(w).phones) {
      if (!s.empty()) s += ' ';
      s += Info(ph.ph).name;
      if (IsVowel(ph.ph)) s += static_cast<char>('0' + ph.stress);
    }
    return s;
  };
  struct Case {
    const char* word;
    const char* phones;
  } cases[] = {
      {"information", "IH2 N F ER0 M EY1 SH AX0 N"},  // main stress late before "-tion"
      {"everybody", "EH1 V R IY0 B AA2 D IY0"},       // and early elsewhere
      {"toolbar", "T UW1 L B AA2 R"},                 // not in the table: tool + bar
      {"notepad", "N OW1 T P AE2 D"},
      {"computer's", "K AX0 M P Y UW1 T ER0 Z"},  // possessive of a table word
      {"the", "DH AX0"},                          // the core's own list first
  };
  for (const Case& c : cases) EXPECT_EQ(names(c.word), c.phones) << c.word;
}

}  // namespace
}  // namespace Quellmar::engine_core
