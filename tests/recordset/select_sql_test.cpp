// Tests of the statement an open builds: a caller's statement kept as
// given, a SELECT over the bound columns of a table, the row limits of the
// two product families, filter, sort and bracket rewriting; each checked
// character for character and, where the engine accepts it, by the rows
// it returns.
#include "recordset/recordset_fixture.h"

namespace korvo::test {
namespace {

// A recordset that binds no column: the build finds no names.
class CNoColumns : public CRecordset {
 public:
  explicit CNoColumns(CDatabase* db) : CRecordset(db) {}
};

// Its statement comes from GetDefaultSQL.
class CDefaultTable : public CCodeName {
 public:
  using CCodeName::CCodeName;
  CTString GetDefaultSQL() override { return "CUSTOMER"; }
};

class SelectSqlTest : public RecordsetTest {};

// One open of CCodeName: the statement it must send and the rows that
// come back, or, with `refused`, the engine's refusal of that statement.
struct StatementCase {
  const char* what;
  const char* dbms;  // connect-string addition choosing the product family
  const char* filter;
  const char* sort;
  unsigned long limit;
  const char* source;  // Open's text; null for GetDefaultSQL
  const char* sql;
  std::vector<long> codes;
  bool refused = false;
};

// clang-format off
const char* const kSecond = "";  // product type 2: ROWNUM wrappers
const char* const kFirst = "DBMS Name=MySQL";  // product type 1: TOP n

const StatementCase kStatements[] = {
    {"table, no limit", kSecond, "", "", 0, "CUSTOMER", "SELECT CODE,NAME  FROM CUSTOMER",
     {1, 2, 3, 4, 5, 6}},
    {"filter, no limit", kSecond, "ACTIVE=0", "CODE", 0, "CUSTOMER",
     "SELECT CODE,NAME  FROM CUSTOMER WHERE ACTIVE=0 ORDER BY CODE", {2, 5}},
    {"ROWNUM wrapper", kSecond, "ACTIVE=1", "", 10, "CUSTOMER",
     "SELECT CODE,NAME  FROM (SELECT CODE,NAME ,ROWNUM ORAROWNUM  FROM CUSTOMER WHERE "
     "ACTIVE=1) WHERE ORAROWNUM <= 10",
     {1, 3, 4, 6}},
    {"ROWNUM wrapper limits", kSecond, "ACTIVE=1", "", 2, "CUSTOMER",
     "SELECT CODE,NAME  FROM (SELECT CODE,NAME ,ROWNUM ORAROWNUM  FROM CUSTOMER WHERE "
     "ACTIVE=1) WHERE ORAROWNUM <= 2",
     {1, 3}},
    {"ROW_NUMBER wrapper", kSecond, "", "NAME DESC", 10, "CUSTOMER",
     "SELECT CODE,NAME  FROM (SELECT CODE,NAME ,ROW_NUMBER() OVER (order by NAME DESC) "
     "ORAROWNUM  FROM CUSTOMER ORDER BY NAME DESC) WHERE ORAROWNUM <= 10",
     {6, 5, 4, 3, 2, 1}},
    {"ROW_NUMBER wrapper limits", kSecond, "", "NAME DESC", 3, "CUSTOMER",
     "SELECT CODE,NAME  FROM (SELECT CODE,NAME ,ROW_NUMBER() OVER (order by NAME DESC) "
     "ORAROWNUM  FROM CUSTOMER ORDER BY NAME DESC) WHERE ORAROWNUM <= 3",
     {6, 5, 4}},
    {"ROW_NUMBER ascending", kSecond, "", "NAME", 10, "CUSTOMER",
     "SELECT CODE,NAME  FROM (SELECT CODE,NAME ,ROW_NUMBER() OVER (order by NAME) "
     "ORAROWNUM  FROM CUSTOMER ORDER BY NAME) WHERE ORAROWNUM <= 10",
     {1, 2, 3, 4, 5, 6}},
    {"TOP", kFirst, "ACTIVE=1", "NAME", 10, "CUSTOMER",
     "SELECT  TOP 10 CODE,NAME  FROM CUSTOMER WHERE ACTIVE=1 ORDER BY NAME", {1, 3, 4, 6}},
    {"TOP limits", kFirst, "ACTIVE=1", "NAME DESC", 2, "CUSTOMER",
     "SELECT  TOP 2 CODE,NAME  FROM CUSTOMER WHERE ACTIVE=1 ORDER BY NAME DESC", {6, 4}},
    {"caller's SELECT gets no TOP", kFirst, "", "CODE", 2, "SELECT CODE,NAME FROM CUSTOMER",
     "SELECT CODE,NAME FROM CUSTOMER ORDER BY CODE", {1, 2, 3, 4, 5, 6}},
    {"caller's lower-case select", kSecond, "ACTIVE=1", "", 0, "select CODE, NAME from CUSTOMER",
     "select CODE, NAME from CUSTOMER WHERE ACTIVE=1", {1, 3, 4, 6}},
    {"caller's mixed-case select", kSecond, "", "CODE DESC", 0, "SeLeCt CODE, NAME from CUSTOMER",
     "SeLeCt CODE, NAME from CUSTOMER ORDER BY CODE DESC", {6, 5, 4, 3, 2, 1}},
    {"brackets outside literals become blanks", kSecond, "[NAME] = '[Bob]' OR NAME='Ann'", "", 0,
     "[CUSTOMER]", "SELECT CODE,NAME  FROM  CUSTOMER  WHERE  NAME  = '[Bob]' OR NAME='Ann'", {1}},
    // Sent as built; the engine refuses each of these.
    {"procedure call kept as given", kSecond, "X=1", "", 0, "{CALL GET_CUSTOMERS}",
     "{CALL GET_CUSTOMERS} WHERE X=1", {}, true},
    {"function call kept as given", kSecond, "", "", 0, "{?=CALL F}", "{?=CALL F}", {}, true},
    {"table named SELECT... taken for a statement", kSecond, "", "", 0, "SELECTED_ROWS",
     "SELECTED_ROWS", {}, true},
    {"ROWNUM limit on a caller's SELECT adds only the closing", kSecond, "ACTIVE=1", "", 10,
     "SELECT CODE,NAME FROM CUSTOMER",
     "SELECT CODE,NAME FROM CUSTOMER WHERE ACTIVE=1) WHERE ORAROWNUM <= 10", {}, true},
    {"empty table name", kSecond, "", "", 0, "", "SELECT CODE,NAME  FROM ", {}, true},
    {"no text: CRecordset's empty default", kSecond, "", "", 0, nullptr,
     "SELECT CODE,NAME  FROM ", {}, true},
};
// clang-format on

TEST_F(SelectSqlTest, StatementsAndRowsOfBothProductFamilies) {
  Database().ExecuteSQL("CREATE TABLE SELECTED_ROWS (CODE INTEGER, NAME TEXT)");
  for (const StatementCase& c : kStatements) {
    SCOPED_TRACE(c.what);
    CDatabase db;
    ASSERT_EQ(db.OpenEx(Connect(c.dbms).c_str()), 1);
    ASSERT_EQ(db.GetDbmsType(), c.dbms == kFirst ? CDatabase::dbmsTypeM : CDatabase::dbmsTypeOther);
    CCodeName rs(&db);
    rs.m_strFilter = c.filter;
    rs.m_strSort = c.sort;
    std::unique_ptr<CDBException> e;
    try {
      EXPECT_EQ(rs.Open(CRecordset::staticCursor, c.source, CRecordset::none, c.limit), 1);
    } catch (CDBException* thrown) {
      e.reset(thrown);
    }
    EXPECT_STREQ(rs.GetSQL(), c.sql);
    if (c.refused) {
      ASSERT_TRUE(e);
      EXPECT_STREQ(e->m_strErrorOrigin, "[5014]");
      EXPECT_EQ(e->m_nReturnCode, 1000);
      EXPECT_EQ(rs.IsOpen(), 0);
    } else {
      ASSERT_FALSE(e) << e->m_strErrorText;
      EXPECT_EQ(Codes(rs), c.codes);
    }
  }
}

TEST_F(SelectSqlTest, LimitTextFollowsTheProductAndIsASigned32BitNumber) {
  // A connection never opened has product type 0: no limit text at all.
  CDatabase unopened;
  ASSERT_EQ(unopened.GetDbmsType(), CDatabase::dbmsUnknown);
  Exposed<CCodeName> build(&unopened);
  build.m_dwRowLimit = 10;
  build.m_strSort = "NAME";
  build.AllocStatusArrays();
  build.BuildSQL("CUSTOMER");
  EXPECT_STREQ(build.GetSQL(), "SELECT CODE,NAME  FROM CUSTOMER ORDER BY NAME");

  // Any name beginning with M is the first family; empty filter and sort
  // add nothing.
  Database();
  CDatabase maria;
  ASSERT_EQ(maria.OpenEx(Connect("DBMS Name=Maria").c_str()), 1);
  Exposed<CCodeName> top(&maria);
  top.m_dwRowLimit = 0xFFFFFFFF;
  top.AllocStatusArrays();
  top.BuildSQL("CUSTOMER");
  EXPECT_STREQ(top.GetSQL(), "SELECT  TOP -1 CODE,NAME  FROM CUSTOMER");
}

TEST_F(SelectSqlTest, ADerivedClassesDefaultTable) {
  CDefaultTable table(&Database());
  table.m_strFilter = "CODE=4";
  ASSERT_EQ(table.Open(), 1);
  EXPECT_STREQ(table.GetSQL(), "SELECT CODE,NAME  FROM CUSTOMER WHERE CODE=4");
  EXPECT_EQ(Codes(table), (std::vector<long>{4}));
}

TEST_F(SelectSqlTest, NoFieldNamesIsError1003WithItsTrace) {
  SwitchTraceOn();
  CDatabase& db = Database();
  CNoColumns rs(&db);
  auto e = CatchDB([&] { rs.Open(CRecordset::staticCursor, "CUSTOMER"); });
  ASSERT_TRUE(e);
  EXPECT_EQ(e->m_nReturnCode, 1003);
  EXPECT_STREQ(e->m_strErrorText, "Error come from KORVO library");
  EXPECT_TRUE(e->m_strErrorOrigin.IsEmpty());
  EXPECT_EQ(rs.IsOpen(), 0);
  auto trace = Trace();
  long error = Find(trace, "Error: no field names - at least 1 required.\n");
  ASSERT_GE(error, 0);
  // The build's steps in order, then Open's clean-up.
  long build = Find(trace, "CRecordset::BuildSQL");
  long select = Find(trace, "CRecordset::BuildSelectSQL", build);
  long names = Find(trace, "CRecordset::AppendNames", select);
  EXPECT_TRUE(build >= 0 && select > build && names > select && error > names);
  long tag = Find(trace, "DbException101", error);
  EXPECT_GT(tag, error);
  EXPECT_GT(Find(trace, "CRecordset::Close", tag), tag);
  // Nothing was sent: the build never got as far as the command.
  EXPECT_EQ(Find(trace, "CRecordset::m_PrepareAndExecute"), -1);
}

TEST_F(SelectSqlTest, AppendNamesListsDirtyFieldsAndCountsEveryVisitedField) {
  CDatabase& db = Database();
  Exposed<CCustomer> rs(&db);
  ASSERT_EQ(rs.Open(CRecordset::staticCursor, "CUSTOMER"), 1);
  EXPECT_STREQ(rs.GetSQL(), "SELECT CODE,NAME,ACTIVE  FROM CUSTOMER");

  CTString names = "<";
  rs.ClearFieldStatus();
  rs.SetDirtyFieldStatus(1);
  EXPECT_EQ(rs.AppendNames(&names, "|"), 3u);
  EXPECT_STREQ(names, "<NAME|");
  rs.SetDirtyFieldStatus(0);
  rs.SetDirtyFieldStatus(2);
  EXPECT_EQ(rs.AppendNames(&names, nullptr), 3u);
  EXPECT_STREQ(names, "<NAME|CODENAMEACTIVE");
}

// Declares one field but binds two.
class CUnderDeclared : public CCodeName {
 public:
  explicit CUnderDeclared(CDatabase* db) : CCodeName(db) { m_nFields = 1; }
};

TEST_F(SelectSqlTest, BindingsBeyondTheDeclaredFieldsAreNotListed) {
  CDatabase& db = Database();
  CUnderDeclared rs(&db);
  auto e = CatchDB([&] { rs.Open(CRecordset::staticCursor, "CUSTOMER"); });
  // The statement lists the declared field only; binding the second
  // member then finds no column for it.
  EXPECT_STREQ(rs.GetSQL(), "SELECT CODE  FROM CUSTOMER");
  ASSERT_TRUE(e);
  EXPECT_EQ(rs.IsOpen(), 0);
}

}  // namespace
}  // namespace korvo::test
