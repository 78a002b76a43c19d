// ado/providers/provider.h: the narrow interface between Korvo's ADO
// object model and a database engine ("provider"). Private to ado/.
//
// The object model (connection, command, recordset objects) talks to an
// engine only through these classes; each provider implements them under
// ado/providers/<name>/ with the same file set (connection, cursor, types,
// errors). No engine type appears here.
//
// Errors: every call that can fail returns an HRESULT; on failure the
// provider has replaced the records of the shared Diagnostics with at
// least one record whose description is never empty. Informational
// messages the engine produced while a statement ran are queued in the
// Diagnostics and taken by the object model when the statement completes.
//
// Thread-safety: a connection and its statements are used by one thread
// at a time (callers serialise); nothing here is internally locked.
#pragma once

#include <korvo/platform/wintypes.h>

#include <chrono>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace korvo::ado {
class ConnectString;
}

namespace korvo::ado::provider {

// One provider error or message, as the Errors collection shows it.
struct ErrorRecord {
  HRESULT hr = 0;           // the HRESULT the failing call returns (0 for a message)
  std::string description;  // UTF-8; never empty for an engine error
  std::string sqlstate;     // five characters: "42000", "23000", "HYT00", "01000", ...
  int32_t native = 0;       // the engine's own code
  std::string source;       // the provider's name
};

// A record the provider raises itself, with no engine code behind it
// (native 0).
inline ErrorRecord OwnRecord(HRESULT hr, std::string_view sqlstate, std::string description,
                             std::string_view source) {
  ErrorRecord record;
  record.hr = hr;
  record.description = std::move(description);
  record.sqlstate = std::string(sqlstate);
  record.source = std::string(source);
  return record;
}

// The records of the last failing call and the queue of informational
// messages. Shared by a connection and its statements.
struct Diagnostics {
  std::vector<ErrorRecord> errors;
  std::vector<ErrorRecord> messages;

  // Replaces the error records with one and returns its HRESULT.
  HRESULT Fail(ErrorRecord record) {
    errors.clear();
    errors.push_back(std::move(record));
    return errors.back().hr;
  }
};

// A column value of the current row, as the engine holds it. Text is
// UTF-8. `data` stays valid until the statement moves or is reset.
enum class CellType : uint8_t { kNull, kInt, kReal, kText, kBlob };
struct Cell {
  CellType type = CellType::kNull;
  int64_t i = 0;
  double r = 0;
  const char* data = nullptr;
  size_t size = 0;
};

// The ADO DataTypeEnum values the providers map engine types to (the
// providers do not see ado.h, so the numbers they use are named here once).
enum AdoType : int32_t {
  kAdSmallInt = 2,
  kAdInteger = 3,
  kAdSingle = 4,
  kAdDouble = 5,
  kAdCurrency = 6,
  kAdDate = 7,
  kAdBoolean = 11,
  kAdTinyInt = 16,
  kAdUnsignedTinyInt = 17,
  kAdBigInt = 20,
  kAdGuid = 72,
  kAdBinary = 128,
  kAdWChar = 130,
  kAdNumeric = 131,
  kAdDBDate = 133,
  kAdDBTime = 134,
  kAdDBTimeStamp = 135,
  kAdVarWChar = 202,
  kAdLongVarWChar = 203,
  kAdVarBinary = 204,
  kAdLongVarBinary = 205,
};

// What a result column is. `ado_type` is an ADO DataTypeEnum value; the
// object model converts cells to VARIANTs of the matching type.
struct ColumnInfo {
  std::string name;                // UTF-8, as the engine names the result column
  int32_t ado_type = kAdVarWChar;  // unless known better
  int32_t defined_size = 0;
  uint8_t precision = 0;
  uint8_t scale = 0;
  bool nullable = true;
  bool key = false;  // part of the base table's primary key
  bool autoincrement = false;
  std::string base_table;  // empty for an expression column
  std::string base_column;
  std::string base_schema;
};

// A parameter value bound to a ? marker. Dates arrive as ISO text
// ("YYYY-MM-DD HH:MM:SS", "YYYY-MM-DD" or "HH:MM:SS" by `ado_type`).
struct ParamValue {
  CellType type = CellType::kNull;
  int64_t i = 0;
  double r = 0;
  std::string bytes;     // text (UTF-8) or blob bytes
  int32_t ado_type = 0;  // the parameter's declared DataTypeEnum
};

using Clock = std::chrono::steady_clock;
// A point after which a running statement is interrupted and fails with
// the time-out error; Clock::time_point::max() for none.
using Deadline = Clock::time_point;
inline Deadline NoDeadline() { return Deadline::max(); }

// A prepared statement text (possibly several statements separated by
// ';': all but the last run to completion, the last one's rows are the
// result). Reusable: Execute may be called again after the rows are read
// or Reset.
class Statement {
 public:
  virtual ~Statement() = default;

  // Binds `params` (in ? order; a value for every marker) and runs the
  // statement up to its first row. Afterwards HasRow tells whether a row
  // is current.
  virtual HRESULT Execute(const std::vector<ParamValue>& params, Deadline deadline) = 0;
  // Rows the engine hands over per fetch from now on (a server cursor's
  // CacheSize); 0 for the provider's default. Engines that produce rows
  // one at a time ignore it.
  virtual void SetFetchRows(long rows) { (void)rows; }
  // Moves to the next row. REQUIRES: HasRow().
  virtual HRESULT Next(Deadline deadline) = 0;
  virtual bool HasRow() const = 0;

