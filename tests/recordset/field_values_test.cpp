// Tests of typed access to the current row by column number: getters,
// bulk getters, comparers, setters and the column description, on ADO
// recordsets over SQLite files attached to a CRecordset.
#include <korvo/com/oledate.h>

#include <climits>

#include "recordset/field_test_support.h"

namespace korvo::test {
namespace {

class FieldValueTest : public RoutedFieldTest {
 protected:
  void SetUp() override {
    RoutedFieldTest::SetUp();
    Exec(
        "CREATE TABLE v (id INTEGER PRIMARY KEY, n INTEGER, big INTEGER, flag BOOLEAN,"
        " name VARCHAR(40), amount DOUBLE, stamp DATETIME, small TINYINT);"
        // TINYINT is an unsigned byte to ADO: 200 reads as 200.
        "INSERT INTO v VALUES (1, 123, 5000000000, 1, 'abc', 2.5, '2020-06-15 12:00:00', 200);"
        "INSERT INTO v VALUES (2, NULL, NULL, NULL, NULL, NULL, NULL, NULL);"
        "INSERT INTO v VALUES (3, -7, 0, 0, 'caf\xc3\xa9', -1.25, '1999-12-31 23:59:59', 0)");
  }

  // A recordset attached to the rows of v ordered by id, on row `row`.
  std::unique_ptr<ProbeRecordset> Attach(int row = 1) {
    auto rs = std::make_unique<ProbeRecordset>(&Db());
    _RecordsetPtr ado =
        OpenAdo("SELECT id, n, big, flag, name, amount, stamp, small FROM v ORDER BY id");
    for (int i = 1; i < row; ++i) ado->MoveNext();
    rs->SetAdoRecordSet(ado);
    return rs;
  }

