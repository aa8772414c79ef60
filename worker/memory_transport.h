// A Transport over memory: reads come from a fixed byte string, writes are
// collected. For tests and the fuzzer.
#pragma once

#include <cstring>
#include <vector>

#include "worker/connection.h"

namespace Quellmar::worker {

class MemoryTransport : public ByteStreamTransport {
 public:
  explicit MemoryTransport(std::vector<uint8_t> input) : input_(std::move(input)) {}
  bool ReadExact(void* data, size_t size) override {
    if (size == 0 || input_.size() - read_ < size) return false;
    std::memcpy(data, input_.data() + read_, size);
    read_ += size;
    return true;
  }
  bool WriteAll(const void* data, size_t size) override {
    if (fail_writes_after_ >= 0 && writes_ >= fail_writes_after_) return false;
    ++writes_;
    const uint8_t* p = static_cast<const uint8_t*>(data);
    output_.insert(output_.end(), p, p + size);
    return true;
  }
  bool Peek(uint32_t& available) override {
    available = static_cast<uint32_t>(input_.size() - read_);
    return true;
  }
  const std::vector<uint8_t>& output() const { return output_; }
  size_t consumed() const { return read_; }
  // Every write after the first `n` fails (a client that went away).
  void FailWritesAfter(int n) { fail_writes_after_ = n; }

 private:
  std::vector<uint8_t> input_;
  size_t read_ = 0;
  std::vector<uint8_t> output_;
  int writes_ = 0;
  int fail_writes_after_ = -1;
};

}  // namespace Quellmar::worker
