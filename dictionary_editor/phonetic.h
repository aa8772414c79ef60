// The phonetic notation a user types into the dictionary editor, and its
// conversion into the encoding the engine core reads: stress marks turned
// into the engine's syllable markers and syllabic consonants made explicit.
#pragma once

#include <string>
#include <string_view>

namespace Quellmar::dictionary {

// Diacritics that may follow a sound symbol's letter.
inline bool IsDiacritic(char c) { return c == '~' || c == '|' || c == '^' || c == '\''; }
inline bool IsVowelLetter(char c) { return c == 'a' || c == 'e' || c == 'i' || c == 'o' || c == 'u'; }

// The engine encoding of a typed transcription ("bana/na" -> "ba#na%na/").
// Any bytes are accepted; text outside the notation passes through.
std::string EncodePhonetic(std::string_view transcription);

}  // namespace Quellmar::dictionary
