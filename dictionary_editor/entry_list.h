// The user's dictionary entries in memory, in the order of the source list
// lexmere.txt, with an index of the first entry of each initial letter A to
// Z. Words whose first character is no such letter have no index slot; they
// are kept in the list like any other and found by walking it. Lines of the
// source list that are no entry (blank, one word, a note) are kept too, in
// their place after the entry they followed, and written back as they were.
#pragma once

#include <array>
#include <cstddef>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "dictionary_editor/dictionary_entry.h"

namespace Quellmar::dictionary {

inline constexpr char kSourceListFileName[] = "lexmere.txt";

// The order of the list: letters compare without regard to case (so each
// letter's words stay together), then byte by byte; every other byte by its
// value. <0, 0 or >0.
int CompareWords(std::string_view a, std::string_view b);
// The index slot of a word: its first character's letter A..Z as 0..25, or
// -1 (empty word, digit, apostrophe, letter outside A..Z).
int LetterSlot(std::string_view word);
// A..Z folded to a..z; every other byte as it is.
std::string LowerCase(std::string_view word);

class EntryList {
 public:
  struct Node {
    DictionaryEntry entry;
    std::vector<std::string> lines_after;  // lines that are no entry, as read
    std::unique_ptr<Node> next;
  };
  // Where an entry stands: the entry (nullptr when not found) and the entry
  // before it (nullptr when it is the head).
  struct Position {
    Node* node = nullptr;
    Node* previous = nullptr;
  };
  enum class AddResult { kAdded, kUpdated, kUnchanged, kRejected };

  class Iterator {
   public:
    explicit Iterator(const Node* n) : n_(n) {}
    const DictionaryEntry& operator*() const { return n_->entry; }
    const DictionaryEntry* operator->() const { return &n_->entry; }
    Iterator& operator++() {
      n_ = n_->next.get();
      return *this;
    }
    bool operator==(const Iterator&) const = default;

   private:
    const Node* n_;
  };

  EntryList() = default;
  EntryList(const EntryList&) = delete;
  EntryList& operator=(const EntryList&) = delete;
  ~EntryList() { Clear(); }

  // Replaces the list with the entries of a source list's bytes: lines of
  // word, transcription and code (whatever follows the code is the entry's
  // note); a line of two fields gets the code "10". Every other line is
  // kept as it is. Lines and fields of any length are kept whole. Returns
  // the number of entries read.
  size_t LoadBytes(std::string_view bytes);
  // The source list: every entry, in list order, as "word transcription
  // code" (and its note), each kept line after its entry, all with CR LF.
  std::string Serialize() const;

  // Stores the word in lower case at its place in the order, or rewrites
  // the transcription and code of the entry that has that word. An empty
  // word, transcription or code, or one holding white space (which the
  // source list could not keep apart from the next field), is refused.
  AddResult Add(DictionaryEntry entry);
  // The entry whose word is exactly the given word folded to lower case.
  Position Find(std::string_view word);
  // The first entry whose word is exactly the given word, as it is.
  Position FindExact(std::string_view word);
  // Removes the entry found by Find; the lines kept after it stay where
  // they are, after the entry before it.
  void Remove(Position position);
  void Clear();

  Iterator begin() const { return Iterator(head_.get()); }
  Iterator end() const { return Iterator(nullptr); }
  size_t size() const { return size_; }
  bool empty() const { return size_ == 0; }
  // The first entry of a letter (0..25), or nullptr.
  const Node* SlotEntry(int slot) const { return index_[static_cast<size_t>(slot)]; }

 private:
  // The unique_ptr that owns the node after `previous` (the head for nullptr).
  std::unique_ptr<Node>& LinkAfter(Node* previous) { return previous ? previous->next : head_; }
  Node* PredecessorOf(const Node* node);
  void RebuildIndex();

  std::vector<std::string> leading_lines_;  // kept lines before the first entry
  std::unique_ptr<Node> head_;
  Node* tail_ = nullptr;
  size_t size_ = 0;
  std::array<Node*, 26> index_{};
  // Whether the entries stand in the order of CompareWords (always, unless a
  // hand-edited source list was loaded in another order); a word of a letter
  // is then found among that letter's entries alone.
  bool sorted_ = true;
};

}  // namespace Quellmar::dictionary
