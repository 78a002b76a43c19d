// CDatabase against PostgreSQL through the ODBC and the native provider: product type,
// statements and transactions, and a session the server ends under an
// open connection.
#include <gtest/gtest.h>
#include <korvo/com/coinit.h>
#include <korvo/db/CDatabase.h>
#include <unistd.h>

#include <string>

#include "support/db_exception.h"
#include "support/servers.h"

namespace {

using korvo::test::CatchDB;

class DatabaseServerTest : public ::testing::TestWithParam<const char*> {
 protected:
  void SetUp() override {
    ASSERT_GE(CoInitializeEx(nullptr, COINIT_MULTITHREADED), 0);
    dsn_ = korvo::test::ServerConnect(GetParam());
    KORVO_REQUIRE_SERVER(dsn_, "PostgreSQL", GetParam());
    table_ = "db_srv_" + std::to_string(getpid());
  }
  void TearDown() override { CoUninitialize(); }

  std::string Scalar(CDatabase& db, const std::string& sql) {
    _RecordsetPtr rs = db.GetAdoConnection()->Execute(_bstr_t(sql.c_str()), nullptr, 0);
    return static_cast<const char*>(_bstr_t(rs->GetFields()->GetItem(_variant_t(0L))->GetValue()));
  }

  std::string dsn_;
  std::string table_;
};

TEST_P(DatabaseServerTest, RunsStatementsAndTransactionsOnPostgres) {
  CDatabase db;
  ASSERT_EQ(db.OpenEx(dsn_.c_str()), 1);
  EXPECT_EQ(db.GetDbmsType(), 2);  // PostgreSQL: the second product family
  db.ExecuteSQL(("DROP TABLE IF EXISTS " + table_).c_str());
  db.ExecuteSQL(("CREATE TABLE " + table_ + " (n INT)").c_str());
  long affected = 0;
  db.ExecuteSQL(("INSERT INTO " + table_ + " VALUES (1), (2)").c_str(), &affected);
  EXPECT_EQ(affected, 2);
  ASSERT_EQ(db.BeginTrans(), 1);
  db.ExecuteSQL(("INSERT INTO " + table_ + " VALUES (3)").c_str());
  ASSERT_EQ(db.Rollback(), 1);
  EXPECT_EQ(Scalar(db, "SELECT count(*) FROM " + table_), "2");
  auto e = CatchDB([&] { db.ExecuteSQL("SELEC 1"); });
  ASSERT_TRUE(e);
  EXPECT_NE(std::string(static_cast<const char*>(e->m_strErrorText)).find("SELEC"),
            std::string::npos);
  db.ExecuteSQL(("DROP TABLE " + table_).c_str());
  db.Close();
}

TEST_P(DatabaseServerTest, ASessionEndedByTheServerIsDeadUntilReopened) {
  CDatabase db;
  CDatabase admin;
  ASSERT_EQ(db.OpenEx(dsn_.c_str()), 1);
  ASSERT_EQ(admin.OpenEx(dsn_.c_str()), 1);
  EXPECT_EQ(db.IsConnectionDead(), 0);
  const std::string pid = Scalar(db, "SELECT pg_backend_pid()");
  admin.ExecuteSQL(("SELECT pg_terminate_backend(" + pid + ")").c_str());
  auto e = CatchDB([&] { db.ExecuteSQL("SELECT 1"); });
  ASSERT_TRUE(e);
  EXPECT_NE(std::string(static_cast<const char*>(e->m_strErrorText))
                .find("connection to the server was lost"),
            std::string::npos)
      << static_cast<const char*>(e->m_strErrorText);
  EXPECT_EQ(db.IsConnectionDead(), 1);
  db.Close();
  ASSERT_EQ(db.OpenEx(dsn_.c_str()), 1);
  EXPECT_EQ(db.IsConnectionDead(), 0);
  EXPECT_EQ(Scalar(db, "SELECT 1"), "1");
}

INSTANTIATE_TEST_SUITE_P(Providers, DatabaseServerTest,
                         ::testing::ValuesIn(korvo::test::kPostgresVariables),
                         korvo::test::PostgresProviderName<::testing::TestParamInfo<const char*>>);

}  // namespace
