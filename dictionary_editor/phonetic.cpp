#include "dictionary_editor/phonetic.h"

namespace Quellmar::dictionary {
namespace {

bool IsLetter(char c) { return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z'); }

// Replaces the first occurrence at or after `from` until none is left.
void ReplaceAll(std::string& s, std::string_view what, std::string_view with, size_t from = 0) {
  for (;;) {
    size_t at = s.find(what, from);
    if (at == std::string::npos) return;
    s.replace(at, what.size(), with);
  }
}

// Pass 1: the primary stress mark, inserted after the first vowel when the
// user typed none, becomes '*' on a final syllable and '%' elsewhere.
void MarkStress(std::string& s) {
  size_t mark = s.find('/');
  if (mark == std::string::npos) mark = s.rfind('\\');
  if (mark == std::string::npos) {
    size_t v = 0;
    while (v < s.size() && !IsVowelLetter(s[v])) ++v;
    if (v == s.size()) return;
    mark = v + 1;
    if (mark < s.size() && IsDiacritic(s[mark])) ++mark;
    s.insert(mark, 1, '/');
  }
  bool later_syllable = false;
  for (size_t k = mark + 1; k < s.size(); ++k) {
    if (IsVowelLetter(s[k])) later_syllable = true;
    char before = s[k - 1];
    if (s[k] == '\'' && (before == 'l' || before == 'm' || before == 'n')) later_syllable = true;
  }
  s[mark] = later_syllable ? '%' : '*';
}

// Pass 2: "il" "im" "in" "ul" "um" "un" after the first character are
// syllabic consonants, except inside the diphthongs and "in~" "un~".
void MarkSyllabicConsonants(std::string& s) {
  ReplaceAll(s, "oi", "@@");
  ReplaceAll(s, "au", "??");
  ReplaceAll(s, "in~", "...");
  ReplaceAll(s, "un~", "===");
  static constexpr std::string_view kPatterns[][2] = {{"il", "l'"}, {"im", "m'"}, {"in", "n'"},
                                                      {"ul", "l'"}, {"um", "m'"}, {"un", "n'"}};
  for (const auto& p : kPatterns) ReplaceAll(s, p[0], p[1], 1);
  ReplaceAll(s, "@@", "oi");
  ReplaceAll(s, "??", "au");
  ReplaceAll(s, "...", "in~");
  ReplaceAll(s, "===", "un~");
}

// A syllable nucleus at s[i], looking no further than s[end - 1]: its
// length, 0 when s[i] starts none. `vowel` tells a vowel from an apostrophe.
size_t Nucleus(const std::string& s, size_t i, size_t end, bool& vowel) {
  char c = s[i];
  vowel = true;
  size_t n = 0;
  if (c == 'e' || c == 'i' || c == 'u') {
    n = 1;
  } else if (c == 'o' || c == 'a') {
    n = 1;
    if (i + 1 < end && s[i + 1] == (c == 'o' ? 'i' : 'u')) n = 2;
  } else if (c == '\'' && i > 0 && s[i - 1] != 't') {
    vowel = false;
    return 1;
  } else {
    return 0;
  }
  if (i + n < end && IsDiacritic(s[i + n])) ++n;
  return n;
}

// Pass 4: after a non-final stress, every later syllable is closed with '+',
// the last of them with '/'.
void CloseLaterSyllables(std::string& s) {
  size_t start = s.find('%');
  if (start == std::string::npos) return;
  std::string out = s.substr(0, start);
  size_t last_plus = std::string::npos;
  auto plus = [&] {
    last_plus = out.size();
    out.push_back('+');
  };
  size_t i = start;
  while (i < s.size()) {
    bool vowel = false;
    size_t n = Nucleus(s, i, s.size(), vowel);
    if (n == 0) {
      out.push_back(s[i++]);
      continue;
    }
    out.append(s, i, n);
    i += n;
    if (vowel) {
      if (i == s.size() || IsLetter(s[i])) {
        plus();
      } else {
        out.push_back(s[i++]);
      }
    } else if (i == s.size() || IsLetter(s[i])) {
      plus();
    }
  }
  if (last_plus != std::string::npos) out[last_plus] = '/';
  s = std::move(out);
}

// Pass 5: every syllable before the stress is closed with '#'.
void CloseEarlierSyllables(std::string& s) {
  size_t mark = s.find('%');
  if (mark == std::string::npos) mark = s.find('*');
  if (mark == std::string::npos) return;
  std::string out;
  size_t i = 0;
  while (i < mark) {
    bool vowel = false;
    size_t n = Nucleus(s, i, mark, vowel);
    if (n == 0) {
      out.push_back(s[i++]);
      continue;
    }
    out.append(s, i, n);
    i += n;
    bool letter_next = i < s.size() && IsLetter(s[i]);
    if (letter_next) {
      out.push_back('#');
    } else if (vowel && i < s.size()) {
      out.push_back(s[i++]);  // the mark itself, when the nucleus stands right before it
    }
  }
  out.append(s, mark + 1, std::string::npos);
  s = std::move(out);
}

}  // namespace

std::string EncodePhonetic(std::string_view transcription) {
  std::string s(transcription);
  MarkStress(s);
  MarkSyllabicConsonants(s);
  for (char& c : s) {
    if (c == '\\') c = '(';
  }
  CloseLaterSyllables(s);
  CloseEarlierSyllables(s);
  return s;
}

}  // namespace Quellmar::dictionary
