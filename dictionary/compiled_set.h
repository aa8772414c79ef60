// The compiled user dictionary as one set: lexmere.fle, userhash.tab and
// userhash.dvl only mean something together (the index holds offsets into
// the data), so they are replaced together.
//
// Each compile writes its three files under names of their own, a new
// generation beside the one in use ("lexmere.fle.12", ...), flushed to the
// disk; then one rename of the small index file userdict.idx switches to
// them. The index names the generation and the size and CRC-32 of each
// file, so a reader that finds the index reads a complete set, the old one
// or the new one, and knows it. After the switch the three files are also
// written under their plain names, each replaced whole, for programs that
// know nothing of the index; the old generation is removed last.
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "common/durable_file.h"
#include "dictionary/format.h"

namespace Quellmar::dictionary {

struct CompiledFiles {
  std::string data;        // lexmere.fle
  std::string hash_table;  // userhash.tab
  std::string ranges;      // userhash.dvl
  bool operator==(const CompiledFiles&) const = default;
};

inline constexpr char kSetIndexFileName[] = "userdict.idx";
// The plain names of a set's files, in the order of CompiledFiles.
inline constexpr std::array<const char*, 3> kSetFileNames = {kDataFileName, kHashFileName,
                                                             kRangesFileName};
// What a reader takes of one file: the index's offsets are 32-bit, and a
// dictionary of 100,000 words compiles to a few megabytes.
inline constexpr uint64_t kCompiledFileLimit = uint64_t{64} << 20;
inline constexpr uint64_t kSetIndexLimit = 4096;

struct SetIndex {
  struct File {
    uint64_t size = 0;
    uint32_t crc = 0;
    bool operator==(const File&) const = default;
  };
  uint32_t generation = 0;  // 1 .. kMaxGeneration
  std::array<File, 3> files{};
  bool operator==(const SetIndex&) const = default;
};
inline constexpr uint32_t kMaxGeneration = 999999999;

uint32_t Crc32(std::string_view bytes);
SetIndex IndexOf(uint32_t generation, const CompiledFiles& files);
std::string FormatSetIndex(const SetIndex& index);
// Nothing unless the text is exactly what FormatSetIndex writes (line ends
// CR LF or LF).
std::optional<SetIndex> ParseSetIndex(std::string_view text);
// "lexmere.fle" of generation 12: "lexmere.fle.12".
std::string GenerationFileName(std::string_view plain_name, uint32_t generation);

struct CommitResult {
  FileError error = FileError::kNone;
  std::string file;        // the plain name of the file that failed
  bool committed = false;  // the engine core now reads the new set
};

// Makes `set` the compiled dictionary of `folder`. Until the switch, any
// failure leaves the previous set in use and nothing of the new one behind
// (error and file say what failed, committed is false). A failure after
// the switch can only concern the plain names (committed is true).
CommitResult CommitCompiledSet(FileSystem& files, const FilePath& folder, const CompiledFiles& set);

enum class SetOrigin {
  kNone,        // no dictionary, or none that could be read (see error)
  kGeneration,  // the set the index names, checked against it
  kPlainFiles,  // no index (a dictionary compiled before there was one)
};
struct ReadSetResult {
  SetOrigin origin = SetOrigin::kNone;
  std::string index;  // the index as read (empty without one)
  CompiledFiles files;
  FileError error = FileError::kNone;
};

// The complete set the folder holds, read so that no writer is held up.
// When the index changes while the files are read, it is read again (a
// few times at most); a set that never matches its index is not returned.
ReadSetResult ReadCompiledSet(FileSystem& files, const FilePath& folder);

}  // namespace Quellmar::dictionary
