// VariantChangeType: the conversion matrix, table-driven.
//
// Values are written as "TYPE:value" ("I4:42", "BSTR:2.5", "BOOL:-1",
// "EMPTY"); an expected failure as "!TYPEMISMATCH" or "!OVERFLOW".
#include <gtest/gtest.h>
#include <korvo/com/variant.h>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <random>
#include <string>
#include <vector>

#include "test_objects.h"

namespace {

// The types under test; integer types (BOOL included) with their width in
// bytes and signedness, so that one routine reads and writes all of them.
struct TypeName {
  VARTYPE vt;
  const char* name;
  size_t integer_bytes = 0;
  bool is_signed = false;
};

constexpr TypeName kTypes[] = {
    {VT_EMPTY, "EMPTY"},
    {VT_NULL, "NULL"},
    {VT_I1, "I1", 1, true},
    {VT_I2, "I2", 2, true},
    {VT_I4, "I4", 4, true},
    {VT_I8, "I8", 8, true},
    {VT_UI1, "UI1", 1},
    {VT_UI2, "UI2", 2},
    {VT_UI4, "UI4", 4},
    {VT_UI8, "UI8", 8},
    {VT_INT, "INT", 4, true},
    {VT_UINT, "UINT", 4},
    {VT_R4, "R4"},
    {VT_R8, "R8"},
    {VT_DATE, "DATE"},
    {VT_BSTR, "BSTR"},
    {VT_BOOL, "BOOL", 2, true},
    {VT_CY, "CY"},
    {VT_DECIMAL, "DEC"},
};

const TypeName* Find(VARTYPE vt) {
  for (const auto& t : kTypes)
    if (t.vt == vt) return &t;
  return nullptr;
}

// "-12.345" to its digits and scale, for building VT_DECIMAL and VT_CY.
unsigned __int128 DigitsOf(const std::string& text, int* scale, bool* negative) {
  unsigned __int128 m = 0;
  *scale = 0;
  *negative = !text.empty() && text[0] == '-';
  bool fraction = false;
  for (char c : text) {
    if (c == '.') fraction = true;
    if (c < '0' || c > '9') continue;
    m = m * 10 + static_cast<unsigned>(c - '0');
    if (fraction) ++*scale;
  }
  return m;
}

std::string DecimalText(unsigned __int128 m, int scale, bool negative) {
  std::string digits;
  do {
    digits.insert(digits.begin(), static_cast<char>('0' + static_cast<int>(m % 10)));
    m /= 10;
  } while (m != 0);
  while (static_cast<int>(digits.size()) <= scale) digits.insert(digits.begin(), '0');
  if (scale > 0) digits.insert(digits.size() - static_cast<size_t>(scale), ".");
  return (negative ? "-" : "") + digits;
}

VARTYPE TypeOf(const std::string& name) {
  for (const auto& t : kTypes)
    if (name == t.name) return t.vt;
  ADD_FAILURE() << "unknown type name " << name;
  return VT_EMPTY;
}

// Every integer member of the VARIANT union starts at the same address
// (llVal's); the value is copied in or out in its width (little-endian).
void SetInteger(VARIANT& v, const TypeName& t, const char* text) {
  const long long value = t.is_signed ? std::strtoll(text, nullptr, 10)
                                      : static_cast<long long>(std::strtoull(text, nullptr, 10));
  std::memcpy(&v.llVal, &value, t.integer_bytes);
}

std::string IntegerText(const VARIANT& v, const TypeName& t) {
  unsigned long long bits = 0;
  std::memcpy(&bits, &v.llVal, t.integer_bytes);
  const unsigned shift = static_cast<unsigned>(64 - 8 * t.integer_bytes);
  if (!t.is_signed) return std::to_string(bits);
  return std::to_string(static_cast<long long>(bits << shift) >> shift);
}

// Builds the variant a "TYPE:value" text describes; the caller clears it.
VARIANT Make(const std::string& text) {
  VARIANT v;
  VariantInit(&v);
  size_t colon = text.find(':');
  std::string value = colon == std::string::npos ? "" : text.substr(colon + 1);
  v.vt = TypeOf(text.substr(0, colon));
  const char* s = value.c_str();
  const TypeName& type = *Find(v.vt);
  if (type.integer_bytes != 0) {
    SetInteger(v, type, s);
    return v;
  }
  switch (v.vt) {
    case VT_R4:
      v.fltVal = std::strtof(s, nullptr);
      break;
    case VT_R8:
      v.dblVal = std::strtod(s, nullptr);
      break;
    case VT_DATE:
      v.date = std::strtod(s, nullptr);
      break;
    case VT_BSTR: {
      std::u16string wide(value.begin(), value.end());
      v.bstrVal = SysAllocStringLen(wide.data(), static_cast<UINT>(wide.size()));
      break;
    }
    case VT_CY: {
      int scale = 0;
      bool negative = false;
      long long units = static_cast<long long>(DigitsOf(value, &scale, &negative));
      for (; scale < 4; ++scale) units *= 10;
      v.cyVal.int64 = negative ? -units : units;
      break;
    }
    case VT_DECIMAL: {
      int scale = 0;
      bool negative = false;
      unsigned __int128 m = DigitsOf(value, &scale, &negative);
      v.decVal.Hi32 = static_cast<ULONG>(m >> 64);
      v.decVal.Lo64 = static_cast<ULONGLONG>(m);
      v.decVal.scale = static_cast<BYTE>(scale);
      v.decVal.sign = negative ? DECIMAL_NEG : 0;
      v.vt = VT_DECIMAL;
      break;
    }
    default:
      break;
  }
  return v;
}

std::string Describe(const VARIANT& v) {
  const TypeName* type = Find(v.vt);
  if (type == nullptr) return "?";
  std::string out = type->name;
  if (type->integer_bytes != 0) return out + ":" + IntegerText(v, *type);
  char buffer[64];
  switch (v.vt) {
    case VT_EMPTY:
    case VT_NULL:
      return out;
    case VT_R4:
      std::snprintf(buffer, sizeof buffer, ":%.9g", v.fltVal);
      return out + buffer;
    case VT_R8:
    case VT_DATE:
      std::snprintf(buffer, sizeof buffer, ":%.17g", v.dblVal);
      return out + buffer;
    case VT_CY: {
      long long units = v.cyVal.int64;
      unsigned long long magnitude = units < 0 ? 0 - static_cast<unsigned long long>(units) : units;
      return out + ":" + DecimalText(magnitude, 4, units < 0);
    }
    case VT_DECIMAL: {
      unsigned __int128 m = (static_cast<unsigned __int128>(v.decVal.Hi32) << 64) | v.decVal.Lo64;
      return out + ":" + DecimalText(m, v.decVal.scale, (v.decVal.sign & DECIMAL_NEG) != 0);
    }
    case VT_BSTR: {
      if (v.bstrVal == nullptr) return out + "(null)";
      std::string text;
      for (UINT i = 0; i < SysStringLen(v.bstrVal); ++i)
        text.push_back(static_cast<char>(v.bstrVal[i]));
      return out + ":" + text;
    }
    default:
      return out + ":?";
  }
}

std::string Outcome(HRESULT hr) {
  if (hr == DISP_E_TYPEMISMATCH) return "!TYPEMISMATCH";
  if (hr == DISP_E_OVERFLOW) return "!OVERFLOW";
  char buffer[32];
  std::snprintf(buffer, sizeof buffer, "!0x%08X", static_cast<unsigned>(hr));
  return buffer;
}

// Converts `source` to `target` into a separate destination.
std::string Convert(const std::string& source, VARTYPE target) {
  VARIANT src = Make(source);
  VARIANT dst;
  VariantInit(&dst);
  HRESULT hr = VariantChangeType(&dst, &src, 0, target);
  std::string result = SUCCEEDED(hr) ? Describe(dst) : Outcome(hr);
  VariantClear(&src);
  VariantClear(&dst);
  return result;
}

// One source value and what it converts to: each result names its target
// type ("I4:42", "DATE:0.5") or the target and the failure ("I2!OVERFLOW").
struct Case {
  const char* source;
  std::vector<const char*> results;
};

const Case kCases[] = {
    // VT_EMPTY is 0, 0.0, false, date 0 and the empty text.
    {"EMPTY",
     {"I1:0", "I2:0", "I4:0", "I8:0", "UI1:0", "UI2:0", "UI4:0", "INT:0", "UINT:0", "R4:0", "R8:0",
      "DATE:0", "BSTR:", "BOOL:0", "NULL", "EMPTY"}},
    // VT_NULL converts to nothing but itself and VT_EMPTY.
    {"NULL",
     {"I4!TYPEMISMATCH", "I2!TYPEMISMATCH", "R8!TYPEMISMATCH", "BSTR!TYPEMISMATCH",
      "BOOL!TYPEMISMATCH", "DATE!TYPEMISMATCH", "UI1!TYPEMISMATCH", "NULL", "EMPTY"}},
    // Booleans are -1 and 0.
    {"BOOL:-1",
     {"I4:-1", "I2:-1", "I1:-1", "I8:-1", "INT:-1", "R8:-1", "R4:-1", "DATE:-1", "UI1:255",
      "UI2:65535", "UI4:4294967295", "BSTR:True"}},
    {"BOOL:0", {"BSTR:False", "I4:0"}},
    {"BOOL:1", {"BSTR:True", "I4:-1"}},
    // Numbers to booleans: any non-zero value is true.
    {"I4:1", {"BOOL:-1"}},
    {"I4:0", {"BOOL:0"}},
    {"R8:0.4", {"BOOL:-1"}},
    {"UI8:18446744073709551615", {"BOOL:-1"}},
    {"DATE:1.5", {"BOOL:-1"}},
    // Text to numbers.
    {"BSTR:42", {"I4:42", "I2:42", "UI1:42", "R8:42", "I8:42", "INT:42", "UINT:42", "BOOL:-1"}},
    {"BSTR:0", {"BOOL:0"}},
    {"BSTR: \t-1.5e3 ", {"R8:-1500"}},
    {"BSTR:-1.5e3", {"I4:-1500"}},
    {"BSTR:+7", {"I1:7"}},
    {"BSTR:.5", {"R8:0.5"}},
    {"BSTR:5.", {"R8:5"}},
    {"BSTR:1E2", {"UI2:100"}},
    {"BSTR:2.5", {"I4:2"}},
    {"BSTR:3.5", {"I4:4"}},
    {"BSTR:-2.5", {"I4:-2"}},
    {"BSTR:9223372036854775807", {"I8:9223372036854775807"}},
    {"BSTR:-9223372036854775808", {"I8:-9223372036854775808"}},
    {"BSTR:9223372036854775808", {"I8!OVERFLOW"}},
    {"BSTR:18446744073709551615", {"UI8:18446744073709551615"}},
    {"BSTR:1e-400", {"R8:0"}},
    {"BSTR:abc", {"I4!TYPEMISMATCH", "BOOL!TYPEMISMATCH"}},
    {"BSTR:", {"I4!TYPEMISMATCH"}},
    {"BSTR:   ", {"R8!TYPEMISMATCH"}},
    {"BSTR:12abc", {"I4!TYPEMISMATCH"}},
    {"BSTR:1 2", {"I4!TYPEMISMATCH"}},
    {"BSTR:--1", {"I4!TYPEMISMATCH"}},
    {"BSTR:1e", {"R8!TYPEMISMATCH"}},
    {"BSTR:.", {"R8!TYPEMISMATCH"}},
    {"BSTR:0x10", {"I4!TYPEMISMATCH"}},
    {"BSTR:1,5", {"R8!TYPEMISMATCH"}},
    {"BSTR:1e400", {"R8!OVERFLOW"}},
    {"BSTR:70000", {"I2!OVERFLOW"}},
    {"BSTR:-1", {"UI4!OVERFLOW"}},
    {"BSTR:1e39", {"R4!OVERFLOW"}},
    // Text to booleans takes the words in any case.
    {"BSTR:True", {"BOOL:-1", "I4!TYPEMISMATCH"}},
    {"BSTR: false ", {"BOOL:0"}},
    {"BSTR:TRUE", {"BOOL:-1"}},
    {"BSTR:fAlSe", {"BOOL:0"}},
    {"BSTR:yes", {"BOOL!TYPEMISMATCH"}},
    // Reals to integers round half to even.
    {"R8:2.5", {"I4:2"}},
    {"R8:3.5", {"I4:4"}},
    {"R8:-2.5", {"I4:-2"}},
    {"R8:-3.5", {"I4:-4"}},
    {"R8:0.5", {"I2:0"}},
    {"R8:1.5", {"I2:2"}},
    {"R8:2.4999", {"I4:2"}},
    {"R8:2.5000001", {"I4:3"}},
    {"R8:-0.5", {"I4:0"}},
    {"R8:254.5", {"UI1:254"}},
    {"R8:255.5", {"UI1!OVERFLOW"}},
    {"R8:-0.4", {"UI1:0"}},
    {"R8:-0.6", {"UI1!OVERFLOW"}},
    {"R4:2.5", {"I4:2"}},
    {"R8:2147483646.5", {"I4:2147483646"}},
    {"R8:2147483647.5", {"I4!OVERFLOW"}},
    {"R8:-2147483648.5", {"I4:-2147483648"}},
    {"R8:1e19", {"I8!OVERFLOW", "UI8:10000000000000000000"}},
    {"R8:1e300", {"I4!OVERFLOW"}},
    {"R8:1e39", {"R4!OVERFLOW"}},
    {"R8:0.25", {"R4:0.25"}},
    {"DATE:2.5", {"I4:2"}},
    {"DATE:3.5", {"I4:4"}},
    // Integer ranges.
    {"I4:70000", {"I2!OVERFLOW"}},
    {"I4:32767", {"I2:32767"}},
    {"I4:-32768", {"I2:-32768"}},
    {"I4:-32769", {"I2!OVERFLOW"}},
    {"I4:127", {"I1:127"}},
    {"I4:-129", {"I1!OVERFLOW"}},
    {"I4:300", {"UI1!OVERFLOW"}},
    {"I4:-1", {"UI4!OVERFLOW", "UINT!OVERFLOW"}},
    {"I4:65535", {"UI2:65535"}},
    {"I4:65536", {"UI2!OVERFLOW"}},
    {"UI1:200", {"I1!OVERFLOW"}},
    {"I1:-1", {"UI1!OVERFLOW"}},
    {"UINT:4294967295", {"INT!OVERFLOW", "I8:4294967295"}},
    {"UI4:2147483648", {"I4!OVERFLOW"}},
    {"I8:2147483648", {"I4!OVERFLOW"}},
    {"I8:-2147483648", {"INT:-2147483648"}},
    {"UI8:18446744073709551615", {"I8!OVERFLOW"}},
    {"I8:-1", {"UI8!OVERFLOW"}},
    {"I8:9223372036854775807", {"R8:9.2233720368547758e+18"}},
    {"I4:-5", {"R4:-5"}},
    // Numbers to text.
    {"I4:-42", {"BSTR:-42"}},
    {"I8:-9223372036854775808", {"BSTR:-9223372036854775808"}},
    {"UI8:18446744073709551615", {"BSTR:18446744073709551615"}},
    {"UI1:255", {"BSTR:255"}},
    {"I1:-128", {"BSTR:-128"}},
    {"R8:0.1", {"BSTR:0.1"}},
    {"R8:1e20", {"BSTR:1E+20"}},
    {"R8:1e15", {"BSTR:1E+15"}},
    {"R8:100000000000000", {"BSTR:100000000000000"}},
    {"R8:1e-5", {"BSTR:1E-05"}},
    {"R8:0.0001", {"BSTR:0.0001"}},
    {"R8:-2.5", {"BSTR:-2.5"}},
    {"R8:0.3333333333333333", {"BSTR:0.333333333333333"}},
    {"R8:123456789012345678", {"BSTR:1.23456789012346E+17"}},
    {"R8:-0", {"BSTR:0"}},
    {"R8:42", {"BSTR:42"}},
    {"R4:0.1", {"BSTR:0.1"}},
    {"R4:16777216", {"BSTR:1.677722E+07"}},
    {"R4:3.14159274", {"BSTR:3.141593"}},
    // Dates: as numbers, within the valid range, and as ISO text.
    {"R8:1.5", {"DATE:1.5"}},
    {"I4:43831", {"DATE:43831"}},
    {"I4:3000000", {"DATE!OVERFLOW"}},
    {"I4:-657435", {"DATE!OVERFLOW"}},
    {"R8:-657434.5", {"DATE:-657434.5"}},
    {"I4:-657434", {"DATE:-657434"}},
    {"DATE:1.75", {"R8:1.75"}},
    {"DATE:2.25", {"BSTR:1900-01-01 06:00:00"}},
    {"DATE:0.25", {"BSTR:06:00:00"}},
    {"DATE:43831", {"BSTR:2020-01-01"}},
    {"DATE:0", {"BSTR:00:00:00"}},
    {"DATE:-1.25", {"BSTR:1899-12-29 06:00:00"}},
    {"DATE:-657434", {"BSTR:0100-01-01"}},
    {"DATE:2958465.9999884259", {"BSTR:9999-12-31 23:59:59"}},
    {"DATE:1e9", {"BSTR!OVERFLOW"}},
    {"BSTR:2020-01-01", {"DATE:43831"}},
    {"BSTR:2020-01-01 12:00:00", {"DATE:43831.5"}},
    {"BSTR:2020-01-01T12:00:00.987", {"DATE:43831.5"}},
    {"BSTR: 2020-01-01 12:00 ", {"DATE:43831.5"}},
    {"BSTR:12:00", {"DATE:0.5"}},
    {"BSTR:06:00:00", {"DATE:0.25"}},
    {"BSTR:6:00", {"DATE:0.25"}},
    {"BSTR:1899-12-29 06:00:00", {"DATE:-1.25"}},
    {"BSTR:2020-13-01", {"DATE!TYPEMISMATCH"}},
    {"BSTR:2020-02-30", {"DATE!TYPEMISMATCH"}},
    {"BSTR:2021-02-29", {"DATE!TYPEMISMATCH"}},
    {"BSTR:2020-02-29", {"DATE:43890"}},
    {"BSTR:24:00", {"DATE!TYPEMISMATCH"}},
    {"BSTR:0099-12-31", {"DATE!TYPEMISMATCH"}},
    {"BSTR:2020-01-01X12:00", {"DATE!TYPEMISMATCH"}},
    {"BSTR:2020-1-1", {"DATE!TYPEMISMATCH"}},
    {"BSTR:42", {"DATE!TYPEMISMATCH"}},
    {"BSTR:", {"DATE!TYPEMISMATCH"}},
    {"BSTR:12:00:", {"DATE!TYPEMISMATCH"}},
    // Currency and decimal are exact (Describe shows VT_CY with its four
    // decimals, VT_DECIMAL with its scale).
    {"BSTR:12.5", {"CY:12.5000"}},
    {"BSTR:-0.00005", {"CY:0.0000"}},
    {"BSTR:0.00015", {"CY:0.0002"}},
    {"BSTR:922337203685477.5807", {"CY:922337203685477.5807"}},
    {"BSTR:922337203685477.5808", {"CY!OVERFLOW"}},
    {"BSTR:-922337203685477.5808", {"CY:-922337203685477.5808"}},
    {"BSTR:1e3", {"CY:1000.0000"}},
    {"BSTR:abc", {"CY!TYPEMISMATCH"}},
    {"I4:-7", {"CY:-7.0000"}},
    {"R8:0.1", {"CY:0.1000"}},
    {"R8:2.00005", {"CY:2.0000"}},
    {"R8:1e300", {"CY!OVERFLOW"}},
    {"BOOL:-1", {"CY:-1.0000"}},
    {"CY:2.5", {"I4:2"}},
    {"CY:3.5", {"I4:4"}},
    {"CY:-2.5", {"I2:-2"}},
    {"CY:12.34", {"BSTR:12.34"}},
    {"CY:-0.0001", {"BSTR:-0.0001"}},
    {"CY:5", {"BSTR:5"}},
    {"CY:1.25", {"R8:1.25"}},
    {"CY:0", {"BOOL:0"}},
    {"CY:1.5", {"DATE:1.5"}},
    {"CY:12.5", {"DEC:12.5"}},
    {"CY:-1", {"UI1!OVERFLOW"}},
    {"BSTR:1.50", {"DEC:1.5"}},
    {"BSTR:-0.000", {"DEC:0"}},
    {"BSTR: 79228162514264337593543950335 ", {"DEC:79228162514264337593543950335"}},
    {"BSTR:79228162514264337593543950336", {"DEC!OVERFLOW"}},
    {"BSTR:1e-28", {"DEC:0.0000000000000000000000000001"}},
    {"BSTR:0.00000000000000000000000000015", {"DEC:0.0000000000000000000000000002"}},
    {"BSTR:1e-40", {"DEC:0"}},
    {"BSTR:123456789.123456789e3", {"DEC:123456789123.456789"}},
    {"BSTR:1.5.", {"DEC!TYPEMISMATCH"}},
    {"R8:0.1", {"DEC:0.1"}},
    {"R8:1e20", {"DEC:100000000000000000000"}},
    {"R8:0.3333333333333333", {"DEC:0.333333333333333"}},
    {"R4:0.1", {"DEC:0.1"}},
    {"R8:1e29", {"DEC!OVERFLOW"}},
    {"I8:-9223372036854775808", {"DEC:-9223372036854775808"}},
    {"UI8:18446744073709551615", {"DEC:18446744073709551615"}},
    {"DEC:2.5", {"I4:2"}},
    {"DEC:-3.5", {"I4:-4"}},
    {"DEC:-0.4", {"UI1:0"}},
    {"DEC:-0.6", {"UI1!OVERFLOW"}},
    {"DEC:79228162514264337593543950335", {"I8!OVERFLOW", "R8:7.9228162514264338e+28"}},
    {"DEC:12.50", {"BSTR:12.5"}},
    {"DEC:-0.001", {"BSTR:-0.001"}},
    {"DEC:0.1", {"R8:0.10000000000000001", "R4:0.100000001"}},
    {"DEC:0.5", {"BOOL:-1"}},
    {"DEC:43831.5", {"DATE:43831.5"}},
    {"DEC:12.34567", {"CY:12.3457"}},
    {"DEC:1000000000000000", {"CY!OVERFLOW"}},
    {"EMPTY", {"DEC:0", "CY:0.0000"}},
    {"NULL", {"DEC!TYPEMISMATCH"}},
    {"DATE:1.25", {"CY:1.2500"}},
};

}  // namespace

