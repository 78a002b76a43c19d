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

TEST_F(SelectSqlTest, WorkedExamplesForTheSecondFamilyAndWithoutLimit) {
  CDatabase& db = Database();
  ASSERT_EQ(db.GetDbmsType(), CDatabase::dbmsTypeOther);

  CCodeName plain(&db);
  ASSERT_EQ(plain.Open(CRecordset::staticCursor, "CUSTOMER"), 1);
  EXPECT_STREQ(plain.GetSQL(), "SELECT CODE,NAME  FROM CUSTOMER");
  EXPECT_EQ(Codes(plain), (std::vector<long>{1, 2, 3, 4, 5, 6}));

  CCodeName filtered(&db);
  filtered.m_strFilter = "ACTIVE=1";
  ASSERT_EQ(filtered.Open(CRecordset::staticCursor, "CUSTOMER", CRecordset::none, 10), 1);
  EXPECT_STREQ(filtered.GetSQL(),
               "SELECT CODE,NAME  FROM (SELECT CODE,NAME ,ROWNUM ORAROWNUM  FROM CUSTOMER WHERE "
               "ACTIVE=1) WHERE ORAROWNUM <= 10");
  EXPECT_EQ(Codes(filtered), (std::vector<long>{1, 3, 4, 6}));

  CCodeName sorted(&db);
  sorted.m_strSort = "NAME DESC";
  ASSERT_EQ(sorted.Open(CRecordset::staticCursor, "CUSTOMER", CRecordset::none, 10), 1);
  EXPECT_STREQ(sorted.GetSQL(),
               "SELECT CODE,NAME  FROM (SELECT CODE,NAME ,ROW_NUMBER() OVER (order by NAME DESC) "
               "ORAROWNUM  FROM CUSTOMER ORDER BY NAME DESC) WHERE ORAROWNUM <= 10");
  EXPECT_EQ(Codes(sorted), (std::vector<long>{6, 5, 4, 3, 2, 1}));

  // The limit really limits, in both wrapper forms.
  CCodeName firstTwo(&db);
  firstTwo.m_strFilter = "ACTIVE=1";
  ASSERT_EQ(firstTwo.Open(CRecordset::staticCursor, "CUSTOMER", CRecordset::none, 2), 1);
  EXPECT_EQ(Codes(firstTwo), (std::vector<long>{1, 3}));
  CCodeName lastThree(&db);
  lastThree.m_strSort = "NAME DESC";
  ASSERT_EQ(lastThree.Open(CRecordset::staticCursor, "CUSTOMER", CRecordset::none, 3), 1);
  EXPECT_STREQ(lastThree.GetSQL(),
               "SELECT CODE,NAME  FROM (SELECT CODE,NAME ,ROW_NUMBER() OVER (order by NAME DESC) "
               "ORAROWNUM  FROM CUSTOMER ORDER BY NAME DESC) WHERE ORAROWNUM <= 3");
  EXPECT_EQ(Codes(lastThree), (std::vector<long>{6, 5, 4}));

  // The exact sort of the example: by NAME.
  CCodeName byName(&db);
  byName.m_strSort = "NAME";
  ASSERT_EQ(byName.Open(CRecordset::staticCursor, "CUSTOMER", CRecordset::none, 10), 1);
  EXPECT_STREQ(byName.GetSQL(),
               "SELECT CODE,NAME  FROM (SELECT CODE,NAME ,ROW_NUMBER() OVER (order by NAME) "
               "ORAROWNUM  FROM CUSTOMER ORDER BY NAME) WHERE ORAROWNUM <= 10");
  EXPECT_EQ(Codes(byName), (std::vector<long>{1, 2, 3, 4, 5, 6}));
}

