// tests/support/servers.h: how server tests find the PostgreSQL and
// MariaDB servers that scripts/servers.sh starts (an ODBC connect string
// in an environment variable), what they do without one (skip with the
// reason, or fail under CI (CI=true), where the servers must be there),
// and the list of servers with what differs between them.
#pragma once

#include <cstdlib>
#include <cstring>
#include <ostream>
#include <string>
#include <vector>

namespace korvo::test {

inline constexpr const char* kPostgresDsnVariable = "KORVO_TEST_PG_DSN";
inline constexpr const char* kMariaDsnVariable = "KORVO_TEST_MARIA_DSN";

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
  const char* name;            // also the DBMS Name the server reports
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
  std::string Dsn() const { return ServerConnect(variable); }
};

inline void PrintTo(const Server& s, std::ostream* os) { *os << s.name; }

inline std::vector<Server> Servers() {
  return {
      {"PostgreSQL", kPostgresDsnVariable, 2, "SERIAL PRIMARY KEY", "CREATE SCHEMA %s",
       "DROP SCHEMA IF EXISTS %s CASCADE", ";ConnSettings={SET search_path TO %s}",
       "SELECT pg_backend_pid()", "SELECT pg_terminate_backend(%s)",
       "LANGUAGE SQL AS $$ INSERT INTO %s VALUES (v, label) $$",
       "Username=korvo_secret;Password=wrong-password", "password"},
      {"MariaDB", kMariaDsnVariable, 1, "INTEGER AUTO_INCREMENT PRIMARY KEY", "CREATE DATABASE %s",
       "DROP DATABASE IF EXISTS %s", ";DATABASE=%s", "SELECT CONNECTION_ID()", "KILL %s",
       "INSERT INTO %s VALUES (v, label)", "User=korvo;Password=wrong-password", "Access denied"},
  };
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
