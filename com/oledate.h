// com/oledate.h: the OLE Automation date and its calendar fields.
//
// A DATE is a double counting days from 1899-12-30 00:00:00; its fraction
// is the time of day. For negative values the fraction's absolute value is
// the time of day on the day the integer part names: -1.25 is
// 1899-12-29 06:00:00. Valid dates are 0100-01-01 00:00:00 (-657434.0) to
// 9999-12-31 23:59:59 (2958465.99998843). The calendar is the proleptic
// Gregorian one. Milliseconds are not carried: splitting rounds to the
// nearest second and leaves wMilliseconds 0; building ignores them.
// Thread-safety: pure functions.
#pragma once

#include <korvo/com/vartype.h>
#include <korvo/platform/export.h>
#include <korvo/platform/wintypes.h>

// Splits a date into its fields (wDayOfWeek 0 = Sunday). FALSE, with *out
// untouched, for a value outside the valid range, NaN or a null out.
KORVO_API INT VariantTimeToSystemTime(DOUBLE date, LPSYSTEMTIME out);
// Builds a date from wYear (100..9999), wMonth, wDay, wHour, wMinute and
// wSecond, each within its calendar range; wDayOfWeek and wMilliseconds
// are ignored. FALSE, with *out untouched, for any field out of range.
KORVO_API INT SystemTimeToVariantTime(LPSYSTEMTIME time, DOUBLE* out);
