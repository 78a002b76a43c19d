// tests/types/CTTime_test.cpp: CTTime conversions, getters and renderings.
// Every case fixes TZ itself; CTest runs each case in its own process.
#include <gtest/gtest.h>
#include <korvo/platform/filetime.h>
#include <korvo/types/CTTime.h>

#include <cstring>
#include <ctime>
#include <string>
#include <vector>

#include "support/clock.h"

namespace {

// Central European time without tzdata: +1, +2 from the last Sunday of
// March 02:00 to the last Sunday of October 03:00.
constexpr const char* kCet = "CET-1CEST,M3.5.0,M10.5.0/3";

using TimeZone = korvo::test::ScopedTimeZone;

// 2026-01-31 13:05:09 UTC.
constexpr __int64 kJan31 = 1769864709;
// 3000-12-31 23:59:59 UTC, the last convertible second.
constexpr __int64 kLastSecond = 32535215999;

// Year, month, day, hour, minute, second as the local getters read them.
std::vector<int> LocalFields(const CTTime& t) {
  return {t.GetYear(), t.GetMonth(), t.GetDay(), t.GetHour(), t.GetMinute(), t.GetSecond()};
}

TEST(CTTimeTest, FieldConstructorNormalisesThroughTheRuntime) {
  TimeZone tz("UTC0");
  EXPECT_EQ(CTTime(2026, 1, 31, 13, 5, 9, -1).GetTime(), kJan31);
  const CTTime feb30(2026, 2, 30, 0, 0, 0, -1);
  EXPECT_EQ(feb30.GetTime(), CTTime(2026, 3, 2, 0, 0, 0, -1).GetTime());
  EXPECT_EQ(feb30.GetMonth(), 3);
  EXPECT_EQ(feb30.GetDay(), 2);
  // Month 13 is January of the next year, day 0 the last of the month before.
  EXPECT_EQ(CTTime(2025, 13, 1, 0, 0, 0).GetTime(), CTTime(2026, 1, 1, 0, 0, 0).GetTime());
  EXPECT_EQ(CTTime(2026, 3, 0, 0, 0, 0).GetDay(), 28);
  EXPECT_EQ(CTTime(2026, 1, 1, 25, 0, 0).GetTime(), CTTime(2026, 1, 2, 1, 0, 0).GetTime());
}

TEST(CTTimeTest, ConversionRangeEdges) {
  TimeZone tz("UTC0");
  EXPECT_EQ(CTTime(1970, 1, 1, 0, 0, 0).GetTime(), 0);
  EXPECT_EQ(CTTime(1970, 1, 1, 0, 0, 1).GetTime(), 1);
  EXPECT_EQ(CTTime(1899, 12, 31, 0, 0, 0, -1).GetTime(), 0);
  EXPECT_EQ(CTTime(1969, 12, 31, 23, 59, 59).GetTime(), 0);
  EXPECT_EQ(CTTime(3000, 12, 31, 23, 59, 59).GetTime(), kLastSecond);
  EXPECT_EQ(CTTime(3001, 1, 1, 0, 0, 0).GetTime(), 0);

  const CTTime last(kLastSecond);
  EXPECT_EQ(last.GetGMTYear(), 3000);
  EXPECT_EQ(last.GetGMTSecond(), 59);
  // One second further nothing converts: getters give 0, conversions fail
  // without touching the caller's structures.
  const CTTime beyond(kLastSecond + 1);
  EXPECT_EQ(beyond.GetGMTYear(), 0);
  EXPECT_EQ(beyond.GetMonth(), 0);
  struct tm fields;
  std::memset(&fields, 0x5A, sizeof fields);
  EXPECT_EQ(beyond.GetGmtTm(&fields), nullptr);
  EXPECT_EQ(beyond.GetLocalTm(nullptr), nullptr);
  EXPECT_EQ(fields.tm_year, 0x5A5A5A5A);
  SYSTEMTIME st;
  std::memset(&st, 0x5A, sizeof st);
  EXPECT_EQ(beyond.GetAsSystemTime(st), 0);
  EXPECT_EQ(st.wYear, 0x5A5A);
  EXPECT_EQ(CTTime(-1).GetGMTYear(), 0);
  char buffer[32] = "unchanged";
  EXPECT_STREQ(beyond.GetExtendedSQLTimestamp(buffer), "");
}

TEST(CTTimeTest, MsDosWords) {
  TimeZone tz(kCet);
  const CTTime t(static_cast<unsigned short>(0x5C3F), static_cast<unsigned short>(0x68A4), -1);
  EXPECT_EQ(t.GetTime(), CTTime(2026, 1, 31, 13, 5, 8).GetTime());
  EXPECT_EQ(LocalFields(t), (std::vector<int>{2026, 1, 31, 13, 5, 8}));
  // Local time: 13:05:08 in Central Europe in winter is 12:05:08 UTC.
  EXPECT_EQ(t.GetGMTHour(), 12);
}

TEST(CTTimeTest, RenderingsIntoCallerBuffers) {
  TimeZone tz("UTC0");
  const CTTime t(kJan31);
  char buffer[40];
  EXPECT_EQ(t.GetSQL(buffer), buffer);
  EXPECT_STREQ(buffer, "'20260131'");
  EXPECT_STREQ(t.GetExtendedSQLDate(buffer), "{d '2026-01-31'}");
  EXPECT_STREQ(t.GetExtendedSQLTime(buffer), "{t '13:05:09'}");
  EXPECT_STREQ(t.GetExtendedSQLTimestamp(buffer), "{Ts '2026-01-31 13:05:09'}");
  EXPECT_STREQ(t.GetExtendedSQLTimestampWithZeroTime(buffer), "{Ts '2026-01-31 00:00:00'}");
  EXPECT_STREQ(t.GetExtendedISOTimestamp(buffer), "2026-01-31T13:05:09");
  // Each result fits exactly the documented size, terminator included.
  char exact[11];
  EXPECT_STREQ(t.GetSQL(exact), "'20260131'");
  char exactTs[27];
  EXPECT_STREQ(t.GetExtendedSQLTimestamp(exactTs), "{Ts '2026-01-31 13:05:09'}");
}

TEST(CTTimeTest, LocalAndUtcGettersAndRenderingsUnderFixedZone) {
  TimeZone tz(kCet);
  CTTime winter(kJan31);
  EXPECT_EQ(winter.GetHour(), 14);
  EXPECT_EQ(winter.GetGMTHour(), 13);
  EXPECT_STREQ(winter.GetGMTIso(), "2026-01-31T13:05:09Z");
  EXPECT_STREQ(winter.GetNormalIso(), "2026-01-31T14:05:09");
  EXPECT_STREQ(winter.GetNormal(), "31/01/2026 14:05:09");
  EXPECT_STREQ(winter.GetGMTNormal(), "31/01/2026 13:05:09");

  // 2026-07-01 00:30:00 UTC is 02:30 local in summer time, still 1 July;
  // 2026-06-30 23:30 UTC is already 1 July locally.
  const CTTime summer(1782865800);
  EXPECT_EQ(summer.GetHour(), 2);
  EXPECT_EQ(summer.GetGMTHour(), 0);
  // Local, then UTC: day, month, day of the year, day of the week
  // (Wednesday locally, still Tuesday in UTC).
  const CTTime lateJune(1782862200);
  EXPECT_EQ((std::vector<int>{lateJune.GetDay(), lateJune.GetMonth(), lateJune.GetQuantieme(),
                              lateJune.GetDayOfWeek(), lateJune.GetGMTDay(), lateJune.GetGMTMonth(),
                              lateJune.GetGMTQuantieme(), lateJune.GetGMTDayOfWeek()}),
            (std::vector<int>{1, 7, 182, 4, 30, 6, 181, 3}));

  // The DST flag is handed to the runtime: the same summer fields read as
  // standard time are one hour later than read as summer time.
  const CTTime asSummer(2026, 7, 1, 12, 0, 0, 1);
  const CTTime asStandard(2026, 7, 1, 12, 0, 0, 0);
  EXPECT_EQ(asStandard.GetTime() - asSummer.GetTime(), 3600);
  EXPECT_EQ(CTTime(2026, 7, 1, 12, 0, 0, -1).GetTime(), asSummer.GetTime());
}

TEST(CTTimeTest, EpochFieldsAndNormalTimePadding) {
  TimeZone tz("UTC0");
  const CTTime epoch(static_cast<__int64>(0));
  EXPECT_EQ(epoch.GetDayOfWeek(), 5);
  EXPECT_EQ(epoch.GetGMTDayOfWeek(), 5);
  EXPECT_EQ(epoch.GetQuantieme(), 1);
  EXPECT_EQ(epoch.GetYear(), 1970);
  EXPECT_EQ(CTTime(2024, 12, 31, 0, 0, 0).GetQuantieme(), 366);
  // Day and month are zero-padded, the time left out.
  EXPECT_STREQ(CTTime(2026, 3, 5, 23, 59, 59).GetNormalTime(), "05/03/2026");
  EXPECT_STREQ(CTTime(2026, 11, 15, 0, 0, 0).GetNormalTime(), "15/11/2026");
  EXPECT_STREQ(CTTime(2026, 12, 9, 0, 0, 0).GetNormalTime(), "09/12/2026");
}

TEST(CTTimeTest, NullTimeAndBlankRenderings) {
  TimeZone tz("UTC0");
  CTTime unset;
  EXPECT_EQ(unset.GetTime(), 0);
  EXPECT_EQ(unset.IsNull(), 1);
  EXPECT_EQ(CTTime(static_cast<__int64>(1)).IsNull(), 0);
  EXPECT_EQ(CTTime(1899, 1, 1, 0, 0, 0).IsNull(), 1);  // failed conversion
  EXPECT_STREQ(unset.GetGMTIso(), "    -  -  T  :  :  Z");
  EXPECT_STREQ(unset.GetNormalIso(), "    -  -  T  :  :  ");
  EXPECT_STREQ(unset.GetNormal(), "  /  /    ");
  EXPECT_STREQ(unset.GetGMTNormal(), "  /  /    ");
  EXPECT_STREQ(unset.GetNormalTime(), "  /  /    ");
  // The getters still see 1970-01-01 00:00:00 UTC.
  EXPECT_EQ(unset.GetYear(), 1970);
  char buffer[16];
  EXPECT_STREQ(unset.GetSQL(buffer), "'19700101'");
  // A value with no calendar fields renders blank as well.
  CTTime beyond(kLastSecond + 1);
  EXPECT_STREQ(beyond.GetNormal(), "  /  /    ");
  EXPECT_STREQ(beyond.GetGMTIso(), "    -  -  T  :  :  Z");
}

TEST(CTTimeTest, TextConstructorReadsFixedPositions) {
  TimeZone tz(kCet);
  CTTime source(kJan31);
  const std::string text = source.GetNormal();
  EXPECT_EQ(CTTime(text.c_str()).GetTime(), kJan31);
  // Separators are not checked; only the positions count.
  EXPECT_EQ(CTTime("31-01-2026T14:05:09").GetTime(), kJan31);
  // A date alone reads the missing time groups as 0.
  EXPECT_EQ(CTTime("31/01/2026").GetTime(), CTTime(2026, 1, 31, 0, 0, 0).GetTime());
  EXPECT_EQ(CTTime(static_cast<const char*>(nullptr)).GetTime(), 0);
  EXPECT_EQ(CTTime("garbage text here!!").GetTime(), 0);  // all groups 0: year 0
  // Out-of-range fields are normalised like the field constructor.
  EXPECT_EQ(CTTime("30/02/2026 00:00:00").GetTime(), CTTime(2026, 3, 2, 0, 0, 0).GetTime());
}

TEST(CTTimeTest, SystemTimeAndFileTime) {
  TimeZone tz(kCet);
  // The day of the week (3) is ignored, the milliseconds (999) dropped.
  SYSTEMTIME st = {2026, 1, 3, 31, 14, 5, 9, 999};
  EXPECT_EQ(CTTime(st, -1).GetTime(), kJan31);

  CTTime assigned(static_cast<__int64>(5));
  assigned = st;
  EXPECT_EQ(assigned.GetTime(), kJan31);
  st.wYear = 1899;
  EXPECT_EQ(CTTime(st, -1).GetTime(), 0);
  assigned = st;
  EXPECT_EQ(assigned.GetTime(), 0);

  SYSTEMTIME back;
  ASSERT_EQ(CTTime(kJan31).GetAsSystemTime(back), 1);
  // Saturday (0 = Sunday), and no milliseconds.
  EXPECT_EQ((std::vector<WORD>{back.wYear, back.wMonth, back.wDayOfWeek, back.wDay, back.wHour,
                               back.wMinute, back.wSecond, back.wMilliseconds}),
            (std::vector<WORD>{2026, 1, 6, 31, 14, 5, 9, 0}));

  // A UTC file time comes back as the same instant, winter and summer.
  auto fileTime = [](ULONGLONG ticks) {
    return FILETIME{static_cast<DWORD>(ticks), static_cast<DWORD>(ticks >> 32)};
  };
  const ULONGLONG winter = (static_cast<ULONGLONG>(kJan31) + 11644473600ULL) * 10000000ULL + 1234;
  EXPECT_EQ(CTTime(fileTime(winter), -1).GetTime(), kJan31);
  const ULONGLONG summer = (1782865800ULL + 11644473600ULL) * 10000000ULL;
  EXPECT_EQ(CTTime(fileTime(summer), -1).GetTime(), 1782865800);
  // Year 1601 is below 1900; a file time with the top bit set does not
  // convert.
  EXPECT_EQ(CTTime(FILETIME{0, 0}, -1).GetTime(), 0);
  EXPECT_EQ(CTTime(FILETIME{0, 0x80000000u}, -1).GetTime(), 0);
}

TEST(CTTimeTest, TmAccessors) {
  TimeZone tz(kCet);
  const CTTime t(kJan31);
  struct tm mine = {};
  EXPECT_EQ(t.GetLocalTm(&mine), &mine);
  EXPECT_EQ(mine.tm_hour, 14);
  EXPECT_EQ(t.GetGmtTm(&mine), &mine);
  EXPECT_EQ(mine.tm_hour, 13);
  struct tm* runtime = t.GetLocalTm(nullptr);
  ASSERT_NE(runtime, nullptr);
  EXPECT_NE(runtime, &mine);
  EXPECT_EQ(runtime->tm_hour, 14);
  runtime = t.GetGmtTm();
  ASSERT_NE(runtime, nullptr);
  EXPECT_EQ(runtime->tm_hour, 13);
}

TEST(CTTimeTest, ArithmeticComparisonAndCopies) {
  TimeZone tz("UTC0");
  CTTime t(kJan31);
  t.IncTime(1, 0, 0, 0);
  EXPECT_EQ(t.GetTime(), kJan31 + 86400);
  t.DecTime(1, 0, 0, 0);
  EXPECT_EQ(t.GetTime(), kJan31);
  t.IncTime(0, 1, 2, 3);
  EXPECT_EQ(t.GetTime(), kJan31 + 3723);
  t.DecTime(24855, 0, 0, 0);  // the largest whole-day span that fits
  EXPECT_EQ(t.GetTime(), kJan31 + 3723 - 24855LL * 86400);
  t.IncTime(-1, 0, 0, 0);  // negative spans subtract
  EXPECT_EQ(t.GetTime(), kJan31 + 3723 - 24856LL * 86400);

  const CTTime a(static_cast<__int64>(100)), b(static_cast<__int64>(200));
  EXPECT_EQ(a < b, 1);
  EXPECT_EQ(a > b, 0);
  EXPECT_EQ(a <= a, 1);
  EXPECT_EQ(b >= a, 1);
  EXPECT_EQ(a != b, 1);
  EXPECT_EQ(a == b, 0);

  // The text buffer is not part of the value: a copy starts empty, an
  // assignment keeps the target's text, and texts do not affect equality.
  CTTime rendered(kJan31);
  const char* text = rendered.GetNormal();
  const CTTime copy(rendered);
  EXPECT_EQ(copy == rendered, 1);
  CTTime other(kJan31);
  EXPECT_EQ(other == rendered, 1);
  rendered = b;
  EXPECT_STREQ(text, "31/01/2026 13:05:09");
  EXPECT_EQ(rendered.GetTime(), 200);
  rendered = static_cast<__int64>(7);
  EXPECT_EQ(rendered.GetTime(), 7);

  // The current time comes from the library's wall clock.
  korvo::test::FixedWallClock clock(1769864709);
  EXPECT_EQ(CTTime::GetTickCount().GetTime(), 1769864709);
}

}  // namespace
