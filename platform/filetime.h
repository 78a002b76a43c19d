// platform/filetime.h: the Windows FILETIME conversions (FileTimeToSystemTime,
// SystemTimeToFileTime, FileTimeToLocalFileTime).
//
// A FILETIME counts 100-nanosecond intervals since 1601-01-01 00:00:00 UTC
// (or local time, for a "local file time"). Values with the top bit set are
// rejected as on Windows; SYSTEMTIME years run from 1601 to 30827.
// FileTimeToLocalFileTime adds the UTC offset that the process's TZ gives
// for that instant (glibc knows each zone's history), so a local file time
// converts back to the same calendar fields that localtime would give.
// Failures return FALSE and set the last error (ERROR_INVALID_PARAMETER).
// Thread-safety: every function may be called from any thread.
#pragma once

#include <korvo/platform/export.h>
#include <korvo/platform/wintypes.h>

KORVO_API BOOL FileTimeToSystemTime(const FILETIME* fileTime, SYSTEMTIME* systemTime);
// Milliseconds are carried; the day of week is ignored. Fields out of range
// (month 13, day 31 in April, hour 24, ...) fail.
KORVO_API BOOL SystemTimeToFileTime(const SYSTEMTIME* systemTime, FILETIME* fileTime);
KORVO_API BOOL FileTimeToLocalFileTime(const FILETIME* fileTime, FILETIME* localFileTime);
