// ado/cursor.cpp: forward-only stream and static snapshot cursors.
#include <korvo/ado/cursor_internal.h>
#include <korvo/ado/hresult_internal.h>
#include <korvo/com/hresult.h>
#include <korvo/platform/hot_internal.h>

namespace korvo::ado {

StreamCursor::StreamCursor(std::shared_ptr<provider::Statement> statement)
    : statement_(std::move(statement)) {
  columns_ = statement_->Columns();
  empty_ = !statement_->HasRow();
}

KORVO_HOT HRESULT StreamCursor::MoveNext(bool* from_provider) {
  if (eof()) return kAdoNoCurrentRecord;
  ++row_serial_;
  const HRESULT hr = statement_->Next(provider::NoDeadline());
  *from_provider = FAILED(hr);
  return hr;
}

HRESULT StreamCursor::MovePrevious(bool*) { return kDbCantFetchBackwards; }

HRESULT StreamCursor::MoveFirst(bool* from_provider) {
  // A forward-only result starts over by running its statement again.
  ++row_serial_;
  const HRESULT hr = statement_->Execute({}, provider::NoDeadline());
  *from_provider = FAILED(hr);
  if (SUCCEEDED(hr)) empty_ = !statement_->HasRow();
  return hr;
}

HRESULT StreamCursor::MoveLast(bool*) { return kDbCantFetchBackwards; }

HRESULT StreamCursor::Move(long rows, bool* from_provider) {
  if (rows < 0) return kDbCantFetchBackwards;
  if (eof()) return kAdoNoCurrentRecord;
  for (long i = 0; i < rows && !eof(); ++i) {
    const HRESULT hr = MoveNext(from_provider);
    if (FAILED(hr)) return hr;
  }
  return kSOk;
}

SnapshotCursor::SnapshotCursor(provider::Statement& statement, provider::Deadline deadline,
                               HRESULT* hr)
    : rows_(statement.Columns().size()) {
  columns_ = statement.Columns();
  cells_.resize(columns_.size());
  *hr = kSOk;
  while (statement.HasRow()) {
    rows_.Append(statement);
    *hr = statement.Next(deadline);
    if (FAILED(*hr)) return;
  }
  statement.Reset();  // releases the engine's read lock at once
  pos_ = 0;
}

long SnapshotCursor::absolute_position() const {
  if (removed_) return -1;
  if (bof()) return -2;
  if (eof()) return -3;
  return pos_ + 1;
}

void SnapshotCursor::SetPosition(long pos) {
  const long n = static_cast<long>(rows_.size());
  pos_ = pos < 0 ? -1 : pos > n ? n : pos;
  removed_ = false;
  ++row_serial_;
}

KORVO_HOT HRESULT SnapshotCursor::MoveNext(bool*) {
  if (eof()) return kAdoNoCurrentRecord;
  SetPosition(removed_ ? pos_ : pos_ + 1);
  return kSOk;
}

HRESULT SnapshotCursor::MovePrevious(bool*) {
  if (bof()) return kAdoNoCurrentRecord;
  SetPosition(pos_ - 1);
  return kSOk;
}

HRESULT SnapshotCursor::MoveFirst(bool*) {
  SetPosition(0);
  return kSOk;
}

HRESULT SnapshotCursor::MoveLast(bool*) {
  SetPosition(static_cast<long>(rows_.size()) - 1);
  if (rows_.size() == 0) pos_ = 0;
  return kSOk;
}

HRESULT SnapshotCursor::Move(long rows, bool*) {
  // Relative to the current row; from BOF only forward, from EOF only back.
  if ((bof() && rows <= 0) || (eof() && rows >= 0)) return kAdoNoCurrentRecord;
  // From a removed row, pos_ already is one step forward.
  SetPosition(removed_ && rows > 0 ? pos_ + rows - 1 : pos_ + rows);
  return kSOk;
}

void SnapshotCursor::ReplaceCurrent(const provider::Cell* cells) {
  rows_.ReplaceCells(static_cast<size_t>(pos_), cells);
  decoded_ = -1;
  ++row_serial_;
}

void SnapshotCursor::AppendAndMoveTo(const provider::Cell* cells) {
  rows_.AppendCells(cells);
  SetPosition(static_cast<long>(rows_.size()) - 1);
  decoded_ = -1;
}

void SnapshotCursor::RemoveCurrent() {
  rows_.Erase(static_cast<size_t>(pos_));
  decoded_ = -1;
  removed_ = true;
  ++row_serial_;
}

KORVO_HOT provider::Cell SnapshotCursor::Get(int column) {
  if (decoded_ != pos_) {
    rows_.Read(static_cast<size_t>(pos_), cells_.data());
    decoded_ = pos_;
  }
  return cells_[static_cast<size_t>(column)];
}

}  // namespace korvo::ado
