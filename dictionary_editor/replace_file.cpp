#include "dictionary_editor/replace_file.h"

#include <cstdio>
#include <filesystem>
#include <system_error>

namespace Quellmar::dictionary {
namespace {

std::string NewName(const std::string& path) { return path + ".new"; }

bool WriteNew(const std::string& path, std::string_view bytes) {
  std::FILE* f = std::fopen(path.c_str(), "wb");
  if (f == nullptr) return false;
  bool ok = bytes.empty() || std::fwrite(bytes.data(), 1, bytes.size(), f) == bytes.size();
  if (std::fflush(f) != 0) ok = false;
  if (std::fclose(f) != 0) ok = false;
  return ok;
}

void RemoveQuietly(const std::string& path) {
  std::error_code ec;
  std::filesystem::remove(std::filesystem::path(path), ec);
}

}  // namespace

bool ReplaceFilesContents(const std::vector<FileContents>& files) {
  for (size_t k = 0; k < files.size(); ++k) {
    if (!WriteNew(NewName(files[k].path), files[k].bytes)) {
      for (size_t j = 0; j <= k; ++j) RemoveQuietly(NewName(files[j].path));
      return false;
    }
  }
  bool ok = true;
  for (const FileContents& f : files) {
    std::error_code ec;
    // Replaces an existing file in one step (MoveFileEx with
    // MOVEFILE_REPLACE_EXISTING on Windows, rename(2) elsewhere).
    if (ok) std::filesystem::rename(std::filesystem::path(NewName(f.path)), std::filesystem::path(f.path), ec);
    if (!ok || ec) {
      ok = false;
      RemoveQuietly(NewName(f.path));
    }
  }
  return ok;
}

bool ReplaceFileContents(const std::string& path, std::string_view bytes) {
  return ReplaceFilesContents({{path, bytes}});
}

bool ReadWholeFile(const std::string& path, std::string& bytes) {
  bytes.clear();
  std::FILE* f = std::fopen(path.c_str(), "rb");
  if (f == nullptr) return false;
  char buf[65536];
  size_t n;
  while ((n = std::fread(buf, 1, sizeof buf, f)) > 0) bytes.append(buf, n);
  bool ok = std::ferror(f) == 0;
  std::fclose(f);
  return ok;
}

}  // namespace Quellmar::dictionary
