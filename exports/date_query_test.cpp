#include "exports/date_query.h"

#include <gtest/gtest.h>

#include <climits>

namespace tarvish {
namespace {

constexpr LocalDate kMarch15th2004{104, 2, 15};

struct DateCase {
  std::int32_t day, month, year;
  int expected;
};

TEST(IsOnOrAfter, DecisionTableOnMarch15th2004) {
  const DateCase cases[] = {
      {15, 3, 2004, 1},  // the day itself counts
      {16, 3, 2004, 0},  {31, 2, 2004, 1}, {1, 4, 2004, 0},
      {1, 1, 2005, 0},   {31, 12, 2003, 1},
      {0, 0, 2004, 1},   // month 0: every day of the year is after it
      {1, 13, 2004, 0},  // month 13: never reached within the year
      {32, 3, 2004, 0},  {0, 3, 2004, 1},
  };
  for (const DateCase& c : cases) {
    EXPECT_EQ(IsOnOrAfter(kMarch15th2004, c.day, c.month, c.year), c.expected)
        << c.day << '.' << c.month << '.' << c.year;
  }
}

TEST(IsOnOrAfter, ExtremeArgumentsCompareAsNumbers) {
  const DateCase cases[] = {
      {1, 1, INT_MIN, 1},  {1, 1, INT_MAX, 0},   {1, INT_MIN, 2004, 1},
      {1, INT_MAX, 2004, 0}, {INT_MIN, 3, 2004, 1}, {INT_MAX, 3, 2004, 0},
  };
  for (const DateCase& c : cases) {
    EXPECT_EQ(IsOnOrAfter(kMarch15th2004, c.day, c.month, c.year), c.expected)
        << c.day << '.' << c.month << '.' << c.year;
  }
}

TEST(IsOnOrAfter, NoLocalDateGivesZero) {
  EXPECT_EQ(IsOnOrAfter(std::nullopt, 1, 1, 1900), 0);
}

}  // namespace
}  // namespace tarvish
