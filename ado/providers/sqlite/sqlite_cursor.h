// ado/providers/sqlite/sqlite_cursor.h: a prepared SQLite statement text
// (one or more statements) and its rows.
#pragma once

#include <korvo/ado/providers/provider.h>
#include <korvo/ado/providers/sqlite/sqlite_connection.h>
#include <sqlite3.h>

#include <memory>
#include <string>
#include <vector>

namespace korvo::ado::provider::sqlite {

// Cell `column` of the row `stmt` is on. One engine call finds the column's
// value; its type, value and length are then read from that value, not
// through a column call each (which looks the column up again every time).
// The value is read at once, on the thread that uses the connection (it is
// opened without the engine's mutex: one thread at a time). Inline: the
// recordset's member fills read every cell of every row through it.
inline Cell CellAt(sqlite3_stmt* stmt, int column) {
  sqlite3_value* value = sqlite3_column_value(stmt, column);
  Cell cell;
  switch (sqlite3_value_type(value)) {
    case SQLITE_INTEGER:
      cell.type = CellType::kInt;
      cell.i = sqlite3_value_int64(value);
      break;
    case SQLITE_FLOAT:
      cell.type = CellType::kReal;
      cell.r = sqlite3_value_double(value);
      break;
    case SQLITE_TEXT:
      cell.type = CellType::kText;
      cell.data = reinterpret_cast<const char*>(sqlite3_value_text(value));
      cell.size = static_cast<size_t>(sqlite3_value_bytes(value));
      break;
    case SQLITE_BLOB:
      cell.type = CellType::kBlob;
      cell.data = static_cast<const char*>(sqlite3_value_blob(value));
      cell.size = static_cast<size_t>(sqlite3_value_bytes(value));
      break;
    default:
      break;
  }
  return cell;
}

class SqliteStatement final : public Statement {
 public:
  // `sql` is already rewritten (escapes, row limits).
  SqliteStatement(std::shared_ptr<SqliteDb> db, std::string sql, bool return_value_marker);
  ~SqliteStatement() override;

  // Prepares the first statement of the text, so that syntax errors show
  // at once; the following ones are prepared when the ones before have run
  // (they may depend on them, e.g. CREATE TABLE then INSERT).
  HRESULT PrepareFirst();

  HRESULT Execute(const std::vector<ParamValue>& params, Deadline deadline) override;
  HRESULT Next(Deadline deadline) override;
  bool HasRow() const override { return has_row_; }
  const std::vector<ColumnInfo>& Columns() override;
  Cell Get(int column) const override;
  void GetRow(Cell* out, int count) const override;
  CellReadFn CellReader() const override { return &ReadCell; }
  // What CellReader returns (a caller that knows it may call it directly).
  static bool ReadCell(const void* statement, int column, Cell* cell) {
    const auto& self =
        static_cast<const SqliteStatement&>(*static_cast<const Statement*>(statement));
    if (!self.has_row_) return false;
    *cell = CellAt(self.result_, column);
    return true;
  }
  EndedFn EndReader() const override { return &Ended; }
  static bool Ended(const void* statement) {
    return !static_cast<const SqliteStatement&>(*static_cast<const Statement*>(statement)).has_row_;
  }
  int64_t RowsAffected() const override { return rows_affected_; }
  bool ReturnValueMarker() const override { return return_value_marker_; }
  void Reset() override;

 private:
  // Prepares the part after parts_.back() (or the first); sets *none when
  // only blanks or comments remain.
  HRESULT PrepareNext(bool* none);
  HRESULT Bind(sqlite3_stmt* stmt, const std::vector<ParamValue>& params, size_t* offset);
  struct ArmedScope;
  HRESULT StepFailed(sqlite3_stmt* stmt, int rc);
  void CountChanges(sqlite3_stmt* stmt);

  std::shared_ptr<SqliteDb> db_;
  std::string sql_;
  bool return_value_marker_;
  std::vector<StmtHandle> parts_;
  size_t tail_ = 0;  // offset in sql_ of the text after parts_.back()
  // Whether parts_[0] writes rows (-1: not asked yet); a statement run
  // once per row asks on every execution.
  int first_part_dml_ = -1;
  bool all_prepared_ = false;
  bool discarded_ = false;          // statements of a long batch were finalized after running
  sqlite3_stmt* result_ = nullptr;  // the part whose rows are exposed
  bool has_row_ = false;
  // Whether a part was stepped since the last Reset. One that was not is
  // at its start already: a statement run once per row is reset after each
  // execution and, without this, once more before the next.
  bool stepped_ = false;
  int64_t rows_affected_ = -1;
  int64_t changes_ = 0;
  bool columns_valid_ = false;
  std::vector<ColumnInfo> columns_;
};

}  // namespace korvo::ado::provider::sqlite
