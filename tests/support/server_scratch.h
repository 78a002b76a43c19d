// tests/support/pg_scratch.h: a PostgreSQL schema of the test's own, for
// the library's tests of CRecordset and CCmdset against a server.
#pragma once

#include <korvo/db/CDatabase.h>
#include <korvo/diag/CDBException.h>
#include <unistd.h>

#include <string>

#include "support/servers.h"

namespace korvo::test {

// Created on construction (named after the process: CTest runs tests side
// by side) and dropped, with all in it, on destruction. Connect() names
// the server so that unqualified table names land in the schema. Close
// every connection to it before the object goes: the drop waits for them.
class PgScratch {
 public:
  explicit PgScratch(std::string dsn)
      : dsn_(std::move(dsn)), schema_("korvo_lib_" + std::to_string(getpid())) {
    admin_.OpenEx(dsn_.c_str());
    admin_.ExecuteSQL(("DROP SCHEMA IF EXISTS " + schema_ + " CASCADE").c_str());
    admin_.ExecuteSQL(("CREATE SCHEMA " + schema_).c_str());
  }
  ~PgScratch() {
    try {
      admin_.ExecuteSQL(("DROP SCHEMA IF EXISTS " + schema_ + " CASCADE").c_str());
    } catch (CDBException* e) {
      e->Delete();  // left behind; the next run of this process id drops it first
    }
  }
  PgScratch(const PgScratch&) = delete;
  PgScratch& operator=(const PgScratch&) = delete;

  std::string Connect() const {
    return dsn_ + ";ConnSettings={SET search_path TO " + schema_ + "}";
  }

 private:
  std::string dsn_;
  std::string schema_;
  CDatabase admin_;
};

}  // namespace korvo::test
