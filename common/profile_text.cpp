#include "common/profile_text.h"

#include <cstdint>

namespace Quellmar {
namespace {

bool IsBlank(wchar_t c) {
  return c == L' ' || c == L'\t' || c == L'\r' || c == L'\v' || c == L'\f';
}

std::wstring_view Trim(std::wstring_view s) {
  while (!s.empty() && IsBlank(s.front())) s.remove_prefix(1);
  while (!s.empty() && IsBlank(s.back())) s.remove_suffix(1);
  return s;
}

wchar_t Fold(wchar_t c) { return (c >= L'a' && c <= L'z') ? c - L'a' + L'A' : c; }

bool SameName(std::wstring_view a, std::wstring_view b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i) {
    if (Fold(a[i]) != Fold(b[i])) return false;
  }
  return true;
}

int Digit(wchar_t c, unsigned base) {
  unsigned d;
  if (c >= L'0' && c <= L'9') {
    d = static_cast<unsigned>(c - L'0');
  } else if (c >= L'a' && c <= L'f') {
    d = static_cast<unsigned>(c - L'a' + 10);
  } else if (c >= L'A' && c <= L'F') {
    d = static_cast<unsigned>(c - L'A' + 10);
  } else {
    return -1;
  }
  return d < base ? static_cast<int>(d) : -1;
}

}  // namespace

ProfileText::ProfileText(std::wstring_view text) {
  std::wstring section;
  while (!text.empty()) {
    size_t eol = text.find(L'\n');
    std::wstring_view line = Trim(text.substr(0, eol));
    text.remove_prefix(eol == std::wstring_view::npos ? text.size() : eol + 1);
    if (line.empty()) continue;
    if (line.front() == L'[') {
      line.remove_prefix(1);
      size_t close = line.rfind(L']');
      section.assign(Trim(line.substr(0, close)));
      continue;
    }
    size_t eq = line.find(L'=');
    Entry e{section, std::wstring(Trim(line.substr(0, eq))), {}, eq != std::wstring_view::npos};
    if (e.has_value) {
      std::wstring_view value = Trim(line.substr(eq + 1));
      if (value.size() >= 2 && (value.front() == L'"' || value.front() == L'\'') &&
          value.back() == value.front()) {
        value = value.substr(1, value.size() - 2);
      }
      e.value.assign(value.substr(0, kEngineSettingsValueChars - 1));
    }
    entries_.push_back(std::move(e));
  }
}

const ProfileText::Entry* ProfileText::Find(const wchar_t* section, const wchar_t* key) const {
  for (const Entry& e : entries_) {
    if (SameName(e.section, section) && SameName(e.key, key)) return &e;
  }
  return nullptr;
}

std::wstring ProfileText::String(const wchar_t* section, const wchar_t* key) const {
  const Entry* e = Find(section, key);
  return e ? e->value : std::wstring();
}

int32_t ProfileText::Int(const wchar_t* section, const wchar_t* key, int32_t fallback) const {
  const Entry* e = Find(section, key);
  if (!e || e->value.empty()) return fallback;
  std::wstring_view v = e->value;
  while (!v.empty() && IsBlank(v.front())) v.remove_prefix(1);
  bool negative = false;
  if (!v.empty() && (v.front() == L'-' || v.front() == L'+')) {
    negative = v.front() == L'-';
    v.remove_prefix(1);
  }
  unsigned base = 10;
  if (v.size() >= 2 && v[0] == L'0') {
    const wchar_t p = v[1];
    base = (p == L'x' || p == L'X')   ? 16
           : (p == L'o' || p == L'O') ? 8
           : (p == L'b' || p == L'B') ? 2
                                      : 10;
    if (base != 10) v.remove_prefix(2);
  }
  uint32_t result = 0;
  for (wchar_t c : v) {
    int d = Digit(c, base);
    if (d < 0) break;
    result = result * base + static_cast<uint32_t>(d);
  }
  if (negative) result = 0u - result;
  return static_cast<int32_t>(result);
}

}  // namespace Quellmar
