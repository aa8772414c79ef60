#include <algorithm>

#include "common/file_replace.h"
#include "common/win_handles.h"

namespace Quellmar {

FileRead ReadFileBytes(const std::wstring& path, size_t limit, std::string& bytes, DWORD& error) {
  bytes.clear();
  unique_file file(CreateFileW(path.c_str(), GENERIC_READ,
                               FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                               OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
  if (!file) {
    error = GetLastError();
    return error == ERROR_FILE_NOT_FOUND ? FileRead::kMissing : FileRead::kFailed;
  }
  LARGE_INTEGER size{};
  if (!GetFileSizeEx(file.get(), &size)) {
    error = GetLastError();
    return FileRead::kFailed;
  }
  if (size.QuadPart < 0 || static_cast<unsigned long long>(size.QuadPart) > limit) {
    error = ERROR_FILE_TOO_LARGE;
    return FileRead::kFailed;
  }
  bytes.resize(static_cast<size_t>(size.QuadPart));
  size_t done = 0;
  while (done < bytes.size()) {
    DWORD got = 0;
    const DWORD want = static_cast<DWORD>(std::min<size_t>(bytes.size() - done, 1u << 20));
    if (!ReadFile(file.get(), bytes.data() + done, want, &got, nullptr)) {
      error = GetLastError();
      return FileRead::kFailed;
    }
    if (got == 0) break;  // it shrank meanwhile
    done += got;
  }
  bytes.resize(done);
  return FileRead::kRead;
}

bool ReplaceFileBytes(const std::wstring& path, std::string_view bytes, DWORD& error) {
  // A name of this process's own, so that two writers never share one.
  const std::wstring fresh = path + L"." + std::to_wstring(GetCurrentProcessId()) + L".new";
  const DWORD old_attributes = GetFileAttributesW(path.c_str());
  if (old_attributes != INVALID_FILE_ATTRIBUTES && (old_attributes & FILE_ATTRIBUTE_READONLY)) {
    error = ERROR_ACCESS_DENIED;
    return false;
  }
  bool ok = true;
  {
    unique_file file(CreateFileW(fresh.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                                 FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file) {
      error = GetLastError();
      return false;
    }
    size_t done = 0;
    while (ok && done < bytes.size()) {
      DWORD put = 0;
      const DWORD want = static_cast<DWORD>(std::min<size_t>(bytes.size() - done, 1u << 20));
      ok = WriteFile(file.get(), bytes.data() + done, want, &put, nullptr) && put > 0;
      done += put;
    }
    ok = ok && FlushFileBuffers(file.get());
    if (!ok) error = GetLastError();
  }
  if (ok && old_attributes != INVALID_FILE_ATTRIBUTES) {
    SetFileAttributesW(fresh.c_str(), old_attributes);  // hidden or system stays so
  }
  if (ok && !MoveFileExW(fresh.c_str(), path.c_str(),
                         MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) {
    error = GetLastError();
    ok = false;
  }
  if (!ok) DeleteFileW(fresh.c_str());
  return ok;
}

}  // namespace Quellmar
