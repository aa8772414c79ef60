// The command line and the environment are whatever the user or an installer
// passes: any command, any folder text, LOCALAPPDATA set or not.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <optional>
#include <string>
#include <vector>

#include "diagnostics/command_line.h"

namespace {

// Four fields separated by NUL bytes, each byte one character (so every
// 8-bit value, control characters and all, reaches the rules).
std::vector<std::wstring> Fields(const uint8_t* data, size_t size) {
  std::vector<std::wstring> fields(1);
  for (size_t i = 0; i < size; ++i) {
    if (data[i] == 0 && fields.size() < 4) {
      fields.emplace_back();
    } else {
      fields.back().push_back(static_cast<wchar_t>(data[i] | (data[i] >= 0xf0 ? 0x2000 : 0)));
    }
  }
  fields.resize(4);
  return fields;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  using namespace Quellmar::diag;
  const std::vector<std::wstring> f = Fields(data, size);
  const std::optional<std::wstring> argument =
      f[1].empty() ? std::nullopt : std::optional<std::wstring>(f[1]);
  const std::optional<std::wstring> lad =
      f[2].empty() ? std::nullopt : std::optional<std::wstring>(f[2]);
  const CommandPlan plan = PlanFor(f[0]);
  const OutputPlace place = PlaceFor(f[0], argument, lad, f[3]);

  // Every command does something, and only selftest gives a verdict or
  // sends its output to a file.
  if (!(plan.report || plan.voice_list || plan.say)) std::abort();
  if (plan.verdict != (f[0] == L"selftest") || place.report_file.empty() == plan.verdict)
    std::abort();
  if (plan.exit_from_sapi != plan.sapi_samples) std::abort();
  if (f[0] == L"selftest") {
    const std::wstring base = lad.value_or(f[3]) + L"\\Quellmar SAPI5";
    if (place.report_file != base + L"\\install-check.txt") std::abort();
    if (place.output_folder != base + L"\\install-check") std::abort();
  } else if (f[0] == L"say") {
    if (!place.folders_to_create.empty()) std::abort();
  } else if (argument) {
    if (place.output_folder != *argument || place.folders_to_create.size() != 1) std::abort();
  } else if (place.output_folder != L"." || !place.folders_to_create.empty()) {
    std::abort();
  }
  return 0;
}
