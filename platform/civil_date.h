// platform/civil_date.h: the proleptic Gregorian calendar as day counts,
// the one date arithmetic of the library (FILETIME, OLE dates and the
// providers' date text are all built on it).
//
// Days are counted from 1970-01-01 (day 0); negative days lie before it.
// The algorithms are H. Hinnant's days_from_civil / civil_from_days, exact
// for every year a 64-bit day count can hold.
// Thread-safety: pure functions.
#pragma once

#include <cstdint>

namespace korvo::platform {

constexpr bool IsLeapYear(int64_t year) {
  return (year % 4 == 0 && year % 100 != 0) || year % 400 == 0;
}

// The days of each month in a common year. (Not local to DaysInMonth: a
// table there is built on the stack at every call.)
inline constexpr unsigned kDaysInMonth[12] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};

// Days of `month` (1..12) in `year`.
constexpr unsigned DaysInMonth(int64_t year, unsigned month) {
  return month == 2 && IsLeapYear(year) ? 29 : kDaysInMonth[month - 1];
}

// True for a month of 1..12 and a day that exists in that month.
constexpr bool IsValidDate(int64_t year, unsigned month, unsigned day) {
  return month >= 1 && month <= 12 && day >= 1 && day <= DaysInMonth(year, month);
}

// Days since 1970-01-01 of a valid date; a day of 1..31 beyond the
// month's end counts on into the next month, as timegm takes it.
constexpr int64_t DaysFromCivil(int64_t year, unsigned month, unsigned day) {
  const int64_t y = year - (month <= 2 ? 1 : 0);
  const int64_t era = (y >= 0 ? y : y - 399) / 400;
  const unsigned yoe = static_cast<unsigned>(y - era * 400);
  const unsigned doy = (153 * (month > 2 ? month - 3 : month + 9) + 2) / 5 + day - 1;
  const unsigned doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
  return era * 146097 + static_cast<int64_t>(doe) - 719468;
}

struct CivilDate {
  int64_t year;
  unsigned month;  // 1..12
  unsigned day;    // 1..31
};

// The date `days` after 1970-01-01.
constexpr CivilDate CivilFromDays(int64_t days) {
  const int64_t z = days + 719468;
  const int64_t era = (z >= 0 ? z : z - 146096) / 146097;
  const unsigned doe = static_cast<unsigned>(z - era * 146097);
  const unsigned yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
  const unsigned doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
  const unsigned mp = (5 * doy + 2) / 153;
  const unsigned day = doy - (153 * mp + 2) / 5 + 1;
  const unsigned month = mp < 10 ? mp + 3 : mp - 9;
  return {static_cast<int64_t>(yoe) + era * 400 + (month <= 2 ? 1 : 0), month, day};
}

}  // namespace korvo::platform
