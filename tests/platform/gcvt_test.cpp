// tests/platform/gcvt_test.cpp: _gcvt's text, character for character,
// against the documented results of the Windows C runtime, and its layout
// rules over many values.
#include <gtest/gtest.h>
#include <korvo/platform/gcvt_internal.h>

#include <cfloat>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <limits>
#include <random>
#include <string>

namespace korvo::platform {
namespace {

std::string Gcvt(double value, int digits) {
  char buffer[kGcvtBufferSize];
  return _gcvt(value, digits, buffer);
}

TEST(Gcvt, DocumentedTwelveDigitSequence) {
  // Each step multiplies by ten, as the documented example does.
  double value = -1234567890.123;
  for (const char* text :
       {"-1234567890.12", "-12345678901.2", "-123456789012.", "-1.23456789012e+012"}) {
    EXPECT_EQ(Gcvt(value, 12), text);
    value *= 10;
  }
  EXPECT_EQ(Gcvt(-12.3456789012, 12), "-12.3456789012");
  EXPECT_EQ(Gcvt(-0.123456789012, 12), "-0.123456789012");
  EXPECT_EQ(Gcvt(-0.0123456789012, 12), "-1.23456789012e-002");
}

TEST(Gcvt, PointStaysAndTrailingZerosGo) {
  EXPECT_EQ(Gcvt(1.0, 15), "1.");
  EXPECT_EQ(Gcvt(100.0, 15), "100.");
  EXPECT_EQ(Gcvt(0.05, 15), "5.e-002");
  EXPECT_EQ(Gcvt(1e20, 15), "1.e+020");
  EXPECT_EQ(Gcvt(0.0, 15), "0.");
  EXPECT_EQ(Gcvt(-0.0, 15), "-0.");
  EXPECT_EQ(Gcvt(1.0 / 3.0, 15), "0.333333333333333");
  EXPECT_EQ(Gcvt(1.0f / 3.0f, 6), "0.333333");
  EXPECT_EQ(Gcvt(0.1, 15), "0.1");
  EXPECT_EQ(Gcvt(0.01, 15), "1.e-002");
  EXPECT_EQ(Gcvt(2.5, 15), "2.5");
  EXPECT_EQ(Gcvt(-1500.0, 15), "-1500.");
}

TEST(Gcvt, FormChangesAtTheDigitCountAndRoundingCarries) {
  // The exponent of the rounded value decides: digits - 1 is still plain.
  EXPECT_EQ(Gcvt(123456.0, 6), "123456.");
  EXPECT_EQ(Gcvt(1234567.0, 6), "1.23457e+006");
  EXPECT_EQ(Gcvt(100.0, 2), "1.e+002");
  EXPECT_EQ(Gcvt(99.0, 2), "99.");
  // A carry moves the exponent: 999999.5 rounds to 1000000 at 6 digits.
  EXPECT_EQ(Gcvt(999999.5, 6), "1.e+006");
  EXPECT_EQ(Gcvt(9.9999999, 6), "10.");
  EXPECT_EQ(Gcvt(0.099999999, 6), "0.1");
  EXPECT_EQ(Gcvt(0.0099999999, 6), "1.e-002");
  // Three exponent digits always, and no more than the range needs.
  EXPECT_EQ(Gcvt(1e300, 15), "1.e+300");
  EXPECT_EQ(Gcvt(-1e-300, 15), "-1.e-300");
  EXPECT_EQ(Gcvt(DBL_MAX, 15), "1.79769313486232e+308");
  EXPECT_EQ(Gcvt(DBL_MIN, 15), "2.2250738585072e-308");
  EXPECT_EQ(Gcvt(std::numeric_limits<double>::denorm_min(), 15), "4.94065645841247e-324");
}

TEST(Gcvt, DigitCountIsClampedAndSpecialValuesAreWords) {
  EXPECT_EQ(Gcvt(2.75, 0), Gcvt(2.75, 1));
  EXPECT_EQ(Gcvt(2.75, -5), "3.");
  EXPECT_EQ(Gcvt(0.1, 40), Gcvt(0.1, 17));
  EXPECT_EQ(Gcvt(0.1, 17), "0.10000000000000001");
  // The longest text fits the buffer.
  EXPECT_EQ(Gcvt(-DBL_MAX, 17), "-1.7976931348623157e+308");
  EXPECT_LT(Gcvt(-DBL_MAX, 17).size(), kGcvtBufferSize);

  EXPECT_EQ(Gcvt(HUGE_VAL, 15), "inf");
  EXPECT_EQ(Gcvt(-HUGE_VAL, 15), "-inf");
  EXPECT_EQ(Gcvt(std::numeric_limits<double>::quiet_NaN(), 15), "nan");
  EXPECT_EQ(Gcvt(-std::numeric_limits<double>::quiet_NaN(), 6), "nan");
}

// Over random values of every magnitude: the text reads back as the value
// rounded to `digits` (as %e rounds it), always has a point, has no
// trailing zero digit, and takes the exponent form exactly when the rounded
// exponent is below -1 or at least `digits`.
TEST(Gcvt, LayoutRulesHoldForRandomValues) {
  const unsigned seed = 20261206;
  std::printf("Gcvt random seed %u\n", seed);
  std::mt19937_64 random(seed);
  std::uniform_real_distribution<double> mantissa(-10.0, 10.0);
  std::uniform_int_distribution<int> exponent(-320, 300);
  std::uniform_int_distribution<int> digitCount(1, 17);
  int checked = 0;
  for (int i = 0; i < 20000; ++i) {
    const double value = mantissa(random) * std::pow(10.0, exponent(random));
    const int digits = digitCount(random);
    const std::string text = Gcvt(value, digits);
    SCOPED_TRACE(testing::Message() << "value " << value << " digits " << digits << " -> " << text);

    char rounded[64];
    std::snprintf(rounded, sizeof rounded, "%.*e", digits - 1, value);
    ASSERT_EQ(std::strtod(text.c_str(), nullptr), std::strtod(rounded, nullptr));
    const int roundedExponent = std::atoi(std::strchr(rounded, 'e') + 1);

    ASSERT_NE(text.find('.'), std::string::npos);
    const size_t e = text.find('e');
    const bool exponentForm = roundedExponent < -1 || roundedExponent >= digits;
    ASSERT_EQ(e != std::string::npos, exponentForm);
    const std::string significand = exponentForm ? text.substr(0, e) : text;
    if (significand.back() != '.') {
      ASSERT_NE(significand.back(), '0');
    }
    if (exponentForm) {
      ASSERT_EQ(text.size() - e, 5u);  // e, sign, three digits
      ASSERT_EQ(significand[significand[0] == '-' ? 2 : 1], '.');
    }
    ++checked;
  }
  EXPECT_EQ(checked, 20000);
}

}  // namespace
}  // namespace korvo::platform
