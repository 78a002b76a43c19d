// platform/local_time_internal.h: local date and time fields to a 64-bit
// time, as _mktime64 converts them, for code that converts many of them
// (a date column read row by row). Not installed.
// Thread-safety: any thread; what it learns of the zone is per thread.
#pragma once

#include <korvo/platform/time64.h>

namespace korvo::platform {

// What _mktime64 returns for these local fields (month 1..12) with
// tm_isdst -1: the time, or -1 outside its range. Most calls take no
// mktime: the zone's offset is sampled once a day over blocks of about 24
// days, and a time at least two days away from any change of offset is
// the UTC reading of its fields less that offset, which is the time
// mktime finds. Everything else is handed to _mktime64 itself. A zone that
// changes its offset and changes it back within one day would be missed,
// as _mktime64's own shortcut misses it; no zone of the time-zone database
// does that. Like _mktime64, it notices a change of TZ, not a change of
// the file a TZ-less process reads.
__time64_t LocalTimeToTime64(int year, int month, int day, int hour, int minute, int second);

}  // namespace korvo::platform
