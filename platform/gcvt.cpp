// platform/gcvt.cpp: _gcvt's layout of a number rounded by the format
// engine's %e.
#include <korvo/platform/format.h>
#include <korvo/platform/gcvt_internal.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <cstring>

namespace korvo::platform {
namespace {

constexpr int kMaxDigits = 17;

char* Copy(char* buffer, const char* text) {
  std::strcpy(buffer, text);
  return buffer;
}

}  // namespace

char* _gcvt(double value, int digits, char* buffer) {
  if (std::isnan(value)) return Copy(buffer, "nan");
  if (std::isinf(value)) return Copy(buffer, value < 0 ? "-inf" : "inf");
  digits = std::clamp(digits, 1, kMaxDigits);

  // "-d.ddddde+XX": the rounding (a carry may move the exponent) is done.
  char scientific[kGcvtBufferSize];
  Format(scientific, sizeof scientific, "%.*e", digits - 1, value);
  const char* p = scientific;
  const bool negative = *p == '-';
  if (negative) ++p;
  char mantissa[kMaxDigits + 1];
  int count = 0;
  for (; *p != 'e'; ++p) {
    if (*p != '.') mantissa[count++] = *p;
  }
  const int exponent = std::atoi(p + 1);
  while (count > 1 && mantissa[count - 1] == '0') --count;

  char* out = buffer;
  if (negative) *out++ = '-';
  if (exponent < -1 || exponent >= digits) {
    *out++ = mantissa[0];
    *out++ = '.';
    out = std::copy(mantissa + 1, mantissa + count, out);
    Format(out, kGcvtBufferSize - static_cast<size_t>(out - buffer), "e%c%03d",
           exponent < 0 ? '-' : '+', std::abs(exponent));
    return buffer;
  }
  if (exponent == -1) {
    *out++ = '0';
    *out++ = '.';
    out = std::copy(mantissa, mantissa + count, out);
  } else {
    // The integer part has exponent + 1 digits; those the rounding dropped
    // as trailing zeros come back as zeros.
    const int whole = exponent + 1;
    for (int i = 0; i < whole; ++i) *out++ = i < count ? mantissa[i] : '0';
    *out++ = '.';
    if (count > whole) out = std::copy(mantissa + whole, mantissa + count, out);
  }
  *out = '\0';
  return buffer;
}

}  // namespace korvo::platform
