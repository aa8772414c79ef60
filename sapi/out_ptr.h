// A wide string that a COM call returned through an out parameter, freed
// through a stored deleter (CoTaskMemFree in this DLL).
#pragma once

#include <objbase.h>

#include <memory>
#include <utility>

namespace Quellmar::utils {

template <typename T>
class out_ptr;

template <>
class out_ptr<wchar_t> {
 public:
  class deleter_base {
   public:
    virtual ~deleter_base() = default;
    virtual void free(void* p) = 0;
  };
  template <typename F>
  class deleter_impl : public deleter_base {
   public:
    explicit deleter_impl(F f) : f_(f) {}
    void free(void* p) override { f_(p); }

   private:
    F f_;
  };

  // WINAPI: CoTaskMemFree is a stdcall function, which a 32-bit build must
  // call as one.
  using free_function = void(WINAPI*)(void*);

  explicit out_ptr(free_function free = CoTaskMemFree)
      : deleter_(std::make_unique<deleter_impl<free_function>>(free)) {}
  out_ptr(const out_ptr&) = delete;
  out_ptr& operator=(const out_ptr&) = delete;
  ~out_ptr() { reset(); }

  // Frees a held string; the slot for an out parameter.
  wchar_t** put() {
    reset();
    return &p_;
  }
  void reset() {
    if (wchar_t* p = std::exchange(p_, nullptr)) deleter_->free(p);
  }
  wchar_t* get() const { return p_; }
  explicit operator bool() const { return p_ != nullptr; }

 private:
  wchar_t* p_ = nullptr;
  std::unique_ptr<deleter_base> deleter_;
};

}  // namespace Quellmar::utils
