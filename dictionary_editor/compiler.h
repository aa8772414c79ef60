// The dictionary compiler: the source list lexmere.txt becomes the three
// files the engine core reads (lexmere.fle, userhash.tab, userhash.dvl), by
// way of two work files in the temporary folder. Convert turns the list into
// intermediate records and sorts them; Write builds the compiled files from
// the sorted records. Folders are named as quellmar.ini names them (with or
// without their closing separator). Every file is written with CR LF line
// ends on every platform, and the compiled files are replaced as one set
// (dictionary/compiled_set.h), so a failed run leaves the previous set in
// use and says what failed.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "common/durable_file.h"
#include "dictionary/compiled_set.h"
#include "dictionary_editor/reporter.h"

namespace Quellmar::dictionary {

inline constexpr int kConvertOk = 0;
inline constexpr int kConvertFailed = 1;
inline constexpr int kWriteOk = 0;
inline constexpr int kWriteNoHashTable = 110;
inline constexpr int kWriteFilesFailed = 120;
inline constexpr int kWriteBadCode = 130;

inline constexpr char kIntermediateFileName[] = "tempout.txt";
// Created as "ds4." by the Windows program, whose file system drops the dot.
inline constexpr char kSortedFileName[] = "ds4";

inline constexpr char kFileOpenErrorCaption[] = "File Open Error";
inline constexpr char kCannotOpenInputText[] = "Cannot open input file.\n";
inline constexpr char kCannotOpenTempText[] = "Cannot open intermediate temp file.\n";
inline constexpr char kMemoryErrorCaption[] = "Memory Allocation Error";
inline constexpr char kSortRecordsFailedText[] = "calloc failed in mergesort 1\n";
inline constexpr char kLeftOutCaption[] = "Dictionary Entries Left Out";
inline constexpr char kLinesLeftOutText[] =
    "These lines of Lexmere.txt are not a word, a transcription and a code;\n"
    "they were left out of the user dictionary:\n";
inline constexpr char kEntriesLeftOutText[] =
    "These entries stay in Lexmere.txt but were left out of the user dictionary:\n";
// Write could not put the new set in place: said with the file and what
// went wrong with it ("lexmere.fle is in use by another program").
inline constexpr char kSetNotWrittenText[] = "The user dictionary could not be written: ";
inline constexpr char kNoChangeText[] = "\n\nNo Change On The User Dictionary.";
// The new set is in use, but a copy under its plain name could not be made.
inline constexpr char kPlainCopyNotWrittenText[] =
    "The user dictionary was updated, but for programs that read only lexmere.fle, userhash.tab "
    "and userhash.dvl it is not: ";
inline constexpr char kWriteErrorCaption[] = "Error";
// What the editor shows when Write fails on an entry (110, 130).
inline constexpr char kWriteFailedText[] =
    "Error In Dictionary Entry.\nPlease Check Your Most Recent Entries In Lexmere.txt File.\n\n"
    "No Change On The User Dictionary.";
// At most this many left-out lines or entries are named in one message.
inline constexpr size_t kLeftOutListed = 20;

enum class LeftOutReason {
  kNoHashSlot,    // three z's: the hash is one past the table
  kGroupTooLong,  // its group would outgrow the working buffer
  kTooLong,       // its word or encoded transcription does not fit a length byte
  kSameHash,      // written, but a later bucket of the same hash took its slot
  kSameWord,      // written, but the engine finds another entry of the word
};
const char* LeftOutReasonText(LeftOutReason reason);

struct LeftOutEntry {
  std::string word;
  LeftOutReason reason;
};

struct SourceLine {
  size_t number;     // from 1
  std::string text;  // the line as read, without its line end
};

struct ConvertedList {
  std::string intermediate;  // tempout.txt
  std::string sorted;        // ds4
  size_t records = 0;
  std::vector<SourceLine> skipped;  // lines that are not three fields (blank lines are not listed)
};

// The code field of an entry: its code followed by the encoded transcription.
std::string CodeField(std::string_view code, std::string_view transcription);

// The in-memory steps, for the file functions below and for tests.
// May throw std::bad_alloc.
ConvertedList ConvertSource(std::string_view source_list);
// kWriteOk or kWriteBadCode (out is then incomplete). Entries left out of
// the files, and those written that the engine core will never find, are
// added to `left_out`.
int BuildDictionary(std::string_view sorted, CompiledFiles& out,
                    std::vector<LeftOutEntry>& left_out);

// Convert (source list, temp folder): kConvertOk or kConvertFailed, with the
// failure reported.
int Convert(FileSystem& files, const std::string& source_path, const std::string& temp_dir,
            Reporter& reporter);
// Write (temp folder, dictionary folder): kWriteOk, kWriteNoHashTable,
// kWriteFilesFailed (a file could not be read or written, reported with
// its cause) or kWriteBadCode. Entries left out are reported; they do not
// fail the run.
int Write(FileSystem& files, const std::string& temp_dir, const std::string& dict_dir,
          Reporter& reporter);

}  // namespace Quellmar::dictionary
