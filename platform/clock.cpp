// platform/clock.cpp: the wall clock and its test switch.
#include <korvo/platform/thread_annotations.h>

#include <atomic>

#include "clock_internal.h"

namespace korvo::platform {
namespace {

// The real clock costs one relaxed load; only a fixed instant takes the
// lock, so that its two halves are read together.
std::atomic<bool> g_fixed{false};
Mutex g_fixedMutex;
timespec g_fixedAt KORVO_GUARDED_BY(g_fixedMutex) = {};

}  // namespace

timespec WallClockNow() {
  timespec now{};
  if (g_fixed.load(std::memory_order_acquire)) {
    MutexLock lock(g_fixedMutex);
    now = g_fixedAt;
  } else {
    ::clock_gettime(CLOCK_REALTIME, &now);
  }
  return now;
}

void TEST_FixWallClock(time_t seconds, long nanoseconds) {
  {
    MutexLock lock(g_fixedMutex);
    g_fixedAt.tv_sec = seconds;
    g_fixedAt.tv_nsec = nanoseconds;
  }
  g_fixed.store(true, std::memory_order_release);
}

void TEST_UseRealClock() { g_fixed.store(false, std::memory_order_release); }

}  // namespace korvo::platform
