// com/oledate.cpp: OLE dates to and from calendar fields and ISO text.
#include <korvo/com/oledate.h>
#include <korvo/com/oledate_internal.h>
#include <korvo/com/plain_date_internal.h>
#include <korvo/com/text_internal.h>
#include <korvo/platform/civil_date.h>

#include <cmath>

namespace {

constexpr long long kDaysFrom1970 = 25569;  // 1899-12-30 to 1970-01-01
constexpr long long kLastDay = 2958465;     // 9999-12-31
constexpr long long kSecondsPerDay = 86400;

// Day index (days since 1899-12-30, the calendar day the value names) and
// second of that day, rounded to the nearest second.
bool Split(DATE date, long long* day, long long* second) {
  if (!korvo::com::detail::DateInRange(date)) return false;  // NaN too
  double whole = std::trunc(date);
  long long d = static_cast<long long>(whole);
  long long s = std::llround(std::fabs(date - whole) * kSecondsPerDay);
  if (s >= kSecondsPerDay) {  // rounded up to the next midnight
    s -= kSecondsPerDay;
    ++d;
  }
  if (d > kLastDay) return false;
  *day = d;
  *second = s;
  return true;
}

// The time of day counts away from day 0 on either side of it.
DATE Join(long long day, double second) {
  double fraction = second / kSecondsPerDay;
  return day >= 0 ? static_cast<double>(day) + fraction : static_cast<double>(day) - fraction;
}

// The calendar fields of a day index (whose date is `civil`) and second of
// that day.
SYSTEMTIME FieldsOf(const korvo::platform::CivilDate& civil, long long day, long long second) {
  SYSTEMTIME t{};
  t.wYear = static_cast<WORD>(civil.year);
  t.wMonth = static_cast<WORD>(civil.month);
  t.wDay = static_cast<WORD>(civil.day);
  t.wDayOfWeek = static_cast<WORD>(((day % 7) + 7 + 6) % 7);  // 1899-12-30 was a Saturday
  t.wHour = static_cast<WORD>(second / 3600);
  t.wMinute = static_cast<WORD>(second / 60 % 60);
  t.wSecond = static_cast<WORD>(second % 60);
  t.wMilliseconds = 0;
  return t;
}

}  // namespace

INT VariantTimeToSystemTime(DOUBLE date, LPSYSTEMTIME out) {
  long long day = 0, second = 0;
  if (out == nullptr || !Split(date, &day, &second)) return FALSE;
  *out = FieldsOf(korvo::platform::CivilFromDays(day - kDaysFrom1970), day, second);
  return TRUE;
}

INT SystemTimeToVariantTime(LPSYSTEMTIME time, DOUBLE* out) {
  if (time == nullptr || out == nullptr) return FALSE;
  const SYSTEMTIME& t = *time;
  if (t.wYear < 100 || t.wYear > 9999 || !korvo::platform::IsValidDate(t.wYear, t.wMonth, t.wDay) ||
      t.wHour > 23 || t.wMinute > 59 || t.wSecond > 59)
    return FALSE;
  long long day = korvo::platform::DaysFromCivil(t.wYear, t.wMonth, t.wDay) + kDaysFrom1970;
  *out = Join(day, static_cast<double>(t.wHour * 3600LL + t.wMinute * 60LL + t.wSecond));
  return TRUE;
}

