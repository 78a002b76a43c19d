// tests/ado/ado_engines.h: the engines the object-model tests and the
// provider conformance suite run on (SQLite in memory and in a file,
// PostgreSQL and MariaDB through ODBC, PostgreSQL through its native
// provider), each test in a scratch area of its
// own, with what differs between them. One entry per engine in
// AdoEngines(); a server's own facts come from support/servers.h.
#pragma once

#include <korvo/ado/providers/provider.h>
#include <unistd.h>

#include <cctype>
#include <functional>
#include <memory>
#include <ostream>
#include <string>
#include <tuple>
#include <type_traits>
#include <vector>

#include "ado/ado_test_support.h"
#include "support/servers.h"

namespace korvo::ado::test {

struct AdoEngine {
  std::string name;
  std::function<std::unique_ptr<provider::Connection>()> create_provider;
  std::string admin;          // a server's connect string; "" for SQLite or no server
  const char* variable = "";  // where `admin` comes from
  // The connect string of the scratch area (a file under `dir`, or a
  // server's schema / database named `scratch`).
  std::function<std::string(const std::string& dir, const std::string& scratch)> connect;
  std::function<std::string(const std::string& scratch)> create_scratch;  // empty for SQLite
  std::function<std::string(const std::string& scratch)> drop_scratch;
  bool shares_data = true;  // false for private in-memory databases
  bool procedures = true;
  std::string dbms_name;
  std::string provider_name;
  std::string bad_connect;  // an Open of it fails and names `bad_connect_names`
  std::string bad_connect_names;
  // DDL and SQL spellings that differ.
  std::string auto_key;  // an integer key the engine fills
  std::string blob;      // a binary column type
  std::string datetime;  // a date-and-time column type
  std::string boolean = "BOOLEAN";
  int integer_type = adInteger;       // the ADO type of an INTEGER column
  bool folds_names_to_lower = false;  // unquoted identifiers are stored in lower case
  // `value` of `table` as text, comma-separated, ordered by `order`: a
  // scalar subquery.
  std::function<std::string(const std::string& value, const std::string& order,
                            const std::string& table)>
      list;
  std::function<std::string(const std::string& a, const std::string& b)> concat;
  std::string unique_violation_text;  // a word of the unique constraint's error
  // Expected ADO types of the columns of DescribesColumnsFromDeclaredTypes.
  std::vector<int> described_types;
  bool reports_key_columns = false;  // ColumnInfo::key is known without asking for the key
  std::vector<std::string> keyless_table_key;  // KeyColumns of a table without a key
  // A statement that leaves the messages `first` and `second` (empty when
  // the engine has none).
  std::function<std::string(const std::string& first, const std::string& second)> notices;
  std::string notice_prefix;  // what the engine puts before a message's text
  std::string slow_sql;       // a statement that runs until interrupted
  bool is_server() const { return static_cast<bool>(create_scratch); }
};

inline void PrintTo(const AdoEngine& e, std::ostream* os) { *os << e.name; }

// A server through `create_provider`, with what the server list says of it.
inline AdoEngine ServerEngine(const korvo::test::Server& server,
                              std::unique_ptr<provider::Connection> (*create_provider)()) {
  AdoEngine e;
  e.name = server.name;
  e.create_provider = create_provider;
  e.admin = server.Dsn();
  e.variable = server.variable;
  e.connect = [admin = e.admin, server](const std::string&, const std::string& scratch) {
    return admin + korvo::test::Fill(server.select_scratch, scratch);
  };
  e.create_scratch = [server](const std::string& s) {
    return korvo::test::Fill(server.create_scratch, s);
  };
  e.drop_scratch = [server](const std::string& s) {
    return korvo::test::Fill(server.drop_scratch, s);
  };
  e.dbms_name = server.dbms_name;
  e.provider_name = server.provider;
  e.bad_connect = "DSN=korvo_no_such_dsn";
  e.bad_connect_names = "korvo_no_such_dsn";
  e.auto_key = server.auto_key;
  return e;
}

inline std::vector<AdoEngine> AdoEngines() {
  AdoEngine memory;
  memory.name = "SqliteMemory";
  memory.create_provider = provider::CreateSqliteConnection;
  memory.connect = [](const std::string&, const std::string&) {
    return std::string("Provider=SQLite;Data Source=:memory:");
  };
  memory.shares_data = false;
  memory.procedures = false;
  memory.dbms_name = "SQLite";
  memory.provider_name = "Korvo.SQLite";
  memory.bad_connect = "Provider=SQLite;Data Source=/nonexistent/dir/x.db";
  memory.bad_connect_names = "/nonexistent/dir/x.db";
  memory.auto_key = "INTEGER PRIMARY KEY";
  memory.blob = "BLOB";
  memory.datetime = "DATETIME";
  memory.integer_type = adBigInt;
  memory.list = [](const std::string& v, const std::string& order, const std::string& table) {
    return "(SELECT group_concat(v) FROM (SELECT " + v + " AS v FROM " + table + " ORDER BY " +
           order + "))";
  };
  memory.concat = [](const std::string& a, const std::string& b) { return a + " || " + b; };
  memory.unique_violation_text = "UNIQUE";
  // k.* then the four expressions.
  memory.described_types = {20, 20, 2, 11, 5, 5, 202, 130, 203, 205, 135, 7, 134, 20, 203, 5, 203};
  memory.reports_key_columns = true;
  memory.keyless_table_key = {"rowid"};
  memory.notices = [](const std::string& first, const std::string& second) {
    return "SELECT korvo_info('" + first + "') || korvo_info('" + second + "')";
  };
  memory.slow_sql =
      "WITH RECURSIVE n(x) AS (SELECT 1 UNION ALL SELECT x + 1 FROM n) SELECT count(*) FROM n";

  AdoEngine file = memory;
  file.name = "SqliteFile";
  file.connect = [](const std::string& dir, const std::string&) {
    return "Provider=SQLite;Data Source=" + dir + "/test.db";
  };
  file.shares_data = true;

  const std::vector<korvo::test::Server> servers = korvo::test::Servers();
  AdoEngine pg = ServerEngine(servers.at(0), provider::CreateOdbcConnection);
  pg.blob = "BYTEA";
  pg.datetime = "TIMESTAMP";
  pg.folds_names_to_lower = true;
  pg.list = [](const std::string& v, const std::string& order, const std::string& table) {
    return "(SELECT string_agg(CAST(" + v + " AS TEXT), ',' ORDER BY " + order + ") FROM " + table +
           ")";
  };
  pg.concat = memory.concat;
  pg.unique_violation_text = "unique";
  // integer, bigint, smallint, boolean, real (float4: adSingle), numeric,
  // varchar, char, text (long), bytea (long binary), timestamp, date, time;
  // then int + int, an untyped literal (text), a numeric literal, NULL.
  pg.described_types = {3, 20, 2, 11, 4, 5, 202, 130, 203, 205, 135, 133, 134, 3, 203, 5, 203};
  pg.notices = [](const std::string& first, const std::string& second) {
    return "DO $$BEGIN RAISE NOTICE '" + first + "'; RAISE NOTICE '" + second + "'; END$$";
  };
  pg.notice_prefix = "NOTICE: ";
  pg.slow_sql = "SELECT pg_sleep(60)";

  // The same server through libpq: what it does as over ODBC, but numeric
  // columns and literals are exact (adNumeric).
  AdoEngine native = ServerEngine(servers.at(1), provider::CreatePostgresConnection);
  native.blob = pg.blob;
  native.datetime = pg.datetime;
  native.folds_names_to_lower = true;
  native.list = pg.list;
  native.concat = pg.concat;
  native.unique_violation_text = pg.unique_violation_text;
  native.described_types = {3,   20,  2,   11,  4, 131, 202, 130, 203,
                            205, 135, 133, 134, 3, 203, 131, 203};
  native.notices = pg.notices;  // a message is its text alone, without "NOTICE: "
  native.slow_sql = pg.slow_sql;
  native.bad_connect = native.admin + ";Database=korvo_no_such_db";
  native.bad_connect_names = "korvo_no_such_db";

  AdoEngine maria = ServerEngine(servers.at(2), provider::CreateOdbcConnection);
  maria.blob = "LONGBLOB";
  maria.datetime = "DATETIME";
  maria.list = [](const std::string& v, const std::string& order, const std::string& table) {
    return "(SELECT group_concat(" + v + " ORDER BY " + order + ") FROM " + table + ")";
  };
  maria.concat = [](const std::string& a, const std::string& b) {
    return "CONCAT(" + a + ", " + b + ")";
  };
  maria.unique_violation_text = "Duplicate";
  // BOOLEAN is TINYINT(1), REAL is DOUBLE, TEXT and LONGBLOB are long; the
  // literal 'x' and NULL are VARCHARs, 2.5 a DECIMAL.
  maria.described_types = {3, 20, 2, 16, 5, 5, 202, 130, 203, 205, 135, 133, 134, 3, 202, 5, 202};
  // No `notices`: the server's warnings do not come back as messages
  // (SQL_SUCCESS_WITH_INFO) through Connector/ODBC.
  // Recursion stops at max_recursive_iterations; this does not.
  maria.slow_sql = "SELECT BENCHMARK(100000000000, MD5('x'))";
  return {memory, file, pg, native, maria};
}

// The engines for which `keep` holds, e.g. those whose second connection
// sees the first one's data.
inline std::vector<AdoEngine> AdoEngines(bool (*keep)(const AdoEngine&)) {
  std::vector<AdoEngine> kept;
  for (AdoEngine& e : AdoEngines()) {
    if (keep(e)) kept.push_back(std::move(e));
  }
  return kept;
}
inline bool SharesData(const AdoEngine& e) { return e.shares_data; }
inline bool IsSqlite(const AdoEngine& e) { return !e.is_server(); }
inline bool IsSqliteFile(const AdoEngine& e) { return !e.is_server() && e.shares_data; }

// A fixture over AdoEngines() (or, with a tuple parameter, over an engine
// and something else): ConnectText() names a scratch area that exists for
// the test (a fresh file, or a server schema / database named after the
// process, as CTest runs tests side by side) and is dropped after.
template <class Param>
class EngineFixture : public AdoTest, public ::testing::WithParamInterface<Param> {
 protected:
  void SetUp() override {
    AdoTest::SetUp();
    const AdoEngine& e = Engine();
    if (!e.is_server()) return;
    KORVO_REQUIRE_SERVER(e.admin, e.name.c_str(), e.variable);
    scratch_ = "korvo_ado_" + std::to_string(getpid());
    admin_ = Open(e.admin);
    Catch([&] { Exec(admin_, e.drop_scratch(scratch_).c_str()); });
    Exec(admin_, e.create_scratch(scratch_).c_str());
  }
  void TearDown() override {
    if (admin_) Catch([&] { Exec(admin_, Engine().drop_scratch(scratch_).c_str()); });
    AdoTest::TearDown();
  }
  const AdoEngine& Engine() const {
    if constexpr (std::is_same_v<Param, AdoEngine>) {
      return this->GetParam();
    } else {
      return std::get<0>(this->GetParam());
    }
  }
  std::string ConnectText() { return Engine().connect(dir_.path(), scratch_); }
  // `name` as the engine keeps an unquoted identifier.
  std::string Stored(std::string name) const {
    if (Engine().folds_names_to_lower) {
      for (char& c : name) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    }
    return name;
  }

 private:
  std::string scratch_;
  _ConnectionPtr admin_;
};

using EngineTest = EngineFixture<AdoEngine>;

}  // namespace korvo::ado::test
