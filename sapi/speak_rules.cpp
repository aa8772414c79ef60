#include "sapi/speak_rules.h"

#include <algorithm>
#include <limits>

#include "common/text_prep.h"

namespace Quellmar::sapi {
namespace {

bool IsCSpace(uint32_t c) { return c == ' ' || (c >= '\t' && c <= '\r'); }

int32_t ReadNumber(std::wstring_view text) {
  size_t i = 0;
  while (i < text.size() && IsCSpace(static_cast<uint32_t>(text[i]))) ++i;
  bool negative = false;
  if (i < text.size() && (text[i] == '+' || text[i] == '-')) negative = text[i++] == '-';
  // Accumulate the magnitude in 64 bits and stop growing it past the limit.
  int64_t magnitude = 0;
  constexpr int64_t kCap = int64_t{std::numeric_limits<int32_t>::max()} + 1;
  for (; i < text.size() && text[i] >= '0' && text[i] <= '9'; ++i) {
    magnitude = std::min(kCap, magnitude * 10 + (text[i] - '0'));
  }
  const int64_t value = negative ? -magnitude : magnitude;
  return static_cast<int32_t>(std::clamp<int64_t>(value, std::numeric_limits<int32_t>::min(),
                                                  std::numeric_limits<int32_t>::max()));
}

int32_t Limit10(int64_t v) { return static_cast<int32_t>(std::clamp<int64_t>(v, -10, 10)); }

}  // namespace

int32_t BookmarkNumber(std::wstring_view text) { return ReadNumber(text); }

std::vector<Word> FindWords(std::wstring_view text) {
  std::vector<Word> words;
  size_t start = 0;
  bool in_word = false;
  for (size_t i = 0; i <= text.size(); ++i) {
    const bool word_unit =
        i < text.size() && (IsLetterOrDigitUnit(text[i]) || text[i] == L'\'' || text[i] == L'-');
    if (word_unit && !in_word) {
      start = i;
      in_word = true;
    } else if (!word_unit && in_word) {
      words.push_back({start, i - start});
      in_word = false;
    }
  }
  return words;
}

FragmentProsody ProsodyFor(long host_rate, unsigned short host_volume, long fragment_rate,
                           long fragment_pitch, unsigned long fragment_volume) {
  FragmentProsody p;
  p.rate = Limit10(int64_t{fragment_rate} + int64_t{host_rate});
  p.pitch = Limit10(fragment_pitch);
  const uint32_t product =
      static_cast<uint32_t>(host_volume) * static_cast<uint32_t>(fragment_volume);
  p.volume = std::min<uint32_t>(product / 100, 100);
  return p;
}

}  // namespace Quellmar::sapi
