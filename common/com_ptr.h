// A counted reference to a COM object (anything with AddRef and Release).
// Portable on purpose: the host tests drive it with a counting fake.
#pragma once

#include <utility>

namespace Quellmar {

template <typename T>
class com_ptr {
 public:
  com_ptr() noexcept = default;
  com_ptr(std::nullptr_t) noexcept {}
  // Shares `p`: takes a reference of its own.
  explicit com_ptr(T* p) noexcept : p_(p) {
    if (p_) p_->AddRef();
  }
  com_ptr(const com_ptr& other) noexcept : com_ptr(other.p_) {}
  com_ptr(com_ptr&& other) noexcept : p_(std::exchange(other.p_, nullptr)) {}
  com_ptr& operator=(const com_ptr& other) noexcept {
    com_ptr(other).swap(*this);
    return *this;
  }
  com_ptr& operator=(com_ptr&& other) noexcept {
    com_ptr(std::move(other)).swap(*this);
    return *this;
  }
  ~com_ptr() { reset(); }

  // Takes over a reference the caller already owns (no AddRef).
  static com_ptr attach(T* p) noexcept {
    com_ptr r;
    r.p_ = p;
    return r;
  }
  // Hands the reference to the caller (no Release).
  T* detach() noexcept { return std::exchange(p_, nullptr); }

  void reset() noexcept {
    if (T* old = std::exchange(p_, nullptr)) old->Release();
  }
  // For out parameters (QueryInterface, CoCreateInstance, ...): releases what
  // is held and hands out the slot.
  T** put() noexcept {
    reset();
    return &p_;
  }
  void** put_void() noexcept { return reinterpret_cast<void**>(put()); }

  T* get() const noexcept { return p_; }
  T* operator->() const noexcept { return p_; }
  T& operator*() const noexcept { return *p_; }
  explicit operator bool() const noexcept { return p_ != nullptr; }
  void swap(com_ptr& other) noexcept { std::swap(p_, other.p_); }

 private:
  T* p_ = nullptr;
};

}  // namespace Quellmar
