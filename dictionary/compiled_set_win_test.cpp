// The set's replacement against the platform's own rules: a rename onto a
// file another program holds open fails, a file opened with delete sharing
// can be removed while it is read.
#include <gtest/gtest.h>
#include <windows.h>

#include "common/win_handles.h"
#include "dictionary/compiled_set.h"
#include "testing/test_env.h"

namespace Quellmar::dictionary {
namespace {

unique_file Hold(const FilePath& path, DWORD share) {
  return unique_file(
      CreateFileW(path.c_str(), GENERIC_READ, share, nullptr, OPEN_EXISTING, 0, nullptr));
}

TEST(CompiledSetWin, HeldFilesStopOnlyWhatTheyMust) {
  const CompiledFiles old_set{"old data", "old table", "old ranges"};
  const CompiledFiles new_set{"new data", "new table", "new ranges"};
  struct Row {
    const char* held;
    DWORD share;
    bool committed;
    const char* failed;  // the file named, "" for none
  };
  const Row rows[] = {
      // A reader of the set, as the engine core reads it: no one waits.
      {"lexmere.fle.1", FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, true, ""},
      // A program that knows only the plain names, holding one: the set is
      // in use, and its copy for such programs is said not to be.
      {"lexmere.fle", FILE_SHARE_READ, true, "lexmere.fle"},
      // The index itself held: no switch, the old set stays, and why is said.
      {"userdict.idx", FILE_SHARE_READ, false, "userdict.idx"},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.held);
    Quellmar::testing::TempDir dir("setwin");
    ASSERT_TRUE(CommitCompiledSet(LocalFiles(), dir.path(), old_set).committed);
    unique_file held = Hold(dir.path() / row.held, row.share);
    ASSERT_TRUE(held);
    const CommitResult r = CommitCompiledSet(LocalFiles(), dir.path(), new_set);
    EXPECT_EQ(r.committed, row.committed);
    EXPECT_EQ(r.file, row.failed);
    EXPECT_EQ(r.error, *row.failed ? FileError::kInUse : FileError::kNone);
    EXPECT_TRUE(ReadCompiledSet(LocalFiles(), dir.path()).files ==
                (row.committed ? new_set : old_set));
    held.reset();
    // The next compile mends what the held file stood in the way of.
    ASSERT_EQ(CommitCompiledSet(LocalFiles(), dir.path(), new_set).error, FileError::kNone);
    std::string plain;
    LocalFiles().Read(dir.path() / "lexmere.fle", plain, kCompiledFileLimit);
    EXPECT_EQ(plain, new_set.data);
  }
}

}  // namespace
}  // namespace Quellmar::dictionary
