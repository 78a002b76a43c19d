// Tests of text a hostile or careless caller gives the object model:
// embedded NULs, huge inputs, unknown enumeration values.
#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <korvo/ado/ado.h>
#include <korvo/ado/error_result.h>
#include <sqlite3.h>
#include <unistd.h>

#include <string>

#include "ado/ado_test_support.h"

namespace korvo::ado::test {
namespace {

using ::testing::HasSubstr;

constexpr HRESULT kErrorsInCommand = DB_E_ERRORSINCOMMAND;

// A BSTR of `text` (UTF-8, ASCII here) with a NUL at each '#'.
_bstr_t WithNul(const std::string& text) {
  std::u16string wide(text.begin(), text.end());
  for (char16_t& c : wide) {
    if (c == u'#') c = 0;
  }
  return _bstr_t(SysAllocStringLen(wide.data(), static_cast<UINT>(wide.size())), false);
}

class HostileInputTest : public AdoTest {};

TEST_F(HostileInputTest, RefusesANulInsideAConnectStringOrStatementNamingItsPosition) {
  const std::string evil = dir_.File("nul") + "#evil.db";
  const std::string prefix = "Provider=SQLite;Data Source=";
  const std::string cut_path = prefix + evil;
  const std::string cut_provider = prefix + dir_.File("ok.db") + ";#Provider=Bogus";
  for (const std::string& text : {cut_path, cut_provider}) {
    _ConnectionPtr c;
    ASSERT_EQ(c.CreateInstance(__uuidof(Connection)), S_OK);
    const Raised r = Catch([&] { c->Open(WithNul(text), "", "", adConnectUnspecified); });
    EXPECT_EQ(r.hr, E_INVALIDARG);
    EXPECT_THAT(r.description,
                HasSubstr("NUL character at position " + std::to_string(text.find('#'))));
    EXPECT_EQ(c->GetState(), adStateClosed);
    EXPECT_EQ(Catch([&] { c->PutConnectionString(WithNul(text)); }).hr, E_INVALIDARG);
  }
  EXPECT_NE(access(dir_.File("nul").c_str(), F_OK), 0) << "the cut path was opened";
  EXPECT_NE(access(dir_.File("ok.db").c_str(), F_OK), 0) << "the cut connect string was used";

  _ConnectionPtr c = Open(FileConnect());
  Exec(c, "CREATE TABLE t (v INT)");
  const Raised statement =
      Catch([&] { c->Execute(WithNul("SELECT 1;# DROP TABLE t"), nullptr, adCmdText); });
  EXPECT_EQ(statement.hr, kErrorsInCommand);
  EXPECT_THAT(statement.description, HasSubstr("position 9"));
  _CommandPtr cmd;
  cmd.CreateInstance(__uuidof(Command));
  cmd->PutRefActiveConnection(c);
  EXPECT_EQ(Catch([&] { cmd->PutCommandText(WithNul("DELETE FROM t#x")); }).hr, kErrorsInCommand);
  _RecordsetPtr rs;
  rs.CreateInstance(__uuidof(Recordset));
  const Raised source = Catch([&] {
    rs->Open(_variant_t(WithNul("SELECT#* FROM t")), _variant_t(static_cast<IDispatch*>(c)),
             adOpenStatic, adLockReadOnly, adCmdText);
  });
  EXPECT_EQ(source.hr, kErrorsInCommand);
  EXPECT_THAT(source.description, HasSubstr("position 6"));
  // Nothing ran: the table is still there.
  Exec(c, "INSERT INTO t VALUES (1)");
}

TEST_F(HostileInputTest, RefusesAParameterOfAnUnknownDataType) {
  constexpr HRESULT kInvalidArgument = korvo::ado::AdoError(adErrInvalidArgument);
  _CommandPtr cmd;
  ASSERT_EQ(cmd.CreateInstance(__uuidof(Command)), S_OK);
  for (const long type : {9999L, -1L, 1L, 15L, 206L}) {
    const Raised r = Catch([&] {
      cmd->CreateParameter("p", static_cast<DataTypeEnum>(type), adParamInput, 4, _variant_t(1L));
    });
    EXPECT_EQ(r.hr, kInvalidArgument) << type;
    EXPECT_THAT(r.description, HasSubstr(std::to_string(type)));
  }
  _ParameterPtr p = cmd->CreateParameter("p", adVarWChar, adParamInput, 4, _variant_t(1L));
  EXPECT_EQ(Catch([&] { p->PutType(static_cast<DataTypeEnum>(9999)); }).hr, kInvalidArgument);
  EXPECT_EQ(p->GetType(), adVarWChar);
  for (const DataTypeEnum known : {adEmpty, adBigInt, adGUID, adLongVarBinary, adDBTimeStamp}) {
    p->PutType(known);
    EXPECT_EQ(p->GetType(), known);
  }
}

TEST_F(HostileInputTest, RunsALongBatchInMemoryThatDoesNotGrowWithIt) {
  _ConnectionPtr c = Open("Provider=SQLite;Data Source=:memory:");  // no disk wait per statement
  Exec(c, "CREATE TABLE t (v INT); INSERT INTO t VALUES (0)");
  constexpr int kStatements = 20000;
  std::string batch;
  for (int i = 0; i < kStatements; ++i)
    batch += "UPDATE t SET v = v + " + std::to_string(i % 7) + ";\n";
  _CommandPtr cmd;
  cmd.CreateInstance(__uuidof(Command));
  cmd->PutRefActiveConnection(c);
  cmd->PutPrepared(VARIANT_TRUE);
  cmd->PutCommandText(_bstr_t(batch.c_str()));
  // The engine's memory while the batch runs, twice (the second time with
  // the statements it let go prepared again), stays far below the text's
  // size: no statement copies the rest of the text, and the statements
  // already run are not all kept.
  const sqlite3_int64 before = sqlite3_memory_used();
  sqlite3_memory_highwater(1);
  for (int run = 0; run < 2; ++run) {
    _variant_t affected;
    cmd->Execute(&affected, nullptr, adExecuteNoRecords);
    EXPECT_EQ(affected.lVal, kStatements);
  }
  const sqlite3_int64 peak = sqlite3_memory_highwater(0) - before;
  EXPECT_LT(peak, static_cast<sqlite3_int64>(batch.size() / 4))
      << "text of " << batch.size() << " bytes";
  _RecordsetPtr rs = c->Execute("SELECT v FROM t", nullptr, adCmdText);
  EXPECT_EQ(rs->GetFields()->GetItem(0L)->GetValue().llVal, 2 * 59997);
}

TEST_F(HostileInputTest, ErrorTextsQuoteOnlyAnExcerptOfHugeInput) {
  constexpr size_t kLimit = 700;
  const std::string huge(1 << 20, 'a');
  const std::string other(1 << 20, 'b');
  auto check = [&](const char* what, const std::function<void()>& fn) {
    const Raised r = Catch(fn);
    EXPECT_LT(r.hr, 0) << what;
    EXPECT_FALSE(r.description.empty()) << what;
    EXPECT_LT(r.description.size(), kLimit) << what << ": " << r.description.substr(0, 200);
  };
  _ConnectionPtr fresh;
  ASSERT_EQ(fresh.CreateInstance(__uuidof(Connection)), S_OK);
  check("keyword", [&] { fresh->Open(_bstr_t(("Provider=SQLite;" + huge).c_str()), "", "", -1); });
  check("provider", [&] { fresh->Open(_bstr_t(("Provider=" + huge).c_str()), "", "", -1); });
  check("quote",
        [&] { fresh->Open(_bstr_t(("Provider=SQLite;" + huge + "='open").c_str()), "", "", -1); });
  check("file", [&] {
    fresh->Open(_bstr_t(("Provider=SQLite;Data Source=/no/such/" + huge).c_str()), "", "", -1);
  });

  _ConnectionPtr c = Open(FileConnect());
  check("syntax", [&] {
    c->Execute(_bstr_t(("SELECT " + huge + " " + other + " " + huge).c_str()), nullptr, adCmdText);
  });
  check("table",
        [&] { c->Execute(_bstr_t(("SELECT * FROM " + huge).c_str()), nullptr, adCmdText); });
  check("escape",
        [&] { c->Execute(_bstr_t(("SELECT {" + huge + " 1}").c_str()), nullptr, adCmdText); });
  check("procedure", [&] { c->Execute(_bstr_t(huge.c_str()), nullptr, adCmdStoredProc); });
  // The engine's own words survive the cut.
  const Raised syntax = Catch([&] {
    c->Execute(_bstr_t(("SELECT " + huge + " " + other + " " + huge).c_str()), nullptr, adCmdText);
  });
  EXPECT_THAT(syntax.description, HasSubstr("syntax error"));
}

TEST_F(HostileInputTest, TakesThousandsOfKeywordsAndParameters) {
  std::string connect = FileConnect();
  for (int i = 0; i < 40000; ++i) connect += ";Key" + std::to_string(i) + "=" + std::to_string(i);
  connect += ";key7=last";  // a keyword given twice keeps its last value
  _ConnectionPtr c = Open(connect);
  ASSERT_EQ(c->GetState(), adStateOpen);

  _CommandPtr cmd;
  cmd.CreateInstance(__uuidof(Command));
  cmd->PutRefActiveConnection(c);
  ParametersPtr params = cmd->GetParameters();
  constexpr int kParameters = 30000;
  std::string rows;
  for (int i = 0; i < kParameters; ++i) {
    rows += i ? ",(?)" : "(?)";
    params->Append(cmd->CreateParameter("", adInteger, adParamInput, 4,
                                        _variant_t(static_cast<long>(i % 10))));
  }
  EXPECT_EQ(static_cast<long>(params->GetItem(static_cast<long>(kParameters - 1))->GetValue()), 9);
  cmd->PutCommandText(
      _bstr_t(("SELECT count(*), sum(column1) FROM (VALUES " + rows + ")").c_str()));
  _RecordsetPtr rs = cmd->Execute(nullptr, nullptr, adCmdText);
  EXPECT_EQ(rs->GetFields()->GetItem(0L)->GetValue().llVal, kParameters);
  EXPECT_EQ(rs->GetFields()->GetItem(1L)->GetValue().llVal, 45 * kParameters / 10);
  rs->Close();
  // Past the engine's own limit the engine's error comes, in a few words.
  for (int i = kParameters; i < 300000; ++i) {
    rows += ",(?)";
    params->Append(cmd->CreateParameter("", adInteger, adParamInput, 4, _variant_t(1L)));
  }
  cmd->PutCommandText(_bstr_t(("SELECT count(*) FROM (VALUES " + rows + ")").c_str()));
  const Raised r = Catch([&] { cmd->Execute(nullptr, nullptr, adCmdText); });
  EXPECT_LT(r.hr, 0);
  EXPECT_THAT(r.description, HasSubstr("too many SQL variables")) << r.description.substr(0, 300);
  EXPECT_LT(r.description.size(), 700u);
}

}  // namespace
}  // namespace korvo::ado::test
