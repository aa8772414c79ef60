#include "worker/pipe_security.h"

namespace Quellmar::worker {

std::wstring PipeSecurityText(const std::wstring& user_sid) {
  return L"D:(A;;GA;;;SY)(A;;GA;;;BA)(A;;GRGW;;;" + (user_sid.empty() ? L"IU" : user_sid) +
         L")S:(ML;;NW;;;LW)";
}

}  // namespace Quellmar::worker