TEST(VariantChangeType, ConversionTable) {
  for (const Case& c : kCases) {
    for (const std::string result : c.results) {
      const size_t end = result.find_first_of(":!");
      const std::string target = result.substr(0, end);
      const std::string expected =
          end != std::string::npos && result[end] == '!' ? result.substr(end) : result;
      EXPECT_EQ(Convert(c.source, TypeOf(target)), expected) << c.source << " -> " << target;
    }
  }
}

// Every pairing of the supported types: the result has the requested type
// or one of the documented failures; converting in place gives the same
// result as converting into another VARIANT; a failure leaves the
// destination untouched.
TEST(VariantChangeType, EveryPairBehavesTheSameInPlaceAndLeavesFailuresUntouched) {
  const char* samples[] = {"EMPTY",          "NULL",           "I1:-7",         "I2:-300",
                           "I4:123456",      "I8:-5000000000", "UI1:200",       "UI2:60000",
                           "UI4:4000000000", "UI8:7",          "INT:-9",        "UINT:9",
                           "R4:1.5",         "R8:-2.5",        "DATE:43831.25", "BSTR:12",
                           "BOOL:-1",        "CY:-12.5",       "DEC:1234.5678"};
  for (const char* sample : samples) {
    for (const auto& target : kTypes) {
      SCOPED_TRACE(std::string(sample) + " -> " + target.name);
      VARIANT src = Make(sample);
      VARIANT dst;
      VariantInit(&dst);
      dst.vt = VT_I4;
      dst.lVal = 424242;  // sentinel
      HRESULT hr = VariantChangeType(&dst, &src, 0, target.vt);
      EXPECT_TRUE(hr == S_OK || hr == DISP_E_TYPEMISMATCH || hr == DISP_E_OVERFLOW) << Outcome(hr);
      std::string separate = SUCCEEDED(hr) ? Describe(dst) : Outcome(hr);
      if (SUCCEEDED(hr)) {
        EXPECT_EQ(dst.vt, target.vt);
      } else {
        EXPECT_EQ(dst.vt, VT_I4);
        EXPECT_EQ(dst.lVal, 424242);
      }
      if (std::string(sample) == "NULL" && target.vt != VT_NULL && target.vt != VT_EMPTY) {
        EXPECT_EQ(hr, DISP_E_TYPEMISMATCH);
      } else if (target.vt == VT_EMPTY || target.vt == VT_BSTR || std::string(sample) == "EMPTY") {
        EXPECT_EQ(hr, S_OK);  // everything but NULL has a text form and an empty form
      }
      // The source is never changed by a separate conversion.
      VARIANT original = Make(sample);
      EXPECT_EQ(Describe(src), Describe(original));
      VariantClear(&original);

      HRESULT inPlace = VariantChangeType(&src, &src, 0, target.vt);
      EXPECT_EQ(inPlace, hr);
      if (SUCCEEDED(inPlace)) {
        EXPECT_EQ(Describe(src), separate);
      } else {
        VARIANT again = Make(sample);
        EXPECT_EQ(Describe(src), Describe(again));  // untouched on failure
        VariantClear(&again);
      }
      VariantClear(&src);
      VariantClear(&dst);
    }
  }
}

