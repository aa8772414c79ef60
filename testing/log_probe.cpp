// Test program for the diagnostic log: runs the commands on its command line,
// in order, so that a test can drive Log in a fresh process (the log decides
// its switch and opens its file once per process).
//
//   log TEXT           one line with TEXT
//   fill-line L        one line of exactly L bytes before its line feed
//   lines N W          N lines of W bytes, each naming this process
//   until PATH W       lines of W bytes, 10 ms apart, until PATH exists;
//                      then one line "last"
//   hold-lock MS EVENT takes the writers' lock on the live log as a writer
//                      does, signals the named event and keeps the lock MS
//                      (a writer stopped in the middle of its line)
//   set-logging V      sets the Logging switch to REG_DWORD V
//   rm PATH            deletes a file
//   sleep MS
#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "common/log.h"
#include "common/win_handles.h"

namespace {

std::string Narrow(const wchar_t* w) {
  std::string s;
  for (; *w; ++w) s.push_back(static_cast<char>(*w));
  return s;
}

// What Log writes before a message: "YYYY-MM-DD HH:MM:SS.mmm [" tag "] ".
size_t PrefixLength() {
  wchar_t path[MAX_PATH];
  GetModuleFileNameW(nullptr, path, MAX_PATH);
  const wchar_t* name = wcsrchr(path, L'\\');
  name = name ? name + 1 : path;
  char utf8[MAX_PATH * 4];
  WideCharToMultiByte(CP_UTF8, 0, name, -1, utf8, sizeof(utf8), nullptr, nullptr);
  size_t name_len = strlen(utf8);
  if (name_len > 47) name_len = 47;
  char rest[64];
  snprintf(rest, sizeof(rest), "/%d-bit pid %lu", static_cast<int>(sizeof(void*) * 8),
           GetCurrentProcessId());
  return 24 + 1 + name_len + strlen(rest) + 2;
}

// "P<pid> L<k> " and letters up to `width` bytes.
std::string NumberedLine(unsigned long k, size_t width) {
  char head[64];
  int h = snprintf(head, sizeof(head), "P%lu L%lu ", GetCurrentProcessId(), k);
  std::string msg(head, h);
  if (msg.size() < width) msg.append(width - msg.size(), 'a' + static_cast<char>(k % 26));
  return msg;
}

void HoldLock(DWORD ms, const wchar_t* event_name) {
  wchar_t live[Quellmar::kLogPathChars];
  if (!Quellmar::BuildLogPath(Quellmar::kLogSuffixLive, live, Quellmar::kLogPathChars)) return;
  Quellmar::unique_file file(CreateFileW(live, FILE_APPEND_DATA | SYNCHRONIZE,
                                         FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                         nullptr, OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
  OVERLAPPED range{};
  range.Offset = Quellmar::kLogLockOffsetLow;
  range.OffsetHigh = Quellmar::kLogLockOffsetHigh;
  if (!file || !LockFileEx(file.get(), LOCKFILE_EXCLUSIVE_LOCK, 0, 1, 0, &range)) return;
  Quellmar::unique_kernel_handle held(OpenEventW(EVENT_MODIFY_STATE, FALSE, event_name));
  if (held) SetEvent(held.get());
  Sleep(ms);
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
  for (int i = 1; i < argc; ++i) {
    std::wstring cmd = argv[i];
    auto arg = [&](int k) -> const wchar_t* { return i + k < argc ? argv[i + k] : L""; };
    if (cmd == L"log") {
      Quellmar::Log("%s", Narrow(arg(1)).c_str());
      i += 1;
    } else if (cmd == L"fill-line") {
      size_t total = wcstoul(arg(1), nullptr, 10);
      size_t prefix = PrefixLength();
      std::string msg(total > prefix ? total - prefix : 0, 'x');
      Quellmar::Log("%s", msg.c_str());
      i += 1;
    } else if (cmd == L"lines") {
      unsigned long n = wcstoul(arg(1), nullptr, 10);
      size_t width = wcstoul(arg(2), nullptr, 10);
      for (unsigned long k = 0; k < n; ++k) Quellmar::Log("%s", NumberedLine(k, width).c_str());
      i += 2;
    } else if (cmd == L"until") {
      size_t width = wcstoul(arg(2), nullptr, 10);
      for (unsigned long k = 0; GetFileAttributesW(arg(1)) == INVALID_FILE_ATTRIBUTES; ++k) {
        Quellmar::Log("%s", NumberedLine(k, width).c_str());
        Sleep(10);
      }
      Quellmar::Log("last");
      i += 2;
    } else if (cmd == L"hold-lock") {
      HoldLock(wcstoul(arg(1), nullptr, 10), arg(2));
      i += 2;
    } else if (cmd == L"set-logging") {
      DWORD v = wcstoul(arg(1), nullptr, 10);
      HKEY key;
      if (RegCreateKeyExW(HKEY_CURRENT_USER, Quellmar::kSettingsKey, 0, nullptr, 0, KEY_SET_VALUE,
                          nullptr, &key, nullptr) == ERROR_SUCCESS) {
        RegSetValueExW(key, Quellmar::kLoggingValue, 0, REG_DWORD,
                       reinterpret_cast<const BYTE*>(&v), sizeof(v));
        RegCloseKey(key);
      }
      i += 1;
    } else if (cmd == L"rm") {
      DeleteFileW(arg(1));
      i += 1;
    } else if (cmd == L"sleep") {
      Sleep(wcstoul(arg(1), nullptr, 10));
      i += 1;
    } else {
      fwprintf(stderr, L"log_probe: unknown command %ls\n", cmd.c_str());
      return 2;
    }
  }
  return 0;
}
