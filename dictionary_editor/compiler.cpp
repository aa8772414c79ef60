#include "dictionary_editor/compiler.h"

#include <algorithm>
#include <cstdio>
#include <map>
#include <new>
#include <set>

#include "dictionary/folder.h"
#include "dictionary/format.h"
#include "dictionary_editor/phonetic.h"
#include "dictionary_editor/source_text.h"

namespace Quellmar::dictionary {
namespace {

bool IsDigit(char c) { return c >= '0' && c <= '9'; }

struct Record {
  std::string prefix;  // first three characters, or the whole short word
  size_t rest_length;  // 0 for a word of at most three characters
  std::string rest;
  std::string code_field;
};

// The two digits that start a code field, as a number ("02C..." gives 2);
// what is not a digit counts as nothing, as in a decimal conversion that
// stops at the first stranger.
int CodeByte(std::string_view code_field) {
  int v = 0;
  for (size_t k = 0; k < 2 && k < code_field.size() && IsDigit(code_field[k]); ++k)
    v = v * 10 + (code_field[k] - '0');
  return v;
}

std::string LeftOutList(const char* heading, const std::vector<std::string>& lines) {
  std::string text = heading;
  for (size_t k = 0; k < lines.size() && k < kLeftOutListed; ++k) text += lines[k] + "\n";
  if (lines.size() > kLeftOutListed) {
    text += "... and " + std::to_string(lines.size() - kLeftOutListed) + " more\n";
  }
  return text;
}

// The work file that failed, and why, after the message users know.
std::string TempFileMessage(const char* name, FileError error) {
  return std::string(kCannotOpenTempText) + name + ' ' + FileErrorText(error) + ".\n";
}

// One of the compiled files' buckets at a time: the open group's header is
// completed when the group ends.
class DataWriter {
 public:
  explicit DataWriter(std::string& data) : data_(data) {}

  bool Fits(size_t entry_bytes) const {
    return buffer_.size() + entry_bytes <= kWorkingBufferBytes;
  }

  void StartBucket() {
    Flush();
    if (bucket_start_ >= 0)
      largest_ = std::max<int64_t>(largest_, static_cast<int64_t>(data_.size()) - bucket_start_);
    bucket_start_ = static_cast<int64_t>(data_.size());
  }
  int64_t BucketStart() const { return bucket_start_; }

  void ShortEntry(const std::string& entry) {
    buffer_.push_back(static_cast<char>(kShortEntryMarker));
    buffer_ += entry;
    last_piece_ = static_cast<int64_t>(buffer_.size());
  }
  void LongBucketMarker() { buffer_.push_back(static_cast<char>(kLongBucketMarker)); }
  // The header's length digits stay open until the group ends.
  void StartGroup(size_t rest_length) {
    group_header_ = buffer_.size();
    buffer_.push_back(static_cast<char>(Escape(static_cast<int>(rest_length))));
    buffer_.append(2, '\0');
  }
  void Append(const std::string& entry) { buffer_ += entry; }

  void Finish() {
    Flush();
    largest_ = std::max(largest_, last_piece_);
  }
  int64_t LargestBucket() const { return largest_; }

  // Completes the open group's header and appends the buffer to the file.
  void Flush() {
    if (group_header_ != std::string::npos) {
      size_t g = buffer_.size() - group_header_;
      buffer_[group_header_ + 1] =
          static_cast<char>(Escape(static_cast<int>(g / kGroupLengthBase)));
      buffer_[group_header_ + 2] =
          static_cast<char>(Escape(static_cast<int>(g % kGroupLengthBase)));
      last_piece_ = static_cast<int64_t>(g);
      group_header_ = std::string::npos;
    }
    data_ += buffer_;
    buffer_.clear();
  }

 private:
  std::string& data_;
  std::string buffer_;
  size_t group_header_ = std::string::npos;
  int64_t bucket_start_ = -1;
  int64_t largest_ = 0;
  int64_t last_piece_ = 0;
};

// Which written entries the engine core will find. It looks a word up in
// the bucket its hash slot points to, and takes the bucket's short entry,
// or scans the bucket's groups while their lengths rise and takes the
// first entry of the word (letters compared without regard to case) in the
// group of its length. Words that sort apart but hash alike (capitals, or
// characters the hash does not tell apart) make buckets whose slot a later
// one takes, or groups that do not rise: their entries are reported.
class Reachability {
 public:
  explicit Reachability(std::vector<LeftOutEntry>& left_out) : left_out_(left_out) {}

