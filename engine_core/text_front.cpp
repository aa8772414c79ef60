#include "engine_core/text_front.h"

#include <array>
#include <cstring>

namespace Quellmar::engine_core {
namespace {

constexpr size_t kMaxTagName = 16;
constexpr size_t kMaxTagValue = 32;
constexpr size_t kMaxNumberDigits = 15;

bool IsAsciiLetter(unsigned char c) { return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z'); }
bool IsDigit(unsigned char c) { return c >= '0' && c <= '9'; }
char Lower(unsigned char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c + 32) : c; }
bool IsUpper(unsigned char c) { return c >= 'A' && c <= 'Z'; }

// Windows-1252 letters above 0x7F read as the plain letter they carry, so
// that "café" and "naïve" are spoken rather than skipped. 0 for non-letters.
char FoldLetter(unsigned char c) {
  if (c < 0x80) return IsAsciiLetter(c) ? static_cast<char>(c) : 0;
  switch (c) {
    case 0x8A: return 'S';
    case 0x8C: return 'O';
    case 0x8E: return 'Z';
    case 0x9A: return 's';
    case 0x9C: return 'o';
    case 0x9E: return 'z';
    case 0x9F: return 'Y';
    default: break;
  }
  if (c < 0xC0) return 0;
  static const char kUpper[] = "AAAAAAACEEEEIIIIDNOOOOOxOUUUUYTs";
  static const char kLower[] = "aaaaaaaceeeeiiiidnooooo/ouuuuyty";
  char r = c < 0xE0 ? kUpper[c - 0xC0] : kLower[c - 0xE0];
  return IsAsciiLetter(static_cast<unsigned char>(r)) ? r : 0;
}

struct Abbreviation {
  const char* key;
  const char* expansion;
  bool title;  // stands before a name: its period never ends a sentence
};

constexpr Abbreviation kAbbreviations[] = {
    {"mr", "mister", true},       {"mrs", "missus", true},      {"ms", "miz", true},
    {"dr", "doctor", true},       {"prof", "professor", true},  {"st", "saint", true},
    {"mt", "mount", true},        {"gen", "general", true},     {"col", "colonel", true},
    {"capt", "captain", true},    {"lt", "lieutenant", true},   {"sgt", "sergeant", true},
    {"rev", "reverend", true},    {"jr", "junior", false},      {"sr", "senior", false},
    {"vs", "versus", false},      {"etc", "et cetera", false},  {"approx", "approximately", false},
    {"dept", "department", false}, {"inc", "incorporated", false}, {"ltd", "limited", false},
    {"corp", "corporation", false}, {"ave", "avenue", false},   {"blvd", "boulevard", false},
    {"rd", "road", false},        {"jan", "january", false},    {"feb", "february", false},
    {"mar", "march", false},      {"apr", "april", false},      {"jun", "june", false},
    {"jul", "july", false},       {"aug", "august", false},     {"sep", "september", false},
    {"sept", "september", false}, {"oct", "october", false},    {"nov", "november", false},
    {"dec", "december", false},   {"fig", "figure", false},     {"hrs", "hours", false},
    {"min", "minutes", false},    {"no", "number", true},
};

// Units read out only right after a number ("5 km").
constexpr Abbreviation kUnits[] = {
    {"km", "kilometers", false}, {"kg", "kilograms", false}, {"cm", "centimeters", false},
    {"mm", "millimeters", false}, {"ms", "milliseconds", false}, {"mph", "miles per hour", false},
    {"lb", "pounds", false},     {"lbs", "pounds", false},     {"oz", "ounces", false},
    {"ft", "feet", false},       {"kb", "kilobytes", false},   {"mb", "megabytes", false},
    {"gb", "gigabytes", false},  {"hz", "hertz", false},       {"khz", "kilohertz", false},
};

// Words that are written in capitals but said as words, not spelled.
constexpr const char* kCapitalWords[] = {"a", "i", "ok", "oh", "no", "yes", "on", "off", "up",
                                         "go", "to", "at", "in", "is", "it", "we", "us", "me",
                                         "my", "he", "be", "an", "and", "the", "for", "of",
                                         "or", "so", "do", "new", "you", "are", "not", "all"};

bool HasVowelLetter(std::string_view w) {
  for (char c : w) {
    if (std::strchr("aeiouy", c) != nullptr) return true;
  }
  return false;
}

const char* const kOnes[] = {"zero",    "one",     "two",       "three",    "four",
                             "five",    "six",     "seven",     "eight",    "nine",
                             "ten",     "eleven",  "twelve",    "thirteen", "fourteen",
                             "fifteen", "sixteen", "seventeen", "eighteen", "nineteen"};
const char* const kTens[] = {"",      "",      "twenty",  "thirty", "forty",
                             "fifty", "sixty", "seventy", "eighty", "ninety"};

void Under1000(unsigned n, std::vector<std::string>& out) {
  if (n >= 100) {
    out.emplace_back(kOnes[n / 100]);
    out.emplace_back("hundred");
    n %= 100;
  }
  if (n >= 20) {
    out.emplace_back(kTens[n / 10]);
    if (n % 10) out.emplace_back(kOnes[n % 10]);
  } else if (n > 0) {
    out.emplace_back(kOnes[n]);
  }
}

std::string Ordinal(const std::string& w) {
  static const std::pair<const char*, const char*> kIrregular[] = {
      {"one", "first"}, {"two", "second"}, {"three", "third"}, {"five", "fifth"},
      {"eight", "eighth"}, {"nine", "ninth"}, {"twelve", "twelfth"}};
  for (auto& [a, b] : kIrregular) {
    if (w == a) return b;
  }
  if (!w.empty() && w.back() == 'y') return w.substr(0, w.size() - 1) + "ieth";
  return w + "th";
}

std::string Plural(const std::string& w) {
  if (!w.empty() && w.back() == 'y') return w.substr(0, w.size() - 1) + "ies";
  if (w == "six") return "sixes";
  return w + "s";
}

// Builds sentences, keeping every phrase and sentence within its limits.
class Builder {
 public:
  void AddWord(std::string_view w, bool spell) {
    while (w.size() > kMaxWordLetters) {
      AddOne(w.substr(0, kMaxWordLetters), spell);
      w.remove_prefix(kMaxWordLetters);
    }
    if (!w.empty()) AddOne(w, spell);
  }
  void AddWords(const std::vector<std::string>& ws) {
    for (const auto& w : ws) AddWord(w, false);
  }
  // A word of the user dictionary: whole, however long, spoken as encoded.
  void AddPronounced(std::string_view w, std::string encoded) {
    AddOne(w, false);
    phrase_.words.back().phonetic = std::move(encoded);
  }

