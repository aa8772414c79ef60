#include "engine_core/user_dictionary.h"

#include <algorithm>
#include <system_error>

#include "dictionary/compiled_set.h"
#include "dictionary/folder.h"
#include "dictionary/format.h"

namespace Quellmar::engine_core {
namespace {

namespace fmt = Quellmar::dictionary;
using Quellmar::dictionary::InFolder;

char Fold(char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c + 32) : c; }

bool SameLetters(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (size_t k = 0; k < a.size(); ++k) {
    if (Fold(a[k]) != Fold(b[k])) return false;
  }
  return true;
}

// A decimal number of at most nine digits at s[k], with k moved past it.
bool ReadNumber(std::string_view s, size_t& k, int64_t& out) {
  while (k < s.size() && (s[k] == ' ' || s[k] == '\t')) ++k;
  size_t start = k;
  int64_t v = 0;
  while (k < s.size() && s[k] >= '0' && s[k] <= '9' && k - start < 9) v = v * 10 + (s[k++] - '0');
  if (k == start || (k < s.size() && s[k] >= '0' && s[k] <= '9')) return false;
  out = v;
  return true;
}

}  // namespace

UserDictionary::UserDictionary(std::string data, std::string_view table) : data_(std::move(data)) {
  size_t pos = 0;
  int line = 0;
  while (pos < table.size()) {
    size_t eol = table.find('\n', pos);
    if (eol == std::string_view::npos) eol = table.size();
    std::string_view text = table.substr(pos, eol - pos);
    pos = eol + 1;
    if (++line <= 2) continue;  // the count of slots and the largest bucket
    size_t k = 0;
    int64_t slot = 0, offset = 0;
    if (!ReadNumber(text, k, slot) || !ReadNumber(text, k, offset)) continue;
    if (slot >= fmt::kHashSlots || static_cast<uint64_t>(offset) >= data_.size()) continue;
    index_.emplace_back(static_cast<int32_t>(slot), static_cast<uint32_t>(offset));
  }
  std::stable_sort(index_.begin(), index_.end(),
                   [](auto& a, auto& b) { return a.first < b.first; });
  // Of two lines for one slot the later one counts, as it does when the
  // compiler assigns a slot twice.
  std::vector<std::pair<int32_t, uint32_t>> unique;
  for (const auto& e : index_) {
    if (!unique.empty() && unique.back().first == e.first)
      unique.back() = e;
    else
      unique.push_back(e);
  }
  index_ = std::move(unique);
  for (const auto& e : index_) starts_.push_back(e.second);
  std::sort(starts_.begin(), starts_.end());
}

bool UserDictionary::Find(std::string_view word, std::string& encoded) const {
  if (word.empty()) return false;
  const int32_t hash = fmt::WordHash(word);
  auto it = std::lower_bound(index_.begin(), index_.end(), hash,
                             [](const auto& e, int32_t h) { return e.first < h; });
  if (it == index_.end() || it->first != hash) return false;
  const size_t begin = it->second;
  auto next = std::upper_bound(starts_.begin(), starts_.end(), it->second);
  const size_t end = next == starts_.end() ? data_.size() : *next;
  std::string payload;
  if (!FindInBucket(begin, end, word, payload)) return false;
  // The letter of a City or Country code travels before the transcription,
  // which is written in lower case.
  size_t skip = (!payload.empty() && payload[0] >= 'A' && payload[0] <= 'Z') ? 1 : 0;
  encoded.assign(payload, skip, std::string::npos);
  return true;
}