  // Result columns; valid after Execute (empty for a statement without
  // rows). The reference stays valid until the next Execute.
  virtual const std::vector<ColumnInfo>& Columns() = 0;
  // REQUIRES: HasRow() and 0 <= column < Columns().size().
  virtual Cell Get(int column) const = 0;
  // The first `count` cells of the current row, as Get gives them one by
  // one; for a caller that copies whole rows (a client cursor's snapshot).
  // REQUIRES: HasRow() and 0 <= count <= Columns().size().
  virtual void GetRow(Cell* out, int count) const {
    for (int i = 0; i < count; ++i) out[i] = Get(i);
  }

  // For a caller that reads every cell of every row (a recordset's binding
  // pass): `read(statement, column, &cell)` gives what Get gives, or false
  // (nothing read) while no row is current, without a virtual call per
  // cell. It stays valid while the statement lives. REQUIRES of `column`:
  // as Get. The default reads through HasRow and Get.
  using CellReadFn = bool (*)(const void* statement, int column, Cell* cell);
  virtual CellReadFn CellReader() const { return &ReadThroughGet; }
  // For a caller that asks on every row whether the rows are done:
  // `ended(statement)` is !HasRow() without a virtual call, valid while the
  // statement lives. The default asks HasRow.
  using EndedFn = bool (*)(const void* statement);
  virtual EndedFn EndReader() const { return &EndedThroughHasRow; }

  // Rows changed by the executed statements; -1 when the last statement
  // returns rows and changed none.
  virtual int64_t RowsAffected() const = 0;
  // The text had a {?= call ...} escape, whose return-value marker is not
  // a bound parameter.
  virtual bool ReturnValueMarker() const = 0;

  // Ends the current execution and releases what the engine holds for it
  // (read locks); keeps the prepared form.
  virtual void Reset() = 0;

 private:
  static bool ReadThroughGet(const void* statement, int column, Cell* cell) {
    const auto& self = *static_cast<const Statement*>(statement);
    if (!self.HasRow()) return false;
    *cell = self.Get(column);
    return true;
  }
  static bool EndedThroughHasRow(const void* statement) {
    return !static_cast<const Statement*>(statement)->HasRow();
  }
};

enum class InfoProperty { kDbmsName, kDbmsVersion, kProviderName, kDefaultDatabase, kDataSource };

class Connection {
 public:
  virtual ~Connection() = default;

  // Opens with the parsed connect string. Keywords the provider does not
  // know are ignored.
  virtual HRESULT Open(const ConnectString& options) = 0;
  // Closes; statements still alive keep the engine's handle until they go.
  // An open transaction is rolled back; when that fails, the failure is
  // left in diagnostics().errors and the connection is closed all the same.
  virtual void Close() = 0;
  // Opened and usable: false after Close, and after the link to a server
  // was lost (every call then fails until the connection is reopened).
  virtual bool IsOpen() const = 0;

  // REQUIRES: IsOpen(). `sql` is UTF-8.
  virtual HRESULT Prepare(std::string_view sql, std::unique_ptr<Statement>* out) = 0;

  // Transactions: `level` is the nesting level being begun (1 = the
  // outer transaction) or ended (the innermost).
  virtual HRESULT BeginTransaction(int level) = 0;
  virtual HRESULT CommitTransaction(int level) = 0;
  virtual HRESULT RollbackTransaction(int level) = 0;
  // An ADO IsolationLevelEnum value; applies to the next transaction.
  virtual HRESULT SetIsolationLevel(long level) = 0;
  // How long an engine call without a deadline of its own (Prepare, the
  // transaction calls) waits for a lock another connection holds: the
  // connection's CommandTimeout, 0 for no limit. A statement's Execute
  // and Next wait until their deadline instead.
  virtual void SetLockWaitTimeout(long seconds) = 0;

  virtual std::string Info(InfoProperty what) const = 0;
  virtual bool SupportsProcedures() const = 0;
  // The statement that runs stored procedure `name` with `parameters` ?
  // markers. REQUIRES: SupportsProcedures().
  virtual std::string ProcedureCall(std::string_view name, int parameters) const {
    std::string marks;
    for (int i = 0; i < parameters; ++i) marks += i ? ",?" : "?";
    return "{call " + std::string(name) + "(" + marks + ")}";
  }

  // What the write path of an updatable cursor needs. The object model
  // builds the INSERT/UPDATE/DELETE text itself and runs it through
  // Prepare and Statement::Execute; the provider only quotes names and
  // describes tables.
  //
  // `name` as a delimited identifier of this engine's SQL.
  virtual std::string QuoteIdentifier(std::string_view name) const {
    std::string out = "\"";
    for (const char c : name) {
      out += c;
      if (c == '"') out += '"';
    }
    return out + '"';
  }
  // The primary-key columns of base table `table` (in `schema`, empty for
  // the default), in key order; for a table without one, the engine's
  // own row key when it has one ("rowid"), else empty. Fails for an
  // unknown table.
  virtual HRESULT KeyColumns(const std::string& schema, const std::string& table,
                             std::vector<std::string>* out) = 0;
  // The key the engine generated for the row last inserted on this
  // connection; false when it cannot tell.
  virtual bool LastInsertKey(int64_t* key) const = 0;

  Diagnostics& diagnostics() { return *diagnostics_; }
  const std::shared_ptr<Diagnostics>& shared_diagnostics() const { return diagnostics_; }

 protected:
  std::shared_ptr<Diagnostics> diagnostics_ = std::make_shared<Diagnostics>();
};

std::unique_ptr<Connection> CreateSqliteConnection();
std::unique_ptr<Connection> CreateOdbcConnection();
std::unique_ptr<Connection> CreatePostgresConnection();

}  // namespace korvo::ado::provider