TEST(VariantChangeType, InPlaceTextToNumberFreesTheText) {
  VARIANT v = Make("BSTR:42");
  ASSERT_EQ(VariantChangeType(&v, &v, 0, VT_I4), S_OK);
  EXPECT_EQ(v.vt, VT_I4);
  EXPECT_EQ(v.lVal, 42);  // the BSTR was released (LeakSanitizer checks)

  v = Make("BSTR:abc");
  BSTR before = v.bstrVal;
  EXPECT_EQ(VariantChangeType(&v, &v, 0, VT_I4), DISP_E_TYPEMISMATCH);
  EXPECT_EQ(v.vt, VT_BSTR);
  EXPECT_EQ(v.bstrVal, before);
  VariantClear(&v);
}

TEST(VariantChangeType, FailureKeepsAnOwningDestination) {
  VARIANT dst = Make("BSTR:keep me");
  BSTR before = dst.bstrVal;
  VARIANT src = Make("I4:70000");
  EXPECT_EQ(VariantChangeType(&dst, &src, 0, VT_I2), DISP_E_OVERFLOW);
  EXPECT_EQ(dst.vt, VT_BSTR);
  EXPECT_EQ(dst.bstrVal, before);
  // On success the old contents are released.
  EXPECT_EQ(VariantChangeType(&dst, &src, 0, VT_BSTR), S_OK);
  EXPECT_EQ(Describe(dst), "BSTR:70000");
  VariantClear(&dst);
}

