// tests/support/clock.h: fixing what the time services read: the
// library's wall clock and the process's time zone, each for one scope.
#pragma once

#include <korvo/platform/clock_internal.h>

#include <ctime>

#include "support/test_support.h"

namespace korvo::test {

// The library's wall clock reads `seconds` (since 1970-01-01 UTC) and
// `nanoseconds` while the object lives, the real clock again afterwards.
class FixedWallClock {
 public:
  explicit FixedWallClock(time_t seconds, long nanoseconds = 0) {
    korvo::platform::TEST_FixWallClock(seconds, nanoseconds);
  }
  ~FixedWallClock() { korvo::platform::TEST_UseRealClock(); }
  FixedWallClock(const FixedWallClock&) = delete;
  FixedWallClock& operator=(const FixedWallClock&) = delete;
};

// The process's time zone is `tz` (a TZ value) while the object lives; the
// C library re-reads TZ at both ends.
class ScopedTimeZone {
 public:
  explicit ScopedTimeZone(const char* tz) : env_("TZ", tz) { tzset(); }
  ScopedTimeZone(const ScopedTimeZone&) = delete;
  ScopedTimeZone& operator=(const ScopedTimeZone&) = delete;

 private:
  struct Restore {
    ~Restore() { tzset(); }
  };
  Restore restore_;  // destroyed after env_, so tzset sees the old TZ
  ScopedEnv env_;
};

}  // namespace korvo::test
