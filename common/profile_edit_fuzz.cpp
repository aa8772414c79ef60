// quellmar.ini of any bytes with its CUSTOM switch set: at most the one line
// of that key changes (or one is added), and the file then reads as before
// but for the switch. The first byte chooses the switch.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>

#include "common/engine_settings.h"
#include "common/profile_text.h"

namespace {
using namespace Quellmar;

void Check(bool ok) {
  if (!ok) std::abort();
}

std::wstring Widened(const std::string& bytes) {
  std::wstring text;
  for (unsigned char c : bytes) text.push_back(c);
  return text;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size == 0) return 0;
  const bool on = data[0] & 1;
  const std::string before(reinterpret_cast<const char*>(data + 1), size - 1);
  const std::string after = WithCustomEntries(before, on);

  // What differs is one stretch inside one line: the old value, or nothing
  // when a line (and perhaps its section) was added.
  size_t prefix = 0;
  while (prefix < before.size() && prefix < after.size() && before[prefix] == after[prefix]) {
    ++prefix;
  }
  size_t suffix = 0;
  while (suffix < before.size() - prefix && suffix < after.size() - prefix &&
         before[before.size() - 1 - suffix] == after[after.size() - 1 - suffix]) {
    ++suffix;
  }
  const std::string removed = before.substr(prefix, before.size() - prefix - suffix);
  Check(removed.find('\n') == std::string::npos);
  Check(WithCustomEntries(after, on) == after);

  // 8-bit text without a byte-order mark reads as before, but for the switch.
  const unsigned char first = before.empty() ? 0 : static_cast<unsigned char>(before[0]);
  const bool marked = first == 0xEF || first == 0xFE || first == 0xFF;
  if (!marked && before.find('\0') == std::string::npos) {
    EngineSettings was = EngineSettingsFrom(ProfileText(Widened(before)));
    const EngineSettings now = EngineSettingsFrom(ProfileText(Widened(after)));
    Check(now.custom_entries == on);
    was.custom_entries = on;
    Check(now.sound_bank_dir == was.sound_bank_dir && now.temp_dir == was.temp_dir &&
          now.dictionary_files_dir == was.dictionary_files_dir &&
          now.user_dictionary_dir == was.user_dictionary_dir && now.pauses == was.pauses);
  }
  return 0;
}
