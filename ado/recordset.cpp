// ado/recordset.cpp: the Recordset object: opening, navigation, and the
// write path (its Fields are in fields.cpp and field.cpp).
//
// States: the position and edit-mode tables in recordset_state_internal.h
// say which states each method accepts; every method checks them first.
//
// Writing: a static snapshot opened with an optimistic or pessimistic lock
// (pessimistic works as optimistic) on a result from one base table is
// updatable; on any other recordset AddNew, Update, Delete and Field.Value
// puts fail with 3251. Field puts collect in an edit buffer (EditMode
// adEditInProgress, or adEditAdd after AddNew) that Value shows;
// OriginalValue and UnderlyingValue show the row as last read from or
// written to the database. Update writes the buffer as one statement
// (RowWriter) and then changes the snapshot; a failing write leaves the
// snapshot and the buffer as they were, for CancelUpdate or another try.
// Moving with pending changes updates first, as ADO does. Close and
// Requery with an edit in progress (EditMode not adEditNone) are refused
// with 3219 and change nothing, until Update, CancelUpdate or CancelBatch
// ends the edit; only releasing the recordset or closing its connection
// drops a pending edit. Writes are immediate: batch updating is not
// offered.
#include <korvo/ado/command_internal.h>
#include <korvo/ado/connection_internal.h>
#include <korvo/ado/execute_internal.h>
#include <korvo/ado/member_fill_internal.h>
#include <korvo/ado/recordset_data_internal.h>
#include <korvo/ado/recordset_state_internal.h>
#include <korvo/ado/row_access_internal.h>
#include <korvo/ado/value_internal.h>
#include <korvo/com/error_info.h>
#include <korvo/platform/hot_internal.h>

