// quellmar.ini: the engine core's own settings file in the Windows directory.
// It names the engine's four directories, switches its custom dictionary
// entries on or off and holds its four pauses. The engine core and the legacy
// dictionary editor read it too, so its form is fixed: a private-profile file
// with the sections and keys below, read through the platform's profile
// functions. We only ever change the CUSTOM line, in the file's own bytes
// (the profile functions would rewrite every line): whatever else is in it
// is left alone, byte for byte.
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <string_view>

namespace Quellmar {

inline constexpr wchar_t kEngineSettingsFileName[] = L"quellmar.ini";
inline constexpr wchar_t kEngineSettingsFallbackPath[] = L"C:\\Windows\\quellmar.ini";
inline constexpr wchar_t kAppDirSection[] = L"QuellmarAppDir";
inline constexpr wchar_t kDictionarySection[] = L"QuellmarDictionary";
inline constexpr wchar_t kEngineSettingsSection[] = L"QuellmarSettings";
inline constexpr wchar_t kSoundBankKey[] = L"SNDBANK";
inline constexpr wchar_t kTempDirKey[] = L"TEMPDIR";
inline constexpr wchar_t kDictionaryFilesKey[] = L"DICTFLSDIR";
inline constexpr wchar_t kUserDictionaryKey[] = L"LEXMEREDIR";
inline constexpr wchar_t kCustomKey[] = L"CUSTOM";
inline constexpr wchar_t kCustomOn[] = L"YES";
inline constexpr wchar_t kCustomOff[] = L"NO";
// "PAUSE%d" for 1..4.
inline constexpr const wchar_t* kEnginePauseKeys[4] = {L"PAUSE1", L"PAUSE2", L"PAUSE3", L"PAUSE4"};
inline constexpr std::array<int32_t, 4> kEngineDefaultPauses = {650, 500, 350, 7};
// A text value is read into this many characters, so at most one fewer survive.
inline constexpr size_t kEngineSettingsValueChars = 1024;
inline constexpr size_t kWindowsPathChars = 260;

struct EngineSettings {
  std::wstring sound_bank_dir;
  std::wstring temp_dir;
  std::wstring dictionary_files_dir;
  std::wstring user_dictionary_dir;
  bool custom_entries = false;
  // In the engine's own numbering and units.
  std::array<int32_t, 4> pauses = kEngineDefaultPauses;
};

// Reads values the way the profile functions do: an empty string for a
// missing file, section or key; `fallback` for a missing integer.
class ProfileSource {
 public:
  virtual ~ProfileSource() = default;
  virtual std::wstring String(const wchar_t* section, const wchar_t* key) const = 0;
  virtual int32_t Int(const wchar_t* section, const wchar_t* key, int32_t fallback) const = 0;
};

EngineSettings EngineSettingsFrom(const ProfileSource& source);

// "YES" in any case; anything else (an empty value too) is off.
bool IsCustomOn(std::wstring_view value);
// `windows_dir` with one backslash and the file name appended.
std::wstring EngineSettingsPathIn(std::wstring_view windows_dir);

// A quellmar.ini larger than this is not something we rewrite.
inline constexpr size_t kEngineSettingsFileLimit = 1u << 20;
// The file's bytes with the custom entries switch set: only the CUSTOM line
// changes (or is added); every other byte stays as it was.
std::string WithCustomEntries(std::string_view file, bool on);

#ifdef _WIN32
// The path of quellmar.ini; "C:\Windows\quellmar.ini" when the Windows
// directory cannot be had. No side effects.
std::wstring EngineSettingsPath();
// Never fails: what is missing keeps its default.
EngineSettings ReadEngineSettings();
// Sets the custom entries switch in the file, which is replaced as a whole
// (WithCustomEntries, then a new file put in its place); an unchanged file is
// not written. False, and logged once, when it cannot be read or written.
bool WriteCustomEntries(bool on);
#endif

}  // namespace Quellmar
