// The 64-bit time functions: the Windows range 1970..3000 UTC and field
// normalisation.
#include <gtest/gtest.h>
#include <korvo/platform/time64.h>

#include <cerrno>

#include "support/test_support.h"

namespace {

using korvo::test::ScopedEnv;

struct tm Fields(int year, int month, int day, int hour = 0, int minute = 0, int second = 0) {
  struct tm f = {};
  f.tm_year = year - 1900;
  f.tm_mon = month - 1;
  f.tm_mday = day;
  f.tm_hour = hour;
  f.tm_min = minute;
  f.tm_sec = second;
  f.tm_isdst = -1;
  return f;
}

TEST(Time64, UtcRangeEdges) {
  struct tm f = Fields(1970, 1, 1);
  EXPECT_EQ(0, _mkgmtime64(&f));
  f = Fields(1969, 12, 31, 23, 59, 59);
  EXPECT_EQ(-1, _mkgmtime64(&f));
  EXPECT_EQ(69, f.tm_year);  // a failed call leaves the fields alone
  f = Fields(3000, 12, 31, 23, 59, 59);
  EXPECT_EQ(32535215999LL, _mkgmtime64(&f));
  f = Fields(3001, 1, 1);
  EXPECT_EQ(-1, _mkgmtime64(&f));

  __time64_t t = 32535215999LL;
  struct tm* g = _gmtime64(&t);
  ASSERT_NE(nullptr, g);
  EXPECT_EQ(1100, g->tm_year);
  EXPECT_EQ(11, g->tm_mon);
  EXPECT_EQ(31, g->tm_mday);
  EXPECT_EQ(59, g->tm_sec);
  t = 32535216000LL;
  EXPECT_EQ(nullptr, _gmtime64(&t));
  t = -1;
  EXPECT_EQ(nullptr, _gmtime64(&t));
  EXPECT_EQ(nullptr, _localtime64(&t));
  EXPECT_EQ(nullptr, _gmtime64(nullptr));

  struct tm out;
  EXPECT_EQ(EINVAL, _gmtime64_s(&out, &t));
  EXPECT_EQ(-1, out.tm_year);
  EXPECT_EQ(-1, out.tm_mday);
  EXPECT_EQ(EINVAL, _localtime64_s(&out, nullptr));
  EXPECT_EQ(EINVAL, _gmtime64_s(nullptr, &t));
  t = 0;
  EXPECT_EQ(0, _gmtime64_s(&out, &t));
  EXPECT_EQ(70, out.tm_year);
  EXPECT_EQ(4, out.tm_wday);  // a Thursday
}

TEST(Time64, NormalisesFieldsLikeMktime) {
  ScopedEnv tz("TZ", "UTC0");
  struct tm f = Fields(2023, 13, 1);  // month 13: January of the next year
  __time64_t t = _mktime64(&f);
  EXPECT_EQ(1704067200LL, t);  // 2024-01-01 00:00:00 UTC
  EXPECT_EQ(124, f.tm_year);
  EXPECT_EQ(0, f.tm_mon);
  f = Fields(2024, 3, 0);  // day 0: the last day of February (leap year)
  t = _mktime64(&f);
  EXPECT_EQ(1, f.tm_mon);
  EXPECT_EQ(29, f.tm_mday);
  f = Fields(2024, 1, 1, 0, 0, -1);  // one second before midnight
  _mkgmtime64(&f);
  EXPECT_EQ(2023, f.tm_year + 1900);
  EXPECT_EQ(59, f.tm_sec);
  EXPECT_EQ(-1, _mktime64(nullptr));
}

TEST(Time64, LocalTimeFollowsTzAndTheRangeIsUtc) {
  ScopedEnv tz("TZ", "EST5");
  // 1969-12-31 19:00:00 in EST is 1970-01-01 00:00:00 UTC: still in range.
  struct tm f = Fields(1969, 12, 31, 19, 0, 0);
  EXPECT_EQ(0, _mktime64(&f));
  f = Fields(1969, 12, 31, 18, 59, 59);
  EXPECT_EQ(-1, _mktime64(&f));
  __time64_t t = 0;
  struct tm* local = _localtime64(&t);
  ASSERT_NE(nullptr, local);
  EXPECT_EQ(69, local->tm_year);
  EXPECT_EQ(19, local->tm_hour);
  // 3000-12-31 23:59:59 EST is past the UTC end.
  f = Fields(3000, 12, 31, 23, 59, 59);
  EXPECT_EQ(-1, _mktime64(&f));
}

// Every half hour of a year with two offset changes, on both sides of a TZ
// switch: the same time and fields as mktime itself (the skipped and the
// repeated hour included).
TEST(Time64, LocalFieldsConvertExactlyLikeMktime) {
  for (const char* zone : {"CET-1CEST,M3.5.0,M10.5.0/3", "EST5EDT,M3.2.0,M11.1.0"}) {
    ScopedEnv tz("TZ", zone);
    for (int step = 0; step < 366 * 48; ++step) {
      struct tm mine = Fields(2023, 1, 1 + step / 48, (step / 2) % 24, (step % 2) * 30 + 7, 5);
      timegm(&mine);  // the day of the year as a date, no zone involved
      mine.tm_isdst = -1;
      struct tm theirs = mine;
      ASSERT_EQ(mktime(&theirs), _mktime64(&mine)) << zone << " step " << step;
      EXPECT_EQ(theirs.tm_hour, mine.tm_hour) << zone << " step " << step;
      EXPECT_EQ(theirs.tm_isdst, mine.tm_isdst) << zone << " step " << step;
    }
  }
}

}  // namespace
