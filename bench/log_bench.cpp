// The diagnostic log's cost per line: N lines of W bytes from this process,
// with K other processes (copies of this one) writing the same at the same
// time, into a log of its own under a fresh LOCALAPPDATA. Prints the time per
// line of this process and how many bytes the log's folder holds at the end.
//   log_bench [--lines N] [--width W] [--others K]
#include <windows.h>

#include <cstdio>
#include <cwchar>
#include <filesystem>
#include <string>
#include <vector>

#include "common/log.h"

namespace {
namespace fs = std::filesystem;

void WriteLines(unsigned long lines, size_t width) {
  const std::string text(width, 'b');
  for (unsigned long k = 0; k < lines; ++k) Quellmar::Log("%lu %s", k, text.c_str());
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
  unsigned long lines = 20000, others = 0;
  size_t width = 200;
  bool child = false;
  for (int i = 1; i < argc; ++i) {
    const std::wstring a = argv[i];
    const wchar_t* v = i + 1 < argc ? argv[i + 1] : L"0";
    if (a == L"--lines") lines = wcstoul(v, nullptr, 10), ++i;
    if (a == L"--width") width = wcstoul(v, nullptr, 10), ++i;
    if (a == L"--others") others = wcstoul(v, nullptr, 10), ++i;
    if (a == L"--child") child = true;
  }
  if (child) {
    WriteLines(lines, width);
    return 0;
  }
  wchar_t temp[MAX_PATH];
  GetTempPathW(MAX_PATH, temp);
  const fs::path root = fs::path(temp) / ("qm-log-bench-" + std::to_string(GetCurrentProcessId()));
  fs::create_directories(root);
  SetEnvironmentVariableW(L"LOCALAPPDATA", root.wstring().c_str());

  wchar_t self[MAX_PATH];
  GetModuleFileNameW(nullptr, self, MAX_PATH);
  std::vector<PROCESS_INFORMATION> children;
  for (unsigned long i = 0; i < others; ++i) {
    std::wstring cmd = L"\"" + std::wstring(self) + L"\" --child --lines " +
                       std::to_wstring(lines) + L" --width " + std::to_wstring(width);
    STARTUPINFOW si{};
    si.cb = sizeof(si);
    PROCESS_INFORMATION pi{};
    if (CreateProcessW(nullptr, cmd.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &si,
                       &pi)) {
      children.push_back(pi);
    }
  }
  LARGE_INTEGER f, t0, t1;
  QueryPerformanceFrequency(&f);
  QueryPerformanceCounter(&t0);
  WriteLines(lines, width);
  QueryPerformanceCounter(&t1);
  for (auto& pi : children) {
    WaitForSingleObject(pi.hProcess, INFINITE);
    CloseHandle(pi.hProcess);
    CloseHandle(pi.hThread);
  }
  uintmax_t bytes = 0;
  for (const auto& e : fs::directory_iterator(root / "Quellmar SAPI5")) bytes += e.file_size();
  const double us = (t1.QuadPart - t0.QuadPart) * 1e6 / f.QuadPart / lines;
  std::printf(
      "%lu lines of %zu bytes, %lu other writers: %.1f us a line; %ju bytes in the folder\n", lines,
      width, others, us, bytes);
  fs::remove_all(root);
  return 0;
}
