// Stands in for the programs the installer treats as optional (the
// configuration utility, the dictionary editor, the diagnostics tool) in a
// test layout. Run as "selftest" it does what the installation check leaves
// behind: %LOCALAPPDATA%\Quellmar SAPI5\install-check.txt, here with its
// command line and a failing verdict, and exits with 1, which must not fail
// the install.
#include <windows.h>

#include <cstdio>
#include <string>

int wmain(int argc, wchar_t** argv) {
  if (argc < 2 || std::wstring(argv[1]) != L"selftest") return 0;
  wchar_t local[MAX_PATH] = {};
  if (GetEnvironmentVariableW(L"LOCALAPPDATA", local, MAX_PATH) == 0) return 2;
  std::wstring folder = std::wstring(local) + L"\\Quellmar SAPI5";
  CreateDirectoryW(folder.c_str(), nullptr);
  FILE* f = _wfopen((folder + L"\\install-check.txt").c_str(), L"w");
  if (!f) return 2;
  std::fwprintf(f, L"installer stand-in: %ls\n", GetCommandLineW());
  std::fwprintf(f, L"\nRESULT: something is wrong -- see above.\n");
  std::fclose(f);
  return 1;
}
