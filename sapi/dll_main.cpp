// The entry point and the four exports of QuellmarSAPI.dll.
#include <windows.h>

#include "sapi/com_object.h"
#include "sapi/module.h"

using namespace Quellmar;

extern "C" BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, LPVOID) {
  switch (reason) {
    case DLL_PROCESS_ATTACH:
      DisableThreadLibraryCalls(instance);
      return sapi::AttachModule(instance) ? TRUE : FALSE;
    case DLL_PROCESS_DETACH:
      sapi::DetachModule();
      return TRUE;
    default:
      return TRUE;
  }
}

extern "C" HRESULT WINAPI DllCanUnloadNow() {
  return com::ModuleObjectCount() == 0 ? S_OK : S_FALSE;
}

extern "C" HRESULT WINAPI DllGetClassObject(REFCLSID class_id, REFIID iid, void** out) {
  return sapi::ClassObjects().get_class_object(class_id, iid, out);
}

extern "C" HRESULT WINAPI DllRegisterServer() { return sapi::RegisterServer(); }

extern "C" HRESULT WINAPI DllUnregisterServer() { return sapi::UnregisterServer(); }
