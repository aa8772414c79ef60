// Arbitrary bytes as the compiled set's index userdict.idx: it parses or is
// refused, and what parses writes back as the same text.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string_view>

#include "dictionary/compiled_set.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  using namespace Quellmar::dictionary;
  const std::string_view text(reinterpret_cast<const char*>(data), size);
  const auto index = ParseSetIndex(text);
  if (index) {
    const auto again = ParseSetIndex(FormatSetIndex(*index));
    if (!again || !(*again == *index)) std::abort();
  }
  return 0;
}
