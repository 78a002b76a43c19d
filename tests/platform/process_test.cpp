// Thread and process identity, the UTC clock and the per-thread last error.
#include <gtest/gtest.h>
#include <korvo/platform/process.h>
#include <korvo/platform/time64.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <thread>
#include <vector>

#include "support/clock.h"

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

TEST(Process, SystemTimeAndTime64ReadOneWallClockInUtc) {
  {
    // 2026-01-31 13:05:09.987 UTC, a Saturday, with the process in a zone
    // far from UTC: the fields must be the UTC ones.
    korvo::test::ScopedTimeZone zone("XST-5:45");
    korvo::test::FixedWallClock clock(1769864709, 987654321);
    SYSTEMTIME st;
    GetSystemTime(&st);
    const std::vector<WORD> fields = {st.wYear, st.wMonth,  st.wDayOfWeek, st.wDay,
                                      st.wHour, st.wMinute, st.wSecond,    st.wMilliseconds};
    EXPECT_EQ(fields, (std::vector<WORD>{2026, 1, 6, 31, 13, 5, 9, 987}));
    // _time64 reads the same clock, so the two never disagree about the
    // current second, up to the last convertible one.
    korvo::test::FixedWallClock last(32535215999LL, 999999999);
    __time64_t out = 0;
    EXPECT_EQ(_time64(&out), 32535215999LL);
    EXPECT_EQ(out, 32535215999LL);
    GetSystemTime(&st);
    EXPECT_EQ(st.wYear, 3000);
    EXPECT_EQ(st.wSecond, 59);
  }
  // The real clock: a plausible present, not a comparison with another clock.
  SYSTEMTIME st;
  GetSystemTime(&st);
  EXPECT_GE(st.wYear, 2024);
  EXPECT_LT(st.wMilliseconds, 1000);
  EXPECT_GT(_time64(nullptr), 1704067200) << "the real clock is before 2024";
  GetSystemTime(nullptr);  // tolerated
}

}  // namespace
