#include "common/text_prep.h"

#include "common/text_platform.h"

namespace Quellmar {
namespace {

struct PunctuationRow {
  wchar_t unit;
  const wchar_t* name;
};

constexpr PunctuationRow kPunctuationNames[] = {
    {L'.', L" dot "},         {L',', L" comma "},         {L';', L" semicolon "},
    {L':', L" colon "},       {L'?', L" question mark "}, {L'!', L" exclamation "},
    {L'\'', L" apostrophe "}, {L'"', L" quote "},         {L'(', L" left paren "},
    {L')', L" right paren "}, {L'[', L" left bracket "},  {L']', L" right bracket "},
    {L'{', L" left brace "},  {L'}', L" right brace "},   {L'-', L" dash "},
    {L'_', L" underscore "},  {L'/', L" slash "},         {L'\\', L" backslash "},
    {L'@', L" at "},          {L'#', L" number "},        {L'$', L" dollar "},
    {L'%', L" percent "},     {L'^', L" caret "},         {L'&', L" and "},
    {L'*', L" star "},        {L'+', L" plus "},          {L'=', L" equals "},
    {L'<', L" less than "},   {L'>', L" greater than "},  {L'|', L" pipe "},
    {L'~', L" tilde "},       {L'`', L" backtick "},
};

// A null replacement keeps the character; an empty one removes it.
struct FoldRow {
  wchar_t unit;
  const wchar_t* replacement;
};

constexpr FoldRow kFolding[] = {
    {0x2018, L"'"},
    {0x2019, L"'"},
    {0x201A, L","},
    {0x201C, L"\""},
    {0x201D, L"\""},
    {0x201E, L"\""},
    {0x2013, L"-"},
    {0x2014, L" - "},
    {0x2015, L" - "},
    {0x2026, L"..."},
    {0x2032, L"'"},
    {0x2033, L"\""},
    {0x00A0, L" "},
    {0x2007, L" "},
    {0x202F, L" "},
    {0x200B, L""},
    {0x200E, L""},
    {0x200F, L""},
    {0xFEFF, L""},
    {0x2022, L" "},
    {0x00B7, L" "},
    {0x2010, L"-"},
    {0x2011, L"-"},
    {0x00AB, L"\""},
    {0x00BB, L"\""},
    {0x0152, L"OE"},
    {0x0153, L"oe"},
    {0x00C6, L"AE"},
    {0x00E6, L"ae"},
    {0x00DF, L"ss"},
    {0x0178, L"Y"},
    {0x0160, L"S"},
    {0x0161, L"s"},
    {0x017D, L"Z"},
    {0x017E, L"z"},
    {0x20AC, L" euros "},
    {0x00A9, L" copyright "},
    {0x00AE, L" registered "},
    {0x2122, L" trademark "},
    {0x00B0, L" degrees "},
    {0x00BD, L" one half "},
    {0x00BC, L" one quarter "},
    {0x00BE, L" three quarters "},
    {0x00D7, L" times "},
    {0x00F7, L" divided by "},
};

constexpr size_t kFoldReserve = 16;

const FoldRow* FoldingFor(wchar_t c) {
  for (const FoldRow& row : kFolding) {
    if (row.unit == c) return &row;
  }
  return nullptr;
}

bool IsSentenceEnd(wchar_t c) { return c == L'.' || c == L'!' || c == L'?'; }
bool IsClauseEnd(wchar_t c) { return c == L';' || c == L':' || c == L','; }

}  // namespace

bool IsWhiteSpaceUnit(wchar_t c) {
  if (static_cast<unsigned long>(c) < 0x100) {
    return (c >= 0x09 && c <= 0x0D) || c == 0x20 || c == 0x85 || c == 0xA0;
  }
  return text_platform::IsSpaceType(c);
}

bool IsLetterOrDigitUnit(wchar_t c) {
  if (static_cast<unsigned long>(c) < 0x100) {
    if ((c >= L'a' && c <= L'z') || (c >= L'A' && c <= L'Z') || (c >= L'0' && c <= L'9')) {
      return true;
    }
    if (c >= 0xC0) return c != 0xD7 && c != 0xF7;
    return c == 0xAA || c == 0xB2 || c == 0xB3 || c == 0xB5 || c == 0xB9 || c == 0xBA;
  }
  return text_platform::IsLetterOrDigitType(c);
}

wchar_t UpperCaseAscii(wchar_t c) { return (c >= L'a' && c <= L'z') ? c - L'a' + L'A' : c; }

const wchar_t* PunctuationName(wchar_t c) {
  for (const PunctuationRow& row : kPunctuationNames) {
    if (row.unit == c) return row.name;
  }
  return nullptr;
}

std::wstring CollapseWhitespace(const std::wstring& text) {
  std::wstring out;
  out.reserve(text.size());
  bool pending_space = false;
  for (wchar_t c : text) {
    const auto u = static_cast<unsigned long>(c);
    if (u <= 0x08 || (u >= 0x0E && u <= 0x1F) || u == 0x7F) continue;
    if ((u >= 0x09 && u <= 0x0D) || u == 0x20) {
      if (!out.empty()) pending_space = true;
      continue;
    }
    if (pending_space) out.push_back(L' ');
    out.push_back(c);
    pending_space = false;
  }
  return out;
}

std::wstring SpellOut(const std::wstring& text) {
  std::wstring out;
  out.reserve(text.size() * 2);
  for (wchar_t c : text) {
    if (IsWhiteSpaceUnit(c)) continue;
    if (!out.empty()) out.push_back(L' ');
    out.push_back(UpperCaseAscii(c));
  }
  return out;
}

std::wstring NamePunctuation(const std::wstring& text) {
  std::wstring out;
  out.reserve(text.size() * 3);
  for (wchar_t c : text) {
    if (const wchar_t* name = PunctuationName(c)) {
      out += name;
    } else {
      out.push_back(c);
    }
  }
  return out;
}

std::vector<std::wstring> SplitIntoChunks(const std::wstring& text, size_t limit) {
  std::vector<std::wstring> chunks;
  const size_t n = text.size();
  // With no room for a single unit no cut could make progress.
  if (limit == 0) limit = 1;
  if (n <= limit) {
    if (n > 0) chunks.push_back(text);
    return chunks;
  }
  const size_t q = limit / 4;
  size_t start = 0;
  for (;;) {
    const size_t end = start + limit;  // < n: more than `limit` units remain
    size_t p = 0;
    // Sentence and clause ends only count beyond the first quarter, so that
    // every such chunk is a reasonable length.
    for (size_t i = end; i > start + q; --i) {
      if (IsSentenceEnd(text[i - 1]) && (i == n || IsWhiteSpaceUnit(text[i]))) {
        p = i;
        break;
      }
    }
    if (p == 0) {
      for (size_t i = end; i > start + q; --i) {
        if (IsClauseEnd(text[i - 1])) {
          p = i;
          break;
        }
      }
    }
    if (p == 0) {
      // The unit just past the chunk counts: a space there ends a full chunk.
      for (size_t i = end; i > start; --i) {
        if (text[i] == L' ') {
          p = i;
          break;
        }
      }
    }
    if (p == 0) p = end;

    size_t first = start, last = p;
    while (first < last && text[first] == L' ') ++first;
    while (last > first && text[last - 1] == L' ') --last;
    if (last > first) chunks.emplace_back(text, first, last - first);

    size_t next = p;
    while (next < n && text[next] == L' ') ++next;
    if (next >= n) break;
    if (n - next <= limit) {
      chunks.emplace_back(text, next, n - next);
      break;
    }
    start = next;
  }
  return chunks;
}

std::string ToEngineText(const std::wstring& text) {
  if (text.empty()) return {};
  std::wstring folded;
  folded.reserve(text.size() + kFoldReserve);
  for (wchar_t c : text) {
    const FoldRow* row = FoldingFor(c);
    if (row && row->replacement) {
      folded += row->replacement;
    } else {
      folded.push_back(c);
    }
  }
  return text_platform::ToCodePage1252(folded);
}

}  // namespace Quellmar
