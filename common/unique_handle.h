// Sole ownership of one OS resource (handle, key, module, view, allocation).
//
// A traits type says what the resource is and how it is given back:
//   struct traits {
//     using pointer = HANDLE;                  // the raw resource type
//     static pointer invalid() noexcept;       // the "no resource" value
//     static void close(pointer) noexcept;     // gives it back
//   };
// The template is portable so that it is tested on the host; the Windows
// aliases live in win_handles.h.
#pragma once

#include <utility>

namespace Quellmar {

template <typename Traits>
class unique_handle {
 public:
  using pointer = typename Traits::pointer;

  unique_handle() noexcept = default;
  explicit unique_handle(pointer value) noexcept : value_(value) {}
  unique_handle(const unique_handle&) = delete;
  unique_handle& operator=(const unique_handle&) = delete;
  unique_handle(unique_handle&& other) noexcept : value_(other.release()) {}
  unique_handle& operator=(unique_handle&& other) noexcept {
    if (this != &other) reset(other.release());
    return *this;
  }
  ~unique_handle() { reset(); }

  pointer get() const noexcept { return value_; }
  bool valid() const noexcept { return value_ != Traits::invalid(); }
  explicit operator bool() const noexcept { return valid(); }

  // Gives up ownership without closing.
  pointer release() noexcept { return std::exchange(value_, Traits::invalid()); }

  // Closes what is held (if anything) and takes `value`.
  void reset(pointer value = Traits::invalid()) noexcept {
    pointer old = std::exchange(value_, value);
    if (old != Traits::invalid()) Traits::close(old);
  }

  // For functions that return a resource through an out parameter: closes
  // what is held and hands out the address of the (now empty) slot.
  pointer* put() noexcept {
    reset();
    return &value_;
  }

  void swap(unique_handle& other) noexcept { std::swap(value_, other.value_); }

 private:
  pointer value_ = Traits::invalid();
};

}  // namespace Quellmar
