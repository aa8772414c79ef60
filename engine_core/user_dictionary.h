// The user dictionary as the engine core reads it: the compiled files that
// the dictionary editor writes into the dictionary files folder (DICTFLSDIR
// of quellmar.ini). userhash.tab gives each used hash slot the offset of its
// bucket in lexmere.fle; a bucket holds the short word of its hash and the
// longer words in groups by length. The files come from outside, so every
// offset and length is checked before it is used.
#pragma once

#include <cstdint>
#include <filesystem>
#include <memory>
#include <mutex>
#include <string>
#include <string_view>
#include <vector>

#include "common/durable_file.h"
#include "engine_core/text_front.h"

namespace Quellmar::engine_core {

class UserDictionary : public WordLookup {
 public:
  // From the bytes of lexmere.fle and userhash.tab. Index lines that do not
  // read as a slot and an offset inside the data are passed over.
  UserDictionary(std::string data, std::string_view table);

  // The encoded transcription of a word (letters compared without regard to
  // case), without the City/Country letter that may stand before it.
  bool Find(std::string_view word, std::string& encoded) const override;
  size_t Slots() const { return index_.size(); }

 private:
  bool FindInBucket(size_t begin, size_t end, std::string_view word, std::string& payload) const;

  std::string data_;
  std::vector<std::pair<int32_t, uint32_t>> index_;  // slot, offset; by slot
  std::vector<uint32_t> starts_;                     // every bucket offset, ascending
};

// The compiled dictionary of one folder, read again when it has been
// recompiled, so a recompiled dictionary reaches the next synthesis. A set
// with an index (dictionary/compiled_set.h) is read again when the index
// changes, and only ever whole: while a new set cannot be read completely,
// the one read before stays in use. A set compiled before there was an
// index is read again when its files change. Safe to use from several
// threads.
class UserDictionaryCache {
 public:
  // When a file was last written and how long it is; false when it cannot
  // be had. The platform's own times are finer than those of the standard
  // library on some (whole seconds under mingw), and two compiles of lists
  // of one length may come within a second.
  struct Stamp {
    uint64_t written = 0;
    uint64_t created = 0;
    uint64_t size = 0;
    bool operator==(const Stamp&) const = default;
  };
  using StampFn = bool (*)(const std::filesystem::path& file, Stamp& stamp);
  static bool StandardStamp(const std::filesystem::path& file, Stamp& stamp);

  explicit UserDictionaryCache(FileSystem& files = LocalFiles(), StampFn stamp = &StandardStamp)
      : files_(files), stamp_(stamp) {}

  // `folder` is the folder as quellmar.ini names it, with or without its
  // closing backslash. nullptr when it holds no dictionary that can be read.
  std::shared_ptr<const UserDictionary> Get(const std::filesystem::path& folder);

 private:
  std::shared_ptr<const UserDictionary> FromPlainFiles(const std::filesystem::path& folder);
  std::shared_ptr<const UserDictionary> FromIndex(const std::filesystem::path& folder,
                                                  const std::string& index);

  FileSystem& files_;
  StampFn stamp_;
  std::mutex mutex_;
  std::filesystem::path folder_;
  std::string index_;         // the index the dictionary was read by ("" without one)
  std::string failed_index_;  // an index whose set could not be read whole
  Stamp data_stamp_, table_stamp_;
  std::shared_ptr<const UserDictionary> dictionary_;
};

// The dictionary quellmar.ini switches on (CUSTOM=YES) in its DICTFLSDIR,
// or nullptr when it is off or cannot be read (qmcore, Windows only).
std::shared_ptr<const WordLookup> CurrentUserDictionary();

}  // namespace Quellmar::engine_core
