// What text preparation asks of the platform: the character type of a UTF-16
// unit from U+0100 up, and the conversion to code page 1252. Windows asks the
// system (text_platform_win.cpp); the host build, which exists for fast tests
// and fuzzing, answers from tables taken from the system's own answers
// (text_platform_host.cpp).
#pragma once

#include <string>

namespace Quellmar::text_platform {

// CT_CTYPE1 reports C1_SPACE for `c`.
bool IsSpaceType(wchar_t c);
// CT_CTYPE1 reports C1_ALPHA, C1_UPPER, C1_LOWER or C1_DIGIT for `c`.
bool IsLetterOrDigitType(wchar_t c);
// `text` in code page 1252, converted without flags and with one space as the
// default character; empty when the conversion fails.
std::string ToCodePage1252(const std::wstring& text);

}  // namespace Quellmar::text_platform
