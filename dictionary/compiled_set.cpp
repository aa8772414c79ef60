#include "dictionary/compiled_set.h"

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <system_error>
#include <vector>

#include "dictionary/folder.h"

namespace Quellmar::dictionary {
namespace {

constexpr char kIndexHeader[] = "Quellmar user dictionary set 1";
constexpr int kClaimAttempts = 100;
constexpr int kReadAttempts = 4;

struct CrcTable {
  uint32_t v[256];
  constexpr CrcTable() : v() {
    for (uint32_t n = 0; n < 256; ++n) {
      uint32_t c = n;
      for (int k = 0; k < 8; ++k) c = (c & 1) ? 0xEDB88320u ^ (c >> 1) : c >> 1;
      v[n] = c;
    }
  }
};
constexpr CrcTable kCrcTable;

const std::string& Member(const CompiledFiles& f, size_t k) {
  return k == 0 ? f.data : k == 1 ? f.hash_table : f.ranges;
}
std::string& Member(CompiledFiles& f, size_t k) {
  return k == 0 ? f.data : k == 1 ? f.hash_table : f.ranges;
}

// Digits only, at most `max_digits` of them.
bool ParseDecimal(std::string_view s, size_t max_digits, uint64_t& out) {
  if (s.empty() || s.size() > max_digits) return false;
  out = 0;
  for (char c : s) {
    if (c < '0' || c > '9') return false;
    out = out * 10 + static_cast<uint64_t>(c - '0');
  }
  return true;
}

bool ParseHex32(std::string_view s, uint32_t& out) {
  if (s.size() != 8) return false;
  out = 0;
  for (char c : s) {
    uint32_t d;
    if (c >= '0' && c <= '9') {
      d = static_cast<uint32_t>(c - '0');
    } else if (c >= 'a' && c <= 'f') {
      d = static_cast<uint32_t>(c - 'a' + 10);
    } else {
      return false;
    }
    out = out << 4 | d;
  }
  return true;
}

// Splits "a b c" at single spaces into exactly `n` words.
template <size_t N>
bool Words(std::string_view line, std::array<std::string_view, N>& words) {
  for (size_t k = 0; k < N; ++k) {
    const size_t space = k + 1 < N ? line.find(' ') : std::string_view::npos;
    if (k + 1 < N && space == std::string_view::npos) return false;
    words[k] = line.substr(0, space);
    if (words[k].empty()) return false;
    line = space == std::string_view::npos ? std::string_view() : line.substr(space + 1);
  }
  return true;
}

// The name with the given (ASCII) prefix followed by decimal digits only.
template <typename Char>
bool IsGenerationOf(std::basic_string_view<Char> name, std::string_view plain,
                    uint64_t& generation) {
  if (name.size() <= plain.size() + 1) return false;
  for (size_t k = 0; k < plain.size(); ++k) {
    if (name[k] != static_cast<Char>(plain[k])) return false;
  }
  if (name[plain.size()] != Char('.')) return false;
  std::string digits;
  for (size_t k = plain.size() + 1; k < name.size(); ++k) {
    if (name[k] < Char('0') || name[k] > Char('9')) return false;
    digits += static_cast<char>(name[k]);
  }
  return ParseDecimal(digits, 9, generation);
}

// Generations other than the one in use: left by earlier compiles, or by
// one that a failure or a power cut ended before its switch.
void RemoveOtherGenerations(FileSystem& files, const FilePath& folder, uint32_t keep) {
  std::error_code ec;
  std::filesystem::directory_iterator it(folder, ec), end;
  std::vector<FilePath> stale;
  for (; !ec && it != end; it.increment(ec)) {
    const FilePath name = it->path().filename();
    const auto& native = name.native();
    using Char = FilePath::value_type;
    for (const char* plain : kSetFileNames) {
      uint64_t generation = 0;
      if (IsGenerationOf<Char>(native, plain, generation) && generation != keep) {
        stale.push_back(it->path());
      }
    }
  }
  // A reader may have one open: it reads on (its open shares deletion).
  for (const FilePath& p : stale) files.Remove(p);
}

// The three files under the given names, each exactly as the index says.
bool ReadMatching(FileSystem& files, const FilePath& folder, const SetIndex& index,
                  bool generation_names, CompiledFiles& out, FileError& error) {
  for (size_t k = 0; k < kSetFileNames.size(); ++k) {
    const std::string name = generation_names
                                 ? GenerationFileName(kSetFileNames[k], index.generation)
                                 : std::string(kSetFileNames[k]);
    std::string& bytes = Member(out, k);
    error = files.Read(InFolder(folder, name), bytes,
                       std::min(index.files[k].size, kCompiledFileLimit));
    if (error != FileError::kNone) return false;
    if (bytes.size() != index.files[k].size || Crc32(bytes) != index.files[k].crc) {
      error = FileError::kOther;
      return false;
    }
  }
  return true;
}

ReadSetResult ReadPlainFiles(FileSystem& files, const FilePath& folder) {
  ReadSetResult r;
  for (size_t k = 0; k < kSetFileNames.size(); ++k) {
    const FileError e =
        files.Read(InFolder(folder, kSetFileNames[k]), Member(r.files, k), kCompiledFileLimit);
    // The engine core needs no ranges file: a set without one is still whole.
    if (e != FileError::kNone && !(k == 2 && e == FileError::kNotFound)) {
      r.error = e;
      r.files = {};
      return r;
    }
  }
  r.origin = SetOrigin::kPlainFiles;
  return r;
}

}  // namespace

uint32_t Crc32(std::string_view bytes) {
  uint32_t c = 0xFFFFFFFFu;
  for (unsigned char b : bytes) c = kCrcTable.v[(c ^ b) & 0xFF] ^ (c >> 8);
  return c ^ 0xFFFFFFFFu;
}

SetIndex IndexOf(uint32_t generation, const CompiledFiles& files) {
  SetIndex index;
  index.generation = generation;
  for (size_t k = 0; k < index.files.size(); ++k) {
    index.files[k] = {Member(files, k).size(), Crc32(Member(files, k))};
  }
  return index;
}

std::string FormatSetIndex(const SetIndex& index) {
  std::string text = kIndexHeader;
  text += "\r\ngeneration " + std::to_string(index.generation) + "\r\n";
  for (size_t k = 0; k < index.files.size(); ++k) {
    char crc[16];
    std::snprintf(crc, sizeof crc, "%08lx", static_cast<unsigned long>(index.files[k].crc));
    text += std::string(kSetFileNames[k]) + ' ' + std::to_string(index.files[k].size) + ' ' + crc +
            "\r\n";
  }
  return text;
}

std::optional<SetIndex> ParseSetIndex(std::string_view text) {
  std::array<std::string_view, 5> lines;
  size_t pos = 0;
  for (std::string_view& line : lines) {
    const size_t end = text.find('\n', pos);
    if (end == std::string_view::npos) return std::nullopt;
    line = text.substr(pos, end - pos);
    if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
    pos = end + 1;
  }
  if (pos != text.size() || lines[0] != kIndexHeader) return std::nullopt;
  SetIndex index;
  std::array<std::string_view, 2> head;
  uint64_t generation = 0;
  if (!Words(lines[1], head) || head[0] != "generation" || !ParseDecimal(head[1], 9, generation) ||
      generation == 0 || head[1][0] == '0')
    return std::nullopt;
  index.generation = static_cast<uint32_t>(generation);
  for (size_t k = 0; k < index.files.size(); ++k) {
    std::array<std::string_view, 3> w;
    uint64_t size = 0;
    if (!Words(lines[2 + k], w) || w[0] != kSetFileNames[k] || !ParseDecimal(w[1], 12, size) ||
        (w[1].size() > 1 && w[1][0] == '0') || !ParseHex32(w[2], index.files[k].crc))
      return std::nullopt;
    index.files[k].size = size;
  }
  return index;
}

std::string GenerationFileName(std::string_view plain_name, uint32_t generation) {
  return std::string(plain_name) + '.' + std::to_string(generation);
}

CommitResult CommitCompiledSet(FileSystem& files, const FilePath& folder,
                               const CompiledFiles& set) {
  CommitResult r;
  const FilePath index_path = InFolder(folder, kSetIndexFileName);
  uint32_t generation = 0;
  {
    std::string text;
    if (files.Read(index_path, text, kSetIndexLimit) == FileError::kNone) {
      if (auto index = ParseSetIndex(text)) generation = index->generation;
    }
  }

  // A generation of its own: the first file is created only where no file
  // of that name is (another compile's, or one a failure left behind).
  auto file_of = [&](size_t k) {
    return InFolder(folder, GenerationFileName(kSetFileNames[k], generation));
  };
  auto fail = [&](FileError e, size_t k, size_t written) {
    for (size_t j = 0; j < written; ++j) files.Remove(file_of(j));
    r.error = e;
    r.file = k < kSetFileNames.size() ? kSetFileNames[k] : kSetIndexFileName;
    return r;
  };
  FileError e = FileError::kExists;
  for (int attempt = 0; attempt < kClaimAttempts && e == FileError::kExists; ++attempt) {
    generation = generation >= kMaxGeneration ? 1 : generation + 1;
    e = files.Write(file_of(0), set.data, true);
  }
  if (e != FileError::kNone) return fail(e, 0, 0);
  for (size_t k = 1; k < kSetFileNames.size(); ++k) {
    e = files.Write(file_of(k), Member(set, k), false);
    if (e != FileError::kNone) return fail(e, k, k);
  }

  // The switch.
  e = ReplaceWholeFile(files, index_path, FormatSetIndex(IndexOf(generation, set)));
  if (e != FileError::kNone) return fail(e, kSetFileNames.size(), kSetFileNames.size());
  r.committed = true;

  // The plain names, for readers that know no index. One that cannot be
  // replaced stops the rest, so that such readers keep a set of one age as
  // long as they can.
  for (size_t k = 0; k < kSetFileNames.size(); ++k) {
    e = ReplaceWholeFile(files, InFolder(folder, kSetFileNames[k]), Member(set, k));
    if (e != FileError::kNone) {
      r.error = e;
      r.file = kSetFileNames[k];
      break;
    }
  }
  RemoveOtherGenerations(files, folder, generation);
  return r;
}

ReadSetResult ReadCompiledSet(FileSystem& files, const FilePath& folder) {
  const FilePath index_path = InFolder(folder, kSetIndexFileName);
  ReadSetResult r;
  for (int attempt = 0; attempt < kReadAttempts; ++attempt) {
    std::string text;
    const FileError e = files.Read(index_path, text, kSetIndexLimit);
    if (e == FileError::kNotFound) return ReadPlainFiles(files, folder);
    if (e != FileError::kNone) {
      r.error = e;
      continue;
    }
    const std::optional<SetIndex> index = ParseSetIndex(text);
    // An index damaged by hand: the plain names hold the last set written.
    if (!index) return ReadPlainFiles(files, folder);
    CompiledFiles set;
    // The generation's own files, or else the plain copies of the same set
    // (when the generation's were lost); either only when they match.
    if (ReadMatching(files, folder, *index, true, set, r.error) ||
        ReadMatching(files, folder, *index, false, set, r.error)) {
      r.origin = SetOrigin::kGeneration;
      r.index = std::move(text);
      r.files = std::move(set);
      r.error = FileError::kNone;
      return r;
    }
  }
  r.files = {};
  return r;
}

}  // namespace Quellmar::dictionary
