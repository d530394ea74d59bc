#include "util/scoped_resource.h"

#include <gtest/gtest.h>

#include <vector>

namespace tarvish {
namespace {

// A resource whose empty value is -1, like INVALID_HANDLE_VALUE, so that 0
// is a real resource that must be closed.
std::vector<int> closed;

struct MinusOneTraits {
  using Type = int;
  static Type Invalid() { return -1; }
  static void Close(Type value) { closed.push_back(value); }
};
using Resource = UniqueResource<MinusOneTraits>;

class UniqueResourceTest : public ::testing::Test {
 protected:
  void SetUp() override { closed.clear(); }
};

TEST_F(UniqueResourceTest, ClosesOnceAndTreatsOnlyTheEmptyValueAsEmpty) {
  {
    Resource zero(0);
    EXPECT_TRUE(zero);
    Resource empty;
    EXPECT_FALSE(empty);
    EXPECT_EQ(empty.get(), -1);
  }
  EXPECT_EQ(closed, std::vector<int>{0});
}

TEST_F(UniqueResourceTest, ResetClosesTheOldValueAndHoldsTheNew) {
  Resource r(7);
  r.reset(8);
  EXPECT_EQ(closed, std::vector<int>{7});
  EXPECT_EQ(r.get(), 8);
  r.reset();
  EXPECT_EQ(closed, (std::vector<int>{7, 8}));
  EXPECT_FALSE(r);
}

TEST_F(UniqueResourceTest, ReceiveFreesFirstAndFillsTheSlot) {
  Resource r(3);
  *r.receive() = 4;
  EXPECT_EQ(closed, std::vector<int>{3});
  EXPECT_EQ(r.get(), 4);
}

TEST_F(UniqueResourceTest, MovesHandOverWithoutClosing) {
  Resource a(5);
  Resource b(std::move(a));
  EXPECT_FALSE(a);
  EXPECT_EQ(b.get(), 5);
  Resource c(6);
  c = std::move(b);
  EXPECT_EQ(closed, std::vector<int>{6});
  EXPECT_EQ(c.get(), 5);
  EXPECT_EQ(c.release(), 5);
  EXPECT_FALSE(c);
  EXPECT_EQ(closed, std::vector<int>{6});
}

}  // namespace
}  // namespace tarvish
