// Tests of CDatabase on real SQLite databases (files and :memory:):
// opening, product type, dirty read, session instructions, statements,
// transactions, informational messages, closing, errors and the trace.
// Cases that switch the trace or the registry rely on running in a
// process of their own (CTest does that).
#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <korvo/com/coinit.h>
#include <korvo/com/error_info.h>
#include <korvo/com/object.h>
#include <korvo/db/CDatabase.h>
#include <korvo/db/CDatabaseEvent.h>
#include <korvo/db/global_locks.h>
#include <korvo/diag/CDBException.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <functional>
#include <future>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "support/db_exception.h"
#include "support/lock_wait.h"
#include "support/test_support.h"
#include "support/trace_file.h"

namespace {

using ::testing::HasSubstr;
using ::testing::Not;

using korvo::test::CatchDB;
using korvo::test::RegistryFile;
using korvo::test::ScopedEnv;
using korvo::test::SqliteConnect;
using korvo::test::TempDir;

// Exposes the protected state the tests look at.
class TestDatabase : public CDatabase {
 public:
  using CDatabase::m_nTransLevel;
  using CDatabase::m_pEventSink;
};

const std::string kMemory = SqliteConnect(":memory:");

long CountRows(CDatabase& db, const char* table) {
  _RecordsetPtr rs = db.GetAdoConnection()->Execute(
      _bstr_t((std::string("SELECT COUNT(*) FROM ") + table).c_str()), nullptr, 0);
  return static_cast<long>(rs->GetFields()->GetItem(_variant_t(0L))->GetValue());
}

class DatabaseTest : public ::testing::Test {
 protected:
  void SetUp() override { ASSERT_GE(CoInitializeEx(nullptr, COINIT_MULTITHREADED), 0); }
  void TearDown() override { CoUninitialize(); }

  // Points the registry at `registry` (and so switches the trace). Must be
  // called before the first library object of the process is made.
  void UseRegistry(const std::string& contents) {
    env_ = korvo::test::UseRegistryIn(dir_.path(), contents);
  }
  std::vector<std::string> Trace() { return korvo::test::ProcessTrace(dir_.path()); }

