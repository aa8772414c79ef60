// The stand-in runtime's DLL: its class objects and its registration over
// the platform's four classes in HKEY_LOCAL_MACHINE\Software\Classes\CLSID.
#include <windows.h>

#include <string>

#include "common/win_handles.h"
#include "testing/sapi_runtime/object_token.h"
#include "testing/sapi_runtime/token_category.h"
#include "testing/sapi_runtime/voice.h"
#include "testing/sapi_runtime/wav_stream.h"

namespace Quellmar::sapirt {

std::atomic<long>& LiveObjects() {
  static std::atomic<long> count{0};
  return count;
}

HRESULT CoTaskCopy(const wchar_t* text, wchar_t** out) {
  if (!out) return E_POINTER;
  *out = nullptr;
  if (!text) return E_POINTER;
  const size_t bytes = (wcslen(text) + 1) * sizeof(wchar_t);
  auto* copy = static_cast<wchar_t*>(CoTaskMemAlloc(bytes));
  if (!copy) return E_OUTOFMEMORY;
  memcpy(copy, text, bytes);
  *out = copy;
  return S_OK;
}

namespace {

HMODULE g_module = nullptr;

// The platform's class ids.
constexpr CLSID kSpVoice = {0x96749377, 0x3391, 0x11d2, {0x9e, 0xe3, 0x00, 0xc0, 0x4f, 0x79, 0x73, 0x96}};
constexpr CLSID kSpObjectToken = {0xef411752, 0x3736, 0x4cb4, {0x9c, 0x8c, 0x8e, 0xf4, 0xcc, 0xb5, 0x8e, 0xfe}};
constexpr CLSID kSpObjectTokenCategory = {
    0xa910187f, 0x0c7a, 0x45ac, {0x92, 0xcc, 0x59, 0xed, 0xaf, 0xb7, 0x7b, 0x53}};
constexpr CLSID kSpStream = {0x715d9c59, 0x4442, 0x11d2, {0x96, 0x05, 0x00, 0xc0, 0x4f, 0x8e, 0xe6, 0x28}};
const CLSID* const kClasses[] = {&kSpVoice, &kSpObjectToken, &kSpObjectTokenCategory, &kSpStream};

// Where the platform's own runtime lives in a Wine prefix; unregistering
// points the classes back at it.
constexpr wchar_t kPlatformRuntime[] = L"C:\\windows\\system32\\Speech\\Common\\sapi.dll";

template <typename T>
HRESULT CreateAs(REFIID iid, void** out) {
  auto object = Make<T>();
  if (!object) return E_OUTOFMEMORY;
  return object->QueryInterface(iid, out);  // our own reference goes with `object`
}

class Factory : public IClassFactory {
 public:
  explicit Factory(const CLSID& clsid) : clsid_(clsid) {}
  virtual ~Factory() = default;
  void* Find(REFIID iid) {
    return (iid == IID_IUnknown || iid == IID_IClassFactory) ? static_cast<IClassFactory*>(this) : nullptr;
  }
  HRESULT STDMETHODCALLTYPE CreateInstance(IUnknown* outer, REFIID iid, void** out) override {
    if (outer) return CLASS_E_NOAGGREGATION;
    if (!out) return E_POINTER;
    *out = nullptr;
    return Guard([&]() -> HRESULT {
      if (clsid_ == kSpVoice) return CreateAs<Voice>(iid, out);
      if (clsid_ == kSpObjectToken) return CreateAs<ObjectToken>(iid, out);
      if (clsid_ == kSpObjectTokenCategory) return CreateAs<TokenCategory>(iid, out);
      if (clsid_ == kSpStream) return CreateAs<WavStream>(iid, out);
      return CLASS_E_CLASSNOTAVAILABLE;
    });
  }
  HRESULT STDMETHODCALLTYPE LockServer(WINBOOL lock) override {
    if (lock)
      ++LiveObjects();
    else
      --LiveObjects();
    return S_OK;
  }

 private:
  CLSID clsid_;
};

std::wstring ClassKey(const CLSID& clsid) {
  wchar_t text[64];
  StringFromGUID2(clsid, text, 64);
  return std::wstring(L"Software\\Classes\\CLSID\\") + text + L"\\InprocServer32";
}

LONG SetString(HKEY key, const wchar_t* name, const wchar_t* value) {
  return RegSetValueExW(key, name, 0, REG_SZ, reinterpret_cast<const BYTE*>(value),
                        static_cast<DWORD>((wcslen(value) + 1) * sizeof(wchar_t)));
}

HRESULT PointClassesAt(const wchar_t* server) {
  for (const CLSID* clsid : kClasses) {
    HKEY raw = nullptr;
    LONG r = RegCreateKeyExW(HKEY_LOCAL_MACHINE, ClassKey(*clsid).c_str(), 0, nullptr, 0, KEY_SET_VALUE, nullptr,
                             &raw, nullptr);
    if (r != ERROR_SUCCESS) return HRESULT_FROM_WIN32(r);
    unique_reg_key key(raw);
    if ((r = SetString(key.get(), nullptr, server)) != ERROR_SUCCESS ||
        (r = SetString(key.get(), L"ThreadingModel", L"Both")) != ERROR_SUCCESS)
      return HRESULT_FROM_WIN32(r);
  }
  return S_OK;
}

}  // namespace
}  // namespace Quellmar::sapirt

using namespace Quellmar::sapirt;

extern "C" BOOL WINAPI DllMain(HINSTANCE module, DWORD reason, void*) {
  if (reason == DLL_PROCESS_ATTACH) {
    g_module = module;
    DisableThreadLibraryCalls(module);
  }
  return TRUE;
}

extern "C" HRESULT __stdcall DllCanUnloadNow() { return LiveObjects() == 0 ? S_OK : S_FALSE; }

extern "C" HRESULT __stdcall DllGetClassObject(REFCLSID clsid, REFIID iid, void** out) {
  if (!out) return E_POINTER;
  *out = nullptr;
  return Guard([&]() -> HRESULT {
    for (const CLSID* known : kClasses) {
      if (clsid != *known) continue;
      auto factory = Make<Factory>(clsid);
      if (!factory) return E_OUTOFMEMORY;
      return factory->QueryInterface(iid, out);
    }
    return CLASS_E_CLASSNOTAVAILABLE;
  });
}

extern "C" HRESULT __stdcall DllRegisterServer() {
  wchar_t path[MAX_PATH];
  const DWORD n = GetModuleFileNameW(g_module, path, MAX_PATH);
  if (n == 0 || n >= MAX_PATH) return E_UNEXPECTED;
  return PointClassesAt(path);
}

extern "C" HRESULT __stdcall DllUnregisterServer() { return PointClassesAt(kPlatformRuntime); }
