// tests/platform/filetime_test.cpp: FILETIME calendar arithmetic and the
// local offset.
#include <gtest/gtest.h>
#include <korvo/platform/filetime.h>
#include <korvo/platform/process.h>

#include <vector>

#include "support/clock.h"

namespace {

FILETIME Ft(ULONGLONG ticks) {
  return FILETIME{static_cast<DWORD>(ticks), static_cast<DWORD>(ticks >> 32)};
}
ULONGLONG Ticks(const FILETIME& ft) {
  return (static_cast<ULONGLONG>(ft.dwHighDateTime) << 32) | ft.dwLowDateTime;
}
constexpr ULONGLONG kUnixEpoch = 116444736000000000ULL;

std::vector<WORD> Fields(const SYSTEMTIME& st) {
  return {st.wYear, st.wMonth,  st.wDayOfWeek, st.wDay,
          st.wHour, st.wMinute, st.wSecond,    st.wMilliseconds};
}

TEST(FileTimeTest, CalendarFieldsBothWays) {
  SYSTEMTIME st;
  FILETIME zero = Ft(0);
  ASSERT_TRUE(FileTimeToSystemTime(&zero, &st));
  EXPECT_EQ(Fields(st), (std::vector<WORD>{1601, 1, 1, 1, 0, 0, 0, 0}));  // a Monday

  FILETIME epoch = Ft(kUnixEpoch);
  ASSERT_TRUE(FileTimeToSystemTime(&epoch, &st));
  EXPECT_EQ(Fields(st), (std::vector<WORD>{1970, 1, 4, 1, 0, 0, 0, 0}));  // a Thursday

  // 2024-02-29 23:59:58.765 UTC.
  const ULONGLONG leap = kUnixEpoch + 1709251198ULL * 10000000ULL + 7654321ULL;
  FILETIME ft = Ft(leap);
  ASSERT_TRUE(FileTimeToSystemTime(&ft, &st));
  EXPECT_EQ(Fields(st), (std::vector<WORD>{2024, 2, 4, 29, 23, 59, 58, 765}));
  FILETIME back;
  ASSERT_TRUE(SystemTimeToFileTime(&st, &back));
  EXPECT_EQ(Ticks(back), leap - 4321);  // below a millisecond is not carried

  SYSTEMTIME bad = st;
  bad.wYear = 2023;  // no 29 February
  EXPECT_FALSE(SystemTimeToFileTime(&bad, &back));
  EXPECT_EQ(GetLastError(), 87u);
  bad = st;
  bad.wMonth = 13;
  EXPECT_FALSE(SystemTimeToFileTime(&bad, &back));
  bad = st;
  bad.wYear = 1600;
  EXPECT_FALSE(SystemTimeToFileTime(&bad, &back));
  FILETIME top = Ft(1ULL << 63);
  EXPECT_FALSE(FileTimeToSystemTime(&top, &st));
  EXPECT_FALSE(FileTimeToSystemTime(nullptr, &st));
}

TEST(FileTimeTest, LocalFileTimeUsesTheOffsetOfThatInstant) {
  korvo::test::ScopedTimeZone cet("CET-1CEST,M3.5.0,M10.5.0/3");
  FILETIME winter = Ft(kUnixEpoch + 1769864709ULL * 10000000ULL), local;
  ASSERT_TRUE(FileTimeToLocalFileTime(&winter, &local));
  EXPECT_EQ(Ticks(local) - Ticks(winter), 3600ULL * 10000000ULL);
  FILETIME summer = Ft(kUnixEpoch + 1782865800ULL * 10000000ULL);
  ASSERT_TRUE(FileTimeToLocalFileTime(&summer, &local));
  EXPECT_EQ(Ticks(local) - Ticks(summer), 7200ULL * 10000000ULL);
  FILETIME top = Ft(1ULL << 63);
  EXPECT_FALSE(FileTimeToLocalFileTime(&top, &local));
}

}  // namespace