  TempDir dir_;
  std::unique_ptr<ScopedEnv> env_;
};

// ------------------------------------------------------------ opening

TEST_F(DatabaseTest, FreshObjectIsClosedAndUnknown) {
  TestDatabase db;
  EXPECT_EQ(db.GetDbmsType(), CDatabase::dbmsUnknown);
  EXPECT_EQ(db.IsOpen(), 0);
  EXPECT_EQ(db.IsConnectionDead(), 1);
  EXPECT_EQ(db.GetQueryTimeout(), 0u);
  EXPECT_EQ(db.CanUpdate(), 0);
  EXPECT_EQ(db.CanTransact(), 1);
  EXPECT_TRUE(db.GetConnect().IsEmpty());
  EXPECT_EQ(db.m_nTransLevel, 0);
  EXPECT_EQ(db.m_pEventSink, nullptr);
  EXPECT_TRUE(db.GetAdoConnection() != nullptr);
  EXPECT_EQ(db.GetErrNumber(), 0);
  EXPECT_EQ(db.BeginTrans(), 0) << "closed: ADO refuses, reported by the result";
  EXPECT_EQ(db.m_nTransLevel, 0);
}

TEST_F(DatabaseTest, OpenExStoresConnectAndReadOnlyOption) {
  CDatabase db;
  ASSERT_EQ(db.OpenEx(kMemory.c_str(), CDatabase::dbOptReadOnly), 1);
  EXPECT_EQ(db.IsOpen(), 1);
  EXPECT_EQ(db.IsConnectionDead(), 0);
  EXPECT_EQ(db.CanUpdate(), 0);
  EXPECT_STREQ(db.GetConnect(), kMemory.c_str());
  EXPECT_STREQ(db.GetConnectNoODBC(), kMemory.c_str());
  db.Close();
  EXPECT_EQ(db.IsOpen(), 0);

  // A null connect text reopens with the stored one.
  ASSERT_EQ(db.OpenEx(nullptr, 0), 1);
  EXPECT_EQ(db.CanUpdate(), 1);
  EXPECT_STREQ(db.GetConnect(), kMemory.c_str());
  db.Close();

  // An empty text empties the stored string; what an empty connect string
  // opens is ADO's answer (it reuses the connection's previous one).
  db.OpenEx("", 0);
  EXPECT_TRUE(db.GetConnect().IsEmpty());

  // On a connection that never had one, it cannot open.
  CDatabase fresh;
  auto e = CatchDB([&] { fresh.OpenEx("", 0); });
  ASSERT_TRUE(e);
  EXPECT_STREQ(e->m_strErrorOrigin, "[6005]");
  EXPECT_FALSE(e->m_strErrorText.IsEmpty());

  // Open hands its connect argument (and read-only flag) on; the DSN is unused.
  ASSERT_EQ(fresh.Open("ignored DSN", FALSE, TRUE, kMemory.c_str(), FALSE), 1);
  EXPECT_EQ(fresh.CanUpdate(), 0);
  EXPECT_STREQ(fresh.GetConnect(), kMemory.c_str());
}

struct PromptAnswer {
  std::string text;  // empty: the user cancels
  int asked = 0;
};

bool AnswerPrompt(void* context, const char*, std::string* answer) {
  auto* a = static_cast<PromptAnswer*>(context);
  ++a->asked;
  *answer = a->text;
  return !a->text.empty();
}

TEST_F(DatabaseTest, PromptOpensWithWhatTheUserGaveAndStoresIt) {
  PromptAnswer answer{kMemory};
  korvo::ado::SetConnectPromptCallback(AnswerPrompt, &answer);
  CDatabase db;
  ASSERT_EQ(db.OpenEx("Provider=SQLite;Data Source=not used", CDatabase::dbOptPrompt), 1);
  EXPECT_EQ(answer.asked, 1);
  EXPECT_EQ(db.IsOpen(), 1);
  EXPECT_STREQ(db.GetConnect(), kMemory.c_str());
  db.ExecuteSQL("CREATE TABLE t (v INTEGER)");  // really open, in memory

  PromptAnswer cancel;
  korvo::ado::SetConnectPromptCallback(AnswerPrompt, &cancel);
  CDatabase cancelled;
  auto e = CatchDB([&] { cancelled.OpenEx(nullptr, CDatabase::dbOptPrompt); });
  ASSERT_TRUE(e);
  EXPECT_EQ(cancel.asked, 1);
  EXPECT_STREQ(e->m_strErrorOrigin, "[6005]");
  EXPECT_EQ(cancelled.IsOpen(), 0);
  korvo::ado::SetConnectPromptCallback(nullptr, nullptr);
}

TEST_F(DatabaseTest, BadConnectStringsGiveOrigin6005WithADescription) {
  TempDir dir;
  const std::string cases[] = {
      "Provider=NoSuchEngine;Data Source=x",
      SqliteConnect(dir.File("missing-directory/db.sqlite")),
  };
  for (const std::string& connect : cases) {
    CDatabase db;
    auto e = CatchDB([&] { db.OpenEx(connect.c_str(), 0); });
    ASSERT_TRUE(e) << connect;
    EXPECT_EQ(e->m_nReturnCode, 1000);
    EXPECT_EQ(e->m_dwNativeError, 0u);
    EXPECT_STREQ(e->m_strErrorOrigin, "[6005]");
    EXPECT_FALSE(e->m_strErrorText.IsEmpty()) << connect;
    EXPECT_EQ(db.IsOpen(), 0);
    EXPECT_EQ(db.GetDbmsType(), CDatabase::dbmsUnknown);
  }
}

TEST_F(DatabaseTest, ConstructorWithoutComGivesOrigin6000) {
  auto outcome = std::async(std::launch::async, [] {
    // This thread never initialised COM.
    auto e = CatchDB([] { CDatabase db; });
    return e ? std::make_pair(std::string(e->m_strErrorOrigin), e->m_nReturnCode)
             : std::make_pair(std::string(), SHORT{0});
  });
  auto [origin, code] = outcome.get();
  EXPECT_EQ(origin, "[6000]");
  EXPECT_EQ(code, 1000);
}

TEST_F(DatabaseTest, ProductTypeIsLearnedOnceAndKept) {
  CDatabase db;
  ASSERT_EQ(db.OpenEx(kMemory.c_str()), 1);
  EXPECT_EQ(db.GetDbmsType(), CDatabase::dbmsTypeOther);  // "SQLite"
  db.Close();
  EXPECT_EQ(db.GetDbmsType(), CDatabase::dbmsTypeOther);
  // A later open of a product of the other family keeps the first answer.
  ASSERT_EQ(db.OpenEx(SqliteConnect(":memory:", "DBMS Name=Microsoft SQL Server").c_str()), 1);
  EXPECT_EQ(db.GetDbmsType(), CDatabase::dbmsTypeOther);

  CDatabase m;
  ASSERT_EQ(m.OpenEx(SqliteConnect(":memory:", "DBMS Name=MariaDB").c_str()), 1);
  EXPECT_EQ(m.GetDbmsType(), CDatabase::dbmsTypeM);
  CDatabase lower;
  ASSERT_EQ(lower.OpenEx(SqliteConnect(":memory:", "DBMS Name=mysql").c_str()), 1);
  EXPECT_EQ(lower.GetDbmsType(), CDatabase::dbmsTypeOther) << "only a capital M counts";

  // A copy shares the connection and keeps the type.
  CDatabase copy(m);
  EXPECT_EQ(copy.GetDbmsType(), CDatabase::dbmsTypeM);
  EXPECT_TRUE(copy.GetAdoConnection() == m.GetAdoConnection());
}

TEST_F(DatabaseTest, DirtyReadOnEachFamily) {
  const std::string mConnect = SqliteConnect(":memory:", "DBMS Name=Microsoft SQL Server");
  CDatabase m;
  m.SetDirtyRead(TRUE);
  ASSERT_EQ(m.OpenEx(mConnect.c_str()), 1);
  EXPECT_EQ(m.GetAdoConnection()->GetIsolationLevel(), adXactReadUncommitted);
  EXPECT_EQ(m.ForceDirtyRead(FALSE), FALSE);
  EXPECT_EQ(m.GetAdoConnection()->GetIsolationLevel(), adXactReadCommitted);
  EXPECT_EQ(m.ForceDirtyRead(TRUE), TRUE);
  EXPECT_EQ(m.GetAdoConnection()->GetIsolationLevel(), adXactReadUncommitted);

  CDatabase other;
  other.SetDirtyRead(TRUE);
  ASSERT_EQ(other.OpenEx(kMemory.c_str()), 1);  // opens, changes nothing
  EXPECT_EQ(other.GetAdoConnection()->GetIsolationLevel(), adXactReadCommitted);

  CDatabase forced;
  ASSERT_EQ(forced.OpenEx(kMemory.c_str()), 1);
  forced.GetAdoConnection()->PutIsolationLevel(adXactSerializable);
  EXPECT_EQ(forced.ForceDirtyRead(TRUE), TRUE);
  EXPECT_EQ(forced.GetAdoConnection()->GetIsolationLevel(), adXactSerializable)
      << "a product not beginning with M keeps its isolation level";
  EXPECT_EQ(forced.ForceDirtyRead(TRUE), TRUE);  // returns at once
  EXPECT_EQ(forced.ForceDirtyRead(FALSE), FALSE);
  EXPECT_EQ(forced.GetAdoConnection()->GetIsolationLevel(), adXactReadCommitted);
}

TEST_F(DatabaseTest, QueryTimeoutIsHandedToAdoBeforeEachStatement) {
  CDatabase db;
  ASSERT_EQ(db.OpenEx(kMemory.c_str()), 1);
  db.GetAdoConnection()->PutCommandTimeout(77);
  db.SetQueryTimeout(0xFFFFFFFF);
  db.ExecuteSQL("SELECT 1");
  EXPECT_EQ(db.GetAdoConnection()->GetCommandTimeout(), 77) << "0xFFFFFFFF leaves ADO's value";
  db.SetQueryTimeout(5);
  EXPECT_EQ(db.GetQueryTimeout(), 5u);
  db.ExecuteSQL("SELECT 1");
  EXPECT_EQ(db.GetAdoConnection()->GetCommandTimeout(), 5);
  db.SetQueryTimeout(0);
  db.ExecuteSQL("SELECT 1");
  EXPECT_EQ(db.GetAdoConnection()->GetCommandTimeout(), 0);
}

// ------------------------------------------------------------ statements

TEST_F(DatabaseTest, ExecuteSqlCountsAffectedRows) {
  CDatabase db;
  ASSERT_EQ(db.OpenEx(kMemory.c_str()), 1);
  db.ExecuteSQL("CREATE TABLE t (id INTEGER PRIMARY KEY, v TEXT)");
  long count = -1;
  db.ExecuteSQL("INSERT INTO t (v) VALUES ('a'), ('b'), ('c'), ('d')", &count);
  EXPECT_EQ(count, 4);
  count = -1;
  db.ExecuteSQL("UPDATE t SET v = 'x' WHERE id <= 3", &count);
  EXPECT_EQ(count, 3);
  count = -1;
  db.ExecuteSQL(u"DELETE FROM t WHERE id = 4", &count);
  EXPECT_EQ(count, 1);
  count = -1;
  db.ExecuteSQLW(u"UPDATE t SET v = 'y' WHERE id > 100", &count);
  EXPECT_EQ(count, 0);
  db.ExecuteSQL("UPDATE t SET v = 'z'");  // no counter requested
  EXPECT_EQ(CountRows(db, "t WHERE v = 'z'"), 3);
  EXPECT_EQ(db.GetErrNumber(), 0);
  EXPECT_FALSE(db.GetDatabaseName().IsEmpty());
  EXPECT_LE(db.GetDatabaseName().GetLength(), 63);
}

TEST_F(DatabaseTest, FailingStatementsCarryOriginNativeErrorAndDescription) {
  CDatabase db;
  ASSERT_EQ(db.OpenEx(kMemory.c_str()), 1);
  db.ExecuteSQL("CREATE TABLE u (k INTEGER UNIQUE)");
  db.ExecuteSQL("INSERT INTO u VALUES (1)");

  struct Case {
    std::function<void()> run;
    const char* origin;
  };
  const Case violations[] = {
      {[&] { db.ExecuteSQL("INSERT INTO u VALUES (1)"); }, "[6007]"},
      {[&] { db.ExecuteSQL(u"INSERT INTO u VALUES (1)"); }, "[6008]"},
      {[&] { db.ExecuteSQLW(u"INSERT INTO u VALUES (1)"); }, "[6009]"},
  };
  for (const Case& c : violations) {
    auto e = CatchDB(c.run);
    ASSERT_TRUE(e);
    EXPECT_EQ(e->m_nReturnCode, 1000);
    EXPECT_EQ(e->m_dwNativeError, 23000u);
    EXPECT_STREQ(e->m_strErrorOrigin, c.origin);
    EXPECT_THAT(std::string(e->m_strErrorText), HasSubstr("UNIQUE")) << e->m_strErrorText;
    EXPECT_EQ(db.GetErrNumber(), DB_E_INTEGRITYVIOLATION);
  }

  auto syntax = CatchDB([&] { db.ExecuteSQL("SELEKT nonsense"); });
  ASSERT_TRUE(syntax);
  EXPECT_EQ(syntax->m_dwNativeError, 23000u);
  EXPECT_STREQ(syntax->m_strErrorOrigin, "[6007]");
  EXPECT_FALSE(syntax->m_strErrorText.IsEmpty());
  EXPECT_EQ(db.GetErrNumber(), DB_E_ERRORSINCOMMAND);

  // Any other provider code leaves the native error at 0.
  db.Close();
  auto closed = CatchDB([&] { db.ExecuteSQL("SELECT 1"); });
  ASSERT_TRUE(closed);
  EXPECT_EQ(closed->m_nReturnCode, 1000);
  EXPECT_EQ(closed->m_dwNativeError, 0u);
  EXPECT_STREQ(closed->m_strErrorOrigin, "[6007]");
  EXPECT_FALSE(closed->m_strErrorText.IsEmpty());

  // A null statement is a clear error too, never a crash.
  ASSERT_EQ(db.OpenEx(nullptr), 1);
  auto null = CatchDB([&] { db.ExecuteSQL(static_cast<const char*>(nullptr)); });
  ASSERT_TRUE(null);
  EXPECT_STREQ(null->m_strErrorOrigin, "[6007]");
}

// ------------------------------------------------------------ transactions

// The nesting rules of the header, step by step: the inner CommitTrans
// ends CDatabase's record, the outer ADO level it no longer records is
// reported at Close, never dropped, and the host ends it through the ADO
// connection.
TEST_F(DatabaseTest, NestedTransactionsLeaveTheOuterLevelToTheHostAndCloseReportsIt) {
  UseRegistry(RegistryFile(dir_.path().c_str()));
  const std::string connect = SqliteConnect(dir_.File("outer.db"));
  TestDatabase db;
  ASSERT_EQ(db.OpenEx(connect.c_str()), 1);
  db.ExecuteSQL("CREATE TABLE t (v INTEGER)");
  ASSERT_EQ(db.BeginTrans(), 1);
  EXPECT_EQ(db.m_nTransLevel, 1);
  db.ExecuteSQL("INSERT INTO t VALUES (1)");
  ASSERT_EQ(db.BeginTrans(), 1);
  EXPECT_EQ(db.m_nTransLevel, 2);
  db.ExecuteSQL("INSERT INTO t VALUES (2)");
  EXPECT_EQ(db.CommitTrans(), 1);  // ends the inner level
  EXPECT_EQ(db.m_nTransLevel, 0);
  EXPECT_EQ(db.CommitTrans(), 1);  // only traced: level 1 stays open
  EXPECT_EQ(db.Rollback(), 1);     // only traced
  std::vector<std::string> trace = Trace();
  auto commit =
      std::find(trace.begin(), trace.end(), "CDatabase::CommitTrans:No Transaction Active");
  ASSERT_NE(commit, trace.end());
  EXPECT_EQ(*(commit - 1), "CDatabase::CommitTrans");
  EXPECT_EQ(trace.back(), "CDatabase::Rollback:No Transaction Active");

  auto refused = CatchDB([&] { db.Close(); });
  ASSERT_TRUE(refused) << "Close dropped an open transaction silently";
  EXPECT_STREQ(refused->m_strErrorOrigin, "[6001]");
  EXPECT_FALSE(refused->m_strErrorText.IsEmpty());
  EXPECT_EQ(db.IsOpen(), 1) << "refused, so still open and usable";
  EXPECT_EQ(CountRows(db, "t"), 2);

  db.GetAdoConnection()->CommitTrans();  // the host ends level 1 itself
  db.Close();
  EXPECT_EQ(db.IsOpen(), 0);
  CDatabase reader;
  ASSERT_EQ(reader.OpenEx(connect.c_str()), 1);
  EXPECT_EQ(CountRows(reader, "t"), 2) << "both rows committed by the host";

  // Destroying the object instead rolls the unrecorded level back.
  {
    CDatabase dropped;
    ASSERT_EQ(dropped.OpenEx(connect.c_str()), 1);
    ASSERT_EQ(dropped.BeginTrans(), 1);
    ASSERT_EQ(dropped.BeginTrans(), 1);
    dropped.ExecuteSQL("INSERT INTO t VALUES (3)");
    ASSERT_EQ(dropped.CommitTrans(), 1);
  }
  EXPECT_EQ(CountRows(reader, "t"), 2);
}

TEST_F(DatabaseTest, CloseWhoseRollbackFailsIsTracedAndLeavesTheObjectClosedAndReopenable) {
  UseRegistry(RegistryFile(dir_.path().c_str()));
  const std::string connect = SqliteConnect(dir_.File("stuck.db"));
  TestDatabase db;
  ASSERT_EQ(db.OpenEx(connect.c_str()), 1);
  db.ExecuteSQL("CREATE TABLE t (v INTEGER)");
  ASSERT_EQ(db.BeginTrans(), 1);
  db.ExecuteSQL("INSERT INTO t VALUES (1)");
  db.GetAdoConnection()->CommitTrans();  // behind the library's back: the level is stale
  auto e = CatchDB([&] { db.Close(); });
  ASSERT_TRUE(e);
  EXPECT_STREQ(e->m_strErrorOrigin, "[6004]");
  EXPECT_EQ(e->m_nReturnCode, 1000);
  std::vector<std::string> trace = Trace();
  ASSERT_GE(trace.size(), 4u);
  EXPECT_EQ(trace[trace.size() - 4], "CDatabase::Close");
  EXPECT_EQ(trace[trace.size() - 3], "CDatabase::Rollback");
  EXPECT_EQ(trace[trace.size() - 2], std::string(e->m_strErrorText));
  EXPECT_EQ(trace.back(), "DbException2");

  // Closed, not stuck: a second Close only traces, OpenEx opens again and
  // the object works as a fresh one would (Close rolls back an open
  // transaction).
  EXPECT_EQ(db.IsOpen(), 0);
  EXPECT_EQ(db.IsConnectionDead(), 1);
  EXPECT_EQ(db.m_nTransLevel, 0);
  db.Close();
  EXPECT_EQ(Trace().back(), "CDatabase::Close") << "nothing left to fail on";
  ASSERT_EQ(db.OpenEx(nullptr), 1);
  EXPECT_EQ(CountRows(db, "t"), 1) << "the row committed behind its back stays";
  ASSERT_EQ(db.BeginTrans(), 1);
  db.ExecuteSQL("INSERT INTO t VALUES (2)");
  db.Close();  // rolls back
  ASSERT_EQ(db.OpenEx(nullptr), 1);
  EXPECT_EQ(CountRows(db, "t"), 1);
}

// A connection whose RollbackTrans fails and leaves ADO's transaction in
// progress, which no real engine does (SQLite's ROLLBACK always ends it).
// Everything else goes to a real connection.
class RollbackRefusingConnection final : public korvo::com::Object<_Connection> {
 public:
  explicit RollbackRefusingConnection(_ConnectionPtr real) : real_(std::move(real)) {}

