#include "packaging/saved_settings.h"

#include "common/engine_settings.h"

namespace Quellmar::packaging {

const UserKey kUserKeys[5] = {
    {kDictionarySection, kCustomKey},
    {kEngineSettingsSection, kEnginePauseKeys[0]},
    {kEngineSettingsSection, kEnginePauseKeys[1]},
    {kEngineSettingsSection, kEnginePauseKeys[2]},
    {kEngineSettingsSection, kEnginePauseKeys[3]},
};

namespace {

bool IsUserKey(std::wstring_view section, std::wstring_view key) {
  for (const UserKey& k : kUserKeys) {
    if (section == k.section && key == k.key) return true;
  }
  return false;
}

}  // namespace

std::wstring FormatSavedSettings(const SavedSettings& settings) {
  std::wstring text = settings.path;
  for (const SavedValue& v : settings.values) {
    text += L'\n' + v.section + L'\t' + v.key + L'\t' + v.value;
  }
  return text;
}

std::optional<SavedSettings> ParseSavedSettings(std::wstring_view text) {
  SavedSettings out;
  size_t end = text.find(L'\n');
  out.path = std::wstring(text.substr(0, end));
  if (out.path.empty() || out.path.find(L'\t') != std::wstring::npos) return std::nullopt;
  while (end != std::wstring_view::npos) {
    text.remove_prefix(end + 1);
    end = text.find(L'\n');
    const std::wstring_view line = text.substr(0, end);
    const size_t tab1 = line.find(L'\t');
    const size_t tab2 = tab1 == std::wstring_view::npos ? tab1 : line.find(L'\t', tab1 + 1);
    if (tab2 == std::wstring_view::npos) return std::nullopt;
    SavedValue v{std::wstring(line.substr(0, tab1)),
                 std::wstring(line.substr(tab1 + 1, tab2 - tab1 - 1)),
                 std::wstring(line.substr(tab2 + 1))};
    if (!IsUserKey(v.section, v.key) || v.value.find_first_of(L"\t\r") != std::wstring::npos) {
      return std::nullopt;
    }
    out.values.push_back(std::move(v));
  }
  return out;
}

}  // namespace Quellmar::packaging
