// The host's stand-in for the platform: the same answers, from tables.
#include "common/text_platform.h"
#include "common/text_platform_lookup.h"

namespace Quellmar::text_platform {

bool IsSpaceType(wchar_t c) { return TableIsSpace(static_cast<unsigned long>(c)); }

bool IsLetterOrDigitType(wchar_t c) { return TableIsLetterOrDigit(static_cast<unsigned long>(c)); }

std::string ToCodePage1252(const std::wstring& text) {
  // One byte per unit, as the platform converts this single-byte code page
  // (a surrogate pair gives two default characters).
  std::string out;
  out.reserve(text.size());
  for (wchar_t c : text) out.push_back(TableByte1252(static_cast<unsigned long>(c)));
  return out;
}

}  // namespace Quellmar::text_platform
