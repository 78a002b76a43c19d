// Tests of transactions the engine ends by itself (SQLite's statements
// that roll back) and of closing a connection with a transaction in
// progress (every engine).
#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <korvo/ado/ado.h>
#include <korvo/ado/error_result.h>

#include "ado/ado_engines.h"
#include "support/faulty_vfs.h"

namespace korvo::ado::test {
namespace {

using ::testing::HasSubstr;

constexpr HRESULT kAborted = XACT_E_ABORTED;
constexpr HRESULT kInTransaction = korvo::ado::AdoError(adErrInTransaction);
constexpr const char* kDoomText =
    "The transaction was rolled back by the engine; roll back to continue.";

template <class Base>
class TransactionFixture : public Base {
 protected:
  long Count(_ConnectionPtr& c, const char* sql) {
    _RecordsetPtr rs = c->Execute(sql, nullptr, adCmdText);
    return static_cast<long>(rs->GetFields()->GetItem(0L)->GetValue());
  }
  // A statement of a doomed transaction: refused with the doom's text.
  void ExpectDoomed(_ConnectionPtr& c, const char* sql) {
    const Raised r = Catch([&] { this->Exec(c, sql); });
    EXPECT_EQ(r.hr, kAborted) << sql;
    EXPECT_THAT(r.description, HasSubstr(kDoomText));
  }
};
using TransactionTest = TransactionFixture<AdoTest>;
class EngineTransactionTest : public TransactionFixture<EngineTest> {};

TEST_F(TransactionTest, EngineRollbackDoomsTheTransactionUntilRollbackTrans) {
  {
    _ConnectionPtr c = Open(FileConnect());
    Exec(c, "CREATE TABLE t (k INT PRIMARY KEY)");
    EXPECT_EQ(c->BeginTrans(), 1);
    Exec(c, "INSERT INTO t VALUES (1)");
    // The engine rolls the whole transaction back for this conflict.
    const Raised conflict = Catch([&] { Exec(c, "INSERT OR ROLLBACK INTO t VALUES (1)"); });
    EXPECT_EQ(conflict.hr, DB_E_INTEGRITYVIOLATION) << conflict.description;
    // Nothing runs in autocommit behind the host's back.
    ExpectDoomed(c, "INSERT INTO t VALUES (2)");
    ExpectDoomed(c, "SELECT 1");
    EXPECT_EQ(Catch([&] { c->CommitTrans(); }).hr, kAborted);
    EXPECT_EQ(Catch([&] { c->BeginTrans(); }).hr, kAborted);
    _CommandPtr cmd;
    cmd.CreateInstance(__uuidof(Command));
    cmd->PutRefActiveConnection(c);
    cmd->PutCommandText("INSERT INTO t VALUES (3)");
    EXPECT_EQ(Catch([&] { cmd->Execute(nullptr, nullptr, adExecuteNoRecords); }).hr, kAborted);
    EXPECT_EQ(Catch([&] { c->Close(); }).hr, kInTransaction);
    // Rolling back succeeds and clears the doom.
    EXPECT_EQ(c->RollbackTrans(), S_OK);
    EXPECT_EQ(Catch([&] { c->RollbackTrans(); }).hr, XACT_E_NOTRANSACTION);
    Exec(c, "INSERT INTO t VALUES (4)");
    c->Close();
  }
  _ConnectionPtr reopened = Open(FileConnect());
  EXPECT_EQ(Count(reopened, "SELECT group_concat(k) FROM t"), 4);
}

TEST_F(TransactionTest, DoomLastsUntilEveryNestedLevelIsRolledBack) {
  _ConnectionPtr c = Open(FileConnect());
  _ConnectionPtr other = Open(FileConnect());
  Exec(c, "CREATE TABLE t (k INT)");
  Exec(c,
       "CREATE TRIGGER stop BEFORE INSERT ON t WHEN NEW.k < 0 "
       "BEGIN SELECT RAISE(ROLLBACK, 'negative keys end the transaction'); END");
  EXPECT_EQ(c->BeginTrans(), 1);
  Exec(c, "INSERT INTO t VALUES (1)");
  EXPECT_EQ(c->BeginTrans(), 2);
  Exec(c, "INSERT INTO t VALUES (2)");
  const Raised raised = Catch([&] { Exec(c, "INSERT INTO t VALUES (-1)"); });
  EXPECT_THAT(raised.description, HasSubstr("negative keys"));
  ExpectDoomed(c, "INSERT INTO t VALUES (3)");
  EXPECT_EQ(c->RollbackTrans(), S_OK);          // level 2
  ExpectDoomed(c, "INSERT INTO t VALUES (5)");  // level 1 is still the host's
  EXPECT_EQ(Catch([&] { c->CommitTrans(); }).hr, kAborted);
  EXPECT_EQ(c->RollbackTrans(), S_OK);  // level 1: the doom is over
  EXPECT_EQ(Count(other, "SELECT count(*) FROM t"), 0);
}

// A failure that leaves the transaction open does not doom it: the work
// before and after it commits (PostgreSQL through ODBC or natively rolls
// back only the failed statement).
TEST_P(EngineTransactionTest, AFailedStatementLeavesTheTransactionOpen) {
  _ConnectionPtr c = Open(ConnectText());
  _ConnectionPtr other = Open(ConnectText());
  Exec(c, "CREATE TABLE t (k INT PRIMARY KEY)");
  EXPECT_EQ(c->BeginTrans(), 1);
  Exec(c, "INSERT INTO t VALUES (7)");
  EXPECT_EQ(Catch([&] { Exec(c, "INSERT INTO t VALUES (7)"); }).hr, DB_E_INTEGRITYVIOLATION);
  EXPECT_LT(Catch([&] { Exec(c, "INSERT INTO nowhere VALUES (1)"); }).hr, 0);
  // Nor does a parameter whose type a server has to be told on a second
  // try (PostgreSQL cannot tell it from "? IS NULL").
  _CommandPtr cmd;
  ASSERT_EQ(cmd.CreateInstance(__uuidof(Command)), S_OK);
  cmd->PutRefActiveConnection(c);
  cmd->PutCommandText("SELECT ? IS NULL");
  cmd->GetParameters()->Append(
      cmd->CreateParameter("v", adInteger, adParamInput, 4, _variant_t(8L)));
  EXPECT_EQ(static_cast<long>(
                cmd->Execute(nullptr, nullptr, adCmdText)->GetFields()->GetItem(0L)->GetValue()),
            0);
  Exec(c, "INSERT INTO t VALUES (8)");
  c->CommitTrans();
  EXPECT_EQ(Count(other, "SELECT sum(k) FROM t"), 15);
}

TEST_P(EngineTransactionTest, CloseIsRefusedInATransactionAndReleaseRollsBack) {
  _ConnectionPtr other = Open(ConnectText());
  Exec(other, "CREATE TABLE t (k INT)");
  _ConnectionPtr c = Open(ConnectText());
  EXPECT_EQ(c->BeginTrans(), 1);
  Exec(c, "INSERT INTO t VALUES (1)");
  EXPECT_EQ(c->BeginTrans(), 2);
  const Raised refused = Catch([&] { c->Close(); });
  EXPECT_EQ(refused.hr, kInTransaction);
  EXPECT_THAT(refused.description, HasSubstr("while in a transaction"));
  // Refused means nothing changed: still open, still in the transaction.
  EXPECT_EQ(c->GetState(), adStateOpen);
  Exec(c, "INSERT INTO t VALUES (2)");
  c->CommitTrans();
  EXPECT_EQ(Catch([&] { c->Close(); }).hr, kInTransaction);
  c->CommitTrans();
  c->Close();
  EXPECT_EQ(c->GetState(), adStateClosed);
  EXPECT_EQ(Count(other, "SELECT sum(k) FROM t"), 3);

  // Releasing the object is the way to abandon a transaction.
  c->Open(_bstr_t(ConnectText().c_str()), "", "", adConnectUnspecified);
  c->BeginTrans();
  Exec(c, "INSERT INTO t VALUES (100)");
  c = nullptr;
  Exec(other, "INSERT INTO t VALUES (0)");  // no lock left behind
  EXPECT_EQ(Count(other, "SELECT sum(k) FROM t"), 3);
}

// A transaction the host began in SQL (so Close is not refused) is rolled
// back by Close. When a write of that rollback fails, the connection is
// closed all the same (with the failure reported, should the engine report
// one); reopened, the file is sound and holds nothing of the transaction.
TEST_F(TransactionTest, CloseWhoseRollbackFailsToWriteCommitsNothing) {
  korvo::test::InstallFaultyVfs();
  int injected_count = 0;
  for (int n = 1; n <= 3; ++n) {
    SCOPED_TRACE(n);
    const std::string file = "rollback" + std::to_string(n) + ".db";
    _ConnectionPtr c = Open(FileConnect(file));
    // A one-page cache makes the insert spill into the file, so the
    // rollback has pages to write back.
    Exec(c, "PRAGMA cache_size = 1; CREATE TABLE t (v TEXT); INSERT INTO t VALUES ('kept')");
    Exec(c,
         "BEGIN; INSERT INTO t SELECT hex(randomblob(500)) FROM (WITH RECURSIVE n(x) AS "
         "(SELECT 1 UNION ALL SELECT x + 1 FROM n WHERE x < 200) SELECT x FROM n)");
    korvo::test::ArmVfsFault(korvo::test::VfsOp::kWrite, n);
    const Raised closed = Catch([&] { c->Close(); });
    const bool injected = korvo::test::VfsFaultInjected();
    korvo::test::DisarmVfsFaults();
    EXPECT_EQ(c->GetState(), adStateClosed);
    if (injected) {
      ++injected_count;
      if (FAILED(closed.hr)) {
        EXPECT_THAT(closed.description, HasSubstr("rolling back on close"));
      }
    } else {
      EXPECT_EQ(closed.hr, S_OK) << closed.description;
    }
    _ConnectionPtr again = Open(FileConnect(file));
    EXPECT_EQ(Count(again, "SELECT count(*) FROM t"), 1);
    _RecordsetPtr check = again->Execute("PRAGMA integrity_check", nullptr, adCmdText);
    EXPECT_EQ(std::string(_bstr_t(check->GetFields()->GetItem(0L)->GetValue())), "ok");
  }
  EXPECT_GT(injected_count, 0);  // the rollback did write, and a write failed
}

INSTANTIATE_TEST_SUITE_P(Engines, EngineTransactionTest,
                         ::testing::ValuesIn(AdoEngines(SharesData)),
                         [](const auto& info) { return info.param.name; });

}  // namespace
}  // namespace korvo::ado::test
