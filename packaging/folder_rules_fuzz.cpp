// Any text as the folder list the package hands to the setup DLL's action
// that makes the folders safe: whatever is accepted names only absolute
// folders below a root.
#include <cstddef>
#include <cstdint>
#include <string>

#include "packaging/folder_rules.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  std::wstring text;
  for (size_t i = 0; i + 1 < size; i += 2)
    text += static_cast<wchar_t>(data[i] | (data[i + 1] << 8));
  if (const auto rules = Quellmar::packaging::ParseFolderRules(text)) {
    for (const auto& rule : rules->rules) {
      const std::wstring& f = rule.folder;
      if (rule.sddl.empty() || f.size() < 4 || f.find(L"\\..\\") != std::wstring::npos ||
          f.ends_with(L"\\..")) {
        __builtin_trap();
      }
    }
  }
  return 0;
}
