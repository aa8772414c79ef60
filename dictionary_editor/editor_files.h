// The dictionary editor's files apart from its windows: the source list
// read at start, and at close the list saved (carried into a newer one when
// another program changed it meanwhile), its copy in lexmere.bak, the
// compile and the backups. Portable, so that the failure of every step can
// be tried on the host; every message goes to the reporter.
#pragma once

#include <string>

#include "common/durable_file.h"
#include "dictionary_editor/entry_list.h"
#include "dictionary_editor/reporter.h"

namespace Quellmar::dictionary {

inline constexpr char kSaveFailedText[] = "file open error";
inline constexpr char kSaveFailedCaption[] = "Error";
inline constexpr char kSourceBackupFileName[] = "lexmere.bak";
inline constexpr char kBackupFolderName[] = "Backup";
// Where the editor's entries go when lexmere.txt cannot take them (in the
// temporary folder).
inline constexpr char kUnsavedFileName[] = "lexmere.unsaved.txt";
inline constexpr char kUnsavedKeptText[] = "\nYour entries are kept in ";
inline constexpr char kUnsavedLostText[] = "\nYour changes could not be kept anywhere.";
inline constexpr char kListChangedCaption[] = "Lexmere.txt Changed";
inline constexpr char kListChangedText[] =
    "Lexmere.txt was changed by another program while the dictionary editor was open.\n"
    "Your changes were made to that newer list; the list as the other program left it is in "
    "lexmere.bak.\n";
inline constexpr char kConflictsText[] =
    "\nThese words were changed by the other program too; your entry was kept:\n";

struct SourceList {
  EntryList entries;
  std::string loaded;    // the bytes the entries were read from ("" for none)
  bool readable = true;  // false: there was a list, but it could not be read
  bool changed = false;  // the user added or deleted something
};

// D + lexmere.txt; a missing list is an empty one.
void LoadSourceList(FileSystem& files, const std::string& dict_dir, SourceList& list);

struct CloseResult {
  int convert = -1;  // Convert's result, -1 when it did not run
  int write = -1;    // Write's result, -1 when it did not run
};

// What the editor does with its files when it closes: lexmere.txt as it is
// on disk becomes lexmere.bak; the list is saved into lexmere.txt (when the
// file changed since it was read, the editor's own changes are made to the
// newer list instead, and the user is told); the saved list is compiled;
// after a compile the four backups are made in D + "Backup\". Nothing is
// written over a list the editor could not read.
CloseResult SaveAndCompile(FileSystem& files, const std::string& temp_dir,
                           const std::string& dict_dir, SourceList& list, Reporter& reporter);

}  // namespace Quellmar::dictionary
