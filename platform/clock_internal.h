// platform/clock_internal.h: the one wall clock behind the library's
// time-of-day services (GetSystemTime, _time64, and through them the trace
// headers and CTTime::GetTickCount).
//
// Reading a single source keeps those services from disagreeing about the
// current second (time() may read a coarser clock than clock_gettime). A
// test can fix the clock at a known instant and so check the exact fields
// a service derives, instead of comparing two clocks. Not installed.
// Thread-safety: reads and the test switch are atomic; a fixed instant is
// set and read as one value.
#pragma once

#include <ctime>

namespace korvo::platform {

// The current UTC time (CLOCK_REALTIME), or the fixed instant while a test
// has one set.
timespec WallClockNow();

// Tests: WallClockNow returns `seconds` (since 1970-01-01 UTC) and
// `nanoseconds` until TEST_UseRealClock is called.
void TEST_FixWallClock(time_t seconds, long nanoseconds = 0);
void TEST_UseRealClock();

}  // namespace korvo::platform
