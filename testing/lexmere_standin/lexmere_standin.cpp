// Stands in for the dictionary editor in the configuration utility's tests:
// installed as engine\Lexmere\Lexmere.exe, it records how it was started
// (working folder and command line) by appending a line to the file named
// by QM_LEXMERE_RECORD, and exits.
#include <windows.h>

#include <string>

int WINAPI wWinMain(HINSTANCE, HINSTANCE, PWSTR, int) {
  wchar_t record[MAX_PATH] = {};
  if (GetEnvironmentVariableW(L"QM_LEXMERE_RECORD", record, MAX_PATH) == 0) return 1;
  wchar_t folder[MAX_PATH] = {};
  GetCurrentDirectoryW(MAX_PATH, folder);
  const std::wstring line =
      std::wstring(L"started cwd=") + folder + L" cmdline=" + GetCommandLineW() + L"\r\n";
  HANDLE f = CreateFileW(record, FILE_APPEND_DATA, FILE_SHARE_READ, nullptr, OPEN_ALWAYS, 0, nullptr);
  if (f == INVALID_HANDLE_VALUE) return 1;
  const int n = WideCharToMultiByte(CP_UTF8, 0, line.c_str(), static_cast<int>(line.size()),
                                    nullptr, 0, nullptr, nullptr);
  std::string bytes(n, '\0');
  WideCharToMultiByte(CP_UTF8, 0, line.c_str(), static_cast<int>(line.size()), bytes.data(), n,
                      nullptr, nullptr);
  DWORD written = 0;
  WriteFile(f, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr);
  CloseHandle(f);
  return 0;
}