  HRESULT raw_RollbackTrans() override {
    korvo::com::ReportErrorA(E_FAIL, "the rollback failed in the engine", "test");
    return E_FAIL;
  }
  HRESULT get_Properties(Properties** out) override { return real_->get_Properties(out); }
  HRESULT get_ConnectionString(BSTR* out) override { return real_->get_ConnectionString(out); }
  HRESULT put_ConnectionString(BSTR text) override { return real_->put_ConnectionString(text); }
  HRESULT get_CommandTimeout(long* out) override { return real_->get_CommandTimeout(out); }
  HRESULT put_CommandTimeout(long s) override { return real_->put_CommandTimeout(s); }
  HRESULT get_ConnectionTimeout(long* out) override { return real_->get_ConnectionTimeout(out); }
  HRESULT put_ConnectionTimeout(long s) override { return real_->put_ConnectionTimeout(s); }
  HRESULT get_Version(BSTR* out) override { return real_->get_Version(out); }
  HRESULT raw_Close() override { return real_->raw_Close(); }
  HRESULT raw_Execute(BSTR text, VARIANT* affected, long options, _Recordset** out) override {
    return real_->raw_Execute(text, affected, options, out);
  }
  HRESULT raw_BeginTrans(long* level) override { return real_->raw_BeginTrans(level); }
  HRESULT raw_CommitTrans() override { return real_->raw_CommitTrans(); }
  HRESULT raw_Open(BSTR connect, BSTR user, BSTR password, long options) override {
    return real_->raw_Open(connect, user, password, options);
  }
  HRESULT get_Errors(Errors** out) override { return real_->get_Errors(out); }
  HRESULT get_DefaultDatabase(BSTR* out) override { return real_->get_DefaultDatabase(out); }
  HRESULT put_DefaultDatabase(BSTR name) override { return real_->put_DefaultDatabase(name); }
  HRESULT get_IsolationLevel(IsolationLevelEnum* out) override {
    return real_->get_IsolationLevel(out);
  }
  HRESULT put_IsolationLevel(IsolationLevelEnum l) override { return real_->put_IsolationLevel(l); }
  HRESULT get_CursorLocation(CursorLocationEnum* out) override {
    return real_->get_CursorLocation(out);
  }
  HRESULT put_CursorLocation(CursorLocationEnum l) override { return real_->put_CursorLocation(l); }
  HRESULT get_Provider(BSTR* out) override { return real_->get_Provider(out); }
  HRESULT put_Provider(BSTR name) override { return real_->put_Provider(name); }
  HRESULT get_State(long* out) override { return real_->get_State(out); }
  HRESULT raw_Cancel() override { return real_->raw_Cancel(); }

