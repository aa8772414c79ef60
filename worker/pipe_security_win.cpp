#include <windows.h>
#include <sddl.h>

#include <mutex>
#include <vector>

#include "common/log.h"
#include "common/win_handles.h"
#include "worker/pipe_security.h"

namespace Quellmar::worker {

std::wstring ProcessUserSid() {
  unique_kernel_handle token;
  if (!OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, token.put())) return {};
  DWORD size = 0;
  GetTokenInformation(token.get(), TokenUser, nullptr, 0, &size);
  if (size == 0) return {};
  std::vector<unsigned char> buffer(size);
  if (!GetTokenInformation(token.get(), TokenUser, buffer.data(), size, &size)) return {};
  auto* user = reinterpret_cast<TOKEN_USER*>(buffer.data());
  wchar_t* text = nullptr;
  if (!ConvertSidToStringSidW(user->User.Sid, &text)) return {};
  unique_local_alloc owned(text);
  return std::wstring(text);
}

SECURITY_ATTRIBUTES* PipeSecurity() {
  static std::once_flag once;
  static SECURITY_ATTRIBUTES attributes;
  static unique_local_alloc descriptor;
  static bool ok = false;
  std::call_once(once, [] {
    std::wstring text = PipeSecurityText(ProcessUserSid());
    PSECURITY_DESCRIPTOR sd = nullptr;
    if (!ConvertStringSecurityDescriptorToSecurityDescriptorW(text.c_str(), SDDL_REVISION_1, &sd,
                                                              nullptr)) {
      Log("worker: could not build the pipe security descriptor (%lu); falling back to the "
          "default, which a lower integrity level cannot open",
          GetLastError());
      return;
    }
    descriptor.reset(sd);
    attributes.nLength = sizeof(attributes);
    attributes.lpSecurityDescriptor = sd;
    attributes.bInheritHandle = FALSE;
    ok = true;
  });
  return ok ? &attributes : nullptr;
}

}  // namespace Quellmar::worker
