#include "common/win_handles.h"

#include <gtest/gtest.h>

namespace Quellmar {
namespace {

TEST(WinHandles, KernelHandleIsClosedWhenItsOwnerEnds) {
  HANDLE raw;
  {
    unique_kernel_handle event(CreateEventW(nullptr, TRUE, FALSE, nullptr));
    ASSERT_TRUE(event);
    raw = event.get();
    DWORD flags;
    EXPECT_TRUE(GetHandleInformation(raw, &flags));
  }
  DWORD flags;
  EXPECT_FALSE(GetHandleInformation(raw, &flags));
}

TEST(WinHandles, FileHandleTreatsInvalidHandleValueAsEmpty) {
  unique_file none(CreateFileW(L"Z:\\no\\such\\folder\\file.txt", GENERIC_READ, 0, nullptr,
                               OPEN_EXISTING, 0, nullptr));
  EXPECT_FALSE(none);
  EXPECT_EQ(none.get(), INVALID_HANDLE_VALUE);
}

TEST(WinHandles, RegistryKeyOpensThroughPut) {
  unique_reg_key key;
  ASSERT_EQ(RegOpenKeyExW(HKEY_CURRENT_USER, L"Software", 0, KEY_READ, key.put()), ERROR_SUCCESS);
  EXPECT_TRUE(key);
}

TEST(WinHandles, ModuleAndAllocationOwners) {
  unique_module kernel(LoadLibraryW(L"kernel32.dll"));
  EXPECT_TRUE(kernel);
  unique_cotaskmem mem(CoTaskMemAlloc(16));
  EXPECT_TRUE(mem);
  unique_local_alloc local(LocalAlloc(LMEM_FIXED, 16));
  EXPECT_TRUE(local);
}

}  // namespace
}  // namespace Quellmar