namespace korvo::ado {
namespace {

using provider::Cell;
using provider::CellType;

class RecordsetObject final
    : public com::Object<_Recordset, IKorvoRowAccess, IKorvoMemberFill, IKorvoDirectPut>,
      public ConnectionClient {
 public:
  RecordsetObject() : data_(std::make_shared<RecordsetData>()) { MakeFields(); }

  // Takes an executed statement (used by Connection/Command Execute).
  HRESULT OpenOn(ConnectionObject* conn, std::shared_ptr<provider::Statement> statement,
                 const RecordsetRequest& request) {
    cursor_location_ = request.location;
    cursor_type_ = request.cursor_type;
    lock_type_ = request.lock_type;
    cache_size_ = request.cache_size;
    return Attach(conn, std::move(statement), request.source, request.timeout_seconds, false);
  }

  HRESULT get_Properties(Properties** out) override {
    if (out == nullptr) return ReportAdo(kEPointer);
    return CreateProperties({}, out);
  }
  HRESULT get_AbsolutePosition(long* out) override {
    if (const HRESULT hr = Check(RecordsetOperation::kReadState); FAILED(hr)) return hr;
    return Out(out, data_->cursor->absolute_position());
  }
  HRESULT get_ActiveConnection(_Connection** out) override {
    return OutInterface(out, connection_.GetInterfacePtr());
  }
  HRESULT putref_ActiveConnection(IDispatch* object) override {
    com::ClearErrorInfo();
    if (const HRESULT hr = Check(RecordsetOperation::kSetWhileClosed); FAILED(hr)) return hr;
    return ConnectionFromObject(object, std::addressof(connection_));
  }
  HRESULT get_BOF(VARIANT_BOOL* out) override {
    if (const HRESULT hr = Check(RecordsetOperation::kReadState); FAILED(hr)) return hr;
    return Out(out, data_->cursor->bof() ? VARIANT_TRUE : VARIANT_FALSE);
  }
  HRESULT get_EOF(VARIANT_BOOL* out) override {
    if (const HRESULT hr = Check(RecordsetOperation::kReadState); FAILED(hr)) return hr;
    return Out(out, data_->cursor->eof() ? VARIANT_TRUE : VARIANT_FALSE);
  }
  HRESULT get_CacheSize(long* out) override { return Out(out, cache_size_); }
  HRESULT put_CacheSize(long rows) override {
    if (rows <= 0) return ReportAdo(AdoError(3001), "CacheSize must be at least 1.");
    cache_size_ = rows;
    return kSOk;
  }
  HRESULT get_CursorType(CursorTypeEnum* out) override { return Out(out, cursor_type_); }
  HRESULT put_CursorType(CursorTypeEnum type) override {
    return SetWhileClosed(type, adOpenForwardOnly, adOpenStatic, &cursor_type_);
  }
  HRESULT get_LockType(LockTypeEnum* out) override { return Out(out, lock_type_); }
  HRESULT put_LockType(LockTypeEnum type) override {
    return SetWhileClosed(type, adLockReadOnly, adLockBatchOptimistic, &lock_type_);
  }
  HRESULT get_MaxRecords(long* out) override { return Out(out, 0L); }
  HRESULT put_MaxRecords(long rows) override {
    if (rows == 0) return kSOk;
    return ReportAdo(kENotImpl, "MaxRecords is not supported; limit the rows in the statement.");
  }
  HRESULT get_RecordCount(long* out) override {
    if (const HRESULT hr = Check(RecordsetOperation::kReadState); FAILED(hr)) return hr;
    return Out(out, data_->cursor->record_count());
  }
  HRESULT get_Source(VARIANT* out) override {
    if (out == nullptr) return ReportAdo(kEPointer);
    VariantInit(out);
    out->vt = VT_BSTR;
    out->bstrVal = Utf8ToBstr(source_.data(), source_.size());
    return kSOk;
  }
  HRESULT get_Fields(Fields** out) override { return OutInterface(out, fields_.GetInterfacePtr()); }
  HRESULT get_State(long* out) override {
    return Out(out, data_->cursor ? long{adStateOpen} : long{adStateClosed});
  }
  HRESULT get_CursorLocation(CursorLocationEnum* out) override {
    return Out(out, cursor_location_);
  }
  HRESULT put_CursorLocation(CursorLocationEnum location) override {
    return SetWhileClosed(location, adUseServer, adUseClient, &cursor_location_);
  }
  HRESULT get_EditMode(EditModeEnum* out) override {
    if (const HRESULT hr = Check(RecordsetOperation::kReadState); FAILED(hr)) return hr;
    return Out(out, data_->edit.mode);
  }
  HRESULT raw_AddNew(VARIANT fieldList, VARIANT values) override {
    com::ClearErrorInfo();
    HRESULT hr = WritableWithoutLists(RecordsetOperation::kEdit, fieldList, values);
    if (FAILED(hr)) return hr;
    if (data_->edit.mode != adEditNone) {
      hr = Store();
      if (FAILED(hr)) return hr;
    }
    data_->edit.mode = adEditAdd;
    return kSOk;
  }
  HRESULT raw_CancelUpdate() override {
    if (const HRESULT hr = Check(RecordsetOperation::kEdit); FAILED(hr)) return hr;
    DropEdit();
    return kSOk;
  }
  HRESULT raw_Delete(AffectEnum affect) override {
    com::ClearErrorInfo();
    HRESULT hr = WritableWithoutLists(RecordsetOperation::kDelete, vtMissing, vtMissing);
    if (FAILED(hr)) return hr;
    if (affect != adAffectCurrent) {
      return ReportAdo(AdoError(3001), "Delete removes the current row only (adAffectCurrent).");
    }
    if (data_->edit.mode == adEditAdd) {  // the new row was never written
      DropEdit();
      return kSOk;
    }
    auto& cursor = static_cast<SnapshotCursor&>(*data_->cursor);
    auto* conn = static_cast<ConnectionObject*>(connection_.GetInterfacePtr());
    if (conn == nullptr || !conn->is_open()) return ReportAdo(kAdoConnectionUnusable);
    conn->BeginOperation();
    ReadOriginal(cursor);
    hr = data_->writer->Delete(*conn->provider(), original_.data(),
                               ConnectionObject::DeadlineFor(conn->command_timeout()));
    if (FAILED(hr)) return conn->FailFromProvider(hr);
    DropEdit();
    cursor.RemoveCurrent();
    return kSOk;
  }
  HRESULT raw_Update(VARIANT fields, VARIANT values) override {
    com::ClearErrorInfo();
    const HRESULT hr = WritableWithoutLists(RecordsetOperation::kEdit, fields, values);
    if (FAILED(hr)) return hr;
    return data_->edit.mode == adEditNone ? kSOk : Store();
  }
  HRESULT raw_CancelBatch(AffectEnum) override {
    if (const HRESULT hr = Check(RecordsetOperation::kEdit); FAILED(hr)) return hr;
    DropEdit();  // writes are immediate: only the current row's edit is pending
    return kSOk;
  }

  HRESULT raw_Close() override {
    com::ClearErrorInfo();
    if (const HRESULT hr = Check(RecordsetOperation::kClose); FAILED(hr)) return hr;
    CloseNow(true);
    return kSOk;
  }

  HRESULT raw_Move(long rows, VARIANT start) override {
    const VARIANT* v = start.vt == (VT_BYREF | VT_VARIANT) ? start.pvarVal : &start;
    const bool missing =
        v->vt == VT_EMPTY || (v->vt == VT_ERROR && v->scode == DISP_E_PARAMNOTFOUND);
    long base = adBookmarkCurrent;
    if (!missing) {
      VARIANT n;
      VariantInit(&n);
      if (FAILED(VariantChangeType(&n, v, 0, VT_I4)) || n.lVal < 0 || n.lVal > 2) {
        return ReportAdo(AdoError(3001), "Move takes a start of adBookmarkCurrent, First or Last.");
      }
      base = n.lVal;
    }
    return Navigate([&](Cursor& c, bool* p) -> HRESULT {
      if (base == adBookmarkFirst || base == adBookmarkLast) {
        const HRESULT hr = base == adBookmarkFirst ? c.MoveFirst(p) : c.MoveLast(p);
        if (FAILED(hr)) return hr;
        if (rows == 0) return kSOk;
      }
      return c.Move(rows, p);
    });
  }
  KORVO_HOT HRESULT raw_MoveNext() override {
    return Navigate([](Cursor& c, bool* p) { return c.MoveNext(p); });
  }
  HRESULT raw_MovePrevious() override {
    return Navigate([](Cursor& c, bool* p) { return c.MovePrevious(p); });
  }
  HRESULT raw_MoveFirst() override {
    return Navigate([](Cursor& c, bool* p) { return c.MoveFirst(p); });
  }
  HRESULT raw_MoveLast() override {
    return Navigate([](Cursor& c, bool* p) { return c.MoveLast(p); });
  }

  HRESULT raw_Open(VARIANT source, VARIANT activeConnection, CursorTypeEnum cursorType,
                   LockTypeEnum lockType, long options) override {
    com::ClearErrorInfo();
    if (const HRESULT hr = Check(RecordsetOperation::kOpen); FAILED(hr)) return hr;
    if (cursorType != adOpenUnspecified) {
      if (cursorType < adOpenForwardOnly || cursorType > adOpenStatic)
        return ReportAdo(AdoError(3001));
      cursor_type_ = cursorType;
    }
    if (lockType != adLockUnspecified) {
      if (lockType < adLockReadOnly || lockType > adLockBatchOptimistic)
        return ReportAdo(AdoError(3001));
      lock_type_ = lockType;
    }
    const VARIANT* src = source.vt == (VT_BYREF | VT_VARIANT) ? source.pvarVal : &source;
    std::shared_ptr<provider::Statement> statement;
    std::string sql;
    _ConnectionPtr conn_ptr;
    long timeout = 30;
    if ((src->vt == VT_DISPATCH || src->vt == VT_UNKNOWN) && src->punkVal != nullptr) {
      ImplRef<CommandObject> command(src->punkVal, kCommandImplIid);
      if (!command) return ReportAdo(AdoError(3001), "The Source object is not a Command.");
      const HRESULT hr =
          command->RunForRecordset(options, &statement, std::addressof(conn_ptr), &sql);
      if (FAILED(hr)) return hr;
      timeout = command->timeout();
    } else if (src->vt == VT_BSTR) {
      if (auto nul = NulRecord(src->bstrVal, "The source text", kDbErrorsInCommand))
        return Report(*nul);
      bool given = false;
      HRESULT hr = ConnectionFromVariant(activeConnection, std::addressof(conn_ptr), &given);
      if (FAILED(hr)) return hr;
      if (!given) conn_ptr = connection_;
      auto* conn = static_cast<ConnectionObject*>(conn_ptr.GetInterfacePtr());
      if (conn == nullptr || !conn->is_open()) return ReportAdo(kAdoConnectionUnusable);
      conn->BeginOperation();
      hr = conn->StatementText(options, adCmdText, BstrToUtf8(src->bstrVal), &sql);
      if (FAILED(hr)) return hr;
      timeout = conn->command_timeout();
      hr = conn->FireWillExecute(sql, cursor_type_, lock_type_, options, nullptr, this)
               ? conn->PrepareAndRun(sql, {}, timeout, &statement, FetchRows())
               : kAdoNotAllowed;
      if (FAILED(hr)) {
        conn->FireExecuteComplete(-1, hr, nullptr, this);
        return hr;
      }
    } else {
      return ReportAdo(AdoError(3001), "The Source must be SQL text or a Command object.");
    }
    return Attach(static_cast<ConnectionObject*>(conn_ptr.GetInterfacePtr()), std::move(statement),
                  sql, timeout);
  }

  HRESULT raw_Requery(long) override {
    com::ClearErrorInfo();
    if (const HRESULT hr = Check(RecordsetOperation::kRequery); FAILED(hr)) return hr;
    auto* conn = static_cast<ConnectionObject*>(connection_.GetInterfacePtr());
    const std::string sql = source_;
    CloseNow(true);
    if (conn == nullptr || !conn->is_open()) return ReportAdo(kAdoConnectionUnusable);
    conn->BeginOperation();
    std::shared_ptr<provider::Statement> statement;
    const HRESULT hr =
        conn->PrepareAndRun(sql, {}, conn->command_timeout(), &statement, FetchRows());
    if (FAILED(hr)) return hr;
    return Attach(conn, std::move(statement), sql, conn->command_timeout());
  }

  void OnConnectionClosing() override { CloseNow(false); }

  long ColumnCount() override { return FieldCount(fields_.GetInterfacePtr()); }
  HRESULT GetCell(long column, RowCell* cell) override {
    if (cell == nullptr || column < 0 || column >= ColumnCount()) return S_FALSE;
    return GetFieldRowCell(FieldAt(fields_.GetInterfacePtr(), column), cell);
  }
  HRESULT GetRow(long count, RowCell* cells) override {
    if (cells == nullptr || count > ColumnCount()) return S_FALSE;
    return GetRowCells(*data_, count, cells);
  }
  HRESULT PutCell(long column, const RowCell& cell) override {
    if (column < 0 || column >= ColumnCount()) return ReportAdo(kAdoItemNotFound);
    return PutFieldRowCell(FieldAt(fields_.GetInterfacePtr(), column), cell);
  }
  FillResult FillMember(long column, MemberKind kind, void* member, int size) override {
    return FillRowMember(*data_, column, kind, member, size);
  }
  bool ResolveFill(long column, MemberKind kind, ResolvedFill* out) override {
    return out != nullptr && ResolveRowFill(*data_, column, kind, out);
  }
  bool ResolvePut(long column, ResolvedPut* out) override {
    return out != nullptr && ResolveFieldPut(*data_, fields_.GetInterfacePtr(), column, out);
  }
  int AtEof() override {
    if (!data_->cursor) return -1;
    return data_->cursor->eof() ? 1 : 0;
  }
  bool ResolveEof(ResolvedEof* out) override {
    if (out == nullptr || !data_->cursor) return false;
    out->at_eof = data_->cursor->EofReader(&out->cursor);
    out->generation = &data_->generation;
    out->resolved_at = data_->generation;
    return true;
  }

 protected:
  ~RecordsetObject() override {
    if (data_->cursor) CloseNow(true);
  }

 private:
  // The setters of what an Open uses: only while closed, and only a value
  // in [lowest, highest] (else 3001, nothing changed).
  template <class Enum>
  HRESULT SetWhileClosed(Enum value, Enum lowest, Enum highest, Enum* field) {
    if (const HRESULT hr = Check(RecordsetOperation::kSetWhileClosed); FAILED(hr)) return hr;
    if (value < lowest || value > highest) return ReportAdo(AdoError(3001));
    *field = value;
    return kSOk;
  }

  // A stream reads CacheSize rows per engine fetch; a snapshot reads the
  // whole result, in large blocks.
  long FetchRows() const {
    constexpr long kSnapshotBlock = 1000;
    const bool stream = cursor_location_ != adUseClient && cursor_type_ == adOpenForwardOnly;
    return stream ? cache_size_ : std::max(cache_size_, kSnapshotBlock);
  }

  void MakeFields() {
    fields_ = nullptr;
    Fields* f = nullptr;
    CreateFieldsObject(data_, &f);
    fields_.Attach(f);
  }

  // In a state `operation` accepts, updatable, and called without the
  // field-list and value-array arguments (values are assigned through the
  // Fields instead).
  HRESULT WritableWithoutLists(RecordsetOperation operation, const VARIANT& fields,
                               const VARIANT& values) {
    if (const HRESULT hr = Check(operation); FAILED(hr)) return hr;
    if (!data_->writer) return ReportAdo(kAdoNotUpdatable);
    auto missing = [](const VARIANT& v) {
      return v.vt == VT_EMPTY || (v.vt == VT_ERROR && v.scode == DISP_E_PARAMNOTFOUND);
    };
    if (!missing(fields) || !missing(values)) {
      return ReportAdo(AdoError(3001),
                       "Assign the values through the Fields, then call without lists.");
    }
    return kSOk;
  }

  // The state table's check (recordset_state_internal.h).
  HRESULT Check(RecordsetOperation operation) const {
    if (AcceptedAtAnyOpenPosition(operation, data_->cursor != nullptr, data_->edit.mode))
      return kSOk;
    return CheckRecordsetState(*data_, operation);
  }

  void DropEdit() {
    if (data_->cursor) data_->edit.Reset(data_->cursor->columns().size());
  }

  void ReadOriginal(Cursor& cursor) {
    const size_t n = cursor.columns().size();
    original_.resize(n);
    for (size_t i = 0; i < n; ++i) original_[i] = cursor.Get(static_cast<int>(i));
  }

  // Writes the edit buffer (an edited or a new row); on success the
  // snapshot holds the row as written and the buffer is empty.
  HRESULT Store() {
    auto& cursor = static_cast<SnapshotCursor&>(*data_->cursor);
    EditBuffer& edit = data_->edit;
    auto* conn = static_cast<ConnectionObject*>(connection_.GetInterfacePtr());
    if (conn == nullptr || !conn->is_open()) return ReportAdo(kAdoConnectionUnusable);
    const size_t n = cursor.columns().size();
    const provider::Deadline deadline = ConnectionObject::DeadlineFor(conn->command_timeout());
    conn->BeginOperation();
    if (edit.mode == adEditAdd) {
      int key_column = -1;
      int64_t key = 0;
      const HRESULT hr = data_->writer->Insert(*conn->provider(), edit.changed_list, edit.values,
                                               deadline, &key_column, &key);
      if (FAILED(hr)) return conn->FailFromProvider(hr);
      // The row as written: the put values, the generated key, else NULL
      // (each cell written once).
      original_.resize(n);
      for (size_t c = 0; c < n; ++c)
        original_[c] = edit.changed[c] != 0 ? CellOf(edit.values[c]) : Cell{};
      if (key_column >= 0) {
        original_[static_cast<size_t>(key_column)].type = CellType::kInt;
        original_[static_cast<size_t>(key_column)].i = key;
      }
      cursor.AppendAndMoveTo(original_.data());
    } else {
      if (!cursor.on_row()) return ReportAdo(kAdoNoCurrentRecord);
      ReadOriginal(cursor);
      const HRESULT hr = data_->writer->Update(*conn->provider(), original_.data(),
                                               edit.changed_list, edit.values, deadline);
      if (FAILED(hr)) return conn->FailFromProvider(hr);
      for (const int c : edit.changed_list)
        original_[static_cast<size_t>(c)] = CellOf(edit.values[static_cast<size_t>(c)]);
      cursor.ReplaceCurrent(original_.data());
    }
    edit.Reset(n);
    return kSOk;
  }

  // Opens on an executed statement. `fire`: this recordset's own Open
  // (not a connection's or command's Execute, which fire for themselves).
  HRESULT Attach(ConnectionObject* conn, std::shared_ptr<provider::Statement> statement,
                 const std::string& sql, long timeout, bool fire = true) {
    if (statement->Columns().empty()) {
      // A statement without rows leaves the recordset closed, as in ADO.
      const HRESULT hr = DrainStatement(*conn, *statement, timeout);
      if (FAILED(hr)) {
        if (fire) conn->FireExecuteComplete(-1, hr, nullptr, this);
        return hr;
      }
      conn->DeliverMessages();
      if (fire)
        conn->FireExecuteComplete(RecordsAffectedValue(statement->RowsAffected()), kSOk, nullptr,
                                  this);
      return kSOk;
    }
    std::unique_ptr<Cursor> cursor;
    if (cursor_location_ == adUseClient || cursor_type_ != adOpenForwardOnly) {
      HRESULT hr = kSOk;
      auto snapshot =
          std::make_unique<SnapshotCursor>(*statement, ConnectionObject::DeadlineFor(timeout), &hr);
      if (FAILED(hr)) {
        statement->Reset();
        conn->FailFromProvider(hr);
        if (fire) conn->FireExecuteComplete(-1, hr, nullptr, this);
        return hr;
      }
      cursor = std::move(snapshot);
      cursor_type_ = adOpenStatic;  // a snapshot is static, whatever was asked
    } else {
      cursor = std::make_unique<StreamCursor>(std::move(statement));
    }
    data_->writer.reset();
    if ((lock_type_ == adLockOptimistic || lock_type_ == adLockPessimistic) &&
        dynamic_cast<SnapshotCursor*>(cursor.get()) != nullptr) {
      std::string reason;
      data_->writer = RowWriter::For(*conn->provider(), cursor->columns(), &reason);
      conn->provider()->diagnostics().errors.clear();
    }
    data_->edit = EditBuffer{};
    data_->edit.Reset(cursor->columns().size());
    data_->cursor = std::move(cursor);
    ++data_->generation;
    MakeFields();
    source_ = sql;
    connection_ = static_cast<_Connection*>(conn);
    conn->Attach(this);
    conn->DeliverMessages();
    if (fire) conn->FireExecuteComplete(-1, kSOk, nullptr, this);
    return kSOk;
  }

  void CloseNow(bool detach) {
    if (detach && connection_)
      static_cast<ConnectionObject*>(connection_.GetInterfacePtr())->Detach(this);
    data_->cursor.reset();
    data_->writer.reset();  // its prepared statements go with it
    data_->edit = EditBuffer{};
    ++data_->generation;
    MakeFields();
  }

  template <class Fn>
  HRESULT Navigate(Fn&& fn) {
    com::ClearErrorInfo();
    if (const HRESULT hr = Check(RecordsetOperation::kMove); FAILED(hr)) return hr;
    if (data_->edit.mode != adEditNone) {  // moving stores the pending edit first
      const HRESULT stored = Store();
      if (FAILED(stored)) return stored;
    }
    bool from_provider = false;
    const HRESULT hr = fn(*data_->cursor, &from_provider);
    if (SUCCEEDED(hr)) return hr;
    auto* conn = static_cast<ConnectionObject*>(connection_.GetInterfacePtr());
    if (from_provider && conn != nullptr) return conn->FailFromProvider(hr);
    return ReportAdo(hr);
  }

  std::shared_ptr<RecordsetData> data_;
  std::vector<Cell> original_;  // the current row's cells while it is written
  FieldsPtr fields_;
  _ConnectionPtr connection_;
  std::string source_;
  CursorLocationEnum cursor_location_ = adUseServer;
  CursorTypeEnum cursor_type_ = adOpenForwardOnly;
  LockTypeEnum lock_type_ = adLockReadOnly;
  long cache_size_ = 1;
};

}  // namespace

HRESULT CreateOpenRecordset(ConnectionObject* connection,
                            std::shared_ptr<provider::Statement> statement,
                            const RecordsetRequest& request, _Recordset** out) {
  _Recordset* raw = nullptr;
  HRESULT hr =
      com::CreateObject<RecordsetObject>(KORVO_UUIDOF(_Recordset), reinterpret_cast<void**>(&raw));
  if (FAILED(hr)) return ReportAdo(hr);
  _RecordsetPtr holder(raw, false);
  hr = static_cast<RecordsetObject*>(raw)->OpenOn(connection, std::move(statement), request);
  if (FAILED(hr)) return hr;
  *out = holder.Detach();
  return kSOk;
}

HRESULT CreateRecordsetObject(REFIID riid, void** out) {
  return com::CreateObject<RecordsetObject>(riid, out);
}

}  // namespace korvo::ado
