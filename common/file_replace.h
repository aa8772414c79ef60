// A file's contents read whole, and replaced so that a failure or a crash at
// any moment leaves either the old or the new contents complete and on disk:
// the new bytes go to a file of their own beside it, are flushed to the
// disk, and take the old file's place in one rename. Windows.
#pragma once

#include <windows.h>

#include <string>
#include <string_view>

namespace Quellmar {

enum class FileRead { kRead, kMissing, kFailed };

// kMissing when there is no such file; kFailed (with `error`) when it cannot
// be read or holds more than `limit` bytes.
FileRead ReadFileBytes(const std::wstring& path, size_t limit, std::string& bytes, DWORD& error);

// False (with `error`) when the new contents could not be written or put in
// place; the old file is then as it was and no new file is left behind. The
// new file keeps the old one's attributes.
bool ReplaceFileBytes(const std::wstring& path, std::string_view bytes, DWORD& error);

}  // namespace Quellmar
