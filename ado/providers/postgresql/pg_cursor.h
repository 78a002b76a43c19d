// ado/providers/postgresql/pg_cursor.h: a statement text (one or more
// statements) prepared on the server once and run with bound values. The
// rows of a lone query (SELECT, VALUES, TABLE) come in blocks from a
// declared cursor (CacheSize rows, at least 1000, at first; then about
// 96 KiB of rows each, so that a block stays in the cache), with further
// FETCHes queued on the server (libpq's pipeline mode) while the host
// reads the current block, so that the server does not wait for the host
// between blocks; the rows of any other statement are streamed one at a
// time (libpq's single-row mode).
//
// A declared cursor lives in a transaction block. Outside the host's
// transaction the statement opens one of its own (BEGIN travels with the
// DECLARE and the first FETCH in one round trip) and commits it when the
// rows end, when the statement is reset, or when another statement of the
// connection needs the session: the rest of the rows are then read into
// memory first (as for a streamed statement), so the other statement runs
// in autocommit as it would without the cursor. Inside the host's
// transaction the cursor follows the statement savepoint and is closed
// the same way.
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
  CellReadFn CellReader() const override { return &ReadCell; }
  // What CellReader returns (a caller that knows it may call it directly):
  // the decoded cell without the two virtual calls per cell of the default.
  static bool ReadCell(const void* statement, int column, Cell* cell) {
    const auto& self = static_cast<const PgStatement&>(*static_cast<const Statement*>(statement));
    if (!self.has_row_) return false;
    *cell = self.cells_[static_cast<size_t>(column)];
    return true;
  }
  EndedFn EndReader() const override { return &Ended; }
  static bool Ended(const void* statement) {
    return !static_cast<const PgStatement&>(*static_cast<const Statement*>(statement)).has_row_;
  }
  int64_t RowsAffected() const override { return rows_affected_; }
  bool ReturnValueMarker() const override { return return_value_marker_; }
  void Reset() override;
  void SetFetchRows(long rows) override { fetch_rows_ = rows; }

  void Detach() override;

 private:
  struct Part {
    std::string sql;
    std::vector<size_t> markers;  // offsets of the ? markers in `sql`
    std::string name;             // of the prepared statement; empty before
    std::vector<ColumnInfo> columns;
    std::vector<Decode> decodes;
    bool binary = false;                // its rows come in binary form (every column has one)
    std::vector<uint32_t> types;        // of its columns, as described
    std::vector<uint32_t> param_types;  // of its parameters, as described
    bool declarable = false;            // a lone query a cursor can run
    std::string declare_name;           // of its prepared DECLARE; empty before
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
  // Makes the next row current (from the current block, the blocks read
  // ahead, or the server).
  HRESULT Fetch(Deadline deadline);
  void DecodeRow();
  void EndStream();
  // Ends the transaction a failed cursor opened for itself, if still open.
  void RollBackOwnTransaction();

  // The declared cursor: opens it (and the statement's own transaction
  // when there is no other) and reads its first block.
  HRESULT OpenCursor(Part& part, Deadline deadline);
  HRESULT PrepareDeclare(Part& part, Deadline deadline);
  // Queues a FETCH of `rows` rows and a sync in the cursor's pipeline.
  bool SendFetch(long rows);
  // After `block` (`asked` rows asked for) arrived: tops the queue of
  // FETCHes up, or ends the cursor when `block` was its last.
  void AskAfter(const PGresult* block, long asked);
  // The next block of the cursor; the FETCHes after it go out before it
  // is returned.
  Result NextBlock(Deadline deadline);
  // The results of one query on the session, the first failure or else
  // the first result kept.
  Result ReadOne(Deadline deadline);
  // The same for one part of the pipeline, up to its sync.
  Result ReadToSync(Deadline deadline);
  // Reads and drops the FETCHes in flight and leaves pipeline mode; false
  // when libpq refuses to leave it (a broken link).
  bool DropFetches();
  // Sends what ends the cursor (COMMIT of its own transaction, or CLOSE)
  // without waiting for its result; FETCHes still in flight are dropped.
  void SendEnd();
  // Waits for the result of what SendEnd sent; its failure, if any.
  Result AwaitEnd();

  std::shared_ptr<PgSession> session_;
  std::vector<Part> parts_;
  bool return_value_marker_;
  Part* result_ = nullptr;
  bool streaming_ = false;        // rows of this statement still arrive on the session
  bool own_transaction_ = false;  // it runs outside a transaction block
  std::deque<Result> ahead_;      // rows read ahead when another query needed the session
  Result row_;                    // the block of the current row
  int row_index_ = 0;             // the current row in it
  int block_rows_ = 0;            // rows in it
  // The declared cursor of the current execution.
  bool cursor_ = false;       // the rows come from it
  std::deque<long> asked_;    // rows asked for by the FETCHes in flight
  bool cursor_done_ = false;  // its last rows have arrived: its end is sent
  bool end_sent_ = false;     // SendEnd's result is unread
  long fetch_rows_ = 0;       // the host's CacheSize; 0 for none
  long block_ = 0;            // rows per FETCH of this execution
  long row_wire_bytes_ = 0;   // a row's bytes on the wire, as the last block's first row
  // Blocks to read before block waits may wake after many bytes
  // (PgSession::WakeAfter): 0 from then on, -1 once such a wait gave up.
  int blocks_before_waking_ = 0;
  std::string cursor_name_;
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