  enum Column : short { kId = 1, kN, kBig, kFlag, kName, kAmount, kStamp, kSmall };
};

short Code(const std::unique_ptr<CDBException>& e) { return e ? e->m_nReturnCode : 0; }

// What GetFieldValue (GetFieldValue2, GetFieldValueBool) of `key` leaves in
// a T that held `start`.
template <class T, class Key>
T Get(ProbeRecordset& rs, Key key, T start = T()) {
  rs.GetFieldValue(key, start);
  return start;
}
template <class T>
T Get2(ProbeRecordset& rs, short column, T start = T()) {
  rs.GetFieldValue2(column, start);
  return start;
}
int GetBool(ProbeRecordset& rs, short column, int start = 7) {
  rs.GetFieldValueBool(column, start);
  return start;
}

TEST_P(FieldValueTest, GettersConvertEachColumnToTheTargetType) {
  auto rs = Attach();
  EXPECT_EQ(Get<int>(*rs, kN), 123);
  EXPECT_EQ(Get<long>(*rs, kN), 123);
  EXPECT_EQ(Get<double>(*rs, kAmount), 2.5);
  EXPECT_EQ(Get<double>(*rs, kN), 123.0);
  EXPECT_EQ(Get<unsigned char>(*rs, kSmall), 200);
  EXPECT_STREQ(Get<CTString>(*rs, kName), "abc");
  EXPECT_STREQ(Get<CTString>(*rs, kN), "123");
  EXPECT_EQ(U16(Get<CTWString>(*rs, kName)), u"abc");

  // By name, without regard to case.
  EXPECT_STREQ(Get<CTString>(*rs, "NAME"), "abc");
  EXPECT_EQ(U16(Get<CTWString>(*rs, "Name")), u"abc");
  EXPECT_EQ(Get<int>(*rs, "N"), 123);
  int i = 0;
  EXPECT_EQ(Code(CatchDB([&] { rs->GetFieldValue("nope", i); })), 1026);

  // Dates: as local time, as a SYSTEMTIME, as text with milliseconds.
  EXPECT_EQ(Get<CTTime>(*rs, kStamp).GetTime(), CTTime(2020, 6, 15, 12, 0, 0).GetTime());
  SYSTEMTIME st{};
  rs->GetFieldValue(kStamp, &st);
  EXPECT_EQ(st.wYear, 2020);
  EXPECT_EQ(st.wHour, 12);
  EXPECT_STREQ(Get2<CTString>(*rs, kStamp), "2020-06-15 12:00:00.000");
  EXPECT_EQ(U16(Get2<CTWString>(*rs, kStamp)), u"2020-06-15 12:00:00.000");
  EXPECT_STREQ(Get2<CTString>(*rs, kName), "abc");
  // Neither text nor date: emptied.
  EXPECT_TRUE(Get2<CTString>(*rs, kAmount, CTString("x")).IsEmpty());

  // Non-ASCII text: UTF-16 wide, ANSI (UTF-8) narrow.
  auto third = Attach(3);
  EXPECT_EQ(U16(Get<CTWString>(*third, kName)), u"caf\u00e9");
  EXPECT_STREQ(Get<CTString>(*third, kName), "caf\xc3\xa9");
  WCHAR buffer[6] = {u'#', u'#', u'#', u'#', u'#', u'#'};
  third->GetFieldValue(kName, buffer, 3);
  EXPECT_EQ(std::u16string(buffer, 6), u"caf###");
  third->GetFieldValue(kName, buffer, 5);
  EXPECT_EQ(std::u16string(buffer, 6), std::u16string(u"caf\u00e9\0#", 6));
  EXPECT_EQ(Get<long>(*third, kN), -7);
}

TEST_P(FieldValueTest, BooleansReadAsOneThroughIntAndMinusOneThroughLong) {
  auto rs = Attach();
  EXPECT_EQ(Get<int>(*rs, kFlag), 1);
  EXPECT_EQ(Get<long>(*rs, kFlag), -1);
  EXPECT_EQ(GetBool(*rs, kFlag), 1);
  EXPECT_EQ(GetBool(*rs, kN), 1);  // 123 converted to a boolean
  auto third = Attach(3);
  EXPECT_EQ(GetBool(*third, kFlag), 0);
  EXPECT_EQ(Get<long>(*third, kFlag, 7L), 0);
}

TEST_P(FieldValueTest, ValuesThatDoNotFitOrConvertFailWith1029) {
  auto rs = Attach();
  int i = 17;
  long l = 17;
  EXPECT_EQ(Code(CatchDB([&] { rs->GetFieldValue(kBig, i); })), 1029);
  EXPECT_EQ(Code(CatchDB([&] { rs->GetFieldValue(kBig, l); })), 1029);
  EXPECT_EQ(i, 17);
  EXPECT_EQ(l, 17);
  EXPECT_EQ(Get<double>(*rs, kBig), 5000000000.0);  // a double holds it
  EXPECT_EQ(Get<unsigned char>(*rs, kN), 123);      // 123 fits
  double d = 0;
  EXPECT_EQ(Code(CatchDB([&] { rs->GetFieldValue(kName, d); })), 1029);
  CTTime t;
  EXPECT_EQ(Code(CatchDB([&] { rs->GetFieldValue(kName, t); })), 1029);
  __int64 indicator = 0;
  EXPECT_EQ(Code(CatchDB([&] { rs->GetBulkFieldValue(kBig, &l, &indicator); })), 1029);
}

TEST_P(FieldValueTest, ColumnNumbersOutsideTheRowGive1026) {
  auto rs = Attach();
  int i = 0;
  CTString s;
  for (short n : {short{0}, short{-1}, short{9}, short{SHRT_MAX}}) {
    auto e = CatchDB([&] { rs->GetFieldValue(n, i); });
    EXPECT_EQ(Code(e), 1026) << n;
    if (e) {
      EXPECT_STREQ(e->m_strErrorText, "Error come from KORVO library");
    }
    EXPECT_EQ(Code(CatchDB([&] { rs->GetFieldValue2(n, s); })), 1026) << n;
    EXPECT_EQ(Code(CatchDB([&] { rs->GetFieldInfo(n, s); })), 1026) << n;
    EXPECT_EQ(Code(CatchDB([&] { rs->CmpFieldValue(n, s); })), 1026) << n;
  }
  // The last column is still inside.
  unsigned char b = 0;
  rs->GetFieldValue(kSmall, b);
  EXPECT_EQ(b, 200);
}

TEST_P(FieldValueTest, WithoutFieldsEveryAccessEndsWithEPointerUnderItsOrigin) {
  ProbeRecordset rs(&Db());  // its ADO recordset was never opened
  EXPECT_EQ(rs.GetFieldsCount(), 0);
  int i = 5;
  auto e = CatchDB([&] { rs.GetFieldValue(1, i); });
  ASSERT_TRUE(e);
  EXPECT_EQ(e->m_nReturnCode, 1000);
  EXPECT_STREQ(e->m_strErrorOrigin, "[5003]");
  EXPECT_EQ(i, 5);
  CTString s;
  e = CatchDB([&] { rs.GetFieldInfo(1, s); });
  ASSERT_TRUE(e);
  EXPECT_STREQ(e->m_strErrorOrigin, "[5016]");

  // A dirty column's setter fails under the setter's own origin.
  rs.UseStatus(2);
  rs.SetDirtyFieldStatus(0);
  CTString text("x");
  e = CatchDB([&] { rs.SetFieldValue(1, text); });
  ASSERT_TRUE(e);
  EXPECT_STREQ(e->m_strErrorOrigin, "[5005]");
  long l = 1;
  e = CatchDB([&] { rs.SetFieldValue(1, l); });
  ASSERT_TRUE(e);
  EXPECT_STREQ(e->m_strErrorOrigin, "[5007]");
  // A clean column's setter does nothing at all.
  EXPECT_EQ(Code(CatchDB([&] {
              rs.SetFieldValue(2, text);
              throw new CDBException(static_cast<SHORT>(7));
            })),
            7);

  // No ADO recordset at all.
  rs.SetAdoRecordSet(nullptr);
  e = CatchDB([&] { rs.GetFieldsCount(); });
  ASSERT_TRUE(e);
  EXPECT_STREQ(e->m_strErrorOrigin, "[5016]");
}

TEST_P(FieldValueTest, NullColumnsAreReportedAndUnboundTargetsKeepTheirValues) {
  auto rs = Attach(2);
  EXPECT_EQ(Get<int>(*rs, kN, 11), 11);
  EXPECT_EQ(Get<long>(*rs, kN, 12L), 12);
  EXPECT_EQ(GetBool(*rs, kFlag, 11), 11);
  EXPECT_EQ(Get<double>(*rs, kAmount, 1.5), 1.5);
  EXPECT_EQ(Get<unsigned char>(*rs, kSmall, 7), 7);
  EXPECT_STREQ(Get<CTString>(*rs, kName, CTString("keep")), "keep");
  EXPECT_EQ(U16(Get<CTWString>(*rs, kName, CTWString(u"keep"))), u"keep");
  EXPECT_STREQ(Get2<CTString>(*rs, kName, CTString("keep")), "keep");
  const CTTime t(2001, 1, 1, 0, 0, 0);
  EXPECT_EQ(Get<CTTime>(*rs, kStamp, t).GetTime(), t.GetTime());
  SYSTEMTIME st{};
  st.wYear = 1990;
  rs->GetFieldValue(kStamp, &st);
  EXPECT_EQ(st.wYear, 1990);
  WCHAR buffer[3] = {u'a', u'b', u'c'};
  rs->GetFieldValue(kName, buffer, 3);
  EXPECT_EQ(std::u16string(buffer, 3), u"abc");
}

TEST_P(FieldValueTest, BulkGettersSetTheNullIndicator) {
  int i = 0;
  long l = 0;
  double d = 0;
  TIMESTAMP_STRUCT ts{};
  char text[4] = {'Z', 'Z', 'Z', 'Z'};
  char* cursor = text;
  __int64 ind[5] = {0, 0, 0, 0, 0};
  auto read = [&](ProbeRecordset& rs) {
    rs.GetBulkFieldValue(kN, &i, &ind[0]);
    rs.GetBulkFieldValue(kN, &l, &ind[1]);
    rs.GetBulkFieldValue(kAmount, &d, &ind[2]);
    rs.GetBulkFieldValue(kStamp, &ts, &ind[3]);
    rs.GetBulkFieldValue(kName, cursor, &ind[4], 3);
  };
  read(*Attach());
  EXPECT_EQ(i, 123);
  EXPECT_EQ(l, 123);
  EXPECT_EQ(d, 2.5);
  EXPECT_EQ(ts.year, 2020);
  EXPECT_EQ(ts.fraction, 0u);
  EXPECT_STREQ(text, "ab");
  for (__int64 v : ind) EXPECT_EQ(v, -2);

  // Nulls: the targets keep their values.
  i = 1;
  l = 2;
  d = 3;
  read(*Attach(2));
  EXPECT_EQ(i, 1);
  EXPECT_EQ(l, 2);
  EXPECT_EQ(d, 3);
  EXPECT_EQ(ts.year, 2020);
  EXPECT_STREQ(text, "ab");
  for (__int64 v : ind) EXPECT_EQ(v, -1);
}

TEST_P(FieldValueTest, ComparersReportEqualityExactly) {
  auto rs = Attach();
  CTString abc("abc"), upper("ABC"), empty, longer("abcd");
  EXPECT_EQ(rs->CmpFieldValue(kName, abc), 1);
  EXPECT_EQ(rs->CmpFieldValue(kName, upper), 0);
  EXPECT_EQ(rs->CmpFieldValue(kName, longer), 0);
  EXPECT_EQ(rs->CmpFieldValue(kName, empty), 0);
  CTWString wabc(u"abc"), wother(u"abd");
  EXPECT_EQ(rs->CmpFieldValue(kName, wabc), 1);
  EXPECT_EQ(rs->CmpFieldValue(kName, wother), 0);
  int i = 123, j = 124;
  long l = 123, m = -123;
  EXPECT_EQ(rs->CmpFieldValue(kN, i), 1);
  EXPECT_EQ(rs->CmpFieldValue(kN, j), 0);
  EXPECT_EQ(rs->CmpFieldValue(kN, l), 1);
  EXPECT_EQ(rs->CmpFieldValue(kN, m), 0);
  double d = 2.5, e = 2.5000001;
  EXPECT_EQ(rs->CmpFieldValue(kAmount, d), 1);
  EXPECT_EQ(rs->CmpFieldValue(kAmount, e), 0);
  CTTime t(2020, 6, 15, 12, 0, 0), u(2020, 6, 15, 12, 0, 1);
  EXPECT_EQ(rs->CmpFieldValue(kStamp, t), 1);
  EXPECT_EQ(rs->CmpFieldValue(kStamp, u), 0);
  CTString dateText("2020-06-15 12:00:00.000");
  CTWString wideDateText(u"2020-06-15 12:00:00.000");
  EXPECT_EQ(rs->CmpFieldValue2(kStamp, dateText), 1);
  EXPECT_EQ(rs->CmpFieldValue2(kStamp, wideDateText), 1);
  EXPECT_EQ(rs->CmpFieldValue(kStamp, dateText), 0);  // the plain form is ISO text without .000

  // A null column equals the empty text and the time 0 (and the numeric
  // forms' pseudo-null values); the variables are not changed.
  auto nulls = Attach(2);
  EXPECT_EQ(nulls->CmpFieldValue(kName, empty), 1);
  EXPECT_EQ(nulls->CmpFieldValue(kName, abc), 0);
  EXPECT_EQ(nulls->CmpFieldValue2(kName, empty), 1);
  CTTime zero(static_cast<__int64>(0));
  EXPECT_EQ(nulls->CmpFieldValue(kStamp, zero), 1);
  EXPECT_EQ(nulls->CmpFieldValue(kStamp, t), 0);
  int pseudoInt = 32484;
  long pseudoLong = 0x4A4D4120;
  double pseudoDouble = -9.123e19;
  EXPECT_EQ(nulls->CmpFieldValue(kN, pseudoInt), 1);
  EXPECT_EQ(nulls->CmpFieldValue(kN, pseudoLong), 1);
  EXPECT_EQ(nulls->CmpFieldValue(kAmount, pseudoDouble), 1);
  EXPECT_EQ(nulls->CmpFieldValue(kN, i), 0);
  EXPECT_STREQ(abc, "abc");
  EXPECT_EQ(i, 123);
}

TEST_P(FieldValueTest, FieldInfoDescribesTheColumnAndTheCurrentValue) {
  auto rs = Attach(3);
  EXPECT_EQ(rs->GetFieldsCount(), 8);
  CTString name;
  int type = -1;
  unsigned int size = 99;
  rs->GetFieldInfo(kName, name, &type, &size);
  EXPECT_STREQ(name, "name");
  EXPECT_EQ(type, adVarWChar);
  EXPECT_EQ(size, 5u);  // "café" is 5 bytes
  rs->GetFieldInfo(kAmount, name, &type, nullptr);
  EXPECT_STREQ(name, "amount");
  EXPECT_EQ(type, adDouble);
  rs->GetFieldInfo(kStamp, name);
  EXPECT_STREQ(name, "stamp");
  auto nulls = Attach(2);
  size = 99;
  nulls->GetFieldInfo(kName, name, nullptr, &size);
  EXPECT_EQ(size, 0xFFFFFFFFu);  // adUnknown: a NULL has no length
}

// ------------------------------------------------------------ setters

class FieldSetterTest : public FieldValueTest {
 protected:
  // Row 1 of v, editable, with a status array of 8 fields.
  std::unique_ptr<ProbeRecordset> Editable() {
    auto rs = Attach(1);
    rs->UseStatus(8);
    return rs;
  }
  void Store(ProbeRecordset& rs) { rs.GetAdoRecordSet()->Update(); }
  std::string Stored(const char* column) {
    return Scalar(("SELECT " + std::string(column) + " FROM v WHERE id = 1").c_str());
  }
};

TEST_P(FieldSetterTest, OnlyDirtyFieldsAreWrittenAndNullBitsWriteNull) {
  auto rs = Editable();
  CTString name("changed");
  long n = 99;
  rs->SetNullFieldStatus(kName - 1);  // null but clean: nothing written
  rs->SetFieldValue(kName, name);
  rs->SetFieldValue(kN, n);
  EXPECT_EQ(rs->GetAdoRecordSet()->GetEditMode(), adEditNone);

  rs->SetDirtyFieldStatus(kName - 1);  // dirty and null: NULL whatever the variable holds
  rs->SetDirtyFieldStatus(kN - 1);
  rs->SetFieldValue(kName, name);
  rs->SetFieldValue(kN, n);
  Store(*rs);
  EXPECT_EQ(Stored("name"), "NULL");
  EXPECT_EQ(Stored("n"), "99");
}

TEST_P(FieldSetterTest, IntegersAreWrittenAtTheirWidth) {
  auto rs = Editable();
  for (short c : {kN, kFlag, kBig, kSmall, kAmount}) rs->SetDirtyFieldStatus(c - 1);
  int seventyThousand = 70000;
  int five = 5;
  long wide = 1L << 40;
  unsigned char byte = 120;
  double amount = -0.125;
  rs->SetFieldValue(kN, seventyThousand);
  rs->SetFieldValueBool(kFlag, five);
  EXPECT_EQ(Code(CatchDB([&] { rs->SetFieldValue(kBig, wide); })), 1029);
  rs->SetFieldValue(kSmall, byte);
  rs->SetFieldValue(kAmount, amount);
  Store(*rs);
  EXPECT_EQ(Stored("n"), "4464");
  EXPECT_EQ(Stored("flag + 0"), "1");
  EXPECT_EQ(Stored("big"), "5000000000");  // not written
  EXPECT_EQ(Stored("small"), "120");
  EXPECT_EQ(Stored("amount"), "-0.125");

  auto again = Editable();
  again->SetDirtyFieldStatus(kN - 1);
  int negative = -70000;  // low 16 bits 0xEE90, a short of -4464
  again->SetFieldValue(kN, negative);
  long fits = -2147483647L - 1;
  again->SetDirtyFieldStatus(kBig - 1);
  again->SetFieldValue(kBig, fits);
  Store(*again);
  EXPECT_EQ(Stored("n"), "-4464");
  EXPECT_EQ(Stored("big"), "-2147483648");
}

TEST_P(FieldSetterTest, TextTimeAndExpressionsRoundTrip) {
  auto rs = Editable();
  for (short c : {kName, kStamp, kAmount}) rs->SetDirtyFieldStatus(c - 1);
  CTWString wide(u"\u00e9t\u00e9");
  rs->SetFieldValue(kName, wide);
  CTTime when(2021, 3, 4, 5, 6, 7);
  rs->SetFieldValue(kStamp, when);
  CTString expression("1.5 * 3");
  rs->SetFieldValue2(kAmount, expression);
  Store(*rs);
  EXPECT_EQ(Stored("name"), "\xc3\xa9t\xc3\xa9");
  EXPECT_EQ(Stored("stamp"), "2021-03-04 05:06:07");
  EXPECT_EQ(Stored("amount"), "4.5");

  // The engine's current time is stored as a date, not as the text.
  auto now = Editable();
  now->SetDirtyFieldStatus(kStamp - 1);
  CTWString current(u"datetime('now')");
  now->SetFieldValue2(kStamp, current);
  Store(*now);
  CTTime stored;
  auto check = Attach(1);
  check->GetFieldValue(kStamp, stored);
  EXPECT_GT(stored.GetYear(), 2000);
  EXPECT_EQ(Stored("typeof(stamp)"), "text");
  EXPECT_EQ(Stored("length(stamp)"), "19");

  // A narrow text, and a time that cannot be represented writes nothing.
  const std::string before = Stored("stamp");
  auto narrow = Editable();
  narrow->SetDirtyFieldStatus(kName - 1);
  narrow->SetDirtyFieldStatus(kStamp - 1);
  CTString text("plain");
  narrow->SetFieldValue(kName, text);
  CTTime unrepresentable(static_cast<__int64>(-1));
  narrow->SetFieldValue(kStamp, unrepresentable);
  Store(*narrow);
  EXPECT_EQ(Stored("name"), "plain");
  EXPECT_EQ(Stored("stamp"), before);
}

TEST_P(FieldSetterTest, SetterErrorsCarryTheirOrigins) {
  auto rs = Editable();
  rs->SetDirtyFieldStatus(kStamp - 1);
  CTString bad("no_such_function()");
  auto e = CatchDB([&] { rs->SetFieldValue2(kStamp, bad); });
  ASSERT_TRUE(e);
  EXPECT_EQ(e->m_nReturnCode, 1000);
  EXPECT_STREQ(e->m_strErrorOrigin, "[5021]");
  CTWString wideBad(u"no_such_function()");
  e = CatchDB([&] { rs->SetFieldValue2(kStamp, wideBad); });
  ASSERT_TRUE(e);
  EXPECT_STREQ(e->m_strErrorOrigin, "[5022]");
  // A value the column refuses is the provider's error under the setter's origin.
  rs->SetDirtyFieldStatus(kAmount - 1);
  CTString text("not a number");
  e = CatchDB([&] { rs->SetFieldValue(kAmount, text); });
  ASSERT_TRUE(e);
  EXPECT_STREQ(e->m_strErrorOrigin, "[5005]");
  // Column numbers outside the status array are refused.
  long l = 1;
  EXPECT_EQ(Code(CatchDB([&] { rs->SetFieldValue(9, l); })), 1026);
  EXPECT_EQ(Code(CatchDB([&] { rs->SetFieldValue(0, l); })), 1026);
}

// The trace is switched on before the fixture makes its first library object.
class TracedFieldSetterTest : public FieldSetterTest {
 protected:
  void SetUp() override {
    TraceOn();
    FieldSetterTest::SetUp();
  }
};

TEST_P(TracedFieldSetterTest, OutOfRangeColumnInADirtySetterTracesBothHandlers) {
  auto rs = Attach(1);
  rs->UseStatus(10);  // more bound fields than the row has columns
  rs->SetDirtyFieldStatus(8);
  CTString text("x");
  auto e = CatchDB([&] { rs->SetFieldValue(9, text); });
  ASSERT_TRUE(e);
  EXPECT_EQ(e->m_nReturnCode, 1026);
  const auto trace = Trace();
  const int inner = FindTrace(trace, "DbException116");
  ASSERT_GE(inner, 0);
  EXPECT_GE(FindTrace(trace, "DbException108", inner + 1), 0);
}

KORVO_OVER_BOTH_ROUTES(FieldSetterTest);
KORVO_OVER_BOTH_ROUTES(FieldValueTest);
KORVO_OVER_BOTH_ROUTES(TracedFieldSetterTest);

// ClearFieldStatus (run on every move) zeroes every byte of a status array
// of each size, whichever way it clears it, and nothing past it (which the
// sanitizer build would report).
TEST_F(FieldTest, ClearFieldStatusZeroesEveryByteOfEverySize) {
  ProbeRecordset rs(&Db());
  for (unsigned int fields = 1; fields <= 20; ++fields) {
    rs.UseStatus(fields);
    for (unsigned long i = 0; i < fields; ++i) rs.SetFieldStatus(i, 0xFF);
    rs.ClearFieldStatus();
    for (unsigned long i = 0; i < fields; ++i)
      EXPECT_EQ(rs.GetFieldStatus(i), 0) << fields << " " << i;
  }
}

}  // namespace
}  // namespace korvo::test
