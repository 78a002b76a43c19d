// Thread and process identity, the UTC clock and the per-thread last error.
#include <korvo/platform/process.h>

#include <gtest/gtest.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <ctime>
#include <thread>

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

time_t RealtimeSeconds() {
  // time() may read a coarser clock that lags a tick behind; compare with
  // the clock GetSystemTime reads.
  timespec now{};
  clock_gettime(CLOCK_REALTIME, &now);
  return now.tv_sec;
}

TEST(Process, SystemTimeIsUtcNow) {
  time_t before = RealtimeSeconds();
  SYSTEMTIME st;
  GetSystemTime(&st);
  time_t after = RealtimeSeconds();
  struct tm fields = {};
  fields.tm_year = st.wYear - 1900;
  fields.tm_mon = st.wMonth - 1;
  fields.tm_mday = st.wDay;
  fields.tm_hour = st.wHour;
  fields.tm_min = st.wMinute;
  fields.tm_sec = st.wSecond;
  time_t seconds = timegm(&fields);
  EXPECT_GE(seconds, before);
  EXPECT_LE(seconds, after);
  EXPECT_EQ(fields.tm_wday, st.wDayOfWeek);  // timegm filled the weekday
  EXPECT_LT(st.wMilliseconds, 1000);
  GetSystemTime(nullptr);  // tolerated
}

}  // namespace
