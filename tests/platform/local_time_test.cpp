// Tests of LocalTimeToTime64: the same time as mktime for every local time
// it is given, around changes of offset and after a change of TZ.
#include <gtest/gtest.h>
#include <korvo/platform/local_time_internal.h>

#include <cstdio>
#include <ctime>
#include <random>

#include "support/test_support.h"

namespace korvo::test {
namespace {

time_t ByMktime(int year, int month, int day, int hour, int minute, int second) {
  struct tm f {};
  f.tm_year = year - 1900;
  f.tm_mon = month - 1;
  f.tm_mday = day;
  f.tm_hour = hour;
  f.tm_min = minute;
  f.tm_sec = second;
  f.tm_isdst = -1;
  const time_t t = mktime(&f);
  return t < 0 || t > 32535215999LL ? -1 : t;
}

// Every 20 minutes of two years (the skipped and repeated hours included)
// and random fields, day 31 of short months and years outside the range
// among them, in zones with northern, southern and half-hour changes; the
// zones follow one another in one thread, so each starts after a TZ change.
TEST(LocalTime, GivesWhatMktimeGivesInEveryZone) {
  const unsigned seed = std::random_device{}();
  std::printf("seed %u\n", seed);
  std::mt19937 random(seed);
  for (const char* zone : {"CET-1CEST,M3.5.0,M10.5.0/3", "EST5EDT,M3.2.0,M11.1.0",
                           "LHST-10:30LHDT-11,M10.1.0,M4.1.0", "UTC0"}) {
    ScopedEnv tz("TZ", zone);
    for (int year : {2023, 1970 + static_cast<int>(random() % 1030)}) {
      for (int step = 0; step < 366 * 72; ++step) {
        struct tm day {};
        day.tm_year = year - 1900;
        day.tm_mday = 1 + step / 72;
        timegm(&day);  // the day of the year as a month and a day
        const int hour = (step % 72) / 3, minute = (step % 3) * 20 + 7;
        ASSERT_EQ(
            ByMktime(year, day.tm_mon + 1, day.tm_mday, hour, minute, 5),
            korvo::platform::LocalTimeToTime64(year, day.tm_mon + 1, day.tm_mday, hour, minute, 5))
            << zone << " " << year << " step " << step << " seed " << seed;
      }
    }
    for (int i = 0; i < 20000; ++i) {
      const int year = 1960 + static_cast<int>(random() % 1060);
      const int month = 1 + static_cast<int>(random() % 12),
                day = 1 + static_cast<int>(random() % 31);
      const int hour = static_cast<int>(random() % 24), minute = static_cast<int>(random() % 60);
      const int second = static_cast<int>(random() % 60);
      ASSERT_EQ(ByMktime(year, month, day, hour, minute, second),
                korvo::platform::LocalTimeToTime64(year, month, day, hour, minute, second))
          << zone << " " << year << "-" << month << "-" << day << " " << hour << ":" << minute
          << ":" << second << " seed " << seed;
    }
  }
}

}  // namespace
}  // namespace korvo::test
