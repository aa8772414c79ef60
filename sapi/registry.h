// Registry steps of the self-registration as a straight sequence: each one
// throws Quellmar::registry::error with its fixed message when it fails.
#pragma once

#include <windows.h>

#include <stdexcept>
#include <string>

#include "common/win_handles.h"

namespace Quellmar::registry {

inline constexpr char kOpenCreateFailed[] = "Unable to open/create a registry key";
inline constexpr char kWriteFailed[] = "Unable to write a value in the registry";
inline constexpr char kDeleteFailed[] = "Unable to delete a registry key";

class error : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

unique_reg_key CreateKey(HKEY parent, const wchar_t* name, REGSAM access);
unique_reg_key OpenKey(HKEY parent, const wchar_t* name, REGSAM access);
// REG_SZ, stored with its terminating zero; a null name is the default value.
void SetString(HKEY key, const wchar_t* name, const std::wstring& value);
void DeleteKey(HKEY parent, const wchar_t* name);

}  // namespace Quellmar::registry