  void AddBreak(Break b) {
    if (phrase_.words.empty()) {
      // Punctuation after punctuation: the stronger break wins.
      if (!sentence_.phrases.empty() && b > sentence_.phrases.back().end)
        sentence_.phrases.back().end = b;
      if (EndsSentence(b)) EndSentence();
      return;
    }
    phrase_.end = b;
    sentence_.phrases.push_back(std::move(phrase_));
    phrase_ = Phrase{};
    if (EndsSentence(b)) EndSentence();
  }

  bool InWord() const { return !phrase_.words.empty(); }
  size_t PhraseWords() const { return phrase_.words.size(); }

  std::vector<Sentence> Finish() {
    if (!phrase_.words.empty()) AddBreak(Break::kNone);
    EndSentence();
    return std::move(out_);
  }

 private:
  void AddOne(std::string_view w, bool spell) {
    if (phrase_.words.size() >= kMaxPhraseWords) AddBreak(Break::kWord);
    if (sentence_words_ >= kMaxSentenceWords) {
      if (!phrase_.words.empty()) AddBreak(Break::kWord);
      EndSentence();
    }
    phrase_.words.push_back(Word{std::string(w), spell, {}});
    ++sentence_words_;
  }
  void EndSentence() {
    if (!phrase_.words.empty()) {
      sentence_.phrases.push_back(std::move(phrase_));
      phrase_ = Phrase{};
    }
    if (!sentence_.phrases.empty()) out_.push_back(std::move(sentence_));
    sentence_ = Sentence{};
    sentence_words_ = 0;
  }

