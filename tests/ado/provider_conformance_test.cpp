// Provider conformance suite: the same checks over every provider
// configuration, through the provider interface the object model uses.
// The engine list (tests/ado/ado_engines.h) says what differs. Messages,
// deadlines and nested transactions are checked through the object model
// over the same engines (connection_test.cpp).
#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <korvo/ado/connect_string_internal.h>
#include <korvo/ado/hresult_internal.h>
#include <korvo/ado/providers/provider.h>
#include <korvo/ado/row_writer_internal.h>
#include <unistd.h>

#include <functional>
#include <memory>

#include "ado/ado_engines.h"

namespace korvo::ado::provider {
namespace {

using ::testing::HasSubstr;

using korvo::ado::test::AdoEngine;
using korvo::ado::test::AdoEngines;

class ProviderConformance : public ::testing::TestWithParam<AdoEngine> {
 protected:
  void SetUp() override {
    const AdoEngine& t = GetParam();
    if (t.is_server()) {
      KORVO_REQUIRE_SERVER(t.admin, t.name.c_str(), t.variable);
      // One scratch area per test process: CTest runs tests side by side.
      scratch_ = "korvo_conf_" + std::to_string(getpid());
      admin_ = Connect(t.admin);
      ASSERT_TRUE(admin_ && admin_->IsOpen());
      Run(*admin_, t.drop_scratch(scratch_));
      ASSERT_EQ(Run(*admin_, t.create_scratch(scratch_)), kSOk)
          << admin_->diagnostics().errors.at(0).description;
    }
    conn_ = OpenNew();
  }

  void TearDown() override {
    conn_.reset();
    if (admin_) Run(*admin_, GetParam().drop_scratch(scratch_));
  }

  std::unique_ptr<Connection> Connect(const std::string& text) {
    auto conn = GetParam().create_provider();
    ConnectString cs;
    std::string error;
    EXPECT_TRUE(cs.Parse(text, &error)) << error;
    const HRESULT hr = conn->Open(cs);
    EXPECT_EQ(hr, kSOk) << (conn->diagnostics().errors.empty()
                                ? ""
                                : conn->diagnostics().errors[0].description);
    return conn;
  }
  std::unique_ptr<Connection> OpenNew() { return Connect(ConnectText()); }
  std::string ConnectText() { return GetParam().connect(dir_.path(), scratch_); }

  // Runs SQL to completion; returns the HRESULT.
  HRESULT Run(Connection& c, const std::string& sql, std::vector<ParamValue> params = {},
              int64_t* affected = nullptr) {
    std::unique_ptr<Statement> st;
    HRESULT hr = c.Prepare(sql, &st);
    if (hr < 0) return hr;
    hr = st->Execute(params, NoDeadline());
    while (hr >= 0 && st->HasRow()) hr = st->Next(NoDeadline());
    if (affected) *affected = st->RowsAffected();
    return hr;
  }
  HRESULT Run(const std::string& sql) { return Run(*conn_, sql); }

  // First column of the first row as text ("NULL" for null).
  std::string Scalar(Connection& c, const std::string& sql) {
    std::unique_ptr<Statement> st;
    if (c.Prepare(sql, &st) < 0 || st->Execute({}, NoDeadline()) < 0) {
      return "ERROR: " + c.diagnostics().errors.at(0).description;
    }
    if (!st->HasRow()) return "NO ROW";
    const Cell cell = st->Get(0);
    switch (cell.type) {
      case CellType::kNull:
        return "NULL";
      case CellType::kInt:
        return std::to_string(cell.i);
      case CellType::kReal:
        return std::to_string(cell.r);
      default:
        return std::string(cell.data, cell.size);
    }
  }
  std::string Scalar(const std::string& sql) { return Scalar(*conn_, sql); }

