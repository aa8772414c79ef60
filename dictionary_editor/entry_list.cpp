#include "dictionary_editor/entry_list.h"

#include "dictionary_editor/source_text.h"

namespace Quellmar::dictionary {
namespace {

bool IsAsciiLetter(unsigned char c) { return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z'); }
unsigned char Fold(unsigned char c) {
  return (c >= 'A' && c <= 'Z') ? static_cast<unsigned char>(c + 32) : c;
}
bool HasSpace(std::string_view s) {
  for (char c : s) {
    if (IsFieldSpace(c)) return true;
  }
  return false;
}

}  // namespace

int CompareWords(std::string_view a, std::string_view b) {
  const size_t n = a.size() < b.size() ? a.size() : b.size();
  for (size_t k = 0; k < n; ++k) {
    unsigned char x = Fold(static_cast<unsigned char>(a[k]));
    unsigned char y = Fold(static_cast<unsigned char>(b[k]));
    if (x != y) return x < y ? -1 : 1;
  }
  if (a.size() != b.size()) return a.size() < b.size() ? -1 : 1;
  for (size_t k = 0; k < n; ++k) {
    unsigned char x = static_cast<unsigned char>(a[k]);
    unsigned char y = static_cast<unsigned char>(b[k]);
    if (x != y) return x < y ? -1 : 1;
  }
  return 0;
}

int LetterSlot(std::string_view word) {
  if (word.empty()) return -1;
  unsigned char c = static_cast<unsigned char>(word[0]);
  return IsAsciiLetter(c) ? Fold(c) - 'a' : -1;
}

std::string LowerCase(std::string_view word) {
  std::string s(word);
  for (char& c : s) c = static_cast<char>(Fold(static_cast<unsigned char>(c)));
  return s;
}

void EntryList::Clear() {
  // One node at a time: a chain of owners destroyed recursively would use
  // stack in proportion to the list's length.
  while (head_) head_ = std::move(head_->next);
  leading_lines_.clear();
  tail_ = nullptr;
  size_ = 0;
  index_.fill(nullptr);
  sorted_ = true;
}

size_t EntryList::LoadBytes(std::string_view bytes) {
  Clear();
  size_t pos = 0;
  std::string_view line;
  while (NextLine(bytes, pos, line)) {
    std::string_view fields[3];
    const size_t count = SplitFields(line, fields, 3);
    if (count < 2) {
      (tail_ ? tail_->lines_after : leading_lines_).emplace_back(line);
      continue;
    }
    auto node = std::make_unique<Node>();
    node->entry.word.assign(fields[0]);
    node->entry.phonetic.assign(fields[1]);
    node->entry.code.assign(count == 3 ? fields[2] : kCodeWhenMissing);
    if (count == 3) {
      // A note after the code, kept as written (without the spaces around it).
      size_t start = static_cast<size_t>(fields[2].data() - line.data()) + fields[2].size();
      size_t end = line.size();
      while (start < end && IsFieldSpace(line[start])) ++start;
      while (end > start && IsFieldSpace(line[end - 1])) --end;
      node->entry.note.assign(line.substr(start, end - start));
    }
    Node* added = node.get();
    if (tail_ != nullptr && CompareWords(tail_->entry.word, added->entry.word) > 0) sorted_ = false;
    LinkAfter(tail_) = std::move(node);
    tail_ = added;
    ++size_;
    int slot = LetterSlot(added->entry.word);
    if (slot >= 0 && index_[slot] == nullptr) index_[slot] = added;
  }
  return size_;
}

std::string EntryList::Serialize() const {
  std::string out;
  for (const std::string& line : leading_lines_) out += line + "\r\n";
  for (const Node* n = head_.get(); n != nullptr; n = n->next.get()) {
    const DictionaryEntry& e = n->entry;
    out += e.word;
    out += ' ';
    out += e.phonetic;
    out += ' ';
    out += e.code;
    if (!e.note.empty()) out += ' ' + e.note;
    out += "\r\n";
    for (const std::string& line : n->lines_after) out += line + "\r\n";
  }
  return out;
}

EntryList::Node* EntryList::PredecessorOf(const Node* node) {
  if (head_.get() == node) return nullptr;
  // From the nearest lower letter that has entries; from the head when that
  // walk does not reach the node (words without a letter, a hand-made order).
  for (int k = LetterSlot(node->entry.word) - 1; k >= 0; --k) {
    if (index_[k] == nullptr) continue;
    for (Node* p = index_[k]; p != nullptr; p = p->next.get()) {
      if (p->next.get() == node) return p;
    }
    break;
  }
  for (Node* p = head_.get(); p != nullptr; p = p->next.get()) {
    if (p->next.get() == node) return p;
  }
  return nullptr;
}

EntryList::Position EntryList::FindExact(std::string_view word) {
  int slot = LetterSlot(word);
  if (slot >= 0) {
    Node* previous = nullptr;
    for (Node* n = index_[slot]; n != nullptr && LetterSlot(n->entry.word) == slot;
         previous = n, n = n->next.get()) {
      if (n->entry.word == word) {
        return {n, n == index_[slot] ? PredecessorOf(n) : previous};
      }
    }
    // In a list kept in order every word of the letter was walked.
    if (sorted_) return {};
  }
  Node* previous = nullptr;
  for (Node* n = head_.get(); n != nullptr; previous = n, n = n->next.get()) {
    if (n->entry.word == word) return {n, previous};
  }
  return {};
}

EntryList::Position EntryList::Find(std::string_view word) {
  if (word.empty()) return {};
  return FindExact(LowerCase(word));
}

EntryList::AddResult EntryList::Add(DictionaryEntry entry) {
  if (entry.word.empty() || entry.phonetic.empty() || entry.code.empty() || HasSpace(entry.word) ||
      HasSpace(entry.phonetic) || HasSpace(entry.code)) {
    return AddResult::kRejected;
  }
  entry.word = LowerCase(entry.word);
  if (Position found = FindExact(entry.word); found.node != nullptr) {
    DictionaryEntry& old = found.node->entry;
    if (old.phonetic == entry.phonetic && old.code == entry.code) return AddResult::kUnchanged;
    old.phonetic = std::move(entry.phonetic);
    old.code = std::move(entry.code);
    return AddResult::kUpdated;
  }

  // The last entry that sorts before the word: start from the highest letter
  // whose first entry does (words after z reach back to z), else the head.
  const int slot = LetterSlot(entry.word);
  Node* previous = nullptr;
  for (int k = slot >= 0 ? slot : 25; k >= 0 && previous == nullptr; --k) {
    if (index_[k] != nullptr && CompareWords(index_[k]->entry.word, entry.word) < 0)
      previous = index_[k];
  }
  if (previous == nullptr && head_ && CompareWords(head_->entry.word, entry.word) < 0)
    previous = head_.get();
  if (previous != nullptr) {
    while (previous->next && CompareWords(previous->next->entry.word, entry.word) < 0)
      previous = previous->next.get();
  }

  auto node = std::make_unique<Node>();
  node->entry = std::move(entry);
  Node* added = node.get();
  std::unique_ptr<Node>& link = LinkAfter(previous);
  node->next = std::move(link);
  link = std::move(node);
  if (added->next == nullptr) tail_ = added;
  ++size_;
  if (slot >= 0 && (index_[slot] == nullptr || index_[slot] == added->next.get()))
    index_[slot] = added;
  if (!sorted_) RebuildIndex();
  return AddResult::kAdded;
}

void EntryList::Remove(Position position) {
  Node* node = position.node;
  if (node == nullptr) return;
  std::unique_ptr<Node>& link = LinkAfter(position.previous);
  if (link.get() != node) return;  // not where the caller found it
  std::unique_ptr<Node> owned = std::move(link);
  link = std::move(owned->next);
  std::vector<std::string>& kept =
      position.previous ? position.previous->lines_after : leading_lines_;
  kept.insert(kept.end(), std::make_move_iterator(owned->lines_after.begin()),
              std::make_move_iterator(owned->lines_after.end()));
  if (tail_ == node) tail_ = position.previous;
  --size_;
  int slot = LetterSlot(node->entry.word);
  if (slot >= 0 && index_[slot] == node) {
    Node* successor = link.get();
    index_[slot] =
        (successor != nullptr && LetterSlot(successor->entry.word) == slot) ? successor : nullptr;
  }
  if (!sorted_) RebuildIndex();
}

void EntryList::RebuildIndex() {
  index_.fill(nullptr);
  for (Node* n = head_.get(); n != nullptr; n = n->next.get()) {
    int slot = LetterSlot(n->entry.word);
    if (slot >= 0 && index_[slot] == nullptr) index_[slot] = n;
  }
}

}  // namespace Quellmar::dictionary
