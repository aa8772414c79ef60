// The vocabulary of the user dictionary: one entry of the source list, the
// parts of speech with the codes stored for them, and the sound symbols the
// editor offers with their example words and recordings.
#pragma once

#include <array>
#include <string>
#include <string_view>

namespace Quellmar::dictionary {

// Input limits of the editor's fields. A hand-edited source list may hold
// longer fields; they are kept whole.
inline constexpr size_t kWordCapacity = 45;
inline constexpr size_t kPhoneticCapacity = 70;
inline constexpr size_t kCodeCapacity = 6;

struct DictionaryEntry {
  std::string word;      // as written; the editor stores words in lower case
  std::string phonetic;  // the transcription as typed, not encoded
  std::string code;      // part-of-speech code ("00", "02C", ...)
  std::string note{};    // what a hand-edited line holds after the code
  bool operator==(const DictionaryEntry&) const = default;
};

struct PartOfSpeech {
  const char* name;
  const char* code;
};

// In the order the editor lists them. Country and State share "02D".
inline constexpr std::array<PartOfSpeech, 12> kPartsOfSpeech = {{
    {"Adjective", "20"},
    {"Adverb", "30"},
    {"City", "02C"},
    {"Conjunction", "80"},
    {"Country", "02D"},
    {"Determiner", "60"},
    {"Noun", "00"},
    {"Preposition", "70"},
    {"Pronoun", "40"},
    {"Proper Noun", "02"},
    {"State", "02D"},
    {"Verb", "10"},
}};
inline constexpr std::string_view kDefaultPartOfSpeech = "Proper Noun";
// The code of a source-list line that has only a word and a transcription.
inline constexpr std::string_view kCodeWhenMissing = "10";

// The part of speech a stored code shows as: the first row with that code
// ("02D" is Country); a code of no row shows as Adjective.
const PartOfSpeech& PartOfSpeechOfCode(std::string_view code);
// The code of a part-of-speech name; nullptr for an unknown name.
const char* CodeOfPartOfSpeech(std::string_view name);

struct SoundSymbol {
  const char* symbol;
  const char* examples;   // capitals mark the letters that carry the sound
  const char* recording;  // file in the sound folder; nullptr for accent marks
};

extern const std::array<SoundSymbol, 24> kVowels;
extern const std::array<SoundSymbol, 24> kConsonants;
extern const std::array<SoundSymbol, 2> kAccentMarks;

// A row of the editor's symbol lists: the symbol, a tab, the example words.
std::string SymbolRow(const SoundSymbol& s);

}  // namespace Quellmar::dictionary
