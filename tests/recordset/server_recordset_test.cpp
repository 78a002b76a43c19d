// CRecordset against PostgreSQL and MariaDB through the ODBC provider (and
// PostgreSQL through its native one), as a host uses it: open, move, Edit /
// AddNew / Update / Delete, row limits and scalar expressions, checked
// through a second connection. How the servers refuse a duplicate or a row
// changed meanwhile is tested under ADO over the same servers
// (tests/ado/recordset_write_test.cpp), how CRecordset passes such a refusal
// on in editing_test.cpp.
#include <gmock/gmock.h>

#include <algorithm>
#include <memory>
#include <vector>

#include "recordset/recordset_fixture.h"
#include "support/server_scratch.h"

namespace korvo::test {
namespace {

using ::testing::HasSubstr;

class ServerRecordsetTest : public ::testing::TestWithParam<Server> {
 protected:
  void SetUp() override {
    ASSERT_GE(CoInitializeEx(nullptr, COINIT_MULTITHREADED), 0);
    KORVO_REQUIRE_SERVER(GetParam().Dsn(), GetParam().name, GetParam().variable);
    scratch_ = std::make_unique<ServerScratch>(GetParam());
    db_ = std::make_unique<CDatabase>();
    other_ = std::make_unique<CDatabase>();
    ASSERT_EQ(db_->OpenEx(scratch_->Connect().c_str()), 1);
    EXPECT_EQ(other_->OpenEx(scratch_->Connect().c_str()), 1);
    db_->ExecuteSQL(
        "CREATE TABLE CUSTOMER (CODE INTEGER PRIMARY KEY, NAME VARCHAR(20) UNIQUE, ACTIVE "
        "INTEGER)");
    for (const CustomerRow& row : kCustomers) {
      db_->ExecuteSQL(("INSERT INTO CUSTOMER VALUES (" + std::to_string(row.code) + ",'" +
                       row.name + "'," + std::to_string(row.active) + ")")
                          .c_str());
    }
  }
  void TearDown() override {
    db_.reset();  // before the schema is dropped: the drop waits for them
    other_.reset();
    scratch_.reset();
    CoUninitialize();
  }
  // The first value of `sql` through the second connection ("<none>" when no row).
  std::string Query(const std::string& sql) {
    _RecordsetPtr rs = other_->GetAdoConnection()->Execute(_bstr_t(sql.c_str()), nullptr, 0);
    if (rs->GetadoEOF() == VARIANT_TRUE) return "<none>";
    return static_cast<const char*>(_bstr_t(rs->GetFields()->GetItem(_variant_t(0L))->GetValue()));
  }

