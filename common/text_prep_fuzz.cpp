// Host text of any units through every text function. The first byte picks
// the chunk limit; the rest are UTF-16 units, little-endian.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>

#include "common/text_prep.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size == 0) return 0;
  const size_t limit = data[0] < 8 ? data[0] : Quellmar::kChunkLimit;
  std::wstring text;
  for (size_t i = 1; i + 1 < size; i += 2) {
    text.push_back(static_cast<wchar_t>(data[i] | (data[i + 1] << 8)));
  }
  using namespace Quellmar;
  for (wchar_t c : text) {
    (void)IsWhiteSpaceUnit(c);
    (void)IsLetterOrDigitUnit(c);
  }
  std::wstring collapsed = CollapseWhitespace(text);
  if (collapsed.size() > text.size()) std::abort();
  if (SpellOut(text).size() > 2 * text.size()) std::abort();
  std::wstring named = NamePunctuation(text);
  for (const std::wstring& source : {text, collapsed, named}) {
    // Every chunk fits, and the chunks are the text less spaces at the cuts.
    size_t pos = 0;
    for (const std::wstring& chunk : SplitIntoChunks(source, limit)) {
      if (chunk.empty() || chunk.size() > (limit ? limit : 1)) std::abort();
      while (pos < source.size() && source.compare(pos, chunk.size(), chunk) != 0) {
        if (source[pos] != L' ') std::abort();
        ++pos;
      }
      if (pos >= source.size()) std::abort();
      pos += chunk.size();
      (void)ToEngineText(chunk);
    }
    for (; pos < source.size(); ++pos) {
      if (source[pos] != L' ') std::abort();
    }
  }
  std::string bytes = ToEngineText(text);
  if (bytes.size() > 16 * text.size()) std::abort();
  return 0;
}
