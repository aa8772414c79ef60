#include "engine_core/user_dictionary.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <map>
#include <random>
#include <set>

#include "dictionary/compiled_set.h"
#include "dictionary_editor/compiler.h"
#include "dictionary_editor/phonetic.h"
#include "engine_core/engine.h"
#include "testing/test_env.h"

namespace Quellmar::engine_core {
namespace {

namespace dict = Quellmar::dictionary;

struct Compiled {
  dict::CompiledFiles files;
  std::vector<dict::LeftOutEntry> left_out;
};

Compiled CompileList(std::string_view source) {
  Compiled c;
  EXPECT_EQ(dict::BuildDictionary(dict::ConvertSource(source).sorted, c.files, c.left_out),
            dict::kWriteOk);
  return c;
}

std::shared_ptr<const UserDictionary> Load(std::string_view source) {
  Compiled c = CompileList(source);
  return std::make_shared<const UserDictionary>(c.files.data, c.files.hash_table);
}

std::string Lookup(const UserDictionary& d, std::string_view word) {
  std::string encoded;
  return d.Find(word, encoded) ? encoded : "<none>";
}

constexpr char kWorked[] =
    "cat ka/t 00\r\ncats ka/ts 00\r\ncatnip ka/tnip 00\r\ncab ka/b 00\r\nzebra zi~/bru 00\r\n"
    "rome ro~m 02C\r\nperu peru~ 02D\r\n";

TEST(UserDictionary, FindsEveryWordOfTheCompiledList) {
  auto d = Load(kWorked);
  EXPECT_EQ(Lookup(*d, "cat"), "ka*t");
  EXPECT_EQ(Lookup(*d, "cats"), "ka*ts");
  EXPECT_EQ(Lookup(*d, "catnip"), "ka%tni/p");
  EXPECT_EQ(Lookup(*d, "cab"), "ka*b");
  EXPECT_EQ(Lookup(*d, "zebra"), "zi~%bru/");
  // The City and Country letters are not part of the transcription.
  EXPECT_EQ(Lookup(*d, "rome"), "ro~*m");
  EXPECT_EQ(Lookup(*d, "peru"), "pe%ru~/");
  // Letters in either case.
  EXPECT_EQ(Lookup(*d, "CatNip"), "ka%tni/p");
  EXPECT_EQ(Lookup(*d, "ZEBRA"), "zi~%bru/");
  for (const char* absent : {"", "c", "ca", "catn", "catnips", "zebras", "dog", "catnix", "caw"})
    EXPECT_EQ(Lookup(*d, absent), "<none>") << absent;
}

TEST(UserDictionary, DuplicatesAndLeftOutWords) {
  auto d =
      Load("cat ka/t 00\r\ncat ke/t 00\r\nzzz zi/z 00\r\nzzzebra zi~/bru 00\r\nzoo zu~ 00\r\n");
  EXPECT_EQ(Lookup(*d, "cat"), "ke*t");  // the bucket written last
  EXPECT_EQ(Lookup(*d, "zzz"), "<none>");
  EXPECT_EQ(Lookup(*d, "zzzebra"), "<none>");
  EXPECT_EQ(Lookup(*d, "zoo"), "zu~*");
}

// Random lists, with words that differ only in case or in characters the
// hash cannot tell apart, and words listed twice: every entry the compiler
// did not report is found with its own encoding, and none that it reported.
TEST(UserDictionary, TheCompilerReportsEveryEntryTheReaderCannotFind) {
  std::mt19937 rng(14);
  const std::string alphabet = "abcdefABCDEF'0123456789-.!_z\xe9";
  const char* phonetics[] = {"ka/t",   "bana/na", "pensil",  "a~me/rika",
                             "zi~bru", "o'/l",    "ju~ni/ks"};
  for (int round = 0; round < 5; ++round) {
    std::vector<std::pair<std::string, std::string>> entries;
    std::string src;
    for (int k = 0; k < 3000; ++k) {
      std::string w;
      size_t len = 1 + rng() % 8;
      for (size_t j = 0; j < len; ++j) w += alphabet[rng() % (j < 3 ? 12 : alphabet.size())];
      if (!entries.empty() && rng() % 20 == 0) w = entries[rng() % entries.size()].first;
      const char* ph = phonetics[rng() % 7];
      src += w + " " + ph + (rng() % 2 ? " 00\r\n" : " 02C\r\n");
      entries.emplace_back(w, dict::EncodePhonetic(ph));
    }
    Compiled c = CompileList(src);
    // The reader compares letters without regard to case: entries of one
    // word so compared are found as one, all but one of them reported.
    auto fold = [](std::string w) {
      for (char& ch : w) ch = (ch >= 'A' && ch <= 'Z') ? static_cast<char>(ch + 32) : ch;
      return w;
    };
    std::map<std::string, size_t> reported;
    for (const auto& e : c.left_out) ++reported[fold(e.word)];
    std::map<std::string, std::vector<std::string>> by_word;
    for (const auto& [w, enc] : entries) by_word[fold(w)].push_back(enc);
    UserDictionary d(c.files.data, c.files.hash_table);
    for (const auto& [w, encodings] : by_word) {
      const std::string found = Lookup(d, w);
      if (reported[w] == encodings.size()) {
        ASSERT_EQ(found, "<none>") << w << " was reported but is found";
      } else {
        ASSERT_EQ(reported[w], encodings.size() - 1) << w;
        ASSERT_NE(std::find(encodings.begin(), encodings.end(), found), encodings.end())
            << w << " is not found and was not reported";
      }
    }
  }
}

TEST(UserDictionary, DamagedFilesFindNothingWrong) {
  Compiled c = CompileList(kWorked);
  for (size_t cut = 0; cut < c.files.data.size(); ++cut) {
    UserDictionary d(c.files.data.substr(0, cut), c.files.hash_table);
    for (const char* w : {"cat", "cats", "catnip", "cab", "zebra", "rome"}) {
      std::string got = Lookup(d, w);
      EXPECT_TRUE(got == "<none>" || got == Lookup(*Load(kWorked), w)) << w << " cut at " << cut;
    }
  }
  UserDictionary junk("\x7c\x01\x00\x05xyz",
                      "x\r\ny\r\n-5 3\r\n24915 999999\r\n99999999999 0\r\n24915\r\n");
  EXPECT_EQ(junk.Slots(), 0u);
  EXPECT_EQ(Lookup(junk, "cats"), "<none>");
}

TEST(UserDictionaryCache, ReadsTheSetAgainOnlyWhenItIsWhole) {
  namespace fs = std::filesystem;
  Quellmar::testing::TempDir dir("udc");
  auto commit = [&](std::string_view source) {
    ASSERT_TRUE(
        dict::CommitCompiledSet(LocalFiles(), dir.path(), CompileList(source).files).committed);
  };
  UserDictionaryCache cache;
  // The folder as quellmar.ini may name it: without its closing separator,
  // and with it.
  const fs::path bare = dir.path(), closed = dir.path() / "";
  EXPECT_EQ(cache.Get(bare), nullptr);
  commit(kWorked);
  auto first = cache.Get(bare);
  ASSERT_NE(first, nullptr);
  EXPECT_EQ(cache.Get(bare), first);
  EXPECT_EQ(Lookup(*cache.Get(closed), "cat"), "ka*t");

  commit("cat ke/t 00\r\n");
  auto second = cache.Get(bare);
  ASSERT_NE(second, nullptr);
  EXPECT_EQ(Lookup(*second, "cat"), "ke*t");
  EXPECT_EQ(Lookup(*first, "cat"), "ka*t");  // a synthesis holding the old one keeps it

  // An index whose set is not whole (its table lost): the set read before
  // stays in use, and so it does until a whole one is there.
  commit("cat ko/t 00\r\n");
  fs::remove(dir.path() / "userhash.tab.3");
  fs::remove(dir.path() / "userhash.tab");
  EXPECT_EQ(cache.Get(bare), second);
  EXPECT_EQ(cache.Get(bare), second);
  commit("cat ku/t 00\r\n");
  EXPECT_EQ(Lookup(*cache.Get(bare), "cat"), "ku*t");

  // A dictionary compiled before there was an index: its plain files, read
  // again when they change; and no dictionary once they are gone.
  Quellmar::testing::TempDir old("udc");
  auto write_plain = [&](std::string_view source) {
    Compiled c = CompileList(source);
    LocalFiles().Write(old.path() / "lexmere.fle", c.files.data, false);
    LocalFiles().Write(old.path() / "userhash.tab", c.files.hash_table, false);
  };
  write_plain(kWorked);
  ASSERT_NE(cache.Get(old.path()), nullptr);
  EXPECT_EQ(Lookup(*cache.Get(old.path()), "cat"), "ka*t");
  write_plain("cat ke/t 00\r\n");
  EXPECT_EQ(Lookup(*cache.Get(old.path()), "cat"), "ke*t");
  fs::remove(old.path() / "userhash.tab");
  EXPECT_EQ(cache.Get(old.path()), nullptr);
}

TEST(UserDictionaryText, WordsTheDictionaryKnowsAreTakenAsWritten) {
  std::string long_word(40, 'q');
  auto d =
      Load("zorblax zo|/blaks 00\r\ndr do/k 00\r\n" + long_word + " ku~ 00\r\nkm kla/m 00\r\n");
  auto words = [&](std::string_view text) {
    std::string out;
    for (const Sentence& s : Normalize(text, false, d.get()))
      for (const Phrase& p : s.phrases)
        for (const Word& w : p.words)
          out += w.text + (w.phonetic.empty() ? "" : "=" + w.phonetic) + " ";
    return out;
  };
  EXPECT_EQ(words("Say ZORBLAX now."), "say zorblax=zo|%bla/ks now ");
  // Before abbreviations and units.
  EXPECT_EQ(words("Dr. Who"), "dr=do*k who ");
  EXPECT_EQ(words("5 km"), "five km=kla*m ");
  // Words with digits, hyphens and full stops, and a leading apostrophe.
  auto more = Load("3d di~/ 00\r\nx-ray e/ksre~ 00\r\nr2d2 a|/tu~ 00\r\n'tis ti/z 00\r\n");
  auto words2 = [&](std::string_view text) {
    std::string out;
    for (const Sentence& s : Normalize(text, false, more.get()))
      for (const Phrase& p : s.phrases)
        for (const Word& w : p.words)
          out += w.text + (w.phonetic.empty() ? "" : "=" + w.phonetic) + " ";
    return out;
  };
  EXPECT_EQ(words2("A 3D X-ray of R2D2. 'Tis 3"),
            "a 3d=di~* x-ray=e%ksre~/ of r2d2=a|%tu~/ 'tis=ti*z three ");
  EXPECT_EQ(words2("x-rays 33d"), "x rays thirty three d ");
  // Whole, however long.
  EXPECT_EQ(words(long_word), long_word + "=ku~* ");
  // Without the dictionary, the core's own rules.
  std::string plain;
  for (const Sentence& s : Normalize("Dr. zorblax", false))
    for (const Phrase& p : s.phrases)
      for (const Word& w : p.words) plain += w.text + (w.phonetic.empty() ? " " : "=? ");
  EXPECT_EQ(plain, "doctor zorblax ");
}

TEST(UserDictionaryText, DictionaryWordSoundsLikeItsTranscription) {
  auto d = Load("zorblax zo|/blaks 00\r\n");
  Pauses pauses;
  auto own = SynthesizeAll("Zorblax.", pauses, false);
  auto user = SynthesizeAll("Zorblax.", pauses, false, d);
  auto phonetic = SpeakPhones(DecodePhonetic(dict::EncodePhonetic("zo|/blaks")));
  ASSERT_FALSE(phonetic.empty());
  EXPECT_NE(user, own);
  // The word as the editor's phonetic entry points say it, then the
  // sentence's pause.
  ASSERT_GE(user.size(), phonetic.size());
  EXPECT_TRUE(std::equal(phonetic.begin(), phonetic.end(), user.begin()));
  EXPECT_EQ(user.size() - phonetic.size(),
            own.size() - SpeakPhones(LetterToSound("zorblax")).size());
}

}  // namespace
}  // namespace Quellmar::engine_core
