#include "worker/pipe_security.h"

#include <gtest/gtest.h>

namespace Quellmar::worker {
namespace {

TEST(PipeSecurity, GrantsSystemAdminsAndTheUserAndLetsLowIntegrityIn) {
  EXPECT_EQ(PipeSecurityText(L"S-1-5-21-1-2-3-1001"),
            L"D:(A;;GA;;;SY)(A;;GA;;;BA)(A;;GRGW;;;S-1-5-21-1-2-3-1001)S:(ML;;NW;;;LW)");
  // Without the user's SID the interactive users stand in.
  EXPECT_EQ(PipeSecurityText(L""), L"D:(A;;GA;;;SY)(A;;GA;;;BA)(A;;GRGW;;;IU)S:(ML;;NW;;;LW)");
}

}  // namespace
}  // namespace Quellmar::worker