TEST(VariantChangeType, ReferencesUnsupportedAndUnknownTypes) {
  LONG target = 2500;
  VARIANT ref;
  VariantInit(&ref);
  ref.vt = VT_BYREF | VT_I4;
  ref.plVal = &target;
  VARIANT out;
  VariantInit(&out);
  ASSERT_EQ(VariantChangeType(&out, &ref, 0, VT_BSTR), S_OK);
  EXPECT_EQ(Describe(out), "BSTR:2500");
  VariantClear(&out);

  VARIANT src = Make("I4:1");
  EXPECT_EQ(VariantChangeType(&out, &src, 0, VT_DISPATCH), DISP_E_TYPEMISMATCH);
  EXPECT_EQ(VariantChangeType(&out, &src, 0, VT_UNKNOWN), DISP_E_TYPEMISMATCH);
  EXPECT_EQ(VariantChangeType(&out, &src, 0, VT_ARRAY | VT_UI1), DISP_E_TYPEMISMATCH);
  EXPECT_EQ(VariantChangeType(&out, &src, 0, 15), DISP_E_BADVARTYPE);
  EXPECT_EQ(VariantChangeType(&out, &src, 0, 0x1FFF), DISP_E_BADVARTYPE);
  EXPECT_EQ(VariantChangeType(nullptr, &src, 0, VT_I4), E_INVALIDARG);
  EXPECT_EQ(VariantChangeTypeEx(&out, &src, 1033, 0, VT_BSTR), S_OK);
  EXPECT_EQ(Describe(out), "BSTR:1");
  VariantClear(&out);

  // Text beyond ASCII is no number.
  VARIANT text = korvo::test::BstrVariant(u"\u0664\u0662");  // Arabic-Indic digits
  EXPECT_EQ(VariantChangeType(&out, &text, 0, VT_I4), DISP_E_TYPEMISMATCH);
  VariantClear(&text);
}

