#include <windows.h>

#include <climits>

#include "common/text_platform.h"

namespace Quellmar::text_platform {
namespace {
WORD Ctype1(wchar_t c) {
  WORD type = 0;
  if (!GetStringTypeW(CT_CTYPE1, &c, 1, &type)) return 0;
  return type;
}
}  // namespace

bool IsSpaceType(wchar_t c) { return (Ctype1(c) & C1_SPACE) != 0; }

bool IsLetterOrDigitType(wchar_t c) {
  return (Ctype1(c) & (C1_ALPHA | C1_UPPER | C1_LOWER | C1_DIGIT)) != 0;
}

std::string ToCodePage1252(const std::wstring& text) {
  if (text.empty() || text.size() > static_cast<size_t>(INT_MAX)) return {};
  const int units = static_cast<int>(text.size());
  const int size = WideCharToMultiByte(1252, 0, text.data(), units, nullptr, 0, " ", nullptr);
  if (size <= 0) return {};
  std::string out(static_cast<size_t>(size), '\0');
  const int done = WideCharToMultiByte(1252, 0, text.data(), units, out.data(), size, " ", nullptr);
  if (done <= 0) return {};
  out.resize(static_cast<size_t>(done));
  return out;
}

}  // namespace Quellmar::text_platform
