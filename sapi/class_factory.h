// Class objects: IClassFactoryImpl<T> makes objects of one class, and the
// class object table answers DllGetClassObject by asking its creators in order.
#pragma once

#include <objbase.h>
#include <windows.h>

#include <memory>
#include <vector>

#include "sapi/com_object.h"

namespace Quellmar::com {

// T provides `static const CLSID& class_id()` and a default constructor.
template <typename T>
class IClassFactoryImpl : public IClassFactory {
 public:
  STDMETHODIMP CreateInstance(IUnknown* outer, REFIID iid, void** out) noexcept override {
    if (outer) return CLASS_E_NOAGGREGATION;
    if (!out) return E_POINTER;
    *out = nullptr;
    return Guarded([&] {
      IUnknownImpl<T>* object = IUnknownImpl<T>::Create();
      const HRESULT hr = object->QueryInterface(iid, out);
      object->Release();
      return hr;
    });
  }
  STDMETHODIMP LockServer(BOOL lock) noexcept override {
    if (lock) {
      ModuleAddRef();
    } else {
      ModuleRelease();
    }
    return S_OK;
  }

 protected:
  void* FindInterface(REFIID iid) {
    if (IsEqualGUID(iid, __uuidof(IUnknown)) || IsEqualGUID(iid, __uuidof(IClassFactory))) {
      return static_cast<IClassFactory*>(this);
    }
    return nullptr;
  }
};

class class_object_factory {
 public:
  class creator {
   public:
    virtual ~creator() = default;
    virtual bool matches(REFCLSID class_id) const = 0;
    virtual HRESULT create(REFIID iid, void** out) = 0;
  };

  template <typename T>
  class concrete_creator : public creator {
   public:
    bool matches(REFCLSID class_id) const override { return IsEqualGUID(class_id, T::class_id()); }
    HRESULT create(REFIID iid, void** out) override {
      IUnknownImpl<IClassFactoryImpl<T>>* factory = IUnknownImpl<IClassFactoryImpl<T>>::Create();
      const HRESULT hr = factory->QueryInterface(iid, out);
      factory->Release();
      return hr;
    }
  };

  template <typename T>
  void add() {
    table_.push_back(std::make_shared<concrete_creator<T>>());
  }
  void clear() noexcept { table_.clear(); }

  // DllGetClassObject.
  HRESULT get_class_object(REFCLSID class_id, REFIID iid, void** out) const noexcept {
    if (!out) return E_POINTER;
    *out = nullptr;
    return Guarded([&] {
      for (const auto& c : table_) {
        if (c->matches(class_id)) return c->create(iid, out);
      }
      return CLASS_E_CLASSNOTAVAILABLE;
    });
  }

 private:
  std::vector<std::shared_ptr<creator>> table_;
};

}  // namespace Quellmar::com
