#include "common/com_ptr.h"

#include <gtest/gtest.h>

namespace Quellmar {
namespace {

struct Counted {
  int refs = 1;  // as returned by a factory
  unsigned long AddRef() { return ++refs; }
  unsigned long Release() { return --refs; }
};

TEST(ComPtr, CopiesShareAndMovesTransferReferences) {
  Counted obj;
  {
    auto a = com_ptr<Counted>::attach(&obj);
    EXPECT_EQ(obj.refs, 1);
    com_ptr<Counted> b = a;
    EXPECT_EQ(obj.refs, 2);
    com_ptr<Counted> c = std::move(b);
    EXPECT_EQ(obj.refs, 2);
    EXPECT_FALSE(b);
    c = c;  // self-assignment keeps the count
    EXPECT_EQ(obj.refs, 2);
    a = nullptr;
    EXPECT_EQ(obj.refs, 1);
  }
  EXPECT_EQ(obj.refs, 0);
}

TEST(ComPtr, SharingConstructorAddsAReferenceAndDetachHandsItOver) {
  Counted obj;
  {
    com_ptr<Counted> p(&obj);
    EXPECT_EQ(obj.refs, 2);
    Counted* raw = p.detach();
    EXPECT_EQ(raw, &obj);
  }
  EXPECT_EQ(obj.refs, 2);  // the detached reference is the caller's now
}

TEST(ComPtr, PutReleasesWhatItHeld) {
  Counted first, second;
  auto p = com_ptr<Counted>::attach(&first);
  Counted** slot = p.put();
  EXPECT_EQ(first.refs, 0);
  *slot = &second;
  EXPECT_EQ(p.get(), &second);
  p.reset();
  EXPECT_EQ(second.refs, 0);
}

}  // namespace
}  // namespace Quellmar
