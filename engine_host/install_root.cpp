#include "engine_host/install_root.h"

#include <windows.h>

namespace Quellmar {
namespace {

// Any address inside this module will do for GetModuleHandleExW.
void ModuleAnchor() {}

// "C:\a\b\" -> "C:\a\"; empty when no backslash remains to cut after.
std::wstring Parent(const std::wstring& folder) {
  std::wstring up = folder;
  if (!up.empty() && up.back() == L'\\') up.pop_back();
  size_t slash = up.find_last_of(L'\\');
  if (slash == std::wstring::npos) return {};
  up.resize(slash + 1);
  return up;
}

}  // namespace

std::wstring ModuleFolder() {
  HMODULE module = nullptr;
  if (!GetModuleHandleExW(
          GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
          reinterpret_cast<LPCWSTR>(&ModuleAnchor), &module)) {
    return {};
  }
  wchar_t path[kModulePathChars] = {};
  DWORD n = GetModuleFileNameW(module, path, kModulePathChars);
  // A path that filled the buffer was cut short; its folder would be wrong.
  if (n == 0 || n >= kModulePathChars) return {};
  std::wstring folder(path, n);
  size_t slash = folder.find_last_of(L'\\');
  if (slash == std::wstring::npos) return {};
  folder.resize(slash + 1);
  return folder;
}

std::wstring FindInstallRoot(const std::wstring& start) {
  std::wstring folder = start;
  for (int i = 0; i < kInstallRootSearchFolders && !folder.empty(); ++i) {
    std::wstring core = folder + kEngineCoreRelativePath;
    if (GetFileAttributesW(core.c_str()) != INVALID_FILE_ATTRIBUTES) return folder;
    folder = Parent(folder);
  }
  return start;
}

std::wstring InstallRoot() { return FindInstallRoot(ModuleFolder()); }

std::wstring EngineCorePath() { return InstallRoot() + kEngineCoreRelativePath; }

}  // namespace Quellmar
