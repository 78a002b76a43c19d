// com/variant_change.cpp: VariantChangeType, the Automation conversion
// rules with an invariant culture.
//
// Types converted, in every pairing: VT_EMPTY, VT_NULL, VT_I1, VT_I2,
// VT_I4, VT_I8, VT_UI1, VT_UI2, VT_UI4, VT_UI8, VT_INT, VT_UINT, VT_R4,
// VT_R8, VT_CY, VT_DECIMAL, VT_DATE, VT_BSTR, VT_BOOL. Any value converts to
// the same type (a copy) and to VT_EMPTY (cleared). Other pairings give
// DISP_E_TYPEMISMATCH; an unknown type code gives DISP_E_BADVARTYPE.
//
// - VT_NULL converts only to VT_NULL and VT_EMPTY; VT_EMPTY converts to
//   VT_NULL, to 0, to false, to date 0 and to the empty (not null) text.
// - Reals and dates to integers round half to even (2.5 -> 2, 3.5 -> 4,
//   -2.5 -> -2); a result outside the target's range, NaN or an infinity is
//   DISP_E_OVERFLOW. Dates convert as their day count.
// - VT_BOOL is -1 (true) or 0 as a number; into an unsigned type true is
//   all bits set (255, 65535, ...), as the Automation casts give. Any
//   non-zero number is true.
// - Numbers to text: integers in plain decimal; VT_R8 with up to 15
//   significant digits and VT_R4 with up to 7, in the shortest of plain or
//   exponent form as C's %G chooses (0.1 -> "0.1", 1e20 -> "1E+20",
//   1e-5 -> "1E-05"); infinities and NaN as "INF", "-INF", "NAN".
//   Booleans are "True" / "False"; dates are ISO text (oledate_internal.h).
// - Text to numbers: surrounding blanks, a sign, digits, a decimal point
//   and an exponent ("  -1.5e3 "); anything else, the empty text and
//   non-ASCII characters are DISP_E_TYPEMISMATCH; too large for the target
//   is DISP_E_OVERFLOW. Text to boolean also takes "True" / "False" in any
//   letter case. Text to date takes the ISO forms of oledate_internal.h
//   (not numbers).
// - Numbers to VT_R4 beyond its range, and to VT_DATE outside the valid
//   date range, are DISP_E_OVERFLOW.
// - VT_CY (4 decimals) and VT_DECIMAL (96 bits, up to 28 decimals) are
//   exact: text and integers convert digit for digit (digits beyond the
//   28th decimal, or VT_CY's 4th, round half to even); reals take their 15
//   (VT_R4: 7) significant digits. As text they are plain decimals without
//   trailing zeros ("12.5"). A magnitude of 2^96 or more, or outside the
//   currency range, is DISP_E_OVERFLOW.
// A VT_BYREF source converts as the value it points at.
#include <korvo/com/decimal_internal.h>
#include <korvo/com/oledate_internal.h>
#include <korvo/com/text_internal.h>
#include <korvo/com/variant.h>
#include <korvo/com/variant_integer_internal.h>

#include <cfloat>
#include <charconv>
#include <cmath>
#include <cstring>
#include <limits>
#include <optional>
#include <string>

