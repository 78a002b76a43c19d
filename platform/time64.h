// platform/time64.h: the C runtime's 64-bit time functions, limited to the
// range Windows accepts: 1970-01-01 00:00:00 UTC .. 3000-12-31 23:59:59 UTC.
// Outside it _mktime64 returns -1 and _localtime64/_gmtime64 return null,
// as on Windows. Local time follows the process's TZ setting.
// Thread-safety: _localtime64/_gmtime64 return a per-thread buffer that the
// next call on the same thread overwrites; the _s forms write the caller's.
#pragma once

#include <korvo/platform/export.h>
#include <korvo/platform/wintypes.h>

#include <ctime>

typedef long long __time64_t;

// Normalises the fields (month 13, day 0, ...) like mktime, as local time.
KORVO_API __time64_t _mktime64(struct tm* fields);
KORVO_API __time64_t _mkgmtime64(struct tm* fields);
KORVO_API struct tm* _localtime64(const __time64_t* t);
KORVO_API struct tm* _gmtime64(const __time64_t* t);
// 0 on success, EINVAL (and *out zero-filled with -1 fields) outside the range.
KORVO_API int _localtime64_s(struct tm* out, const __time64_t* t);
KORVO_API int _gmtime64_s(struct tm* out, const __time64_t* t);
KORVO_API __time64_t _time64(__time64_t* out);