TEST_F(SelectSqlTest, WorkedExampleForTheFirstFamilyUsesTop) {
  Database();  // creates the file's table
  CDatabase mysql;
  ASSERT_EQ(mysql.OpenEx(Connect("DBMS Name=MySQL").c_str()), 1);
  ASSERT_EQ(mysql.GetDbmsType(), CDatabase::dbmsTypeM);

  CCodeName rs(&mysql);
  rs.m_strFilter = "ACTIVE=1";
  rs.m_strSort = "NAME";
  ASSERT_EQ(rs.Open(CRecordset::staticCursor, "CUSTOMER", CRecordset::none, 10), 1);
  EXPECT_STREQ(rs.GetSQL(), "SELECT  TOP 10 CODE,NAME  FROM CUSTOMER WHERE ACTIVE=1 ORDER BY NAME");
  EXPECT_EQ(Codes(rs), (std::vector<long>{1, 3, 4, 6}));

  CCodeName two(&mysql);
  two.m_strFilter = "ACTIVE=1";
  two.m_strSort = "NAME DESC";
  ASSERT_EQ(two.Open(CRecordset::staticCursor, "CUSTOMER", CRecordset::none, 2), 1);
  EXPECT_STREQ(two.GetSQL(),
               "SELECT  TOP 2 CODE,NAME  FROM CUSTOMER WHERE ACTIVE=1 ORDER BY NAME DESC");
  EXPECT_EQ(Codes(two), (std::vector<long>{6, 4}));

  // A caller's SELECT gets no TOP; filter and sort still follow.
  CCodeName own(&mysql);
  own.m_strSort = "CODE";
  ASSERT_EQ(
      own.Open(CRecordset::staticCursor, "SELECT CODE,NAME FROM CUSTOMER", CRecordset::none, 2), 1);
  EXPECT_STREQ(own.GetSQL(), "SELECT CODE,NAME FROM CUSTOMER ORDER BY CODE");
  EXPECT_EQ(Codes(own), (std::vector<long>{1, 2, 3, 4, 5, 6}));
}

TEST_F(SelectSqlTest, CallersStatementsAreSentAsGivenWithFilterAndSort) {
  CDatabase& db = Database();
  CCodeName lower(&db);
  lower.m_strFilter = "ACTIVE=1";
  ASSERT_EQ(lower.Open(CRecordset::staticCursor, "select CODE, NAME from CUSTOMER"), 1);
  EXPECT_STREQ(lower.GetSQL(), "select CODE, NAME from CUSTOMER WHERE ACTIVE=1");
  EXPECT_EQ(Codes(lower), (std::vector<long>{1, 3, 4, 6}));

  // Mixed case and a sort.
  CCodeName mixed(&db);
  mixed.m_strSort = "CODE DESC";
  ASSERT_EQ(mixed.Open(CRecordset::staticCursor, "SeLeCt CODE, NAME from CUSTOMER"), 1);
  EXPECT_STREQ(mixed.GetSQL(), "SeLeCt CODE, NAME from CUSTOMER ORDER BY CODE DESC");
  EXPECT_EQ(Codes(mixed).front(), 6);

  // A text in braces is a procedure call: kept as given (the engine then
  // refuses it, at execution).
  CCodeName call(&db);
  call.m_strFilter = "X=1";
  auto e = CatchDB([&] { call.Open(CRecordset::staticCursor, "{CALL GET_CUSTOMERS}"); });
  ASSERT_TRUE(e);
  EXPECT_STREQ(e->m_strErrorOrigin, "[5014]");
  EXPECT_STREQ(call.GetSQL(), "{CALL GET_CUSTOMERS} WHERE X=1");
  CCodeName ret(&db);
  auto e2 = CatchDB([&] { ret.Open(CRecordset::staticCursor, "{?=CALL F}"); });
  ASSERT_TRUE(e2);
  EXPECT_STREQ(ret.GetSQL(), "{?=CALL F}");

  // A table whose name begins with SELECT is taken for a statement.
  db.ExecuteSQL("CREATE TABLE SELECTED_ROWS (CODE INTEGER, NAME TEXT)");
  CCodeName selected(&db);
  auto e3 = CatchDB([&] { selected.Open(CRecordset::staticCursor, "SELECTED_ROWS"); });
  ASSERT_TRUE(e3);
  EXPECT_STREQ(selected.GetSQL(), "SELECTED_ROWS");
}

