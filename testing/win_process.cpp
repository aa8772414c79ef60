#include "testing/win_process.h"

#include <tlhelp32.h>

#include <algorithm>
#include <cwctype>
#include <map>

namespace Quellmar::testing {

std::optional<DWORD> ChildProcess::Wait(DWORD timeout_ms) {
  if (!process_) return std::nullopt;
  if (WaitForSingleObject(process_.get(), timeout_ms) != WAIT_OBJECT_0) return std::nullopt;
  DWORD code = 0;
  if (!GetExitCodeProcess(process_.get(), &code)) return std::nullopt;
  return code;
}

void ChildProcess::Kill() {
  if (process_) {
    TerminateProcess(process_.get(), 1);
    WaitForSingleObject(process_.get(), 5000);
  }
}

std::wstring QuoteArgument(const std::wstring& arg) {
  if (!arg.empty() && arg.find_first_of(L" \t\n\v\"") == std::wstring::npos) return arg;
  std::wstring out = L"\"";
  for (size_t i = 0;; ++i) {
    size_t backslashes = 0;
    while (i < arg.size() && arg[i] == L'\\') {
      ++i;
      ++backslashes;
    }
    if (i == arg.size()) {
      out.append(backslashes * 2, L'\\');
      break;
    }
    if (arg[i] == L'"') {
      out.append(backslashes * 2 + 1, L'\\');
    } else {
      out.append(backslashes, L'\\');
    }
    out.push_back(arg[i]);
  }
  out.push_back(L'"');
  return out;
}

std::vector<wchar_t> EnvironmentBlock(const std::vector<EnvChange>& changes) {
  // Names compare without case, and the block must be sorted that way.
  auto upper = [](std::wstring s) {
    for (auto& c : s) c = static_cast<wchar_t>(std::towupper(c));
    return s;
  };
  std::map<std::wstring, std::pair<std::wstring, std::wstring>> vars;
  if (wchar_t* env = GetEnvironmentStringsW()) {
    for (const wchar_t* p = env; *p; p += wcslen(p) + 1) {
      std::wstring entry = p;
      size_t eq = entry.find(L'=', 1);  // "=C:=C:\" entries start with '='
      if (eq == std::wstring::npos) continue;
      vars[upper(entry.substr(0, eq))] = {entry.substr(0, eq), entry.substr(eq + 1)};
    }
    FreeEnvironmentStringsW(env);
  }
  for (const auto& c : changes) {
    if (c.value) {
      vars[upper(c.name)] = {c.name, *c.value};
    } else {
      vars.erase(upper(c.name));
    }
  }
  std::vector<wchar_t> block;
  for (const auto& [key, nv] : vars) {
    std::wstring entry = nv.first + L"=" + nv.second;
    block.insert(block.end(), entry.begin(), entry.end());
    block.push_back(L'\0');
  }
  block.push_back(L'\0');
  if (block.size() == 1) block.push_back(L'\0');
  return block;
}

ChildProcess StartProcess(const std::wstring& exe, const std::vector<std::wstring>& args,
                          const std::vector<EnvChange>& env) {
  std::wstring cmd = QuoteArgument(exe);
  for (const auto& a : args) cmd += L" " + QuoteArgument(a);
  std::vector<wchar_t> cmdline(cmd.begin(), cmd.end());
  cmdline.push_back(L'\0');
  std::vector<wchar_t> block = EnvironmentBlock(env);
  STARTUPINFOW si{};
  si.cb = sizeof(si);
  PROCESS_INFORMATION pi{};
  if (!CreateProcessW(exe.c_str(), cmdline.data(), nullptr, nullptr, FALSE,
                      CREATE_UNICODE_ENVIRONMENT, block.data(), nullptr, &si, &pi)) {
    return {};
  }
  CloseHandle(pi.hThread);
  return ChildProcess(unique_kernel_handle(pi.hProcess), pi.dwProcessId);
}

std::optional<DWORD> RunProcess(const std::wstring& exe, const std::vector<std::wstring>& args,
                                const std::vector<EnvChange>& env, DWORD timeout_ms) {
  ChildProcess child = StartProcess(exe, args, env);
  if (!child.started()) return std::nullopt;
  auto code = child.Wait(timeout_ms);
  if (!code) child.Kill();
  return code;
}

}  // namespace Quellmar::testing

namespace Quellmar::testing {
std::wstring ProgramFolder() {
  wchar_t path[MAX_PATH] = {};
  DWORD n = GetModuleFileNameW(nullptr, path, MAX_PATH);
  std::wstring p(path, n);
  size_t slash = p.find_last_of(L"\\/");
  return slash == std::wstring::npos ? L"." : p.substr(0, slash);
}
}  // namespace Quellmar::testing

namespace Quellmar::testing {

unsigned CountOwnHandles() {
  unsigned count = 0;
  DWORD flags = 0;
  for (uintptr_t v = 4; v < (1u << 18); v += 4) {
    if (GetHandleInformation(reinterpret_cast<HANDLE>(v), &flags)) ++count;
  }
  return count;
}

unsigned CountOwnThreads() {
  unique_kernel_handle snapshot(CreateToolhelp32Snapshot(TH32CS_SNAPTHREAD, 0));
  if (!snapshot) return 0;
  THREADENTRY32 e{};
  e.dwSize = sizeof(e);
  unsigned count = 0;
  const DWORD self = GetCurrentProcessId();
  for (BOOL ok = Thread32First(snapshot.get(), &e); ok; ok = Thread32Next(snapshot.get(), &e)) {
    if (e.th32OwnerProcessID == self) ++count;
  }
  return count;
}

}  // namespace Quellmar::testing
