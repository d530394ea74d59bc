#include "util/scoped_com_ptr.h"

#include <gtest/gtest.h>

#include <utility>

namespace tarvish {
namespace {

// Counts its references the way a COM object does.
struct Counted {
  int references = 1;
  unsigned long Release() { return static_cast<unsigned long>(--references); }
};

void Obtain(void** slot, Counted& object) { *slot = &object; }

TEST(ScopedComPtr, ReleasesOnceAtTheEndOfItsScope) {
  Counted object;
  {
    ScopedComPtr<Counted> p;
    Obtain(p.receive(), object);
    EXPECT_EQ(p.get(), &object);
  }
  EXPECT_EQ(object.references, 0);
}

TEST(ScopedComPtr, ReceiveReleasesWhatItHeld) {
  Counted first, second;
  ScopedComPtr<Counted> p;
  Obtain(p.receive(), first);
  Obtain(p.receive(), second);
  EXPECT_EQ(first.references, 0);
  EXPECT_EQ(second.references, 1);
}

TEST(ScopedComPtr, AMoveHandsTheReferenceOverWithoutReleasingIt) {
  Counted object;
  ScopedComPtr<Counted> from;
  Obtain(from.receive(), object);
  {
    ScopedComPtr<Counted> to(std::move(from));
    EXPECT_FALSE(from);
    EXPECT_EQ(object.references, 1);
    ScopedComPtr<Counted> again;
    again = std::move(to);
    EXPECT_EQ(object.references, 1);
  }
  EXPECT_EQ(object.references, 0);
}

}  // namespace
}  // namespace tarvish