 private:
  _ConnectionPtr real_;
};

class DatabaseOverFake : public TestDatabase {
 public:
  using CDatabase::m_pConnection;
};

TEST_F(DatabaseTest, CloseWhoseRollbackFailsWithTheTransactionStillOpenReplacesTheConnection) {
  const std::string connect = SqliteConnect(dir_.File("refusing.db"));
  DatabaseOverFake db;
  ASSERT_EQ(db.OpenEx(connect.c_str()), 1);
  db.ExecuteSQL("CREATE TABLE t (v INTEGER)");
  db.ExecuteSQL("INSERT INTO t VALUES (1)");
  _ConnectionPtr real = db.m_pConnection;
  _ConnectionPtr fake;
  ASSERT_EQ(korvo::com::CreateObject<RollbackRefusingConnection>(
                __uuidof(_Connection), reinterpret_cast<void**>(&fake), real),
            S_OK);
  db.m_pConnection = fake;
  ASSERT_EQ(db.BeginTrans(), 1);
  db.ExecuteSQL("INSERT INTO t VALUES (2)");

  auto e = CatchDB([&] { db.Close(); });
  ASSERT_TRUE(e);
  EXPECT_STREQ(e->m_strErrorOrigin, "[6004]");
  EXPECT_STREQ(e->m_strErrorText, "the rollback failed in the engine");
  // ADO would not close the connection (its transaction is in progress):
  // the object let go of it and holds a fresh one, closed and reopenable.
  EXPECT_TRUE(db.GetAdoConnection() != fake);
  EXPECT_EQ(db.IsOpen(), 0);
  EXPECT_EQ(db.m_nTransLevel, 0);
  db.Close();
  EXPECT_EQ(real->GetState(), adStateOpen) << "the abandoned connection is still the old one";
  fake = nullptr;
  real = nullptr;  // the last reference: releasing rolls back
  ASSERT_EQ(db.OpenEx(nullptr), 1);
  EXPECT_EQ(CountRows(db, "t"), 1) << "the uncommitted row was rolled back on release";
}

// ------------------------------------------------------------ the trace

TEST_F(DatabaseTest, TraceOfAnOpenAndAFailingStatement) {
  UseRegistry(RegistryFile(dir_.path().c_str()));
  {
    CDatabase db;
    ASSERT_EQ(db.OpenEx(kMemory.c_str()), 1);
    auto e = CatchDB([&] { db.ExecuteSQL("SELECT * FROM no_such_table"); });
    ASSERT_TRUE(e);
    std::vector<std::string> expected = {
        "CDatabase::OpenEx",     "CDatabase::Connect",      "CDatabase::ExecuteSessionInstructions",
        "CDatabase::ExecuteSQL", "CDatabase::OnSetOptions", std::string(e->m_strErrorText),
    };
    EXPECT_EQ(Trace(), expected);
    EXPECT_THAT(std::string(e->m_strErrorText), HasSubstr("no_such_table"));
  }
  std::vector<std::string> trace = Trace();
  ASSERT_GE(trace.size(), 2u);
  EXPECT_EQ(trace[trace.size() - 2], "CDatabase::Free");
  EXPECT_EQ(trace.back(), "CDatabase::Close");
  // SQL text is never traced.
  for (const std::string& text : trace) EXPECT_THAT(text, Not(HasSubstr("SELECT")));
}

// ------------------------------------------------------------ session instructions

TEST_F(DatabaseTest, SessionInstructionsRunInOrderAndTheFirstFailureStopsThem) {
  UseRegistry(RegistryFile(dir_.path().c_str(),
                           {"INSERT INTO log VALUES (1)", "INSERT INTO missing_table VALUES (2)",
                            "INSERT INTO log VALUES (3)"}));
  const std::string file = dir_.File("session.db");
  {
    // Its own open runs the instructions too; the first fails (no table
    // yet) and stops the rest.
    CDatabase setup;
    ASSERT_EQ(setup.OpenEx(SqliteConnect(file).c_str()), 1);
    setup.ExecuteSQL("CREATE TABLE log (step INTEGER)");
  }
  CDatabase db;
  ASSERT_EQ(db.OpenEx(SqliteConnect(file).c_str()), 1)
      << "a failing instruction does not fail the open";
  _RecordsetPtr rs =
      db.GetAdoConnection()->Execute(_bstr_t("SELECT group_concat(step) FROM log"), nullptr, 0);
  EXPECT_EQ(std::string(_bstr_t(rs->GetFields()->GetItem(_variant_t(0L))->GetValue())), "1");

  std::vector<std::string> trace = Trace();
  auto last = std::find(trace.rbegin(), trace.rend(), "CDatabase::ExecuteSessionInstructions");
  ASSERT_NE(last, trace.rend());
  std::vector<std::string> after(last.base(), trace.end());
  ASSERT_EQ(after.size(), 5u);
  EXPECT_EQ(after[0], "CDatabase::ExecuteSQL");
  EXPECT_EQ(after[1], "CDatabase::OnSetOptions");
  EXPECT_EQ(after[2], "CDatabase::ExecuteSQL");
  EXPECT_EQ(after[3], "CDatabase::OnSetOptions");
  EXPECT_THAT(after[4], HasSubstr("missing_table"));

  // They run again at every open.
  db.Close();
  ASSERT_EQ(db.OpenEx(nullptr), 1);
  EXPECT_EQ(CountRows(db, "log"), 2);
}

// ------------------------------------------------------------ messages

TEST_F(DatabaseTest, CaptureInfoMessageCollectsMessagesJoinedByComma) {
  TestDatabase db;
  ASSERT_EQ(db.OpenEx(kMemory.c_str()), 1);
  db.CaptureInfoMessage(0);  // off and asked for 0: nothing
  EXPECT_EQ(db.m_pEventSink, nullptr);
  EXPECT_TRUE(db.GetInfoMessage().IsEmpty());

  db.CaptureInfoMessage(1);
  CDatabaseEvent* sink = db.m_pEventSink;
  ASSERT_NE(sink, nullptr);
  db.CaptureInfoMessage(1);  // already on: one sink only
  EXPECT_EQ(db.m_pEventSink, sink);
  db.CaptureInfoMessage(7);  // any other value: nothing
  EXPECT_EQ(db.m_pEventSink, sink);

  db.ExecuteSQL("SELECT korvo_info('first message')");
  db.ExecuteSQL("SELECT 1");  // no message
  db.ExecuteSQL("SELECT korvo_info('second message')");
  EXPECT_STREQ(db.GetInfoMessage(), "first message,second message");
  EXPECT_STREQ(db.GetInfoMessage(), "first message,second message") << "reading does not clear";

  db.CaptureInfoMessage(0);
  EXPECT_EQ(db.m_pEventSink, nullptr);
  db.CaptureInfoMessage(1);
  EXPECT_TRUE(db.GetInfoMessage().IsEmpty()) << "switching off discards the messages";
  // Left on: the destructor switches it off and frees the sink.
}

// Copies share one ADO connection and one sink; every order of copying,
// switching off and destroying must leave the survivors collecting and
// touch no freed sink (AddressSanitizer checks), and the last one out
// frees it (LeakSanitizer checks).
TEST_F(DatabaseTest, CopiesShareTheConnectionAndTheMessageSinkInAnyOrder) {
  {
    // The original dies first; the copy keeps collecting, then stops.
    auto original = std::make_unique<TestDatabase>();
    ASSERT_EQ(original->OpenEx(kMemory.c_str()), 1);
    original->CaptureInfoMessage(1);
    original->ExecuteSQL("SELECT korvo_info('before the copy')");
    TestDatabase copy(*original);
    EXPECT_TRUE(copy.GetAdoConnection() == original->GetAdoConnection());
    EXPECT_EQ(copy.m_pEventSink, original->m_pEventSink);
    original.reset();
    // Its destructor closed the shared connection; the sink lives on.
    EXPECT_EQ(copy.IsOpen(), 0);
    EXPECT_STREQ(copy.GetInfoMessage(), "before the copy");
    ASSERT_EQ(copy.OpenEx(nullptr), 1);
    copy.ExecuteSQL("SELECT korvo_info('after the original died')");
    EXPECT_STREQ(copy.GetInfoMessage(), "before the copy,after the original died");
    copy.CaptureInfoMessage(0);
    EXPECT_EQ(copy.m_pEventSink, nullptr);
    EXPECT_TRUE(copy.GetInfoMessage().IsEmpty());
  }
  {
    // The copy switches off first: only its share goes, the original still
    // collects; then the original dies with capture on.
    TestDatabase original;
    ASSERT_EQ(original.OpenEx(kMemory.c_str()), 1);
    original.CaptureInfoMessage(1);
    {
      TestDatabase copy(original);
      copy.CaptureInfoMessage(0);
      EXPECT_EQ(copy.m_pEventSink, nullptr);
      EXPECT_NE(original.m_pEventSink, nullptr);
      copy.ExecuteSQL("SELECT korvo_info('through the copy')");
      copy.CaptureInfoMessage(1);  // a sink of its own on the shared connection
      EXPECT_NE(copy.m_pEventSink, original.m_pEventSink);
      copy.ExecuteSQL("SELECT korvo_info('both')");
      EXPECT_STREQ(copy.GetInfoMessage(), "both");
    }
    EXPECT_STREQ(original.GetInfoMessage(), "through the copy,both");
    EXPECT_EQ(original.IsOpen(), 0) << "the copy's destructor closed the shared connection";
  }
  {
    // Assignment: the target's own capture (on its old connection) is
    // switched off, and it shares the source's; self-assignment keeps all.
    TestDatabase source;
    ASSERT_EQ(source.OpenEx(kMemory.c_str()), 1);
    source.CaptureInfoMessage(1);
    TestDatabase target;
    ASSERT_EQ(target.OpenEx(kMemory.c_str()), 1);
    target.CaptureInfoMessage(1);
    _ConnectionPtr oldConnection = target.GetAdoConnection();
    target = source;
    TestDatabase& alias = target;
    target = alias;
    EXPECT_EQ(target.m_pEventSink, source.m_pEventSink);
    oldConnection->Execute(_bstr_t("SELECT korvo_info('old connection')"), nullptr, 0);
    target.ExecuteSQL("SELECT korvo_info('shared')");
    EXPECT_STREQ(source.GetInfoMessage(), "shared");
    TestDatabase third(target);
    target = TestDatabase();  // drops its share; source and third keep theirs
    EXPECT_EQ(target.m_pEventSink, nullptr);
    EXPECT_EQ(target.IsOpen(), 0);
    third.ExecuteSQL("SELECT korvo_info('third')");
    EXPECT_STREQ(source.GetInfoMessage(), "shared,third");
  }
}

TEST_F(DatabaseTest, EventSinkAnswersItsInterfacesAndNullStatus) {
  IUnknown* unknown = nullptr;
  ASSERT_EQ(
      korvo::com::CreateObject<CDatabaseEvent>(IID_IUnknown, reinterpret_cast<void**>(&unknown)),
      S_OK);
  ConnectionEventsVt* events = nullptr;
  ASSERT_EQ(
      unknown->QueryInterface(__uuidof(ConnectionEventsVt), reinterpret_cast<void**>(&events)),
      S_OK);
  EXPECT_EQ(static_cast<void*>(events), static_cast<void*>(unknown)) << "one identity";
  void* other = &other;
  EXPECT_EQ(unknown->QueryInterface(__uuidof(_Connection), &other), E_NOINTERFACE);
  EXPECT_EQ(other, nullptr);
  auto* sink = static_cast<CDatabaseEvent*>(events);

  EXPECT_EQ(events->InfoMessage(nullptr, nullptr, nullptr), E_POINTER);
  EXPECT_EQ(events->Disconnect(nullptr, nullptr), E_POINTER);
  EventStatusEnum status = adStatusErrorsOccurred;
  EXPECT_EQ(events->InfoMessage(nullptr, &status, nullptr), S_OK);
  EXPECT_EQ(status, adStatusOK);
  EXPECT_EQ(sink->m_bstrMessages.length(), 0u) << "a failed event collects nothing";

  EXPECT_EQ(events->Release(), 1u);
  EXPECT_EQ(unknown->Release(), 0u);  // destroyed (LeakSanitizer checks)
}

// ------------------------------------------------------------ environment and locks

TEST_F(DatabaseTest, InitEnvironmentCallsTheDriverManagerUnderLock15) {
  EXPECT_EQ(CDatabase::InitEnvironment(0), 1);
  EXPECT_EQ(CDatabase::InitEnvironment(CDatabase::poolPerDriver), 1);
  CDatabase::SetCriticalSection(TRUE);
  EXPECT_EQ(g_bUseODBCCriticalSection, TRUE);
  EXPECT_EQ(g_bUseSQLCriticalSection, TRUE);
  EXPECT_EQ(CDatabase::InitEnvironment(CDatabase::poolPerEnvironment | CDatabase::poolPerDriver),
            1);

  BOOL result = 0;
  EXPECT_TRUE(korvo::test::BodyWaitsForLock(15, [&] { result = CDatabase::InitEnvironment(0); }))
      << "InitEnvironment ran without lock 15";
  EXPECT_EQ(result, 1);
  CDatabase::SetCriticalSection(FALSE);
  EXPECT_EQ(g_bUseODBCCriticalSection, FALSE);
}

}  // namespace
