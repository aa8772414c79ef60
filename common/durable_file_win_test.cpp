// What the durable replacement says when a file cannot be replaced, and
// that the old file is then as it was.
#include <gtest/gtest.h>
#include <windows.h>

#include <thread>

#include "common/durable_file.h"
#include "common/win_handles.h"
#include "testing/test_env.h"

namespace Quellmar {
namespace {

TEST(DurableFileWin, AFileThatCannotBeReplacedStaysAsItWasAndTheCauseIsNamed) {
  struct Row {
    const char* how;
    FileError expected;
  };
  for (const Row& row : {Row{"held", FileError::kInUse}, Row{"read-only", FileError::kNoAccess},
                         Row{"no folder", FileError::kNotFound}}) {
    SCOPED_TRACE(row.how);
    Quellmar::testing::TempDir dir("durable");
    FilePath path = dir.path() / "list.txt";
    ASSERT_EQ(LocalFiles().Write(path, "old", false), FileError::kNone);
    unique_file held;
    if (std::string(row.how) == "held") {
      held.reset(CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0,
                             nullptr));
    } else if (std::string(row.how) == "read-only") {
      SetFileAttributesW(path.c_str(), FILE_ATTRIBUTE_READONLY);
    } else {
      path = dir.path() / "missing" / "list.txt";
    }
    EXPECT_EQ(ReplaceWholeFile(LocalFiles(), path, "new"), row.expected);
    held.reset();
    SetFileAttributesW(path.c_str(), FILE_ATTRIBUTE_NORMAL);
    std::string bytes;
    LocalFiles().Read(dir.path() / "list.txt", bytes, 100);
    EXPECT_EQ(bytes, "old");
    EXPECT_EQ(GetFileAttributesW(PendingName(path).c_str()), INVALID_FILE_ATTRIBUTES);
  }
}

// A reader (as LocalFiles reads) lets others delete the file meanwhile; a
// replacement waits a moment for a reader to finish.
TEST(DurableFileWin, AReaderNeverStandsInAWritersWay) {
  Quellmar::testing::TempDir dir("durable");
  const FilePath path = dir.path() / "set.idx";
  ASSERT_EQ(LocalFiles().Write(path, "old", false), FileError::kNone);
  const DWORD all = FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE;
  unique_file reading(
      CreateFileW(path.c_str(), GENERIC_READ, all, nullptr, OPEN_EXISTING, 0, nullptr));
  ASSERT_TRUE(reading);
  std::thread done([&] {
    Sleep(200);
    reading.reset();
  });
  EXPECT_EQ(ReplaceWholeFile(LocalFiles(), path, "new"), FileError::kNone);
  done.join();
  reading.reset(CreateFileW(path.c_str(), GENERIC_READ, all, nullptr, OPEN_EXISTING, 0, nullptr));
  ASSERT_TRUE(reading);
  EXPECT_EQ(LocalFiles().Remove(path), FileError::kNone);
}

}  // namespace
}  // namespace Quellmar
