// com/decimal_internal.h: exact decimal numbers for the VT_DECIMAL and VT_CY
// conversions of VariantChangeType.
#pragma once

#include <korvo/com/hresult.h>
#include <korvo/com/vartype.h>

#include <string>

namespace korvo::com::detail {

// magnitude / 10^scale, negated when `negative`; magnitude below 2^96 and
// scale 0..28 (the VT_DECIMAL limits), zero never negative.
struct Decimal {
  unsigned __int128 magnitude = 0;
  int scale = 0;
  bool negative = false;
};

bool DecimalFromVariant(const DECIMAL& in, Decimal* out);  // false for a scale above 28
Decimal DecimalFromCurrency(const CY& in);
Decimal DecimalFromSigned(long long v);
Decimal DecimalFromUnsigned(unsigned long long v);
// `digits` significant digits of v (15 for a double, 7 for a float), as
// Automation converts reals to decimals. DISP_E_OVERFLOW beyond 2^96 or for
// NaN and infinities.
HRESULT DecimalFromReal(double v, int digits, Decimal* out);
// Exact decimal text ([sign] digits [. digits] [e [sign] digits], blanks
// around); DISP_E_TYPEMISMATCH for other text, DISP_E_OVERFLOW beyond
// 2^96, digits past the 28th decimal rounded half to even.
HRESULT DecimalFromText(const std::string& text, Decimal* out);

void DecimalToVariant(const Decimal& d, DECIMAL* out);
// DISP_E_OVERFLOW outside the currency range.
HRESULT DecimalToCurrency(const Decimal& d, CY* out);
double DecimalToReal(const Decimal& d);
// The magnitude rounded half to even to an integer (its sign is d.negative,
// unless the result is 0).
unsigned __int128 DecimalRoundedMagnitude(const Decimal& d);
// Plain decimal text without trailing fractional zeros ("-12.5", "0").
std::string DecimalToText(const Decimal& d);

}  // namespace korvo::com::detail