namespace {

using korvo::com::detail::Decimal;
using korvo::com::detail::FormatDate;
using korvo::com::detail::IsBlank;
using korvo::com::detail::ParseDate;

bool Convertible(VARTYPE vt) {
  switch (vt) {
    case VT_EMPTY:
    case VT_NULL:
    case VT_I1:
    case VT_I2:
    case VT_I4:
    case VT_I8:
    case VT_UI1:
    case VT_UI2:
    case VT_UI4:
    case VT_UI8:
    case VT_INT:
    case VT_UINT:
    case VT_R4:
    case VT_R8:
    case VT_DATE:
    case VT_BSTR:
    case VT_BOOL:
    case VT_CY:
    case VT_DECIMAL:
      return true;
    default:
      return false;
  }
}

bool KnownType(VARTYPE vt) {
  VARTYPE base = vt & VT_TYPEMASK;
  if ((vt & ~(VT_TYPEMASK | VT_ARRAY | VT_BYREF)) != 0) return false;
  return base <= VT_UINT && base != 15;
}

// A number on its way between types: exactly one of the four forms.
struct Number {
  enum Kind { kSigned, kUnsigned, kReal, kDecimal } kind = kSigned;
  long long s = 0;
  unsigned long long u = 0;
  double r = 0;
  Decimal d;
  bool fromBool = false;
};

Number Signed(long long v) {
  Number n;
  n.kind = Number::kSigned;
  n.s = v;
  return n;
}
Number Unsigned(unsigned long long v) {
  Number n;
  n.kind = Number::kUnsigned;
  n.u = v;
  return n;
}
Number Real(double v) {
  Number n;
  n.kind = Number::kReal;
  n.r = v;
  return n;
}
Number Exact(const Decimal& d) {
  Number n;
  n.kind = Number::kDecimal;
  n.d = d;
  return n;
}

// The text of a BSTR as ASCII; false when it holds anything else.
bool AsciiText(BSTR text, std::string* out) {
  UINT n = SysStringLen(text);
  out->clear();
  out->reserve(n);
  for (UINT i = 0; i < n; ++i) {
    if (text[i] == 0 || text[i] > 0x7F) return false;
    out->push_back(static_cast<char>(text[i]));
  }
  return true;
}

std::string Trim(const std::string& s) {
  size_t b = 0, e = s.size();
  while (b < e && IsBlank(s[b])) ++b;
  while (e > b && IsBlank(s[e - 1])) --e;
  return s.substr(b, e - b);
}

bool EqualsNoCase(const std::string& a, const char* b) {
  size_t n = std::strlen(b);
  if (a.size() != n) return false;
  for (size_t i = 0; i < n; ++i) {
    char c = a[i];
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c + 32);
    char d = b[i];
    if (d >= 'A' && d <= 'Z') d = static_cast<char>(d + 32);
    if (c != d) return false;
  }
  return true;
}

// Number text: [sign] digits [. digits] [(e|E) [sign] digits], or with the
// digits only after the point. Integers that fit are kept exact.
HRESULT ParseNumber(const std::string& raw, Number* out) {
  std::string s = Trim(raw);
  size_t at = 0;
  bool negative = false;
  if (at < s.size() && (s[at] == '+' || s[at] == '-')) negative = s[at++] == '-';
  size_t mantissa = at, digits = 0;
  bool integral = true;
  while (at < s.size() && s[at] >= '0' && s[at] <= '9') ++at, ++digits;
  if (at < s.size() && s[at] == '.') {
    integral = false;
    ++at;
    while (at < s.size() && s[at] >= '0' && s[at] <= '9') ++at, ++digits;
  }
  if (digits == 0) return DISP_E_TYPEMISMATCH;
  if (at < s.size() && (s[at] == 'e' || s[at] == 'E')) {
    integral = false;
    ++at;
    if (at < s.size() && (s[at] == '+' || s[at] == '-')) ++at;
    size_t start = at;
    while (at < s.size() && s[at] >= '0' && s[at] <= '9') ++at;
    if (at == start) return DISP_E_TYPEMISMATCH;
  }
  if (at != s.size()) return DISP_E_TYPEMISMATCH;
  const char* first = s.data() + mantissa;
  const char* last = s.data() + s.size();
  if (integral) {
    unsigned long long magnitude = 0;
    auto [end, ec] = std::from_chars(first, last, magnitude);
    if (ec == std::errc() && end == last) {
      if (!negative) {
        *out = magnitude <= static_cast<unsigned long long>(std::numeric_limits<long long>::max())
                   ? Signed(static_cast<long long>(magnitude))
                   : Unsigned(magnitude);
        return S_OK;
      }
      if (magnitude <= static_cast<unsigned long long>(std::numeric_limits<long long>::max()) + 1) {
        *out = Signed(magnitude == 0 ? 0 : -static_cast<long long>(magnitude - 1) - 1);
        return S_OK;
      }
    }
    // Too long for 64 bits: carried as a real, which no integer holds.
  }
  double value = 0;
  auto [end, ec] = std::from_chars(first, last, value);
  if (ec == std::errc::result_out_of_range) {
    // Reported for underflow too: a negative exponent means "tiny", zero.
    size_t e = s.find_first_of("eE");
    if (e == std::string::npos || s[e + 1] != '-') return DISP_E_OVERFLOW;
    value = 0;
  } else if (ec != std::errc() || end != last) {
    return DISP_E_TYPEMISMATCH;
  }
  *out = Real(negative ? -value : value);
  return S_OK;
}

