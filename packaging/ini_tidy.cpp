#include "packaging/ini_tidy.h"

#include <cstdint>
#include <string>

namespace Quellmar::packaging {
namespace {

constexpr std::string_view kSections[] = {"[quellmarappdir]", "[quellmardictionary]",
                                          "[quellmarsettings]"};

bool IsOurs(const std::u32string& line) {
  size_t begin = 0, end = line.size();
  while (begin < end && (line[begin] == ' ' || line[begin] == '\t')) ++begin;
  while (end > begin && (line[end - 1] == ' ' || line[end - 1] == '\t')) --end;
  if (begin == end) return true;
  for (std::string_view section : kSections) {
    if (end - begin != section.size()) continue;
    bool same = true;
    for (size_t i = 0; i < section.size() && same; ++i) {
      char32_t c = line[begin + i];
      if (c >= 'A' && c <= 'Z') c += 'a' - 'A';
      same = c == static_cast<char32_t>(section[i]);
    }
    if (same) return true;
  }
  return false;
}

}  // namespace

bool OnlyEmptyEngineSections(std::string_view bytes) {
  // Code units as numbers are enough: every character that matters is ASCII,
  // and anything else makes the line someone else's.
  std::u32string units;
  if (bytes.size() >= 2 && static_cast<uint8_t>(bytes[0]) == 0xFF &&
      static_cast<uint8_t>(bytes[1]) == 0xFE) {
    for (size_t i = 2; i + 1 < bytes.size(); i += 2) {
      units += static_cast<char32_t>(static_cast<uint8_t>(bytes[i]) |
                                     (static_cast<uint8_t>(bytes[i + 1]) << 8));
    }
    if (bytes.size() % 2) units += U'\x1';  // a stray byte is not ours either
  } else {
    if (bytes.substr(0, 3) == "\xEF\xBB\xBF") bytes.remove_prefix(3);
    for (char c : bytes) units += static_cast<char32_t>(static_cast<uint8_t>(c));
  }
  std::u32string line;
  for (char32_t c : units) {
    if (c == '\r' || c == '\n') {
      if (!IsOurs(line)) return false;
      line.clear();
    } else {
      line += c;
    }
  }
  return IsOurs(line);
}

}  // namespace Quellmar::packaging
