// Writing a file so that a failure or a crash at any moment leaves either
// its old or its new contents complete: the bytes go to a new file beside it,
// which then takes the old one's place.
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace Quellmar::dictionary {

// False when the new file could not be written or put in place; the old
// file is then untouched and no new file is left behind.
bool ReplaceFileContents(const std::string& path, std::string_view bytes);

struct FileContents {
  std::string path;
  std::string_view bytes;
};
// Several files: every new file is written before any replaces its old one.
bool ReplaceFilesContents(const std::vector<FileContents>& files);

// The whole file as bytes; false when it cannot be opened or read.
bool ReadWholeFile(const std::string& path, std::string& bytes);

}  // namespace Quellmar::dictionary
