#include "dictionary_editor/editor_files.h"

#include <gtest/gtest.h>

#include <filesystem>

#include "dictionary/compiled_set.h"
#include "dictionary/folder.h"
#include "dictionary_editor/compiler.h"
#include "dictionary_editor/source_merge.h"
#include "testing/step_files.h"
#include "testing/test_env.h"

namespace Quellmar::dictionary {
namespace {

namespace fs = std::filesystem;
using Quellmar::testing::StepFiles;
using Quellmar::testing::TempDir;

std::string Read(const fs::path& path) {
  std::string bytes;
  LocalFiles().Read(path, bytes, kDefaultReadLimit);
  return bytes;
}
void Put(const fs::path& path, const std::string& bytes) {
  ASSERT_EQ(LocalFiles().Write(path, bytes, false), FileError::kNone) << path;
}

CompiledFiles CompiledFrom(const std::string& source) {
  CompiledFiles files;
  std::vector<LeftOutEntry> left_out;
  EXPECT_EQ(BuildDictionary(ConvertSource(source).sorted, files, left_out), kWriteOk);
  return files;
}

std::string Messages(const CollectingReporter& r) {
  std::string all;
  for (const ReportedMessage& m : r.messages) all += "[" + m.caption + "] " + m.text + "\n";
  return all;
}

// A dictionary folder and a temporary folder as quellmar.ini names them
// (the dictionary folder without its closing separator).
struct Folders {
  TempDir dir{"editor"};
  fs::path dict = dir.path() / "dict";
  fs::path temp = dir.path() / "temp";
  Folders() {
    fs::create_directories(dict);
    fs::create_directories(temp);
  }
  std::string D() const { return dict.string(); }
  std::string T() const { return (temp / "").string(); }
};

// Each row: the list the editor read, what the user did in the editor, the
// list another program wrote meanwhile, and what the merged list becomes.
TEST(SourceMerge, TheEditorsChangesAreMadeToTheNewerList) {
  struct Row {
    const char* name;
    const char* loaded;
    std::vector<std::pair<const char*, const char*>>
        edits;  // word, "phonetic code" or "" to delete
    const char* newer;
    const char* merged;
    std::vector<std::string> conflicts;
  };
  const Row rows[] = {
      {"disjoint",
       "cat ka/t 00\r\n",
       {{"dog", "do/g 02"}},
       "cat ka/t 00\r\nemu e~mu~ 00\r\n",
       "cat ka/t 00\r\ndog do/g 02\r\nemu e~mu~ 00\r\n",
       {}},
      {"deleted here, untouched there",
       "cat ka/t 00\r\ndog do/g 00\r\n",
       {{"dog", ""}},
       "#mine\r\ncat ka/t 00\r\ndog do/g 00\r\nemu e~mu~ 00\r\n",
       "#mine\r\ncat ka/t 00\r\nemu e~mu~ 00\r\n",
       {}},
      {"changed here, untouched there",
       "cat ka/t 00\r\n",
       {{"cat", "ke/t 20"}},
       "cat ka/t 00 note\r\nfig fi/g 00\r\n",
       "cat ke/t 20 note\r\nfig fi/g 00\r\n",
       {}},
      {"changed in both: the editor's kept",
       "cat ka/t 00\r\n",
       {{"cat", "ke/t 00"}},
       "cat ko/t 00\r\n",
       "cat ke/t 00\r\n",
       {"cat"}},
      {"deleted there, changed here",
       "cat ka/t 00\r\n",
       {{"cat", "ke/t 00"}},
       "fig fi/g 00\r\n",
       "cat ke/t 00\r\nfig fi/g 00\r\n",
       {"cat"}},
      {"changed there, deleted here",
       "cat ka/t 00\r\n",
       {{"cat", ""}},
       "cat ko/t 00\r\n",
       "",
       {"cat"}},
      {"added in both alike", "", {{"cat", "ka/t 00"}}, "cat ka/t 00\r\n", "cat ka/t 00\r\n", {}},
      {"nothing done here", "cat ka/t 00\r\n", {}, "dog do/g 00\r\n", "dog do/g 00\r\n", {}},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.name);
    EntryList loaded, edited, newer;
    loaded.LoadBytes(row.loaded);
    edited.LoadBytes(row.loaded);
    newer.LoadBytes(row.newer);
    for (const auto& [word, what] : row.edits) {
      if (*what == '\0') {
        edited.Remove(edited.Find(word));
      } else {
        EntryList one;
        one.LoadBytes(std::string(word) + " " + what);
        edited.Add(*one.begin());
      }
    }
    const MergeResult merge = MergeEditorChanges(loaded, edited, newer);
    EXPECT_EQ(newer.Serialize(), row.merged);
    std::vector<std::string> words;
    for (const MergeConflict& c : merge.conflicts) words.push_back(c.word);
    EXPECT_EQ(words, row.conflicts);
  }
}

// The editor closes while any one step of saving and compiling fails, with
// a file in use or a full disk: lexmere.txt is always the old list or the
// new one, whole; the engine reads the old set or the new one; and unless
// everything the user did reached both, a message names what failed (and
// where the entries were kept).
TEST(EditorClose, EveryStepOfTheCloseThatFailsIsSaidAndLosesNothing) {
  const std::string old_list = "cat ka/t 00\r\nzebra zi~/bru 00\r\n";
  const std::string new_list = "cat ka/t 00\r\ndog do/g 02\r\nzebra zi~/bru 00\r\n";
  const CompiledFiles old_set = CompiledFrom(old_list), new_set = CompiledFrom(new_list);
  auto prepare = [&](Folders& f, SourceList& list) {
    Put(f.dict / "lexmere.txt", old_list);
    CollectingReporter quiet;
    LoadSourceList(LocalFiles(), f.D(), list);
    SaveAndCompile(LocalFiles(), f.T(), f.D(), list, quiet);
    ASSERT_TRUE(quiet.messages.empty()) << Messages(quiet);
    LoadSourceList(LocalFiles(), f.D(), list);
    ASSERT_EQ(list.entries.Add({"dog", "do/g", "02"}), EntryList::AddResult::kAdded);
    list.changed = true;
  };
  int total = 0;
  {
    Folders f;
    SourceList list;
    prepare(f, list);
    StepFiles counter;
    CollectingReporter r;
    SaveAndCompile(counter, f.T(), f.D(), list, r);
    EXPECT_TRUE(r.messages.empty()) << Messages(r);
    total = counter.steps();
  }
  ASSERT_GE(total, 20);

  for (FileError error : {FileError::kInUse, FileError::kDiskFull}) {
    for (int step = 1; step <= total; ++step) {
      SCOPED_TRACE("step " + std::to_string(step) + ": " + FileErrorText(error));
      Folders f;
      SourceList list;
      prepare(f, list);
      StepFiles files;
      files.FailAt(step, error);
      files.after_step = [&](int, const std::string& what) {
        const std::string on_disk = Read(f.dict / "lexmere.txt");
        EXPECT_TRUE(on_disk == old_list || on_disk == new_list) << "after " << what;
        const CompiledFiles seen = ReadCompiledSet(LocalFiles(), f.dict).files;
        EXPECT_TRUE(seen == old_set || seen == new_set) << "after " << what;
      };
      CollectingReporter r;
      SaveAndCompile(files, f.T(), f.D(), list, r);
      const bool saved = Read(f.dict / "lexmere.txt") == new_list;
      const bool compiled = ReadCompiledSet(LocalFiles(), f.dict).files == new_set;
      if (saved && compiled) continue;  // a backup or tidying up failed: nothing is lost
      EXPECT_NE(Messages(r).find(FileErrorText(error)), std::string::npos) << Messages(r);
      if (!saved) {
        EXPECT_EQ(Read(f.temp / kUnsavedFileName), new_list);
        EXPECT_NE(Messages(r).find(kUnsavedFileName), std::string::npos);
      }
    }
  }
}

TEST(EditorClose, AListChangedMeanwhileIsNotOverwritten) {
  Folders f;
  Put(f.dict / "lexmere.txt", "cat ka/t 00\r\n");
  SourceList list;
  LoadSourceList(LocalFiles(), f.D(), list);
  list.entries.Add({"dog", "do/g", "02"});
  list.changed = true;
  const std::string theirs = "cat ka/t 00\r\nemu e~mu~ 00 from the sync tool\r\n";
  Put(f.dict / "lexmere.txt", theirs);
  CollectingReporter r;
  SaveAndCompile(LocalFiles(), f.T(), f.D(), list, r);
  EXPECT_EQ(Read(f.dict / "lexmere.txt"),
            "cat ka/t 00\r\ndog do/g 02\r\nemu e~mu~ 00 from the sync tool\r\n");
  EXPECT_EQ(Read(f.dict / "lexmere.bak"), theirs);
  ASSERT_EQ(r.messages.size(), 1u) << Messages(r);
  EXPECT_EQ(r.messages[0], (ReportedMessage{kListChangedText, kListChangedCaption}));
  EXPECT_EQ(Read(f.dict / "Backup" / "lexmere.bak"), Read(f.dict / "lexmere.txt"));
}

TEST(EditorClose, AListThatCannotBeReadIsNeverWrittenOver) {
  Folders f;
  Put(f.dict / "lexmere.txt", "keep ki~/p 00\r\n");
  StepFiles held;
  held.FailReadsOf("lexmere.txt", FileError::kInUse);
  SourceList list;
  LoadSourceList(held, f.D(), list);
  EXPECT_FALSE(list.readable);
  list.entries.Add({"newt", "nu~t", "00"});
  list.changed = true;
  CollectingReporter r;
  SaveAndCompile(held, f.T(), f.D(), list, r);
  EXPECT_EQ(Read(f.dict / "lexmere.txt"), "keep ki~/p 00\r\n");
  EXPECT_EQ(Read(f.temp / kUnsavedFileName), "newt nu~t 00\r\n");
  EXPECT_NE(Messages(r).find(std::string(kSaveFailedText) + "\n\nlexmere.txt " +
                             FileErrorText(FileError::kInUse)),
            std::string::npos)
      << Messages(r);

  // Readable again at the next close: the entries join the list there.
  CollectingReporter r2;
  SaveAndCompile(LocalFiles(), f.T(), f.D(), list, r2);
  EXPECT_EQ(Read(f.dict / "lexmere.txt"), "keep ki~/p 00\r\nnewt nu~t 00\r\n");
}

// The editor's paths are 8-bit text in the ANSI code page.
TEST(EditorClose, AFolderWithAnAccentedName) {
  Folders f;
  const std::string folder = InFolder(f.D(), "caf\xe9");
  ASSERT_TRUE(fs::create_directory(NarrowPath(folder)));
  Put(NarrowPath(InFolder(folder, "lexmere.txt")), "old o/ld 00\r\n");
  SourceList list;
  LoadSourceList(LocalFiles(), folder, list);
  ASSERT_EQ(list.entries.size(), 1u);
  list.entries.Add({"new", "nu~", "00"});
  CollectingReporter r;
  SaveAndCompile(LocalFiles(), f.T(), folder, list, r);
  EXPECT_TRUE(r.messages.empty()) << Messages(r);
  EXPECT_EQ(Read(NarrowPath(InFolder(folder, "lexmere.txt"))), "new nu~ 00\r\nold o/ld 00\r\n");
  EXPECT_EQ(ReadCompiledSet(LocalFiles(), NarrowPath(folder)).origin, SetOrigin::kGeneration);
}

}  // namespace
}  // namespace Quellmar::dictionary
