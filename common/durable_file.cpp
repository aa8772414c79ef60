#include "common/durable_file.h"

namespace Quellmar {

const char* FileErrorText(FileError error) {
  switch (error) {
    case FileError::kNone:
      return "was written";
    case FileError::kNotFound:
      return "or its folder cannot be found";
    case FileError::kExists:
      return "already exists";
    case FileError::kInUse:
      return "is in use by another program";
    case FileError::kDiskFull:
      return "cannot be written: the disk is full";
    case FileError::kNoAccess:
      return "cannot be written here: access is denied";
    case FileError::kTooLarge:
      return "is too large";
    case FileError::kOther:
      break;
  }
  return "could not be read or written";
}

FileError ReplaceWholeFile(FileSystem& files, const FilePath& path, std::string_view bytes) {
  const FilePath pending = PendingName(path);
  if (FileError e = files.Write(pending, bytes, false); e != FileError::kNone) return e;
  if (FileError e = files.Rename(pending, path); e != FileError::kNone) {
    files.Remove(pending);
    return e;
  }
  return FileError::kNone;
}

FileError CopyFileDurably(FileSystem& files, const FilePath& from, const FilePath& to,
                          uint64_t limit) {
  std::string bytes;
  if (FileError e = files.Read(from, bytes, limit); e != FileError::kNone) return e;
  return ReplaceWholeFile(files, to, bytes);
}

}  // namespace Quellmar
