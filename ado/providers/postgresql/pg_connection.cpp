// ado/providers/postgresql/pg_connection.cpp: connecting through libpq,
// the shared session (waiting with a deadline, cancelling, catalog reads),
// transactions (savepoints for nested levels), isolation, keys from the
// catalog.
#include <korvo/ado/connect_string_internal.h>
#include <korvo/ado/dialect_bridge_internal.h>
#include <korvo/ado/hresult_internal.h>
#include <korvo/ado/providers/postgresql/pg_connection.h>
#include <korvo/ado/providers/postgresql/pg_cursor.h>
#include <korvo/ado/providers/postgresql/pg_errors.h>
#include <korvo/ado/sql_escape_internal.h>
#include <korvo/ado/sqlstate_internal.h>
#include <poll.h>
#include <sys/socket.h>

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstdlib>
#include <utility>

namespace korvo::ado::provider::postgresql {
namespace {

// How long a cancelled statement may take to end before the link counts
// as lost (a server that does not answer at all).
constexpr auto kCancelGrace = std::chrono::seconds(10);
// How long a wait for WakeAfter's bytes sees nothing before it takes
// whatever comes.
constexpr long kLowWaterPatienceMs = 2;
// Dropped prepared statements are deallocated in batches of this many.
constexpr size_t kDeallocateBatch = 8;

// The session settings the type decoding relies on, and a declared
// cursor's query planned as the plain query is (for all its rows, not a
// fast start).
constexpr const char* kSessionSetup =
    "SET DateStyle TO ISO; SET bytea_output TO hex; SET extra_float_digits TO 3; "
    "SET cursor_tuple_fraction TO 1";
// The statement savepoint's two statements, prepared once per session:
// they run around every statement of a transaction.
constexpr std::pair<const char*, const char*> kGuardStatements[] = {
    {"korvo_savepoint", "SAVEPOINT korvo_statement"},
    {"korvo_release", "RELEASE SAVEPOINT korvo_statement"}};

void ReceiveNotice(void* arg, const PGresult* notice) {
  static_cast<Diagnostics*>(arg)->messages.push_back(NoticeRecord(notice));
}

// libpq's keywords for the connect string's.
struct Keyword {
  const char* libpq;
  std::vector<const char*> names;
};
const std::vector<Keyword>& Keywords() {
  static const std::vector<Keyword> keywords = {
      {"host", {"Host", "Server", "Data Source"}}, {"port", {"Port"}},
      {"dbname", {"Database", "Initial Catalog"}}, {"user", {"User ID", "UID", "User"}},
      {"password", {"Password", "PWD"}},           {"options", {"Options"}},
      {"sslmode", {"SSL Mode", "SSLMode"}},        {"application_name", {"Application Name"}},
  };
  return keywords;
}

const char* IsolationClause(long level) {
  switch (level) {
    case -1:  // adXactUnspecified: the server's default
      return "";
    case 16:   // adXactChaos
    case 256:  // adXactReadUncommitted
      return " ISOLATION LEVEL READ UNCOMMITTED";
    case 65536:  // adXactRepeatableRead
      return " ISOLATION LEVEL REPEATABLE READ";
    case 1048576:  // adXactSerializable
      return " ISOLATION LEVEL SERIALIZABLE";
    default:
      return " ISOLATION LEVEL READ COMMITTED";
  }
}

std::string Quoted(std::string_view name) {
  std::string out = "\"";
  for (const char c : name) {
    out += c;
    if (c == '"') out += '"';
  }
  return out + '"';
}

}  // namespace

PgSession::PgSession(PGconn* conn, std::shared_ptr<Diagnostics> diagnostics)
    : conn_(conn), diagnostics_(std::move(diagnostics)) {
  PQsetNoticeReceiver(conn_, ReceiveNotice, diagnostics_.get());
}

PgSession::~PgSession() { PQfinish(conn_); }

void PgSession::Claim(Stream* owner) {
  // A streaming cursor's pipeline holds its rows: it is read before any
  // other pipeline is ended.
  if (streaming_ != nullptr && streaming_ != owner) {
    Stream* other = streaming_;
    streaming_ = nullptr;
    other->Detach();
  }
  EndPipeline();
  streaming_ = owner;
  if (dropped_.size() >= kDeallocateBatch && !dead_) {
    std::string sql;
    for (const std::string& name : dropped_) sql += "DEALLOCATE " + name + ";";
    dropped_.clear();
    if (PQsendQuery(conn_, sql.c_str()) != 0) Drain(NoDeadline());
  }
}

bool PgSession::Await(Deadline deadline) {
  bool cancelled = false;
  bool patient = low_water_ > 1;
  Deadline give_up = NoDeadline();
  while (PQisBusy(conn_) != 0) {
    const auto now = Clock::now();
    long wait_ms = -1;
    const Deadline until = cancelled ? give_up : deadline;
    if (until != NoDeadline()) {
      if (now >= until) {
        if (cancelled) {
          dead_ = true;  // the server answers neither the statement nor the cancel
          SetSocketLowWater(1);
          return false;
        }
        Cancel();
        cancelled = true;
        give_up = now + kCancelGrace;
        continue;
      }
      wait_ms = std::min<long>(
          INT_MAX, std::chrono::duration_cast<std::chrono::milliseconds>(until - now).count() + 1);
    }
    SetSocketLowWater(patient ? low_water_ : 1);
    if (patient && (wait_ms < 0 || wait_ms > kLowWaterPatienceMs)) wait_ms = kLowWaterPatienceMs;
    pollfd watch{PQsocket(conn_), POLLIN, 0};
    const int ready = poll(&watch, 1, static_cast<int>(wait_ms));
    if (ready < 0 && errno != EINTR) break;  // PQgetResult reports the broken link
    if (ready == 0 && patient) {
      patient = false;  // fewer bytes are coming: the first one will do
      fell_back_ = true;
    }
    if (ready > 0 && PQconsumeInput(conn_) == 0) break;
  }
  // libpq's own waits (PQexec) must wake at the first byte.
  SetSocketLowWater(1);
  return true;
}

void PgSession::SetSocketLowWater(int bytes) {
  if (bytes == socket_low_water_) return;
  socket_low_water_ = bytes;
  setsockopt(PQsocket(conn_), SOL_SOCKET, SO_RCVLOWAT, &bytes, sizeof bytes);
}

void PgSession::Cancel() {
  if (PGcancel* cancel = PQgetCancel(conn_)) {
    char error[256];
    PQcancel(cancel, error, sizeof error);
    PQfreeCancel(cancel);
  }
}

Result PgSession::Take(Deadline deadline) {
  if (!Await(deadline)) {
    return Result(PQmakeEmptyPGresult(conn_, PGRES_FATAL_ERROR));
  }
  return Result(PQgetResult(conn_));
}

Result PgSession::Next(Deadline deadline) {
  while (guard_results_ > 0) {
    Result r = Take(deadline);
    if (!r) {
      --guard_results_;  // the end of one savepoint statement
      continue;
    }
    if (dead_ || PQresultStatus(r.get()) != PGRES_COMMAND_OK) {
      // The savepoint failed: its failure is the statement's (which the
      // pipeline then skips); EndPipeline reads the rest.
      guard_results_ = 0;
      return r;
    }
  }
  return Take(deadline);
}

Result PgSession::Drain(Deadline deadline) {
  Result failure;
  while (Result r = Next(deadline)) {
    const ExecStatusType status = PQresultStatus(r.get());
    if (!failure && (status == PGRES_FATAL_ERROR || status == PGRES_BAD_RESPONSE ||
                     status == PGRES_NONFATAL_ERROR)) {
      failure = std::move(r);
    }
    if (dead_) break;
  }
  return failure;
}

Deadline PgSession::OwnDeadline() const {
  return lock_wait > 0 ? Clock::now() + std::chrono::seconds(lock_wait) : NoDeadline();
}

HRESULT PgSession::Exec(const std::string& sql, const std::vector<std::string>& params,
                        Deadline deadline, Result* rows) {
  if (dead_) return FailDead();
  Claim(nullptr);
  std::vector<const char*> values;
  for (const std::string& p : params) values.push_back(p.c_str());
  // Without values, the simple protocol, which also runs several statements.
  const int sent = values.empty()
                       ? PQsendQuery(conn_, sql.c_str())
                       : PQsendQueryParams(conn_, sql.c_str(), static_cast<int>(values.size()),
                                           nullptr, values.data(), nullptr, nullptr, 0);
  if (sent == 0) {
    return Fail(nullptr, sql);
  }
  if (deadline == NoDeadline()) deadline = OwnDeadline();
  Result failure;
  while (Result r = Next(deadline)) {
    const ExecStatusType status = PQresultStatus(r.get());
    if (status == PGRES_TUPLES_OK) {
      if (rows != nullptr) *rows = std::move(r);
    } else if (status != PGRES_COMMAND_OK && status != PGRES_EMPTY_QUERY && !failure) {
      failure = std::move(r);
    }
    if (dead_) break;
  }
  if (failure || dead_) return Fail(failure.get(), sql);
  return kSOk;
}

HRESULT PgSession::Guard() {
  if (!guarding_) return kSOk;
  const HRESULT hr =
      Exec(statement_savepoint_ ? "RELEASE SAVEPOINT korvo_statement; SAVEPOINT korvo_statement"
                                : "SAVEPOINT korvo_statement",
           {}, NoDeadline());
  statement_savepoint_ = hr >= 0;
  return hr;
}

HRESULT PgSession::PrepareGuard() {
  for (const auto& [name, sql] : kGuardStatements) {
    Result done(PQprepare(conn_, name, sql, 0, nullptr));
    if (PQresultStatus(done.get()) != PGRES_COMMAND_OK) return Fail(done.get(), sql);
  }
  return kSOk;
}

bool PgSession::Queue(const char* name) {
  return PQsendQueryPrepared(conn_, name, 0, nullptr, nullptr, nullptr, 0) != 0;
}

HRESULT PgSession::OpenGuard(bool* queued) {
  *queued = false;
  if (!guarding_ || dead_) return kSOk;
  // The statement is never run without its savepoint.
  if (PQenterPipelineMode(conn_) == 0) return Guard();
  // A savepoint left by a streamed statement goes first, or they would nest.
  if (statement_savepoint_ && Queue("korvo_release")) ++guard_results_;
  if (Queue("korvo_savepoint")) ++guard_results_;
  statement_savepoint_ = true;
  *queued = true;
  return kSOk;
}

HRESULT PgSession::SealGuard(bool release) {
  release_queued_ = release && Queue("korvo_release");
  synced_ = PQpipelineSync(conn_) != 0;
  return synced_ ? kSOk : Fail(nullptr);
}

void PgSession::EndPipeline() {
  if (PQpipelineStatus(conn_) == PQ_PIPELINE_OFF) return;
  guard_results_ = 0;
  if (!synced_ && !dead_) synced_ = PQpipelineSync(conn_) != 0;
  // Up to the sync: the last result before it is the release's, when one
  // was queued. Two nulls in a row mean nothing is left (a broken link).
  ExecStatusType last = PGRES_FATAL_ERROR;
  bool ended = false;
  bool after_null = false;
  while (synced_ && !dead_) {
    Result r = Take(OwnDeadline());
    if (!r) {
      if (after_null) break;
      after_null = true;
      continue;
    }
    after_null = false;
    const ExecStatusType status = PQresultStatus(r.get());
    if (status == PGRES_PIPELINE_SYNC) {
      ended = true;
      break;
    }
    last = status;
  }
  if (ended && release_queued_ && last == PGRES_COMMAND_OK) statement_savepoint_ = false;
  release_queued_ = false;
  synced_ = false;
  if (PQexitPipelineMode(conn_) == 0 || PQstatus(conn_) == CONNECTION_BAD) dead_ = true;
}

HRESULT PgSession::Unguard() {
  if (!statement_savepoint_) return kSOk;
  statement_savepoint_ = false;
  return Exec("RELEASE SAVEPOINT korvo_statement", {}, NoDeadline());
}

void PgSession::Recover() {
  EndPipeline();
  if (!statement_savepoint_ || dead_ || PQtransactionStatus(conn_) != PQTRANS_INERROR) return;
  // PQexec first reads what is left of the failed query.
  Result done(PQexec(conn_, "ROLLBACK TO SAVEPOINT korvo_statement"));
  if (PQresultStatus(done.get()) != PGRES_COMMAND_OK) statement_savepoint_ = false;
}

HRESULT PgSession::Fail(const PGresult* result, std::string_view context) {
  ErrorRecord record = result != nullptr ? ResultRecord(result, conn_, context)
                                         : ConnectionRecord(conn_, "08S01", context);
  std::vector<ErrorRecord> records;
  const bool lost =
      dead_ || PQstatus(conn_) == CONNECTION_BAD || IsConnectionLostState(record.sqlstate);
  if (lost) {
    dead_ = true;
    records.push_back(ProviderRecord(kEFail, "08S01",
                                     "The connection to the server was lost (PostgreSQL " +
                                         data_source + "): " + record.description +
                                         " Close the connection and open it again."));
  }
  records.push_back(std::move(record));
  diagnostics_->errors = std::move(records);
  Recover();
  return diagnostics_->errors.front().hr;
}

HRESULT PgSession::FailDead() {
  return diagnostics_->Fail(ProviderRecord(kEFail, "08S01",
                                           "The connection to the server was lost (PostgreSQL " +
                                               data_source + "); close it and open it again."));
}

std::string PgSession::NewStatementName() { return "korvo_" + std::to_string(++statements_); }

const TableNames* PgSession::Table(uint32_t table_oid) {
  auto found = tables_.find(table_oid);
  if (found != tables_.end()) return found->second.get();
  Result rows;
  // The errors of a catalog read are not the statement's: they are put back.
  std::vector<ErrorRecord> kept = diagnostics_->errors;
  const HRESULT hr = Exec(
      "SELECT n.nspname, c.relname, a.attnum, a.attname, a.attnotnull, "
      "a.attidentity <> '' OR COALESCE(pg_get_expr(d.adbin, d.adrelid) LIKE 'nextval(%', false) "
      "FROM pg_class c JOIN pg_namespace n ON n.oid = c.relnamespace "
      "JOIN pg_attribute a ON a.attrelid = c.oid AND a.attnum > 0 AND NOT a.attisdropped "
      "LEFT JOIN pg_attrdef d ON d.adrelid = a.attrelid AND d.adnum = a.attnum "
      "WHERE c.oid = $1",
      {std::to_string(table_oid)}, NoDeadline(), &rows);
  if (hr < 0 || !rows || PQntuples(rows.get()) == 0) {
    if (!dead_) diagnostics_->errors = std::move(kept);
    return nullptr;
  }
  auto names = std::make_unique<TableNames>();
  names->schema = PQgetvalue(rows.get(), 0, 0);
  names->table = PQgetvalue(rows.get(), 0, 1);
  for (int r = 0; r < PQntuples(rows.get()); ++r) {
    const int number = std::atoi(PQgetvalue(rows.get(), r, 2));
    names->columns[number] = PQgetvalue(rows.get(), r, 3);
    names->not_null[number] = PQgetvalue(rows.get(), r, 4)[0] == 't';
    names->generated[number] = PQgetvalue(rows.get(), r, 5)[0] == 't';
  }
  return (tables_[table_oid] = std::move(names)).get();
}

HRESULT PgConnection::Open(const ConnectString& options) {
  Diagnostics& diag = diagnostics();
  diag.errors.clear();
  if (session_) {
    return diag.Fail(ProviderRecord(kAdoObjectOpen, "08002",
                                    "Operation is not allowed when the object is open."));
  }
  std::vector<std::pair<std::string, std::string>> pairs;
  if (const std::string* uri = options.Find("URI")) pairs.emplace_back("dbname", *uri);
  for (const Keyword& k : Keywords()) {
    for (const char* name : k.names) {
      if (const std::string* v = options.Find(name)) {
        pairs.emplace_back(k.libpq, *v);
        break;
      }
    }
  }
  // The object model's ConnectionTimeout arrives as "Connect Timeout"
  // (libpq waits at least 2 seconds; 0 is no limit).
  const std::string* timeout = options.Find("Connect Timeout");
  const long seconds = timeout != nullptr ? std::atol(timeout->c_str()) : 15;
  pairs.emplace_back("connect_timeout", std::to_string(std::max(0L, seconds)));
  // Text arrives and leaves as UTF-8 whatever the server's encoding.
  pairs.emplace_back("client_encoding", "UTF8");
  std::vector<const char*> keys, values;
  for (const auto& [k, v] : pairs) {
    keys.push_back(k.c_str());
    values.push_back(v.c_str());
  }
  keys.push_back(nullptr);
  values.push_back(nullptr);
  PGconn* conn = PQconnectdbParams(keys.data(), values.data(), 1);
  if (conn == nullptr) {
    return diag.Fail(
        ProviderRecord(kEOutOfMemory, "HY001", "libpq has no memory for a connection."));
  }
  std::string where =
      std::string(PQhost(conn) ? PQhost(conn) : "") + ":" + (PQport(conn) ? PQport(conn) : "");
  if (PQstatus(conn) != CONNECTION_OK) {
    diag.Fail(ConnectFailureRecord(conn, "connecting to PostgreSQL at " + where));
    PQfinish(conn);
    return diag.errors.front().hr;
  }
  auto session = std::make_shared<PgSession>(conn, shared_diagnostics());
  session->data_source = where;
  session->database = PQdb(conn) ? PQdb(conn) : "";
  const char* version = PQparameterStatus(conn, "server_version");
  session->dbms_version = version != nullptr ? version : "";
  session->dbms_version = session->dbms_version.substr(0, session->dbms_version.find(' '));
  session->lock_wait = lock_wait_;
  HRESULT hr = session->Exec(kSessionSetup, {}, NoDeadline());
  if (hr >= 0) hr = session->PrepareGuard();
  if (hr < 0) return hr;
  session_ = std::move(session);
  in_transaction_ = false;
  return kSOk;
}

void PgConnection::Close() {
  // What the caller reads after Close is this close's failure only, not
  // the last statement's.
  diagnostics().errors.clear();
  // Statements still alive keep the session until they go; the work of an
  // unfinished transaction must not wait for them.
  if (session_ && in_transaction_ && !session_->dead())
    session_->Exec("ROLLBACK", {}, NoDeadline());
  in_transaction_ = false;
  if (session_) session_->Guarding(false);
  session_.reset();
}

HRESULT PgConnection::Usable() {
  Diagnostics& diag = diagnostics();
  diag.errors.clear();
  if (!session_)
    return diag.Fail(ProviderRecord(kAdoConnectionUnusable, "08003", "The connection is closed."));
  if (session_->dead()) return session_->FailDead();
  return kSOk;
}

HRESULT PgConnection::Prepare(std::string_view sql, std::unique_ptr<Statement>* out) {
  HRESULT hr = Usable();
  if (hr < 0) return hr;
  // The row-limit and scalar forms the library builds, and ODBC's escapes
  // ({d '...'}, {fn ...}, {call ...}), in PostgreSQL's SQL.
  SqlRewriteResult rewritten;
  rewritten.sql = BridgeLibrarySql(sql, "PostgreSQL");
  if (rewritten.sql.find('{') != std::string::npos) {
    std::string error;
    const std::string bridged = std::move(rewritten.sql);
    if (!RewriteSql(bridged, SqlRewriteOptions{}, &rewritten, &error)) {
      return diagnostics().Fail(ProviderRecord(kDbErrorsInCommand, "42000", error));
    }
  }
  auto statement = std::make_unique<PgStatement>(session_, std::move(rewritten.sql),
                                                 rewritten.return_value_marker);
  hr = session_->Guard();
  if (hr >= 0) hr = statement->PrepareFirst();
  if (hr < 0) return hr;
  *out = std::move(statement);
  return kSOk;
}

HRESULT PgConnection::Exec(const std::string& sql) { return session_->Exec(sql, {}, NoDeadline()); }

HRESULT PgConnection::BeginTransaction(int level) {
  HRESULT hr = Usable();
  if (hr < 0) return hr;
  if (level > 1) {
    hr = session_->Unguard();
    return hr >= 0 ? Exec("SAVEPOINT korvo_level_" + std::to_string(level)) : hr;
  }
  hr = Exec(std::string("BEGIN") + IsolationClause(isolation_));
  if (hr >= 0) in_transaction_ = true;
  session_->Guarding(in_transaction_);
  return hr;
}

HRESULT PgConnection::CommitTransaction(int level) {
  HRESULT hr = Usable();
  if (hr < 0) return hr;
  if (level > 1) {
    hr = session_->Unguard();
    return hr >= 0 ? Exec("RELEASE SAVEPOINT korvo_level_" + std::to_string(level)) : hr;
  }
  if (!in_transaction_) {
    return diagnostics().Fail(
        ProviderRecord(kXactNoTransaction, "25000", "No transaction is in progress."));
  }
  hr = Exec("COMMIT");
  if (hr >= 0 || session_->dead()) in_transaction_ = false;
  session_->Guarding(in_transaction_);
  return hr;
}

HRESULT PgConnection::RollbackTransaction(int level) {
  HRESULT hr = Usable();
  if (hr < 0) return hr;
  if (level > 1) {
    const std::string name = "korvo_level_" + std::to_string(level);
    hr = session_->Unguard();
    if (hr >= 0) hr = Exec("ROLLBACK TO SAVEPOINT " + name);
    return hr >= 0 ? Exec("RELEASE SAVEPOINT " + name) : hr;
  }
  if (!in_transaction_) {
    return diagnostics().Fail(
        ProviderRecord(kXactNoTransaction, "25000", "No transaction is in progress."));
  }
  hr = Exec("ROLLBACK");
  if (hr >= 0 || session_->dead()) in_transaction_ = false;
  session_->Guarding(in_transaction_);
  return hr;
}

HRESULT PgConnection::SetIsolationLevel(long level) {
  // Applies to the next BEGIN.
  isolation_ = level;
  diagnostics().errors.clear();
  return kSOk;
}

void PgConnection::SetLockWaitTimeout(long seconds) {
  lock_wait_ = seconds;
  if (session_) session_->lock_wait = seconds;
}

std::string PgConnection::Info(InfoProperty what) const {
  switch (what) {
    case InfoProperty::kDbmsName:
      return session_ ? "PostgreSQL" : "";
    case InfoProperty::kDbmsVersion:
      return session_ ? session_->dbms_version : "";
    case InfoProperty::kProviderName:
      return "PostgreSQL";
    case InfoProperty::kDefaultDatabase:
      return session_ ? session_->database : "";
    case InfoProperty::kDataSource:
      return session_ ? session_->data_source : "";
  }
  return {};
}

std::string PgConnection::ProcedureCall(std::string_view name, int parameters) const {
  std::string marks;
  for (int i = 0; i < parameters; ++i) marks += i ? ",?" : "?";
  return "CALL " + std::string(name) + "(" + marks + ")";
}

HRESULT PgConnection::KeyColumns(const std::string& schema, const std::string& table,
                                 std::vector<std::string>* out) {
  out->clear();
  HRESULT hr = Usable();
  if (hr < 0) return hr;
  const std::string name = schema.empty() ? Quoted(table) : Quoted(schema) + "." + Quoted(table);
  Result rows;
  hr = session_->Exec(
      "SELECT r.oid, a.attname FROM (SELECT to_regclass($1)::oid AS oid) r "
      "LEFT JOIN pg_index i ON i.indrelid = r.oid AND i.indisprimary "
      "LEFT JOIN pg_attribute a ON a.attrelid = i.indrelid AND a.attnum = ANY(i.indkey) "
      "ORDER BY array_position(i.indkey::int2[], a.attnum)",
      {name}, NoDeadline(), &rows);
  if (hr < 0) return hr;
  if (!rows || PQntuples(rows.get()) == 0 || PQgetisnull(rows.get(), 0, 0) != 0) {
    return diagnostics().Fail(
        ProviderRecord(kDbErrorsInCommand, "42S02", "no such table: " + table));
  }
  for (int r = 0; r < PQntuples(rows.get()); ++r) {
    if (PQgetisnull(rows.get(), r, 1) == 0) out->push_back(PQgetvalue(rows.get(), r, 1));
  }
  return kSOk;
}

bool PgConnection::LastInsertKey(int64_t* key) const {
  if (!session_ || session_->dead()) return false;
  Result rows;
  if (session_->Exec("SELECT lastval()", {}, NoDeadline(), &rows) < 0 || !rows ||
      PQntuples(rows.get()) != 1) {
    return false;
  }
  *key = std::strtoll(PQgetvalue(rows.get(), 0, 0), nullptr, 10);
  return true;
}

}  // namespace korvo::ado::provider::postgresql

namespace korvo::ado::provider {
std::unique_ptr<Connection> CreatePostgresConnection() {
  return std::make_unique<postgresql::PgConnection>();
}
}  // namespace korvo::ado::provider
