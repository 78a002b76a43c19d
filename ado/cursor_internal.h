// ado/cursor_internal.h: the two cursors behind a recordset.
//
// StreamCursor: forward-only over a running statement (a server cursor);
// rows come from the engine one at a time, RecordCount is -1, moving
// backwards fails with DB_E_CANTFETCHBACKWARDS, MoveFirst runs the
// statement again.
// SnapshotCursor: the whole result read into a RowStore at open (a client
// cursor, or a scrollable server cursor); static, scrollable, counted.
//
// Position state (both): BOF (before the first row), on a row, EOF (after
// the last). An empty result is BOF and EOF at once. A move that needs a
// current row (MoveNext at EOF, MovePrevious at BOF, Move from BOF/EOF in
// the direction already passed) fails with 3021 and leaves the position.
// Thread-safety: caller must synchronise.
#pragma once

#include <korvo/ado/providers/provider.h>
#include <korvo/ado/row_store_internal.h>

#include <memory>
#include <string>
#include <vector>

namespace korvo::ado {

class Cursor {
 public:
  virtual ~Cursor() = default;

  const std::vector<provider::ColumnInfo>& columns() const { return columns_; }
  virtual bool bof() const = 0;
  virtual bool eof() const = 0;
  // Neither BOF nor EOF: a row is current.
  virtual bool on_row() const = 0;
  virtual long record_count() const = 0;
  // 1-based position, or adPosBOF / adPosEOF / adPosUnknown.
  virtual long absolute_position() const = 0;
  // Changes whenever the current row changes (GetChunk restarts then).
  uint64_t row_serial() const { return row_serial_; }
  // eof() as a plain function, `EofReader(&object)(object)`, for a caller
  // that asks on every row (without the virtual calls). `object` (this
  // cursor or what it reads from) stays valid while this cursor lives.
  using EofFn = bool (*)(const void* object);
  virtual EofFn EofReader(const void** object) const = 0;

  // Each returns S_OK or a failing HRESULT; provider failures leave their
  // records in the provider's diagnostics and set *from_provider.
  virtual HRESULT MoveNext(bool* from_provider) = 0;
  virtual HRESULT MovePrevious(bool* from_provider) = 0;
  virtual HRESULT MoveFirst(bool* from_provider) = 0;
  virtual HRESULT MoveLast(bool* from_provider) = 0;
  virtual HRESULT Move(long rows, bool* from_provider) = 0;

  // The current row's cell. REQUIRES: !bof() && !eof(), column in range.
  virtual provider::Cell Get(int column) = 0;
  // Where the current row's cells are the statement's own (a stream): the
  // statement's direct reader (provider::Statement::CellReader) and the
  // statement to hand it, valid while this cursor lives. False otherwise.
  virtual bool StatementCells(provider::Statement::CellReadFn* read, const void** statement) const {
    (void)read;
    (void)statement;
    return false;
  }

 protected:
  std::vector<provider::ColumnInfo> columns_;
  uint64_t row_serial_ = 0;
};

class StreamCursor final : public Cursor {
 public:
  // `statement` has been executed and is positioned on its first row (or
  // done).
  explicit StreamCursor(std::shared_ptr<provider::Statement> statement);
  bool bof() const override { return empty_; }
  bool eof() const override { return !statement_->HasRow(); }
  EofFn EofReader(const void** object) const override {
    // eof() is the statement's end of rows.
    *object = static_cast<const provider::Statement*>(statement_.get());
    return statement_->EndReader();
  }
  bool on_row() const override { return statement_->HasRow(); }
  long record_count() const override { return -1; }
  long absolute_position() const override { return -1; }
  HRESULT MoveNext(bool* from_provider) override;
  HRESULT MovePrevious(bool* from_provider) override;
  HRESULT MoveFirst(bool* from_provider) override;
  HRESULT MoveLast(bool* from_provider) override;
  HRESULT Move(long rows, bool* from_provider) override;
  provider::Cell Get(int column) override { return statement_->Get(column); }
  bool StatementCells(provider::Statement::CellReadFn* read,
                      const void** statement) const override {
    *read = statement_->CellReader();
    *statement = static_cast<const provider::Statement*>(statement_.get());
    return true;
  }

 private:
  std::shared_ptr<provider::Statement> statement_;
  bool empty_;
};

class SnapshotCursor final : public Cursor {
 public:
  // Reads every remaining row of the executed `statement` (stopping at
  // `deadline`). On failure *hr is the provider's failure.
  SnapshotCursor(provider::Statement& statement, provider::Deadline deadline, HRESULT* hr);
  bool bof() const override { return !removed_ && (pos_ < 0 || rows_.size() == 0); }
  bool eof() const override { return !removed_ && pos_ >= static_cast<long>(rows_.size()); }
  EofFn EofReader(const void** object) const override {
    *object = this;
    return [](const void* cursor) { return static_cast<const SnapshotCursor*>(cursor)->eof(); };
  }
  bool on_row() const override {
    return !removed_ && pos_ >= 0 && pos_ < static_cast<long>(rows_.size());
  }
  long record_count() const override { return static_cast<long>(rows_.size()); }
  long absolute_position() const override;
  HRESULT MoveNext(bool* from_provider) override;
  HRESULT MovePrevious(bool* from_provider) override;
  HRESULT MoveFirst(bool* from_provider) override;
  HRESULT MoveLast(bool* from_provider) override;
  HRESULT Move(long rows, bool* from_provider) override;
  provider::Cell Get(int column) override;

  size_t memory_bytes() const { return rows_.MemoryBytes(); }

  // The write path. After a row is written the snapshot holds what was
  // written. RemoveCurrent leaves the position on the removed row: no row
  // is current (field access fails with 3021) until the next move, which
  // goes on from where the row was. REQUIRES (all): on_row().
  void ReplaceCurrent(const provider::Cell* cells);
  // Appends a row and makes it current.
  void AppendAndMoveTo(const provider::Cell* cells);
  void RemoveCurrent();
  bool on_removed_row() const { return removed_; }

 private:
  void SetPosition(long pos);

  RowStore rows_;
  long pos_ = 0;
  long decoded_ = -1;     // the row held in cells_
  bool removed_ = false;  // the current row was removed; pos_ is the row after it
  std::vector<provider::Cell> cells_;
};

}  // namespace korvo::ado
