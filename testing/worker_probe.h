// Looking at a running worker from outside, for tests and benchmarks: its
// process, threads and memory.
#pragma once

#include <windows.h>

namespace Quellmar::testing {

// The id of a running process with this program file name; 0 when none.
DWORD FindProcess(const wchar_t* exe_name);
// The threads of process `pid`.
unsigned ThreadCount(DWORD pid);
// The private memory of process `pid` in MiB; -1 when it cannot be read.
double PrivateMiB(DWORD pid);

}  // namespace Quellmar::testing
