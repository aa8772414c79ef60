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
// be read twice, the file opened twice (the loser's handle is closed).
std::atomic<int> g_enabled{-1};
// The live log, open for appending for the rest of the process (never closed:
// process exit closes it, so the last lines of a crash are on disk).
std::atomic<HANDLE> g_file{INVALID_HANDLE_VALUE};
std::atomic<DWORD> g_next_open_attempt{0};
std::once_flag g_tag_once;
char g_tag[kTagBytes];

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

// Rotation renames the live log over the old generation in one step. Every
// process holds the log without delete sharing, so the rename fails while any
// other process has it open: a long-lived process (the worker, a screen
// reader) never has its file renamed away from under it, and a failed rename
// leaves the old generation where it was. The caller then appends to the live
// file as it stands.
void RotateIfFull(const wchar_t* live) {
  WIN32_FILE_ATTRIBUTE_DATA info;
  if (!GetFileAttributesExW(live, GetFileExInfoStandard, &info)) return;
  if (info.nFileSizeHigh == 0 && info.nFileSizeLow < kLogRotateBytes) return;
  wchar_t rotated[kLogPathChars];
  if (!BuildLogPath(kLogSuffixRotated, rotated, kLogPathChars)) return;
  MoveFileExW(live, rotated, MOVEFILE_REPLACE_EXISTING);
}

// Opens the live log, at most once every kLogRetryMs. Returns the open file or
// INVALID_HANDLE_VALUE.
HANDLE OpenLog() {
  DWORD now = GetTickCount();
  DWORD next = g_next_open_attempt.load(std::memory_order_relaxed);
  if (next != 0 && now < next) return INVALID_HANDLE_VALUE;
  g_next_open_attempt.store(now + kLogRetryMs, std::memory_order_relaxed);

  wchar_t live[kLogPathChars];
  if (!BuildLogPath(kLogSuffixLive, live, kLogPathChars)) return INVALID_HANDLE_VALUE;
  RotateIfFull(live);
  HANDLE file = CreateFileW(live, FILE_APPEND_DATA | SYNCHRONIZE,
                            FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                            OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) return INVALID_HANDLE_VALUE;
  HANDLE expected = INVALID_HANDLE_VALUE;
  if (!g_file.compare_exchange_strong(expected, file)) {
    CloseHandle(file);  // another thread got there first
    return expected;
  }
  return file;
}

// Appends one line at the end of the file. Append-only access already makes
// Windows place each write at the end in one piece; not every implementation
// of the API does, so the seek and the write also hold a byte-range lock (on a
// byte far past any real log) that every writing process takes.
void AppendWhole(HANDLE file, const char* data, DWORD size) {
  OVERLAPPED range{};
  range.Offset = 0xFFFFFFFE;
  range.OffsetHigh = 0x7FFFFFFF;
  bool locked = LockFileEx(file, LOCKFILE_EXCLUSIVE_LOCK, 0, 1, 0, &range) != FALSE;
  LARGE_INTEGER zero{};
  SetFilePointerEx(file, zero, nullptr, FILE_END);
  DWORD done = 0;
  WriteFile(file, data, size, &done, nullptr);
  if (locked) UnlockFileEx(file, 0, 1, 0, &range);
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

  HANDLE file = g_file.load(std::memory_order_acquire);
  if (file == INVALID_HANDLE_VALUE) {
    file = OpenLog();
    if (file == INVALID_HANDLE_VALUE) return;
  }

  SYSTEMTIME t;
  GetLocalTime(&t);
  std::call_once(g_tag_once, BuildTag);

  char line[kLogLineBytes];
  int prefix = std::snprintf(line, sizeof(line), "%04d-%02d-%02d %02d:%02d:%02d.%03d [%s] ", t.wYear,
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
  AppendWhole(file, out, static_cast<DWORD>(out_len));
}

}  // namespace Quellmar