  void NewBucket(int32_t hash, std::string_view word) {
    std::vector<std::string>& held = slot_words_[hash];
    const std::string folded = Fold(word);
    for (std::string& hidden : held) {
      const LeftOutReason reason =
          Fold(hidden) == folded ? LeftOutReason::kSameWord : LeftOutReason::kSameHash;
      left_out_.push_back({std::move(hidden), reason});
    }
    held.clear();
    hash_ = hash;
    max_rest_ = 0;
    blocked_ = false;
    group_.clear();
    if (word.size() > 3) max_rest_ = static_cast<int64_t>(word.size()) - 3;
    Add(word);
  }
  void NewGroup(std::string_view word) {
    group_.clear();
    const int64_t rest = static_cast<int64_t>(word.size()) - 3;
    if (rest <= max_rest_) blocked_ = true;
    if (!blocked_) max_rest_ = rest;
    Add(word);
  }
  void SameGroup(std::string_view word) { Add(word); }

 private:
  static std::string Fold(std::string_view w) {
    std::string f(w);
    for (char& c : f) c = (c >= 'A' && c <= 'Z') ? static_cast<char>(c + 32) : c;
    return f;
  }
  void Add(std::string_view word) {
    if (blocked_) {
      left_out_.push_back({std::string(word), LeftOutReason::kSameHash});
    } else if (!group_.insert(Fold(word.size() > 3 ? word.substr(3) : word)).second) {
      left_out_.push_back({std::string(word), LeftOutReason::kSameWord});
    } else {
      slot_words_[hash_].emplace_back(word);
    }
  }

