// tests/support/server_scratch.h: the database servers the library's
// tests of CDatabase, CRecordset and CCmdset run on, each with what
// differs between them, and a scratch area of the test's own on one.
#pragma once

#include <korvo/db/CDatabase.h>
#include <korvo/diag/CDBException.h>
#include <unistd.h>

#include <ostream>
#include <string>
#include <vector>

#include "support/servers.h"

namespace korvo::test {

struct Server {
  const char* name;
  const char* variable;        // where the connect string comes from
  int dbms_type;               // CDatabase::GetDbmsType()
  const char* create_scratch;  // "%s" is the scratch name
  const char* drop_scratch;
  const char* select_scratch;        // appended to the connect string
  const char* session_id_sql;        // the session's own id
  const char* kill;                  // ends the session with the id %s
  const char* procedure_body;        // between the parameter list and the end of CREATE PROCEDURE
  const char* wrong_password;        // added to the connect string: a known user, a wrong password
  const char* wrong_password_names;  // a word of the server's refusal
  std::string Dsn() const { return ServerConnect(variable); }
};

inline void PrintTo(const Server& s, std::ostream* os) { *os << s.name; }

inline std::vector<Server> Servers() {
  return {
      {"PostgreSQL", kPostgresDsnVariable, 2, "CREATE SCHEMA %s",
       "DROP SCHEMA IF EXISTS %s CASCADE", ";ConnSettings={SET search_path TO %s}",
       "SELECT pg_backend_pid()", "SELECT pg_terminate_backend(%s)",
       "LANGUAGE SQL AS $$ INSERT INTO item VALUES (v, label) $$",
       "Username=korvo_secret;Password=wrong-password", "password"},
      {"MariaDB", kMariaDsnVariable, 1, "CREATE DATABASE %s", "DROP DATABASE IF EXISTS %s",
       ";DATABASE=%s", "SELECT CONNECTION_ID()", "KILL %s", "INSERT INTO item VALUES (v, label)",
       "User=korvo;Password=wrong-password", "Access denied"},
  };
}

// `pattern` with its "%s" replaced by `value`.
inline std::string Fill(const char* pattern, const std::string& value) {
  std::string out = pattern;
  const size_t at = out.find("%s");
  return at == std::string::npos ? out : out.replace(at, 2, value);
}

// Created on construction (named after the process: CTest runs tests side
// by side) and dropped, with all in it, on destruction. Connect() names
// the server so that unqualified table names land in the scratch area.
// Close every connection to it before the object goes: the drop waits
// for them.
class ServerScratch {
 public:
  explicit ServerScratch(const Server& server)
      : server_(server), name_("korvo_lib_" + std::to_string(getpid())) {
    admin_.OpenEx(server_.Dsn().c_str());
    admin_.ExecuteSQL(Fill(server_.drop_scratch, name_).c_str());
    admin_.ExecuteSQL(Fill(server_.create_scratch, name_).c_str());
  }
  ~ServerScratch() {
    try {
      admin_.ExecuteSQL(Fill(server_.drop_scratch, name_).c_str());
    } catch (CDBException* e) {
      e->Delete();  // left behind; the next run of this process id drops it first
    }
  }
  ServerScratch(const ServerScratch&) = delete;
  ServerScratch& operator=(const ServerScratch&) = delete;

  std::string Connect() const { return server_.Dsn() + Fill(server_.select_scratch, name_); }

 private:
  Server server_;
  std::string name_;
  CDatabase admin_;
};

}  // namespace korvo::test