namespace korvo::com::detail {

bool FormatDate(DATE date, std::string* out) {
  long long day = 0, second = 0;
  if (!Split(date, &day, &second)) return false;
  // Written by hand: snprintf costs more than the rest of a conversion.
  char buffer[32];
  char* p = buffer;
  auto put = [&p](long long value, int digits) {
    for (int i = digits - 1; i >= 0; --i) {
      p[i] = static_cast<char>('0' + value % 10);
      value /= 10;
    }
    p += digits;
  };
  if (day != 0) {
    const platform::CivilDate civil = platform::CivilFromDays(day - kDaysFrom1970);
    put(civil.year, 4);
    *p++ = '-';
    put(civil.month, 2);
    *p++ = '-';
    put(civil.day, 2);
  }
  if (day == 0 || second != 0) {
    if (p != buffer) *p++ = ' ';
    put(second / 3600, 2);
    *p++ = ':';
    put(second / 60 % 60, 2);
    *p++ = ':';
    put(second % 60, 2);
  }
  out->assign(buffer, p);
  return true;
}

namespace {

bool IsDigit(char c) { return c >= '0' && c <= '9'; }

// Reads between min and max digits at *at.
bool Digits(std::string_view s, size_t* at, size_t min, size_t max, unsigned* value) {
  size_t start = *at;
  unsigned v = 0;
  while (*at < s.size() && IsDigit(s[*at]) && *at - start < max)
    v = v * 10 + static_cast<unsigned>(s[(*at)++] - '0');
  if (*at - start < min) return false;
  *value = v;
  return true;
}

bool Expect(std::string_view s, size_t* at, char c) {
  if (*at >= s.size() || s[*at] != c) return false;
  ++*at;
  return true;
}

// HH:MM[:SS[.fraction]] at *at, as seconds of the day (hours to 23,
// minutes and seconds to 59).
bool ParseTime(std::string_view s, size_t* at, SecondFraction fraction, double* seconds) {
  unsigned h = 0, m = 0, sec = 0;
  double part = 0;
  if (!Digits(s, at, 1, 2, &h) || !Expect(s, at, ':') || !Digits(s, at, 2, 2, &m)) return false;
  if (*at < s.size() && s[*at] == ':') {
    ++*at;
    if (!Digits(s, at, 2, 2, &sec)) return false;
    if (*at < s.size() && s[*at] == '.') {
      ++*at;
      size_t start = *at;
      double scale = 0.1;
      for (; *at < s.size() && IsDigit(s[*at]); ++*at, scale /= 10) part += (s[*at] - '0') * scale;
      if (*at == start) return false;
    }
  }
  if (h > 23 || m > 59 || sec > 59) return false;
  *seconds = h * 3600.0 + m * 60.0 + sec + (fraction == SecondFraction::kKeep ? part : 0.0);
  return true;
}

}  // namespace

bool ParseDate(std::string_view text, DATE* out, SecondFraction fraction) {
  size_t begin = 0, end = text.size();
  while (begin < end && IsBlank(text[begin])) ++begin;
  while (end > begin && IsBlank(text[end - 1])) --end;
  const std::string_view s = text.substr(begin, end - begin);
  size_t at = 0;
  long long day = 0;  // time alone: day 0, 1899-12-30
  double seconds = 0;
  const bool has_date = s.size() >= 5 && IsDigit(s[0]) && IsDigit(s[1]) && IsDigit(s[2]) &&
                        IsDigit(s[3]) && s[4] == '-';
  if (has_date) {
    unsigned y = 0, mo = 0, d = 0;
    if (!Digits(s, &at, 4, 4, &y) || !Expect(s, &at, '-') || !Digits(s, &at, 2, 2, &mo) ||
        !Expect(s, &at, '-') || !Digits(s, &at, 2, 2, &d))
      return false;
    if (y < 100 || !platform::IsValidDate(y, mo, d)) return false;
    day = platform::DaysFromCivil(y, mo, d) + kDaysFrom1970;
    if (at < s.size()) {
      if (s[at] == 'T' || s[at] == 't') {
        ++at;
      } else if (IsBlank(s[at])) {
        while (at < s.size() && IsBlank(s[at])) ++at;
      } else {
        return false;
      }
      if (!ParseTime(s, &at, fraction, &seconds)) return false;
    }
  } else if (!ParseTime(s, &at, fraction, &seconds)) {
    return false;
  }
  if (at != s.size()) return false;
  *out = Join(day, seconds);
  return true;
}

bool ParsePlainDate(std::string_view text, DATE* out, SYSTEMTIME* fields) {
  SYSTEMTIME split;
  if (!SplitPlainDate(text, &split)) return false;
  const long long day_index =
      platform::DaysFromCivil(split.wYear, split.wMonth, split.wDay) + kDaysFrom1970;
  const long long second = split.wHour * 3600LL + split.wMinute * 60LL + split.wSecond;
  // ParseTime's sum, so that the date is the very double ParseDate makes;
  // whole seconds come back unchanged from splitting it.
  *out = Join(day_index, static_cast<double>(second));
  *fields = FieldsOf(platform::CivilDate{split.wYear, split.wMonth, split.wDay}, day_index, second);
  return true;
}

}  // namespace korvo::com::detail
