// ado/providers/sqlite/sqlite_connection.cpp: opening SQLite databases,
// transactions as BEGIN / SAVEPOINT levels, isolation, properties.
#include <korvo/ado/connect_string_internal.h>
#include <korvo/ado/excerpt_internal.h>
#include <korvo/ado/hresult_internal.h>
#include <korvo/ado/providers/sqlite/sqlite_connection.h>
#include <korvo/ado/providers/sqlite/sqlite_cursor.h>
#include <korvo/ado/providers/sqlite/sqlite_errors.h>
#include <korvo/ado/sql_escape_internal.h>
#include <strings.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <iterator>
#include <thread>

namespace korvo::ado::provider::sqlite {
namespace {

constexpr size_t kCacheSize = 16;
// Progress callbacks come every kProgressOps virtual-machine steps; the
// clock is read on each, which costs far less than the steps themselves.
constexpr int kProgressOps = 1000;

bool IsNo(const std::string* v) {
  return v != nullptr &&
         (strcasecmp(v->c_str(), "no") == 0 || strcasecmp(v->c_str(), "false") == 0 || *v == "0" ||
          strcasecmp(v->c_str(), "off") == 0);
}

}  // namespace

void SqliteDb::InstallProgressCheck() {
  sqlite3_progress_handler(db_.get(), kProgressOps, &SqliteDb::OnProgress, this);
  armed_ = true;
}

int SqliteDb::OnProgress(void* self) {
  auto* db = static_cast<SqliteDb*>(self);
  return db->deadline_ != Deadline::max() && Clock::now() >= db->deadline_ ? 1 : 0;
}

void SqliteDb::SetWaits(std::chrono::milliseconds wait,
                        std::optional<std::chrono::milliseconds> cap) {
  wait_ = wait;
  cap_ = cap;
}

Clock::time_point SqliteDb::WaitEnd(Clock::time_point since) const {
  Clock::time_point end = Clock::time_point::max();
  if (deadline_ != Deadline::max()) {
    end = deadline_;
  } else if (wait_.count() > 0) {
    end = since + wait_;
  }
  if (cap_) end = std::min(end, since + *cap_);
  return end;
}

bool SqliteDb::TakeWriteTurn() {
  if (!turns_ || turn_ != 0) return true;
  turn_ = turns_->Acquire(WaitEnd(Clock::now()));
  return turn_ != 0;
}

void SqliteDb::GiveBackWriteTurn() {
  if (turns_) turns_->Release(turn_);
  turn_ = 0;
}

int SqliteDb::OnBusy(void* self, int count) {
  // Short sleeps first: the lock is usually another writer's short
  // transaction.
  static constexpr int kSleepMs[] = {1, 1, 2, 2, 5, 5, 10, 10, 20, 25, 50};
  auto* db = static_cast<SqliteDb*>(self);
  const Clock::time_point now = Clock::now();
  if (count == 0) db->busy_since_ = now;
  const Clock::time_point end = db->WaitEnd(db->busy_since_);
  if (now >= end) return 0;
  const int step = kSleepMs[std::min<size_t>(static_cast<size_t>(count), std::size(kSleepMs) - 1)];
  std::chrono::microseconds sleep = std::chrono::milliseconds(step);
  if (end != Clock::time_point::max()) {
    sleep = std::min(sleep, std::chrono::duration_cast<std::chrono::microseconds>(end - now) +
                                std::chrono::microseconds(1));
  }
  std::this_thread::sleep_for(sleep);
  return 1;
}

void SqliteDb::NoteFailure(const ErrorRecord& cause) {
  if (!in_transaction_ || doomed_ || sqlite3_get_autocommit(db_.get()) == 0) return;
  doomed_ = true;
  doom_cause_ = Excerpt(cause.description, 200);
}

HRESULT SqliteDb::FailDoomed() {
  return diagnostics().Fail(ProviderRecord(
      kXactAborted, "40000",
      "The transaction was rolled back by the engine; roll back to continue. (It ended with: " +
          doom_cause_ + ")"));
}

StmtHandle SqliteDb::TakeCached(std::string_view sql) {
  for (auto it = cache_.begin(); it != cache_.end(); ++it) {
    if (it->first == sql) {
      StmtHandle stmt = std::move(it->second);
      cache_.erase(it);
      return stmt;
    }
  }
  return nullptr;
}

void SqliteDb::ClearCache() { cache_.clear(); }

void SqliteDb::ReturnToCache(std::string sql, StmtHandle stmt) {
  sqlite3_reset(stmt.get());
  sqlite3_clear_bindings(stmt.get());
  if (cache_.size() >= kCacheSize) cache_.erase(cache_.begin());
  cache_.emplace_back(std::move(sql), std::move(stmt));
}

HRESULT SqliteConnection::Open(const ConnectString& options) {
  Diagnostics& diag = diagnostics();
  diag.errors.clear();
  if (db_)
    return diag.Fail(ProviderRecord(kAdoObjectOpen, "08002",
                                    "Operation is not allowed when the object is open."));
  const std::string* source = options.Find("Data Source");
  if (source == nullptr) source = options.Find("DataSource");
  if (source == nullptr) source = options.Find("Database");
  if (source == nullptr) source = options.Find("Filename");
  if (source == nullptr || source->empty()) {
    return diag.Fail(ProviderRecord(
        kEFail, "08001", "The SQLite provider needs a Data Source: a file path or :memory:"));
  }
  int flags = SQLITE_OPEN_NOMUTEX | SQLITE_OPEN_URI;  // one thread per connection at a time
  const std::string* mode = options.Find("Mode");
  if (mode != nullptr && strcasecmp(mode->c_str(), "Read") == 0) {
    flags |= SQLITE_OPEN_READONLY;
  } else {
    flags |= SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE;
  }
  sqlite3* raw = nullptr;
  const int rc = sqlite3_open_v2(source->c_str(), &raw, flags, nullptr);
  DbHandle handle(raw);
  if (rc != SQLITE_OK) {
    return diag.Fail(RecordFor(raw, rc, "opening \"" + Excerpt(*source, 256) + "\""));
  }
  sqlite3_extended_result_codes(raw, 1);
  auto db = std::make_shared<SqliteDb>(std::move(handle), shared_diagnostics());
  // Waits for another connection's lock follow the connection's
  // time-outs: the connect time-out while opening, the command time-out
  // after (SetLockWaitTimeout). "Busy Timeout" (milliseconds) bounds them.
  busy_cap_.reset();
  if (const std::string* busy = options.Find("Busy Timeout")) {
    busy_cap_ = std::chrono::milliseconds(std::max(0, std::atoi(busy->c_str())));
  }
  long connect_seconds = 15;
  if (const std::string* connect = options.Find("Connect Timeout"))
    connect_seconds = std::atol(connect->c_str());
  db->SetWaits(std::chrono::seconds(std::max(0L, connect_seconds)), busy_cap_);
  sqlite3_busy_handler(raw, &SqliteDb::OnBusy, db.get());
  if (const char* file = sqlite3_db_filename(raw, "main"); file != nullptr && *file != '\0') {
    db->SetWriteTurns(WriteTurns::ForFile(file));
  }
  int setup = RegisterFunctions(raw, db.get());
  if (setup == SQLITE_OK && !IsNo(options.Find("Foreign Keys"))) {
    setup = sqlite3_exec(raw, "PRAGMA foreign_keys=ON", nullptr, nullptr, nullptr);
  }
  // The one-row table of the other product family, unless the database
  // has a DUAL of its own.
  if (setup == SQLITE_OK) {
    setup = sqlite3_exec(raw,
                         "CREATE TEMP VIEW IF NOT EXISTS DUAL AS SELECT 'X' AS DUMMY "
                         "WHERE NOT EXISTS (SELECT 1 FROM main.sqlite_master WHERE name='DUAL' "
                         "COLLATE NOCASE)",
                         nullptr, nullptr, nullptr);
    // A database with its own DUAL: drop the view so the table is seen.
    if (setup == SQLITE_OK) {
      sqlite3_stmt* probe = nullptr;
      if (sqlite3_prepare_v2(raw,
                             "SELECT 1 FROM main.sqlite_master WHERE name='DUAL' COLLATE NOCASE",
                             -1, &probe, nullptr) == SQLITE_OK) {
        StmtHandle owned(probe);
        if (sqlite3_step(probe) == SQLITE_ROW) {
          setup = sqlite3_exec(raw, "DROP VIEW temp.DUAL", nullptr, nullptr, nullptr);
        }
      }
    }
  }
  if (setup != SQLITE_OK) {
    return diag.Fail(RecordFor(raw, setup, "setting up the connection"));
  }
  data_source_ = *source;
  const std::string* name = options.Find("DBMS Name");
  dbms_name_ = name != nullptr && !name->empty() ? *name : "SQLite";
  isolation_ = 4096;
  db_ = std::move(db);
  return kSOk;
}

void SqliteConnection::Close() {
  if (db_) {
    // Statements a command still keeps hold the handle open after this;
    // the work of an unfinished transaction must not wait for them.
    diagnostics().errors.clear();
    if (sqlite3_get_autocommit(db_->get()) == 0) {
      // The engine does not report an I/O failure of a rollback: it
      // leaves the journal, which it plays back when the file is next
      // opened, so nothing of the transaction is ever committed. Any other
      // failure is reported, and the close goes on.
      const int rc = sqlite3_exec(db_->get(), "ROLLBACK", nullptr, nullptr, nullptr);
      if (rc != SQLITE_OK) diagnostics().Fail(RecordFor(db_->get(), rc, "rolling back on close"));
    }
    db_->SetInTransaction(false);
    db_->ClearCache();
  }
  db_.reset();
  data_source_.clear();
}

HRESULT SqliteConnection::Prepare(std::string_view sql, std::unique_ptr<Statement>* out) {
  Diagnostics& diag = diagnostics();
  diag.errors.clear();
  if (!db_)
    return diag.Fail(ProviderRecord(kAdoConnectionUnusable, "08003", "The connection is closed."));
  if (db_->doomed()) return db_->FailDoomed();
  // The engine reads up to a NUL; what follows it must not vanish unseen.
  if (const size_t nul = sql.find('\0'); nul != std::string_view::npos) {
    return diag.Fail(ProviderRecord(
        kDbErrorsInCommand, "42000",
        "The SQL text contains a NUL character at offset " + std::to_string(nul) + "."));
  }
  SqlRewriteOptions options;
  options.top_to_limit = true;
  options.rownum = true;
  SqlRewriteResult rewritten;
  std::string error;
  if (!RewriteSql(sql, options, &rewritten, &error)) {
    return diag.Fail(
        ProviderRecord(kDbErrorsInCommand, "42000", "The SQL text cannot be run: " + error));
  }
  auto statement = std::make_unique<SqliteStatement>(db_, std::move(rewritten.sql),
                                                     rewritten.return_value_marker);
  const HRESULT hr = statement->PrepareFirst();
  if (hr < 0) return hr;
  *out = std::move(statement);
  return kSOk;
}

HRESULT SqliteConnection::Exec(const char* sql) {
  Diagnostics& diag = diagnostics();
  diag.errors.clear();
  if (!db_)
    return diag.Fail(ProviderRecord(kAdoConnectionUnusable, "08003", "The connection is closed."));
  const int rc = sqlite3_exec(db_->get(), sql, nullptr, nullptr, nullptr);
  if (rc != SQLITE_OK) {
    ErrorRecord record = RecordFor(db_->get(), rc, sql);
    db_->NoteFailure(record);
    return diag.Fail(std::move(record));
  }
  return kSOk;
}

HRESULT SqliteConnection::BeginTransaction(int level) {
  if (!db_) return Exec("BEGIN");  // reports the closed connection
  if (db_->doomed()) return db_->FailDoomed();
  if (level <= 1) {
    // The write lock is taken at once, while the caller holds nothing else
    // (no statement lock of the host's): a writer that waited for it inside
    // a statement could be waiting for a transaction whose owner waits for
    // that statement's lock. A read-only database takes no write lock.
    const bool read_only = sqlite3_db_readonly(db_->get(), "main") == 1;
    if (!read_only && !db_->TakeWriteTurn()) {
      return diagnostics().Fail(ProviderRecord(
          kEFail, "HYT00",
          "database is locked (another connection of this program holds the write lock; the "
          "wait ended with the time-out)"));
    }
    const HRESULT hr = Exec(read_only ? "BEGIN" : "BEGIN IMMEDIATE");
    if (hr >= 0) {
      db_->SetInTransaction(true);
    } else {
      db_->GiveBackWriteTurn();
    }
    return hr;
  }
  return Exec(("SAVEPOINT korvo_level_" + std::to_string(level)).c_str());
}

HRESULT SqliteConnection::CommitTransaction(int level) {
  if (db_ && db_->doomed()) return db_->FailDoomed();
  if (level > 1) return Exec(("RELEASE SAVEPOINT korvo_level_" + std::to_string(level)).c_str());
  const HRESULT hr = Exec("COMMIT");
  // A failed COMMIT either left the transaction open (to try again or
  // roll back) or the engine ended it, which NoteFailure has doomed.
  if (hr >= 0) db_->SetInTransaction(false);
  return hr;
}

HRESULT SqliteConnection::RollbackTransaction(int level) {
  if (db_ && db_->doomed()) {
    // The engine has already undone the work of every level; each level
    // the host began still ends with its own rollback, the outer one
    // clearing the doom.
    diagnostics().errors.clear();
    if (level <= 1) db_->SetInTransaction(false);
    return kSOk;
  }
  if (level > 1) {
    const std::string name = "korvo_level_" + std::to_string(level);
    return Exec(("ROLLBACK TO SAVEPOINT " + name + "; RELEASE SAVEPOINT " + name).c_str());
  }
  const HRESULT hr = Exec("ROLLBACK");
  if (hr >= 0 || (db_ && sqlite3_get_autocommit(db_->get()) != 0)) db_->SetInTransaction(false);
  return hr;
}

void SqliteConnection::SetLockWaitTimeout(long seconds) {
  if (db_) db_->SetWaits(std::chrono::seconds(std::max(0L, seconds)), busy_cap_);
}

HRESULT SqliteConnection::SetIsolationLevel(long level) {
  isolation_ = level;
  if (!db_) return kSOk;
  // Only shared-cache readers see uncommitted data in SQLite; the pragma
  // is what the engine offers for it.
  return Exec(level == 256 || level == 16 ? "PRAGMA read_uncommitted=1"
                                          : "PRAGMA read_uncommitted=0");
}

HRESULT SqliteConnection::KeyColumns(const std::string& schema, const std::string& table,
                                     std::vector<std::string>* out) {
  out->clear();
  Diagnostics& diag = diagnostics();
  diag.errors.clear();
  if (!db_)
    return diag.Fail(ProviderRecord(kAdoConnectionUnusable, "08003", "The connection is closed."));
  sqlite3_stmt* raw = nullptr;
  int rc = sqlite3_prepare_v2(
      db_->get(), "SELECT name, pk FROM pragma_table_info(?1, ?2) ORDER BY pk", -1, &raw, nullptr);
  StmtHandle stmt(raw);
  if (rc != SQLITE_OK) return diag.Fail(RecordFor(db_->get(), rc));
  sqlite3_bind_text(raw, 1, table.c_str(), -1, SQLITE_TRANSIENT);
  if (!schema.empty()) sqlite3_bind_text(raw, 2, schema.c_str(), -1, SQLITE_TRANSIENT);
  bool any = false;
  while ((rc = sqlite3_step(raw)) == SQLITE_ROW) {
    any = true;
    if (sqlite3_column_int(raw, 1) > 0)
      out->emplace_back(reinterpret_cast<const char*>(sqlite3_column_text(raw, 0)));
  }
  if (rc != SQLITE_DONE) return diag.Fail(RecordFor(db_->get(), rc));
  if (!any) {
    return diag.Fail(ProviderRecord(kDbErrorsInCommand, "42S02", "no such table: " + table));
  }
  // Without a declared key a table is keyed by its rowid (a WITHOUT ROWID
  // table always declares one).
  if (out->empty()) out->emplace_back("rowid");
  return kSOk;
}

bool SqliteConnection::LastInsertKey(int64_t* key) const {
  if (!db_) return false;
  *key = sqlite3_last_insert_rowid(db_->get());
  return true;
}

std::string SqliteConnection::Info(InfoProperty what) const {
  switch (what) {
    case InfoProperty::kDbmsName:
      return dbms_name_.empty() ? "SQLite" : dbms_name_;
    case InfoProperty::kDbmsVersion:
      return sqlite3_libversion();
    case InfoProperty::kProviderName:
      return "Korvo.SQLite";
    case InfoProperty::kDefaultDatabase:
      return db_ ? "main" : "";
    case InfoProperty::kDataSource:
      return data_source_;
  }
  return {};
}

}  // namespace korvo::ado::provider::sqlite

namespace korvo::ado::provider {
std::unique_ptr<Connection> CreateSqliteConnection() {
  return std::make_unique<sqlite::SqliteConnection>();
}
}  // namespace korvo::ado::provider