  std::vector<Sentence> out_;
  Sentence sentence_;
  Phrase phrase_;
  size_t sentence_words_ = 0;
};

class Reader {
 public:
  Reader(std::string_view text, const WordLookup* user) : t_(text), user_(user) {}

  std::vector<Sentence> Run() {
    while (i_ < t_.size()) Step();
    return b_.Finish();
  }

 private:
  unsigned char At(size_t k) const { return k < t_.size() ? static_cast<unsigned char>(t_[k]) : 0; }
  bool SpaceOrEnd(size_t k) const {
    unsigned char c = At(k);
    return c == 0 || c == ' ' || c == '\t' || c == '\r' || c == '\n' || c == '"' || c == ')' ||
           c == '\'' || c == 0x94 || c == 0x92 || c == 0xA0;
  }
  size_t SkipSpace(size_t k) const {
    while (k < t_.size() && (At(k) == ' ' || At(k) == '\t' || At(k) == '\r' || At(k) == '\n' ||
                             At(k) == '"' || At(k) == 0x93 || At(k) == 0x94 || At(k) == 0xA0))
      ++k;
    return k;
  }

  void Step() {
    unsigned char c = At(i_);
    if (user_ != nullptr && UserToken()) return;
    if (IsDigit(c)) return Number(false, false);
    if (FoldLetter(c)) return Letters();
    switch (c) {
      case '.':
        if (At(i_ + 1) == '.') {  // an ellipsis is a hesitation
          while (At(i_) == '.') ++i_;
          return b_.AddBreak(Break::kComma);
        }
        ++i_;
        if (SpaceOrEnd(i_)) return b_.AddBreak(Break::kSentence);
        if (IsDigit(At(i_)) && !b_.InWord()) {
          b_.AddWord("point", false);
          return Number(false, false);
        }
        if (b_.InWord() && FoldLetter(At(i_))) return b_.AddWord("dot", false);
        return;
      case '!': ++i_; return b_.AddBreak(Break::kExclaim);
      case '?': ++i_; return b_.AddBreak(Break::kQuestion);
      case ',': ++i_; return b_.AddBreak(Break::kComma);
      case ';':
      case ':': ++i_; return b_.AddBreak(Break::kClause);
      case '(': case ')': case '[': case ']': case '{': case '}':
      case 0x85: case 0x96: case 0x97:
        ++i_;
        return b_.AddBreak(Break::kComma);
      case '-':
        if (IsDigit(At(i_ + 1)) && (i_ == 0 || SpaceOrEnd(i_ - 1))) {
          ++i_;
          return Number(true, false);
        }
        if (At(i_ + 1) == '-' || (i_ > 0 && SpaceOrEnd(i_ - 1) && SpaceOrEnd(i_ + 1))) {
          while (At(i_) == '-') ++i_;
          return b_.AddBreak(Break::kComma);
        }
        ++i_;
        return;
      case '$':
        ++i_;
        if (IsDigit(At(i_))) return Number(false, true);
        return b_.AddWord("dollars", false);
      case '#':
        ++i_;
        return b_.AddWord(IsDigit(At(i_)) ? "number" : "hash", false);
      case '&': ++i_; return b_.AddWord("and", false);
      case '@': ++i_; return b_.AddWord("at", false);
      case '%': ++i_; return b_.AddWord("percent", false);
      case '+': ++i_; return b_.AddWord("plus", false);
      case '=': ++i_; return b_.AddWord("equals", false);
      case '*': ++i_; return b_.AddWord("star", false);
      case '/': ++i_; return b_.AddWord("slash", false);
      case '<': ++i_; return b_.AddWords({"less", "than"});
      case '>': ++i_; return b_.AddWords({"greater", "than"});
      case 0x80: ++i_; return b_.AddWord("euros", false);
      case 0xA3: ++i_; return b_.AddWord("pounds", false);
      case 0xB0: ++i_; return b_.AddWord("degrees", false);
      default: ++i_; return;  // white space and everything silent
    }
  }

