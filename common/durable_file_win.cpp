// The durable file operations on Windows: FlushFileBuffers for the file's
// bytes, MOVEFILE_WRITE_THROUGH for the rename, and reads that share read,
// write and delete access so that a reader never stands in a writer's way.
#include <windows.h>

#include <algorithm>
#include <new>
#include <string>

#include "common/durable_file.h"
#include "common/win_handles.h"

namespace Quellmar {
namespace {

// A rename onto a file that any program holds open fails on Windows, even
// when the holder shares delete access; readers of these files hold them
// for a moment only, so the rename is tried again for at most this long.
constexpr DWORD kRenameRetryMs = 1000;
constexpr DWORD kRenameRetryStepMs = 20;
constexpr DWORD kChunkBytes = 1u << 20;
// Not in every SDK's headers.
constexpr DWORD kErrorDiskQuotaExceeded = 1295;

thread_local DWORD g_last_error = 0;

FileError FromWin32(DWORD e) {
  g_last_error = e;
  switch (e) {
    case ERROR_FILE_NOT_FOUND:
    case ERROR_PATH_NOT_FOUND:
    case ERROR_INVALID_DRIVE:
    case ERROR_BAD_NETPATH:
    case ERROR_BAD_NET_NAME:
    case ERROR_INVALID_NAME:
      return FileError::kNotFound;
    case ERROR_FILE_EXISTS:
    case ERROR_ALREADY_EXISTS:
      return FileError::kExists;
    case ERROR_SHARING_VIOLATION:
    case ERROR_LOCK_VIOLATION:
    case ERROR_USER_MAPPED_FILE:
      return FileError::kInUse;
    case ERROR_DISK_FULL:
    case ERROR_HANDLE_DISK_FULL:
    case kErrorDiskQuotaExceeded:
      return FileError::kDiskFull;
    case ERROR_ACCESS_DENIED:
    case ERROR_WRITE_PROTECT:
      return FileError::kNoAccess;
    case ERROR_FILE_TOO_LARGE:
      return FileError::kTooLarge;
    default:
      return FileError::kOther;
  }
}

// Access denied on a rename means a read-only target or folder, or a target
// some program has open: only an open that shares nothing tells them apart.
FileError WhyRenameWasDenied(const FilePath& to) {
  const DWORD attributes = GetFileAttributesW(to.c_str());
  if (attributes == INVALID_FILE_ATTRIBUTES) return FileError::kNoAccess;
  if (attributes & (FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_DIRECTORY))
    return FileError::kNoAccess;
  unique_file probe(CreateFileW(to.c_str(), DELETE, 0, nullptr, OPEN_EXISTING, 0, nullptr));
  if (probe) return FileError::kNoAccess;
  return GetLastError() == ERROR_SHARING_VIOLATION ? FileError::kInUse : FileError::kNoAccess;
}

class WindowsFiles : public FileSystem {
 public:
  FileError Read(const FilePath& path, std::string& bytes, uint64_t limit) override {
    bytes.clear();
    unique_file f(CreateFileW(path.c_str(), GENERIC_READ,
                              FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                              OPEN_EXISTING, FILE_FLAG_SEQUENTIAL_SCAN, nullptr));
    if (!f) return FromWin32(GetLastError());
    LARGE_INTEGER size{};
    if (!GetFileSizeEx(f.get(), &size)) return FromWin32(GetLastError());
    if (static_cast<uint64_t>(size.QuadPart) > limit ||
        static_cast<uint64_t>(size.QuadPart) > bytes.max_size())
      return FileError::kTooLarge;
    try {
      bytes.resize(static_cast<size_t>(size.QuadPart));
    } catch (const std::bad_alloc&) {
      return FileError::kTooLarge;
    }
    size_t done = 0;
    while (done < bytes.size()) {
      DWORD got = 0;
      const DWORD want = static_cast<DWORD>(std::min<size_t>(bytes.size() - done, kChunkBytes));
      if (!ReadFile(f.get(), bytes.data() + done, want, &got, nullptr)) {
        bytes.clear();
        return FromWin32(GetLastError());
      }
      if (got == 0) break;  // shortened meanwhile by a writer
      done += got;
    }
    bytes.resize(done);
    return FileError::kNone;
  }

  FileError Write(const FilePath& path, std::string_view bytes, bool exclusive) override {
    unique_file f(CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr,
                              exclusive ? CREATE_NEW : CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL,
                              nullptr));
    if (!f) return FromWin32(GetLastError());
    FileError result = FileError::kNone;
    size_t done = 0;
    while (done < bytes.size() && result == FileError::kNone) {
      DWORD wrote = 0;
      const DWORD want = static_cast<DWORD>(std::min<size_t>(bytes.size() - done, kChunkBytes));
      if (!WriteFile(f.get(), bytes.data() + done, want, &wrote, nullptr)) {
        result = FromWin32(GetLastError());
      } else if (wrote == 0) {
        result = FileError::kDiskFull;
      } else {
        done += wrote;
      }
    }
    if (result == FileError::kNone && !FlushFileBuffers(f.get()))
      result = FromWin32(GetLastError());
    f.reset();
    if (result != FileError::kNone) DeleteFileW(path.c_str());
    return result;
  }

  FileError Rename(const FilePath& from, const FilePath& to) override {
    // A read-only file is not replaced: Windows refuses it, and so must
    // every platform this runs on (Wine would not).
    const DWORD attributes = GetFileAttributesW(to.c_str());
    if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_READONLY))
      return FromWin32(ERROR_ACCESS_DENIED);
    // A hidden or system file stays so.
    if (attributes != INVALID_FILE_ATTRIBUTES) SetFileAttributesW(from.c_str(), attributes);
    for (DWORD waited = 0;; waited += kRenameRetryStepMs) {
      if (MoveFileExW(from.c_str(), to.c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH))
        return FileError::kNone;
      const DWORD e = GetLastError();
      FileError error = e == ERROR_ACCESS_DENIED ? WhyRenameWasDenied(to) : FromWin32(e);
      if (error != FileError::kInUse || waited >= kRenameRetryMs) return error;
      Sleep(kRenameRetryStepMs);
    }
  }

  FileError Remove(const FilePath& path) override {
    if (DeleteFileW(path.c_str())) return FileError::kNone;
    return FromWin32(GetLastError());
  }
};

}  // namespace

FilePath PendingName(const FilePath& path) {
  FilePath pending = path;
  pending += L"." + std::to_wstring(GetCurrentProcessId()) + L".new";
  return pending;
}

unsigned long LastSystemError() { return g_last_error; }

FilePath NarrowPath(std::string_view path) {
  if (path.empty()) return FilePath();
  const int n =
      MultiByteToWideChar(CP_ACP, 0, path.data(), static_cast<int>(path.size()), nullptr, 0);
  std::wstring wide(static_cast<size_t>(n > 0 ? n : 0), L'\0');
  if (n > 0) {
    MultiByteToWideChar(CP_ACP, 0, path.data(), static_cast<int>(path.size()), wide.data(), n);
  }
  return FilePath(wide);
}

FileSystem& LocalFiles() {
  static WindowsFiles files;
  return files;
}

}  // namespace Quellmar
