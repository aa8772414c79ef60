// Arbitrary bytes as the three lists of a merge: the list the editor read,
// the edits made to it (one byte a step), and the newer list another
// program wrote. Whatever they hold, every entry the editor added or
// changed is in the merged list as the editor has it, and the merged list
// reads back as itself.
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "dictionary_editor/source_merge.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  using namespace Quellmar::dictionary;
  std::string_view bytes(reinterpret_cast<const char*>(data), size);
  const size_t a = bytes.find('\0');
  if (a == std::string_view::npos) return 0;
  const size_t b = bytes.find('\0', a + 1);
  if (b == std::string_view::npos) return 0;
  const std::string_view loaded_text = bytes.substr(0, a);
  const std::string_view edits = bytes.substr(a + 1, b - a - 1);
  const std::string_view newer_text = bytes.substr(b + 1);

  EntryList loaded, edited, newer;
  loaded.LoadBytes(loaded_text);
  edited.LoadBytes(loaded_text);
  newer.LoadBytes(newer_text);
  static const char* const kWords[] = {"cat", "dog", "zebra", "apple", "'tis", "3d"};
  for (unsigned char op : edits) {
    const char* word = kWords[op % 6];
    if (op & 0x80) {
      edited.Remove(edited.Find(word));
    } else {
      edited.Add({word, (op & 0x40) ? "ka/t" : "do/g", (op & 0x20) ? "00" : "02C"});
    }
  }
  MergeEditorChanges(loaded, edited, newer);
  for (const DictionaryEntry& e : edited) {
    EntryList::Position in_loaded = loaded.FindExact(e.word);
    if (in_loaded.node && in_loaded.node->entry.phonetic == e.phonetic &&
        in_loaded.node->entry.code == e.code)
      continue;
    if (edited.FindExact(e.word).node != nullptr && &edited.FindExact(e.word).node->entry != &e)
      continue;  // a later duplicate: the first entry is the word's
    EntryList::Position in_newer = newer.FindExact(e.word);
    if (!in_newer.node || in_newer.node->entry.phonetic != e.phonetic ||
        in_newer.node->entry.code != e.code)
      __builtin_trap();
  }
  const std::string saved = newer.Serialize();
  EntryList again;
  again.LoadBytes(saved);
  if (again.Serialize() != saved) __builtin_trap();
  return 0;
}
