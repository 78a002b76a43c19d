// Tests of the conversions of column values (VARIANTs) into the library's
// types, and of the scalar expressions evaluated on the connection, on
// SQLite databases of both product families.
#include <korvo/com/oledate.h>
#include <korvo/com/variant_t.h>

#include <cstring>
#include <functional>
#include <utility>

#include "recordset/field_test_support.h"

namespace korvo::test {
namespace {

_variant_t Date(WORD year, WORD month, WORD day, WORD hour = 0, WORD minute = 0, WORD second = 0) {
  SYSTEMTIME fields{year, month, 0, day, hour, minute, second, 0};
  _variant_t v;
  v.vt = VT_DATE;
  EXPECT_TRUE(SystemTimeToVariantTime(&fields, &v.date));
  return v;
}

_variant_t Bool(bool value) {
  _variant_t v;
  v.vt = VT_BOOL;
  v.boolVal = value ? VARIANT_TRUE : VARIANT_FALSE;
  return v;
}

_variant_t I8(long long value) {
  _variant_t v;
  v.vt = VT_I8;
  v.llVal = value;
  return v;
}

short Code(const std::unique_ptr<CDBException>& e) { return e ? e->m_nReturnCode : 0; }

// A recordset whose ThrowDBException returns, as an override may.
class LenientRecordset : public ProbeRecordset {
 public:
  using ProbeRecordset::ProbeRecordset;
  void ThrowDBException(short nReturnCode) override { codes.push_back(nReturnCode); }
  std::vector<short> codes;
};

using VariantConversionTest = RoutedFieldTest;

TEST_P(VariantConversionTest, IntegersReadDirectlyOrConvertInPlace) {
  ProbeRecordset rs(nullptr);
  // The conversions of a copy (each converts its argument in place).
  auto as_int = [&](_variant_t v) { return rs.m_VariantToInt(v); };
  auto as_long = [&](_variant_t v) { return rs.m_VariantToLong(v); };
  auto as_bool = [&](_variant_t v) { return rs.m_VariantToBool(v); };
  EXPECT_EQ(as_int(_variant_t(static_cast<short>(-5), VT_I2)), -5);
  _variant_t v = Bool(true);
  EXPECT_EQ(rs.m_VariantToInt(v), 1);
  EXPECT_EQ(v.vt, VT_BOOL);  // read directly, not changed
  EXPECT_EQ(rs.m_VariantToLong(v), -1);
  EXPECT_EQ(v.vt, VT_I4);
  EXPECT_EQ(as_int(Bool(false)), 0);

  v = _variant_t(u"42");
  EXPECT_EQ(rs.m_VariantToInt(v), 42);
  EXPECT_EQ(v.vt, VT_I4);  // the caller's variant now holds the target type
  EXPECT_EQ(as_long(_variant_t(u" -7 ")), -7);
  EXPECT_EQ(as_int(_variant_t(2.5)), 2);  // half to even
  EXPECT_EQ(as_long(_variant_t(3.5)), 4);
  // 64-bit values (SQLite integers) are fine while they fit in 32 bits.
  EXPECT_EQ(as_long(I8(-2147483648LL)), -2147483648L);
  EXPECT_EQ(as_int(I8(2147483647LL)), 2147483647);

  EXPECT_EQ(as_bool(_variant_t(u"1")), 1);
  EXPECT_EQ(as_bool(_variant_t(5L)), 1);
  EXPECT_EQ(as_bool(_variant_t(0L)), 0);
  v = _variant_t(u"2.25");
  EXPECT_EQ(rs.m_VariantToDouble(v), 2.25);
  unsigned char byte = 0;
  v = _variant_t(200L);
  rs.m_VariantToByte(v, byte);
  EXPECT_EQ(byte, 200);
  EXPECT_EQ(v.vt, VT_UI1);
}

TEST_P(VariantConversionTest, EmptyConvertsAndNullOrOverflowFailsWith1029) {
  ProbeRecordset rs(nullptr);
  _variant_t v;
  EXPECT_EQ(rs.m_VariantToLong(v), 0);
  v.Clear();
  EXPECT_EQ(rs.m_VariantToDouble(v), 0.0);
  v.Clear();
  CTString text("old");
  rs.m_VariantToCTString(v, text);
  EXPECT_TRUE(text.IsEmpty());

  _variant_t null;
  null.vt = VT_NULL;
  CTString s;
  unsigned char b = 0;
  CTTime when;
  const std::pair<const char*, std::function<void(_variant_t&)>> conversions[] = {
      {"NULL to int", [&](_variant_t&) { rs.m_VariantToInt(null); }},
      {"NULL to text", [&](_variant_t&) { rs.m_VariantToCTString(null, s); }},
      // 32-bit targets: a 64-bit value that does not fit is an overflow.
      {"5000000000 to long", [&](_variant_t& x) { rs.m_VariantToLong(x = I8(5000000000LL)); }},
      {"-2147483649 to int", [&](_variant_t& x) { rs.m_VariantToInt(x = I8(-2147483649LL)); }},
      {"text to double", [&](_variant_t& x) { rs.m_VariantToDouble(x = _variant_t(u"twelve")); }},
      {"300 to byte", [&](_variant_t& x) { rs.m_VariantToByte(x = _variant_t(300L), b); }},
      {"text to date",
       [&](_variant_t& x) { rs.m_VariantToCTTime(x = _variant_t(u"not a date"), when); }},
  };
  for (const auto& [what, convert] : conversions) {
    _variant_t x;
    auto e = CatchDB([&] { convert(x); });
    EXPECT_EQ(Code(e), 1029) << what;
    if (e) {
      EXPECT_STREQ(e->m_strErrorText, "Error come from KORVO library") << what;
    }
  }
}

TEST_P(VariantConversionTest, AReturningThrowLeavesZeroAndTheOutputUntouched) {
  LenientRecordset rs(nullptr);
  _variant_t v(u"x");
  EXPECT_EQ(rs.m_VariantToLong(v), 0);
  v = _variant_t(u"x");
  EXPECT_EQ(rs.m_VariantToDouble(v), 0.0);
  unsigned char byte = 9;
  v = _variant_t(u"x");
  rs.m_VariantToByte(v, byte);
  EXPECT_EQ(byte, 9);
  TIMESTAMP_STRUCT ts{1, 2, 3, 4, 5, 6, 7};
  v = _variant_t(u"x");
  rs.m_VariantToTimestampStruct(v, &ts);
  EXPECT_EQ(ts.year, 1);
  EXPECT_EQ(ts.fraction, 7u);
  EXPECT_EQ(rs.codes, (std::vector<short>{1029, 1029, 1029, 1029}));
}

TEST_P(VariantConversionTest, DatesSplitIntoTimeStructuresAndLocalTime) {
  ProbeRecordset rs(nullptr);
  _variant_t v = Date(2020, 6, 15, 12, 30, 45);
  TIMESTAMP_STRUCT ts{};
  ts.fraction = 999;
  rs.m_VariantToTimestampStruct(v, &ts);
  EXPECT_EQ(ts.year, 2020);
  EXPECT_EQ(ts.month, 6);
  EXPECT_EQ(ts.day, 15);
  EXPECT_EQ(ts.hour, 12);
  EXPECT_EQ(ts.minute, 30);
  EXPECT_EQ(ts.second, 45);
  EXPECT_EQ(ts.fraction, 0u);

  SYSTEMTIME st{};
  v = Date(2001, 2, 3, 4, 5, 6);
  rs.m_VariantToSYSTEMTIME(v, &st);
  EXPECT_EQ(st.wYear, 2001);
  EXPECT_EQ(st.wDay, 3);
  EXPECT_EQ(st.wSecond, 6);

  // The date is taken as local time.
  CTTime when;
  v = Date(2020, 6, 15, 12, 0, 0);
  rs.m_VariantToCTTime(v, when);
  EXPECT_EQ(when.GetTime(), CTTime(2020, 6, 15, 12, 0, 0).GetTime());
  EXPECT_EQ(when.GetHour(), 12);

  // Before 1900 (and so the OLE date 0, 1899-12-30) is the time 0.
  when = CTTime(2020, 1, 1, 0, 0, 0);
  v = Date(1899, 12, 31);
  rs.m_VariantToCTTime(v, when);
  EXPECT_EQ(when.GetTime(), 0);

  // Text in ISO form converts to a date in place.
  v = _variant_t(u"2019-03-04 05:06:07");
  rs.m_VariantToTimestampStruct(v, &ts);
  EXPECT_EQ(v.vt, VT_DATE);
  EXPECT_EQ(ts.year, 2019);
  EXPECT_EQ(ts.second, 7);
}

TEST_P(VariantConversionTest, TextBuffersTruncateAsTheirCopyRulesSay) {
  ProbeRecordset rs(nullptr);
  // Narrow: at most size - 1 bytes, always terminated.
  char narrow[8];
  std::memset(narrow, 'Z', sizeof narrow);
  char* buffer = narrow;
  _variant_t v(u"abcdef");
  rs.m_VariantToLPSTR(v, buffer, 4);
  EXPECT_STREQ(narrow, "abc");
  EXPECT_EQ(narrow[4], 'Z');
  v = _variant_t(u"xy");
  rs.m_VariantToLPSTR(v, buffer, 8);
  EXPECT_STREQ(narrow, "xy");
  v = _variant_t(123L);
  rs.m_VariantToLPSTR(v, buffer, 8);
  EXPECT_STREQ(narrow, "123");

  // Wide: at most n characters, zero-padded, unterminated when full.
  WCHAR wide[5] = {u'Q', u'Q', u'Q', u'Q', u'Q'};
  v = _variant_t(u"abcdef");
  rs.m_VariantToWchar(v, wide, 3);
  EXPECT_EQ(std::u16string(wide, 5), std::u16string(u"abcQQ"));
  v = _variant_t(u"z");
  rs.m_VariantToWchar(v, wide, 3);
  EXPECT_EQ(std::u16string(wide, 5), std::u16string(u"z\0\0QQ", 5));
  _variant_t nullText;
  nullText.vt = VT_BSTR;
  nullText.bstrVal = nullptr;
  rs.m_VariantToWchar(nullText, wide, 4);
  EXPECT_EQ(std::u16string(wide, 5), std::u16string(u"\0\0\0\0Q", 5));
  nullText.vt = VT_EMPTY;
}

TEST_P(VariantConversionTest, StringsAndTheirDateAwareForms) {
  ProbeRecordset rs(nullptr);
  CTString narrow;
  _variant_t v(u"caf\u00e9");
  rs.m_VariantToCTString(v, narrow);
  EXPECT_STREQ(narrow, "caf\xc3\xa9");  // the ANSI code page is UTF-8 here
  v = _variant_t(17L);
  rs.m_VariantToCTString(v, narrow);
  EXPECT_STREQ(narrow, "17");
  EXPECT_EQ(v.vt, VT_BSTR);

  CTWString wide(u"kept");
  v = _variant_t(2.5);
  rs.m_VariantToCTWString(v, wide);
  EXPECT_EQ(U16(wide), u"2.5");

  // "2" forms: dates with milliseconds, text as it is, anything else empty.
  v = Date(2020, 6, 15, 12, 0, 0);
  rs.m_VariantToCTString2(v, narrow);
  EXPECT_STREQ(narrow, "2020-06-15 12:00:00.000");
  EXPECT_EQ(narrow.GetLength(), 23);
  rs.m_VariantToCTWString2(v, wide);
  EXPECT_EQ(U16(wide), u"2020-06-15 12:00:00.000");
  v = _variant_t(u"plain");
  rs.m_VariantToCTString2(v, narrow);
  EXPECT_STREQ(narrow, "plain");
  v = _variant_t(5L);
  rs.m_VariantToCTString2(v, narrow);
  EXPECT_TRUE(narrow.IsEmpty());
  EXPECT_EQ(v.vt, VT_I4);  // never converted
  wide = u"x";
  rs.m_VariantToCTWString2(v, wide);
  EXPECT_TRUE(wide.IsEmpty());
}

// ------------------------------------------------------------ scalar expressions

TEST_P(VariantConversionTest, ScalarExpressionsRunInTheFormOfEachProductFamily) {
  // Product type 2 ("SQLite"): SELECT ... AS RES FROM DUAL.
  {
    CDatabase db;
    ASSERT_EQ(db.OpenEx(Connect().c_str(), 0), 1);
    ASSERT_EQ(db.GetDbmsType(), CDatabase::dbmsTypeOther);
    ProbeRecordset rs(&db);
    _variant_t result;
    CTString expression("6 * 7");
    rs.m_SetScalareFunction(result, expression);
    EXPECT_EQ(static_cast<long>(result), 42);
    CTWString wide(u"'x' || 'y'");
    rs.m_SetScalareFunction(result, wide);
    ASSERT_EQ(result.vt, VT_BSTR);
    EXPECT_EQ(U16(result.bstrVal), u"xy");
    CTString null("NULL");
    rs.m_SetScalareFunction(result, null);
    EXPECT_EQ(result.vt, VT_NULL);
    // The expression is evaluated FROM DUAL: its column is in scope.
    CTString dualColumn("DUMMY");
    rs.m_SetScalareFunction(result, dualColumn);
    EXPECT_STREQ(static_cast<const char*>(_bstr_t(result)), "X");
    db.Close();
  }
  // Product type 1 (a name beginning with M): SELECT ... AS RES.
  {
    CDatabase db;
    ASSERT_EQ(db.OpenEx(Connect("DBMS Name=Microsoft SQL Server").c_str(), 0), 1);
    ASSERT_EQ(db.GetDbmsType(), CDatabase::dbmsTypeM);
    ProbeRecordset rs(&db);
    _variant_t result;
    CTString expression("upper('abc')");
    rs.m_SetScalareFunction(result, expression);
    EXPECT_STREQ(static_cast<const char*>(_bstr_t(result)), "ABC");
    // No table: DUAL's column is not in scope.
    CTString dualColumn("DUMMY");
    EXPECT_THROW(rs.m_SetScalareFunction(result, dualColumn), _com_error);
    db.Close();
  }
}

TEST_P(VariantConversionTest, ScalarExpressionErrorsLeaveAsComErrors) {
  CDatabase& db = Db();
  ProbeRecordset rs(&db);
  _variant_t result;
  CTString bad("no_such_function(1)");
  EXPECT_THROW(rs.m_SetScalareFunction(result, bad), _com_error);
  ProbeRecordset unbound(nullptr);
  CTString fine("1");
  EXPECT_THROW(unbound.m_SetScalareFunction(result, fine), _com_error);
}

TEST_P(VariantConversionTest, ScalarFunctionTracesItsNameButNotTheStatement) {
  TraceOn();
  CDatabase& db = Db();
  ProbeRecordset rs(&db);
  _variant_t result;
  CTString expression("'secret' || 1");
  rs.m_SetScalareFunction(result, expression);
  const auto trace = Trace();
  EXPECT_GE(FindTrace(trace, "CRecordset::m_SetScalareFunction"), 0);
  for (const auto& line : trace) EXPECT_EQ(line.find("secret"), std::string::npos) << line;
}

KORVO_OVER_BOTH_ROUTES(VariantConversionTest);

}  // namespace
}  // namespace korvo::test
