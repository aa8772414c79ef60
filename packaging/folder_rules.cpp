#include "packaging/folder_rules.h"

namespace Quellmar::packaging {
namespace {

std::wstring Widen(std::string_view text) { return std::wstring(text.begin(), text.end()); }

bool IsAbsoluteFolder(std::wstring_view folder) {
  if (folder.find_first_of(L"/*?\"<>|") != std::wstring_view::npos) return false;
  // A folder below a drive's root or a share's (\\server\share\), never
  // the root itself, whose permissions are the whole volume's.
  size_t least_parts = 1;
  if (folder.size() >= 3 && folder[1] == L':' && folder[2] == L'\\' &&
      ((folder[0] >= L'A' && folder[0] <= L'Z') || (folder[0] >= L'a' && folder[0] <= L'z'))) {
    folder.remove_prefix(3);
  } else if (folder.size() > 2 && folder.substr(0, 2) == L"\\\\") {
    folder.remove_prefix(2);
    least_parts = 3;
  } else {
    return false;
  }
  if (!folder.empty() && folder.back() == L'\\') folder.remove_suffix(1);
  // Every part a name: none empty, none that leads elsewhere than it says.
  size_t parts = 0;
  while (!folder.empty()) {
    const size_t end = folder.find(L'\\');
    const std::wstring_view part = folder.substr(0, end);
    if (part.empty() || part == L"." || part == L"..") return false;
    ++parts;
    folder.remove_prefix(end == std::wstring_view::npos ? folder.size() : end + 1);
    if (end != std::wstring_view::npos && folder.empty()) return false;
  }
  return parts >= least_parts;
}

}  // namespace

std::optional<FolderRules> ParseFolderRules(std::wstring_view text) {
  FolderRules out;
  size_t end = text.find(static_cast<wchar_t>(kFolderRuleSeparator));
  const std::wstring_view mode = text.substr(0, end);
  if (mode == Widen(kSecureFoldersMode)) {
    out.secure = true;
  } else if (mode != Widen(kCheckFoldersMode)) {
    return std::nullopt;
  }
  while (end != std::wstring_view::npos) {
    text.remove_prefix(end + 1);
    end = text.find(static_cast<wchar_t>(kFolderRuleSeparator));
    const std::wstring_view entry = text.substr(0, end);
    if (entry.size() < 2 || entry[1] != static_cast<wchar_t>(kRuleFolderSeparator)) {
      return std::nullopt;
    }
    FolderRule rule;
    if (entry[0] == static_cast<wchar_t>(kReadOnlyFolderRule)) {
      rule.sddl = Widen(kReadOnlyFolderSddl);
    } else if (entry[0] == static_cast<wchar_t>(kUserContentFolderRule)) {
      rule.sddl = Widen(kUserContentFolderSddl);
    } else {
      return std::nullopt;
    }
    rule.folder = std::wstring(entry.substr(2));
    if (!IsAbsoluteFolder(rule.folder) || out.rules.size() == kMaxFolderRules) return std::nullopt;
    out.rules.push_back(std::move(rule));
  }
  return out;
}

}  // namespace Quellmar::packaging
