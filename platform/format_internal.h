// platform/format_internal.h: a way to run the formatting engine without a
// va_list, for the fuzz target and the tests (private, not installed).
//
// A fuzzed format may ask for any sequence of arguments; a va_list cannot
// be built to match it. With these hooks the engine draws each argument from
// fixed values of the requested kind instead, so every text conversion gets
// a valid pointer and the number of arguments read can be checked.
#pragma once

#include <korvo/platform/wintypes.h>

#include <cstddef>

namespace korvo::platform {

struct TEST_FormatArgs {
  // Integer conversions, `*` widths and precisions and %c/%C take
  // integers[i % integerCount] for the i-th integer read (0 when empty).
  const long long* integers = nullptr;
  size_t integerCount = 0;
  // Floating conversions take floats[i % floatCount] (0.0 when empty).
  const long double* floats = nullptr;
  size_t floatCount = 0;
  const char* narrowText = nullptr;  // every narrow text argument
  const WCHAR* wideText = nullptr;   // every wide text argument
  const void* pointer = nullptr;     // every %p argument
  // Counted by the engine: how many arguments it read, of any kind.
  size_t reads = 0;
};

// FormatV's contract, with arguments drawn from `args`.
int TEST_FormatFixed(char* out, size_t capacity, const char* format, TEST_FormatArgs& args);
int TEST_FormatFixed(WCHAR* out, size_t capacity, const WCHAR* format, TEST_FormatArgs& args);

}  // namespace korvo::platform