  // A run of letters (with apostrophes inside it), then what follows it.
  void Letters() {
    const size_t start = i_;
    std::string raw;
    while (i_ < t_.size()) {
      unsigned char c = At(i_);
      char f = FoldLetter(c);
      if (f) {
        raw.push_back(f);
        ++i_;
      } else if ((c == '\'' || c == 0x92) && FoldLetter(At(i_ + 1)) && !raw.empty()) {
        raw.push_back('\'');
        ++i_;
      } else {
        break;
      }
    }
    std::string lower;
    bool all_caps = true;
    for (char ch : raw) {
      lower.push_back(Lower(static_cast<unsigned char>(ch)));
      if (ch != '\'' && !IsUpper(static_cast<unsigned char>(ch))) all_caps = false;
    }

    // Dotted initials: "U.S.A.", "e.g.", "a.m.".
    if (lower.size() == 1 && At(i_) == '.' && FoldLetter(At(i_ + 1)) && At(i_ + 2) == '.') {
      std::string letters = lower;
      size_t k = i_;
      while (At(k) == '.' && FoldLetter(At(k + 1)) && !FoldLetter(At(k + 2))) {
        letters.push_back(Lower(static_cast<unsigned char>(FoldLetter(At(k + 1)))));
        k += 2;
      }
      if (At(k) == '.') ++k;
      i_ = k;
      if (letters == "eg") return b_.AddWords({"for", "example"});
      if (letters == "ie") return b_.AddWords({"that", "is"});
      for (char ch : letters) b_.AddWord(std::string(1, ch), true);
      return;
    }

    if (user_ != nullptr && UserWord(t_.substr(start, i_ - start), lower)) return;

    if (after_number_) {
      for (const auto& u : kUnits) {
        if (lower == u.key && !FoldLetter(At(i_))) {
          after_number_ = false;
          return AddPhrase(u.expansion);
        }
      }
    }
    after_number_ = false;

    bool period = At(i_) == '.';
    for (const auto& a : kAbbreviations) {
      if (lower != a.key) continue;
      bool expand;
      if (std::strcmp(a.key, "no") == 0) {
        // "No. 5" is a number sign; "no." elsewhere is the word.
        expand = period && IsDigit(At(SkipSpace(i_ + 1)));
      } else if (period) {
        expand = true;
      } else {
        expand = (a.title && std::strcmp(a.key, "st") != 0) || std::strcmp(a.key, "vs") == 0;
      }
      if (!expand) break;
      if (period) {
        ++i_;
        size_t next = SkipSpace(i_);
        bool sentence_end = !a.title && (next >= t_.size() || IsUpper(At(next)));
        AddPhrase(a.expansion);
        if (sentence_end) b_.AddBreak(Break::kSentence);
        return;
      }
      return AddPhrase(a.expansion);
    }

    bool spell = false;
    if (!HasVowelLetter(lower)) {
      spell = true;
    } else if (all_caps && lower.size() >= 2 && lower.size() <= 3) {
      spell = true;
      for (const char* w : kCapitalWords) {
        if (lower == w) spell = false;
      }
    }
    if (lower.size() == 1 && lower != "a" && lower != "i") spell = true;
    if (spell) {
      for (char ch : lower) {
        if (ch != '\'') b_.AddWord(std::string(1, ch), true);
      }
    } else {
      b_.AddWord(lower, false);
    }
  }