bool UserDictionary::FindInBucket(size_t p, size_t end, std::string_view word,
                                  std::string& payload) const {
  auto byte = [&](size_t k) { return static_cast<unsigned char>(data_[k]); };
  auto value = [&](size_t k) { return fmt::Unescape(byte(k)); };
  // An entry at q (after its remaining letters): length, code, payload.
  auto entry = [&](size_t q, size_t& after) -> bool {
    if (q + 2 > end) return false;
    int length = value(q);
    if (length < 1 || q + 1 + static_cast<size_t>(length) > end) return false;
    after = q + 1 + static_cast<size_t>(length);
    return true;
  };
  if (p >= end) return false;
  if (byte(p) == fmt::kShortEntryMarker) {
    size_t after = 0;
    if (!entry(p + 1, after)) return false;
    if (word.size() <= 3) {
      payload.assign(data_, p + 3, after - (p + 3));
      return true;
    }
    p = after;
  } else if (byte(p) == fmt::kLongBucketMarker) {
    if (word.size() <= 3) return false;
    ++p;
  } else {
    return false;
  }
  if (word.size() <= 3) return false;
  const size_t wanted = word.size() - 3;
  const std::string_view rest = word.substr(3);
  int previous = 0;
  while (p + 3 <= end) {
    const int r = value(p);
    const size_t g = static_cast<size_t>(value(p + 1)) * fmt::kGroupLengthBase +
                     static_cast<size_t>(value(p + 2));
    // Groups rise in length; anything else is the next bucket.
    if (r <= previous || g < 3 || p + g > end) return false;
    previous = r;
    if (static_cast<size_t>(r) > wanted) return false;
    if (static_cast<size_t>(r) == wanted) {
      size_t q = p + 3;
      while (q + wanted < p + g) {
        size_t after = 0;
        if (!entry(q + wanted, after) || after > p + g) return false;
        if (SameLetters(std::string_view(data_).substr(q, wanted), rest)) {
          payload.assign(data_, q + wanted + 2, after - (q + wanted + 2));
          return true;
        }
        q = after;
      }
      return false;
    }
    p += g;
  }
  return false;
}

bool UserDictionaryCache::StandardStamp(const std::filesystem::path& file, Stamp& stamp) {
  std::error_code ec;
  auto time = std::filesystem::last_write_time(file, ec);
  if (ec) return false;
  stamp.written = static_cast<uint64_t>(time.time_since_epoch().count());
  stamp.size = std::filesystem::file_size(file, ec);
  return !ec;
}

std::shared_ptr<const UserDictionary> UserDictionaryCache::Get(
    const std::filesystem::path& folder) {
  std::string index;
  const FileError e =
      files_.Read(InFolder(folder, fmt::kSetIndexFileName), index, fmt::kSetIndexLimit);
  std::lock_guard<std::mutex> lock(mutex_);
  if (e == FileError::kNotFound) return FromPlainFiles(folder);
  const bool same_folder = dictionary_ && folder == folder_;
  if (e != FileError::kNone) {
    // Held for a moment by its writer: the set read before stays in use.
    return same_folder ? dictionary_ : FromIndex(folder, index);
  }
  if (same_folder && index == index_) return dictionary_;
  if (index == failed_index_ && folder == folder_) return same_folder ? dictionary_ : nullptr;
  return FromIndex(folder, index);
}

std::shared_ptr<const UserDictionary> UserDictionaryCache::FromIndex(
    const std::filesystem::path& folder, const std::string& index) {
  fmt::ReadSetResult set = fmt::ReadCompiledSet(files_, folder);
  if (set.origin == fmt::SetOrigin::kNone) {
    // Not whole (a compile that went wrong, files lost): read no part of it,
    // and do not try this index again until it changes.
    failed_index_ = index;
    if (folder != folder_) {
      dictionary_.reset();
      folder_ = folder;
    }
    return dictionary_;
  }
  dictionary_ =
      std::make_shared<const UserDictionary>(std::move(set.files.data), set.files.hash_table);
  folder_ = folder;
  index_ = std::move(set.index);
  failed_index_.clear();
  return dictionary_;
}

std::shared_ptr<const UserDictionary> UserDictionaryCache::FromPlainFiles(
    const std::filesystem::path& folder) {
  const std::filesystem::path data_path = InFolder(folder, fmt::kDataFileName);
  const std::filesystem::path table_path = InFolder(folder, fmt::kHashFileName);
  Stamp data_stamp, table_stamp;
  if (!stamp_(data_path, data_stamp) || !stamp_(table_path, table_stamp)) {
    dictionary_.reset();
    return nullptr;
  }
  if (dictionary_ && folder == folder_ && index_.empty() && data_stamp == data_stamp_ &&
      table_stamp == table_stamp_)
    return dictionary_;
  fmt::ReadSetResult set = fmt::ReadCompiledSet(files_, folder);
  if (set.origin != fmt::SetOrigin::kPlainFiles) {
    dictionary_.reset();
    return nullptr;
  }
  dictionary_ =
      std::make_shared<const UserDictionary>(std::move(set.files.data), set.files.hash_table);
  folder_ = folder;
  index_.clear();
  failed_index_.clear();
  data_stamp_ = data_stamp;
  table_stamp_ = table_stamp;
  return dictionary_;
}

}  // namespace Quellmar::engine_core
