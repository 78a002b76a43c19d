// CCmdset against PostgreSQL and MariaDB through the ODBC provider (and
// PostgreSQL through its native one): a command with parameters, its
// rows in a bound recordset, and a stored procedure.
#include <gtest/gtest.h>
#include <korvo/cmd/CCmdset.h>
#include <korvo/com/coinit.h>
#include <korvo/db/CDatabase.h>
#include <korvo/recordset/CRecordset.h>
#include <korvo/recordset/rfx.h>

#include <memory>
#include <string>

#include "support/server_scratch.h"

namespace korvo::test {
namespace {

class CItems : public CRecordset {
 public:
  explicit CItems(CDatabase* db) : CRecordset(db) { m_nFields = 2; }
  long m_id = 0;
  CTString m_name;
  void DoFieldExchange(CFieldExchange* pFX) override {
    RFX_Long(pFX, "id", m_id);
    RFX_Text(pFX, "name", m_name);
  }
};

class CmdsetServerTest : public ::testing::TestWithParam<Server> {};

TEST_P(CmdsetServerTest, RunsParameterisedCommandsAndProcedures) {
  const Server& server = GetParam();
  KORVO_REQUIRE_SERVER(server.Dsn(), server.name, server.variable);
  ASSERT_GE(CoInitializeEx(nullptr, COINIT_MULTITHREADED), 0);
  {
    ServerScratch scratch(server);
    CDatabase db;
    ASSERT_EQ(db.OpenEx(scratch.Connect().c_str()), 1);
    db.ExecuteSQL("CREATE TABLE item (id INTEGER PRIMARY KEY, name VARCHAR(20))");
    db.ExecuteSQL((std::string("CREATE PROCEDURE add_item(v INT, label VARCHAR(20)) ") +
                   Fill(server.procedure_body, "item"))
                      .c_str());

    CCmdset insert(&db);
    insert.SetCommandText("INSERT INTO item (id, name) VALUES (?, ?)");
    insert.AppendParameter("id", CCmdset::typeInteger, 4, _variant_t(1L));
    insert.AppendParameter("name", CCmdset::typeVarChar, 20, _variant_t("one"));
    insert.Execute();

    CCmdset proc(&db);
    proc.SetCommandText("add_item");
    proc.AppendParameter("v", CCmdset::typeInteger, 4, _variant_t(2L));
    proc.AppendParameter("label", CCmdset::typeVarChar, 20, _variant_t("two"));
    proc.ExecuteProc();

    CItems items(&db);
    ASSERT_EQ(items.Open(CRecordset::staticCursor, "item"), 1);
    CCmdset select(&db);
    select.SetCommandText("SELECT id, name FROM item WHERE id >= ? ORDER BY id DESC");
    select.AppendParameter("from", CCmdset::typeInteger, 4, _variant_t(1L));
    select.Execute(items);
    items.Move(0, CRecordset::fetchRelative);
    EXPECT_EQ(items.m_id, 2);
    EXPECT_STREQ(items.m_name, "two");
    items.MoveNext();
    EXPECT_EQ(items.m_id, 1);
    EXPECT_STREQ(items.m_name, "one");
    items.MoveNext();
    EXPECT_EQ(items.IsEOF(), 1);
    items.Close();
  }
  CoUninitialize();
}

INSTANTIATE_TEST_SUITE_P(Servers, CmdsetServerTest, ::testing::ValuesIn(Servers()),
                         [](const auto& info) { return std::string(info.param.name); });

}  // namespace
}  // namespace korvo::test
