// The user's own quellmar.ini values (the dictionary switch and the four
// pauses), carried across an upgrade: the removal of the older version may
// take them out of the file (Wine removes an older version as a plain
// uninstall), so the newer package reads them first and writes them back
// after its own entries. They travel through an installer property as text:
//   <path of quellmar.ini>\n<section>\t<key>\t<value>\n...
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace Quellmar::packaging {

struct SavedValue {
  std::wstring section;
  std::wstring key;
  std::wstring value;
};

struct SavedSettings {
  std::wstring path;
  std::vector<SavedValue> values;
};

// The keys that are the user's: section and key of each.
struct UserKey {
  const wchar_t* section;
  const wchar_t* key;
};
extern const UserKey kUserKeys[5];

std::wstring FormatSavedSettings(const SavedSettings& settings);

// Nothing when the text is malformed: no path, a line without its two tabs,
// a line break or tab inside a value, or a key that is not one of the user's
// (so no other key of the file can ever be written from it).
std::optional<SavedSettings> ParseSavedSettings(std::wstring_view text);

}  // namespace Quellmar::packaging
