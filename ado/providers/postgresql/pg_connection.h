// ado/providers/postgresql/pg_connection.h: the native PostgreSQL
// provider's connection (over libpq) and the session its statements share.
#pragma once

#include <korvo/ado/providers/provider.h>
#include <libpq-fe.h>

#include <algorithm>
#include <map>
#include <memory>
#include <string>
#include <utility>
#include <vector>

namespace korvo::ado::provider::postgresql {

struct ResultDeleter {
  void operator()(PGresult* result) const { PQclear(result); }
};
using Result = std::unique_ptr<PGresult, ResultDeleter>;

// A statement whose rows are still arriving on the session: the one
// query libpq can have running at a time.
class Stream {
 public:
  virtual ~Stream() = default;
  // Reads the rest of the rows into memory, so that the session is free
  // for another query while the host still reads them.
  virtual void Detach() = 0;
};

// A base table's names, for the columns of a result.
struct TableNames {
  std::string schema;
  std::string table;
  std::map<int, std::string> columns;  // attribute number -> name
  std::map<int, bool> not_null;
  std::map<int, bool> generated;  // filled by a sequence or as identity
};

// The libpq connection, shared by the connection and its statements so
// that a statement never outlives it; closed when the last owner goes.
// Thread-safety: one thread at a time, as the connection.
class PgSession {
 public:
  PgSession(PGconn* conn, std::shared_ptr<Diagnostics> diagnostics);
  ~PgSession();
  PgSession(const PgSession&) = delete;
  PgSession& operator=(const PgSession&) = delete;

  PGconn* conn() const { return conn_; }
  Diagnostics& diagnostics() { return *diagnostics_; }

  // Takes the session for a new query by `owner` (null for the session's
  // own): a statement still streaming reads the rest of its rows first;
  // statements dropped since the last claim are deallocated.
  void Claim(Stream* owner);
  // `owner` has read its last row (or gone).
  void Release(const Stream* owner) {
    if (streaming_ == owner) streaming_ = nullptr;
  }

  // Waits until libpq can hand over a result without blocking. At
  // `deadline` the running statement is cancelled (the server then ends
  // it with 57014). False when the link broke (the session is then dead).
  bool Await(Deadline deadline);
  // While a cursor's queued FETCHes keep rows coming, the waits above may
  // wake once `bytes` have arrived (SO_RCVLOWAT) rather than at every
  // packet the server sends; a wait that sees nothing for a moment
  // (kLowWaterPatienceMs) takes whatever comes (the rows ended short of
  // `bytes`). 1 or less: wake at the first byte (the default). Returns
  // whether a wait since the last call had to fall back so.
  bool WakeAfter(long bytes) {
    low_water_ = static_cast<int>(std::max(1L, bytes));
    return std::exchange(fell_back_, false);
  }
  // The next result of the running query, waiting as Await; null after
  // the last.
  Result Next(Deadline deadline);
  // Reads the results of the running query to the end; the first failure
  // among them, if any.
  Result Drain(Deadline deadline);
  // Asks the server to end the running statement (its results still have
  // to be read).
  void Cancel();

  // Runs one of the provider's own statements (transactions, catalog
  // reads) with text parameters; *rows (when given) gets its result.
  HRESULT Exec(const std::string& sql, const std::vector<std::string>& params, Deadline deadline,
               Result* rows = nullptr);

