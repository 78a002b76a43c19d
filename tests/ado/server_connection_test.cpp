// The ADO object model over the database servers (PostgreSQL and MariaDB
// through the ODBC provider, PostgreSQL through its native one), where the
// engine-parameterised tests do not reach: the connect-string forms,
// results longer than the cursor's cache and the library's row-limit forms.
// What differs between the servers is listed in the server list
// (tests/support/servers.h). Refused connections and a session the server
// ends are tested through CDatabase (tests/db/CDatabase_server_test.cpp),
// stored procedures through CCmdset (tests/cmd/CCmdset_server_test.cpp),
// update conflicts and generated keys in recordset_write_test.cpp.
#include <gtest/gtest.h>
#include <korvo/ado/ado.h>
#include <unistd.h>

#include <string>
#include <vector>

#include "ado/ado_test_support.h"
#include "support/servers.h"

namespace korvo::ado::test {
namespace {

using korvo::test::Server;

class ServerConnectionTest : public AdoTest, public ::testing::WithParamInterface<Server> {
 protected:
  void SetUp() override {
    AdoTest::SetUp();
    dsn_ = GetParam().Dsn();
    KORVO_REQUIRE_SERVER(dsn_, GetParam().name, GetParam().variable);
    conn_ = Open(dsn_);
    table_ = "srv_" + std::to_string(getpid());
    Drop();
    Exec(conn_,
         ("CREATE TABLE " + table_ + " (id " + GetParam().auto_key + ", name VARCHAR(40), n INT)")
             .c_str());
  }
  void TearDown() override {
    if (conn_ && conn_->GetState() == adStateOpen) Drop();
    AdoTest::TearDown();
  }
  void Drop() {
    Catch([&] { Exec(conn_, ("DROP TABLE IF EXISTS " + table_).c_str()); });
  }
  std::string Scalar(_ConnectionPtr& c, const std::string& sql) {
    _RecordsetPtr rs = c->Execute(sql.c_str(), nullptr, adCmdText);
    if (rs->GetadoEOF()) return "NO ROW";
    const _variant_t v = rs->GetFields()->GetItem(0L)->GetValue();
    return v.vt == VT_NULL ? "NULL" : static_cast<const char*>(_bstr_t(v));
  }
  void InsertRows(int count) {
    std::string sql;
    for (int i = 0; i < count; ++i) {
      sql += "INSERT INTO " + table_ + " (name, n) VALUES ('row" + std::to_string(i) + "', " +
             std::to_string(i) + ");";
    }
    Exec(conn_, sql.c_str());
  }

  std::string dsn_;
  std::string table_;
  _ConnectionPtr conn_;
};

TEST_P(ServerConnectionTest, OpensByEveryFormAndReportsTheProduct) {
  for (const std::string& text : GetParam().open_forms(dsn_)) {
    _ConnectionPtr c = Open(text);
    ASSERT_EQ(c->GetState(), adStateOpen) << text;
    const _variant_t name = c->GetProperties()->GetItem("DBMS Name")->GetValue();
    EXPECT_EQ(std::string(_bstr_t(name)), GetParam().dbms_name) << text;
    EXPECT_EQ(std::string(c->GetProvider()), GetParam().provider);
    c->Close();
  }
}

TEST_P(ServerConnectionTest, StreamsServerCursorsAndSnapshotsClientCursors) {
  InsertRows(250);
  _RecordsetPtr stream;
  ASSERT_EQ(stream.CreateInstance(__uuidof(Recordset)), S_OK);
  stream->PutCacheSize(40);
  stream->Open(("SELECT id, name, n FROM " + table_ + " ORDER BY n").c_str(),
               _variant_t(static_cast<IDispatch*>(conn_)), adOpenForwardOnly, adLockReadOnly,
               adCmdText);
  EXPECT_EQ(stream->GetRecordCount(), -1);
  long rows = 0;
  while (!stream->GetadoEOF()) {
    EXPECT_EQ(static_cast<long>(stream->GetFields()->GetItem("n")->GetValue()), rows);
    EXPECT_EQ(std::string(_bstr_t(stream->GetFields()->GetItem("name")->GetValue())),
              "row" + std::to_string(rows));
    ++rows;
    stream->MoveNext();
  }
  EXPECT_EQ(rows, 250);

  _RecordsetPtr snapshot;
  ASSERT_EQ(snapshot.CreateInstance(__uuidof(Recordset)), S_OK);
  snapshot->PutCursorLocation(adUseClient);
  snapshot->Open(("SELECT id, name, n FROM " + table_ + " ORDER BY n").c_str(),
                 _variant_t(static_cast<IDispatch*>(conn_)), adOpenStatic, adLockReadOnly,
                 adCmdText);
  EXPECT_EQ(snapshot->GetRecordCount(), 250);
  snapshot->MoveLast();
  EXPECT_EQ(static_cast<long>(snapshot->GetFields()->GetItem("n")->GetValue()), 249);
  snapshot->MoveFirst();
  EXPECT_EQ(static_cast<long>(snapshot->GetFields()->GetItem("n")->GetValue()), 0);
}

// The statements the recordset layer builds for a row limit and a scalar,
// in both product families' forms, run on either server.
TEST_P(ServerConnectionTest, RunsTheLibrarysRowLimitAndScalarForms) {
  InsertRows(30);
  const std::string t = table_;
  const std::vector<std::string> limited = {
      "SELECT  TOP 10 n,name  FROM " + t + " WHERE n >= 5 ORDER BY n",
      "SELECT n,name  FROM (SELECT n,name ,ROWNUM ORAROWNUM  FROM " + t +
          " WHERE n >= 5) WHERE ORAROWNUM <= 10",
      "SELECT n,name  FROM (SELECT n,name ,ROW_NUMBER() OVER (order by n) ORAROWNUM  FROM " + t +
          " ORDER BY n) WHERE ORAROWNUM <= 10",
  };
  for (const std::string& sql : limited) {
    _RecordsetPtr rs;
    ASSERT_EQ(rs.CreateInstance(__uuidof(Recordset)), S_OK);
    rs->PutCursorLocation(adUseClient);
    const Raised r = Catch([&] {
      rs->Open(sql.c_str(), _variant_t(static_cast<IDispatch*>(conn_)), adOpenStatic,
               adLockReadOnly, adCmdText);
    });
    ASSERT_EQ(r.hr, S_OK) << sql << ": " << r.description;
    EXPECT_EQ(rs->GetRecordCount(), 10) << sql;
  }
  EXPECT_EQ(Scalar(conn_, "SELECT 40 + 2 AS RES"), "42");
  EXPECT_EQ(Scalar(conn_, "SELECT 40 + 2 AS RES FROM DUAL"), "42");
}

INSTANTIATE_TEST_SUITE_P(Servers, ServerConnectionTest, ::testing::ValuesIn(korvo::test::Servers()),
                         [](const auto& info) { return std::string(info.param.name); });

}  // namespace
}  // namespace korvo::ado::test
