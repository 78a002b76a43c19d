// ado/providers/odbc/odbc_connection.h: the ODBC provider's connection
// (over unixODBC) and the shared driver-manager handles its statements
// hold.
#pragma once

#include <korvo/ado/providers/odbc/odbc_canceller.h>
#include <korvo/ado/providers/odbc/odbc_sql.h>
#include <korvo/ado/providers/provider.h>

#include <memory>
#include <string>
#include <vector>

namespace korvo::ado::provider::odbc {

// An ODBC handle of one type, freed with SQLFreeHandle.
template <SQLSMALLINT Type>
class Handle {
 public:
  Handle() = default;
  Handle(const Handle&) = delete;
  Handle& operator=(const Handle&) = delete;
  Handle(Handle&& other) noexcept : h_(other.release()) {}
  Handle& operator=(Handle&& other) noexcept {
    reset(other.release());
    return *this;
  }
  ~Handle() { reset(); }

  SQLHANDLE get() const { return h_; }
  SQLHANDLE* out() {
    reset();
    return &h_;
  }
  SQLHANDLE release() {
    SQLHANDLE h = h_;
    h_ = SQL_NULL_HANDLE;
    return h;
  }
  void reset(SQLHANDLE h = SQL_NULL_HANDLE) {
    if (h_ != SQL_NULL_HANDLE) SQLFreeHandle(Type, h_);
    h_ = h;
  }
  explicit operator bool() const { return h_ != SQL_NULL_HANDLE; }

 private:
  SQLHANDLE h_ = SQL_NULL_HANDLE;
};
using EnvHandle = Handle<SQL_HANDLE_ENV>;
using StmtHandle = Handle<SQL_HANDLE_STMT>;

// The connected driver handle, shared by the connection and its
// statements so that a statement never outlives the connection it was
// allocated on; disconnected and freed when the last owner goes.
// Thread-safety: one thread at a time, as the connection.
class OdbcDb {
 public:
  OdbcDb(EnvHandle env, SQLHDBC dbc, std::shared_ptr<Diagnostics> diagnostics);
  ~OdbcDb();
  OdbcDb(const OdbcDb&) = delete;
  OdbcDb& operator=(const OdbcDb&) = delete;

  SQLHDBC dbc() const { return dbc_; }
  Diagnostics& diagnostics() { return *diagnostics_; }

  // Records the diagnostics of a failed call on `handle` and returns the
  // failure's HRESULT; learns from them (and the driver) whether the link
  // to the server is gone.
  HRESULT Fail(SQLSMALLINT type, SQLHANDLE handle, SQLRETURN rc, std::string_view context = {});
  // Queues the messages of a call that succeeded with information.
  void Note(SQLSMALLINT type, SQLHANDLE handle, SQLRETURN rc);
  // The server is unreachable: every later call fails until reopened.
  bool dead() const { return dead_; }
  HRESULT FailDead();
  // The product and data source, for messages.
  std::string Describe() const;

  // Product facts read once after connecting.
  std::string dbms_name;
  std::string dbms_version;
  std::string database;
  std::string data_source;
  char quote = '"';
  // Set for a driver that does not enforce the statement time-out itself.
  std::unique_ptr<DeadlineCanceller> canceller;

 private:
  EnvHandle env_;
  SQLHDBC dbc_;
  std::shared_ptr<Diagnostics> diagnostics_;
  bool dead_ = false;
};

class OdbcConnection final : public Connection {
 public:
  HRESULT Open(const ConnectString& options) override;
  void Close() override;
  bool IsOpen() const override { return db_ != nullptr && !db_->dead(); }
  HRESULT Prepare(std::string_view sql, std::unique_ptr<Statement>* out) override;
  HRESULT BeginTransaction(int level) override;
  HRESULT CommitTransaction(int level) override;
  HRESULT RollbackTransaction(int level) override;
  HRESULT SetIsolationLevel(long level) override;
  void SetLockWaitTimeout(long seconds) override { lock_wait_ = seconds; }
  std::string Info(InfoProperty what) const override;
  bool SupportsProcedures() const override { return true; }
  std::string ProcedureCall(std::string_view name, int parameters) const override;
  std::string QuoteIdentifier(std::string_view name) const override;
  HRESULT KeyColumns(const std::string& schema, const std::string& table,
                     std::vector<std::string>* out) override;
  bool LastInsertKey(int64_t* key) const override;

 private:
  // Runs one of the provider's own statements (savepoints, lastval).
  HRESULT Exec(const std::string& sql);
  HRESULT SetAutocommit(bool on);
  HRESULT ApplyIsolation();
  HRESULT Usable();

  std::shared_ptr<OdbcDb> db_;
  long isolation_ = 4096;  // adXactReadCommitted
  long lock_wait_ = 30;    // seconds the provider's own statements may wait
  bool in_transaction_ = false;
};

}  // namespace korvo::ado::provider::odbc
