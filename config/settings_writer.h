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
// Written as it stands. True only when every value was written.
bool WriteGlobalSettings(const GlobalSettings& global);

// The log box: ticked unless Logging exists as a REG_DWORD 0.
bool LoggingSwitchOn();
void WriteLoggingSwitch(bool on);

// The shipped custom voice, then (whatever became of it) the shipped global
// settings; nothing is reported.
void ResetStoredSettings();

}  // namespace Quellmar::config
