// The per-user settings as stored in the registry, read anew on every call so
// that a saved change applies to the next utterance of every running program.
#pragma once

#include <windows.h>

#include <optional>

#include "common/voice_settings.h"

namespace Quellmar {

// The value `name` under HKCU\`key_path`, opened and closed for this one
// value: its number when it is exactly one REG_DWORD, nullopt otherwise
// (missing key or value, another type, another size).
std::optional<uint32_t> ReadUserDword(const wchar_t* key_path, const wchar_t* name);

// Never fail: missing or unusable values give the defaults, numbers are limited.
CustomVoiceSettings ReadCustomVoiceSettings();
GlobalSettings ReadGlobalSettings();

// Voice 7 is read from the registry; 0..6 come from the preset table (any
// other index uses row 0).
CustomVoiceSettings VoiceSettingsFor(int index);

}  // namespace Quellmar
