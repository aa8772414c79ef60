// Custom actions of the installer package. Windows Installer loads this DLL
// from the package's Binary table; it is never installed.
#include <windows.h>
#include <msi.h>
#include <msiquery.h>
#include <tlhelp32.h>

#include <string>

#include "common/win_handles.h"
#include "worker/protocol.h"
#include "worker_client/worker_client.h"

namespace {

using namespace Quellmar;

constexpr wchar_t kWorkerExe[] = L"QuellmarServer.exe";
// Time a worker gets to exit after its shutdown request before it is ended.
constexpr DWORD kWorkerExitMs = 3000;

bool WorkerRunning() {
  unique_kernel_handle mutex(OpenMutexW(SYNCHRONIZE, FALSE, protocol::kServerMutexName));
  return static_cast<bool>(mutex);
}

// One line in the installer's log (msiexec /l*v).
void Note(MSIHANDLE install, const std::wstring& text) {
  PMSIHANDLE record = MsiCreateRecord(1);
  MsiRecordSetStringW(record, 0, (L"QuellmarSetup: " + text).c_str());
  MsiProcessMessage(install, INSTALLMESSAGE_INFO, record);
}

// Waits for every worker process to end, ending those that do not go in time.
// Returns how many had to be ended.
int WaitForWorkers(MSIHANDLE install) {
  // A failed snapshot is INVALID_HANDLE_VALUE, as for files.
  unique_file snapshot(CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0));
  if (!snapshot) return 0;
  int ended = 0;
  PROCESSENTRY32W entry{};
  entry.dwSize = sizeof(entry);
  for (BOOL more = Process32FirstW(snapshot.get(), &entry); more;
       more = Process32NextW(snapshot.get(), &entry)) {
    if (lstrcmpiW(entry.szExeFile, kWorkerExe) != 0) continue;
    unique_kernel_handle process(
        OpenProcess(SYNCHRONIZE | PROCESS_TERMINATE, FALSE, entry.th32ProcessID));
    if (!process) continue;
    if (WaitForSingleObject(process.get(), kWorkerExitMs) == WAIT_OBJECT_0) continue;
    Note(install, L"the worker (process " + std::to_wstring(entry.th32ProcessID) +
                      L") did not exit when asked; ending it");
    if (TerminateProcess(process.get(), 1)) {
      WaitForSingleObject(process.get(), kWorkerExitMs);
      ++ended;
    }
  }
  return ended;
}

}  // namespace

// Asks a running worker to exit, the way the SAPI library's unregistration
// does, so that its files and the engine core can be replaced or removed.
// Never fails the installation: a worker that cannot be stopped only means
// files in use, which Windows Installer handles itself.
extern "C" UINT WINAPI StopWorker(MSIHANDLE install) {
  try {
    if (!WorkerRunning()) {
      Note(install, L"no worker running");
      return ERROR_SUCCESS;
    }
    Note(install, L"asking the worker to exit");
    {
      WorkerClient client;
      client.RequestShutdown();
    }
    WaitForWorkers(install);
    Note(install, WorkerRunning() ? L"a worker is still running" : L"the worker has exited");
  } catch (...) {
    Note(install, L"stopping the worker failed");
  }
  return ERROR_SUCCESS;
}
