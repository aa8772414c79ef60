// A private-profile (INI) file's text read the way the platform's profile
// functions read it, for builds without them (the host's tools and fuzzers):
// case-insensitive section and key names, the first match wins, values
// trimmed of surrounding blanks and one pair of matching quotes, at most
// kEngineSettingsValueChars - 1 characters of a value.
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "common/engine_settings.h"

namespace Quellmar {

class ProfileText : public ProfileSource {
 public:
  explicit ProfileText(std::wstring_view text);
  std::wstring String(const wchar_t* section, const wchar_t* key) const override;
  // Missing or empty: `fallback`. Otherwise an optional sign and the leading
  // digits (decimal; hexadecimal, octal or binary after "0x", "0o", "0b"),
  // wrapping at 32 bits.
  int32_t Int(const wchar_t* section, const wchar_t* key, int32_t fallback) const override;

 private:
  struct Entry {
    std::wstring section;
    std::wstring key;
    std::wstring value;
    bool has_value;
  };
  const Entry* Find(const wchar_t* section, const wchar_t* key) const;
  std::vector<Entry> entries_;
};

}  // namespace Quellmar
