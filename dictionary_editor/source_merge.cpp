#include "dictionary_editor/source_merge.h"

#include <map>
#include <string_view>

namespace Quellmar::dictionary {
namespace {

using Entries = std::map<std::string_view, const DictionaryEntry*>;

Entries FirstEntries(const EntryList& list) {
  Entries entries;
  for (const DictionaryEntry& e : list) entries.emplace(e.word, &e);
  return entries;
}

// The parts the editor can change: the note stays the other program's.
bool SameEntry(const DictionaryEntry& a, const DictionaryEntry& b) {
  return a.phonetic == b.phonetic && a.code == b.code;
}

// Makes the newer list's entry of the word say what the editor's says.
void Put(EntryList& newer, const DictionaryEntry& entry) {
  EntryList::Position at = newer.FindExact(entry.word);
  if (at.node != nullptr) {
    at.node->entry.phonetic = entry.phonetic;
    at.node->entry.code = entry.code;
  } else {
    newer.Add(entry);
  }
}

}  // namespace

std::string EntryLine(const DictionaryEntry& entry) {
  std::string line = entry.word + ' ' + entry.phonetic + ' ' + entry.code;
  if (!entry.note.empty()) line += ' ' + entry.note;
  return line;
}

MergeResult MergeEditorChanges(const EntryList& loaded, const EntryList& edited, EntryList& newer) {
  MergeResult result;
  const Entries before = FirstEntries(loaded);
  const Entries after = FirstEntries(edited);
  auto other = [&](std::string_view word) -> const DictionaryEntry* {
    EntryList::Position at = newer.FindExact(word);
    return at.node ? &at.node->entry : nullptr;
  };
  auto conflict = [&](const DictionaryEntry* mine, const DictionaryEntry* theirs) {
    const std::string& word = mine ? mine->word : theirs->word;
    result.conflicts.push_back({word, mine ? EntryLine(*mine) : std::string(),
                                theirs ? EntryLine(*theirs) : std::string()});
  };

  // Added or changed in the editor.
  for (const auto& [word, mine] : after) {
    auto was = before.find(word);
    const DictionaryEntry* base = was == before.end() ? nullptr : was->second;
    if (base != nullptr && SameEntry(*base, *mine)) continue;
    ++result.changes;
    const DictionaryEntry* theirs = other(word);
    if (theirs != nullptr && SameEntry(*theirs, *mine)) continue;
    // The other program changed (or added, or deleted) the same word.
    if (theirs != nullptr ? base == nullptr || !SameEntry(*theirs, *base) : base != nullptr)
      conflict(mine, theirs);
    Put(newer, *mine);
  }
  // Deleted in the editor.
  for (const auto& [word, base] : before) {
    if (after.count(word) != 0) continue;
    ++result.changes;
    const DictionaryEntry* theirs = other(word);
    if (theirs == nullptr) continue;
    if (!SameEntry(*theirs, *base)) conflict(nullptr, theirs);
    newer.Remove(newer.FindExact(word));
  }
  return result;
}

}  // namespace Quellmar::dictionary
