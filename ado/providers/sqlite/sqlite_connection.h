// ado/providers/sqlite/sqlite_connection.h: the SQLite provider's
// connection and the shared engine handle its statements hold.
#pragma once

#include <korvo/ado/providers/provider.h>
#include <korvo/ado/providers/sqlite/sqlite_write_turns.h>
#include <sqlite3.h>

#include <chrono>
#include <memory>
#include <optional>
#include <string>
#include <utility>
#include <vector>

namespace korvo::ado::provider::sqlite {

struct DbCloser {
  void operator()(sqlite3* db) const { sqlite3_close_v2(db); }
};
using DbHandle = std::unique_ptr<sqlite3, DbCloser>;

struct StmtFinalizer {
  void operator()(sqlite3_stmt* stmt) const { sqlite3_finalize(stmt); }
};
using StmtHandle = std::unique_ptr<sqlite3_stmt, StmtFinalizer>;

// The engine handle, shared by the connection and its statements so that
// a statement never outlives the handle it was prepared on. The handle is
// closed when the last owner goes.
class SqliteDb {
 public:
  SqliteDb(DbHandle db, std::shared_ptr<Diagnostics> diagnostics)
      : db_(std::move(db)), diagnostics_(std::move(diagnostics)) {}
  ~SqliteDb() { GiveBackWriteTurn(); }
  SqliteDb(const SqliteDb&) = delete;
  SqliteDb& operator=(const SqliteDb&) = delete;

  sqlite3* get() const { return db_.get(); }
  Diagnostics& diagnostics() { return *diagnostics_; }

  // Sets the deadline of the statement about to run (NoDeadline when it
  // has none or has finished): a statement running past it is
  // interrupted, and a wait for another connection's lock ends there.
  // (Inline: every step of a result row arms and disarms.)
  void Arm(Deadline deadline) {
    deadline_ = deadline;
    // Once installed the check stays: without a deadline it returns at once.
    if (deadline != Deadline::max() && !armed_) InstallProgressCheck();
  }
  // The longest wait for a lock outside a statement's deadline (zero for
  // none); `cap`, when given, bounds every wait ("Busy Timeout").
  void SetWaits(std::chrono::milliseconds wait, std::optional<std::chrono::milliseconds> cap);
  // The engine's busy handler (`self` is the SqliteDb): sleeps and
  // retries until the wait's end.
  static int OnBusy(void* self, int count);

  // The end of a wait for a lock that begins now, by the rules above.
  Clock::time_point WaitEnd(Clock::time_point now) const;

  // This process's queue for the file's write lock (null for a private
  // in-memory or temporary database); the turn is held while a
  // transaction the object model began is open.
  void SetWriteTurns(std::shared_ptr<WriteTurns> turns) { turns_ = std::move(turns); }
  // False when the turn did not come before the wait's end.
  bool TakeWriteTurn();
  void GiveBackWriteTurn();

  // A small cache of prepared single statements by text, so that a text
  // executed again (session instructions, repeated ExecuteSQL) is not
  // prepared again. Take returns null when the text is not cached.
  StmtHandle TakeCached(std::string_view sql);
  void ReturnToCache(std::string sql, StmtHandle stmt);
  void ClearCache();

  // Statements prepared on this handle (for tests of statement reuse).
  int TEST_prepare_count() const { return prepare_count_; }
  void CountPrepare() { ++prepare_count_; }

  // The transaction the object model began. The engine may roll it back
  // by itself (a full disk, an I/O error, INSERT OR ROLLBACK, a trigger's
  // RAISE(ROLLBACK)); the transaction is then doomed: every statement,
  // commit and nested begin fails until the object model rolls it back,
  // so that nothing runs in autocommit while the host believes it is
  // inside a transaction.
  void SetInTransaction(bool open) {
    in_transaction_ = open;
    doomed_ = false;
    if (!open) GiveBackWriteTurn();
  }
  bool doomed() const { return doomed_; }
  // Called after every failing engine call: learns from the engine
  // whether it ended the transaction. `cause` is the failure's record.
  void NoteFailure(const ErrorRecord& cause);
  // Fails with the doomed transaction's record (REQUIRES: doomed()).
  HRESULT FailDoomed();

 private:
  void InstallProgressCheck();
  static int OnProgress(void* self);

  DbHandle db_;
  std::shared_ptr<Diagnostics> diagnostics_;
  Deadline deadline_ = Deadline::max();
  bool armed_ = false;
  std::chrono::milliseconds wait_{30000};
  std::optional<std::chrono::milliseconds> cap_;
  Clock::time_point busy_since_;
  std::shared_ptr<WriteTurns> turns_;
  uint64_t turn_ = 0;  // the ticket held, 0 for none
  int prepare_count_ = 0;
  bool in_transaction_ = false;
  bool doomed_ = false;
  std::string doom_cause_;
  std::vector<std::pair<std::string, StmtHandle>> cache_;  // oldest first
};

class SqliteConnection final : public Connection {
 public:
  HRESULT Open(const ConnectString& options) override;
  void Close() override;
  bool IsOpen() const override { return db_ != nullptr; }
  HRESULT Prepare(std::string_view sql, std::unique_ptr<Statement>* out) override;
  HRESULT BeginTransaction(int level) override;
  HRESULT CommitTransaction(int level) override;
  HRESULT RollbackTransaction(int level) override;
  HRESULT SetIsolationLevel(long level) override;
  void SetLockWaitTimeout(long seconds) override;
  std::string Info(InfoProperty what) const override;
  bool SupportsProcedures() const override { return false; }
  HRESULT KeyColumns(const std::string& schema, const std::string& table,
                     std::vector<std::string>* out) override;
  bool LastInsertKey(int64_t* key) const override;

  const std::shared_ptr<SqliteDb>& db() const { return db_; }

 private:
  // Runs one of the provider's own statements (transaction control,
  // pragmas); a failure is recorded and checked for an engine rollback.
  HRESULT Exec(const char* sql);

  std::shared_ptr<SqliteDb> db_;
  std::string data_source_;
  std::string dbms_name_;
  long isolation_ = 4096;                              // adXactReadCommitted
  std::optional<std::chrono::milliseconds> busy_cap_;  // "Busy Timeout", when given
};

// Registers korvo_info() and the ODBC scalar functions SQLite lacks.
int RegisterFunctions(sqlite3* db, SqliteDb* owner);

}  // namespace korvo::ado::provider::sqlite
