// Thread and process identity, the UTC clock and the per-thread last error.
#include <korvo/platform/process.h>

#include <gtest/gtest.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <ctime>
#include <thread>

#include <korvo/platform/clock_internal.h>

#include "support/test_support.h"

namespace {

TEST(Process, IdentityAndLastErrorPerThread) {
  EXPECT_EQ(static_cast<DWORD>(getpid()), GetCurrentProcessId());
  EXPECT_EQ(static_cast<DWORD>(syscall(SYS_gettid)), GetCurrentThreadId());
  SetLastError(1234);
  DWORD otherId = 0, otherError = 99;
  std::thread t([&] {
    otherId = GetCurrentThreadId();
    otherError = GetLastError();
    SetLastError(5);
  });
  t.join();
  EXPECT_NE(GetCurrentThreadId(), otherId);
  EXPECT_EQ(0u, otherError);  // a new thread starts clean
  EXPECT_EQ(1234u, GetLastError());
}

TEST(Process, SystemTimeIsUtcNow) {
  // 2026-01-31 13:05:09.987 UTC, a Saturday, with the process in a zone
  // far from UTC: the fields must be the UTC ones.
  korvo::test::ScopedEnv zone("TZ", "XST-5:45");
  tzset();
  korvo::platform::TEST_FixWallClock(1769864709, 987654321);
  SYSTEMTIME st;
  GetSystemTime(&st);
  EXPECT_EQ(st.wYear, 2026);
  EXPECT_EQ(st.wMonth, 1);
  EXPECT_EQ(st.wDay, 31);
  EXPECT_EQ(st.wDayOfWeek, 6);
  EXPECT_EQ(st.wHour, 13);
  EXPECT_EQ(st.wMinute, 5);
  EXPECT_EQ(st.wSecond, 9);
  EXPECT_EQ(st.wMilliseconds, 987);
  korvo::platform::TEST_UseRealClock();

  // The real clock: a plausible present, not a comparison with another clock.
  GetSystemTime(&st);
  EXPECT_GE(st.wYear, 2024);
  EXPECT_LT(st.wMilliseconds, 1000);
  GetSystemTime(nullptr);  // tolerated
}

}  // namespace
