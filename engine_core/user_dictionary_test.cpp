#include "engine_core/user_dictionary.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <random>
#include <set>

#include "dictionary_editor/compiler.h"
#include "dictionary_editor/phonetic.h"
#include "engine_core/engine.h"

namespace Quellmar::engine_core {
namespace {

namespace dict = Quellmar::dictionary;

struct Compiled {
  dict::CompiledFiles files;
  std::vector<dict::LeftOutEntry> left_out;
};

Compiled CompileList(std::string_view source) {
  Compiled c;
  EXPECT_EQ(dict::BuildDictionary(dict::ConvertSource(source).sorted, c.files, c.left_out), dict::kWriteOk);
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
  auto d = Load("cat ka/t 00\r\ncat ke/t 00\r\nzzz zi/z 00\r\nzzzebra zi~/bru 00\r\nzoo zu~ 00\r\n");
  EXPECT_EQ(Lookup(*d, "cat"), "ke*t");  // the bucket written last
  EXPECT_EQ(Lookup(*d, "zzz"), "<none>");
  EXPECT_EQ(Lookup(*d, "zzzebra"), "<none>");
  EXPECT_EQ(Lookup(*d, "zoo"), "zu~*");
}

// Random lists of distinct words: each word is found with its own
// encoding unless the compiler reported it left out, and no other word is.
TEST(UserDictionary, CompilerAndReaderAgreeOnRandomLists) {
  std::mt19937 rng(14);
  const std::string alphabet = "abcdefghijklmnopqrstuvwxyz'0123456789-.";
  const char* phonetics[] = {"ka/t", "bana/na", "pensil", "a~me/rika", "zi~bru", "o'/l", "ju~ni/ks"};
  for (int round = 0; round < 5; ++round) {
    std::set<std::string> words;
    while (words.size() < 3000) {
      std::string w;
      size_t len = 1 + rng() % 10;
      for (size_t k = 0; k < len; ++k) w += alphabet[rng() % (k < 2 ? 6 : alphabet.size())];
      words.insert(w);
    }
    std::map<std::string, std::string> expected;
    std::string src;
    for (const std::string& w : words) {
      const char* ph = phonetics[rng() % 7];
      src += w + " " + ph + (rng() % 2 ? " 00\r\n" : " 02C\r\n");
      expected[w] = dict::EncodePhonetic(ph);
    }
    Compiled c = CompileList(src);
    std::set<std::string> left_out;
    for (const auto& e : c.left_out) left_out.insert(e.word);
    UserDictionary d(c.files.data, c.files.hash_table);
    for (const auto& [w, enc] : expected) {
      ASSERT_EQ(Lookup(d, w), left_out.count(w) ? "<none>" : enc) << w;
    }
    for (int k = 0; k < 2000; ++k) {
      std::string w;
      size_t len = 1 + rng() % 10;
      for (size_t j = 0; j < len; ++j) w += alphabet[rng() % alphabet.size()];
      if (!words.count(w)) ASSERT_EQ(Lookup(d, w), "<none>") << w;
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
  UserDictionary junk("\x7c\x01\x00\x05xyz", "x\r\ny\r\n-5 3\r\n24915 999999\r\n99999999999 0\r\n24915\r\n");
  EXPECT_EQ(junk.Slots(), 0u);
  EXPECT_EQ(Lookup(junk, "cats"), "<none>");
}

TEST(UserDictionaryCache, ReadsAgainWhenTheFilesChange) {
  namespace fs = std::filesystem;
  fs::path dir = fs::temp_directory_path() / ("qm-udc-" + std::to_string(std::random_device{}()));
  fs::create_directories(dir);
  auto write = [&](std::string_view source) {
    Compiled c = CompileList(source);
    std::ofstream(dir / "lexmere.fle", std::ios::binary) << c.files.data;
    std::ofstream(dir / "userhash.tab", std::ios::binary) << c.files.hash_table;
  };
  UserDictionaryCache cache;
  fs::path prefix = dir / "";
  EXPECT_EQ(cache.Get(prefix), nullptr);
  write(kWorked);
  auto first = cache.Get(prefix);
  ASSERT_NE(first, nullptr);
  EXPECT_EQ(cache.Get(prefix), first);
  write("cat ke/t 00\r\n");
  auto second = cache.Get(prefix);
  ASSERT_NE(second, nullptr);
  EXPECT_NE(second, first);
  EXPECT_EQ(Lookup(*second, "cat"), "ke*t");
  EXPECT_EQ(Lookup(*first, "cat"), "ka*t");  // a synthesis holding the old one keeps it
  fs::remove(dir / "userhash.tab");
  EXPECT_EQ(cache.Get(prefix), nullptr);
  fs::remove_all(dir);
}

TEST(UserDictionaryText, WordsTheDictionaryKnowsAreTakenAsWritten) {
  std::string long_word(40, 'q');
  auto d = Load("zorblax zo|/blaks 00\r\ndr do/k 00\r\n" + long_word + " ku~ 00\r\nkm kla/m 00\r\n");
  auto words = [&](std::string_view text) {
    std::string out;
    for (const Sentence& s : Normalize(text, false, d.get()))
      for (const Phrase& p : s.phrases)
        for (const Word& w : p.words) out += w.text + (w.phonetic.empty() ? "" : "=" + w.phonetic) + " ";
    return out;
  };
  EXPECT_EQ(words("Say ZORBLAX now."), "say zorblax=zo|%bla/ks now ");
  // Before abbreviations and units.
  EXPECT_EQ(words("Dr. Who"), "dr=do*k who ");
  EXPECT_EQ(words("5 km"), "five km=kla*m ");
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
  EXPECT_EQ(user.size() - phonetic.size(), own.size() - SpeakPhones(LetterToSound("zorblax")).size());
}

}  // namespace
}  // namespace Quellmar::engine_core
