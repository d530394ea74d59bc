#include "exports/date_query.h"

#include <ctime>

namespace tarvish {

int IsOnOrAfter(const std::optional<LocalDate>& today, std::int32_t day,
                std::int32_t month, std::int32_t year) {
  if (!today) return 0;
  // Differences are taken in 64 bits so that extreme arguments (a year near
  // INT32_MIN) still compare as the numbers they are instead of wrapping.
  const std::int64_t givenYear = std::int64_t{year} - 1900;
  const std::int64_t givenMonth = std::int64_t{month} - 1;
  if (today->yearSince1900 != givenYear) return today->yearSince1900 > givenYear ? 1 : 0;
  if (today->monthFrom0 != givenMonth) return today->monthFrom0 > givenMonth ? 1 : 0;
  return today->dayOfMonth >= day ? 1 : 0;
}

std::optional<LocalDate> LocalToday() {
  const std::time_t now = std::time(nullptr);
  if (now == static_cast<std::time_t>(-1)) return std::nullopt;
  std::tm local{};
#ifdef _WIN32
  if (localtime_s(&local, &now) != 0) return std::nullopt;
#else
  if (localtime_r(&now, &local) == nullptr) return std::nullopt;
#endif
  return LocalDate{local.tm_year, local.tm_mon, local.tm_mday};
}

}  // namespace tarvish
