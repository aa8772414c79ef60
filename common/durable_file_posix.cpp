// The durable file operations on POSIX systems (the host build of the tools
// and tests): fsync for the file's bytes, and for the folder that holds the
// renamed name.
#include <errno.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <new>
#include <string>

#include "common/durable_file.h"

namespace Quellmar {
namespace {

thread_local int g_last_error = 0;

FileError FromErrno(int e) {
  g_last_error = e;
  switch (e) {
    case ENOENT:
    case ENOTDIR:
      return FileError::kNotFound;
    case EEXIST:
      return FileError::kExists;
    case ENOSPC:
    case EDQUOT:
      return FileError::kDiskFull;
    case EACCES:
    case EPERM:
    case EROFS:
      return FileError::kNoAccess;
    case EBUSY:
    case ETXTBSY:
      return FileError::kInUse;
    case EFBIG:
      return FileError::kTooLarge;
    default:
      return FileError::kOther;
  }
}

class Fd {
 public:
  explicit Fd(int fd) : fd_(fd) {}
  Fd(const Fd&) = delete;
  Fd& operator=(const Fd&) = delete;
  ~Fd() {
    if (fd_ >= 0) ::close(fd_);
  }
  int get() const { return fd_; }
  // close(2) reports late write errors (a full disk on some file systems).
  int Close() {
    const int rc = ::close(fd_);
    fd_ = -1;
    return rc;
  }

 private:
  int fd_;
};

// The rename of a name is durable once its folder is.
void SyncFolderOf(const FilePath& path) {
  FilePath folder = path.parent_path();
  if (folder.empty()) folder = ".";
  Fd dir(::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
  if (dir.get() >= 0) ::fsync(dir.get());
}

class PosixFiles : public FileSystem {
 public:
  FileError Read(const FilePath& path, std::string& bytes, uint64_t limit) override {
    bytes.clear();
    Fd f(::open(path.c_str(), O_RDONLY | O_CLOEXEC));
    if (f.get() < 0) return FromErrno(errno);
    struct stat st {};
    if (::fstat(f.get(), &st) != 0) return FromErrno(errno);
    if (S_ISDIR(st.st_mode)) return FileError::kOther;
    if (static_cast<uint64_t>(st.st_size) > limit) return FileError::kTooLarge;
    try {
      bytes.reserve(static_cast<size_t>(st.st_size));
      char buffer[65536];
      for (;;) {
        const ssize_t n = ::read(f.get(), buffer, sizeof buffer);
        if (n < 0) {
          if (errno == EINTR) continue;
          return FromErrno(errno);
        }
        if (n == 0) break;
        if (bytes.size() + static_cast<size_t>(n) > limit) return FileError::kTooLarge;
        bytes.append(buffer, static_cast<size_t>(n));
      }
    } catch (const std::bad_alloc&) {
      bytes.clear();
      return FileError::kTooLarge;
    }
    return FileError::kNone;
  }

  FileError Write(const FilePath& path, std::string_view bytes, bool exclusive) override {
    const int flags = O_WRONLY | O_CREAT | O_CLOEXEC | (exclusive ? O_EXCL : O_TRUNC);
    Fd f(::open(path.c_str(), flags, 0666));
    if (f.get() < 0) return FromErrno(errno);
    FileError result = FileError::kNone;
    size_t done = 0;
    while (done < bytes.size() && result == FileError::kNone) {
      const ssize_t n = ::write(f.get(), bytes.data() + done, bytes.size() - done);
      if (n < 0 && errno == EINTR) continue;
      if (n <= 0) {
        result = n < 0 ? FromErrno(errno) : FileError::kDiskFull;
      } else {
        done += static_cast<size_t>(n);
      }
    }
    if (result == FileError::kNone && ::fsync(f.get()) != 0) result = FromErrno(errno);
    if (f.Close() != 0 && result == FileError::kNone) result = FromErrno(errno);
    if (result != FileError::kNone) ::unlink(path.c_str());
    return result;
  }

  FileError Rename(const FilePath& from, const FilePath& to) override {
    // Read-only here means no write permission for anyone, as Windows'
    // attribute does: such a file is not replaced.
    struct stat st {};
    if (::stat(to.c_str(), &st) == 0) {
      if ((st.st_mode & (S_IWUSR | S_IWGRP | S_IWOTH)) == 0) return FromErrno(EACCES);
      ::chmod(from.c_str(), st.st_mode & 07777);
    }
    if (::rename(from.c_str(), to.c_str()) != 0) return FromErrno(errno);
    SyncFolderOf(to);
    return FileError::kNone;
  }

  FileError Remove(const FilePath& path) override {
    return ::unlink(path.c_str()) == 0 ? FileError::kNone : FromErrno(errno);
  }
};

}  // namespace

FilePath PendingName(const FilePath& path) {
  FilePath pending = path;
  pending += "." + std::to_string(::getpid()) + ".new";
  return pending;
}

unsigned long LastSystemError() { return static_cast<unsigned long>(g_last_error); }

FilePath NarrowPath(std::string_view path) { return FilePath(std::string(path)); }

FileSystem& LocalFiles() {
  static PosixFiles files;
  return files;
}

}  // namespace Quellmar
