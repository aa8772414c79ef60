#include "common/unique_handle.h"

#include <gtest/gtest.h>

#include <vector>

namespace Quellmar {
namespace {

std::vector<int> g_closed;

struct fake_traits {
  using pointer = int;
  static pointer invalid() noexcept { return -1; }
  static void close(pointer p) noexcept { g_closed.push_back(p); }
};
using fake_handle = unique_handle<fake_traits>;

class UniqueHandleTest : public ::testing::Test {
 protected:
  void SetUp() override { g_closed.clear(); }
};

TEST_F(UniqueHandleTest, ClosesExactlyOnceAcrossMovesAndResets) {
  {
    fake_handle a(3);
    fake_handle b(std::move(a));
    EXPECT_FALSE(a.valid());
    EXPECT_EQ(b.get(), 3);
    fake_handle c(7);
    c = std::move(b);  // closes 7, takes 3
    EXPECT_EQ(g_closed, std::vector<int>{7});
    c = std::move(c);  // self-move keeps it
    EXPECT_EQ(c.get(), 3);
    c.reset(9);
    EXPECT_EQ(g_closed, (std::vector<int>{7, 3}));
  }
  EXPECT_EQ(g_closed, (std::vector<int>{7, 3, 9}));
}

TEST_F(UniqueHandleTest, InvalidValueIsNeverClosed) {
  { fake_handle empty; EXPECT_FALSE(empty); }
  { fake_handle explicit_invalid(-1); }
  EXPECT_TRUE(g_closed.empty());
}

TEST_F(UniqueHandleTest, ReleaseGivesUpOwnershipAndPutClosesFirst) {
  fake_handle a(4);
  EXPECT_EQ(a.release(), 4);
  EXPECT_FALSE(a.valid());
  fake_handle b(5);
  int* slot = b.put();
  EXPECT_EQ(g_closed, std::vector<int>{5});
  EXPECT_EQ(*slot, -1);
  *slot = 6;  // as an API returning a handle through an out parameter would
  EXPECT_EQ(b.get(), 6);
}

}  // namespace
}  // namespace Quellmar
