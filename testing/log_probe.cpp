// Test program for the diagnostic log: runs the commands on its command line,
// in order, so that a test can drive Log in a fresh process (the log decides
// its switch and opens its file once per process).
//
//   log TEXT           one line with TEXT
//   fill-line L        one line of exactly L bytes before its line feed
//   lines N W          N lines of W bytes, each naming this process
//   set-logging V      sets the Logging switch to REG_DWORD V
//   rm PATH            deletes a file
//   sleep MS
#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "common/log.h"

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
      for (unsigned long k = 0; k < n; ++k) {
        char head[64];
        int h = snprintf(head, sizeof(head), "P%lu L%lu ", GetCurrentProcessId(), k);
        std::string msg(head, h);
        if (msg.size() < width) msg.append(width - msg.size(), 'a' + static_cast<char>(k % 26));
        Quellmar::Log("%s", msg.c_str());
      }
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
