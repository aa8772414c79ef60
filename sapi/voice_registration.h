// The machine-wide voice tokens: one registry key per voice under the SAPI
// voice category, written by DllRegisterServer and removed by
// DllUnregisterServer. Both throw Quellmar::registry::error on the first
// failure and leave what was done in place.
#pragma once

#include <windows.h>

#include <string>

namespace Quellmar::sapi {

// "Quellmar_" + the voice's key.
std::wstring TokenKeyName(int voice_index);

void RegisterVoices(HKEY root, const std::wstring& engine_clsid_text);
void UnregisterVoices(HKEY root);

}  // namespace Quellmar::sapi
