// platform/gcvt_internal.h: the C runtime's _gcvt, Korvo's own, so that
// numbers written "as _gcvt does" read the same on Linux as on Windows
// (private, not installed; the dump context is its user).
//
// _gcvt(value, digits, buffer) rounds `value` to `digits` significant
// digits, drops trailing zeros, and chooses the form by the decimal
// exponent E of the rounded value (value = d.ddd x 10^E):
//   -1 <= E < digits: plain decimal that always keeps its decimal point,
//                     also when no fraction digit remains: 1.0 -> "1.",
//                     100.0 -> "100.", 0.0 -> "0.", 0.25 -> "0.25";
//   otherwise:        one digit, the point, the other digits, and an
//                     exponent of at least three digits: 0.05 -> "5.e-002",
//                     1e20 -> "1.e+020", 1234567890123 (12 digits) ->
//                     "1.23456789012e+012".
// A negative value (-0.0 included) starts with '-'.
//
// Choices of this implementation:
// - Infinities and NaN are written "inf", "-inf" and "nan" (the sign of a
//   NaN is not shown), the words the format engine writes for %g, so that
//   Format and the dump context agree.
// - `digits` is clamped to 1..17: 17 significant digits tell every double
//   apart, and more would print binary noise.
// The digits come from the format engine's %e (format.h), the one place
// that turns binary floating point into decimal.
// Thread-safety: reentrant.
#pragma once

#include <cstddef>

namespace korvo::platform {

// Room for any result of _gcvt: sign, 17 digits, point, "e+308", NUL.
constexpr size_t kGcvtBufferSize = 32;

// Writes the text of `value` into `buffer` and returns `buffer`.
// REQUIRES: buffer holds at least kGcvtBufferSize characters.
char* _gcvt(double value, int digits, char* buffer);

}  // namespace korvo::platform
