#include "common/log.h"

#include <windows.h>

#include <atomic>
#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <cwchar>
#include <mutex>

#include "common/win_handles.h"

namespace Quellmar {
namespace {

constexpr int kBits = static_cast<int>(sizeof(void*) * 8);
constexpr std::size_t kTagBytes = 64;
constexpr std::size_t kTagNameBytes = 48;  // at most 47 used

// Process-wide state. Races on the first calls are harmless: the switch may
// be read twice.
std::atomic<int> g_enabled{-1};
std::atomic<DWORD> g_next_open_attempt{0};
std::once_flag g_tag_once;
char g_tag[kTagBytes];

// Where the log is: found on the first attempt that succeeds, then fixed.
struct LogPaths {
  wchar_t live[kLogPathChars];
  wchar_t rotated[kLogPathChars];
};
std::mutex g_paths_lock;  // held only while the paths are built
std::atomic<const LogPaths*> g_paths{nullptr};
LogPaths g_paths_storage;

void DecideSwitch() {
  int enabled = 1;
  unique_reg_key key;
  if (RegOpenKeyExW(HKEY_CURRENT_USER, kSettingsKey, 0, KEY_READ, key.put()) == ERROR_SUCCESS) {
    DWORD type = 0, value = 0, size = sizeof(value);
    if (RegQueryValueExW(key.get(), kLoggingValue, nullptr, &type, reinterpret_cast<BYTE*>(&value),
                         &size) == ERROR_SUCCESS &&
        type == REG_DWORD && size == sizeof(value)) {
      enabled = value != 0 ? 1 : 0;
    }
  }
  g_enabled.store(enabled, std::memory_order_relaxed);
}

// The executable's file name in UTF-8, cut at a character boundary so that it
// fits `out` (kTagNameBytes with the terminator).
void ExecutableNameUtf8(char* out) {
  std::memset(out, 0, kTagNameBytes);
  wchar_t path[kLogPathChars] = {};
  DWORD n = GetModuleFileNameW(nullptr, path, kLogPathChars);
  if (n == 0) return;
  path[kLogPathChars - 1] = L'\0';
  const wchar_t* name = std::wcsrchr(path, L'\\');
  name = name ? name + 1 : path;
  char utf8[kLogPathChars * 4] = {};
  int len = WideCharToMultiByte(CP_UTF8, 0, name, -1, utf8, sizeof(utf8), nullptr, nullptr);
  if (len <= 0) return;
  std::size_t used = std::strlen(utf8);
  if (used > kTagNameBytes - 1) {
    used = kTagNameBytes - 1;
    // Do not end inside a multi-byte sequence.
    while (used > 0 && (static_cast<unsigned char>(utf8[used]) & 0xC0) == 0x80) --used;
  }
  std::memcpy(out, utf8, used);
}

void BuildTag() {
  char name[kTagNameBytes];
  ExecutableNameUtf8(name);
  std::snprintf(g_tag, sizeof(g_tag), "%s/%d-bit pid %lu", name, kBits,
                static_cast<unsigned long>(GetCurrentProcessId()));
}

const LogPaths* Paths() {
  if (const LogPaths* p = g_paths.load(std::memory_order_acquire)) return p;
  std::lock_guard<std::mutex> guard(g_paths_lock);
  if (const LogPaths* p = g_paths.load(std::memory_order_acquire)) return p;
  if (!BuildLogPath(kLogSuffixLive, g_paths_storage.live, kLogPathChars) ||
      !BuildLogPath(kLogSuffixRotated, g_paths_storage.rotated, kLogPathChars)) {
    return nullptr;
  }
  g_paths.store(&g_paths_storage, std::memory_order_release);
  return &g_paths_storage;
}

// Every line opens the log by name, appends and closes it again, so that no
// process holds the file between lines: whoever finds it full renames it to
// the older generation at once, however many long-lived processes (the
// worker, a screen reader's SAPI engine) write to it, and an idle process
// never keeps a generation that is gone alive on the disk. Others may
// rename the file while a line is being written (delete sharing): that line
// then ends the older generation.
HANDLE OpenForAppend(const wchar_t* path) {
  return CreateFileW(path, FILE_APPEND_DATA | SYNCHRONIZE,
                     FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, OPEN_ALWAYS,
                     FILE_ATTRIBUTE_NORMAL, nullptr);
}

// Moves the live log over the older generation when it is full. The file is
// renamed through a handle whose size was read, so only a full log ever
// becomes the older generation: when another process has rotated first, the
// name leads to its fresh file, which stays. A rename that fails (the older
// generation held open by a program that does not share it) leaves the live
// log to grow until a later line succeeds.
void RotateIfFull(const LogPaths& paths) {
  unique_file file(CreateFileW(paths.live, DELETE | FILE_READ_ATTRIBUTES | SYNCHRONIZE,
                               FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                               OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
  LARGE_INTEGER size{};
  if (!file || !GetFileSizeEx(file.get(), &size) || size.QuadPart < kLogRotateBytes) return;
  const std::size_t name_bytes = std::wcslen(paths.rotated) * sizeof(wchar_t);
  alignas(FILE_RENAME_INFO) unsigned char
      buffer[sizeof(FILE_RENAME_INFO) + kLogPathChars * sizeof(wchar_t)] = {};
  auto* rename = reinterpret_cast<FILE_RENAME_INFO*>(buffer);
  rename->ReplaceIfExists = TRUE;
  rename->FileNameLength = static_cast<DWORD>(name_bytes);
  std::memcpy(rename->FileName, paths.rotated, name_bytes);
  SetFileInformationByHandle(file.get(), FileRenameInfo, rename, sizeof(buffer));
}

// Takes the byte-range lock every writer takes around its seek and write,
// trying for at most kLogLockWaitMs: a process stopped while it held the
// lock (suspended, or in a debugger) holds up every other writer only that
// long. Windows appends whole writes to a file opened for appending without
// any lock; the lock keeps lines whole where the platform does not.
bool LockForAppend(HANDLE file, OVERLAPPED& range) {
  range = OVERLAPPED{};
  range.Offset = kLogLockOffsetLow;
  range.OffsetHigh = kLogLockOffsetHigh;
  const DWORD start = GetTickCount();
  for (;;) {
    if (LockFileEx(file, LOCKFILE_EXCLUSIVE_LOCK | LOCKFILE_FAIL_IMMEDIATELY, 0, 1, 0, &range)) {
      return true;
    }
    const DWORD waited = GetTickCount() - start;
    if (waited >= kLogLockWaitMs) return false;
    // Another writer holds the lock for one line: try again at once, and
    // only sleep once it has taken longer than a line should.
    if (waited < 2) {
      SwitchToThread();
    } else {
      Sleep(1);
    }
  }
}

// Appends one line to the live log, rotating it first when it is full.
// False when the log could not be opened.
bool AppendLine(const LogPaths& paths, const char* data, DWORD size) {
  bool folder_made = false;
  bool rotated = false;
  for (;;) {
    unique_file file(OpenForAppend(paths.live));
    if (!file) {
      // The folder may have been removed since: made again, once.
      wchar_t again[kLogPathChars];
      if (folder_made || !BuildLogPath(kLogSuffixLive, again, kLogPathChars)) return false;
      folder_made = true;
      continue;
    }
    OVERLAPPED range;
    const bool locked = LockForAppend(file.get(), range);
    // The end is where the line goes, and how full the log is.
    LARGE_INTEGER zero{}, end{};
    if (SetFilePointerEx(file.get(), zero, &end, FILE_END) && !rotated &&
        end.QuadPart >= kLogRotateBytes) {
      if (locked) UnlockFileEx(file.get(), 0, 1, 0, &range);
      file.reset();
      RotateIfFull(paths);
      rotated = true;
      continue;  // to the fresh live file
    }
    DWORD done = 0;
    WriteFile(file.get(), data, size, &done, nullptr);
    if (locked) UnlockFileEx(file.get(), 0, 1, 0, &range);
    return true;
  }
}

}  // namespace

bool BuildLogPath(const wchar_t* suffix, wchar_t* out, std::size_t out_chars) {
  wchar_t base[kLogPathChars];
  DWORD n = GetEnvironmentVariableW(L"LOCALAPPDATA", base, kLogPathChars);
  wchar_t folder[kLogPathChars];
  int written;
  if (n > 0 && n < kLogPathChars) {
    written = _snwprintf(folder, kLogPathChars, L"%ls\\%ls", base, kLogFolderName);
  } else {
    // The temporary folder already ends in a backslash.
    n = GetTempPathW(kLogPathChars, base);
    if (n == 0 || n >= kLogPathChars) return false;
    written = _snwprintf(folder, kLogPathChars, L"%ls%ls", base, kLogFolderName);
  }
  if (written < 0 || static_cast<std::size_t>(written) >= kLogPathChars) return false;
  CreateDirectoryW(folder, nullptr);
  written = _snwprintf(out, out_chars, L"%ls\\quellmar%ls.log", folder, suffix);
  return written >= 0 && static_cast<std::size_t>(written) < out_chars;
}

void Log(const char* format, ...) {
  if (g_enabled.load(std::memory_order_relaxed) == -1) DecideSwitch();
  if (g_enabled.load(std::memory_order_relaxed) != 1) return;

  // After a failure the log is not tried again for kLogRetryMs.
  const DWORD now = GetTickCount();
  const DWORD next = g_next_open_attempt.load(std::memory_order_relaxed);
  if (next != 0 && static_cast<int32_t>(now - next) < 0) return;
  const LogPaths* paths = Paths();
  if (!paths) {
    g_next_open_attempt.store(now + kLogRetryMs, std::memory_order_relaxed);
    return;
  }

  SYSTEMTIME t;
  GetLocalTime(&t);
  std::call_once(g_tag_once, BuildTag);

  char line[kLogLineBytes];
  int prefix =
      std::snprintf(line, sizeof(line), "%04d-%02d-%02d %02d:%02d:%02d.%03d [%s] ", t.wYear,
                    t.wMonth, t.wDay, t.wHour, t.wMinute, t.wSecond, t.wMilliseconds, g_tag);
  if (prefix < 0) return;
  std::size_t len = static_cast<std::size_t>(prefix);
  if (len >= sizeof(line)) len = sizeof(line) - 1;

  std::size_t room = sizeof(line) - len;
  va_list args;
  va_start(args, format);
  int message = std::vsnprintf(line + len, room, format, args);
  va_end(args);
  // An error, a message that did not fit, or an empty one: the prefix alone.
  if (message > 0 && static_cast<std::size_t>(message) < room) {
    len += static_cast<std::size_t>(message);
  }
  line[len] = '\0';
  if (len < sizeof(line) - 1) line[len++] = '\n';

  // The file is text: every line feed is stored as CR LF. One write per line
  // keeps lines of different threads and processes whole.
  char out[kLogLineBytes * 2];
  std::size_t out_len = 0;
  for (std::size_t i = 0; i < len; ++i) {
    if (line[i] == '\n') out[out_len++] = '\r';
    out[out_len++] = line[i];
  }
  if (!AppendLine(*paths, out, static_cast<DWORD>(out_len))) {
    g_next_open_attempt.store(now + kLogRetryMs, std::memory_order_relaxed);
  } else {
    g_next_open_attempt.store(0, std::memory_order_relaxed);
  }
}

}  // namespace Quellmar
