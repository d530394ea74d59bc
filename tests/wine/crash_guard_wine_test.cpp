// The crash path's fault guard in a real process: a fault ends the guarded
// body and comes back as false with the caller's state intact; faults that
// inner code handles itself never reach it.

#include <gtest/gtest.h>

#include <windows.h>

#include "crash/crash_filter_guard.h"

namespace {

int* volatile gNull = nullptr;

// `reached` is volatile: the stores around the fault must both be made.
void WriteThroughNull(void* reached) {
  *static_cast<volatile int*>(reached) = 1;
  *gNull = 7;
  *static_cast<volatile int*>(reached) = 2;  // never
}

void Deeper(int depth, void* reached) {
  volatile char frame[512];
  frame[0] = static_cast<char>(depth);
  if (depth == 0) WriteThroughNull(reached);
  else Deeper(depth - 1, reached);
  *static_cast<int*>(reached) += frame[0];
}

void ProbeBadMemory(void* result) {
  // IsBadReadPtr faults inside and handles it there.
  *static_cast<int*>(result) = IsBadReadPtr(reinterpret_cast<void*>(0x10), 4) ? 1 : 0;
}

TEST(CrashGuard, AFaultEndsTheBodyAndReturnsFalse) {
  int reached = 0;
  EXPECT_FALSE(tarvish::RunGuarded(&WriteThroughNull, &reached));
  EXPECT_EQ(reached, 1);
}

TEST(CrashGuard, CallerStateSurvivesAFaultDeepInside) {
  // Values the compiler keeps in callee-saved registers across the call.
  volatile int a = 11;
  int b = a * 3, c = a * 5, d = a * 7;
  double x = a * 1.5, y = a * 2.5;
  int reached = 0;
  EXPECT_FALSE(tarvish::RunGuarded([](void* r) { Deeper(20, r); }, &reached));
  EXPECT_EQ(b + c + d, 11 * 15);
  EXPECT_DOUBLE_EQ(x + y, 44.0);
  EXPECT_EQ(reached, 1);
}

TEST(CrashGuard, FaultsHandledFurtherInNeverReachIt) {
  int result = -1;
  EXPECT_TRUE(tarvish::RunGuarded(&ProbeBadMemory, &result));
  EXPECT_EQ(result, 1);
}

TEST(CrashGuard, UsableAgainAndTheHandlerChainIsIntactAfterwards) {
  for (int i = 0; i < 50; ++i) {
    int reached = 0;
    ASSERT_FALSE(tarvish::RunGuarded(&WriteThroughNull, &reached)) << i;
    int clean = 0;
    ASSERT_TRUE(tarvish::RunGuarded([](void* r) { *static_cast<int*>(r) = 5; }, &clean)) << i;
    ASSERT_EQ(clean, 5);
  }
  // A fault handled by the system's own handlers still works.
  EXPECT_NE(IsBadReadPtr(nullptr, 1), 0);
  // And one nested inside another guard comes back to the inner one.
  int outer = 0;
  EXPECT_TRUE(tarvish::RunGuarded(
      [](void* o) {
        int inner = 0;
        *static_cast<int*>(o) = tarvish::RunGuarded(&WriteThroughNull, &inner) ? 1 : 2;
      },
      &outer));
  EXPECT_EQ(outer, 2);
}

}  // namespace
