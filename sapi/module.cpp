#include "sapi/module.h"

#include "sapi/tts_engine.h"
#include "sapi/voice_token.h"
#include "worker_client/worker_client.h"

namespace Quellmar::sapi {
namespace {
// Written only at process attach and detach, under the loader's lock.
HMODULE g_module = nullptr;
std::unique_ptr<WorkerClient> g_worker;
com::class_object_factory g_class_objects;
}  // namespace

HMODULE ModuleHandle() noexcept { return g_module; }
WorkerClient* ProcessWorkerClient() noexcept { return g_worker.get(); }
com::class_object_factory& ClassObjects() noexcept { return g_class_objects; }

bool AttachModule(HMODULE module, std::unique_ptr<WorkerClient> worker) noexcept {
  g_module = module;
  try {
    // One client per process, shared by every engine object; it connects on
    // its first request.
    if (worker) {
      g_worker = std::move(worker);
    } else if (!g_worker) {
      g_worker = std::make_unique<WorkerClient>();
    }
    g_class_objects.clear();
    g_class_objects.add<IEnumSpObjectTokensImpl>();
    g_class_objects.add<ISpTTSEngineImpl>();
    return true;
  } catch (...) {
    return false;
  }
}

void DetachModule() noexcept {
  g_worker.reset();
  g_class_objects.clear();
}

}  // namespace Quellmar::sapi
