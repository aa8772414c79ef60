// Failing one allocation on purpose, to test what the failure of each
// allocation of a piece of work does. A test program that includes
// alloc_failure.cpp in its sources has its operator new and delete replaced;
// nothing fails unless a FailAllocation is alive on the allocating thread.
#pragma once

namespace Quellmar::testing {

// While alive, the allocation number `n` (counted from 0) that this thread
// makes through operator new throws std::bad_alloc; every other one succeeds.
//
//   for (long n = 0;; ++n) {
//     FailAllocation fail(n);
//     RunTheWork();
//     if (!fail.fired()) break;  // the work makes fewer than n + 1 allocations
//     CheckNothingWasLostOrBroken();
//   }
class FailAllocation {
 public:
  explicit FailAllocation(long n);
  ~FailAllocation();
  FailAllocation(const FailAllocation&) = delete;
  FailAllocation& operator=(const FailAllocation&) = delete;
  bool fired() const;
};

}  // namespace Quellmar::testing
