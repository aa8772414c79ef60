// Arbitrary bytes as the engine's test recording: the image is always the
// fixed header and two bytes per byte after the first 46, with sizes that
// agree.
#include <cstddef>
#include <cstdint>
#include <string_view>

#include "dictionary_editor/test_recording.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  using namespace Quellmar::dictionary;
  const auto image =
      ConvertTestRecording(std::string_view(reinterpret_cast<const char*>(data), size));
  if (!image) __builtin_trap();  // nothing a fuzzer makes is too large
  const size_t samples = size > kTestRecordingHeaderBytes ? size - kTestRecordingHeaderBytes : 0;
  if (image->size() != kTestRecordingHeaderBytes + 2 * samples) __builtin_trap();
  if (image->compare(0, kTestRecordingHeaderBytes,
                     TestRecordingHeader(static_cast<uint32_t>(samples))) != 0)
    __builtin_trap();
  return 0;
}
