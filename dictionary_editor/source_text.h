// Reading the source list lexmere.txt: its lines and their white-space
// separated fields, the same for the entry list and the compiler.
#pragma once

#include <cstddef>
#include <string_view>

namespace Quellmar::dictionary {

inline bool IsFieldSpace(char c) {
  return c == ' ' || c == '\t' || c == '\r' || c == '\n' || c == '\v' || c == '\f';
}

// The line starting at `pos`, without its end (CR LF, LF, or a CR alone, so
// a list saved with old Macintosh line ends is not read as one line); `pos`
// moves to the next line. False at the end of the text.
inline bool NextLine(std::string_view text, size_t& pos, std::string_view& line) {
  if (pos >= text.size()) return false;
  size_t end = pos;
  while (end < text.size() && text[end] != '\n' && text[end] != '\r') ++end;
  line = text.substr(pos, end - pos);
  if (end < text.size() && text[end] == '\r') {
    ++end;
    if (end < text.size() && text[end] == '\n') ++end;
  } else if (end < text.size()) {
    ++end;
  }
  pos = end;
  return true;
}

// Up to `max` fields of a line; returns how many there are (at most max).
inline size_t SplitFields(std::string_view line, std::string_view* fields, size_t max) {
  size_t count = 0, k = 0;
  while (k < line.size() && count < max) {
    while (k < line.size() && IsFieldSpace(line[k])) ++k;
    size_t start = k;
    while (k < line.size() && !IsFieldSpace(line[k])) ++k;
    if (k > start) fields[count++] = line.substr(start, k - start);
  }
  return count;
}

}  // namespace Quellmar::dictionary
