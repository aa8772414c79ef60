// The folders the installer writes into, each with the permissions it must
// have before anything is written there, handed from the package to the
// setup DLL's deferred action as one short text (no tabs or line breaks,
// which the package's tables would have to escape):
//   <mode>|<rule>*<folder>|<rule>*<folder>...
// in the order they are to be made safe (a folder before the folders in it).
// The mode is "secure" on install, repair and upgrade (each folder is made
// a real folder with its permissions) and "check" on uninstall (each is only
// checked for a link a user made); the rule is a letter for one of the
// permissions below.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace Quellmar::packaging {

// What the installer's folders allow (SDDL), applied by the package's
// permission table and, before anything is written, by the setup DLL. The
// install folder, the data folder itself and the installer's own folders in
// it: administrators and the system change them, everyone else (users and
// sandboxed programs, which load the voices) reads and runs. The user
// dictionary's and work folders: users may add, change and delete what is in
// them, but not delete, rename or re-permission the folders themselves.
inline constexpr char kReadOnlyFolderSddl[] =
    "D:PAI(A;OICI;FA;;;SY)(A;OICI;FA;;;BA)(A;OICI;0x1200a9;;;BU)"
    "(A;OICI;0x1200a9;;;S-1-15-2-1)(A;OICI;0x1200a9;;;S-1-15-2-2)";
inline constexpr char kUserContentFolderSddl[] =
    "D:PAI(A;OICI;FA;;;SY)(A;OICI;FA;;;BA)(A;;0x1200af;;;BU)(A;OICIIO;0x1301bf;;;BU)"
    "(A;OICI;0x1200a9;;;S-1-15-2-1)(A;OICI;0x1200a9;;;S-1-15-2-2)";

inline constexpr char kReadOnlyFolderRule = 'R';
inline constexpr char kUserContentFolderRule = 'U';

inline constexpr char kFolderRuleSeparator = '|';
inline constexpr char kRuleFolderSeparator = '*';
inline constexpr char kSecureFoldersMode[] = "secure";
inline constexpr char kCheckFoldersMode[] = "check";
// More than a package has; a longer text is not one of ours.
inline constexpr size_t kMaxFolderRules = 256;

struct FolderRule {
  std::wstring sddl;    // of the rule
  std::wstring folder;  // absolute, "X:\..." or "\\server\share\...", no "." or ".." parts
};

struct FolderRules {
  bool secure = false;  // else only checked
  std::vector<FolderRule> rules;
};

// Nothing when the text is malformed: an unknown mode, an entry without its
// separator, an unknown rule, a folder that is not absolute or names "." or
// "..", or too many entries.
std::optional<FolderRules> ParseFolderRules(std::wstring_view text);

}  // namespace Quellmar::packaging