  // A word of the user dictionary that holds digits, hyphens or full stops
  // ("3d", "x-ray", "r2d2") or starts with an apostrophe, which the rules
  // below would take apart: the longest such run at the start of a word,
  // without the full stops, hyphens and apostrophes that end it.
  static bool TokenChar(unsigned char c) {
    return FoldLetter(c) || IsDigit(c) || c == '\'' || c == '-' || c == '.';
  }
  bool UserToken() {
    if (!TokenChar(At(i_)) || (i_ > 0 && TokenChar(At(i_ - 1)))) return false;
    size_t end = i_;
    bool special = At(i_) == '\'';
    while (end < t_.size() && TokenChar(At(end))) {
      if (!FoldLetter(At(end)) && At(end) != '\'') special = true;
      ++end;
    }
    while (end > i_ && (At(end - 1) == '.' || At(end - 1) == '-' || At(end - 1) == '\'')) --end;
    if (!special || end == i_) return false;
    std::string_view token = t_.substr(i_, end - i_);
    std::string encoded;
    if (!user_->Find(token, encoded) || encoded.empty()) return false;
    std::string lower;
    for (char ch : token) lower.push_back(Lower(static_cast<unsigned char>(ch)));
    i_ = end;
    after_number_ = false;
    b_.AddPronounced(lower, std::move(encoded));
    return true;
  }

  // The run of letters as the text writes it, looked up in the user
  // dictionary (a typographic apostrophe reads as a plain one).
  bool UserWord(std::string_view run, const std::string& lower) {
    std::string written(run);
    for (char& c : written) {
      if (static_cast<unsigned char>(c) == 0x92) c = '\'';
    }
    std::string encoded;
    if (!user_->Find(written, encoded) || encoded.empty()) return false;
    after_number_ = false;
    b_.AddPronounced(lower, std::move(encoded));
    return true;
  }

  void AddPhrase(const char* words) {
    std::string_view s(words);
    while (!s.empty()) {
      size_t sp = s.find(' ');
      b_.AddWord(s.substr(0, sp), false);
      if (sp == std::string_view::npos) break;
      s.remove_prefix(sp + 1);
    }
  }

  void Digits(std::string_view digits) {
    for (char d : digits) b_.AddWord(kOnes[d - '0'], false);
  }

  void Number(bool negative, bool currency) {
    std::string integer;
    bool grouped = false;
    while (i_ < t_.size()) {
      if (IsDigit(At(i_))) {
        integer.push_back(static_cast<char>(At(i_++)));
      } else if (At(i_) == ',' && !integer.empty() && IsDigit(At(i_ + 1)) &&
                 IsDigit(At(i_ + 2)) && IsDigit(At(i_ + 3)) && !IsDigit(At(i_ + 4))) {
        grouped = true;
        ++i_;
      } else {
        break;
      }
    }
    std::string fraction;
    if (At(i_) == '.' && IsDigit(At(i_ + 1))) {
      ++i_;
      while (IsDigit(At(i_))) fraction.push_back(static_cast<char>(At(i_++)));
    }
    if (negative) b_.AddWord("minus", false);

    // Clock times: "10:30".
    if (!grouped && fraction.empty() && !currency && integer.size() <= 2 && At(i_) == ':' &&
        IsDigit(At(i_ + 1)) && IsDigit(At(i_ + 2)) && !IsDigit(At(i_ + 3))) {
      unsigned hours = static_cast<unsigned>(std::stoul(integer));
      unsigned minutes = (At(i_ + 1) - '0') * 10u + (At(i_ + 2) - '0');
      i_ += 3;
      b_.AddWords(NumberWords(hours));
      if (minutes == 0) {
        b_.AddWord("o'clock", false);
      } else {
        if (minutes < 10) b_.AddWord("oh", false);
        b_.AddWords(NumberWords(minutes));
      }
      after_number_ = true;
      return;
    }

    std::vector<std::string> words;
    bool plain = true;  // read as one number (not digit by digit)
    if (integer.size() > kMaxNumberDigits || (integer.size() > 1 && integer[0] == '0')) {
      plain = false;
    }
    if (plain) {
      uint64_t n = std::stoull(integer);
      if (!grouped && fraction.empty() && !currency && !negative && integer.size() == 4 &&
          ((n >= 1100 && n <= 1999) || (n >= 2010 && n <= 2099))) {
        Under1000(static_cast<unsigned>(n / 100), words);
        unsigned rest = static_cast<unsigned>(n % 100);
        if (rest == 0) {
          words.emplace_back("hundred");
        } else {
          if (rest < 10) words.emplace_back("oh");
          Under1000(rest, words);
        }
      } else {
        words = NumberWords(n);
      }
    }

    // Suffixes written onto the number: "1st", "3rd", "1990s".
    std::string suffix;
    for (size_t k = i_; k < t_.size() && IsAsciiLetter(At(k)) && suffix.size() < 3; ++k)
      suffix.push_back(Lower(At(k)));
    bool suffix_alone = !FoldLetter(At(i_ + suffix.size()));
    if (plain && fraction.empty() && suffix_alone &&
        (suffix == "st" || suffix == "nd" || suffix == "rd" || suffix == "th")) {
      words.back() = Ordinal(words.back());
      i_ += 2;
    } else if (plain && fraction.empty() && suffix_alone && suffix == "s") {
      words.back() = Plural(words.back());
      i_ += 1;
    }

    if (plain) {
      b_.AddWords(words);
    } else {
      Digits(integer);
    }
    if (currency) {
      bool one = plain && integer == "1";
      b_.AddWord(one ? "dollar" : "dollars", false);
      if (!fraction.empty() && fraction.size() <= 2) {
        unsigned cents = static_cast<unsigned>(std::stoul(fraction));
        if (fraction.size() == 1) cents *= 10;
        if (cents) {
          b_.AddWord("and", false);
          b_.AddWords(NumberWords(cents));
          b_.AddWord(cents == 1 ? "cent" : "cents", false);
        }
        fraction.clear();
      }
    }
    if (!fraction.empty()) {
      b_.AddWord("point", false);
      Digits(fraction);
    }
    after_number_ = true;
  }