double RoundHalfEven(double v) {
  double floor = std::floor(v);
  double diff = v - floor;
  if (diff > 0.5) return floor + 1;
  if (diff < 0.5) return floor;
  return std::fmod(floor, 2.0) == 0 ? floor : floor + 1;
}

// The number as an integer within [min, max]; false on overflow.
bool ToSigned(const Number& n, long long min, long long max, long long* out) {
  switch (n.kind) {
    case Number::kSigned:
      if (n.s < min || n.s > max) return false;
      *out = n.s;
      return true;
    case Number::kUnsigned:
      if (n.u > static_cast<unsigned long long>(max)) return false;
      *out = static_cast<long long>(n.u);
      return true;
    case Number::kReal: {
      if (!std::isfinite(n.r)) return false;
      double r = RoundHalfEven(n.r);
      // 2^63 is exact in a double; every double below it fits.
      if (r < -9223372036854775808.0 || r >= 9223372036854775808.0) return false;
      long long v = static_cast<long long>(r);
      if (v < min || v > max) return false;
      *out = v;
      return true;
    }
    case Number::kDecimal: {
      unsigned __int128 m = korvo::com::detail::DecimalRoundedMagnitude(n.d);
      if (m == 0) {
        if (min > 0 || max < 0) return false;
        *out = 0;
        return true;
      }
      if (n.d.negative) {
        if (m > static_cast<unsigned __int128>(-(min + 1)) + 1) return false;
        *out = -static_cast<long long>(m - 1) - 1;
      } else {
        if (m > static_cast<unsigned __int128>(max)) return false;
        *out = static_cast<long long>(m);
      }
      return true;
    }
  }
  return false;
}

bool ToUnsigned(const Number& n, unsigned long long max, unsigned long long* out) {
  switch (n.kind) {
    case Number::kSigned:
      if (n.fromBool) {  // true is all bits set in the target's width
        *out = static_cast<unsigned long long>(n.s) & max;
        return true;
      }
      if (n.s < 0 || static_cast<unsigned long long>(n.s) > max) return false;
      *out = static_cast<unsigned long long>(n.s);
      return true;
    case Number::kUnsigned:
      if (n.u > max) return false;
      *out = n.u;
      return true;
    case Number::kReal: {
      if (!std::isfinite(n.r)) return false;
      double r = RoundHalfEven(n.r);
      if (r < 0 || r >= 18446744073709551616.0) return false;
      unsigned long long v = static_cast<unsigned long long>(r);
      if (v > max) return false;
      *out = v;
      return true;
    }
    case Number::kDecimal: {
      unsigned __int128 m = korvo::com::detail::DecimalRoundedMagnitude(n.d);
      if ((n.d.negative && m != 0) || m > max) return false;
      *out = static_cast<unsigned long long>(m);
      return true;
    }
  }
  return false;
}

double ToReal(const Number& n) {
  switch (n.kind) {
    case Number::kSigned:
      return static_cast<double>(n.s);
    case Number::kUnsigned:
      return static_cast<double>(n.u);
    case Number::kReal:
      return n.r;
    case Number::kDecimal:
      return korvo::com::detail::DecimalToReal(n.d);
  }
  return 0;
}

