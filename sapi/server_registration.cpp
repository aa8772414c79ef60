// DllRegisterServer and DllUnregisterServer: the two COM classes under
// HKLM\Software\Classes\CLSID and the eight voice tokens.
#include <stdexcept>
#include <string>

#include "common/log.h"
#include "common/voices.h"
#include "sapi/guids.h"
#include "sapi/module.h"
#include "sapi/out_ptr.h"
#include "sapi/registry.h"
#include "sapi/sapi_ids.h"
#include "sapi/voice_registration.h"
#include "worker_client/worker_client.h"

namespace Quellmar::sapi {
namespace {

std::wstring ClassIdText(const CLSID& id) {
  utils::out_ptr<wchar_t> text;
  com::ThrowIfFailed(StringFromCLSID(id, text.put()));
  return text.get();
}

void RegisterClass(const CLSID& id, const std::wstring& dll_path) {
  unique_reg_key classes =
      registry::OpenKey(HKEY_LOCAL_MACHINE, kClassesClsidKey, KEY_CREATE_SUB_KEY);
  unique_reg_key clsid =
      registry::CreateKey(classes.get(), ClassIdText(id).c_str(), KEY_CREATE_SUB_KEY);
  unique_reg_key server = registry::CreateKey(clsid.get(), kInProcServerKey, KEY_SET_VALUE);
  registry::SetString(server.get(), nullptr, dll_path);
  registry::SetString(server.get(), kThreadingModelValue, kThreadingModelBoth);
}

void UnregisterClass(const CLSID& id) {
  const std::wstring name = ClassIdText(id);
  unique_reg_key classes = registry::OpenKey(HKEY_LOCAL_MACHINE, kClassesClsidKey, KEY_READ);
  {
    unique_reg_key clsid = registry::OpenKey(classes.get(), name.c_str(), KEY_READ);
    registry::DeleteKey(clsid.get(), kInProcServerKey);
  }
  registry::DeleteKey(classes.get(), name.c_str());
}

template <typename F>
HRESULT Guarded(F&& body) noexcept {
  try {
    body();
    return S_OK;
  } catch (const std::bad_alloc&) {
    return E_OUTOFMEMORY;
  } catch (...) {
    return E_UNEXPECTED;
  }
}

}  // namespace

HRESULT RegisterServer() noexcept {
  return Guarded([] {
    wchar_t path[MAX_PATH];
    const DWORD n = GetModuleFileNameW(ModuleHandle(), path, MAX_PATH);
    // A path that fills the buffer was cut: registering it would point every
    // host at a file that does not exist.
    if (n == 0 || n >= MAX_PATH) throw std::runtime_error("Unable to get the path of the dll");
    const std::wstring dll_path(path, n);
    RegisterClass(kEnumeratorClsid, dll_path);
    RegisterClass(kEngineClsid, dll_path);

    wchar_t engine[64];
    if (StringFromGUID2(kEngineClsid, engine, 64) == 0) throw com::error(E_UNEXPECTED);
    RegisterVoices(HKEY_LOCAL_MACHINE, engine);
    Log("DllRegisterServer: %d Quellmar voices registered", kVoiceCount);
  });
}

HRESULT UnregisterServer() noexcept {
  return Guarded([] {
    if (WorkerClient* worker = ProcessWorkerClient()) worker->RequestShutdown();
    UnregisterVoices(HKEY_LOCAL_MACHINE);
    UnregisterClass(kEnumeratorClsid);
    UnregisterClass(kEngineClsid);
  });
}

}  // namespace Quellmar::sapi
