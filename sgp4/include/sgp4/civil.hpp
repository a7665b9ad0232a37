// Proleptic Gregorian calendar arithmetic: the one calendar of the element readers (TLE and
// OMM) and of satvane's instants.
#pragma once

#include <cstdint>

namespace sgp4::civil {

constexpr bool is_leap_year(std::int64_t year) {
  return (year % 4 == 0 && year % 100 != 0) || year % 400 == 0;
}

constexpr unsigned days_in_month(std::int64_t year, unsigned month) {
  constexpr unsigned kDays[12] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
  return month == 2 && is_leap_year(year) ? 29 : kDays[month - 1];
}

constexpr unsigned days_in_year(std::int64_t year) { return is_leap_year(year) ? 366 : 365; }

// Days from 1970-01-01 to the given date (H. Hinnant, "chrono-Compatible Low-Level Date
// Algorithms", days_from_civil); exact for every year whose days fit in 64 bits; month 1..12.
constexpr std::int64_t days_from_civil(std::int64_t year, unsigned month, unsigned day) {
  year -= month <= 2 ? 1 : 0;
  const std::int64_t era = (year >= 0 ? year : year - 399) / 400;
  const auto year_of_era = static_cast<unsigned>(year - era * 400);
  const unsigned day_of_year = (153 * (month > 2 ? month - 3 : month + 9) + 2) / 5 + day - 1;
  const unsigned day_of_era = year_of_era * 365 + year_of_era / 4 - year_of_era / 100 + day_of_year;
  return era * 146097 + static_cast<std::int64_t>(day_of_era) - 719468;
}

}  // namespace sgp4::civil
