// platform/time64.cpp: the 64-bit time functions over the C library's
// 64-bit time_t, clipped to the range Windows accepts.
#include <korvo/platform/time64.h>

#include <cerrno>
#include <cstring>

#include "clock_internal.h"

namespace {

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

}  // namespace

__time64_t _mktime64(struct tm* fields) { return MakeTime(fields, ::mktime); }

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
