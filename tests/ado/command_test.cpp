// Tests of the Command and Parameter objects on real SQLite databases.
#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <korvo/ado/ado.h>
#include <korvo/ado/command_internal.h>
#include <korvo/ado/error_result.h>
#include <korvo/com/oledate.h>
#include <korvo/com/safearray.h>
#include <korvo/platform/codepage.h>

#include <cstring>

#include "ado/ado_test_support.h"

namespace korvo::ado::test {
namespace {

using ::testing::HasSubstr;

class CommandTest : public AdoTest {
 protected:
  void SetUp() override {
    AdoTest::SetUp();
    conn_ = Open(FileConnect());
    ASSERT_EQ(cmd_.CreateInstance(__uuidof(Command)), S_OK);
    cmd_->PutRefActiveConnection(conn_);
  }
  _ConnectionPtr conn_;
  _CommandPtr cmd_;
};

_variant_t Bytes(const std::string& bytes) {
  SAFEARRAY* a = SafeArrayCreateVector(VT_UI1, 0, static_cast<ULONG>(bytes.size()));
  if (!bytes.empty()) std::memcpy(a->pvData, bytes.data(), bytes.size());
  VARIANT v;
  VariantInit(&v);
  v.vt = VT_ARRAY | VT_UI1;
  v.parray = a;
  return _variant_t(v, false);
}

double Date(WORD y, WORD mo, WORD d, WORD h = 0, WORD mi = 0, WORD s = 0) {
  SYSTEMTIME st{};
  st.wYear = y;
  st.wMonth = mo;
  st.wDay = d;
  st.wHour = h;
  st.wMinute = mi;
  st.wSecond = s;
  double out = 0;
  EXPECT_TRUE(SystemTimeToVariantTime(&st, &out));
  return out;
}

TEST_F(CommandTest, AppendsParametersFoundByNameAndCountsTheRowsOfAnExecution) {
  Exec(conn_, "CREATE TABLE p (i INTEGER, c TEXT)");
  cmd_->PutCommandText("INSERT INTO p VALUES (?, ?)");
  ParametersPtr params = cmd_->GetParameters();
  params->Append(cmd_->CreateParameter("i", adInteger, adParamInput, 4, _variant_t(1L)));
  cmd_->GetParameters()->Append(  // the same collection
      cmd_->CreateParameter("c", adVarWChar, adParamInput, 40, _variant_t("x")));
  EXPECT_EQ(params->GetCount(), 2);
  EXPECT_EQ(std::string(params->GetItem("C")->GetName()), "c");
  _variant_t affected;
  cmd_->Execute(&affected, nullptr, adExecuteNoRecords);
  EXPECT_EQ(affected.lVal, 1);
}

// How each ADO type binds, seen through SQLite's quote() of the stored
// value in an untyped column.
TEST_F(CommandTest, BindsEachAdoTypeAsTheEngineValueItMeans) {
  Exec(conn_, "CREATE TABLE anyv (c)");
  struct Case {
    DataTypeEnum type;
    _variant_t value;
    const char* stored;
  };
  CY cy;
  cy.int64 = 123456;  // 12.3456
  const Case cases[] = {
      {adInteger, _variant_t(-2147483647L - 1), "-2147483648"},
      {adBigInt, _variant_t(9223372036854775807LL), "9223372036854775807"},
      {adSmallInt, _variant_t(short{-32768}), "-32768"},
      {adBoolean, _variant_t(true), "1"},
      {adVarWChar, _variant_t(u"h\u00e9llo \u20ac"), "'h\xC3\xA9llo \xE2\x82\xAC'"},
      {adDBTimeStamp, _variant_t(Date(2021, 2, 3, 4, 5, 6), VT_DATE), "'2021-02-03 04:05:06'"},
      {adDBTime, _variant_t(Date(1899, 12, 30, 23, 59, 58), VT_DATE), "'23:59:58'"},
      {adLongVarBinary, Bytes(std::string("\0\xff\x7f", 3)), "X'00FF7F'"},
      {adTinyInt, _variant_t(short{-7}), "-7"},
      {adUnsignedTinyInt, _variant_t(BYTE{200}), "200"},
      {adSmallInt, _variant_t("42"), "42"},
      {adInteger, _variant_t(7.0), "7"},
      {adBigInt, _variant_t(-5000000000LL), "-5000000000"},
      {adUnsignedInt, _variant_t(4000000000UL), "4000000000"},
      {adBoolean, _variant_t(false), "0"},
      {adSingle, _variant_t(0.5f), "0.5"},
      {adDouble, _variant_t(-1.25), "-1.25"},
      {adCurrency, _variant_t(cy), "12.3456"},
      {adNumeric, _variant_t(3L), "3.0"},
      {adNumeric, _variant_t("12.25"), "12.25"},
      {adChar, _variant_t("ab"), "'ab'"},
      {adWChar, _variant_t(u"\u00e9"), "'\xC3\xA9'"},
      {adVarChar, _variant_t(12L), "'12'"},
      {adLongVarWChar, _variant_t("it's"), "'it''s'"},
      {adBSTR, _variant_t(u"x"), "'x'"},
      {adDate, _variant_t(Date(2000, 1, 2, 3, 4, 5), VT_DATE), "'2000-01-02 03:04:05'"},
      {adDBDate, _variant_t("2000-01-02 10:00:00"), "'2000-01-02'"},
      {adDBTime, _variant_t(Date(1899, 12, 30, 10, 11, 12), VT_DATE), "'10:11:12'"},
      {adBinary, Bytes("AB"), "X'4142'"},
      {adVarBinary, Bytes(""), "X''"},
      {adLongVarBinary, _variant_t("text"), "X'74657874'"},
      {adVariant, _variant_t(9L), "9"},
      {adEmpty, _variant_t(u"v"), "'v'"},
  };
  cmd_->PutCommandText("INSERT INTO anyv VALUES (?)");
  _ParameterPtr p = cmd_->CreateParameter("c", adInteger, adParamInput, 0);
  cmd_->GetParameters()->Append(p);
  for (const Case& c : cases) {
    Exec(conn_, "DELETE FROM anyv");
    p->PutType(c.type);
    p->PutValue(c.value);
    const Raised r = Catch([&] { cmd_->Execute(nullptr, nullptr, adExecuteNoRecords); });
    ASSERT_EQ(r.hr, S_OK) << "type " << c.type << ": " << r.description;
    _RecordsetPtr rs = conn_->Execute("SELECT quote(c) FROM anyv", nullptr, adCmdText);
    EXPECT_EQ(std::string(_bstr_t(rs->GetFields()->GetItem(0L)->GetValue())), c.stored)
        << "type " << c.type;
  }
  // A byte array is no text, and text no boolean.
  p->PutType(adVarWChar);
  p->PutValue(Bytes("x"));
  EXPECT_EQ(Catch([&] { cmd_->Execute(nullptr, nullptr, adExecuteNoRecords); }).hr,
            korvo::ado::AdoError(adErrDataConversion));
  p->PutType(adBoolean);
  p->PutValue("maybe");
  EXPECT_EQ(Catch([&] { cmd_->Execute(nullptr, nullptr, adExecuteNoRecords); }).hr,
            korvo::ado::AdoError(adErrDataConversion));
}

TEST_F(CommandTest, BindsNullsOfEveryType) {
  Exec(conn_,
       "CREATE TABLE q (i INTEGER, b BIGINT, f BOOLEAN, r REAL, c TEXT, d DATETIME, bin BLOB)");
  cmd_->PutCommandText("INSERT INTO q VALUES (?, ?, ?, ?, ?, ?, ?)");
  const DataTypeEnum types[] = {adInteger,  adBigInt,      adBoolean,      adDouble,
                                adVarWChar, adDBTimeStamp, adLongVarBinary};
  for (DataTypeEnum type : types) {
    VARIANT null;
    VariantInit(&null);
    null.vt = VT_NULL;
    cmd_->GetParameters()->Append(
        cmd_->CreateParameter("", type, adParamInput, 0, _variant_t(null)));
  }
  cmd_->Execute(nullptr, nullptr, adExecuteNoRecords);
  // An empty value binds NULL as well.
  cmd_->GetParameters()->GetItem(0L)->PutValue(_variant_t());
  cmd_->Execute(nullptr, nullptr, adExecuteNoRecords);
  _RecordsetPtr rs = conn_->Execute("SELECT * FROM q", nullptr, adCmdText);
  int rows = 0;
  while (!rs->GetEOF()) {
    for (long i = 0; i < 7; ++i) {
      EXPECT_EQ(rs->GetFields()->GetItem(i)->GetValue().vt, VT_NULL) << i;
      EXPECT_EQ(rs->GetFields()->GetItem(i)->GetActualSize(), adUnknown);
    }
    ++rows;
    rs->MoveNext();
  }
  EXPECT_EQ(rows, 2);
}

TEST_F(CommandTest, KeepsDatesAtTheEdgesOfTheOleRange) {
  Exec(conn_, "CREATE TABLE e (d DATETIME)");
  cmd_->PutCommandText("INSERT INTO e VALUES (?)");
  _ParameterPtr p = cmd_->CreateParameter("d", adDBTimeStamp, adParamInput, 16);
  cmd_->GetParameters()->Append(p);
  const double edges[] = {Date(100, 1, 1), Date(9999, 12, 31, 23, 59, 59), -1.25, 0.0,
                          Date(1899, 12, 29, 23, 59, 59)};
  for (double v : edges) {
    p->PutValue(_variant_t(v, VT_DATE));
    cmd_->Execute(nullptr, nullptr, adExecuteNoRecords);
  }
  _RecordsetPtr rs;
  rs.CreateInstance(__uuidof(Recordset));
  rs->PutCursorLocation(adUseClient);
  rs->Open("SELECT d FROM e", _variant_t(static_cast<IDispatch*>(conn_)), adOpenStatic,
           adLockReadOnly, adCmdText);
  ASSERT_EQ(rs->GetRecordCount(), 5);
  for (double v : edges) {
    _variant_t got = rs->GetFields()->GetItem(0L)->GetValue();
    ASSERT_EQ(got.vt, VT_DATE);
    EXPECT_NEAR(got.date, v, 1e-9) << v;
    rs->MoveNext();
  }
  // Outside the range, and a value that is no date at all.
  p->PutValue(_variant_t(2958466.5, VT_DATE));
  Raised r = Catch([&] { cmd_->Execute(nullptr, nullptr, adExecuteNoRecords); });
  EXPECT_EQ(r.hr, korvo::ado::AdoError(adErrDataConversion));
  EXPECT_THAT(r.description, HasSubstr("range"));
  p->PutValue(_variant_t("not a date"));
  r = Catch([&] { cmd_->Execute(nullptr, nullptr, adExecuteNoRecords); });
  EXPECT_EQ(r.hr, korvo::ado::AdoError(adErrDataConversion));
  EXPECT_FALSE(r.description.empty());
}

// The code page is read once per process, at the first conversion: CTest
// runs this case in a process of its own, and so does the case itself
// when an earlier test of the same process has fixed another code page.
class AnsiCommandTest : public CommandTest {
 protected:
  korvo::test::ScopedEnv cp_{"KORVO_CODEPAGE", "CP1252"};
};

TEST_F(AnsiCommandTest, RoundTripsNonAsciiTextThroughTheAnsiCodePage) {
  if (std::string(korvo::platform::AnsiCodePageName()) != "CP1252") {
    EXPECT_EQ(korvo::test::RunCurrentTestInNewProcess(), 0);
    return;
  }
  Exec(conn_, "CREATE TABLE w (c TEXT)");
  // "Müller € ñ" in CP1252 bytes, as a narrow host string holds it.
  const char ansi[] = "M\xFCller \x80 \xF1";
  cmd_->PutCommandText("INSERT INTO w VALUES (?)");
  cmd_->GetParameters()->Append(
      cmd_->CreateParameter("c", adVarChar, adParamInput, 20, _variant_t(ansi)));
  cmd_->Execute(nullptr, nullptr, adExecuteNoRecords);
  _RecordsetPtr rs = conn_->Execute("SELECT c, length(c), hex(c) FROM w", nullptr, adCmdText);
  EXPECT_EQ(static_cast<long>(rs->GetFields()->GetItem(1L)->GetValue()), 10);
  // Stored as UTF-8 in the database.
  EXPECT_EQ(std::string(_bstr_t(rs->GetFields()->GetItem(2L)->GetValue())),
            "4DC3BC6C6C657220E282AC20C3B1");
  const _bstr_t back(rs->GetFields()->GetItem(0L)->GetValue());
  EXPECT_STREQ(static_cast<const char*>(back), ansi);
}

TEST_F(CommandTest, ReusesThePreparedStatementAcrossExecutions) {
  Exec(conn_, "CREATE TABLE r (v INT)");
  cmd_->PutCommandText("INSERT INTO r VALUES (?)");
  cmd_->PutPrepared(VARIANT_TRUE);
  _ParameterPtr p = cmd_->CreateParameter("v", adInteger, adParamInput, 4, _variant_t(0L));
  cmd_->GetParameters()->Append(p);
  for (long i = 1; i <= 5; ++i) {
    p->PutValue(_variant_t(i));
    cmd_->Execute(nullptr, nullptr, adExecuteNoRecords);
  }
  ImplRef<CommandObject> impl(cmd_, kCommandImplIid);
  ASSERT_TRUE(impl);
  EXPECT_EQ(impl->TEST_prepares(), 1);
  // A changed text prepares again; so does a reopened connection.
  cmd_->PutCommandText("INSERT INTO r VALUES (? * 10)");
  cmd_->Execute(nullptr, nullptr, adExecuteNoRecords);
  conn_->Close();
  conn_->Open(_bstr_t(FileConnect().c_str()), "", "", -1);
  cmd_->Execute(nullptr, nullptr, adExecuteNoRecords);
  EXPECT_EQ(impl->TEST_prepares(), 3);
  // Without Prepared every execution prepares.
  cmd_->PutPrepared(VARIANT_FALSE);
  cmd_->Execute(nullptr, nullptr, adExecuteNoRecords);
  cmd_->Execute(nullptr, nullptr, adExecuteNoRecords);
  EXPECT_EQ(impl->TEST_prepares(), 5);
  _RecordsetPtr rs = conn_->Execute("SELECT sum(v), count(*) FROM r", nullptr, adCmdText);
  EXPECT_EQ(static_cast<long>(rs->GetFields()->GetItem(0L)->GetValue()), 15 + 4 * 50);
}

TEST_F(CommandTest, ExecutesWithRowsAndRefusesWhatItCannotDo) {
  Exec(conn_, "CREATE TABLE s (k INT, v TEXT); INSERT INTO s VALUES (1, 'a'), (2, 'b'), (3, 'c')");
  cmd_->PutCommandText("SELECT v FROM s WHERE k >= ? ORDER BY k");
  // A text value for an integer parameter is converted, a bad one refused
  // (rows of a command on every engine: recordset_test.cpp).
  cmd_->GetParameters()->Append(
      cmd_->CreateParameter("k", adInteger, adParamInput, 4, _variant_t("3")));
  _RecordsetPtr rs = cmd_->Execute(nullptr, nullptr, -1);
  EXPECT_EQ(std::string(_bstr_t(rs->GetFields()->GetItem(0L)->GetValue())), "c");
  rs->MoveNext();
  EXPECT_TRUE(rs->GetadoEOF());
  rs->Close();
  cmd_->GetParameters()->GetItem(0L)->PutValue("three");
  Raised r = Catch([&] { cmd_->Execute(nullptr, nullptr, -1); });
  EXPECT_EQ(r.hr, korvo::ado::AdoError(adErrDataConversion));
  EXPECT_THAT(r.description, HasSubstr("Parameter 1"));

  // Too few and too many values.
  cmd_->GetParameters()->Delete(0L);
  r = Catch([&] { cmd_->Execute(nullptr, nullptr, -1); });
  EXPECT_EQ(r.hr, DB_E_PARAMNOTOPTIONAL);
  cmd_->PutCommandText("SELECT 1");
  cmd_->GetParameters()->Append(
      cmd_->CreateParameter("x", adInteger, adParamInput, 4, _variant_t(1L)));
  EXPECT_LT(Catch([&] { cmd_->Execute(nullptr, nullptr, -1); }).hr, 0);

  // No stored procedures on SQLite; no text; no connection.
  cmd_->PutCommandText("my_proc");
  cmd_->PutCommandType(adCmdStoredProc);
  r = Catch([&] { cmd_->Execute(nullptr, nullptr, adExecuteNoRecords); });
  EXPECT_EQ(r.hr, E_FAIL);
  EXPECT_THAT(r.description, HasSubstr("stored procedures"));
  cmd_->PutCommandType(adCmdText);
  cmd_->PutCommandText("");
  EXPECT_EQ(Catch([&] { cmd_->Execute(nullptr, nullptr, 0); }).hr, DB_E_NOCOMMAND);
  _CommandPtr lonely;
  lonely.CreateInstance(__uuidof(Command));
  lonely->PutCommandText("SELECT 1");
  EXPECT_EQ(Catch([&] { lonely->Execute(nullptr, nullptr, 0); }).hr,
            korvo::ado::AdoError(adErrInvalidConnection));
  EXPECT_LT(Catch([&] { cmd_->GetParameters()->Append(conn_); }).hr, 0);
  // The ODBC return-value escape: its marker takes no value.
  cmd_->PutCommandText("{?= call abs(?)}");
  cmd_->GetParameters()->Delete(0L);
  cmd_->GetParameters()->Append(cmd_->CreateParameter("ret", adInteger, adParamReturnValue, 4));
  cmd_->GetParameters()->Append(
      cmd_->CreateParameter("x", adInteger, adParamInput, 4, _variant_t(-9L)));
  rs = cmd_->Execute(nullptr, nullptr, adCmdText);
  EXPECT_EQ(static_cast<long>(rs->GetFields()->GetItem(0L)->GetValue()), 9);
}

}  // namespace
}  // namespace korvo::ado::test
