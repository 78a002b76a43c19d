// tests/support/servers.h: how server tests find the PostgreSQL and
// MariaDB servers that scripts/servers.sh starts (a connect string in an
// environment variable: ODBC for both, and PostgreSQL's once more for the
// native provider), what they do without one (skip with the reason, or
// fail under CI (CI=true), where the servers must be there), and the list
// of servers with what differs between them.
#pragma once

#include <cstdlib>
#include <cstring>
#include <functional>
#include <ostream>
#include <string>
#include <vector>

namespace korvo::test {

inline constexpr const char* kPostgresDsnVariable = "KORVO_TEST_PG_DSN";
inline constexpr const char* kMariaDsnVariable = "KORVO_TEST_MARIA_DSN";
// The same PostgreSQL server through the native provider (a connect
// string "Provider=PostgreSQL;Host=...").
inline constexpr const char* kPostgresNativeVariable = "KORVO_TEST_PG_NATIVE";

// The connect string in `variable`, or "" when it is not set.
inline std::string ServerConnect(const char* variable) {
  const char* value = std::getenv(variable);
  return value != nullptr ? value : "";
}

inline bool RunningUnderCi() {
  const char* ci = std::getenv("CI");
  return ci != nullptr && std::strcmp(ci, "true") == 0;
}

inline std::string NoServerReason(const char* product, const char* variable) {
  return std::string(product) + " server not configured: " + variable +
         " is not set (run scripts/servers.sh start and source the env.sh it names)";
}

// A server of the test suite and what differs between the servers.
struct Server {
  const char* name;            // of the entry (a server through a provider)
  const char* dbms_name;       // the DBMS Name the server reports
  const char* provider;        // the Provider the connection reports
  const char* variable;        // where the connect string comes from
  int dbms_type;               // CDatabase::GetDbmsType()
  const char* auto_key;        // an integer key the server fills
  const char* create_scratch;  // "%s" is the scratch name
  const char* drop_scratch;
  const char* select_scratch;  // appended to the connect string
  const char* session_id_sql;  // the session's own id
  const char* kill;            // ends the session with the id %s
  // What follows "CREATE PROCEDURE name(v INT, label VARCHAR(n)) ": inserts
  // (v, label) into %s (a table, or a table and two of its columns).
  const char* procedure_body;
  const char* wrong_password;        // added to the connect string: a known user, a wrong password
  const char* wrong_password_names;  // a word of the server's refusal
  // The forms of the connect string `dsn` (Dsn()) that open the server,
  // the form a host usually writes first.
  std::function<std::vector<std::string>(const std::string& dsn)> open_forms;
  // Connect strings that name port 1 of the loopback address, where
  // nothing listens.
  std::function<std::vector<std::string>(const std::string& dsn)> unreachable;
  std::string Dsn() const { return ServerConnect(variable); }
};

inline void PrintTo(const Server& s, std::ostream* os) { *os << s.name; }

// The ODBC provider's forms of a connect string.
inline std::vector<std::string> OdbcForms(const std::string& dsn) {
  return {"ODBC;" + dsn, "Provider=MSDASQL;" + dsn, dsn};
}
inline std::vector<std::string> OdbcUnreachable(const std::string& dsn) {
  return {dsn + ";Server=127.0.0.1;Servername=127.0.0.1;Port=1"};
}

inline std::vector<Server> Servers() {
  const Server pg = {"PostgreSQL",
                     "PostgreSQL",
                     "MSDASQL",
                     kPostgresDsnVariable,
                     2,
                     "SERIAL PRIMARY KEY",
                     "CREATE SCHEMA %s",
                     "DROP SCHEMA IF EXISTS %s CASCADE",
                     ";ConnSettings={SET search_path TO %s}",
                     "SELECT pg_backend_pid()",
                     "SELECT pg_terminate_backend(%s)",
                     "LANGUAGE SQL AS $$ INSERT INTO %s VALUES (v, label) $$",
                     "Username=korvo_secret;Password=wrong-password",
                     "password",
                     OdbcForms,
                     OdbcUnreachable};
  // The same server through libpq: its own keywords, a libpq URI as well,
  // and the scratch schema set as a connection option (there is no
  // statement run after connecting).
  Server native = pg;
  native.name = "PostgreSQLNative";
  native.provider = "PostgreSQL";
  native.variable = kPostgresNativeVariable;
  native.select_scratch = ";Options=-c search_path=%s";
  native.wrong_password = "User ID=korvo_secret;Password=wrong-password";
  native.open_forms = [](const std::string& dsn) {
    return std::vector<std::string>{
        dsn, "postgresql://postgres@127.0.0.1:" + ServerConnect("KORVO_TEST_PG_PORT") + "/korvo"};
  };
  native.unreachable = [](const std::string& dsn) {
    return std::vector<std::string>{dsn + ";Host=127.0.0.1;Port=1",
                                    "postgresql://postgres@127.0.0.1:1/korvo"};
  };
  const Server maria = {"MariaDB",
                        "MariaDB",
                        "MSDASQL",
                        kMariaDsnVariable,
                        1,
                        "INTEGER AUTO_INCREMENT PRIMARY KEY",
                        "CREATE DATABASE %s",
                        "DROP DATABASE IF EXISTS %s",
                        ";DATABASE=%s",
                        "SELECT CONNECTION_ID()",
                        "KILL %s",
                        "INSERT INTO %s VALUES (v, label)",
                        "User=korvo;Password=wrong-password",
                        "Access denied",
                        OdbcForms,
                        OdbcUnreachable};
  return {pg, native, maria};
}

// `pattern` with its "%s" replaced by `value`.
inline std::string Fill(const char* pattern, const std::string& value) {
  std::string out = pattern;
  const size_t at = out.find("%s");
  return at == std::string::npos ? out : out.replace(at, 2, value);
}

}  // namespace korvo::test

// In a test body or SetUp: skips (locally) or fails (under CI) when
// `connect` (a std::string) is empty.
#define KORVO_REQUIRE_SERVER(connect, product, variable)                \
  do {                                                                  \
    if ((connect).empty()) {                                            \
      if (::korvo::test::RunningUnderCi()) {                            \
        FAIL() << ::korvo::test::NoServerReason(product, variable);     \
      }                                                                 \
      GTEST_SKIP() << ::korvo::test::NoServerReason(product, variable); \
    }                                                                   \
  } while (0)
