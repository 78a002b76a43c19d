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
  int64_t rows_affected_ = -1;
  int64_t changes_ = 0;
  bool columns_valid_ = false;
  std::vector<ColumnInfo> columns_;
};

}  // namespace korvo::ado::provider::sqlite
