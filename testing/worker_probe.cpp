#include "testing/worker_probe.h"

#include <psapi.h>
#include <tlhelp32.h>

#include "common/win_handles.h"

namespace Quellmar::testing {

DWORD FindProcess(const wchar_t* exe_name) {
  unique_kernel_handle snap(CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0));
  if (!snap || snap.get() == INVALID_HANDLE_VALUE) return 0;
  PROCESSENTRY32W e{};
  e.dwSize = sizeof(e);
  DWORD pid = 0;
  for (BOOL ok = Process32FirstW(snap.get(), &e); ok; ok = Process32NextW(snap.get(), &e)) {
    if (_wcsicmp(e.szExeFile, exe_name) == 0) pid = e.th32ProcessID;
  }
  return pid;
}

unsigned ThreadCount(DWORD pid) {
  unique_kernel_handle snap(CreateToolhelp32Snapshot(TH32CS_SNAPTHREAD, 0));
  if (!snap || snap.get() == INVALID_HANDLE_VALUE) return 0;
  THREADENTRY32 e{};
  e.dwSize = sizeof(e);
  unsigned n = 0;
  for (BOOL ok = Thread32First(snap.get(), &e); ok; ok = Thread32Next(snap.get(), &e)) {
    if (e.th32OwnerProcessID == pid) ++n;
  }
  return n;
}

double PrivateMiB(DWORD pid) {
  unique_kernel_handle p(OpenProcess(PROCESS_QUERY_INFORMATION | PROCESS_VM_READ, FALSE, pid));
  if (!p) return -1;
  PROCESS_MEMORY_COUNTERS_EX m{};
  m.cb = sizeof(m);
  if (!GetProcessMemoryInfo(p.get(), reinterpret_cast<PROCESS_MEMORY_COUNTERS*>(&m), sizeof(m))) {
    return -1;
  }
  // Wine leaves PrivateUsage at zero for other processes; the pagefile
  // usage is the same commit figure there.
  SIZE_T bytes = m.PrivateUsage ? m.PrivateUsage : m.PagefileUsage;
  if (!bytes) bytes = m.WorkingSetSize;
  return static_cast<double>(bytes) / (1024.0 * 1024.0);
}

}  // namespace Quellmar::testing
