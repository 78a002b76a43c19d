// Tests of the Connection object on every engine; the connect-string and
// prompt checks, which no engine sees, on SQLite.
#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <korvo/ado/ado.h>
#include <korvo/ado/error_result.h>
#include <korvo/platform/terminal_internal.h>

#include "ado/ado_engines.h"

namespace korvo::ado::test {
namespace {

using ::testing::HasSubstr;

class ConnectionTest : public AdoTest {};
class EngineConnectionTest : public EngineTest {};
// The tests that look through a second connection.
class TwoConnectionTest : public EngineTest {};

long Count(_ConnectionPtr& c, const char* sql) {
  _RecordsetPtr rs = c->Execute(sql, nullptr, adCmdText);
  return static_cast<long>(rs->GetFields()->GetItem(0L)->GetValue());
}

TEST_P(EngineConnectionTest, OpensExecutesCountsAndCloses) {
  _ConnectionPtr c;
  ASSERT_EQ(c.CreateInstance(__uuidof(Connection)), S_OK);
  EXPECT_EQ(c->GetState(), adStateClosed);
  c->Open(_bstr_t(ConnectText().c_str()), "", "", adConnectUnspecified);
  EXPECT_EQ(c->GetState(), adStateOpen);
  Exec(c, ("CREATE TABLE t (id " + GetParam().auto_key + ", v INT)").c_str());
  _variant_t affected;
  c->Execute("INSERT INTO t (v) VALUES (1), (2), (3)", &affected, adExecuteNoRecords);
  EXPECT_EQ(affected.vt, VT_I4);
  EXPECT_EQ(affected.lVal, 3);
  c->Execute("UPDATE t SET v = v + 1 WHERE v >= 2", &affected, 0);
  EXPECT_EQ(affected.lVal, 2);
  // A statement without rows gives a closed recordset.
  _RecordsetPtr none = c->Execute("DELETE FROM t WHERE v = 1", &affected, adCmdText);
  EXPECT_EQ(affected.lVal, 1);
  EXPECT_EQ(none->GetState(), adStateClosed);
  EXPECT_EQ(Count(c, "SELECT count(*) FROM t"), 2);
  // A table name as the command type.
  _RecordsetPtr table = c->Execute("t", nullptr, adCmdTable);
  EXPECT_EQ(table->GetFields()->GetCount(), 2);
  c->Close();
  EXPECT_EQ(c->GetState(), adStateClosed);
  // The object is reusable.
  c->Open(_bstr_t(ConnectText().c_str()), "", "", adConnectUnspecified);
  EXPECT_EQ(Count(c, "SELECT 2"), 2);
}

TEST_F(ConnectionTest, RejectsBadConnectStringsClearly) {
  const char* bad[] = {
      "Provider=SQLite;Data Source=\"unbalanced",
      "Provider=SQLite;Data Source={unbalanced",
      "Provider=SQLite;=x",
      "Provider=Nonesuch.1;Data Source=x",
      "Data Source=x",
      "Provider=SQLite",
      "Provider=SQLite;Data Source=/no/such/dir/x.db",
      "ODBC;DSN=nothing",
  };
  for (const char* text : bad) {
    _ConnectionPtr c;
    ASSERT_EQ(c.CreateInstance(__uuidof(Connection)), S_OK);
    const Raised r = Catch([&] { c->Open(_bstr_t(text), "", "", adConnectUnspecified); });
    EXPECT_LT(r.hr, 0) << text;
    EXPECT_FALSE(r.description.empty()) << text;
    EXPECT_EQ(c->GetState(), adStateClosed) << text;
  }
  _ConnectionPtr c;
  ASSERT_EQ(c.CreateInstance(__uuidof(Connection)), S_OK);
  Raised r = Catch([&] { c->Open("Provider=Nonesuch.1", "", "", -1); });
  EXPECT_EQ(r.hr, korvo::ado::AdoError(adErrProviderNotFound));
  EXPECT_THAT(r.description, HasSubstr("Provider cannot be found"));
  r = Catch([&] { c->Open("Provider=SQLite;Data Source='x", "", "", -1); });
  EXPECT_EQ(r.hr, E_INVALIDARG);
  EXPECT_THAT(r.description, HasSubstr("quote"));
}

TEST_P(EngineConnectionTest, ReportsEngineErrorsInErrorsCollection) {
  _ConnectionPtr c = Open(ConnectText());
  EXPECT_EQ(c->GetErrors()->GetCount(), 0);
  Exec(c, "CREATE TABLE u (k INT PRIMARY KEY, n TEXT NOT NULL)");
  Raised r = Catch([&] { Exec(c, "SELEKT 1"); });
  EXPECT_EQ(r.hr, DB_E_ERRORSINCOMMAND);
  EXPECT_THAT(r.description, HasSubstr("SELEKT"));
  ErrorsPtr errors = c->GetErrors();
  ASSERT_EQ(errors->GetCount(), 1);
  ErrorPtr e = errors->GetItem(0L);
  EXPECT_EQ(e->GetNumber(), static_cast<long>(DB_E_ERRORSINCOMMAND));
  EXPECT_EQ(std::string(e->GetSQLState()), "42000");
  EXPECT_NE(e->GetNativeError(), 0);
  EXPECT_EQ(std::string(e->GetDescription()), r.description);

  Exec(c, "INSERT INTO u VALUES (1, 'a')");
  EXPECT_EQ(c->GetErrors()->GetCount(), 0);  // a new operation starts clean
  for (const char* sql : {"INSERT INTO u VALUES (1, 'b')", "INSERT INTO u VALUES (2, NULL)"}) {
    r = Catch([&] { Exec(c, sql); });
    EXPECT_EQ(r.hr, DB_E_INTEGRITYVIOLATION) << sql;
    EXPECT_FALSE(r.description.empty());
    EXPECT_EQ(std::string(c->GetErrors()->GetItem(0L)->GetSQLState()).substr(0, 2), "23");
  }
  r = Catch([&] { c->GetErrors()->GetItem(5L); });
  EXPECT_EQ(r.hr, korvo::ado::AdoError(adErrItemNotFound));
  c->GetErrors()->Clear();
  EXPECT_EQ(c->GetErrors()->GetCount(), 0);
}

TEST_P(EngineConnectionTest, ClosedConnectionRefusesWork) {
  _ConnectionPtr c;
  ASSERT_EQ(c.CreateInstance(__uuidof(Connection)), S_OK);
  EXPECT_EQ(Catch([&] { Exec(c, "SELECT 1"); }).hr, korvo::ado::AdoError(adErrInvalidConnection));
  EXPECT_EQ(Catch([&] { c->BeginTrans(); }).hr, korvo::ado::AdoError(adErrInvalidConnection));
  const Raised r = Catch([&] { c->Close(); });
  EXPECT_EQ(r.hr, korvo::ado::AdoError(adErrObjectClosed));
  EXPECT_EQ(r.description, "Operation is not allowed when the object is closed.");
  c->Open(_bstr_t(ConnectText().c_str()), "", "", -1);
  EXPECT_EQ(Catch([&] { c->Open(_bstr_t(ConnectText().c_str()), "", "", -1); }).hr,
            korvo::ado::AdoError(adErrObjectOpen));
}

TEST_P(EngineConnectionTest, ExposesProperties) {
  _ConnectionPtr c = Open(ConnectText());
  PropertiesPtr p = c->GetProperties();
  EXPECT_EQ(std::string(_bstr_t(p->GetItem("DBMS Name")->GetValue())), GetParam().dbms_name);
  EXPECT_EQ(std::string(_bstr_t(p->GetItem("dbms name")->GetValue())), GetParam().dbms_name);
  EXPECT_FALSE(std::string(_bstr_t(p->GetItem("DBMS Version")->GetValue())).empty());
  EXPECT_EQ(std::string(_bstr_t(p->GetItem("Provider Name")->GetValue())),
            GetParam().provider_name);
  EXPECT_EQ(std::string(_bstr_t(p->GetItem("Extended Properties")->GetValue())), ConnectText());
  EXPECT_EQ(static_cast<long>(p->GetItem("Prompt")->GetValue()), adPromptNever);
  EXPECT_EQ(Catch([&] { p->GetItem("No Such Property"); }).hr,
            korvo::ado::AdoError(adErrItemNotFound));
  EXPECT_LT(Catch([&] { p->GetItem("DBMS Name")->PutValue("x"); }).hr, 0);
  EXPECT_NE(std::string(c->GetDefaultDatabase()), "");
  c->PutIsolationLevel(adXactReadUncommitted);
  EXPECT_EQ(c->GetIsolationLevel(), adXactReadUncommitted);
  c->PutIsolationLevel(adXactReadCommitted);
  EXPECT_LT(Catch([&] { c->PutIsolationLevel(static_cast<IsolationLevelEnum>(77)); }).hr, 0);
}

struct PromptState {
  int calls = 0;
  std::string answer;
};

bool AnswerPrompt(void* context, const char*, std::string* answer) {
  auto* state = static_cast<PromptState*>(context);
  ++state->calls;
  if (state->answer.empty()) return false;
  *answer = state->answer;
  return true;
}

// A terminal that answers what the test set, and keeps the question.
platform::TerminalAnswer g_terminal_answer = platform::TerminalAnswer::kNoTerminal;
std::string g_terminal_line;
std::string g_terminal_question;
platform::TerminalAnswer FakeTerminal(const std::string& question, std::string* line) {
  g_terminal_question = question;
  if (g_terminal_answer == platform::TerminalAnswer::kAnswered) *line = g_terminal_line;
  return g_terminal_answer;
}

TEST_F(ConnectionTest, PromptsThroughTheHostCallback) {
  PromptState state;
  state.answer = FileConnect("prompted.db");
  SetConnectPromptCallback(AnswerPrompt, &state);
  _ConnectionPtr c;
  ASSERT_EQ(c.CreateInstance(__uuidof(Connection)), S_OK);
  c->GetProperties()->GetItem("Prompt")->PutValue(1L);
  c->Open("", "", "", adConnectUnspecified);
  EXPECT_EQ(state.calls, 1);
  EXPECT_EQ(c->GetState(), adStateOpen);
  EXPECT_EQ(std::string(_bstr_t(c->GetProperties()->GetItem("Extended Properties")->GetValue())),
            state.answer);
  c->Close();
  state.answer.clear();  // the user cancels
  const Raised r = Catch([&] { c->Open("", "", "", adConnectUnspecified); });
  EXPECT_LT(r.hr, 0);
  EXPECT_THAT(r.description, HasSubstr("cancelled"));
  SetConnectPromptCallback(nullptr, nullptr);
  // Without a callback the terminal is asked; without a terminal the open
  // fails clearly.
  g_terminal_answer = platform::TerminalAnswer::kNoTerminal;
  platform::TEST_SetTerminal(FakeTerminal);
  const Raised none = Catch([&] { c->Open("", "", "", adConnectUnspecified); });
  EXPECT_LT(none.hr, 0);
  EXPECT_THAT(none.description, HasSubstr("not a terminal"));
  g_terminal_answer = platform::TerminalAnswer::kEnded;
  EXPECT_THAT(Catch([&] { c->Open("", "", "", adConnectUnspecified); }).description,
              HasSubstr("cancelled"));
  g_terminal_answer = platform::TerminalAnswer::kAnswered;
  g_terminal_line = FileConnect("typed.db");
  c->PutConnectionString("");
  c->Open("", "", "", adConnectUnspecified);
  EXPECT_EQ(g_terminal_question, "Connect string: ");
  EXPECT_EQ(c->GetState(), adStateOpen);
  c->Close();
  g_terminal_line.clear();  // an empty line keeps the string shown, here the one from the last open
  c->Open("", "", "", adConnectUnspecified);
  EXPECT_EQ(g_terminal_question, "Connect string [" + FileConnect("typed.db") + "]: ");
  EXPECT_EQ(c->GetState(), adStateOpen);
  c->Close();
  platform::TEST_SetTerminal(nullptr);
  // Prompt "never" with no connect string at all is an error too (an
  // empty argument would reuse the ConnectionString property).
  c->GetProperties()->GetItem("Prompt")->PutValue(4L);
  c->PutConnectionString("");
  EXPECT_LT(Catch([&] { c->Open("", "", "", adConnectUnspecified); }).hr, 0);
  EXPECT_LT(Catch([&] { c->GetProperties()->GetItem("Prompt")->PutValue(9L); }).hr, 0);
}

TEST_P(TwoConnectionTest, NestsTransactionsAndRollsBackToTheRightLevel) {
  _ConnectionPtr c = Open(ConnectText());
  _ConnectionPtr other = Open(ConnectText());
  Exec(c, "CREATE TABLE x (v INT)");
  EXPECT_EQ(c->BeginTrans(), 1);
  Exec(c, "INSERT INTO x VALUES (1)");
  EXPECT_EQ(c->BeginTrans(), 2);
  Exec(c, "INSERT INTO x VALUES (2)");
  EXPECT_EQ(c->BeginTrans(), 3);
  Exec(c, "INSERT INTO x VALUES (3)");
  c->RollbackTrans();  // level 3 gone
  EXPECT_EQ(Count(c, "SELECT sum(v) FROM x"), 3);
  c->CommitTrans();                                      // level 2 folded into level 1
  EXPECT_EQ(Count(other, "SELECT count(*) FROM x"), 0);  // nothing committed yet
  c->CommitTrans();
  EXPECT_EQ(Count(other, "SELECT sum(v) FROM x"), 3);
  EXPECT_EQ(Catch([&] { c->CommitTrans(); }).hr, XACT_E_NOTRANSACTION);

  EXPECT_EQ(c->BeginTrans(), 1);
  Exec(c, "INSERT INTO x VALUES (10)");
  EXPECT_EQ(c->BeginTrans(), 2);
  Exec(c, "INSERT INTO x VALUES (20)");
  c->RollbackTrans();
  c->RollbackTrans();
  EXPECT_EQ(Count(other, "SELECT sum(v) FROM x"), 3);
  // Rolling back ends the transaction even while a prepared command still
  // holds a statement of the connection; Close then leaves no lock.
  _CommandPtr keeper;
  keeper.CreateInstance(__uuidof(Command));
  keeper->PutRefActiveConnection(c);
  keeper->PutPrepared(VARIANT_TRUE);
  keeper->PutCommandText("INSERT INTO x VALUES (100)");
  c->BeginTrans();
  keeper->Execute(nullptr, nullptr, adExecuteNoRecords);
  c->RollbackTrans();
  c->Close();
  Exec(other, "INSERT INTO x VALUES (0)");  // no lock left behind
  EXPECT_EQ(Count(other, "SELECT sum(v) FROM x"), 3);
}

TEST_P(EngineConnectionTest, InterruptsAStatementPastCommandTimeout) {
  _ConnectionPtr c = Open(ConnectText());
  c->PutCommandTimeout(1);
  const Raised r = Catch([&] { c->Execute(GetParam().slow_sql.c_str(), nullptr, adCmdText); });
  EXPECT_EQ(r.hr, DB_E_ABORTLIMITREACHED);
  EXPECT_EQ(r.description.rfind("Query timeout expired", 0), 0u) << r.description;
  EXPECT_EQ(std::string(c->GetErrors()->GetItem(0L)->GetSQLState()), "HYT00");
  EXPECT_EQ(Count(c, "SELECT 7"), 7);  // still usable
}

// Events come from the object model, the messages from the engine: an
// engine without messages has nothing to show here.
TEST_P(EngineConnectionTest, RaisesConnectionEventsAndInfoMessages) {
  if (!GetParam().notices)
    GTEST_SKIP() << GetParam().name << " has no statement that leaves messages";
  _ConnectionPtr c;
  ASSERT_EQ(c.CreateInstance(__uuidof(Connection)), S_OK);
  const auto events = RecordingEvents::On(c);
  c->Open(_bstr_t(ConnectText().c_str()), "", "", -1);
  _variant_t affected;
  c->Execute(_bstr_t(GetParam().notices("first message", "second message").c_str()), &affected,
             adExecuteNoRecords);
  const std::string& prefix = GetParam().notice_prefix;
  EXPECT_EQ(events->messages, prefix + "first message," + prefix + "second message");
  EXPECT_EQ(c->GetErrors()->GetItem(0L)->GetNumber(), 0);
  EXPECT_EQ(std::string(c->GetErrors()->GetItem(0L)->GetSQLState()), "01000");
  c->BeginTrans();
  c->BeginTrans();
  c->CommitTrans();
  c->RollbackTrans();
  Catch([&] { c->Execute("SELEKT", nullptr, 0); });
  c->Close();
  EXPECT_EQ(events->log, "willconnect;connected;will;complete(" + std::to_string(affected.lVal) +
                             ",ok);begin1;begin2;commit;rollback;will;complete(-1,failed,error);"
                             "disconnect;");
}

INSTANTIATE_TEST_SUITE_P(Engines, EngineConnectionTest, ::testing::ValuesIn(AdoEngines()),
                         [](const auto& info) { return info.param.name; });
INSTANTIATE_TEST_SUITE_P(Engines, TwoConnectionTest, ::testing::ValuesIn(AdoEngines(SharesData)),
                         [](const auto& info) { return info.param.name; });

}  // namespace
}  // namespace korvo::ado::test
