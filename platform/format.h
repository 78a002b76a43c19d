// platform/format.h: the one printf-style formatting engine, for narrow
// and wide (UTF-16) formats.
//
// Conversions d i u x X o c C s S f F e E g G a A p %, flags - + space # 0,
// width and precision (also `*`), length modifiers h hh l ll I64 I32 z j t L.
// In a narrow format %s/%c take narrow (char) arguments and %S/%C wide
// (WCHAR) ones; in a wide format it is the reverse: %s/%c take WCHAR text,
// %S/%C narrow. Narrow text placed into wide output (and the reverse) is
// converted through the ANSI code page. A null string argument prints
// "(null)". Numbers follow the C library exactly (same digits, rounding,
// inf/nan spelling).
//
// Counting mode: `out` null or `capacity` 0 writes nothing. Otherwise at
// most capacity - 1 characters plus a terminator are written. Either way the
// result is the number of characters the whole output needs (terminator
// excluded), like snprintf; a malformed format gives a negative result.
// Thread-safety: reentrant.
#pragma once

#include <cstdarg>

#include <korvo/platform/export.h>
#include <korvo/platform/wintypes.h>

namespace korvo::platform {

KORVO_API int FormatV(char* out, size_t capacity, const char* format, va_list args);
KORVO_API int FormatV(WCHAR* out, size_t capacity, const WCHAR* format, va_list args);
KORVO_API int Format(char* out, size_t capacity, const char* format, ...);
KORVO_API int Format(WCHAR* out, size_t capacity, const WCHAR* format, ...);

}  // namespace korvo::platform
