// Arbitrary bytes as the dictionary editor's encoded transcription and as
// its 220-byte buffer: decoding, re-encoding within the buffer, speaking.
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string_view>

#include "engine_core/engine.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  using namespace Quellmar::engine_core;
  std::string_view text(reinterpret_cast<const char*>(data), size);
  char buffer[kPhonSylBytes];
  EncodePhonSyl(DecodePhonetic(text), buffer, sizeof buffer);
  if (std::memchr(buffer, 0, sizeof buffer) == nullptr) __builtin_trap();
  SpeakPhones(DecodePhonSyl(buffer, sizeof buffer));

  char raw[kPhonSylBytes];
  std::memset(raw, 'A', sizeof raw);
  std::memcpy(raw, data, size < sizeof raw ? size : sizeof raw);
  SpeakPhones(DecodePhonSyl(raw, sizeof raw));  // no terminator at all
  return 0;
}