bool IsZero(const Number& n) {
  switch (n.kind) {
    case Number::kSigned:
      return n.s == 0;
    case Number::kUnsigned:
      return n.u == 0;
    case Number::kReal:
      return n.r == 0;
    case Number::kDecimal:
      return n.d.magnitude == 0;
  }
  return true;
}

std::string RealText(double v, int precision) {
  if (std::isnan(v)) return "NAN";
  if (std::isinf(v)) return v < 0 ? "-INF" : "INF";
  if (v == 0) return "0";  // also for -0.0
  char buffer[64];
  auto [end, ec] =
      std::to_chars(buffer, buffer + sizeof buffer, v, std::chars_format::general, precision);
  if (ec != std::errc()) return "0";
  std::string text(buffer, end);
  for (char& c : text)
    if (c == 'e') c = 'E';
  return text;
}

std::string NumberText(const Number& n, VARTYPE sourceType) {
  switch (n.kind) {
    case Number::kSigned:
      return std::to_string(n.s);
    case Number::kUnsigned:
      return std::to_string(n.u);
    case Number::kReal:
      return RealText(n.r, sourceType == VT_R4 ? 7 : 15);
    case Number::kDecimal:
      return korvo::com::detail::DecimalToText(n.d);
  }
  return std::string();
}

// Reads a (non-text, non-null) source as a number.
bool SourceNumber(const VARIANT& v, Number* out) {
  if (const std::optional<long long> integer = korvo::com::SignedIntegerOf(v)) {
    *out = Signed(*integer);
    return true;
  }
  switch (v.vt) {
    case VT_EMPTY:
      *out = Signed(0);
      return true;
    case VT_UI8:
      *out = Unsigned(v.ullVal);
      return true;
    case VT_R4:
      *out = Real(v.fltVal);
      return true;
    case VT_R8:
    case VT_DATE:
      *out = Real(v.dblVal);
      return true;
    case VT_BOOL:
      *out = Signed(v.boolVal != 0 ? -1 : 0);
      out->fromBool = true;
      return true;
    case VT_CY:
      *out = Exact(korvo::com::detail::DecimalFromCurrency(v.cyVal));
      return true;
    case VT_DECIMAL: {
      Decimal d;
      if (!korvo::com::detail::DecimalFromVariant(v.decVal, &d)) return false;
      *out = Exact(d);
      return true;
    }
    default:
      return false;
  }
}

// The exact decimal a source stands for (VT_CY and VT_DECIMAL targets).
HRESULT DecimalFor(const VARIANT& src, Decimal* out) {
  if (src.vt == VT_BSTR) {
    std::string text;
    if (!AsciiText(src.bstrVal, &text)) return DISP_E_TYPEMISMATCH;
    return korvo::com::detail::DecimalFromText(text, out);
  }
  Number n;
  if (!SourceNumber(src, &n)) return DISP_E_TYPEMISMATCH;
  switch (n.kind) {
    case Number::kSigned:
      *out = korvo::com::detail::DecimalFromSigned(n.s);
      return S_OK;
    case Number::kUnsigned:
      *out = korvo::com::detail::DecimalFromUnsigned(n.u);
      return S_OK;
    case Number::kReal:
      return korvo::com::detail::DecimalFromReal(n.r, src.vt == VT_R4 ? 7 : 15, out);
    case Number::kDecimal:
      *out = n.d;
      return S_OK;
  }
  return DISP_E_TYPEMISMATCH;
}

HRESULT ToExact(const VARIANT& src, VARTYPE vt, VARIANT* out) {
  Decimal d;
  HRESULT hr = DecimalFor(src, &d);
  if (FAILED(hr)) return hr;
  if (vt == VT_CY) {
    hr = korvo::com::detail::DecimalToCurrency(d, &out->cyVal);
    if (FAILED(hr)) return hr;
  } else {
    korvo::com::detail::DecimalToVariant(d, &out->decVal);
  }
  out->vt = vt;  // after the decimal, whose first bytes overlay the type code
  return S_OK;
}

