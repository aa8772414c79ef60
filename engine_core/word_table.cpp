#include "engine_core/word_table.h"

namespace Quellmar::engine_core {
namespace {

constexpr char kRaw[] =
#include "engine_core/word_table.inc"
    ;
// Without the line ends that open and close the literal (and its NUL).
constexpr std::string_view kTable(kRaw + 1, sizeof kRaw - 3);

constexpr int kFirstCode = 0x21;
constexpr int kVowelCodes = static_cast<int>(Ph::B) * 3;

// The line of the table that holds byte `at`.
std::string_view LineAt(size_t at) {
  if (kTable[at] == '\n') --at;  // a line end belongs to the line before it
  size_t begin = kTable.rfind('\n', at);
  begin = begin == std::string_view::npos ? 0 : begin + 1;
  size_t end = kTable.find('\n', at);
  if (end == std::string_view::npos) end = kTable.size();
  return kTable.substr(begin, end - begin);
}

}  // namespace

bool LookUpWordTable(std::string_view word, std::vector<Phone>& out) {
  if (word.empty()) return false;
  // Binary search over bytes: the lines are sorted, so the line around the
  // middle byte tells which half holds the word; no index to build.
  size_t lo = 0, hi = kTable.size();
  while (lo < hi) {
    size_t mid = lo + (hi - lo) / 2;
    std::string_view line = LineAt(mid);
    size_t line_begin = static_cast<size_t>(line.data() - kTable.data());
    size_t space = line.find(' ');
    if (space == std::string_view::npos) return false;
    std::string_view key = line.substr(0, space);
    if (key == word) {
      for (char c : line.substr(space + 1)) {
        int code = static_cast<unsigned char>(c) - kFirstCode;
        if (code < 0) continue;
        if (code < kVowelCodes) {
          out.push_back({static_cast<Ph>(code / 3), static_cast<uint8_t>(code % 3)});
        } else if (code - kVowelCodes < static_cast<int>(Ph::ASP) - static_cast<int>(Ph::B)) {
          out.push_back({static_cast<Ph>(static_cast<int>(Ph::B) + code - kVowelCodes), 0});
        }
      }
      return true;
    }
    if (key < word) {
      lo = line_begin + line.size() + 1;
    } else {
      hi = line_begin;
    }
  }
  return false;
}

}  // namespace Quellmar::engine_core
