// The installer's source: the WiX document that wixl turns into the package,
// and the tables wixl cannot express (quellmar.ini entries, folder
// permissions) as IDT files for msibuild. Everything is derived from what the
// build staged and from the constants the programs themselves use, so the
// package installs exactly the staged layout and writes exactly the
// registration DllRegisterServer writes.
#pragma once

#include <string>
#include <vector>

namespace Quellmar::packaging {

// One staged file: its place in the layout ("x86/QuellmarSAPI.dll") and the
// host path wixl reads it from.
struct StagedFile {
  std::string relative;
  std::string source;
};

struct PackageOptions {
  std::string version;  // "major.minor.build", each part a number
  // Host path of the custom-action DLL (stops the worker before files go);
  // empty builds a package without it.
  std::string setup_dll;
  std::vector<StagedFile> files;
  // Top-level staged folders whose contents belong in the machine-wide data
  // folder (writable by every user) instead of the install folder.
  std::vector<std::string> data_folders;
};

// The layout's well-known files, relative to the install root.
inline constexpr char kSapiDll64[] = "QuellmarSAPI.dll";
inline constexpr char kSapiDll32[] = "x86/QuellmarSAPI.dll";
inline constexpr char kDiagExe[] = "QuellmarDiag.exe";
inline constexpr char kConfigExe[] = "QuellmarConfig.exe";
inline constexpr char kLexmereExe[] = "engine/Lexmere/Lexmere.exe";

// The names users see: the start-menu entries carry the programs' captions.
inline constexpr char kProductName[] = "Quellmar SAPI5";
inline constexpr char kConfigShortcutName[] = "Quellmar Speech Configuration";
inline constexpr char kLexmereShortcutName[] = "Quellmar Users Dictionary Utility";

// Files in a data folder that are the user's own (the source list, the
// compiled dictionary, the backups): never packaged, so an uninstall or an
// upgrade cannot remove or replace them.
bool IsUserDataFile(const std::string& relative);

// A name-based GUID in registry form: the same name gives the same GUID in
// every build, so a component keeps its identity across versions.
std::string NameGuid(const std::string& name);

// An MSI identifier for a layout path: readable where possible
// ("x86_QuellmarSAPI.dll"), otherwise shortened with a hash; always unique for
// distinct paths within one package.
std::string FileId(const std::string& relative);

// The WiX document. Throws std::invalid_argument for a malformed version,
// a file listed twice or a path that leaves the layout.
std::string WixSource(const PackageOptions& options);

// IDT tables for msibuild -i: quellmar.ini's entries and the data folders'
// permissions.
std::string IniFileTable();
std::string LockPermissionsTable();

}  // namespace Quellmar::packaging