  // Inside a host's transaction every statement runs after a savepoint of
  // its own, so that its failure undoes only itself (the server would
  // otherwise refuse every statement up to the rollback) as over ODBC.
  // Guarding(true) after BEGIN, false once the transaction ends.
  void Guarding(bool on) {
    guarding_ = on;
    if (!on) statement_savepoint_ = false;
  }
  // Moves the statement savepoint to here, before a host's statement.
  HRESULT Guard();
  // The same without a round trip of its own: inside a transaction, queues
  // the savepoint in pipeline mode ahead of the one query the caller sends
  // next, and SealGuard (after that send) queues the release when
  // `release` and the sync that sends the lot. Next skips the savepoint's
  // results; EndPipeline reads the release's and leaves pipeline mode.
  // Only for a query whose results are read at once (not streamed): the
  // pipeline must end before another query. *queued is false when no
  // pipeline was opened (not guarding, or libpq refused one: the savepoint
  // is then set by a round trip of its own, whose failure is returned).
  HRESULT OpenGuard(bool* queued);
  // Prepares the savepoint statements OpenGuard queues (once, on opening).
  HRESULT PrepareGuard();
  HRESULT SealGuard(bool release);
  // Reads what is left of an open pipeline and leaves pipeline mode (also
  // done before any other query and before a failure is recovered).
  void EndPipeline();
  // Releases the statement savepoint, before the transaction's own levels
  // change (a release would take the savepoints set after it along).
  HRESULT Unguard();
  // After a failure: back to the statement savepoint, when the failure
  // left the transaction refusing statements.
  void Recover();

  // Records the failure in `result` (null: libpq's message on the
  // connection) and returns its HRESULT; learns from it whether the link
  // is gone.
  HRESULT Fail(const PGresult* result, std::string_view context = {});
  bool dead() const { return dead_; }
  HRESULT FailDead();

  // A name for a new prepared statement; a dropped statement's name is
  // handed back for deallocation.
  std::string NewStatementName();
  void DropStatement(std::string name) { dropped_.push_back(std::move(name)); }

  // The names of base table `table_oid` (read once per session); null
  // when the catalog cannot say.
  const TableNames* Table(uint32_t table_oid);

  std::string dbms_version;
  std::string database;
  std::string data_source;  // host and port, for messages
  // Seconds the provider's own statements may wait for a lock; 0 none.
  long lock_wait = 30;

 private:
  Deadline OwnDeadline() const;
  // PQgetResult after Await.
  Result Take(Deadline deadline);
  // Queues prepared statement `name` (without values) in the pipeline.
  bool Queue(const char* name);

  // Sets the socket's low-water mark to `bytes` when it is not that already.
  void SetSocketLowWater(int bytes);

  PGconn* conn_;
  std::shared_ptr<Diagnostics> diagnostics_;
  int low_water_ = 1;         // what the waits ask for (WakeAfter)
  bool fell_back_ = false;    // a wait did not see low_water_ bytes in time
  int socket_low_water_ = 1;  // what the socket is set to
  bool dead_ = false;
  bool guarding_ = false;
  bool statement_savepoint_ = false;
  int guard_results_ = 0;        // queued savepoint statements whose results are unread
  bool release_queued_ = false;  // the open pipeline releases the savepoint
  bool synced_ = false;          // the open pipeline's sync is sent
  Stream* streaming_ = nullptr;
  uint64_t statements_ = 0;
  std::vector<std::string> dropped_;
  std::map<uint32_t, std::unique_ptr<TableNames>> tables_;
};

class PgConnection final : public Connection {
 public:
  HRESULT Open(const ConnectString& options) override;
  void Close() override;
  bool IsOpen() const override { return session_ != nullptr && !session_->dead(); }
  HRESULT Prepare(std::string_view sql, std::unique_ptr<Statement>* out) override;
  HRESULT BeginTransaction(int level) override;
  HRESULT CommitTransaction(int level) override;
  HRESULT RollbackTransaction(int level) override;
  HRESULT SetIsolationLevel(long level) override;
  void SetLockWaitTimeout(long seconds) override;
  std::string Info(InfoProperty what) const override;
  bool SupportsProcedures() const override { return true; }
  std::string ProcedureCall(std::string_view name, int parameters) const override;
  HRESULT KeyColumns(const std::string& schema, const std::string& table,
                     std::vector<std::string>* out) override;
  bool LastInsertKey(int64_t* key) const override;

 private:
  HRESULT Usable();
  HRESULT Exec(const std::string& sql);

  std::shared_ptr<PgSession> session_;
  long isolation_ = 4096;  // adXactReadCommitted
  long lock_wait_ = 30;
  bool in_transaction_ = false;
};

}  // namespace korvo::ado::provider::postgresql
