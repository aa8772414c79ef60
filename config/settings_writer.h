// Writing the per-user settings: value by value, each with its own open and
// close of the key, every value attempted even after one failed.
#pragma once

#include <windows.h>

#include "common/voice_settings.h"

namespace Quellmar::config {

// HKCU\`key_path`\`name` as a 4-byte REG_DWORD, creating the key if needed.
bool WriteUserDword(const wchar_t* key_path, const wchar_t* name, DWORD value);

// Limited to the stored ranges first. True only when every value was written.
bool WriteCustomVoiceSettings(const CustomVoiceSettings& voice);
// Written as it stands; the four pauses only `with_pauses` (the dialog does
// not show them unless they apply to every voice, and never overwrites what
// it does not show). True only when every value to be written was.
bool WriteGlobalSettings(const GlobalSettings& global, bool with_pauses = true);

// The log box: ticked unless Logging exists as a REG_DWORD 0.
bool LoggingSwitchOn();
bool WriteLoggingSwitch(bool on);

// The shipped custom voice, then (whatever became of it) the shipped global
// settings; nothing is reported.
void ResetStoredSettings();

}  // namespace Quellmar::config