// Random values through their text form and back: integers exactly, reals
// to their 15 significant digits, decimals exactly. The seed is printed so
// a failure can be replayed.
TEST(VariantChangeType, RandomValuesRoundTripThroughText) {
  unsigned seed = 20261206;
  SCOPED_TRACE("seed " + std::to_string(seed));
  std::mt19937_64 random(seed);
  auto roundTrip = [](VARIANT v, VARTYPE vt) {
    EXPECT_EQ(VariantChangeType(&v, &v, 0, VT_BSTR), S_OK);
    EXPECT_EQ(VariantChangeType(&v, &v, 0, vt), S_OK);
    return v;
  };
  for (int i = 0; i < 20000; ++i) {
    VARIANT v;
    VariantInit(&v);
    v.vt = VT_I8;
    v.llVal = static_cast<long long>(random());
    VARIANT back = roundTrip(v, VT_I8);
    ASSERT_EQ(back.llVal, v.llVal);

    v.vt = VT_R8;
    std::uniform_real_distribution<double> mantissa(-10, 10);
    std::uniform_int_distribution<int> exponent(-300, 300);
    v.dblVal = mantissa(random) * std::pow(10.0, exponent(random));
    back = roundTrip(v, VT_R8);
    char expected[64];
    std::snprintf(expected, sizeof expected, "%.14e", v.dblVal);
    ASSERT_EQ(back.dblVal, std::strtod(expected, nullptr)) << v.dblVal;

    v.vt = VT_DECIMAL;
    unsigned __int128 m = (static_cast<unsigned __int128>(random() >> 32) << 64) | random();
    v.decVal.Hi32 = static_cast<ULONG>(m >> 64);
    v.decVal.Lo64 = static_cast<ULONGLONG>(m);
    v.decVal.scale = static_cast<BYTE>(random() % 29);
    v.decVal.sign = random() % 2 ? DECIMAL_NEG : 0;
    v.vt = VT_DECIMAL;
    VARIANT original = v;
    back = roundTrip(v, VT_DECIMAL);
    // Equal values: the text drops trailing zeros, so compare the texts.
    VARIANT a, b;
    VariantInit(&a);
    VariantInit(&b);
    ASSERT_EQ(VariantChangeType(&a, &original, 0, VT_BSTR), S_OK);
    ASSERT_EQ(VariantChangeType(&b, &back, 0, VT_BSTR), S_OK);
    ASSERT_EQ(Describe(a), Describe(b));
    VariantClear(&a);
    VariantClear(&b);
  }
}
