// The reference counting every object of the stand-in SAPI runtime shares,
// and the module's live-object count that DllCanUnloadNow reads.
#pragma once

#include <windows.h>

#include <atomic>
#include <new>

#include "common/com_ptr.h"

namespace Quellmar::sapirt {

std::atomic<long>& LiveObjects();

// Completes T (which derives from one or more COM interfaces and implements
// Find) into a counted object. The count starts at 1: Make hands that
// reference to a com_ptr.
template <typename T>
class Counted final : public T {
 public:
  template <typename... Args>
  explicit Counted(Args&&... args) : T(std::forward<Args>(args)...) {
    ++LiveObjects();
  }
  ~Counted() override { --LiveObjects(); }
  ULONG STDMETHODCALLTYPE AddRef() override { return ++refs_; }
  ULONG STDMETHODCALLTYPE Release() override {
    const ULONG left = --refs_;
    if (left == 0) delete this;
    return left;
  }
  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** out) override {
    if (!out) return E_POINTER;
    *out = this->Find(iid);
    if (!*out) return E_NOINTERFACE;
    AddRef();
    return S_OK;
  }

 private:
  std::atomic<ULONG> refs_{1};
};

// A new object of T with one reference, owned by the result (empty when
// memory runs out).
template <typename T, typename... Args>
com_ptr<Counted<T>> Make(Args&&... args) {
  return com_ptr<Counted<T>>::attach(new (std::nothrow) Counted<T>(std::forward<Args>(args)...));
}

// Hands `p` to a COM out parameter as interface I, with a reference of its own.
template <typename I, typename T>
HRESULT HandOut(const com_ptr<T>& p, I** out) {
  if (!out) return E_POINTER;
  *out = nullptr;
  if (!p) return E_OUTOFMEMORY;
  *out = static_cast<I*>(p.get());
  (*out)->AddRef();
  return S_OK;
}

// A CoTaskMemAlloc copy of a zero-terminated wide string for an out parameter.
HRESULT CoTaskCopy(const wchar_t* text, wchar_t** out);

// Errors of the platform's speech interfaces that the mingw headers do not name.
inline constexpr HRESULT kSpErrUninitialized = static_cast<HRESULT>(0x80045001);
inline constexpr HRESULT kSpErrAlreadyInitialized = static_cast<HRESULT>(0x80045002);
inline constexpr HRESULT kSpErrUnsupportedFormat = static_cast<HRESULT>(0x80045003);
inline constexpr HRESULT kSpErrNoMoreItems = static_cast<HRESULT>(0x80045039);
inline constexpr HRESULT kSpErrNotFound = static_cast<HRESULT>(0x8004503A);

// Catches everything at a COM boundary.
template <typename F>
HRESULT Guard(F&& body) noexcept {
  try {
    return body();
  } catch (const std::bad_alloc&) {
    return E_OUTOFMEMORY;
  } catch (...) {
    return E_UNEXPECTED;
  }
}

}  // namespace Quellmar::sapirt
