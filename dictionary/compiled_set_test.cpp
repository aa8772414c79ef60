#include "dictionary/compiled_set.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <set>

#include "dictionary/folder.h"
#include "testing/step_files.h"
#include "testing/test_env.h"

namespace Quellmar::dictionary {
namespace {

namespace fs = std::filesystem;
using Quellmar::testing::StepFiles;
using Quellmar::testing::TempDir;

CompiledFiles SetNamed(const std::string& tag, size_t length) {
  return {"data " + tag + std::string(length, 'd'), "table " + tag, "ranges " + tag};
}

std::set<std::string> FileNames(const fs::path& folder) {
  std::set<std::string> names;
  for (const auto& e : fs::directory_iterator(folder)) names.insert(e.path().filename().string());
  return names;
}

std::set<std::string> SetFiles(uint32_t generation) {
  std::set<std::string> names = {kSetIndexFileName};
  for (const char* plain : kSetFileNames) {
    names.insert(plain);
    names.insert(GenerationFileName(plain, generation));
  }
  return names;
}

TEST(SetIndex, RoundTripsAndRefusesAnythingElse) {
  const SetIndex index = IndexOf(12, {"abc", "", std::string(70000, 'x')});
  const std::string text = FormatSetIndex(index);
  EXPECT_EQ(text.substr(0, text.rfind(' ') + 1),
            "Quellmar user dictionary set 1\r\ngeneration 12\r\nlexmere.fle 3 352441c2\r\n"
            "userhash.tab 0 00000000\r\nuserhash.dvl 70000 ");
  EXPECT_EQ(ParseSetIndex(text), index);
  std::string lf = text;
  for (size_t at; (at = lf.find('\r')) != std::string::npos;) lf.erase(at, 1);
  EXPECT_EQ(ParseSetIndex(lf), index);

  const std::string bad[] = {
      "",
      text.substr(0, text.size() - 2),  // the last line end missing
      text + "\r\n",                    // a sixth line
      "x" + text,                       // another header
      "Quellmar user dictionary set 1\r\ngeneration 0\r\n" + text.substr(text.find("lexmere")),
      "Quellmar user dictionary set 1\r\ngeneration 012\r\n" + text.substr(text.find("lexmere")),
      "Quellmar user dictionary set 1\r\ngeneration 1234567890\r\n" +
          text.substr(text.find("lexmere")),
      text.substr(0, text.find("lexmere")) + "userhash.tab 3 352441c2\r\n" +
          text.substr(text.find("userhash.tab")),  // files out of order
      text.substr(0, text.find("352441c2")) + "352441C2" + text.substr(text.find("352441c2") + 8),
      text.substr(0, text.find(" 3 ")) + "  3 " + text.substr(text.find(" 3 ") + 3),
      text.substr(0, text.find(" 3 ")) + " 03 " + text.substr(text.find(" 3 ") + 3),
      text.substr(0, text.find(" 3 ")) + " -3 " + text.substr(text.find(" 3 ") + 3),
  };
  for (const std::string& t : bad) EXPECT_FALSE(ParseSetIndex(t)) << t;
  EXPECT_EQ(Crc32("123456789"), 0xCBF43926u);
}

// The heart of the matter: whichever step of a commit fails, and with
// whatever error, a reader between any two steps finds the old set or the
// new one, whole; the commit says what failed; and nothing of a failed
// commit is left behind.
TEST(CompiledSet, EveryStepThatFailsLeavesAWholeSetAndSaysWhy) {
  const CompiledFiles old_set = SetNamed("old", 100), new_set = SetNamed("new", 30);
  int total_steps = 0;
  {
    TempDir dir("set");
    ASSERT_TRUE(CommitCompiledSet(LocalFiles(), dir.path(), old_set).committed);
    StepFiles counter;
    ASSERT_EQ(CommitCompiledSet(counter, dir.path(), new_set).error, FileError::kNone);
    total_steps = counter.steps();
  }
  ASSERT_GE(total_steps, 10);

  for (FileError error : {FileError::kInUse, FileError::kDiskFull}) {
    for (int step = 1; step <= total_steps; ++step) {
      SCOPED_TRACE("step " + std::to_string(step) + " fails with " + FileErrorText(error));
      TempDir dir("set");
      ASSERT_TRUE(CommitCompiledSet(LocalFiles(), dir.path(), old_set).committed);
      StepFiles files;
      files.FailAt(step, error);
      bool switched = false;
      files.after_step = [&](int, const std::string& what) {
        const ReadSetResult seen = ReadCompiledSet(LocalFiles(), dir.path());
        ASSERT_EQ(seen.origin, SetOrigin::kGeneration) << "after " << what;
        if (seen.files == new_set) switched = true;
        EXPECT_TRUE(seen.files == (switched ? new_set : old_set)) << "after " << what;
      };
      const CommitResult r = CommitCompiledSet(files, dir.path(), new_set);
      const ReadSetResult after = ReadCompiledSet(LocalFiles(), dir.path());
      // The last steps only tidy up: their failure is no failure of the set.
      if (r.error == FileError::kNone) {
        EXPECT_TRUE(r.committed);
        EXPECT_TRUE(after.files == new_set);
        continue;
      }
      EXPECT_EQ(r.error, error);
      EXPECT_FALSE(r.file.empty());
      EXPECT_TRUE(after.files == (r.committed ? new_set : old_set));
      if (!r.committed) {
        EXPECT_EQ(FileNames(dir.path()), SetFiles(1)) << "left behind by a failed commit";
        // Readers without the index see no change either.
        CompiledFiles plain;
        for (size_t k = 0; k < kSetFileNames.size(); ++k) {
          std::string& bytes = k == 0 ? plain.data : k == 1 ? plain.hash_table : plain.ranges;
          LocalFiles().Read(dir.path() / kSetFileNames[k], bytes, kCompiledFileLimit);
        }
        EXPECT_TRUE(plain == old_set);
      }
    }
  }
}

// A power cut at any step: the set found afterwards is the old or the new
// one, and the next compile leaves only its own files.
TEST(CompiledSet, APowerCutAtAnyStepIsMendedByTheNextCompile) {
  const CompiledFiles a = SetNamed("a", 5), b = SetNamed("b", 9), c = SetNamed("c", 2);
  for (int step = 1; step <= 14; ++step) {
    SCOPED_TRACE("power cut at step " + std::to_string(step));
    TempDir dir("set");
    ASSERT_TRUE(CommitCompiledSet(LocalFiles(), dir.path(), a).committed);
    StepFiles files;
    files.CutPowerAt(step);
    CommitCompiledSet(files, dir.path(), b);
    const ReadSetResult seen = ReadCompiledSet(LocalFiles(), dir.path());
    EXPECT_TRUE(seen.files == a || seen.files == b);
    const CommitResult r = CommitCompiledSet(LocalFiles(), dir.path(), c);
    EXPECT_EQ(r.error, FileError::kNone);
    EXPECT_TRUE(ReadCompiledSet(LocalFiles(), dir.path()).files == c);
    const auto index = ParseSetIndex(ReadCompiledSet(LocalFiles(), dir.path()).index);
    ASSERT_TRUE(index);
    EXPECT_EQ(FileNames(dir.path()), SetFiles(index->generation));
    for (size_t k = 0; k < kSetFileNames.size(); ++k) {
      std::string plain;
      LocalFiles().Read(dir.path() / kSetFileNames[k], plain, kCompiledFileLimit);
      EXPECT_EQ(plain, k == 0 ? c.data : k == 1 ? c.hash_table : c.ranges);
    }
  }
}

TEST(CompiledSet, ReadersOfEveryAge) {
  TempDir dir("set");
  const fs::path& d = dir.path();
  auto put = [&](const std::string& name, const std::string& bytes) {
    ASSERT_EQ(LocalFiles().Write(d / name, bytes, false), FileError::kNone);
  };
  // Nothing compiled yet.
  ReadSetResult r = ReadCompiledSet(LocalFiles(), d);
  EXPECT_EQ(r.origin, SetOrigin::kNone);
  EXPECT_EQ(r.error, FileError::kNotFound);
  // Compiled before there was an index: the plain names (the ranges file
  // is not needed to look words up).
  put("lexmere.fle", "D");
  put("userhash.tab", "T");
  r = ReadCompiledSet(LocalFiles(), d);
  EXPECT_EQ(r.origin, SetOrigin::kPlainFiles);
  EXPECT_TRUE(r.files == (CompiledFiles{"D", "T", ""}));

  const CompiledFiles set = SetNamed("s", 3);
  ASSERT_TRUE(CommitCompiledSet(LocalFiles(), d, set).committed);
  r = ReadCompiledSet(LocalFiles(), d);
  EXPECT_EQ(r.origin, SetOrigin::kGeneration);
  EXPECT_TRUE(r.files == set);
  // The generation's files lost: their plain copies, when they match.
  for (const char* plain : kSetFileNames) fs::remove(d / GenerationFileName(plain, 1));
  EXPECT_TRUE(ReadCompiledSet(LocalFiles(), d).files == set);
  // ... and not when they do not.
  put("userhash.tab", "another table");
  r = ReadCompiledSet(LocalFiles(), d);
  EXPECT_EQ(r.origin, SetOrigin::kNone);
  EXPECT_TRUE(r.files == CompiledFiles{});
  // An index damaged by hand: the plain names, as before there was one.
  put(kSetIndexFileName, "generation 7\r\n");
  EXPECT_EQ(ReadCompiledSet(LocalFiles(), d).origin, SetOrigin::kPlainFiles);
}

TEST(DictionaryFolder, AFolderWithOrWithoutItsClosingSeparator) {
  const std::string sep(1, kFolderSeparator);
  EXPECT_EQ(InFolder(std::string("dict"), "lexmere.fle"), "dict" + sep + "lexmere.fle");
  EXPECT_EQ(InFolder(std::string("dict") + sep, "lexmere.fle"), "dict" + sep + "lexmere.fle");
  EXPECT_EQ(InFolder(std::string("dict/"), "x"), "dict/x");
  EXPECT_EQ(InFolder(std::string(), "x"), "x");
  EXPECT_EQ(InFolder(fs::path("dict"), "x"), fs::path("dict" + sep + "x"));
#ifdef _WIN32
  EXPECT_EQ(InFolder(std::string("C:\\Data\\Dict"), "x"), "C:\\Data\\Dict\\x");
  EXPECT_EQ(InFolder(fs::path(L"C:\\D\u00e9\\"), "x"), fs::path(L"C:\\D\u00e9\\x"));
#endif
}

}  // namespace
}  // namespace Quellmar::dictionary
