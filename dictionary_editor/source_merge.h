// When lexmere.txt was changed by another program (a hand edit, a sync tool)
// while the editor had it open, the editor's own changes are carried into
// the newer list instead of overwriting it: what the user added, changed or
// deleted in the editor is done to the newer list, and everything else in
// it stays as the other program left it.
#pragma once

#include <string>
#include <vector>

#include "dictionary_editor/entry_list.h"

namespace Quellmar::dictionary {

// A word changed both in the editor and by the other program, differently.
// The editor's change is the one kept.
struct MergeConflict {
  std::string word;
  std::string editor_line;  // the entry as the editor keeps it ("" when deleted)
  std::string other_line;   // the entry as the other program left it ("" when deleted)
};

struct MergeResult {
  size_t changes = 0;  // changes of the editor carried into the newer list
  std::vector<MergeConflict> conflicts;
};

// The changes that turn `loaded` into `edited` (entries keyed by their word
// as written; of a word listed twice, its first entry) applied to `newer`.
MergeResult MergeEditorChanges(const EntryList& loaded, const EntryList& edited, EntryList& newer);

// An entry as the source list writes it, without its line end.
std::string EntryLine(const DictionaryEntry& entry);

}  // namespace Quellmar::dictionary
