// Who may open the worker's pipe: the local system and administrators fully,
// the worker's own user for reading and writing, and, through a low
// mandatory label with no-write-up, that user's processes at low integrity.
#pragma once

#include <string>

namespace Quellmar::worker {

// The descriptor in SDDL. An empty `user_sid` stands for the interactive
// users group.
std::wstring PipeSecurityText(const std::wstring& user_sid);

}  // namespace Quellmar::worker

#ifdef _WIN32
#include <windows.h>

namespace Quellmar::worker {
// The process-wide security attributes for every pipe instance, built on
// first use and cached (success or failure) for the life of the process.
// nullptr means default security (the failure is logged once).
SECURITY_ATTRIBUTES* PipeSecurity();
// The SID of the process token's user in string form, empty on failure.
std::wstring ProcessUserSid();
}  // namespace Quellmar::worker
#endif
