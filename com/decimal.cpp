// com/decimal.cpp: exact decimal arithmetic behind the VT_DECIMAL and
// VT_CY conversions (96-bit magnitudes in 128-bit integers).
#include <korvo/com/decimal_internal.h>
#include <korvo/com/text_internal.h>

#include <charconv>
#include <cmath>

namespace korvo::com::detail {
namespace {

using u128 = unsigned __int128;

constexpr int kMaxScale = 28;
constexpr u128 kLimit = static_cast<u128>(1) << 96;

u128 Pow10(int n) {
  u128 p = 1;
  for (int i = 0; i < n; ++i) p *= 10;
  return p;
}

// Divides by 10^n rounding half to even (every u128 is below 10^39, so
// beyond that the result is 0).
u128 DivideRounded(u128 v, int n) {
  if (n <= 0) return v;
  if (n > 39) return 0;
  u128 divisor = Pow10(n);
  u128 q = v / divisor;
  u128 r = v % divisor;
  u128 half = divisor / 2;
  if (r > half || (r == half && (q & 1) != 0)) ++q;
  return q;
}

// Drops trailing fractional zeros and fixes the sign of zero.
Decimal Normal(Decimal d) {
  while (d.scale > 0 && d.magnitude % 10 == 0) {
    d.magnitude /= 10;
    --d.scale;
  }
  if (d.magnitude == 0) d.negative = false;
  return d;
}

// digits x 10^power into a Decimal.
HRESULT Compose(u128 digits, long power, bool negative, Decimal* out) {
  Decimal d;
  d.negative = negative;
  if (digits == 0) {
    *out = Decimal();
    return S_OK;
  }
  if (power >= 0) {
    for (long i = 0; i < power; ++i) {
      if (digits >= kLimit) return DISP_E_OVERFLOW;
      digits *= 10;
    }
    if (digits >= kLimit) return DISP_E_OVERFLOW;
    d.magnitude = digits;
    d.scale = 0;
  } else {
    long scale = -power;
    if (scale > kMaxScale) {
      digits =
          DivideRounded(digits, static_cast<int>(scale - kMaxScale > 40 ? 40 : scale - kMaxScale));
      scale = kMaxScale;
    }
    // Too many digits for 96 bits: give up fractional digits first.
    while (digits >= kLimit && scale > 0) {
      digits = DivideRounded(digits, 1);
      --scale;
    }
    if (digits >= kLimit) return DISP_E_OVERFLOW;
    d.magnitude = digits;
    d.scale = static_cast<int>(scale);
  }
  *out = Normal(d);
  return S_OK;
}

}  // namespace

bool DecimalFromVariant(const DECIMAL& in, Decimal* out) {
  if (in.scale > kMaxScale) return false;
  Decimal d;
  d.magnitude = (static_cast<u128>(in.Hi32) << 64) | in.Lo64;
  d.scale = in.scale;
  d.negative = (in.sign & DECIMAL_NEG) != 0;
  *out = Normal(d);
  return true;
}

Decimal DecimalFromCurrency(const CY& in) {
  Decimal d = DecimalFromSigned(in.int64);
  d.scale = 4;
  return Normal(d);
}

Decimal DecimalFromSigned(long long v) {
  Decimal d;
  d.negative = v < 0;
  d.magnitude = v < 0 ? static_cast<u128>(-(v + 1)) + 1 : static_cast<u128>(v);
  return d;
}

Decimal DecimalFromUnsigned(unsigned long long v) {
  Decimal d;
  d.magnitude = v;
  return d;
}

HRESULT DecimalFromReal(double v, int digits, Decimal* out) {
  if (!std::isfinite(v)) return DISP_E_OVERFLOW;
  if (v == 0) {
    *out = Decimal();
    return S_OK;
  }
  // d.ddd...e±x with `digits` significant digits.
  char buffer[64];
  auto [end, ec] = std::to_chars(buffer, buffer + sizeof buffer, std::fabs(v),
                                 std::chars_format::scientific, digits - 1);
  if (ec != std::errc()) return DISP_E_OVERFLOW;
  u128 mantissa = 0;
  const char* p = buffer;
  for (; p < end && *p != 'e'; ++p)
    if (*p >= '0' && *p <= '9') mantissa = mantissa * 10 + static_cast<unsigned>(*p - '0');
  long exponent = 0;
  if (p < end) std::from_chars(p + 1 + (p[1] == '+'), end, exponent);
  return Compose(mantissa, exponent - (digits - 1), v < 0, out);
}

HRESULT DecimalFromText(const std::string& text, Decimal* out) {
  size_t at = 0, end_at = text.size();
  while (at < end_at && IsBlank(text[at])) ++at;
  while (end_at > at && IsBlank(text[end_at - 1])) --end_at;
  bool negative = false;
  if (at < end_at && (text[at] == '+' || text[at] == '-')) negative = text[at++] == '-';
  // Digits past the 37th are beyond any value kept: integer ones only
  // scale the number up (to an overflow), fractional ones are dropped.
  static const u128 kDigitLimit = Pow10(37);
  u128 digits = 0;
  long power = 0;
  size_t count = 0;
  auto take = [&](char c, bool fraction) {
    ++count;
    if (digits < kDigitLimit) {
      digits = digits * 10 + static_cast<unsigned>(c - '0');
      if (fraction) --power;
    } else if (!fraction) {
      ++power;
    }
  };
  while (at < end_at && text[at] >= '0' && text[at] <= '9') take(text[at++], false);
  if (at < end_at && text[at] == '.') {
    ++at;
    while (at < end_at && text[at] >= '0' && text[at] <= '9') take(text[at++], true);
  }
  if (count == 0) return DISP_E_TYPEMISMATCH;
  if (at < end_at && (text[at] == 'e' || text[at] == 'E')) {
    ++at;
    bool neg_exp = false;
    if (at < end_at && (text[at] == '+' || text[at] == '-')) neg_exp = text[at++] == '-';
    size_t start = at;
    long exponent = 0;
    while (at < end_at && text[at] >= '0' && text[at] <= '9') {
      if (exponent < 100000) exponent = exponent * 10 + (text[at] - '0');
      ++at;
    }
    if (at == start) return DISP_E_TYPEMISMATCH;
    power += neg_exp ? -exponent : exponent;
  }
  if (at != end_at) return DISP_E_TYPEMISMATCH;
  return Compose(digits, power, negative, out);
}

void DecimalToVariant(const Decimal& d, DECIMAL* out) {
  out->wReserved = 0;
  out->scale = static_cast<BYTE>(d.scale);
  out->sign = d.negative ? DECIMAL_NEG : 0;
  out->Hi32 = static_cast<ULONG>(d.magnitude >> 64);
  out->Lo64 = static_cast<ULONGLONG>(d.magnitude);
}

HRESULT DecimalToCurrency(const Decimal& d, CY* out) {
  u128 units =
      d.scale > 4 ? DivideRounded(d.magnitude, d.scale - 4) : d.magnitude * Pow10(4 - d.scale);
  u128 max = static_cast<u128>(1) << 63;  // the negative end; one less for positive values
  if (units > max || (!d.negative && units == max)) return DISP_E_OVERFLOW;
  out->int64 = d.negative ? static_cast<LONGLONG>(0 - static_cast<unsigned long long>(units))
                          : static_cast<LONGLONG>(units);
  return S_OK;
}

double DecimalToReal(const Decimal& d) {
  // Through the text form, so the result is the correctly rounded double.
  std::string text = DecimalToText(d);
  double v = 0;
  std::from_chars(text.data(), text.data() + text.size(), v);
  return v;
}

u128 DecimalRoundedMagnitude(const Decimal& d) { return DivideRounded(d.magnitude, d.scale); }

std::string DecimalToText(const Decimal& in) {
  Decimal d = Normal(in);
  // Written backwards from the end of the buffer: at most 40 digits, a
  // point, the zeros before the first significant one and a sign.
  char buffer[80];
  char* p = buffer + sizeof buffer;
  u128 m = d.magnitude;
  int written = 0;
  do {
    *--p = static_cast<char>('0' + static_cast<int>(m % 10));
    m /= 10;
    if (++written == d.scale) *--p = '.';
  } while (m != 0 || written <= d.scale);
  if (d.negative) *--p = '-';
  return std::string(p, buffer + sizeof buffer);
}

}  // namespace korvo::com::detail