TEST_F(SelectSqlTest, SecondFamilyLimitOnACallersSelectGetsOnlyTheClosing) {
  CDatabase& db = Database();
  CCodeName rs(&db);
  rs.m_strFilter = "ACTIVE=1";
  auto e =
      CatchDB([&] { rs.Open(CRecordset::staticCursor, "SELECT CODE,NAME FROM CUSTOMER", 0, 10); });
  ASSERT_TRUE(e);
  // Sent as built; the unbalanced parenthesis is the engine's to refuse.
  EXPECT_STREQ(rs.GetSQL(), "SELECT CODE,NAME FROM CUSTOMER WHERE ACTIVE=1) WHERE ORAROWNUM <= 10");
  EXPECT_STREQ(e->m_strErrorOrigin, "[5014]");
  EXPECT_EQ(e->m_nReturnCode, 1000);
  EXPECT_EQ(rs.IsOpen(), 0);
}

TEST_F(SelectSqlTest, NoLimitTextWithoutALimitOrBeforeTheProductIsKnown) {
  CDatabase& db = Database();
  CCodeName rs(&db);
  rs.m_strFilter = "ACTIVE=0";
  rs.m_strSort = "CODE";
  ASSERT_EQ(rs.Open(CRecordset::staticCursor, "CUSTOMER", CRecordset::none, 0), 1);
  EXPECT_STREQ(rs.GetSQL(), "SELECT CODE,NAME  FROM CUSTOMER WHERE ACTIVE=0 ORDER BY CODE");
  EXPECT_EQ(Codes(rs), (std::vector<long>{2, 5}));

  // A connection never opened has product type 0: no limit text at all.
  CDatabase unopened;
  ASSERT_EQ(unopened.GetDbmsType(), CDatabase::dbmsUnknown);
  Exposed<CCodeName> build(&unopened);
  build.m_dwRowLimit = 10;
  build.m_strSort = "NAME";
  build.AllocStatusArrays();
  build.BuildSQL("CUSTOMER");
  EXPECT_STREQ(build.GetSQL(), "SELECT CODE,NAME  FROM CUSTOMER ORDER BY NAME");

  // Empty filter and sort add nothing; the limit is written as a signed
  // 32-bit number.
  CDatabase mysql;
  ASSERT_EQ(mysql.OpenEx(Connect("DBMS Name=Maria").c_str()), 1);
  Exposed<CCodeName> top(&mysql);
  top.m_dwRowLimit = 0xFFFFFFFF;
  top.m_strFilter = "";
  top.m_strSort = "";
  top.AllocStatusArrays();
  top.BuildSQL("CUSTOMER");
  EXPECT_STREQ(top.GetSQL(), "SELECT  TOP -1 CODE,NAME  FROM CUSTOMER");
}

TEST_F(SelectSqlTest, EmptyOrDefaultTableNameEndsWithFrom) {
  CDatabase& db = Database();
  CCodeName empty(&db);
  auto e = CatchDB([&] { empty.Open(CRecordset::staticCursor, ""); });
  ASSERT_TRUE(e);
  EXPECT_STREQ(empty.GetSQL(), "SELECT CODE,NAME  FROM ");
  EXPECT_STREQ(e->m_strErrorOrigin, "[5014]");

  // No text: GetDefaultSQL, empty in CRecordset itself.
  CCodeName none(&db);
  auto e2 = CatchDB([&] { none.Open(CRecordset::staticCursor, nullptr); });
  ASSERT_TRUE(e2);
  EXPECT_STREQ(none.GetSQL(), "SELECT CODE,NAME  FROM ");

  // A derived class's default table.
  CDefaultTable table(&db);
  table.m_strFilter = "CODE=4";
  ASSERT_EQ(table.Open(), 1);
  EXPECT_STREQ(table.GetSQL(), "SELECT CODE,NAME  FROM CUSTOMER WHERE CODE=4");
  EXPECT_EQ(Codes(table), (std::vector<long>{4}));
}

TEST_F(SelectSqlTest, BracketsAreRewrittenOutsideLiteralsInTheWholeStatement) {
  CDatabase& db = Database();
  CCodeName rs(&db);
  rs.m_strFilter = "[NAME] = '[Bob]' OR NAME='Ann'";
  ASSERT_EQ(rs.Open(CRecordset::staticCursor, "[CUSTOMER]"), 1);
  // A single bracket outside a literal becomes a blank.
  EXPECT_STREQ(rs.GetSQL(),
               "SELECT CODE,NAME  FROM  CUSTOMER  WHERE  NAME  = '[Bob]' OR NAME='Ann'");
  EXPECT_EQ(Codes(rs), (std::vector<long>{1}));
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
