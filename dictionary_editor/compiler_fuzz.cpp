// Arbitrary bytes as a source list: the entry list keeps every line of it
// and writes it back unchanged the second time, and the compiler turns it into files whose
// index points inside the data and whose groups fit the working buffer.
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <string>
#include <string_view>
#include <vector>

#include "dictionary/format.h"
#include "dictionary_editor/compiler.h"
#include "dictionary_editor/entry_list.h"
#include "dictionary_editor/source_text.h"

namespace {
size_t Lines(std::string_view text) {
  size_t pos = 0, n = 0;
  std::string_view line;
  while (Quellmar::dictionary::NextLine(text, pos, line)) ++n;
  return n;
}
}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  using namespace Quellmar::dictionary;
  std::string_view source(reinterpret_cast<const char*>(data), size);

  EntryList list;
  size_t n = list.LoadBytes(source);
  if (n != list.size()) __builtin_trap();
  std::string saved = list.Serialize();
  EntryList again;
  if (again.LoadBytes(saved) != n || again.Serialize() != saved) __builtin_trap();
  if (Lines(saved) != Lines(source)) __builtin_trap();
  for (const DictionaryEntry& e : list) {
    EntryList::Position p = list.Find(e.word);
    if (p.node != nullptr && p.node->entry.word != LowerCase(e.word)) __builtin_trap();
  }
  if (n > 0) {
    list.Add({std::string(list.begin()->word) + "x", "a/b", "00"});
    list.Remove(list.Find(list.begin()->word));
  }

  ConvertedList converted = ConvertSource(source);
  CompiledFiles files;
  std::vector<LeftOutEntry> left_out;
  if (BuildDictionary(converted.sorted, files, left_out) != kWriteOk) return 0;
  // Every listed offset lies inside the data file.
  size_t pos = files.hash_table.find('\n');
  pos = files.hash_table.find('\n', pos + 1);
  while (pos != std::string::npos && pos + 1 < files.hash_table.size()) {
    long slot = 0, offset = 0;
    if (std::sscanf(files.hash_table.c_str() + pos + 1, "%ld  %ld", &slot, &offset) != 2)
      __builtin_trap();
    if (slot < 0 || slot >= kHashSlots || offset < 0 ||
        static_cast<size_t>(offset) >= files.data.size())
      __builtin_trap();
    pos = files.hash_table.find('\n', pos + 1);
  }
  return 0;
}