BSTR AllocAscii(const std::string& text) {
  BSTR s = SysAllocStringLen(nullptr, static_cast<UINT>(text.size()));
  if (s == nullptr) return nullptr;
  for (size_t i = 0; i < text.size(); ++i)
    s[i] = static_cast<OLECHAR>(static_cast<unsigned char>(text[i]));
  return s;
}

HRESULT ToText(const VARIANT& src, VARIANT* out) {
  std::string text;
  if (src.vt == VT_BOOL) {
    text = src.boolVal != 0 ? "True" : "False";
  } else if (src.vt == VT_DATE) {
    if (!FormatDate(src.date, &text)) return DISP_E_OVERFLOW;
  } else if (src.vt != VT_EMPTY) {
    Number n;
    if (!SourceNumber(src, &n)) return DISP_E_TYPEMISMATCH;
    text = NumberText(n, src.vt);
  }
  out->bstrVal = AllocAscii(text);
  if (out->bstrVal == nullptr) return E_OUTOFMEMORY;
  out->vt = VT_BSTR;
  return S_OK;
}

// The number a source stands for when converted to `target` (text parsed).
HRESULT NumberFor(const VARIANT& src, Number* out) {
  if (src.vt == VT_BSTR) {
    std::string text;
    if (!AsciiText(src.bstrVal, &text)) return DISP_E_TYPEMISMATCH;
    return ParseNumber(text, out);
  }
  return SourceNumber(src, out) ? S_OK : DISP_E_TYPEMISMATCH;
}

HRESULT ToBool(const VARIANT& src, VARIANT* out) {
  if (src.vt == VT_BSTR) {
    std::string text;
    if (!AsciiText(src.bstrVal, &text)) return DISP_E_TYPEMISMATCH;
    std::string word = Trim(text);
    if (EqualsNoCase(word, "true") || EqualsNoCase(word, "false")) {
      out->vt = VT_BOOL;
      out->boolVal = EqualsNoCase(word, "true") ? VARIANT_TRUE : VARIANT_FALSE;
      return S_OK;
    }
  }
  Number n;
  HRESULT hr = NumberFor(src, &n);
  if (FAILED(hr)) return hr;
  out->vt = VT_BOOL;
  out->boolVal = IsZero(n) ? VARIANT_FALSE : VARIANT_TRUE;
  return S_OK;
}

HRESULT ToDate(const VARIANT& src, VARIANT* out) {
  double value = 0;
  if (src.vt == VT_BSTR) {
    std::string text;
    if (!AsciiText(src.bstrVal, &text) || !ParseDate(text, &value)) return DISP_E_TYPEMISMATCH;
  } else {
    Number n;
    if (!SourceNumber(src, &n)) return DISP_E_TYPEMISMATCH;
    value = ToReal(n);
    if (!korvo::com::detail::DateInRange(value)) return DISP_E_OVERFLOW;
  }
  out->vt = VT_DATE;
  out->date = value;
  return S_OK;
}

