// Any text as the saved-settings property the upgrade hands from its first
// custom action to the one that writes the values back.
#include <cstddef>
#include <cstdint>
#include <string>

#include "packaging/saved_settings.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  std::wstring text;
  for (size_t i = 0; i + 1 < size; i += 2)
    text += static_cast<wchar_t>(data[i] | (data[i + 1] << 8));
  if (const auto parsed = Quellmar::packaging::ParseSavedSettings(text)) {
    if (Quellmar::packaging::FormatSavedSettings(*parsed) != text) __builtin_trap();
  }
  return 0;
}
