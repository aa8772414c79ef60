#include "dictionary_editor/editor_files.h"

#include <array>
#include <filesystem>
#include <system_error>

#include "dictionary/compiled_set.h"
#include "dictionary/folder.h"
#include "dictionary_editor/compiler.h"
#include "dictionary_editor/source_merge.h"

namespace Quellmar::dictionary {
namespace {

constexpr std::array<const char*, 3> kCompiledBackups = {"dictfle.bak", "hashtab.bak",
                                                         "hashdvl.bak"};
constexpr char kListBackup[] = "lexmere.bak";

std::string ChangedMessage(const MergeResult& merge) {
  std::string text = kListChangedText;
  if (merge.conflicts.empty()) return text;
  text += kConflictsText;
  for (size_t k = 0; k < merge.conflicts.size() && k < kLeftOutListed; ++k) {
    const MergeConflict& c = merge.conflicts[k];
    text += c.word + " (the other program's: " +
            (c.other_line.empty() ? std::string("deleted") : c.other_line) + ")\n";
  }
  if (merge.conflicts.size() > kLeftOutListed) {
    text += "... and " + std::to_string(merge.conflicts.size() - kLeftOutListed) + " more\n";
  }
  return text;
}

// The list could not be saved: said with the reason, and the entries kept
// where they can be.
void ReportNotSaved(FileSystem& files, const std::string& temp_dir, const SourceList& list,
                    FileError error, Reporter& reporter) {
  std::string text = std::string(kSaveFailedText) + "\n\n" + kSourceListFileName + ' ' +
                     FileErrorText(error) + '.';
  if (list.changed) {
    const std::string unsaved = InFolder(temp_dir, kUnsavedFileName);
    if (!temp_dir.empty() && ReplaceWholeFile(files, NarrowPath(unsaved),
                                              list.entries.Serialize()) == FileError::kNone) {
      text += kUnsavedKeptText + unsaved + '.';
    } else {
      text += kUnsavedLostText;
    }
  }
  reporter.Report(text, kSaveFailedCaption);
}

// The backups of a compile: the list as saved and the set the engine reads.
void MakeBackups(FileSystem& files, const std::string& dict_dir, const std::string& saved) {
  const std::string folder = InFolder(dict_dir, kBackupFolderName);
  std::error_code ec;
  std::filesystem::create_directory(NarrowPath(folder), ec);
  const ReadSetResult set = ReadCompiledSet(files, NarrowPath(dict_dir));
  if (set.origin == SetOrigin::kNone) return;
  ReplaceWholeFile(files, NarrowPath(InFolder(folder, kListBackup)), saved);
  const std::string* compiled[] = {&set.files.data, &set.files.hash_table, &set.files.ranges};
  for (size_t k = 0; k < kCompiledBackups.size(); ++k) {
    ReplaceWholeFile(files, NarrowPath(InFolder(folder, kCompiledBackups[k])), *compiled[k]);
  }
}

}  // namespace

void LoadSourceList(FileSystem& files, const std::string& dict_dir, SourceList& list) {
  list.loaded.clear();
  list.changed = false;
  const FileError e = files.Read(NarrowPath(InFolder(dict_dir, kSourceListFileName)), list.loaded,
                                 kDefaultReadLimit);
  list.readable = e == FileError::kNone || e == FileError::kNotFound;
  if (e != FileError::kNone) list.loaded.clear();
  list.entries.LoadBytes(list.loaded);
}

CloseResult SaveAndCompile(FileSystem& files, const std::string& temp_dir,
                           const std::string& dict_dir, SourceList& list, Reporter& reporter) {
  CloseResult result;
  const std::string source = InFolder(dict_dir, kSourceListFileName);
  std::string on_disk;
  FileError error = files.Read(NarrowPath(source), on_disk, kDefaultReadLimit);
  std::string saved;
  if (error == FileError::kNone) {
    ReplaceWholeFile(files, NarrowPath(InFolder(dict_dir, kSourceBackupFileName)), on_disk);
    if (!list.readable || on_disk != list.loaded) {
      EntryList loaded, newer;
      loaded.LoadBytes(list.readable ? list.loaded : std::string());
      newer.LoadBytes(on_disk);
      const MergeResult merge = MergeEditorChanges(loaded, list.entries, newer);
      if (merge.changes > 0) reporter.Report(ChangedMessage(merge), kListChangedCaption);
      saved = newer.Serialize();
    } else {
      saved = list.entries.Serialize();
    }
    error = ReplaceWholeFile(files, NarrowPath(source), saved);
  } else if (error == FileError::kNotFound) {
    // No list on disk (none yet, or removed meanwhile): the editor's is all there is.
    saved = list.entries.Serialize();
    error = ReplaceWholeFile(files, NarrowPath(source), saved);
  }
  if (error != FileError::kNone) ReportNotSaved(files, temp_dir, list, error, reporter);

  result.convert = Convert(files, source, temp_dir, reporter);
  if (result.convert != kConvertOk) return result;
  result.write = Write(files, temp_dir, dict_dir, reporter);
  if (result.write == kWriteNoHashTable || result.write == kWriteBadCode) {
    reporter.Report(kWriteFailedText, kWriteErrorCaption);
  } else if (result.write == kWriteOk) {
    if (error != FileError::kNone) files.Read(NarrowPath(source), saved, kDefaultReadLimit);
    MakeBackups(files, dict_dir, saved);
  }
  return result;
}

}  // namespace Quellmar::dictionary
