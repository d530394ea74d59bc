// The export surface and the small exports, through the real DLL.

#include <gtest/gtest.h>

#include <cstdlib>
#include <ctime>

#include "tests/wine/dll_under_test.h"

namespace {

using tarvish_test::DllUnderTest;

using ViseEntryFn = int(WINAPI*)(int, int, int);
using IsAfterFn = int(WINAPI*)(int, int, int);
using CodePageFn = UINT(WINAPI*)();

class Exports : public ::testing::Test {
 protected:
  DllUnderTest dll_;
};

TEST_F(Exports, EveryNameResolvesAndTheUndecoratedGetActiveCPDoesNot) {
  ASSERT_NE(dll_.module(), nullptr);
  for (const char* name : {"ViseEntry", "IsAfter", "GetACP", "_GetActiveCP@0",
                           "GetFileDescription", "CheckShortCutAndUpdateIfNecessary",
                           "ForceIconCacheRebuild", "UpdateFont"}) {
    EXPECT_NE(dll_.Get<FARPROC>(name), nullptr) << name;
  }
  EXPECT_EQ(dll_.Get<FARPROC>("GetActiveCP"), nullptr);
}

TEST_F(Exports, ViseEntryReturnsZeroWhateverItIsGiven) {
  auto vise = dll_.Get<ViseEntryFn>("ViseEntry");
  ASSERT_NE(vise, nullptr);
  EXPECT_EQ(vise(0, 0, 0), 0);
  EXPECT_EQ(vise(-1, 0x7fffffff, 12345), 0);
}

TEST_F(Exports, BothCodePageExportsAnswerTheSystemCodePage) {
  auto forwarded = dll_.Get<CodePageFn>("GetACP");
  auto active = dll_.Get<CodePageFn>("_GetActiveCP@0");
  ASSERT_NE(forwarded, nullptr);
  ASSERT_NE(active, nullptr);
  EXPECT_EQ(forwarded(), GetACP());
  EXPECT_EQ(active(), GetACP());
  // The forwarder leads straight into KERNEL32's own function.
  EXPECT_EQ(reinterpret_cast<void*>(forwarded),
            reinterpret_cast<void*>(GetProcAddress(GetModuleHandleA("kernel32.dll"), "GetACP")));
}

struct Day {
  int day, month, year;
};

Day LocalDayOffset(int days) {
  std::time_t t = std::time(nullptr) + static_cast<std::time_t>(days) * 86400;
  std::tm local{};
  localtime_s(&local, &t);
  return {local.tm_mday, local.tm_mon + 1, local.tm_year + 1900};
}

TEST_F(Exports, IsAfterAgainstTodaysLocalDate) {
  auto isAfter = dll_.Get<IsAfterFn>("IsAfter");
  ASSERT_NE(isAfter, nullptr);
  const struct {
    int offset;
    int expected;
  } cases[] = {{-1, 1}, {0, 1}, {1, 0}, {-400, 1}, {400, 0}};
  for (const auto& c : cases) {
    const Day d = LocalDayOffset(c.offset);
    EXPECT_EQ(isAfter(d.day, d.month, d.year), c.expected)
        << "offset " << c.offset << ": " << d.day << '.' << d.month << '.' << d.year;
  }
}

// Run with TZ set by CTest to a zone far east of UTC: the export must follow
// the local date, which the test process reads the same way, and differ
// from the UTC date at least part of the day. EXPECTED_LOCAL_DAY, when set,
// is the day of month the runner computed for that zone.
TEST_F(Exports, IsAfterFollowsTheLocalNotTheUtcDate) {
  const char* expected = std::getenv("TARVISH_EXPECTED_LOCAL_DATE");  // d.m.yyyy
  if (expected == nullptr) GTEST_SKIP() << "run by the tz test with TARVISH_EXPECTED_LOCAL_DATE";
  Day d{};
  ASSERT_EQ(std::sscanf(expected, "%d.%d.%d", &d.day, &d.month, &d.year), 3);
  auto isAfter = dll_.Get<IsAfterFn>("IsAfter");
  ASSERT_NE(isAfter, nullptr);
  EXPECT_EQ(isAfter(d.day, d.month, d.year), 1) << "the local day itself";
  const Day next = {d.day + 1, d.month, d.year};
  EXPECT_EQ(isAfter(next.day, next.month, next.year), 0) << "the local next day";
}

}  // namespace
