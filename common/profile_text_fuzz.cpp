// quellmar.ini text of any bytes through the portable profile reader and the
// engine settings built from it. An even first byte reads the rest as 8-bit
// text, an odd one as UTF-16 units.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>

#include "common/engine_settings.h"
#include "common/profile_text.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size == 0) return 0;
  std::wstring text;
  if (data[0] % 2 == 0) {
    for (size_t i = 1; i < size; ++i) text.push_back(data[i]);
  } else {
    for (size_t i = 1; i + 1 < size; i += 2) {
      text.push_back(static_cast<wchar_t>(data[i] | (data[i + 1] << 8)));
    }
  }
  using namespace Quellmar;
  ProfileText file(text);
  EngineSettings s = EngineSettingsFrom(file);
  for (const std::wstring* dir :
       {&s.sound_bank_dir, &s.temp_dir, &s.dictionary_files_dir, &s.user_dictionary_dir}) {
    if (dir->size() >= kEngineSettingsValueChars) std::abort();
  }
  return 0;
}
