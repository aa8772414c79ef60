// Files a user relies on (the dictionary's source list, its compiled set and
// their backups, sample recordings) are replaced the way a database commits:
// the new bytes go to a file of their own, are flushed to the disk, and take
// the old file's place in one rename that is itself written through. A
// reader, a failure or a power cut at any moment finds the old file or the
// new one, whole, never a part of either.
#pragma once

#include <cstdint>
#include <filesystem>
#include <string>
#include <string_view>

namespace Quellmar {

using FilePath = std::filesystem::path;

// What really went wrong with a file, in the words a user is told.
enum class FileError {
  kNone,
  kNotFound,  // the file or its folder does not exist
  kExists,    // an exclusive creation found the name taken
  kInUse,     // another program holds it open
  kDiskFull,
  kNoAccess,  // read-only, or not the user's to change
  kTooLarge,  // larger than the reader takes
  kOther,
};
// "is in use by another program", "the disk is full", ... (to follow a file
// name: "lexmere.fle is in use by another program").
const char* FileErrorText(FileError error);

// A path given as 8-bit text: in the ANSI code page on Windows, as the
// platform's narrow functions take it; the bytes themselves elsewhere.
FilePath NarrowPath(std::string_view path);

// The few file operations a durable replacement is made of. LocalFiles() is
// the machine's own; a test may put another in its place to fail any one
// step or look at the files between two steps.
class FileSystem {
 public:
  virtual ~FileSystem() = default;
  // The whole file. It is opened so that other programs may go on reading,
  // writing, renaming and deleting it, and held only while it is read.
  virtual FileError Read(const FilePath& path, std::string& bytes, uint64_t limit) = 0;
  // Creates the file (replacing one of that name unless `exclusive`), writes
  // the bytes and flushes them to the disk. A file that could not be
  // written whole is removed again.
  virtual FileError Write(const FilePath& path, std::string_view bytes, bool exclusive) = 0;
  // Puts `from` in the place of `to` (replacing it, and taking its
  // attributes) in one step, written through to the disk. A read-only `to`
  // is not replaced.
  virtual FileError Rename(const FilePath& from, const FilePath& to) = 0;
  // kNotFound when there is nothing to remove.
  virtual FileError Remove(const FilePath& path) = 0;
};

FileSystem& LocalFiles();

// Reads are refused beyond this size unless the caller names another limit.
inline constexpr uint64_t kDefaultReadLimit = uint64_t{512} << 20;

// The name a replacement is written under before it takes the file's place:
// one of this process's own, so that two writers never share one.
FilePath PendingName(const FilePath& path);

// The platform's own code (GetLastError, errno) for this thread's last
// failed operation of LocalFiles(), for a log line.
unsigned long LastSystemError();

// Writes the bytes under PendingName(path), flushed, then renames them over
// `path`. On failure the old file is as it was and no new one is left.
FileError ReplaceWholeFile(FileSystem& files, const FilePath& path, std::string_view bytes);
// A durable copy: `to` is replaced by the bytes of `from`.
FileError CopyFileDurably(FileSystem& files, const FilePath& from, const FilePath& to,
                          uint64_t limit = kDefaultReadLimit);

}  // namespace Quellmar
