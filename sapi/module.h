// The state of the loaded DLL: its module handle, the process's one
// WorkerClient and the class object table, set at process attach and
// cleared at detach.
#pragma once

#include <windows.h>

#include <memory>

#include "sapi/class_factory.h"
#include "worker_client/worker_client.h"

namespace Quellmar::sapi {

HMODULE ModuleHandle() noexcept;
// Null when the process has none.
WorkerClient* ProcessWorkerClient() noexcept;
com::class_object_factory& ClassObjects() noexcept;

// Process attach and detach. Attach returns false when the table cannot be
// filled. `worker` replaces the default client (tests give their own).
bool AttachModule(HMODULE module, std::unique_ptr<WorkerClient> worker = nullptr) noexcept;
void DetachModule() noexcept;

// The registration entry points' bodies.
HRESULT RegisterServer() noexcept;
HRESULT UnregisterServer() noexcept;

}  // namespace Quellmar::sapi
