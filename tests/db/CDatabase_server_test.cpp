// CDatabase against PostgreSQL and MariaDB through the ODBC provider (and
// PostgreSQL through its native one):
// product type, statements and transactions, a session the server ends
// under an open connection, and connections that cannot be made.
#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <korvo/com/coinit.h>
#include <korvo/db/CDatabase.h>
#include <unistd.h>

#include <string>
#include <utility>
#include <vector>

#include "support/db_exception.h"
#include "support/servers.h"

namespace {

using ::testing::HasSubstr;

using korvo::test::CatchDB;
using korvo::test::Fill;
using korvo::test::Server;

class DatabaseServerTest : public ::testing::TestWithParam<Server> {
 protected:
  void SetUp() override {
    ASSERT_GE(CoInitializeEx(nullptr, COINIT_MULTITHREADED), 0);
    dsn_ = GetParam().Dsn();
    KORVO_REQUIRE_SERVER(dsn_, GetParam().name, GetParam().variable);
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

TEST_P(DatabaseServerTest, RunsStatementsAndTransactions) {
  CDatabase db;
  ASSERT_EQ(db.OpenEx(GetParam().open_forms(dsn_).front().c_str()), 1);
  EXPECT_EQ(db.GetDbmsType(), GetParam().dbms_type);
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
  EXPECT_THAT(std::string(e->m_strErrorText), HasSubstr("SELEC"));
  db.ExecuteSQL(("DROP TABLE " + table_).c_str());
  db.Close();
}

TEST_P(DatabaseServerTest, ASessionEndedByTheServerIsDeadUntilReopened) {
  CDatabase db;
  CDatabase admin;
  ASSERT_EQ(db.OpenEx(dsn_.c_str()), 1);
  ASSERT_EQ(admin.OpenEx(dsn_.c_str()), 1);
  EXPECT_EQ(db.IsConnectionDead(), 0);
  const std::string id = Scalar(db, GetParam().session_id_sql);
  admin.ExecuteSQL(Fill(GetParam().kill, id).c_str());
  auto e = CatchDB([&] { db.ExecuteSQL("SELECT 1"); });
  ASSERT_TRUE(e);
  EXPECT_THAT(std::string(e->m_strErrorText), HasSubstr("connection to the server was lost"))
      << static_cast<const char*>(e->m_strErrorText);
  EXPECT_EQ(db.IsConnectionDead(), 1);
  db.Close();
  ASSERT_EQ(db.OpenEx(dsn_.c_str()), 1);
  EXPECT_EQ(db.IsConnectionDead(), 0);
  EXPECT_EQ(Scalar(db, "SELECT 1"), "1");
}

// Each refusal is a CDBException naming what is wrong, and comes within
// the login time-out (a test that hung would be the failure).
TEST_P(DatabaseServerTest, RefusesConnectionsThatCannotBeMadeWithTheReason) {
  std::vector<std::pair<std::string, std::string>> refused = {
      {"ODBC;DSN=korvo_no_such_dsn", "korvo_no_such_dsn"},
      {"ODBC;DRIVER={Korvo No Such Driver};Server=127.0.0.1", "Korvo No Such Driver"},
      {dsn_ + ";Database=korvo_no_such_db", "korvo_no_such_db"},
      {dsn_ + ";" + GetParam().wrong_password, GetParam().wrong_password_names},
  };
  for (const std::string& unreachable : GetParam().unreachable(dsn_)) {
    refused.emplace_back(unreachable, "127.0.0.1");
  }
  for (const auto& [connect, names] : refused) {
    CDatabase db;
    auto e = CatchDB([&] { db.OpenEx(connect.c_str()); });
    ASSERT_TRUE(e) << connect;
    const std::string text = static_cast<const char*>(e->m_strErrorText);
    EXPECT_THAT(text, HasSubstr(names)) << connect << ": " << text;
    EXPECT_EQ(db.IsOpen(), 0) << connect;
  }
}

INSTANTIATE_TEST_SUITE_P(Servers, DatabaseServerTest, ::testing::ValuesIn(korvo::test::Servers()),
                         [](const auto& info) { return std::string(info.param.name); });

}  // namespace
