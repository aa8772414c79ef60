// The text front end: 8-bit engine text (Windows-1252) to sentences of
// phrases of words. Numbers, common abbreviations and symbols become words;
// punctuation becomes the breaks that carry the engine's pauses; tags are
// removed when the caller obeys them.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace Quellmar::engine_core {

// What ends a phrase, weakest first. kWord is a break forced by length: only
// the pause between words follows it.
enum class Break : uint8_t { kNone, kWord, kComma, kClause, kSentence, kQuestion, kExclaim };

inline bool EndsSentence(Break b) { return b >= Break::kSentence; }

struct Word {
  std::string text;    // lower-case letters and apostrophes
  bool spell = false;  // say the letters' names
  std::string phonetic;  // the user dictionary's encoded transcription, when it has the word
};

// The user dictionary as the text front end asks it: the encoded
// transcription of a word as the text writes it (letters in either case).
class WordLookup {
 public:
  virtual ~WordLookup() = default;
  virtual bool Find(std::string_view word, std::string& encoded) const = 0;
};

struct Phrase {
  std::vector<Word> words;
  Break end = Break::kNone;
};

struct Sentence {
  std::vector<Phrase> phrases;
};

// Limits that keep every segment of speech bounded whatever the text.
inline constexpr size_t kMaxWordLetters = 32;
inline constexpr size_t kMaxPhraseWords = 24;
inline constexpr size_t kMaxSentenceWords = 60;

// Removes every tag "\name=value\" (name of letters, value without a
// backslash or line end, both bounded); each becomes one space.
std::string RemoveTags(std::string_view text);

// The whole text as sentences. With tags on, tags are removed first. A word
// the user dictionary knows is taken as the user wrote it, before any
// abbreviation, unit or spelling rule.
std::vector<Sentence> Normalize(std::string_view text, bool tags, const WordLookup* user = nullptr);

// Whether the text, read as it stands, holds anything to say.
bool HasSpeech(std::string_view text);

// Number words ("one hundred twenty three"), for values below 10^15.
std::vector<std::string> NumberWords(uint64_t n);

}  // namespace Quellmar::engine_core
