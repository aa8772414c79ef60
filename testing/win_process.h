// Starting Windows programs from a test, with a chosen environment.
#pragma once

#include <windows.h>

#include <optional>
#include <string>
#include <vector>

#include "common/win_handles.h"

namespace Quellmar::testing {

// One change to the child's environment: set `name` to `value`, or remove it
// when `value` is empty.
struct EnvChange {
  std::wstring name;
  std::optional<std::wstring> value;
};

class ChildProcess {
 public:
  ChildProcess() = default;
  ChildProcess(unique_kernel_handle process, DWORD pid) : process_(std::move(process)), pid_(pid) {}
  bool started() const { return process_.valid(); }
  DWORD pid() const { return pid_; }
  HANDLE handle() const { return process_.get(); }
  // The exit code, or nullopt when it has not ended within `timeout_ms`.
  std::optional<DWORD> Wait(DWORD timeout_ms);
  void Kill();

 private:
  unique_kernel_handle process_;
  DWORD pid_ = 0;
};

// Quotes one command-line argument the way CommandLineToArgvW reads it back.
std::wstring QuoteArgument(const std::wstring& arg);

// The current environment with `changes` applied, as a CreateProcessW block.
std::vector<wchar_t> EnvironmentBlock(const std::vector<EnvChange>& changes);

ChildProcess StartProcess(const std::wstring& exe, const std::vector<std::wstring>& args,
                          const std::vector<EnvChange>& env = {});

// Runs to completion. The exit code; nullopt when it failed to start or did
// not end within `timeout_ms` (it is then killed).
std::optional<DWORD> RunProcess(const std::wstring& exe, const std::vector<std::wstring>& args,
                                const std::vector<EnvChange>& env = {}, DWORD timeout_ms = 60000);

}  // namespace Quellmar::testing

namespace Quellmar::testing {
// The folder of the running program (where its helper programs are built).
std::wstring ProgramFolder();

// This process's open handles, counted by asking each possible handle value
// (the platform's own count is not served everywhere: Wine reports 0).
unsigned CountOwnHandles();
// This process's threads.
unsigned CountOwnThreads();
}  // namespace Quellmar::testing
