// platform/format.h: the one printf-style formatting engine, for narrow
// and wide (UTF-16) formats.
//
// Conversions d i u x X o c C s S f F e E g G a A p %, flags - + space # 0,
// width and precision (also `*`: a negative width left-justifies, a negative
// precision counts as none), length modifiers h hh l ll I64 I32 I (size_t)
// z j t, and L (long double) for the floating conversions.
// In a narrow format %s/%c take narrow (char) arguments and %S/%C wide
// (WCHAR, passed as int) ones; in a wide format it is the reverse: %s/%c
// take WCHAR text, %S/%C narrow. In either kind %ls/%lc are WCHAR and
// %hs/%hc char. Narrow text placed into wide output (and the reverse) is
// converted through the ANSI code page; precision counts the argument's own
// units, width the output's. A null string argument prints "(null)" (nothing
// when the precision is below 6, as the C library does). Numbers and %p
// follow the C library exactly (same digits, rounding, inf/nan spelling,
// "0x..." and "(nil)").
//
// Counting mode: `out` null or `capacity` 0 writes nothing. Otherwise at
// most capacity - 1 characters plus a terminator are written. Either way the
// result is the number of characters the whole output needs (terminator
// excluded), like snprintf. A malformed format gives a negative result and
// leaves the empty text in `out` (capacity permitting): an unknown
// conversion (%n included: nothing is ever written through an argument), a
// dangling or incomplete conversion, a length modifier that does not apply to its
// conversion (%Ld, %lls, %hf, %lp), a width or precision above INT_MAX. An
// output longer than INT_MAX characters fails the same way. Arguments are
// read in order and only as far as the format has named them. FormatV
// reads from a copy of `args`, so the caller may pass the same va_list again
// (counting, then writing).
// Thread-safety: reentrant.
#pragma once

#include <korvo/platform/export.h>
#include <korvo/platform/wintypes.h>

#include <cstdarg>

namespace korvo::platform {

KORVO_API int FormatV(char* out, size_t capacity, const char* format, va_list args);
KORVO_API int FormatV(WCHAR* out, size_t capacity, const WCHAR* format, va_list args);
KORVO_API int Format(char* out, size_t capacity, const char* format, ...);
KORVO_API int Format(WCHAR* out, size_t capacity, const WCHAR* format, ...);

}  // namespace korvo::platform
