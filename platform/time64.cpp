// platform/time64.cpp: the 64-bit time functions over the C library's
// 64-bit time_t, clipped to the range Windows accepts.
#include <korvo/platform/time64.h>
#include <korvo/platform/zone_watch_internal.h>

#include <cerrno>
#include <climits>
#include <cstring>

#include "clock_internal.h"

namespace {

using korvo::platform::LocalOffsetAt;
using korvo::platform::ZoneWatch;

static_assert(sizeof(time_t) == 8, "time_t carries the whole range");

// 1970-01-01 00:00:00 .. 3000-12-31 23:59:59 UTC.
constexpr __time64_t kMinTime = 0;
constexpr __time64_t kMaxTime = 32535215999LL;

bool InRange(__time64_t t) { return t >= kMinTime && t <= kMaxTime; }

thread_local struct tm t_fields;

void FillInvalid(struct tm* out) {
  std::memset(out, 0, sizeof *out);
  out->tm_sec = out->tm_min = out->tm_hour = out->tm_mday = out->tm_mon = out->tm_year =
      out->tm_wday = out->tm_yday = out->tm_isdst = -1;
}

// Normalises a copy and writes the fields back only when the result is in
// range, so a failing call leaves the caller's fields as they were.
template <typename Convert>
__time64_t MakeTime(struct tm* fields, Convert convert) {
  if (fields == nullptr) {
    errno = EINVAL;
    return -1;
  }
  struct tm copy = *fields;
  time_t t = convert(&copy);
  if (!InRange(t)) {
    errno = EINVAL;
    return -1;
  }
  *fields = copy;
  return t;
}

bool SameClock(const struct tm& a, const struct tm& b) {
  return a.tm_year == b.tm_year && a.tm_mon == b.tm_mon && a.tm_mday == b.tm_mday &&
         a.tm_hour == b.tm_hour && a.tm_min == b.tm_min && a.tm_sec == b.tm_sec;
}

// mktime re-reads the zone (a stat of /etc/localtime) on every call, which
// dominates reading a date column row by row. localtime_r does not, so a
// time whose fields are already in range is found from timegm and the
// local offset, after following TZ as mktime does (ZoneWatch). The
// answer is taken only where it is the one mktime must give: the fields
// convert back unchanged and the offset is the same a day either side (no
// change of offset makes the time ambiguous or missing); anything else
// goes to mktime itself.
thread_local ZoneWatch t_zone;

time_t FastMakeTime(struct tm* fields) {
  const struct tm& f = *fields;
  if (f.tm_isdst != -1 || f.tm_sec < 0 || f.tm_sec > 59 || f.tm_min < 0 || f.tm_min > 59 ||
      f.tm_hour < 0 || f.tm_hour > 23 || f.tm_mday < 1 || f.tm_mday > 31 || f.tm_mon < 0 ||
      f.tm_mon > 11) {
    return ::mktime(fields);
  }
  t_zone.Changed();
  struct tm utc = f;
  const time_t clock = ::timegm(&utc);
  long first = 0, offset = 0, before = 0, after = 0;
  if (clock == -1 || !LocalOffsetAt(clock, &first) || !LocalOffsetAt(clock - first, &offset)) {
    return ::mktime(fields);
  }
  const time_t t = clock - offset;
  struct tm back;
  if (::localtime_r(&t, &back) == nullptr || !SameClock(back, f) ||
      !LocalOffsetAt(t - 86400, &before) || !LocalOffsetAt(t + 86400, &after) || before != offset ||
      after != offset) {
    return ::mktime(fields);
  }
  *fields = back;
  return t;
}

}  // namespace

__time64_t _mktime64(struct tm* fields) { return MakeTime(fields, FastMakeTime); }

__time64_t _mkgmtime64(struct tm* fields) { return MakeTime(fields, ::timegm); }

int _localtime64_s(struct tm* out, const __time64_t* t) {
  if (out == nullptr) return EINVAL;
  if (t == nullptr || !InRange(*t)) {
    FillInvalid(out);
    return EINVAL;
  }
  time_t value = *t;
  // localtime_r alone does not notice a TZ change made after the first use.
  ::tzset();
  if (::localtime_r(&value, out) == nullptr) {
    FillInvalid(out);
    return EINVAL;
  }
  return 0;
}

int _gmtime64_s(struct tm* out, const __time64_t* t) {
  if (out == nullptr) return EINVAL;
  if (t == nullptr || !InRange(*t)) {
    FillInvalid(out);
    return EINVAL;
  }
  time_t value = *t;
  ::gmtime_r(&value, out);
  return 0;
}

struct tm* _localtime64(const __time64_t* t) {
  if (_localtime64_s(&t_fields, t) != 0) {
    errno = EINVAL;
    return nullptr;
  }
  return &t_fields;
}

struct tm* _gmtime64(const __time64_t* t) {
  if (_gmtime64_s(&t_fields, t) != 0) {
    errno = EINVAL;
    return nullptr;
  }
  return &t_fields;
}

__time64_t _time64(__time64_t* out) {
  // The same clock as GetSystemTime, not time()'s coarser one.
  __time64_t now = korvo::platform::WallClockNow().tv_sec;
  if (out != nullptr) *out = now;
  return now;
}
