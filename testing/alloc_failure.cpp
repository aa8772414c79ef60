#include "testing/alloc_failure.h"

#include <cstdlib>
#include <new>

namespace {
thread_local long t_countdown = -1;
thread_local bool t_fired = false;

void* Allocate(std::size_t size) {
  if (t_countdown >= 0 && t_countdown-- == 0) {
    t_fired = true;
    return nullptr;
  }
  return std::malloc(size ? size : 1);
}
}  // namespace

namespace Quellmar::testing {
FailAllocation::FailAllocation(long n) {
  t_countdown = n;
  t_fired = false;
}
FailAllocation::~FailAllocation() { t_countdown = -1; }
bool FailAllocation::fired() const { return t_fired; }
}  // namespace Quellmar::testing

void* operator new(std::size_t size) {
  if (void* p = Allocate(size)) return p;
  throw std::bad_alloc();
}
void* operator new[](std::size_t size) {
  if (void* p = Allocate(size)) return p;
  throw std::bad_alloc();
}
void* operator new(std::size_t size, const std::nothrow_t&) noexcept { return Allocate(size); }
void* operator new[](std::size_t size, const std::nothrow_t&) noexcept { return Allocate(size); }
void operator delete(void* p) noexcept { std::free(p); }
void operator delete[](void* p) noexcept { std::free(p); }
void operator delete(void* p, std::size_t) noexcept { std::free(p); }
void operator delete[](void* p, std::size_t) noexcept { std::free(p); }
void operator delete(void* p, const std::nothrow_t&) noexcept { std::free(p); }
void operator delete[](void* p, const std::nothrow_t&) noexcept { std::free(p); }