  std::vector<LeftOutEntry>& left_out_;
  std::map<int32_t, std::vector<std::string>> slot_words_;  // of the bucket each slot holds
  int32_t hash_ = 0;
  int64_t max_rest_ = 0;
  bool blocked_ = false;         // a group of the bucket did not rise: the rest are not scanned
  std::set<std::string> group_;  // the open group's remaining letters, folded
};

}  // namespace

const char* LeftOutReasonText(LeftOutReason reason) {
  switch (reason) {
    case LeftOutReason::kNoHashSlot:
      return "its first three letters have no place in the hash table";
    case LeftOutReason::kGroupTooLong:
      return "too many words share its first three letters and its length";
    case LeftOutReason::kTooLong:
      return "the word or its transcription is too long";
    case LeftOutReason::kSameHash:
      return "a word whose first three letters the engine cannot tell from its own is in its way";
    case LeftOutReason::kSameWord:
      return "another entry of the same word is the one the engine finds";
  }
  return "";
}

std::string CodeField(std::string_view code, std::string_view transcription) {
  std::string field(code);
  field += EncodePhonetic(transcription);
  return field;
}

ConvertedList ConvertSource(std::string_view source) {
  ConvertedList out;
  std::vector<Record> records;
  size_t pos = 0, number = 0;
  std::string_view line;
  while (NextLine(source, pos, line)) {
    ++number;
    std::string_view f[3];
    size_t count = SplitFields(line, f, 3);
    if (count == 0) continue;
    if (count < 3) {
      out.skipped.push_back({number, std::string(line)});
      continue;
    }
    Record r;
    if (f[0].size() > 3) {
      r.prefix.assign(f[0].substr(0, 3));
      r.rest_length = f[0].size() - 3;
      r.rest.assign(f[0].substr(3));
    } else {
      r.prefix.assign(f[0]);
      r.rest_length = 0;
      r.rest = "0";
    }
    r.code_field = CodeField(f[2], f[1]);
    out.intermediate += r.prefix + '\t' + std::to_string(r.rest_length) + '\t' + r.rest + '\t' +
                        r.code_field + "\r\n";
    records.push_back(std::move(r));
  }
  out.records = records.size();
  // Stable, so that entries with the same word keep the order of the list
  // on every platform.
  std::stable_sort(records.begin(), records.end(), [](const Record& a, const Record& b) {
    if (int c = a.prefix.compare(b.prefix); c != 0) return c < 0;
    if (a.rest_length != b.rest_length) return a.rest_length < b.rest_length;
    return a.rest.compare(b.rest) < 0;
  });
  for (const Record& r : records) {
    out.sorted += r.prefix;
    if (r.rest_length != 0) out.sorted += r.rest;
    out.sorted += '\t' + r.code_field + "\r\n";
  }
  return out;
}

int BuildDictionary(std::string_view sorted, CompiledFiles& out,
                    std::vector<LeftOutEntry>& left_out) {
  out = CompiledFiles{};
  std::vector<int32_t> table(kHashSlots, -1);
  DataWriter writer(out.data);
  Reachability reach(left_out);
  bool any = false;
  int32_t previous_hash = 0;
  int64_t previous_rest = 0;

  size_t k = 0;
  auto token = [&](std::string_view& t) {
    while (k < sorted.size() && IsFieldSpace(sorted[k])) ++k;
    size_t start = k;
    while (k < sorted.size() && !IsFieldSpace(sorted[k])) ++k;
    t = sorted.substr(start, k - start);
    return !t.empty();
  };
  std::string_view word, code_field;
  while (token(word) && token(code_field)) {
    const int32_t hash = WordHash(word);
    const int64_t rest = static_cast<int64_t>(word.size()) - 3;
    if (code_field.size() >= 3 && IsDigit(code_field[2])) return kWriteBadCode;
    const std::string_view payload =
        code_field.size() > 2 ? code_field.substr(2) : std::string_view();

    if (hash < 0 || hash >= kHashSlots) {
      left_out.push_back({std::string(word), LeftOutReason::kNoHashSlot});
      continue;
    }
    const int length = static_cast<int>(std::min<size_t>(payload.size() + 1, 1000));
    if (!FitsEscapedByte(length) ||
        (rest > 0 && !FitsEscapedByte(static_cast<int>(std::min<int64_t>(rest, 1000))))) {
      left_out.push_back({std::string(word), LeftOutReason::kTooLong});
      continue;
    }
    std::string entry;
    if (rest > 0) entry.assign(word.substr(3));
    entry.push_back(static_cast<char>(Escape(length)));
    entry.push_back(static_cast<char>(Escape(CodeByte(code_field))));
    entry.append(payload);

    if (rest <= 0) {
      writer.StartBucket();
      table[static_cast<size_t>(hash)] = static_cast<int32_t>(writer.BucketStart());
      writer.ShortEntry(entry);
      reach.NewBucket(hash, word);
    } else if (!any || hash != previous_hash) {
      writer.StartBucket();
      table[static_cast<size_t>(hash)] = static_cast<int32_t>(writer.BucketStart());
      writer.LongBucketMarker();
      writer.StartGroup(static_cast<size_t>(rest));
      writer.Append(entry);
      reach.NewBucket(hash, word);
    } else if (rest != previous_rest) {
      writer.Flush();
      writer.StartGroup(static_cast<size_t>(rest));
      writer.Append(entry);
      reach.NewGroup(word);
    } else if (writer.Fits(entry.size())) {
      writer.Append(entry);
      reach.SameGroup(word);
    } else {
      left_out.push_back({std::string(word), LeftOutReason::kGroupTooLong});
      continue;
    }
    any = true;
    previous_hash = hash;
    previous_rest = rest;
  }
  writer.Finish();

  std::vector<int32_t> used;
  for (int32_t slot = 0; slot < kHashSlots; ++slot) {
    if (table[static_cast<size_t>(slot)] != -1) used.push_back(slot);
  }
  char line[64];
  std::snprintf(line, sizeof line, "%d\r\n%ld\r\n", static_cast<int>(used.size()),
                static_cast<long>(writer.LargestBucket() + 1));
  out.hash_table = line;
  for (int32_t slot : used) {
    std::snprintf(line, sizeof line, "%ld  %ld\r\n", static_cast<long>(slot),
                  static_cast<long>(table[static_cast<size_t>(slot)]));
    out.hash_table += line;
  }
  static constexpr int32_t kRangeStarts[10] = {2501,  5001,  7501,  10001, 15001,
                                               20001, 22501, 27501, 30001, 32501};
  for (int r = 0; r < 10; ++r) {
    const int32_t low = kRangeStarts[r];
    const int32_t high = r + 1 < 10 ? kRangeStarts[r + 1] - 1 : kHashSlots;
    size_t position = used.size();
    for (size_t p = 0; p < used.size(); ++p) {
      if (used[p] >= low && used[p] <= high) {
        position = p;
        break;
      }
    }
    std::snprintf(line, sizeof line, "%d\r\n", static_cast<int>(position));
    out.ranges += line;
  }
  return kWriteOk;
}

int Convert(FileSystem& files, const std::string& source_path, const std::string& temp_dir,
            Reporter& reporter) {
  std::string source;
  if (files.Read(NarrowPath(source_path), source, kDefaultReadLimit) != FileError::kNone) {
    reporter.Report(kCannotOpenInputText, kFileOpenErrorCaption);
    return kConvertFailed;
  }
  ConvertedList list;
  try {
    list = ConvertSource(source);
  } catch (const std::bad_alloc&) {
    // Nothing sorted must not become an empty dictionary: Write is skipped.
    reporter.Report(kSortRecordsFailedText, kMemoryErrorCaption);
    return kConvertFailed;
  }
  for (const auto& [name, bytes] :
       {std::pair<const char*, const std::string*>{kIntermediateFileName, &list.intermediate},
        {kSortedFileName, &list.sorted}}) {
    const FileError e = ReplaceWholeFile(files, NarrowPath(InFolder(temp_dir, name)), *bytes);
    if (e != FileError::kNone) {
      reporter.Report(TempFileMessage(name, e), kFileOpenErrorCaption);
      return kConvertFailed;
    }
  }
  if (!list.skipped.empty()) {
    std::vector<std::string> lines;
    for (const SourceLine& l : list.skipped) {
      std::string shown = l.text.substr(0, 60);
      lines.push_back("line " + std::to_string(l.number) + ": " + shown);
    }
    reporter.Report(LeftOutList(kLinesLeftOutText, lines), kLeftOutCaption);
  }
  return kConvertOk;
}

int Write(FileSystem& files, const std::string& temp_dir, const std::string& dict_dir,
          Reporter& reporter) {
  std::string sorted;
  if (const FileError e =
          files.Read(NarrowPath(InFolder(temp_dir, kSortedFileName)), sorted, kDefaultReadLimit);
      e != FileError::kNone) {
    reporter.Report(TempFileMessage(kSortedFileName, e), kFileOpenErrorCaption);
    return kWriteFilesFailed;
  }
  CompiledFiles compiled;
  std::vector<LeftOutEntry> left_out;
  int result;
  try {
    result = BuildDictionary(sorted, compiled, left_out);
  } catch (const std::bad_alloc&) {
    return kWriteNoHashTable;
  }
  if (result != kWriteOk) return result;
  const CommitResult commit = CommitCompiledSet(files, NarrowPath(dict_dir), compiled);
  if (!commit.committed) {
    reporter.Report(std::string(kSetNotWrittenText) + commit.file + ' ' +
                        FileErrorText(commit.error) + '.' + kNoChangeText,
                    kWriteErrorCaption);
    return kWriteFilesFailed;
  }
  if (commit.error != FileError::kNone) {
    reporter.Report(std::string(kPlainCopyNotWrittenText) + commit.file + ' ' +
                        FileErrorText(commit.error) + '.',
                    kWriteErrorCaption);
  }
  if (!left_out.empty()) {
    std::vector<std::string> lines;
    for (const LeftOutEntry& e : left_out)
      lines.push_back(e.word.substr(0, 60) + ": " + LeftOutReasonText(e.reason));
    reporter.Report(LeftOutList(kEntriesLeftOutText, lines), kLeftOutCaption);
  }
  return kWriteOk;
}

}  // namespace Quellmar::dictionary
