// quellmar.ini bytes of any kind through the test that decides whether the
// uninstall may delete the file.
#include <cstddef>
#include <cstdint>
#include <string_view>

#include "packaging/ini_tidy.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  Quellmar::packaging::OnlyEmptyEngineSections(
      std::string_view(reinterpret_cast<const char*>(data), size));
  return 0;
}
