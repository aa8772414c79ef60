// Host text reaches the bookmark reader and the word scanner unchecked.
#include <cstddef>
#include <cstdint>
#include <string>

#include "sapi/speak_rules.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  std::wstring text;
  for (size_t i = 0; i + 1 < size; i += 2)
    text.push_back(static_cast<wchar_t>(data[i] | (data[i + 1] << 8)));
  (void)Quellmar::sapi::BookmarkNumber(text);
  size_t end = 0;
  for (const auto& w : Quellmar::sapi::FindWords(text)) {
    if (w.start < end || w.length == 0 || w.start + w.length > text.size()) __builtin_trap();
    end = w.start + w.length;
  }
  return 0;
}