  std::unique_ptr<ServerScratch> scratch_;
  std::unique_ptr<CDatabase> db_;  // made once COM is initialised
  std::unique_ptr<CDatabase> other_;
};

TEST_P(ServerRecordsetTest, OpensMovesAndEditsRows) {
  CCustomer rs(db_.get());
  ASSERT_EQ(
      rs.Open(CRecordset::keysetCursor, "SELECT CODE, NAME, ACTIVE FROM CUSTOMER ORDER BY CODE"),
      1);
  EXPECT_EQ(rs.CanUpdate(), 1);
  std::vector<long> codes;
  for (; !rs.IsEOF(); rs.MoveNext()) codes.push_back(rs.m_code);
  EXPECT_EQ(codes, (std::vector<long>{1, 2, 3, 4, 5, 6}));
  rs.MoveLast();
  EXPECT_EQ(rs.m_code, 6);
  EXPECT_STREQ(rs.m_name, "Fay");
  rs.MovePrev();
  EXPECT_EQ(rs.m_code, 5);
  rs.MoveFirst();
  EXPECT_EQ(rs.m_code, 1);

  rs.Edit();
  rs.m_name = "Anne";
  EXPECT_EQ(rs.Update(), 1);
  EXPECT_EQ(Query("SELECT NAME FROM CUSTOMER WHERE CODE = 1"), "Anne");

  rs.AddNew();
  rs.m_code = 7;
  rs.m_name = "Gus";
  rs.m_active = 1;
  EXPECT_EQ(rs.Update(), 1);
  EXPECT_EQ(Query("SELECT CONCAT(NAME, ACTIVE) FROM CUSTOMER WHERE CODE = 7"), "Gus1");

  rs.MoveFirst();
  rs.MoveNext();
  EXPECT_EQ(rs.m_code, 2);
  rs.Delete();
  EXPECT_EQ(Query("SELECT COUNT(*) FROM CUSTOMER WHERE CODE = 2"), "0");
  EXPECT_EQ(Query("SELECT COUNT(*) FROM CUSTOMER"), "6");

  rs.Close();
  // Opened again, it sees the rows as the server now has them.
  ASSERT_EQ(rs.Open(CRecordset::staticCursor, "CUSTOMER"), 1);
  codes.clear();
  for (; !rs.IsEOF(); rs.MoveNext()) codes.push_back(rs.m_code);
  std::sort(codes.begin(), codes.end());
  EXPECT_EQ(codes, (std::vector<long>{1, 3, 4, 5, 6, 7}));
}

// The library's row-limit forms (product type 1: TOP n; type 2: ROWNUM,
// and ROW_NUMBER() OVER with a sort) reach each server in its own dialect
// and really limit; the recordset still shows the statement it built.
TEST_P(ServerRecordsetTest, RowLimitsOfTheSelectWorkedExamplesHold) {
  ASSERT_EQ(db_->GetDbmsType(), GetParam().dbms_type);
  const char* built[] = {
      "",
      "SELECT  TOP 2 CODE,NAME  FROM CUSTOMER WHERE ACTIVE=1",
      "SELECT CODE,NAME  FROM (SELECT CODE,NAME ,ROWNUM ORAROWNUM  FROM CUSTOMER WHERE "
      "ACTIVE=1) WHERE ORAROWNUM <= 2",
  };
  auto codes = [](CRecordset& rs, long& code) {
    std::vector<long> out;
    for (; !rs.IsEOF(); rs.MoveNext()) out.push_back(code);
    return out;
  };
  CCodeName filtered(db_.get());
  filtered.m_strFilter = "ACTIVE=1";
  ASSERT_EQ(filtered.Open(CRecordset::staticCursor, "CUSTOMER", CRecordset::none, 2), 1);
  EXPECT_STREQ(filtered.GetSQL(), built[GetParam().dbms_type]);
  // Which two active rows is the server's choice.
  for (long code : codes(filtered, filtered.m_code))
    EXPECT_TRUE(code == 1 || code == 3 || code == 4 || code == 6);
  EXPECT_EQ(filtered.GetRecordCount(), 2);
  CCodeName sorted(db_.get());
  sorted.m_strSort = "NAME DESC";
  ASSERT_EQ(sorted.Open(CRecordset::staticCursor, "CUSTOMER", CRecordset::none, 3), 1);
  EXPECT_EQ(codes(sorted, sorted.m_code), (std::vector<long>{6, 5, 4}));
  CCodeName all(db_.get());
  ASSERT_EQ(all.Open(CRecordset::staticCursor, "CUSTOMER", CRecordset::none, 10), 1);
  EXPECT_EQ(codes(all, all.m_code).size(), 6u);
}

// An expression evaluated on the server in the product family's form
// ("SELECT <expr> AS RES", FROM DUAL for product type 2).
class CScalar : public CRecordset {
 public:
  using CRecordset::CRecordset;
  using CRecordset::m_SetScalareFunction;
};

TEST_P(ServerRecordsetTest, EvaluatesScalarExpressions) {
  CScalar rs(db_.get());
  _variant_t result;
  CTString product("6 * 7");
  rs.m_SetScalareFunction(result, product);
  EXPECT_EQ(static_cast<long>(result), 42);
  CTWString wide(u"CONCAT(UPPER('x'), 'y')");
  rs.m_SetScalareFunction(result, wide);
  EXPECT_STREQ(static_cast<const char*>(_bstr_t(result)), "Xy");
  CTString null("NULL");
  rs.m_SetScalareFunction(result, null);
  EXPECT_EQ(result.vt, VT_NULL);
  // SQL the server rejects leaves as a COM error naming it.
  CTString bad("nosuchfunction(1)");
  std::string text;
  try {
    rs.m_SetScalareFunction(result, bad);
  } catch (const _com_error& e) {
    text = static_cast<const char*>(e.Description());
  }
  EXPECT_THAT(text, HasSubstr("nosuchfunction"));
}

INSTANTIATE_TEST_SUITE_P(Servers, ServerRecordsetTest, ::testing::ValuesIn(Servers()),
                         [](const auto& info) { return std::string(info.param.name); });

}  // namespace
}  // namespace korvo::test
