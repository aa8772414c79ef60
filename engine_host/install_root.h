// The install root: the folder that holds engine\Lib\qmcore.dll, found from
// the folder of the module that holds this code (a program or a library) by
// looking in it and in up to five of its ancestors.
#pragma once

#include <string>

namespace Quellmar {

inline constexpr wchar_t kEngineCoreRelativePath[] = L"engine\\Lib\\qmcore.dll";
// The module's own folder plus five ancestors.
inline constexpr int kInstallRootSearchFolders = 6;
inline constexpr unsigned long kModulePathChars = 260;

// The folder of the module that holds this code, ending in a backslash;
// empty when it cannot be found.
std::wstring ModuleFolder();

// The first of `start` (a folder ending in a backslash) and up to five of its
// ancestors that holds engine\Lib\qmcore.dll; `start` itself when none does.
std::wstring FindInstallRoot(const std::wstring& start);

// FindInstallRoot(ModuleFolder()).
std::wstring InstallRoot();

// InstallRoot() followed by engine\Lib\qmcore.dll.
std::wstring EngineCorePath();

}  // namespace Quellmar
