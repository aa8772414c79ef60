// The COM machinery every object of QuellmarSAPI.dll shares: the module's
// object count, IUnknownImpl (reference counting and QueryInterface over the
// interfaces a class answers), the COM error exception and the guard that
// turns exceptions into HRESULTs at each COM method.
#pragma once

#include <objbase.h>
#include <windows.h>

#include <atomic>
#include <new>
#include <stdexcept>
#include <string>
#include <utility>

#include "common/com_ptr.h"

namespace Quellmar::com {

// Live COM objects of this DLL plus outstanding server locks.
void ModuleAddRef() noexcept;
void ModuleRelease() noexcept;
long ModuleObjectCount() noexcept;

// A failed COM call, carrying its HRESULT.
class error : public std::runtime_error {
 public:
  explicit error(HRESULT hr) : std::runtime_error("COM call failed"), hr_(hr) {}
  HRESULT hr() const noexcept { return hr_; }

 private:
  HRESULT hr_;
};

inline void ThrowIfFailed(HRESULT hr) {
  if (FAILED(hr)) throw error(hr);
}

// Runs `body` (returning an HRESULT) so that nothing escapes: out of memory
// becomes E_OUTOFMEMORY, anything else E_UNEXPECTED.
template <typename F>
HRESULT Guarded(F&& body) noexcept {
  try {
    return body();
  } catch (const std::bad_alloc&) {
    return E_OUTOFMEMORY;
  } catch (...) {
    return E_UNEXPECTED;
  }
}

// T is an abstract implementation class deriving from its interfaces; it
// provides `void* FindInterface(REFIID)` giving the interface pointer for an
// id it answers, or null. IUnknownImpl<T> completes it into an object.
template <typename T>
class IUnknownImpl final : public T {
 public:
  // The object factory: the one place objects are made and freed. The new
  // object has a reference count of 1 and is counted in the module.
  template <typename... Args>
  static IUnknownImpl* Create(Args&&... args) {
    IUnknownImpl* object = new IUnknownImpl(std::forward<Args>(args)...);
    ModuleAddRef();
    return object;
  }
  // The same, owned by a com_ptr of the class itself.
  template <typename... Args>
  static com_ptr<IUnknownImpl> Make(Args&&... args) {
    return com_ptr<IUnknownImpl>::attach(Create(std::forward<Args>(args)...));
  }

  STDMETHODIMP QueryInterface(REFIID iid, void** out) noexcept override {
    if (!out) return E_POINTER;
    *out = T::FindInterface(iid);
    if (!*out) return E_NOINTERFACE;
    AddRef();
    return S_OK;
  }
  STDMETHODIMP_(ULONG) AddRef() noexcept override { return ++count_; }
  STDMETHODIMP_(ULONG) Release() noexcept override {
    const ULONG left = --count_;
    if (left == 0) {
      delete this;
      ModuleRelease();
    }
    return left;
  }

 private:
  template <typename... Args>
  explicit IUnknownImpl(Args&&... args) : T(std::forward<Args>(args)...) {}
  ~IUnknownImpl() = default;

  std::atomic<ULONG> count_{1};
};

// A zero-terminated CoTaskMemAlloc copy of `text`, owned by the receiver.
// Throws std::bad_alloc when the allocation fails.
wchar_t* CoTaskCopy(const std::wstring& text);

}  // namespace Quellmar::com
