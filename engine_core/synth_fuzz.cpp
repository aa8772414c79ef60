// Arbitrary bytes as engine text: the front end, both tag settings, and the
// first segments of speech, with every segment inside its buffer.
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "engine_core/engine.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  using namespace Quellmar::engine_core;
  if (size == 0) return 0;
  bool tags = data[0] & 1;
  // Engine text is NUL-terminated: the core sees the bytes up to the first NUL.
  std::string text(reinterpret_cast<const char*>(data + 1), size - 1);
  text = text.c_str();
  Synthesis s;
  if (s.Start(text, Pauses{}) != status::kOk) return 0;
  s.SetTags(tags);
  // A small buffer exercises the carrying of a segment across calls.
  std::vector<uint8_t> buffer(4096);
  uint32_t count = 0;
  for (int i = 0; i < 8 && s.SegmentAvailable(); ++i) {
    if (s.NextSegment(buffer.data(), static_cast<uint32_t>(buffer.size()), &count) != status::kOk) break;
    if (count > buffer.size()) __builtin_trap();
  }
  return 0;
}
