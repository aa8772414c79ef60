// The installer's source: the WiX document that wixl turns into the package,
// and what wixl cannot express (quellmar.ini entries, folder permissions, the
// custom actions with their exact types and places, the COM classes, each
// binary's version, short names) as IDT tables and SQL for msibuild.
// Everything is derived from what the build staged and from the constants
// the programs themselves use, so the package installs exactly the staged
// layout and writes exactly the registration DllRegisterServer writes.
#pragma once

#include <map>
#include <string>
#include <utility>
#include <vector>

#include "packaging/pe_version.h"

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
  // The version resource of every staged program and DLL, by layout path.
  std::map<std::string, PeVersion> binary_versions;
  // Names everything the package is made of (a digest of the staged files'
  // and the setup DLL's bytes): the product and package codes come from it
  // and the version, so a rebuild of the same files is the same product and
  // package, and anything else a new product that upgrades it, also at the
  // same version.
  std::string content_digest;
  // File name, in wixl's folder, of the icon Apps & features shows; empty
  // for none.
  std::string icon_file;
};

// An IDT table for msibuild -i: its file name and text.
struct IdtTable {
  std::string file_name;
  std::string text;
};

struct PackageSource {
  std::string wxs;
  std::vector<IdtTable> tables;
  // For msibuild -q, in order, after the tables.
  std::vector<std::string> queries;
  // The summary information msibuild -s writes last.
  std::string subject;
  std::string author;
  std::string package_code;
};

// The layout's well-known files, relative to the install root.
inline constexpr char kSapiDll64[] = "QuellmarSAPI.dll";
inline constexpr char kSapiDll32[] = "x86/QuellmarSAPI.dll";
inline constexpr char kWorkerExe[] = "x86/QuellmarServer.exe";
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

// The "SHORT~1.EXT|Long name.ext" form the File, Directory and Shortcut
// tables want: the name itself when it is a valid 8.3 name, otherwise a
// short name not in `taken` (lower case), which is added to it.
std::string ShortLongName(const std::string& name, std::vector<std::string>& taken);

// The package's source. Throws std::invalid_argument for a malformed
// version, a file listed twice, a path that leaves the layout or a program or
// DLL without a version.
PackageSource MakePackageSource(const PackageOptions& options);

// The icon Apps & features shows for the product, as a .ico file.
std::string ProductIcon();

}  // namespace Quellmar::packaging
