// The part of a streamed input a stage still needs: the samples from base()
// up to seen(), addressed by their index in the whole input, so that a
// stage works on a bounded window however long the stream.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

namespace Quellmar {

class SampleWindow {
 public:
  void Push(const int16_t* x, size_t count) {
    samples_.insert(samples_.end(), x, x + count);
    seen_ += count;
  }
  // The sample at an index from base() to seen() (seen() itself only as
  // the end of a range).
  const int16_t* At(uint64_t index) const { return samples_.data() + start_ + (index - base_); }
  uint64_t base() const { return base_; }
  // How many samples were pushed in all.
  uint64_t seen() const { return seen_; }
  // The samples kept, from base() on.
  const int16_t* data() const { return samples_.data() + start_; }
  size_t size() const { return samples_.size() - start_; }

  // Forgets the samples before keep (at most seen()).
  void DropBefore(uint64_t keep) {
    if (keep <= base_) return;
    start_ += static_cast<size_t>(keep - base_);
    base_ = keep;
    // Moving the few samples kept is cheap once enough lie before them.
    if (start_ >= 4096 || start_ == samples_.size()) {
      samples_.erase(samples_.begin(), samples_.begin() + static_cast<std::ptrdiff_t>(start_));
      start_ = 0;
    }
  }

 private:
  std::vector<int16_t> samples_;  // from base_ on, starting at samples_[start_]
  size_t start_ = 0;
  uint64_t base_ = 0;
  uint64_t seen_ = 0;
};

}  // namespace Quellmar
