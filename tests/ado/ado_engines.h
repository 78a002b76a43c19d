// tests/ado/ado_engines.h: the engines the object-model tests run on
// (a SQLite file, PostgreSQL over ODBC and natively, MariaDB), each test in a scratch area of
// its own, with the SQL spellings that differ between them.
#pragma once

#include <unistd.h>

#include <functional>
#include <ostream>
#include <string>
#include <vector>

#include "ado/ado_test_support.h"
#include "support/servers.h"

namespace korvo::ado::test {

struct AdoEngine {
  std::string name;
  std::string admin;          // a server's connect string; "" for SQLite or no server
  const char* variable = "";  // where `admin` comes from
  // The connect string of the scratch area (a file under `dir`, or a
  // server's schema / database named `scratch`).
  std::function<std::string(const std::string& dir, const std::string& scratch)> connect;
  std::function<std::string(const std::string& scratch)> create_scratch;  // empty for SQLite
  std::function<std::string(const std::string& scratch)> drop_scratch;
  std::string auto_key;  // an integer key the engine fills
  std::string blob;      // a binary column type
  // `value` as text, comma-separated, ordered by `order`.
  std::function<std::string(const std::string& value, const std::string& order)> list;
  std::function<std::string(const std::string& a, const std::string& b)> concat;
  std::string unique_violation_text;  // a word of the unique constraint's error
  bool is_server() const { return static_cast<bool>(create_scratch); }
};

inline void PrintTo(const AdoEngine& e, std::ostream* os) { *os << e.name; }

inline std::vector<AdoEngine> AdoEngines() {
  AdoEngine sqlite;
  sqlite.name = "SqliteFile";
  sqlite.connect = [](const std::string& dir, const std::string&) {
    return "Provider=SQLite;Data Source=" + dir + "/test.db";
  };
  sqlite.auto_key = "INTEGER PRIMARY KEY";
  sqlite.blob = "BLOB";
  sqlite.list = [](const std::string& v, const std::string& order) {
    return "(SELECT group_concat(v) FROM (SELECT " + v + " AS v FROM w ORDER BY " + order + "))";
  };
  sqlite.concat = [](const std::string& a, const std::string& b) { return a + " || " + b; };
  sqlite.unique_violation_text = "UNIQUE";

  AdoEngine pg;
  pg.name = "PostgreSQL";
  pg.admin = korvo::test::ServerConnect(korvo::test::kPostgresDsnVariable);
  pg.variable = korvo::test::kPostgresDsnVariable;
  pg.connect = [admin = pg.admin](const std::string&, const std::string& scratch) {
    return admin + ";ConnSettings={SET search_path TO " + scratch + "}";
  };
  pg.create_scratch = [](const std::string& s) { return "CREATE SCHEMA " + s; };
  pg.drop_scratch = [](const std::string& s) { return "DROP SCHEMA IF EXISTS " + s + " CASCADE"; };
  pg.auto_key = "SERIAL PRIMARY KEY";
  pg.blob = "BYTEA";
  pg.list = [](const std::string& v, const std::string& order) {
    return "(SELECT string_agg(CAST(" + v + " AS TEXT), ',' ORDER BY " + order + ") FROM w)";
  };
  pg.concat = sqlite.concat;
  pg.unique_violation_text = "unique";

  AdoEngine native = pg;
  native.name = "PostgreSQLNative";
  native.admin = korvo::test::ServerConnect(korvo::test::kPostgresNativeVariable);
  native.variable = korvo::test::kPostgresNativeVariable;
  native.connect = [admin = native.admin](const std::string&, const std::string& scratch) {
    return admin + ";Options=-c search_path=" + scratch;
  };

  AdoEngine maria = pg;
  maria.name = "MariaDB";
  maria.admin = korvo::test::ServerConnect(korvo::test::kMariaDsnVariable);
  maria.variable = korvo::test::kMariaDsnVariable;
  maria.connect = [admin = maria.admin](const std::string&, const std::string& scratch) {
    return admin + ";DATABASE=" + scratch;
  };
  maria.create_scratch = [](const std::string& s) { return "CREATE DATABASE " + s; };
  maria.drop_scratch = [](const std::string& s) { return "DROP DATABASE IF EXISTS " + s; };
  maria.auto_key = "INTEGER AUTO_INCREMENT PRIMARY KEY";
  maria.blob = "LONGBLOB";
  maria.list = [](const std::string& v, const std::string& order) {
    return "(SELECT group_concat(" + v + " ORDER BY " + order + ") FROM w)";
  };
  maria.concat = [](const std::string& a, const std::string& b) {
    return "CONCAT(" + a + ", " + b + ")";
  };
  maria.unique_violation_text = "Duplicate";
  return {sqlite, pg, native, maria};
}

// A fixture over AdoEngines(): ConnectText() names a scratch area that
// exists for the test (a fresh file, or a server schema / database named
// after the process, as CTest runs tests side by side) and is dropped after.
class EngineTest : public AdoTest, public ::testing::WithParamInterface<AdoEngine> {
 protected:
  void SetUp() override {
    AdoTest::SetUp();
    const AdoEngine& e = GetParam();
    if (!e.is_server()) return;
    KORVO_REQUIRE_SERVER(e.admin, e.name.c_str(), e.variable);
    scratch_ = "korvo_ado_" + std::to_string(getpid());
    admin_ = Open(e.admin);
    Catch([&] { Exec(admin_, e.drop_scratch(scratch_).c_str()); });
    Exec(admin_, e.create_scratch(scratch_).c_str());
  }
  void TearDown() override {
    if (admin_) Catch([&] { Exec(admin_, GetParam().drop_scratch(scratch_).c_str()); });
    AdoTest::TearDown();
  }
  std::string ConnectText() { return GetParam().connect(dir_.path(), scratch_); }

 private:
  std::string scratch_;
  _ConnectionPtr admin_;
};

}  // namespace korvo::ado::test
