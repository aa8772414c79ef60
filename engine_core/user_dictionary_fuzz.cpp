// Arbitrary bytes as the compiled user dictionary (the first part as
// userhash.tab, the rest as lexmere.fle): looking words up never reads
// outside the data, and the text front end takes what it finds.
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "engine_core/user_dictionary.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  using namespace Quellmar::engine_core;
  std::string_view bytes(reinterpret_cast<const char*>(data), size);
  size_t split = bytes.find('\0');
  if (split == std::string_view::npos) split = bytes.size() / 2;
  std::string_view table = bytes.substr(0, split);
  std::string fle(bytes.substr(split < bytes.size() ? split + 1 : split));
  UserDictionary d(fle, table);
  std::string encoded;
  for (const char* w : {"a", "ab", "cat", "cats", "catnip", "zebra", "zzzz", "'tis", "x-ray", "quellmar"})
    d.Find(w, encoded);
  for (size_t k = 0; k + 1 < fle.size() && k < 64; ++k) d.Find(std::string_view(fle).substr(k, 1 + k % 12), encoded);
  Normalize("cat cats catnip zebra Quellmar x-ray", false, &d);
  return 0;
}
