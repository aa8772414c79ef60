// Changing one value of a private-profile (INI) file in the file's own
// bytes, for files that programs other than ours read and people edit by
// hand: the key's line gets the new value and every other byte stays as it
// was (quotes, comments, unknown keys, long values, blank lines), in the
// file's encoding (8-bit text, UTF-8 after its mark, UTF-16 of either byte
// order after its mark) and with its line endings. Portable.
//
// The key is looked up as the profile functions look it up: in the first
// section of that name, section and key names compared without regard to
// ASCII case and trimmed of blanks; a value inside one pair of matching
// quotes keeps its quotes. A missing key is added after the last line of
// its section, a missing section at the end of the file.
#pragma once

#include <string>
#include <string_view>

namespace Quellmar {

// `section`, `key` and `value` are ASCII.
std::string WithProfileValue(std::string_view file, std::wstring_view section,
                             std::wstring_view key, std::wstring_view value);

}  // namespace Quellmar
