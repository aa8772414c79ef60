// The host's answers to the platform questions of text preparation, looked
// up in tables taken from the platform itself. Kept inline so that the Wine
// tests can compare every answer with the platform's own.
#pragma once

#include <algorithm>
#include <iterator>

#include "common/text_platform_tables.h"

namespace Quellmar::text_platform {

template <size_t N>
bool InUnitRanges(const UnitRange (&ranges)[N], unsigned long code) {
  // A host wchar_t is wider than a UTF-16 unit; nothing beyond U+FFFF is in a table.
  if (code > 0xFFFF) return false;
  const auto unit = static_cast<uint16_t>(code);
  auto it = std::upper_bound(std::begin(ranges), std::end(ranges), unit,
                             [](uint16_t u, const UnitRange& r) { return u < r.first; });
  return it != std::begin(ranges) && unit <= std::prev(it)->last;
}

inline bool TableIsSpace(unsigned long code) { return InUnitRanges(kSpaceRanges, code); }
inline bool TableIsLetterOrDigit(unsigned long code) {
  return InUnitRanges(kLetterOrDigitRanges, code);
}

// The byte one unit converts to; one space for what the code page lacks.
inline char TableByte1252(unsigned long code) {
  if (code < 0x80) return static_cast<char>(code);
  if (code > 0xFFFF) return ' ';
  const auto unit = static_cast<uint16_t>(code);
  auto it = std::lower_bound(std::begin(kCodePage1252), std::end(kCodePage1252), unit,
                             [](const UnitByte& e, uint16_t u) { return e.unit < u; });
  if (it != std::end(kCodePage1252) && it->unit == unit) return static_cast<char>(it->byte);
  return ' ';
}

}  // namespace Quellmar::text_platform
