// ado/providers/odbc/odbc_connection.cpp: connecting through unixODBC,
// product facts from SQLGetInfo, transactions (autocommit off, savepoints
// for nested levels), isolation, keys from SQLPrimaryKeys.
#include <korvo/ado/connect_string_internal.h>
#include <korvo/ado/dialect_bridge_internal.h>
#include <korvo/ado/hresult_internal.h>
#include <korvo/ado/providers/odbc/odbc_connection.h>
#include <korvo/ado/providers/odbc/odbc_cursor.h>
#include <korvo/ado/providers/odbc/odbc_errors.h>
#include <strings.h>

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <cstring>

namespace korvo::ado::provider::odbc {
namespace {

std::string GetInfoText(SQLHDBC dbc, SQLUSMALLINT what) {
  char buffer[256] = {0};
  SQLSMALLINT length = 0;
  if (!SQL_SUCCEEDED(SQLGetInfo(dbc, what, buffer, sizeof buffer, &length))) return {};
  return buffer;
}

bool IsPostgres(const OdbcDb& db) {
  return strncasecmp(db.dbms_name.c_str(), "PostgreSQL", 10) == 0;
}
bool IsMysqlFamily(const OdbcDb& db) {
  return strcasecmp(db.dbms_name.c_str(), "MariaDB") == 0 ||
         strcasecmp(db.dbms_name.c_str(), "MySQL") == 0;
}

// Names the data source of a connect string for messages, without the
// password.
std::string Describe(const ConnectString& cs) {
  for (const char* key : {"DSN", "FILEDSN", "DRIVER"}) {
    if (const std::string* v = cs.Find(key)) return std::string(key) + "=" + *v;
  }
  return "no data source";
}

bool NamesDataSource(const ConnectString& cs) {
  return cs.Has("DSN") || cs.Has("FILEDSN") || cs.Has("DRIVER");
}

// The text the driver manager gets: ADO's names for the user and password
// become ODBC's, the provider choice goes.
std::string DriverText(ConnectString cs) {
  cs.Remove("Provider");
  cs.Remove("Connect Timeout");  // given to the driver manager as the login time-out
  if (const std::string* user = cs.Find("User ID")) {
    if (!cs.Has("UID")) cs.Set("UID", *user);
    cs.Remove("User ID");
  }
  if (const std::string* password = cs.Find("Password")) {
    if (!cs.Has("PWD")) cs.Set("PWD", *password);
    cs.Remove("Password");
  }
  return cs.ToString();
}

SQLULEN IsolationAttribute(long level) {
  switch (level) {
    case 16:   // adXactChaos
    case 256:  // adXactReadUncommitted
      return SQL_TXN_READ_UNCOMMITTED;
    case 65536:  // adXactRepeatableRead
      return SQL_TXN_REPEATABLE_READ;
    case 1048576:  // adXactSerializable
      return SQL_TXN_SERIALIZABLE;
    default:
      return SQL_TXN_READ_COMMITTED;
  }
}

}  // namespace

OdbcDb::OdbcDb(EnvHandle env, SQLHDBC dbc, std::shared_ptr<Diagnostics> diagnostics)
    : env_(std::move(env)), dbc_(dbc), diagnostics_(std::move(diagnostics)) {}

OdbcDb::~OdbcDb() {
  // An open transaction ends with the session; a dead link has nothing
  // left to end.
  if (!dead_) SQLEndTran(SQL_HANDLE_DBC, dbc_, SQL_ROLLBACK);
  SQLDisconnect(dbc_);
  SQLFreeHandle(SQL_HANDLE_DBC, dbc_);
}

HRESULT OdbcDb::Fail(SQLSMALLINT type, SQLHANDLE handle, SQLRETURN rc, std::string_view context) {
  std::vector<ErrorRecord> records = RecordsFor(type, handle, rc, context);
  bool lost = false;
  for (const ErrorRecord& r : records) lost = lost || IsConnectionLost(r);
  if (!lost) {
    SQLUINTEGER state = SQL_CD_FALSE;
    if (SQL_SUCCEEDED(SQLGetConnectAttr(dbc_, SQL_ATTR_CONNECTION_DEAD, &state, 0, nullptr))) {
      lost = state == SQL_CD_TRUE;
    }
  }
  if (lost && !dead_) {
    dead_ = true;
    records.insert(records.begin(),
                   ProviderRecord(kEFail, "08S01",
                                  "The connection to the server was lost (" + Describe() +
                                      "): " + records.front().description +
                                      " Close the connection and open it again."));
  }
  diagnostics_->errors = std::move(records);
  return diagnostics_->errors.front().hr;
}

std::string OdbcDb::Describe() const {
  return dbms_name.empty() ? data_source : dbms_name + " " + data_source;
}

void OdbcDb::Note(SQLSMALLINT type, SQLHANDLE handle, SQLRETURN rc) {
  if (rc != SQL_SUCCESS_WITH_INFO) return;
  for (ErrorRecord& r : RecordsFor(type, handle, rc))
    diagnostics_->messages.push_back(std::move(r));
}

HRESULT OdbcDb::FailDead() {
  return diagnostics_->Fail(ProviderRecord(
      kEFail, "08S01",
      "The connection to the server was lost (" + Describe() + "); close it and open it again."));
}

HRESULT OdbcConnection::Open(const ConnectString& options) {
  Diagnostics& diag = diagnostics();
  diag.errors.clear();
  if (db_) {
    return diag.Fail(ProviderRecord(kAdoObjectOpen, "08002",
                                    "Operation is not allowed when the object is open."));
  }
  const ConnectString& cs = options;
  if (!NamesDataSource(cs)) {
    return diag.Fail(
        ProviderRecord(kEFail, "IM002",
                       "The ODBC connect string names no data source (DSN=, FILEDSN= or "
                       "DRIVER=); set the \"Prompt\" property to ask for one."));
  }
  EnvHandle env;
  SQLRETURN rc = SQLAllocHandle(SQL_HANDLE_ENV, SQL_NULL_HANDLE, env.out());
  if (!SQL_SUCCEEDED(rc)) {
    return diag.Fail(ProviderRecord(kEOutOfMemory, "HY001",
                                    "The ODBC driver manager has no environment to give."));
  }
  SQLSetEnvAttr(env.get(), SQL_ATTR_ODBC_VERSION, reinterpret_cast<SQLPOINTER>(SQL_OV_ODBC3), 0);
  SQLHDBC raw = SQL_NULL_HDBC;
  rc = SQLAllocHandle(SQL_HANDLE_DBC, env.get(), &raw);
  if (!SQL_SUCCEEDED(rc)) {
    diag.errors = RecordsFor(SQL_HANDLE_ENV, env.get(), rc, "allocating a connection");
    return diag.errors.front().hr;
  }
  Handle<SQL_HANDLE_DBC> dbc;
  dbc.reset(raw);
  // The object model's ConnectionTimeout arrives as "Connect Timeout".
  const std::string* login = options.Find("Connect Timeout");
  const long login_seconds = login != nullptr ? std::atol(login->c_str()) : 15;
  if (login_seconds > 0) {
    SQLSetConnectAttr(raw, SQL_ATTR_LOGIN_TIMEOUT,
                      reinterpret_cast<SQLPOINTER>(static_cast<uintptr_t>(login_seconds)), 0);
  }
  const std::string text = DriverText(cs);
  rc = SQLDriverConnect(raw, nullptr, reinterpret_cast<SQLCHAR*>(const_cast<char*>(text.c_str())),
                        SQL_NTS, nullptr, 0, nullptr, SQL_DRIVER_NOPROMPT);
  if (!SQL_SUCCEEDED(rc)) {
    diag.errors = RecordsFor(SQL_HANDLE_DBC, raw, rc, "connecting to " + Describe(cs));
    return diag.errors.front().hr;
  }
  auto db = std::make_shared<OdbcDb>(std::move(env), dbc.release(), shared_diagnostics());
  db->Note(SQL_HANDLE_DBC, db->dbc(), rc);
  db->dbms_name = GetInfoText(db->dbc(), SQL_DBMS_NAME);
  db->dbms_version = GetInfoText(db->dbc(), SQL_DBMS_VER);
  db->database = GetInfoText(db->dbc(), SQL_DATABASE_NAME);
  db->data_source = Describe(cs);
  const std::string quote = GetInfoText(db->dbc(), SQL_IDENTIFIER_QUOTE_CHAR);
  if (quote.size() == 1 && quote[0] != ' ') db->quote = quote[0];
  // MariaDB Connector/ODBC takes SQL_ATTR_QUERY_TIMEOUT and ignores it.
  if (IsMysqlFamily(*db)) db->canceller = std::make_unique<DeadlineCanceller>();
  db_ = std::move(db);
  in_transaction_ = false;
  const HRESULT hr = ApplyIsolation();
  if (hr < 0) {
    db_.reset();
    return hr;
  }
  return kSOk;
}

void OdbcConnection::Close() {
  // What the caller reads after Close is this close's failure only, not
  // the last statement's.
  diagnostics().errors.clear();
  // Statements still alive keep the session until they go; the work of an
  // unfinished transaction must not wait for them.
  if (db_ && in_transaction_ && !db_->dead()) {
    const SQLRETURN rc = SQLEndTran(SQL_HANDLE_DBC, db_->dbc(), SQL_ROLLBACK);
    if (SQL_SUCCEEDED(rc)) {
      SetAutocommit(true);
    } else {
      db_->Fail(SQL_HANDLE_DBC, db_->dbc(), rc, "rolling back on close");
    }
  }
  in_transaction_ = false;
  db_.reset();
}

HRESULT OdbcConnection::Usable() {
  Diagnostics& diag = diagnostics();
  diag.errors.clear();
  if (!db_)
    return diag.Fail(ProviderRecord(kAdoConnectionUnusable, "08003", "The connection is closed."));
  if (db_->dead()) return db_->FailDead();
  return kSOk;
}

HRESULT OdbcConnection::Prepare(std::string_view sql, std::unique_ptr<Statement>* out) {
  HRESULT hr = Usable();
  if (hr < 0) return hr;
  // The row-limit and scalar forms the library builds, in this server's SQL.
  auto statement = std::make_unique<OdbcStatement>(db_, BridgeLibrarySql(sql, db_->dbms_name));
  hr = statement->PrepareFirst();
  if (hr < 0) return hr;
  *out = std::move(statement);
  return kSOk;
}

HRESULT OdbcConnection::Exec(const std::string& sql) {
  StmtHandle stmt;
  SQLRETURN rc = SQLAllocHandle(SQL_HANDLE_STMT, db_->dbc(), stmt.out());
  if (!SQL_SUCCEEDED(rc)) return db_->Fail(SQL_HANDLE_DBC, db_->dbc(), rc, sql);
  if (lock_wait_ > 0) {
    SQLSetStmtAttr(stmt.get(), SQL_ATTR_QUERY_TIMEOUT,
                   reinterpret_cast<SQLPOINTER>(static_cast<uintptr_t>(lock_wait_)), 0);
  }
  rc = SQLExecDirect(stmt.get(), reinterpret_cast<SQLCHAR*>(const_cast<char*>(sql.c_str())),
                     SQL_NTS);
  if (!SQL_SUCCEEDED(rc) && rc != SQL_NO_DATA)
    return db_->Fail(SQL_HANDLE_STMT, stmt.get(), rc, sql);
  return kSOk;
}

HRESULT OdbcConnection::SetAutocommit(bool on) {
  const SQLRETURN rc = SQLSetConnectAttr(
      db_->dbc(), SQL_ATTR_AUTOCOMMIT,
      reinterpret_cast<SQLPOINTER>(on ? SQL_AUTOCOMMIT_ON : SQL_AUTOCOMMIT_OFF), 0);
  if (!SQL_SUCCEEDED(rc)) return db_->Fail(SQL_HANDLE_DBC, db_->dbc(), rc, "setting autocommit");
  return kSOk;
}

HRESULT OdbcConnection::ApplyIsolation() {
  if (isolation_ == -1) return kSOk;  // adXactUnspecified: the driver's default
  const SQLRETURN rc =
      SQLSetConnectAttr(db_->dbc(), SQL_ATTR_TXN_ISOLATION,
                        reinterpret_cast<SQLPOINTER>(IsolationAttribute(isolation_)), 0);
  if (!SQL_SUCCEEDED(rc))
    return db_->Fail(SQL_HANDLE_DBC, db_->dbc(), rc, "setting the isolation level");
  return kSOk;
}

HRESULT OdbcConnection::BeginTransaction(int level) {
  HRESULT hr = Usable();
  if (hr < 0) return hr;
  if (level <= 1) {
    hr = SetAutocommit(false);
    if (hr >= 0) in_transaction_ = true;
    return hr;
  }
  return Exec("SAVEPOINT korvo_level_" + std::to_string(level));
}

HRESULT OdbcConnection::CommitTransaction(int level) {
  HRESULT hr = Usable();
  if (hr < 0) return hr;
  if (level > 1) return Exec("RELEASE SAVEPOINT korvo_level_" + std::to_string(level));
  if (!in_transaction_) {
    return diagnostics().Fail(
        ProviderRecord(kXactNoTransaction, "25000", "No transaction is in progress."));
  }
  const SQLRETURN rc = SQLEndTran(SQL_HANDLE_DBC, db_->dbc(), SQL_COMMIT);
  if (!SQL_SUCCEEDED(rc)) return db_->Fail(SQL_HANDLE_DBC, db_->dbc(), rc, "committing");
  in_transaction_ = false;
  return SetAutocommit(true);
}

HRESULT OdbcConnection::RollbackTransaction(int level) {
  HRESULT hr = Usable();
  if (hr < 0) return hr;
  if (level > 1) {
    const std::string name = "korvo_level_" + std::to_string(level);
    hr = Exec("ROLLBACK TO SAVEPOINT " + name);
    return hr >= 0 ? Exec("RELEASE SAVEPOINT " + name) : hr;
  }
  if (!in_transaction_) {
    return diagnostics().Fail(
        ProviderRecord(kXactNoTransaction, "25000", "No transaction is in progress."));
  }
  const SQLRETURN rc = SQLEndTran(SQL_HANDLE_DBC, db_->dbc(), SQL_ROLLBACK);
  if (!SQL_SUCCEEDED(rc)) return db_->Fail(SQL_HANDLE_DBC, db_->dbc(), rc, "rolling back");
  in_transaction_ = false;
  return SetAutocommit(true);
}

HRESULT OdbcConnection::SetIsolationLevel(long level) {
  isolation_ = level;
  if (!db_ || db_->dead()) return kSOk;
  diagnostics().errors.clear();
  // Drivers refuse a change inside a transaction; it applies to the next.
  if (in_transaction_) return kSOk;
  return ApplyIsolation();
}

std::string OdbcConnection::Info(InfoProperty what) const {
  if (!db_) return what == InfoProperty::kProviderName ? "MSDASQL" : "";
  switch (what) {
    case InfoProperty::kDbmsName:
      return db_->dbms_name;
    case InfoProperty::kDbmsVersion:
      return db_->dbms_version;
    case InfoProperty::kProviderName:
      return "MSDASQL";
    case InfoProperty::kDefaultDatabase:
      return db_->database;
    case InfoProperty::kDataSource:
      return db_->data_source;
  }
  return {};
}

std::string OdbcConnection::ProcedureCall(std::string_view name, int parameters) const {
  std::string marks;
  for (int i = 0; i < parameters; ++i) marks += i ? ",?" : "?";
  // psqlODBC runs a PROCEDURE only through CALL (its {call} escape becomes
  // a SELECT, which PostgreSQL refuses for procedures); MariaDB knows CALL.
  return "CALL " + std::string(name) + "(" + marks + ")";
}

std::string OdbcConnection::QuoteIdentifier(std::string_view name) const {
  const char q = db_ ? db_->quote : '"';
  std::string out(1, q);
  for (const char c : name) {
    out += c;
    if (c == q) out += q;
  }
  return out + q;
}

HRESULT OdbcConnection::KeyColumns(const std::string& schema, const std::string& table,
                                   std::vector<std::string>* out) {
  out->clear();
  HRESULT hr = Usable();
  if (hr < 0) return hr;
  auto text = [](const std::string& s) {
    return s.empty() ? nullptr : reinterpret_cast<SQLCHAR*>(const_cast<char*>(s.c_str()));
  };
  auto length = [](const std::string& s) {
    return s.empty() ? SQLSMALLINT{0} : SQLSMALLINT{SQL_NTS};
  };
  StmtHandle stmt;
  SQLRETURN rc = SQLAllocHandle(SQL_HANDLE_STMT, db_->dbc(), stmt.out());
  if (!SQL_SUCCEEDED(rc)) return db_->Fail(SQL_HANDLE_DBC, db_->dbc(), rc);
  // The table must exist: a table without a key is located by its values,
  // an unknown one is an error.
  rc = SQLTables(stmt.get(), nullptr, 0, text(schema), length(schema), text(table), length(table),
                 nullptr, 0);
  if (!SQL_SUCCEEDED(rc)) return db_->Fail(SQL_HANDLE_STMT, stmt.get(), rc, "describing " + table);
  const bool exists = SQL_SUCCEEDED(SQLFetch(stmt.get()));
  SQLCloseCursor(stmt.get());
  if (!exists) {
    return diagnostics().Fail(
        ProviderRecord(kDbErrorsInCommand, "42S02", "no such table: " + table));
  }
  // MariaDB Connector/ODBC numbers SQLPrimaryKeys' KEY_SEQ by the columns'
  // places in the table, not in the key; its SQLStatistics numbers the
  // key's own index (named PRIMARY) correctly.
  const bool from_index = IsMysqlFamily(*db_);
  rc = from_index ? SQLStatistics(stmt.get(), nullptr, 0, text(schema), length(schema), text(table),
                                  length(table), SQL_INDEX_UNIQUE, SQL_QUICK)
                  : SQLPrimaryKeys(stmt.get(), nullptr, 0, text(schema), length(schema),
                                   text(table), length(table));
  if (!SQL_SUCCEEDED(rc))
    return db_->Fail(SQL_HANDLE_STMT, stmt.get(), rc, "reading the key of " + table);
  const SQLUSMALLINT name_column = from_index ? 9 : 4;
  const SQLUSMALLINT seq_column = from_index ? 8 : 5;
  std::vector<std::pair<SQLINTEGER, std::string>> keyed;
  while (SQL_SUCCEEDED(rc = SQLFetch(stmt.get()))) {
    char name[256] = {0};
    SQLLEN name_length = 0;
    SQLINTEGER seq = 0;
    SQLLEN seq_length = 0;
    if (from_index) {
      SQLGetData(stmt.get(), 6, SQL_C_CHAR, name, sizeof name, &name_length);
      if (std::strcmp(name, "PRIMARY") != 0) continue;
    }
    SQLGetData(stmt.get(), name_column, SQL_C_CHAR, name, sizeof name, &name_length);
    SQLGetData(stmt.get(), seq_column, SQL_C_SLONG, &seq, 0, &seq_length);
    keyed.emplace_back(seq, name);
  }
  if (rc != SQL_NO_DATA)
    return db_->Fail(SQL_HANDLE_STMT, stmt.get(), rc, "reading the key of " + table);
  // In key order (KEY_SEQ); drivers already list them so, mostly.
  std::stable_sort(keyed.begin(), keyed.end(),
                   [](const auto& a, const auto& b) { return a.first < b.first; });
  for (auto& [seq, name] : keyed) out->push_back(std::move(name));
  return kSOk;
}

bool OdbcConnection::LastInsertKey(int64_t* key) const {
  if (!db_ || db_->dead()) return false;
  const char* sql = IsPostgres(*db_)      ? "SELECT lastval()"
                    : IsMysqlFamily(*db_) ? "SELECT LAST_INSERT_ID()"
                                          : nullptr;
  if (sql == nullptr) return false;
  StmtHandle stmt;
  if (!SQL_SUCCEEDED(SQLAllocHandle(SQL_HANDLE_STMT, db_->dbc(), stmt.out()))) return false;
  if (!SQL_SUCCEEDED(
          SQLExecDirect(stmt.get(), reinterpret_cast<SQLCHAR*>(const_cast<char*>(sql)), SQL_NTS)) ||
      !SQL_SUCCEEDED(SQLFetch(stmt.get()))) {
    return false;
  }
  SQLLEN indicator = 0;
  int64_t value = 0;
  if (!SQL_SUCCEEDED(SQLGetData(stmt.get(), 1, SQL_C_SBIGINT, &value, 0, &indicator)) ||
      indicator == SQL_NULL_DATA) {
    return false;
  }
  *key = value;
  return true;
}

}  // namespace korvo::ado::provider::odbc

namespace korvo::ado::provider {
std::unique_ptr<Connection> CreateOdbcConnection() {
  return std::make_unique<odbc::OdbcConnection>();
}
}  // namespace korvo::ado::provider
