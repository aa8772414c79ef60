// Arbitrary bytes as a typed transcription: the encoder accepts anything,
// and text holding none of its marks or vowels comes back as it was.
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "dictionary_editor/phonetic.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  using namespace Quellmar::dictionary;
  std::string_view text(reinterpret_cast<const char*>(data), size);
  std::string encoded = EncodePhonetic(text);
  bool plain = true;
  for (char c : text) {
    if (IsVowelLetter(c) || c == '/' || c == '\\' || c == '%' || c == '*' || c == '@' || c == '?' ||
        c == '.' || c == '=')
      plain = false;
  }
  if (plain && encoded != text) __builtin_trap();
  EncodePhonetic(encoded);
  return 0;
}
