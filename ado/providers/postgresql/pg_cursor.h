// ado/providers/postgresql/pg_cursor.h: a statement text (one or more
// statements) prepared on the server once and run with bound values; the
// rows of the last one streamed one at a time (libpq's single-row mode).
#pragma once

#include <korvo/ado/providers/postgresql/pg_connection.h>
#include <korvo/ado/providers/postgresql/pg_types.h>
#include <korvo/ado/providers/provider.h>

#include <deque>
#include <memory>
#include <string>
#include <vector>

namespace korvo::ado::provider::postgresql {

class PgStatement final : public Statement, public Stream {
 public:
  // Splits `sql` into its statements (at top-level ';'); each is prepared
  // under a name of its own when it first runs and deallocated when the
  // statement goes.
  PgStatement(std::shared_ptr<PgSession> session, std::string sql, bool return_value_marker);
  ~PgStatement() override;

  // Prepares (and, when it is the only one, describes) the first
  // statement, so that errors in the text show at once; fails for an
  // empty text.
  HRESULT PrepareFirst();

  HRESULT Execute(const std::vector<ParamValue>& params, Deadline deadline) override;
  HRESULT Next(Deadline deadline) override;
  bool HasRow() const override { return has_row_; }
  const std::vector<ColumnInfo>& Columns() override;
  Cell Get(int column) const override { return cells_[static_cast<size_t>(column)]; }
  int64_t RowsAffected() const override { return rows_affected_; }
  bool ReturnValueMarker() const override { return return_value_marker_; }
  void Reset() override;

  void Detach() override;

 private:
  struct Part {
    std::string sql;
    std::vector<size_t> markers;  // offsets of the ? markers in `sql`
    std::string name;             // of the prepared statement; empty before
    std::vector<ColumnInfo> columns;
    std::vector<Decode> decodes;
    bool binary;  // its rows come in binary form (every column has one)
  };

  // How the server last refused part 0's prepared statement: its plan
  // changed under it (a table altered: 0A000) or it is gone (26000).
  enum class Stale : uint8_t { kNo, kChanged, kGone };
  static Stale StaleKind(const PGresult* failure);

  // One run of the statement; Execute prepares part 0 again and repeats
  // it once when the server refused its prepared statement as stale.
  HRESULT Run(const std::vector<ParamValue>& params, Deadline deadline);
  HRESULT PreparePart(Part& part, bool describe, Deadline deadline);
  HRESULT Describe(Part& part, const PGresult* description);
  void BindValues(const Part& part, const std::vector<ParamValue>& params, size_t offset);
  // Makes the next row current (from the rows read ahead, or the server).
  HRESULT Fetch(Deadline deadline);
  void EndStream();

  std::shared_ptr<PgSession> session_;
  std::vector<Part> parts_;
  bool return_value_marker_;
  Part* result_ = nullptr;
  bool streaming_ = false;            // rows of this statement still arrive on the session
  bool own_transaction_ = false;      // it runs outside a transaction block
  std::deque<Result> ahead_;          // rows read ahead when another query needed the session
  Result row_;                        // the current row
  std::vector<Cell> cells_;           // its cells
  std::vector<std::string> scratch_;  // decoded bytes of its cells
  bool has_row_ = false;
  int64_t rows_affected_ = -1;
  Stale stale_ = Stale::kNo;
  // The values of the current execution, as libpq takes them.
  std::vector<std::string> texts_;
  std::vector<const char*> values_;
  std::vector<int> lengths_;
  std::vector<int> formats_;
};

}  // namespace korvo::ado::provider::postgresql
