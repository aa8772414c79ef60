#include "dictionary_editor/entry_list.h"

#include <gtest/gtest.h>

#include <map>
#include <random>
#include <sstream>

namespace Quellmar::dictionary {
namespace {

std::vector<std::string> Words(const EntryList& list) {
  std::vector<std::string> w;
  for (const DictionaryEntry& e : list) w.push_back(e.word);
  return w;
}

TEST(EntryList, LoadTakesThreeOrTwoFieldsAndKeepsEveryOtherLine) {
  const std::string source =
      "#names\r\n"  // before the first entry
      "cat ka/t 00\r\n"
      "dog\tdo'g\n"  // two fields: the code becomes "10"
      "lonely\r\n"   // one field: kept after dog
      "\r\n"
      "Quellmar kwe/lmar 02  a note, kept\n"
      "zebra zi~/bru 02D";  // no line end at all
  EntryList list;
  ASSERT_EQ(list.LoadBytes(source), 4u);
  const std::string saved =
      "#names\r\ncat ka/t 00\r\ndog do'g 10\r\nlonely\r\n\r\n"
      "Quellmar kwe/lmar 02 a note, kept\r\nzebra zi~/bru 02D\r\n";
  EXPECT_EQ(list.Serialize(), saved);
  EntryList again;
  ASSERT_EQ(again.LoadBytes(saved), 4u);
  EXPECT_EQ(again.Serialize(), saved);

  // Kept lines stay in their place when entries around them come and go.
  list.Remove(list.Find("dog"));
  list.Add({"cow", "kau", "00"});
  list.Remove(list.Find("cat"));
  EXPECT_EQ(list.Serialize(),
            "#names\r\nlonely\r\n\r\ncow kau 00\r\n"
            "Quellmar kwe/lmar 02 a note, kept\r\nzebra zi~/bru 02D\r\n");
  EXPECT_EQ(list.Add({"zebra", "ze/bra", "02D"}), EntryList::AddResult::kUpdated);
  EXPECT_NE(list.Serialize().find("zebra ze/bra 02D\r\n"), std::string::npos);
}

TEST(EntryList, EveryKindOfLineEndSeparatesEntries) {
  EntryList list;
  ASSERT_EQ(list.LoadBytes("cat ka/t 00\rdog do/g 00\ncab ka/b 00\r\n\r\r\nzebra zi~/bru 02D"), 4u);
  // The blank lines between are kept too.
  EXPECT_EQ(list.Serialize(),
            "cat ka/t 00\r\ndog do/g 00\r\ncab ka/b 00\r\n\r\n\r\nzebra zi~/bru 02D\r\n");
}

TEST(EntryList, LongLinesAndFieldsAreKeptWhole) {
  std::string word(200, 'w'), phonetic(500, 'a'), code = "02Cxyz123";
  std::string line = word + " " + phonetic + " " + code + "\r\n";
  EntryList list;
  ASSERT_EQ(list.LoadBytes(line + "next ne/kst 00\r\n"), 2u);
  EXPECT_EQ(list.begin()->word, word);
  EXPECT_EQ(list.begin()->phonetic, phonetic);
  EXPECT_EQ(list.begin()->code, code);
  EXPECT_EQ(list.Serialize(), line + "next ne/kst 00\r\n");
}

TEST(EntryList, AddStoresLowerCaseAndRewritesOnlyWhatChanged) {
  EntryList list;
  EXPECT_EQ(list.Add({"Quellmar", "kwe/lmar", "02"}), EntryList::AddResult::kAdded);
  EXPECT_EQ(list.begin()->word, "quellmar");
  EXPECT_EQ(list.Add({"QUELLMAR", "kwe/lmar", "02"}), EntryList::AddResult::kUnchanged);
  EXPECT_EQ(list.Add({"quellmar", "kwe/lmar", "00"}), EntryList::AddResult::kUpdated);
  EXPECT_EQ(list.begin()->code, "00");
  EXPECT_EQ(list.Add({"quellmar", "kwel/mar", "00"}), EntryList::AddResult::kUpdated);
  EXPECT_EQ(list.begin()->phonetic, "kwel/mar");
  EXPECT_EQ(list.size(), 1u);
  // What the source list could not keep apart is refused.
  EXPECT_EQ(list.Add({"new york", "n~u~ yo|k", "02C"}), EntryList::AddResult::kRejected);
  EXPECT_EQ(list.Add({"", "a", "00"}), EntryList::AddResult::kRejected);
  EXPECT_EQ(list.Add({"word", "", "00"}), EntryList::AddResult::kRejected);
  EXPECT_EQ(list.size(), 1u);
}

TEST(EntryList, WordsWithCapitalsFromTheFileAreNeverFound) {
  EntryList list;
  ASSERT_EQ(list.LoadBytes("Boston bo/stn 02C\r\n"), 1u);
  EXPECT_EQ(list.Find("Boston").node, nullptr);
  EXPECT_EQ(list.Find("boston").node, nullptr);
  list.Remove(list.Find("Boston"));
  EXPECT_EQ(list.size(), 1u);
  // Adding the word makes a second, lower-case entry beside it.
  EXPECT_EQ(list.Add({"Boston", "bo/stn", "02C"}), EntryList::AddResult::kAdded);
  EXPECT_EQ(Words(list), (std::vector<std::string>{"Boston", "boston"}));
  EXPECT_EQ(list.Find("BOSTON").node->entry.word, "boston");
}

TEST(EntryList, WordsWithoutALetterSlotAreKeptAndFound) {
  EntryList list;
  for (const char* w : {"zulu", "3d", "'tis", "apple", "\xe9t\xe9", "{x", "mango", "-x"}) {
    ASSERT_EQ(list.Add({w, "a", "00"}), EntryList::AddResult::kAdded) << w;
  }
  EXPECT_EQ(Words(list), (std::vector<std::string>{"'tis", "-x", "3d", "apple", "mango", "zulu",
                                                   "{x", "\xe9t\xe9"}));
  for (const DictionaryEntry& e : list) {
    EntryList::Position p = list.Find(e.word);
    ASSERT_NE(p.node, nullptr) << e.word;
    EXPECT_EQ(p.node->entry.word, e.word);
  }
  // \xe9 has the low seven bits of 'i', but no slot.
  EXPECT_EQ(LetterSlot("\xe9t\xe9"), -1);
  EXPECT_EQ(list.SlotEntry('i' - 'a'), nullptr);
  list.Remove(list.Find("3d"));
  list.Remove(list.Find("'tis"));
  list.Remove(list.Find("\xe9t\xe9"));
  EXPECT_EQ(Words(list), (std::vector<std::string>{"-x", "apple", "mango", "zulu", "{x"}));
  EXPECT_EQ(list.SlotEntry(0)->entry.word, "apple");
}

// Random adds, finds and removes against a plain sorted map: the list stays
// in order, every letter slot holds its letter's first entry, and find gives
// the right entry and predecessor.
TEST(EntryList, BehavesLikeASortedMap) {
  struct Less {
    bool operator()(const std::string& a, const std::string& b) const {
      return CompareWords(a, b) < 0;
    }
  };
  std::mt19937 rng(20261209);
  const std::string alphabet = "abcdezyxAZ09'-\xe9";
  auto random_word = [&] {
    std::string w;
    size_t len = 1 + rng() % 4;
    for (size_t k = 0; k < len; ++k) w.push_back(alphabet[rng() % alphabet.size()]);
    return w;
  };
  EntryList list;
  std::map<std::string, std::pair<std::string, std::string>, Less> model;
  for (int op = 0; op < 6000; ++op) {
    std::string w = random_word();
    std::string lower = LowerCase(w);
    switch (rng() % 3) {
      case 0: {
        std::string ph = std::string(1, "aeiou"[rng() % 5]), code = (rng() % 2) ? "00" : "10";
        auto expected = !model.count(lower) ? EntryList::AddResult::kAdded
                        : model[lower] == std::make_pair(ph, code)
                            ? EntryList::AddResult::kUnchanged
                            : EntryList::AddResult::kUpdated;
        ASSERT_EQ(list.Add({w, ph, code}), expected) << w;
        model[lower] = {ph, code};
        break;
      }
      case 1: {
        EntryList::Position p = list.Find(w);
        auto it = model.find(lower);
        ASSERT_EQ(p.node != nullptr, it != model.end()) << w;
        if (p.node != nullptr) {
          EXPECT_EQ(p.node->entry.phonetic, it->second.first);
          if (it == model.begin()) {
            EXPECT_EQ(p.previous, nullptr);
          } else {
            ASSERT_NE(p.previous, nullptr);
            EXPECT_EQ(p.previous->entry.word, std::prev(it)->first);
          }
        }
        break;
      }
      case 2: {
        EntryList::Position p = list.Find(w);
        list.Remove(p);
        model.erase(lower);
        break;
      }
    }
    ASSERT_EQ(list.size(), model.size());
    if (op % 50 == 0 || op == 5999) {
      std::vector<std::string> expected;
      for (const auto& [k, v] : model) expected.push_back(k);
      ASSERT_EQ(Words(list), expected);
      for (int s = 0; s < 26; ++s) {
        const EntryList::Node* first = nullptr;
        for (auto it = list.begin(); it != list.end(); ++it) {
          if (LetterSlot(it->word) == s) {
            first = list.SlotEntry(s);
            ASSERT_NE(first, nullptr) << "slot " << s;
            EXPECT_EQ(&first->entry, &*it) << "slot " << s;
            break;
          }
        }
        if (first == nullptr) {
          EXPECT_EQ(list.SlotEntry(s), nullptr) << "slot " << s;
        }
      }
    }
  }
}

// A hand-made list in no particular order: every word is still found, and
// added words do not duplicate existing ones.
TEST(EntryList, UnorderedHandMadeListStaysUsable) {
  EntryList list;
  ASSERT_EQ(
      list.LoadBytes("zoo zu~ 00\r\napple a/pl 00\r\nbanana bana/na 00\r\nabacus a/bakus 00\r\n"),
      4u);
  for (const char* w : {"zoo", "apple", "banana", "abacus"})
    EXPECT_NE(list.Find(w).node, nullptr) << w;
  EXPECT_EQ(list.Add({"abacus", "a/bakus", "00"}), EntryList::AddResult::kUnchanged);
  EXPECT_EQ(list.Add({"aardvark", "a|dva|k", "00"}), EntryList::AddResult::kAdded);
  EXPECT_EQ(list.size(), 5u);
  list.Remove(list.Find("apple"));
  EXPECT_EQ(list.Find("apple").node, nullptr);
  EXPECT_NE(list.Find("abacus").node, nullptr);
  EXPECT_NE(list.Find("aardvark").node, nullptr);
  EXPECT_EQ(list.size(), 4u);
}

}  // namespace
}  // namespace Quellmar::dictionary
