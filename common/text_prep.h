// The pure text functions between a SAPI host's UTF-16 text and the engine's
// 8-bit code page 1252 text. All work code unit by code unit (a surrogate
// pair is two units that no table matches), keep no state and make one pass.
//
// The speak pipeline applies them in this order: CollapseWhitespace; SpellOut
// or, when punctuation is spoken, NamePunctuation; SplitIntoChunks; and
// ToEngineText for each chunk.
#pragma once

#include <cstddef>
#include <string>
#include <vector>

namespace Quellmar {

inline constexpr size_t kChunkLimit = 400;

// U+0009..U+000D, U+0020, U+0085, U+00A0, and from U+0100 up what the platform
// calls a space.
bool IsWhiteSpaceUnit(wchar_t c);
// ASCII letters and digits, the Latin-1 letters (not U+00D7, U+00F7),
// U+00AA, U+00B2, U+00B3, U+00B5, U+00B9, U+00BA, and from U+0100 up what the
// platform calls a letter or digit.
bool IsLetterOrDigitUnit(wchar_t c);
// Only a..z change.
wchar_t UpperCaseAscii(wchar_t c);

// The spoken name of a punctuation character (" dot ", ...), or nullptr.
const wchar_t* PunctuationName(wchar_t c);

// Drops control characters, turns each run of ASCII white space between words
// into one space and drops it at both ends.
std::wstring CollapseWhitespace(const std::wstring& text);
// Every non-white-space unit upper-cased (ASCII only) as a word of its own.
std::wstring SpellOut(const std::wstring& text);
// Punctuation replaced by its name; spaces are not collapsed afterwards.
std::wstring NamePunctuation(const std::wstring& text);
// Chunks of at most `limit` units, cut at a sentence end, else a clause end,
// else a space, else hard; only spaces at the cuts are lost. A `limit` of 0
// is taken as 1.
std::vector<std::wstring> SplitIntoChunks(const std::wstring& text, size_t limit);
// Typographic characters folded to plain ones, then converted to code page
// 1252 with a space for what it cannot represent. Empty when the conversion
// fails.
std::string ToEngineText(const std::wstring& text);

}  // namespace Quellmar
