// tests/support/server_scratch.h: a scratch area of the test's own on one
// of the servers (support/servers.h), for the library's tests of
// CDatabase, CRecordset and CCmdset.
#pragma once

#include <korvo/db/CDatabase.h>
#include <korvo/diag/CDBException.h>
#include <unistd.h>

#include <string>

#include "support/servers.h"

namespace korvo::test {

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
