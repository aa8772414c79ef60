// Where the dictionary's files are: a folder as quellmar.ini names it
// (DICTFLSDIR, TEMPDIR), written with its closing backslash or without, and
// a file name in it. The one rule by which the editor, the compiler and the
// engine core find the same files.
#pragma once

#include <filesystem>
#include <string>
#include <string_view>

namespace Quellmar::dictionary {

#ifdef _WIN32
inline constexpr char kFolderSeparator = '\\';
#else
inline constexpr char kFolderSeparator = '/';
#endif

template <typename Char>
bool EndsWithSeparator(std::basic_string_view<Char> folder) {
  if (folder.empty()) return false;
  const Char last = folder.back();
#ifdef _WIN32
  return last == Char('\\') || last == Char('/');
#else
  return last == Char('/');
#endif
}

// The folder followed by the name, with one separator between them. An
// empty folder gives the name alone: callers treat an empty folder as none.
template <typename Char>
std::basic_string<Char> InFolder(std::basic_string_view<Char> folder, std::string_view name) {
  std::basic_string<Char> path(folder);
  if (!folder.empty() && !EndsWithSeparator(folder)) path += Char(kFolderSeparator);
  for (char c : name) path += static_cast<Char>(static_cast<unsigned char>(c));
  return path;
}

inline std::string InFolder(const std::string& folder, std::string_view name) {
  return InFolder<char>(std::string_view(folder), name);
}
inline std::filesystem::path InFolder(const std::filesystem::path& folder, std::string_view name) {
  using Char = std::filesystem::path::value_type;
  return InFolder<Char>(std::basic_string_view<Char>(folder.native()), name);
}

}  // namespace Quellmar::dictionary