HRESULT ToNumber(const VARIANT& src, VARTYPE vt, VARIANT* out) {
  Number n;
  HRESULT hr = NumberFor(src, &n);
  if (FAILED(hr)) return hr;
  long long s = 0;
  unsigned long long u = 0;
  bool ok = true;
  switch (vt) {
    case VT_I1:
      if ((ok = ToSigned(n, -128, 127, &s))) out->cVal = static_cast<CHAR>(s);
      break;
    case VT_I2:
      if ((ok = ToSigned(n, -32768, 32767, &s))) out->iVal = static_cast<SHORT>(s);
      break;
    case VT_I4:
      if ((ok =
               ToSigned(n, std::numeric_limits<LONG>::min(), std::numeric_limits<LONG>::max(), &s)))
        out->lVal = static_cast<LONG>(s);
      break;
    case VT_INT:
      if ((ok = ToSigned(n, std::numeric_limits<INT>::min(), std::numeric_limits<INT>::max(), &s)))
        out->intVal = static_cast<INT>(s);
      break;
    case VT_I8:
      if ((ok = ToSigned(n, std::numeric_limits<LONGLONG>::min(),
                         std::numeric_limits<LONGLONG>::max(), &s)))
        out->llVal = s;
      break;
    case VT_UI1:
      if ((ok = ToUnsigned(n, 0xFF, &u))) out->bVal = static_cast<BYTE>(u);
      break;
    case VT_UI2:
      if ((ok = ToUnsigned(n, 0xFFFF, &u))) out->uiVal = static_cast<USHORT>(u);
      break;
    case VT_UI4:
      if ((ok = ToUnsigned(n, 0xFFFFFFFFu, &u))) out->ulVal = static_cast<ULONG>(u);
      break;
    case VT_UINT:
      if ((ok = ToUnsigned(n, 0xFFFFFFFFu, &u))) out->uintVal = static_cast<UINT>(u);
      break;
    case VT_UI8:
      if ((ok = ToUnsigned(n, std::numeric_limits<ULONGLONG>::max(), &u))) out->ullVal = u;
      break;
    case VT_R4: {
      double r = ToReal(n);
      ok = !std::isfinite(r) || std::fabs(r) <= FLT_MAX;
      if (ok) out->fltVal = static_cast<float>(r);
      break;
    }
    case VT_R8:
      out->dblVal = ToReal(n);
      break;
    default:
      return DISP_E_TYPEMISMATCH;
  }
  if (!ok) return DISP_E_OVERFLOW;
  out->vt = vt;
  return S_OK;
}

// Converts a non-reference source into the empty `out`.
HRESULT Convert(const VARIANT& src, VARTYPE vt, VARIANT* out) {
  if (src.vt == vt) return VariantCopy(out, &src);
  if (vt == VT_EMPTY) return S_OK;
  if (vt == VT_NULL) {
    if (src.vt != VT_EMPTY) return DISP_E_TYPEMISMATCH;
    out->vt = VT_NULL;
    return S_OK;
  }
  if (!Convertible(vt) || !Convertible(src.vt) || src.vt == VT_NULL) return DISP_E_TYPEMISMATCH;
  switch (vt) {
    case VT_BSTR:
      return ToText(src, out);
    case VT_BOOL:
      return ToBool(src, out);
    case VT_DATE:
      return ToDate(src, out);
    case VT_CY:
    case VT_DECIMAL:
      return ToExact(src, vt, out);
    default:
      return ToNumber(src, vt, out);
  }
}

}  // namespace

HRESULT VariantChangeType(VARIANTARG* dest, const VARIANTARG* src, USHORT, VARTYPE vt) {
  if (dest == nullptr || src == nullptr) return E_INVALIDARG;
  if (!KnownType(vt) || !KnownType(src->vt)) return DISP_E_BADVARTYPE;
  VARIANT value;
  VariantInit(&value);
  HRESULT hr = S_OK;
  if ((src->vt & VT_BYREF) != 0) {
    hr = VariantCopyInd(&value, src);
    if (FAILED(hr)) return hr;
  }
  const VARIANT& from = (src->vt & VT_BYREF) != 0 ? value : *src;
  VARIANT result;
  VariantInit(&result);
  hr = Convert(from, vt, &result);
  VariantClear(&value);
  if (FAILED(hr)) {
    VariantClear(&result);
    return hr;
  }
  // Only now may dest change: src may be dest itself.
  hr = VariantClear(dest);
  if (FAILED(hr)) {
    VariantClear(&result);
    return hr;
  }
  *dest = result;
  return S_OK;
}

HRESULT VariantChangeTypeEx(VARIANTARG* dest, const VARIANTARG* src, LCID, USHORT flags,
                            VARTYPE vt) {
  return VariantChangeType(dest, src, flags, vt);
}