  std::string_view t_;
  const WordLookup* user_;
  size_t i_ = 0;
  bool after_number_ = false;
  Builder b_;
};

}  // namespace

std::vector<std::string> NumberWords(uint64_t n) {
  std::vector<std::string> out;
  if (n == 0) {
    out.emplace_back("zero");
    return out;
  }
  static const char* const kScales[] = {"trillion", "billion", "million", "thousand"};
  uint64_t div = 1000000000000ULL;
  for (const char* scale : kScales) {
    unsigned part = static_cast<unsigned>((n / div) % 1000);
    if (part) {
      Under1000(part, out);
      out.emplace_back(scale);
    }
    div /= 1000;
  }
  if (n >= 1000000000000000ULL) {  // beyond the scales: read the leading part as digits
    out.clear();
    for (char d : std::to_string(n)) out.emplace_back(kOnes[d - '0']);
    return out;
  }
  Under1000(static_cast<unsigned>(n % 1000), out);
  return out;
}

std::string RemoveTags(std::string_view text) {
  std::string out;
  out.reserve(text.size());
  size_t i = 0;
  while (i < text.size()) {
    if (text[i] == '\\') {
      size_t k = i + 1;
      while (k < text.size() && k - (i + 1) < kMaxTagName &&
             IsAsciiLetter(static_cast<unsigned char>(text[k])))
        ++k;
      if (k > i + 1 && k < text.size() && text[k] == '=') {
        size_t v = k + 1;
        while (v < text.size() && v - (k + 1) <= kMaxTagValue && text[v] != '\\' &&
               text[v] != '\n' && text[v] != '\r')
          ++v;
        if (v < text.size() && text[v] == '\\' && v - (k + 1) <= kMaxTagValue) {
          out.push_back(' ');
          i = v + 1;
          continue;
        }
      }
    }
    out.push_back(text[i]);
    ++i;
  }
  return out;
}

std::vector<Sentence> Normalize(std::string_view text, bool tags, const WordLookup* user) {
  if (tags) {
    std::string stripped = RemoveTags(text);
    return Reader(stripped, user).Run();
  }
  return Reader(text, user).Run();
}

bool HasSpeech(std::string_view text) { return !Normalize(text, false).empty(); }

}  // namespace Quellmar::engine_core
