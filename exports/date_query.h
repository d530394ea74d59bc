#pragma once
// The date decision behind IsAfter, apart from the clock.

#include <cstdint>
#include <optional>

namespace tarvish {

// A local calendar date as the C runtime's broken-down time gives it.
struct LocalDate {
  int yearSince1900;  // tm_year
  int monthFrom0;     // tm_mon, 0 = January
  int dayOfMonth;     // tm_mday, 1..31
};

// 1 when `today` is on or after the given date (day, month 1..12, full
// year), else 0. Arguments are not validated: out-of-range months and days
// compare as numbers. No local date at hand (the clock could not be
// converted) gives 0: no claim that the date has passed.
int IsOnOrAfter(const std::optional<LocalDate>& today, std::int32_t day,
                std::int32_t month, std::int32_t year);

// The current local date, or nothing when the conversion fails.
std::optional<LocalDate> LocalToday();

}  // namespace tarvish
