#include "common/profile_edit.h"

#include <cstdint>
#include <vector>

namespace Quellmar {
namespace {

// The file as a sequence of code units after its byte-order mark; edits are
// spliced into the original bytes, so nothing else is ever re-encoded.
class UnitText {
 public:
  explicit UnitText(std::string_view file) : file_(file) {
    auto at = [&](size_t i) { return static_cast<unsigned char>(file[i]); };
    if (file.size() >= 2 && at(0) == 0xFF && at(1) == 0xFE) {
      width_ = 2;
      mark_ = 2;
    } else if (file.size() >= 2 && at(0) == 0xFE && at(1) == 0xFF) {
      width_ = 2;
      mark_ = 2;
      big_endian_ = true;
    } else if (file.size() >= 3 && at(0) == 0xEF && at(1) == 0xBB && at(2) == 0xBF) {
      mark_ = 3;
    }
    for (size_t i = mark_; i + width_ <= file.size(); i += width_) {
      if (width_ == 1) {
        units_.push_back(at(i));
      } else {
        units_.push_back(big_endian_ ? (at(i) << 8 | at(i + 1)) : (at(i) | at(i + 1) << 8));
      }
    }
  }

  size_t size() const { return units_.size(); }
  uint16_t operator[](size_t i) const { return units_[i]; }

  // The line ending the file uses first; CR LF in a file without one.
  std::wstring LineEnd() const {
    for (size_t i = 0; i < units_.size(); ++i) {
      if (units_[i] == L'\n') return i > 0 && units_[i - 1] == L'\r' ? L"\r\n" : L"\n";
    }
    return L"\r\n";
  }

  // The file with the units [from, to) replaced by the ASCII `text`.
  std::string Splice(size_t from, size_t to, std::wstring_view text) const {
    std::string out(file_.substr(0, mark_ + from * width_));
    for (wchar_t c : text) {
      const char unit = static_cast<char>(c);
      if (width_ == 1) {
        out.push_back(unit);
      } else if (big_endian_) {
        out.push_back('\0');
        out.push_back(unit);
      } else {
        out.push_back(unit);
        out.push_back('\0');
      }
    }
    out.append(file_.substr(mark_ + to * width_));
    return out;
  }

 private:
  std::string_view file_;
  std::vector<uint16_t> units_;
  size_t width_ = 1;
  size_t mark_ = 0;
  bool big_endian_ = false;
};

bool IsBlank(uint16_t c) {
  return c == L' ' || c == L'\t' || c == L'\r' || c == L'\v' || c == L'\f';
}

uint16_t Fold(uint16_t c) { return (c >= L'a' && c <= L'z') ? c - L'a' + L'A' : c; }

struct Span {
  size_t begin;
  size_t end;
};

Span Trim(const UnitText& t, Span s) {
  while (s.begin < s.end && IsBlank(t[s.begin])) ++s.begin;
  while (s.end > s.begin && IsBlank(t[s.end - 1])) --s.end;
  return s;
}

bool SameName(const UnitText& t, Span s, std::wstring_view name) {
  if (s.end - s.begin != name.size()) return false;
  for (size_t i = 0; i < name.size(); ++i) {
    if (Fold(t[s.begin + i]) != Fold(static_cast<uint16_t>(name[i]))) return false;
  }
  return true;
}

size_t Find(const UnitText& t, Span s, uint16_t c) {
  for (size_t i = s.begin; i < s.end; ++i) {
    if (t[i] == c) return i;
  }
  return s.end;
}

// The value part of a key line, inside its quotes when it has a matching pair.
Span ValueOf(const UnitText& t, Span line, size_t equals) {
  Span v = Trim(t, {equals + 1, line.end});
  if (v.end - v.begin >= 2 && (t[v.begin] == L'"' || t[v.begin] == L'\'') &&
      t[v.end - 1] == t[v.begin]) {
    return {v.begin + 1, v.end - 1};
  }
  return v;
}

}  // namespace

std::string WithProfileValue(std::string_view file, std::wstring_view section,
                             std::wstring_view key, std::wstring_view value) {
  const UnitText t(file);
  const std::wstring eol = t.LineEnd();
  bool in_section = false;
  size_t insert_at = 0;  // after the last line of the section, once found
  for (size_t start = 0; start < t.size();) {
    size_t end = start;
    while (end < t.size() && t[end] != L'\n') ++end;
    const size_t next = end < t.size() ? end + 1 : end;
    const Span line = Trim(t, {start, end});
    start = next;
    if (line.begin == line.end) continue;
    if (t[line.begin] == L'[') {
      if (in_section) break;  // only the first section of the name counts
      size_t close = line.end;
      while (close > line.begin + 1 && t[close - 1] != L']') --close;
      const Span name = Trim(t, {line.begin + 1, close > line.begin + 1 ? close - 1 : line.end});
      if (SameName(t, name, section)) {
        in_section = true;
        insert_at = next;
      }
      continue;
    }
    if (!in_section) continue;
    const size_t equals = Find(t, line, L'=');
    if (SameName(t, Trim(t, {line.begin, equals}), key)) {
      if (equals == line.end) return t.Splice(line.end, line.end, L"=" + std::wstring(value));
      const Span v = ValueOf(t, line, equals);
      return t.Splice(v.begin, v.end, value);
    }
    insert_at = next;
  }
  const std::wstring entry = std::wstring(key) + L"=" + std::wstring(value) + eol;
  if (!in_section) {
    insert_at = t.size();
    const std::wstring header = L"[" + std::wstring(section) + L"]" + eol;
    const bool ends_line = t.size() == 0 || t[t.size() - 1] == L'\n';
    return t.Splice(insert_at, insert_at, (ends_line ? L"" : eol) + header + entry);
  }
  const bool after_line_end = insert_at > 0 && t[insert_at - 1] == L'\n';
  return t.Splice(insert_at, insert_at, (after_line_end ? L"" : eol) + entry);
}

}  // namespace Quellmar