  const ErrorRecord& LastError() { return conn_->diagnostics().errors.at(0); }
  // The values of `column` of `table`, comma-separated in order.
  std::string List(const std::string& column, const std::string& table) {
    return Scalar("SELECT " + GetParam().list(column, column, table));
  }

  korvo::test::TempDir dir_;
  std::string scratch_;
  std::unique_ptr<Connection> admin_;
  std::unique_ptr<Connection> conn_;
};

// The checks only the embedded engine can make: its own connect-string
// keywords, and the other product family's forms it emulates.
using SqliteConformance = ProviderConformance;

TEST_P(ProviderConformance, ReportsIdentityAndRejectsBadOpen) {
  EXPECT_EQ(conn_->Info(InfoProperty::kDbmsName), GetParam().dbms_name);
  EXPECT_FALSE(conn_->Info(InfoProperty::kDbmsVersion).empty());
  EXPECT_EQ(conn_->SupportsProcedures(), GetParam().procedures);

  auto other = GetParam().create_provider();
  ConnectString cs;
  std::string error;
  ASSERT_TRUE(cs.Parse(GetParam().bad_connect, &error));
  EXPECT_LT(other->Open(cs), 0);
  ASSERT_FALSE(other->diagnostics().errors.empty());
  EXPECT_THAT(other->diagnostics().errors[0].description, HasSubstr(GetParam().bad_connect_names));
  EXPECT_FALSE(other->IsOpen());
}

TEST_P(SqliteConformance, NeedsADataSourceAndReportsTheNameItIsGiven) {
  auto other = GetParam().create_provider();
  ConnectString cs;
  std::string error;
  ASSERT_TRUE(cs.Parse("Provider=SQLite", &error));
  EXPECT_LT(other->Open(cs), 0);
  EXPECT_THAT(other->diagnostics().errors[0].description, HasSubstr("Data Source"));

  ASSERT_TRUE(cs.Parse(ConnectText() + ";DBMS Name=Microsoft SQL Server", &error));
  ASSERT_EQ(other->Open(cs), kSOk);
  EXPECT_EQ(other->Info(InfoProperty::kDbmsName), "Microsoft SQL Server");
}

TEST_P(ProviderConformance, MapsEngineErrorsToHresultsWithDescriptions) {
  ASSERT_EQ(Run("CREATE TABLE t (id INTEGER PRIMARY KEY, name VARCHAR(40) NOT NULL UNIQUE)"), kSOk);
  ASSERT_EQ(Run("INSERT INTO t VALUES (1, 'a')"), kSOk);

  EXPECT_EQ(Run("SELEC 1"), kDbErrorsInCommand);
  EXPECT_EQ(LastError().sqlstate, "42000");
  EXPECT_THAT(LastError().description, HasSubstr("SELEC"));
  EXPECT_EQ(Run("SELECT * FROM nowhere"), kDbErrorsInCommand);
  EXPECT_EQ(LastError().sqlstate, "42S02");
  EXPECT_EQ(Run("SELECT nocol FROM t"), kDbErrorsInCommand);
  EXPECT_EQ(LastError().sqlstate, "42S22");

  for (const char* violation : {"INSERT INTO t VALUES (1, 'b')", "INSERT INTO t VALUES (2, 'a')",
                                "INSERT INTO t VALUES (3, NULL)"}) {
    EXPECT_EQ(Run(violation), kDbIntegrityViolation) << violation;
    EXPECT_EQ(LastError().sqlstate.substr(0, 2), "23");
    EXPECT_NE(LastError().native, 0);
    EXPECT_FALSE(LastError().description.empty());
  }
  // Foreign keys are enforced.
  ASSERT_EQ(Run("CREATE TABLE child (pid INTEGER, FOREIGN KEY (pid) REFERENCES t(id))"), kSOk);
  EXPECT_EQ(Run("INSERT INTO child VALUES (99)"), kDbIntegrityViolation);

  EXPECT_EQ(Run(""), kDbNoCommand);
  EXPECT_EQ(Run("SELECT {zz}"), kDbErrorsInCommand);
  EXPECT_FALSE(LastError().description.empty());
  EXPECT_EQ(Run(*conn_, "SELECT ?, ?", {ParamValue{}}), kDbParamNotOptional);
  EXPECT_EQ(Run(*conn_, "SELECT ?", {ParamValue{}, ParamValue{}}), kEInvalidArg);
}

TEST_P(ProviderConformance, ExecutesBatchesAndCountsRows) {
  int64_t affected = 0;
  ASSERT_EQ(
      Run(*conn_, "CREATE TABLE t (a INT); INSERT INTO t VALUES (1); INSERT INTO t VALUES (2);", {},
          &affected),
      kSOk);
  EXPECT_EQ(affected, 2);
  ASSERT_EQ(Run(*conn_, "UPDATE t SET a = a + 10", {}, &affected), kSOk);
  EXPECT_EQ(affected, 2);
  ASSERT_EQ(Run(*conn_, "SELECT * FROM t", {}, &affected), kSOk);
  EXPECT_EQ(affected, -1);
  ASSERT_EQ(Run(*conn_, "DELETE FROM t WHERE a = 11 -- trailing comment", {}, &affected), kSOk);
  EXPECT_EQ(affected, 1);
  // The rows of a batch are those of its last statement.
  EXPECT_EQ(Scalar("INSERT INTO t VALUES (5); SELECT count(*) FROM t"), "2");
  // Parameters are numbered across the batch.
  ParamValue a, b;
  a.type = b.type = CellType::kInt;
  a.i = 7;
  b.i = 8;
  ASSERT_EQ(Run(*conn_, "INSERT INTO t VALUES (?); INSERT INTO t VALUES (?)", {a, b}), kSOk);
  EXPECT_EQ(List("a", "t"), "5,7,8,12");
}

TEST_P(ProviderConformance, DescribesColumnsFromDeclaredTypes) {
  const AdoEngine& t = GetParam();
  ASSERT_EQ(
      Run("CREATE TABLE k (id INTEGER PRIMARY KEY, big BIGINT, small SMALLINT, flag " + t.boolean +
          ", r REAL, num NUMERIC(10,2), name VARCHAR(20), fixed CHAR(4), body TEXT NOT NULL,"
          " data " +
          t.blob + ", at " + t.datetime + ", day DATE, tm TIME)"),
      kSOk);
  ASSERT_EQ(Run("INSERT INTO k VALUES (1, 2, 3, TRUE, 1.5, 2.25, 'n', 'abcd', 'b', NULL, "
                "'2020-01-02 03:04:05', '2020-01-02', '03:04:05')"),
            kSOk);
  std::unique_ptr<Statement> st;
  ASSERT_EQ(
      conn_->Prepare("SELECT k.*, 1 + 1 AS two, 'x' AS ex, 2.5 AS re, NULL AS nu FROM k", &st),
      kSOk);
  ASSERT_EQ(st->Execute({}, NoDeadline()), kSOk);
  const auto& cols = st->Columns();
  ASSERT_EQ(cols.size(), 17u);
  for (size_t i = 0; i < cols.size(); ++i)
    EXPECT_EQ(cols[i].ado_type, t.described_types.at(i)) << cols[i].name;
  EXPECT_EQ(cols[0].name, "id");
  EXPECT_EQ(cols[0].key, t.reports_key_columns);
  EXPECT_EQ(cols[0].base_table, "k");
  EXPECT_EQ(cols[6].defined_size, 20);
  EXPECT_EQ(cols[7].defined_size, 4);
  EXPECT_FALSE(cols[8].nullable);
  EXPECT_TRUE(cols[9].nullable);
  EXPECT_EQ(cols[5].scale, 2);
  EXPECT_TRUE(cols[13].base_table.empty());
}

TEST_P(SqliteConformance, UnderstandsBothProductFamiliesForms) {
  ASSERT_EQ(
      Run("CREATE TABLE c (code INT, name TEXT); INSERT INTO c VALUES (3,'c'),(1,'a'),(2,'b')"),
      kSOk);
  EXPECT_EQ(Scalar("SELECT 40 + 2 AS RES FROM DUAL"), "42");
  EXPECT_EQ(Scalar("SELECT dummy FROM dual"), "X");
  EXPECT_EQ(Scalar("SELECT group_concat(name) FROM (SELECT TOP 2 name FROM c ORDER BY code)"),
            "a,b");
  EXPECT_EQ(
      Scalar(
          "SELECT count(*) FROM (SELECT code,name ,ROWNUM ORAROWNUM  FROM c) WHERE ORAROWNUM <= 2"),
      "2");
  EXPECT_EQ(Scalar("SELECT group_concat(name) FROM (SELECT code,name FROM (SELECT code,name ,"
                   "ROW_NUMBER() OVER (order by name) ORAROWNUM  FROM c ORDER BY name) WHERE "
                   "ORAROWNUM <= 2)"),
            "a,b");
  std::unique_ptr<Statement> limited;
  ASSERT_EQ(conn_->Prepare("SELECT code FROM c WHERE ROWNUM <= 2", &limited), kSOk);
  ASSERT_EQ(limited->Execute({}, NoDeadline()), kSOk);
  int rows = 0;
  for (; limited->HasRow(); limited->Next(NoDeadline())) ++rows;
  EXPECT_EQ(rows, 2);
  EXPECT_EQ(Scalar("SELECT name FROM (SELECT name FROM c ORDER BY code DESC) WHERE name <> 'c' AND "
                   "ROWNUM < 2"),
            "b");
  std::unique_ptr<Statement> refused;
  EXPECT_EQ(conn_->Prepare("SELECT code FROM c WHERE ROWNUM <= 2 ORDER BY code", &refused),
            kDbErrorsInCommand);
  EXPECT_THAT(LastError().description,
              HasSubstr("ROWNUM in the WHERE clause is not translated together with ORDER BY"));
  EXPECT_EQ(Scalar("SELECT {fn UCASE('abc')} || {fn LCASE('DEF')} || {fn CONCAT('g','h')}"),
            "ABCdefgh");
  EXPECT_EQ(Scalar("SELECT {fn LEFT('h\xC3\xA9llo', 2)} || {fn RIGHT('hello', 3)}"),
            "h\xC3\xA9llo");
  EXPECT_EQ(Scalar("SELECT {fn LOCATE('l', 'hello')} * 10 + {fn MOD(7, 4)}"), "33");
  EXPECT_EQ(Scalar("SELECT {fn YEAR({ts '2021-03-04 05:06:07'})} + {fn SECOND({t '05:06:07'})}"),
            "2028");
  EXPECT_EQ(Scalar("SELECT {d '2020-01-02'} = '2020-01-02'"), "1");
  EXPECT_EQ(Scalar("{call abs(-4)}"), "4");
  EXPECT_EQ(Scalar("SELECT length({fn NOW()})"), "19");
}

TEST_P(ProviderConformance, ReusesPreparedStatementsAndReadsCells) {
  ASSERT_EQ(Run("CREATE TABLE v (i INT, r REAL, t TEXT, b " + GetParam().blob + ")"), kSOk);
  std::unique_ptr<Statement> insert;
  ASSERT_EQ(conn_->Prepare("INSERT INTO v VALUES (?, ?, ?, ?)", &insert), kSOk);
  for (int n = 0; n < 3; ++n) {
    std::vector<ParamValue> p(4);
    p[0].type = CellType::kInt;
    p[0].i = n;
    p[1].type = CellType::kReal;
    p[1].r = n + 0.5;
    p[2].type = CellType::kText;
    p[2].bytes = "t\xC3\xA9" + std::to_string(n);
    p[3].type = n == 2 ? CellType::kNull : CellType::kBlob;
    p[3].bytes = std::string("\0\1", 2);
    ASSERT_EQ(insert->Execute(p, NoDeadline()), kSOk);
    EXPECT_EQ(insert->RowsAffected(), 1);
  }
  std::unique_ptr<Statement> select;
  ASSERT_EQ(conn_->Prepare("SELECT * FROM v ORDER BY i", &select), kSOk);
  ASSERT_EQ(select->Execute({}, NoDeadline()), kSOk);
  int rows = 0;
  while (select->HasRow()) {
    EXPECT_EQ(select->Get(0).type, CellType::kInt);
    EXPECT_EQ(select->Get(0).i, rows);
    EXPECT_DOUBLE_EQ(select->Get(1).r, rows + 0.5);
    const Cell t = select->Get(2);
    EXPECT_EQ(std::string(t.data, t.size), "t\xC3\xA9" + std::to_string(rows));
    const Cell b = select->Get(3);
    if (rows == 2) {
      EXPECT_EQ(b.type, CellType::kNull);
    } else {
      EXPECT_EQ(std::string(b.data, b.size), std::string("\0\1", 2));
    }
    ++rows;
    ASSERT_EQ(select->Next(NoDeadline()), kSOk);
  }
  EXPECT_EQ(rows, 3);
  // Executing again starts over.
  ASSERT_EQ(select->Execute({}, NoDeadline()), kSOk);
  EXPECT_TRUE(select->HasRow());
  EXPECT_EQ(select->Get(0).i, 0);
}

TEST_P(ProviderConformance, DescribesTablesForTheWritePath) {
  ASSERT_EQ(Run("CREATE TABLE k2 (a VARCHAR(20), b INT, c REAL, PRIMARY KEY (b, a))"), kSOk);
  ASSERT_EQ(Run("CREATE TABLE nokey (x TEXT)"), kSOk);
  std::vector<std::string> key;
  ASSERT_EQ(conn_->KeyColumns("", "k2", &key), kSOk);
  EXPECT_EQ(key, (std::vector<std::string>{"b", "a"}));
  ASSERT_EQ(conn_->KeyColumns("", "nokey", &key), kSOk);
  EXPECT_EQ(key, GetParam().keyless_table_key);
  EXPECT_LT(conn_->KeyColumns("", "missing", &key), 0);
  EXPECT_FALSE(LastError().description.empty());
  // A quoted name with the quote character in it survives the round trip.
  const std::string odd = conn_->QuoteIdentifier("od\"d t");
  ASSERT_EQ(Run("CREATE TABLE " + odd + " (id " + GetParam().auto_key + ", v TEXT)"), kSOk);
  ASSERT_EQ(Run("INSERT INTO " + odd + " (v) VALUES ('x')"), kSOk);
  int64_t generated = 0;
  ASSERT_TRUE(conn_->LastInsertKey(&generated));
  EXPECT_EQ(generated, 1);
  conn_->Close();
  EXPECT_LT(conn_->BeginTransaction(1), 0);  // reported, not a crash
  EXPECT_FALSE(LastError().description.empty());
}

TEST_P(ProviderConformance, WritesRowsThroughGeneratedStatements) {
  ASSERT_EQ(Run("CREATE TABLE t (id " + GetParam().auto_key + ", name VARCHAR(40) UNIQUE, n INT)"),
            kSOk);
  ASSERT_EQ(Run("CREATE TABLE nokey (a TEXT, b INT)"), kSOk);
  ASSERT_EQ(Run("INSERT INTO nokey VALUES ('p', NULL), ('p', NULL), ('q', 1)"), kSOk);
  std::unique_ptr<Statement> select;
  ASSERT_EQ(conn_->Prepare("SELECT id, name, n FROM t", &select), kSOk);
  ASSERT_EQ(select->Execute({}, NoDeadline()), kSOk);
  std::string reason;
  std::unique_ptr<RowWriter> writer = RowWriter::For(*conn_, select->Columns(), &reason);
  ASSERT_TRUE(writer) << reason;
  EXPECT_TRUE(writer->keyed());
  select->Reset();

  std::vector<ParamValue> values(3);
  values[1].type = CellType::kText;
  int key_column = -1;
  int64_t key = 0;
  for (int i = 0; i < 3; ++i) {
    values[1].bytes = "row" + std::to_string(i);
    ASSERT_EQ(writer->Insert(*conn_, {1}, values, NoDeadline(), &key_column, &key), kSOk);
    EXPECT_EQ(key_column, 0);
    EXPECT_EQ(key, i + 1);
  }
  EXPECT_EQ(writer->statement_count(), 1u);  // one shape, prepared once
  EXPECT_EQ(writer->Insert(*conn_, {1}, values, NoDeadline(), &key_column, &key),
            kDbIntegrityViolation);
  EXPECT_EQ(LastError().sqlstate.substr(0, 2), "23") << LastError().description;

  // Update located by key and by the changed column's original value.
  Cell original[3];
  original[0].type = CellType::kInt;
  original[0].i = 2;
  original[1].type = CellType::kText;
  original[1].data = "row1";
  original[1].size = 4;
  values[2].type = CellType::kInt;
  values[2].i = 42;
  ASSERT_EQ(writer->Update(*conn_, original, {2}, values, NoDeadline()), kSOk);
  EXPECT_EQ(Scalar("SELECT n FROM t WHERE id = 2"), "42");
  // A stale original value fails an update (recordset_write_test.cpp); a
  // delete goes by the key alone.
  original[1].data = "stale";
  original[1].size = 5;
  ASSERT_EQ(writer->Delete(*conn_, original, NoDeadline()), kSOk);
  EXPECT_EQ(writer->Delete(*conn_, original, NoDeadline()), kDbConcurrencyViolation);
  EXPECT_EQ(Scalar("SELECT count(*) FROM t"), "2");

  // Without the key in the result: all values, NULL-safe.
  ASSERT_EQ(conn_->Prepare("SELECT a, b FROM nokey", &select), kSOk);
  ASSERT_EQ(select->Execute({}, NoDeadline()), kSOk);
  std::unique_ptr<RowWriter> all = RowWriter::For(*conn_, select->Columns(), &reason);
  select->Reset();
  ASSERT_TRUE(all) << reason;
  EXPECT_FALSE(all->keyed());
  Cell q[2];
  q[0].type = CellType::kText;
  q[0].data = "q";
  q[0].size = 1;
  q[1].type = CellType::kNull;
  std::vector<ParamValue> nv(2);
  nv[0].type = CellType::kText;
  nv[0].bytes = "r";
  EXPECT_EQ(all->Update(*conn_, q, {0}, nv, NoDeadline()),
            kDbConcurrencyViolation);  // b is 1, not NULL
  q[1].type = CellType::kInt;
  q[1].i = 1;
  ASSERT_EQ(all->Update(*conn_, q, {0}, nv, NoDeadline()), kSOk);
  Cell p[2];
  p[0] = q[0];
  p[0].data = "p";
  p[1].type = CellType::kNull;
  ASSERT_EQ(all->Delete(*conn_, p, NoDeadline()), kSOk);
  EXPECT_EQ(List("a", "nokey"), "r");

  // Results that are not updatable: recordset_write_test.cpp.
}

INSTANTIATE_TEST_SUITE_P(Providers, ProviderConformance, ::testing::ValuesIn(AdoEngines()),
                         [](const auto& info) { return info.param.name; });
INSTANTIATE_TEST_SUITE_P(Providers, SqliteConformance,
                         ::testing::ValuesIn(AdoEngines(korvo::ado::test::IsSqlite)),
                         [](const auto& info) { return info.param.name; });

}  // namespace
}  // namespace korvo::ado::provider
