// ado/recordset.cpp: the Recordset object (the read path) and its Fields
// and Field objects.
//
// Recordset states: closed (after creation, Close, or its connection's
// Close) and open. Every navigation and field access on a closed
// recordset fails with 3704; Open on an open one with 3705; a field value
// without a current row (BOF or EOF) with 3021.
// Fields and Field objects share the recordset's data through a
// reference-counted block, so a Field kept by the host after the
// recordset closed (or went away) reports 3704 instead of reading freed
// memory.
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
#include <korvo/ado/cursor_internal.h>
#include <korvo/ado/excerpt_internal.h>
#include <korvo/ado/row_access_internal.h>
#include <korvo/ado/row_writer_internal.h>
#include <korvo/ado/value_internal.h>
#include <korvo/com/error_info.h>

namespace korvo::ado {
namespace {

using provider::Cell;
using provider::CellType;
using provider::ColumnInfo;

// Field values put since the last Update, per column.
struct EditBuffer {
  EditModeEnum mode = adEditNone;
  std::vector<provider::ParamValue> values;
  std::vector<uint8_t> changed;  // 0 not put, 1 put, 2 put by AppendChunk
  std::vector<int> changed_list;

  void Reset(size_t columns) {
    mode = adEditNone;
    if (changed.size() != columns) {
      changed.assign(columns, 0);
      values.resize(columns);
    }
    for (const int c : changed_list) changed[static_cast<size_t>(c)] = 0;
    changed_list.clear();
  }
  // A chunk after a chunk of the same edit is appended to it.
  void Assign(int column, provider::ParamValue&& value, bool chunk) {
    const auto c = static_cast<size_t>(column);
    if (mode == adEditNone) mode = adEditInProgress;
    if (changed[c] == 0) changed_list.push_back(column);
    provider::ParamValue& target = values[c];
    if (chunk && changed[c] == 2 && target.type != CellType::kNull && value.type != CellType::kNull) {
      target.bytes += value.bytes;
    } else {
      target = std::move(value);
    }
    changed[c] = chunk ? 2 : 1;
  }
};

Cell CellOf(const provider::ParamValue& v) {
  Cell c;
  c.type = v.type;
  c.i = v.i;
  c.r = v.r;
  c.data = v.bytes.data();
  c.size = v.bytes.size();
  return c;
}

// What the recordset, its Fields and its Field objects share.
struct RecordsetData {
  std::unique_ptr<Cursor> cursor;  // null while closed
  uint64_t generation = 0;         // bumped by every open and close
  std::unique_ptr<RowWriter> writer;  // null: the recordset is not updatable
  EditBuffer edit;
};

class FieldObject final : public com::Object<Field> {
 public:
  FieldObject(std::shared_ptr<RecordsetData> data, int column)
      : data_(std::move(data)), generation_(data_->generation), column_(column),
        info_(data_->cursor->columns()[static_cast<size_t>(column)]) {}

  HRESULT get_ActualSize(long* out) override {
    Cell cell;
    const HRESULT hr = Current(&cell);
    if (FAILED(hr)) return hr;
    return Out(out, CellActualSize(cell, info_.ado_type, info_.defined_size));
  }
  HRESULT get_Attributes(long* out) override {
    if (!Open()) return ReportAdo(kAdoObjectClosed);
    long a = adFldUnknownUpdatable;
    if (info_.nullable) a |= adFldIsNullable | adFldMayBeNull;
    if (info_.ado_type == adLongVarWChar || info_.ado_type == adLongVarBinary ||
        info_.ado_type == adLongVarChar || info_.defined_size >= 1073741823)
      a |= adFldLong;
    if (info_.ado_type == adWChar || info_.ado_type == adChar || info_.ado_type == adBinary ||
        (!IsTextType(info_.ado_type) && !IsBinaryType(info_.ado_type)))
      a |= adFldFixed;
    if (info_.key) a |= adFldKeyColumn;
    if (info_.autoincrement) a |= adFldRowID;
    return Out(out, a);
  }
  HRESULT get_DefinedSize(long* out) override {
    if (!Open()) return ReportAdo(kAdoObjectClosed);
    return Out(out, static_cast<long>(info_.defined_size));
  }
  HRESULT get_Name(BSTR* out) override {
    if (!Open()) return ReportAdo(kAdoObjectClosed);
    return OutText(out, info_.name);
  }
  HRESULT get_Type(DataTypeEnum* out) override {
    if (!Open()) return ReportAdo(kAdoObjectClosed);
    return Out(out, static_cast<DataTypeEnum>(info_.ado_type));
  }
  HRESULT get_Value(VARIANT* out) override {
    if (out == nullptr) return ReportAdo(kEPointer);
    Cell cell;
    const HRESULT hr = Current(&cell);
    if (FAILED(hr)) return hr;
    VariantInit(out);
    return Convert(cell, out);
  }
  HRESULT put_Value(VARIANT value) override { return Put(value, false); }
  HRESULT get_Precision(unsigned char* out) override {
    if (!Open()) return ReportAdo(kAdoObjectClosed);
    return Out(out, info_.precision);
  }
  HRESULT get_NumericScale(unsigned char* out) override {
    if (!Open()) return ReportAdo(kAdoObjectClosed);
    return Out(out, info_.scale);
  }
  HRESULT raw_GetChunk(long length, VARIANT* out) override {
    if (out == nullptr) return ReportAdo(kEPointer);
    Cell cell;
    const HRESULT hr = Current(&cell);
    if (FAILED(hr)) return hr;
    VariantInit(out);
    // A NULL answers VT_NULL whatever length was asked for (its ActualSize
    // is adUnknown, which a reader may pass on as the length).
    if (cell.type == CellType::kNull) {
      out->vt = VT_NULL;
      return kSOk;
    }
    if (length < 0) return ReportAdo(AdoError(3001));
    if (chunk_serial_ != data_->cursor->row_serial()) {
      chunk_serial_ = data_->cursor->row_serial();
      chunk_offset_ = 0;
    }
    if (cell.type != CellType::kText && cell.type != CellType::kBlob) return Convert(cell, out);
    if (IsTextType(info_.ado_type) || (cell.type == CellType::kText && !IsBinaryType(info_.ado_type))) {
      // Text comes in UTF-16 characters.
      const std::u16string all = Utf8ToUtf16(std::string_view(cell.data, cell.size));
      if (chunk_offset_ >= all.size() && !(all.empty() && chunk_offset_ == 0)) {
        out->vt = VT_NULL;
        return kSOk;
      }
      const size_t n = std::min(all.size() - chunk_offset_, static_cast<size_t>(length));
      out->vt = VT_BSTR;
      out->bstrVal = SysAllocStringLen(all.data() + chunk_offset_, static_cast<UINT>(n));
      chunk_offset_ += n == 0 ? 1 : n;
      return out->bstrVal ? kSOk : ReportAdo(kEOutOfMemory);
    }
    if (chunk_offset_ >= cell.size && !(cell.size == 0 && chunk_offset_ == 0)) {
      out->vt = VT_NULL;
      return kSOk;
    }
    const size_t n = std::min(cell.size - chunk_offset_, static_cast<size_t>(length));
    Cell part = cell;
    part.type = CellType::kBlob;
    part.data = cell.data + chunk_offset_;
    part.size = n;
    chunk_offset_ += n == 0 ? 1 : n;
    return FAILED(CellToVariant(part, adLongVarBinary, out)) ? ReportAdo(kEOutOfMemory) : kSOk;
  }
  HRESULT raw_AppendChunk(VARIANT data) override { return Put(data, true); }
  // IKorvoRowAccess for this field.
  HRESULT GetRowCell(RowCell* out) {
    Cell cell;
    return Peek(&cell) && CellToRowCell(cell, info_.ado_type, out) ? kSOk : S_FALSE;
  }
  HRESULT PutRowCell(const RowCell& value) {
    return PutConverted(false, [&](provider::ParamValue* converted, std::string* error) {
      return RowCellToParam(value, info_.ado_type, converted, error);
    });
  }
  HRESULT get_OriginalValue(VARIANT* out) override { return StoredValue(out); }
  HRESULT get_UnderlyingValue(VARIANT* out) override { return StoredValue(out); }

 private:
  bool Open() const { return data_->cursor && data_->generation == generation_; }

  // The value as the edit buffer shows it.
  HRESULT Current(Cell* cell) {
    if (Peek(cell)) return kSOk;
    return ReportAdo(Open() ? kAdoNoCurrentRecord : kAdoObjectClosed);
  }
  // Current without a report: false when closed or no row is current.
  bool Peek(Cell* cell) {
    if (!Open()) return false;
    const EditBuffer& edit = data_->edit;
    if (edit.mode != adEditNone && edit.changed[static_cast<size_t>(column_)] != 0) {
      *cell = CellOf(edit.values[static_cast<size_t>(column_)]);
      return true;
    }
    if (edit.mode == adEditAdd) {
      *cell = Cell{};
      return true;
    }
    Cursor& cursor = *data_->cursor;
    if (!cursor.on_row()) return false;
    *cell = cursor.Get(column_);
    return true;
  }

  // The value as the snapshot holds it (NULL for a row being added).
  HRESULT StoredValue(VARIANT* out) {
    if (out == nullptr) return ReportAdo(kEPointer);
    if (!Open()) return ReportAdo(kAdoObjectClosed);
    Cell cell;
    if (data_->edit.mode != adEditAdd) {
      if (!data_->cursor->on_row()) return ReportAdo(kAdoNoCurrentRecord);
      cell = data_->cursor->Get(column_);
    }
    VariantInit(out);
    return Convert(cell, out);
  }

  // The cell as this field's Value, or a report of why it cannot be one.
  HRESULT Convert(const Cell& cell, VARIANT* out) {
    const HRESULT hr = CellToVariant(cell, info_.ado_type, out);
    if (SUCCEEDED(hr) || hr == kEOutOfMemory) return SUCCEEDED(hr) ? kSOk : ReportAdo(hr);
    static const char* const kKinds[] = {"NULL", "integer", "real", "text", "binary"};
    std::string held = kKinds[static_cast<int>(cell.type)];
    if (cell.type == CellType::kInt) held += " " + std::to_string(cell.i);
    if (cell.type == CellType::kText) held += " '" + Excerpt(std::string_view(cell.data, cell.size), 40) + "'";
    return ReportAdo(hr, "The value of field \"" + info_.name + "\" (" + held + ") " +
                             (hr == kDbDataOverflow ? "is out of the range of" : "cannot be converted to") +
                             " its type (ADO type " + std::to_string(info_.ado_type) + ").");
  }

  // Value puts and AppendChunk: converted to the column's type at once,
  // so a value the column cannot take fails here and changes nothing.
  HRESULT Put(const VARIANT& value, bool chunk) {
    return PutConverted(chunk, [&](provider::ParamValue* converted, std::string* error) {
      return VariantToParam(value, info_.ado_type, converted, error);
    });
  }
  template <class Convert>
  HRESULT PutConverted(bool chunk, Convert&& convert) {
    if (!Open()) return ReportAdo(kAdoObjectClosed);
    RecordsetData& d = *data_;
    if (!d.writer) return ReportAdo(kAdoNotUpdatable);
    if (d.edit.mode == adEditNone && !d.cursor->on_row()) return ReportAdo(kAdoNoCurrentRecord);
    if (chunk && !IsTextType(info_.ado_type) && !IsBinaryType(info_.ado_type)) {
      return ReportAdo(kAdoWrongType, "AppendChunk needs a text or binary field.");
    }
    provider::ParamValue converted;
    std::string error;
    const HRESULT hr = convert(&converted, &error);
    if (FAILED(hr)) return ReportAdo(hr, error);
    d.edit.Assign(column_, std::move(converted), chunk);
    return kSOk;
  }

  std::shared_ptr<RecordsetData> data_;
  uint64_t generation_;
  int column_;
  ColumnInfo info_;
  uint64_t chunk_serial_ = ~uint64_t{0};
  size_t chunk_offset_ = 0;
};

class FieldsObject final : public com::Object<Fields> {
 public:
  explicit FieldsObject(std::shared_ptr<RecordsetData> data) {
    if (!data->cursor) return;
    const auto& columns = data->cursor->columns();
    for (size_t i = 0; i < columns.size(); ++i) {
      Field* f = nullptr;
      com::CreateObject<FieldObject>(KORVO_UUIDOF(Field), reinterpret_cast<void**>(&f), data,
                                     static_cast<int>(i));
      fields_.emplace_back(f, false);
      names_.push_back(columns[i].name);
    }
  }
  HRESULT get_Count(long* out) override { return Out(out, static_cast<long>(fields_.size())); }
  HRESULT get_Item(VARIANT index, Field** out) override {
    if (out == nullptr) return ReportAdo(kEPointer);
    *out = nullptr;
    long position = -1;
    std::string name;
    bool by_name = false;
    if (!ParseIndex(index, &position, &name, &by_name)) return ReportAdo(kAdoItemNotFound);
    if (by_name) {
      position = -1;
      for (size_t i = 0; i < names_.size(); ++i) {
        if (EqualNames(names_[i], name)) {
          position = static_cast<long>(i);
          break;
        }
      }
    }
    if (position < 0 || static_cast<size_t>(position) >= fields_.size()) {
      return ReportAdo(kAdoItemNotFound);
    }
    return OutInterface(out, fields_[static_cast<size_t>(position)].GetInterfacePtr());
  }
  HRESULT raw_Refresh() override { return kSOk; }

  size_t size() const { return fields_.size(); }
  FieldObject& at(size_t i) { return *static_cast<FieldObject*>(fields_[i].GetInterfacePtr()); }

 private:
  std::vector<FieldPtr> fields_;
  std::vector<std::string> names_;
};

class RecordsetObject final : public com::Object<_Recordset, IKorvoRowAccess>, public ConnectionClient {
 public:
  RecordsetObject() : data_(std::make_shared<RecordsetData>()) { MakeFields(); }

  // Takes an executed statement (used by Connection/Command Execute).
  HRESULT OpenOn(ConnectionObject* conn, std::shared_ptr<provider::Statement> statement,
                 const RecordsetSpec& spec) {
    cursor_location_ = spec.location;
    cursor_type_ = spec.cursor_type;
    lock_type_ = spec.lock_type;
    cache_size_ = spec.cache_size;
    return Attach(conn, std::move(statement), spec.source, spec.timeout_seconds, false);
  }

  HRESULT get_Properties(Properties** out) override {
    if (out == nullptr) return ReportAdo(kEPointer);
    return CreateProperties({}, out);
  }
  HRESULT get_AbsolutePosition(long* out) override {
    if (!data_->cursor) return ReportAdo(kAdoObjectClosed);
    return Out(out, data_->cursor->absolute_position());
  }
  HRESULT get_ActiveConnection(_Connection** out) override {
    return OutInterface(out, connection_.GetInterfacePtr());
  }
  HRESULT putref_ActiveConnection(IDispatch* object) override {
    com::ClearErrorInfo();
    if (data_->cursor) return ReportAdo(kAdoObjectOpen);
    return ConnectionFromObject(object, std::addressof(connection_));
  }
  HRESULT get_BOF(VARIANT_BOOL* out) override {
    if (!data_->cursor) return ReportAdo(kAdoObjectClosed);
    return Out(out, data_->cursor->bof() ? VARIANT_TRUE : VARIANT_FALSE);
  }
  HRESULT get_EOF(VARIANT_BOOL* out) override {
    if (!data_->cursor) return ReportAdo(kAdoObjectClosed);
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
    if (data_->cursor) return ReportAdo(kAdoObjectOpen);
    if (type < adOpenForwardOnly || type > adOpenStatic) return ReportAdo(AdoError(3001));
    cursor_type_ = type;
    return kSOk;
  }
  HRESULT get_LockType(LockTypeEnum* out) override { return Out(out, lock_type_); }
  HRESULT put_LockType(LockTypeEnum type) override {
    if (data_->cursor) return ReportAdo(kAdoObjectOpen);
    if (type < adLockReadOnly || type > adLockBatchOptimistic) return ReportAdo(AdoError(3001));
    lock_type_ = type;
    return kSOk;
  }
  HRESULT get_MaxRecords(long* out) override { return Out(out, 0L); }
  HRESULT put_MaxRecords(long rows) override {
    if (rows == 0) return kSOk;
    return ReportAdo(kENotImpl, "MaxRecords is not supported; limit the rows in the statement.");
  }
  HRESULT get_RecordCount(long* out) override {
    if (!data_->cursor) return ReportAdo(kAdoObjectClosed);
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
  HRESULT get_State(long* out) override { return Out(out, data_->cursor ? long{adStateOpen} : long{adStateClosed}); }
  HRESULT get_CursorLocation(CursorLocationEnum* out) override { return Out(out, cursor_location_); }
  HRESULT put_CursorLocation(CursorLocationEnum location) override {
    if (data_->cursor) return ReportAdo(kAdoObjectOpen);
    if (location != adUseServer && location != adUseClient) return ReportAdo(AdoError(3001));
    cursor_location_ = location;
    return kSOk;
  }
  HRESULT get_EditMode(EditModeEnum* out) override {
    if (!data_->cursor) return ReportAdo(kAdoObjectClosed);
    return Out(out, data_->edit.mode);
  }
  HRESULT raw_AddNew(VARIANT fieldList, VARIANT values) override {
    com::ClearErrorInfo();
    HRESULT hr = WritableWithoutLists(fieldList, values);
    if (FAILED(hr)) return hr;
    if (data_->edit.mode != adEditNone) {
      hr = Store();
      if (FAILED(hr)) return hr;
    }
    data_->edit.mode = adEditAdd;
    return kSOk;
  }
  HRESULT raw_CancelUpdate() override {
    if (!data_->cursor) return ReportAdo(kAdoObjectClosed);
    DropEdit();
    return kSOk;
  }
  HRESULT raw_Delete(AffectEnum affect) override {
    com::ClearErrorInfo();
    HRESULT hr = WritableWithoutLists(vtMissing, vtMissing);
    if (FAILED(hr)) return hr;
    if (affect != adAffectCurrent) {
      return ReportAdo(AdoError(3001), "Delete removes the current row only (adAffectCurrent).");
    }
    if (data_->edit.mode == adEditAdd) {  // the new row was never written
      DropEdit();
      return kSOk;
    }
    auto& cursor = static_cast<SnapshotCursor&>(*data_->cursor);
    if (!cursor.on_row()) return ReportAdo(kAdoNoCurrentRecord);
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
    const HRESULT hr = WritableWithoutLists(fields, values);
    if (FAILED(hr)) return hr;
    return data_->edit.mode == adEditNone ? kSOk : Store();
  }
  HRESULT raw_CancelBatch(AffectEnum) override {
    if (!data_->cursor) return ReportAdo(kAdoObjectClosed);
    DropEdit();  // writes are immediate: only the current row's edit is pending
    return kSOk;
  }

  HRESULT raw_Close() override {
    com::ClearErrorInfo();
    if (!data_->cursor) return ReportAdo(kAdoObjectClosed);
    if (EditInProgress()) return RefuseWhileEditing("Close");
    CloseNow(true);
    return kSOk;
  }

  HRESULT raw_Move(long rows, VARIANT start) override {
    const VARIANT* v = start.vt == (VT_BYREF | VT_VARIANT) ? start.pvarVal : &start;
    const bool missing = v->vt == VT_EMPTY || (v->vt == VT_ERROR && v->scode == DISP_E_PARAMNOTFOUND);
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
  HRESULT raw_MoveNext() override {
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
    if (data_->cursor) return ReportAdo(kAdoObjectOpen);
    if (cursorType != adOpenUnspecified) {
      if (cursorType < adOpenForwardOnly || cursorType > adOpenStatic) return ReportAdo(AdoError(3001));
      cursor_type_ = cursorType;
    }
    if (lockType != adLockUnspecified) {
      if (lockType < adLockReadOnly || lockType > adLockBatchOptimistic) return ReportAdo(AdoError(3001));
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
      const HRESULT hr = command->RunForRecordset(options, &statement, std::addressof(conn_ptr), &sql);
      if (FAILED(hr)) return hr;
      timeout = command->timeout();
    } else if (src->vt == VT_BSTR) {
      if (auto nul = NulRecord(src->bstrVal, "The source text", kDbErrorsInCommand)) return Report(*nul);
      bool given = false;
      HRESULT hr = ConnectionFromVariant(activeConnection, std::addressof(conn_ptr), &given);
      if (FAILED(hr)) return hr;
      if (!given) conn_ptr = connection_;
      auto* conn = static_cast<ConnectionObject*>(conn_ptr.GetInterfacePtr());
      if (conn == nullptr || !conn->is_open()) return ReportAdo(kAdoConnectionUnusable);
      conn->BeginOperation();
      hr = conn->StatementText(options, adCmdText, BstrToUtf8(src->bstrVal), &sql);
      if (FAILED(hr)) return hr;
      if (!conn->FireWillExecute(sql, cursor_type_, lock_type_, options, nullptr, this)) return kAdoNotAllowed;
      timeout = conn->command_timeout();
      hr = conn->PrepareAndRun(sql, {}, timeout, &statement, FetchRows());
      if (FAILED(hr)) return hr;
    } else {
      return ReportAdo(AdoError(3001), "The Source must be SQL text or a Command object.");
    }
    return Attach(static_cast<ConnectionObject*>(conn_ptr.GetInterfacePtr()), std::move(statement), sql, timeout);
  }

  HRESULT raw_Requery(long) override {
    com::ClearErrorInfo();
    if (!data_->cursor) return ReportAdo(kAdoObjectClosed);
    if (EditInProgress()) return RefuseWhileEditing("Requery");
    auto* conn = static_cast<ConnectionObject*>(connection_.GetInterfacePtr());
    const std::string sql = source_;
    CloseNow(true);
    if (conn == nullptr || !conn->is_open()) return ReportAdo(kAdoConnectionUnusable);
    conn->BeginOperation();
    std::shared_ptr<provider::Statement> statement;
    const HRESULT hr = conn->PrepareAndRun(sql, {}, conn->command_timeout(), &statement, FetchRows());
    if (FAILED(hr)) return hr;
    return Attach(conn, std::move(statement), sql, conn->command_timeout());
  }

  void OnConnectionClosing() override { CloseNow(false); }

  long ColumnCount() override { return fields_impl_ ? static_cast<long>(fields_impl_->size()) : 0; }
  HRESULT GetCell(long column, RowCell* cell) override {
    if (cell == nullptr || column < 0 || column >= ColumnCount()) return S_FALSE;
    return fields_impl_->at(static_cast<size_t>(column)).GetRowCell(cell);
  }
  HRESULT PutCell(long column, const RowCell& cell) override {
    if (column < 0 || column >= ColumnCount()) return ReportAdo(kAdoItemNotFound);
    return fields_impl_->at(static_cast<size_t>(column)).PutRowCell(cell);
  }

 protected:
  ~RecordsetObject() override {
    if (data_->cursor) CloseNow(true);
  }

 private:
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
    com::CreateObject<FieldsObject>(KORVO_UUIDOF(Fields), reinterpret_cast<void**>(&f), data_);
    fields_.Attach(f);
    fields_impl_ = static_cast<FieldsObject*>(f);
  }

  // Open, updatable, and called without the field-list and value-array
  // arguments (values are assigned through the Fields instead).
  HRESULT WritableWithoutLists(const VARIANT& fields, const VARIANT& values) {
    if (!data_->cursor) return ReportAdo(kAdoObjectClosed);
    if (!data_->writer) return ReportAdo(kAdoNotUpdatable);
    auto missing = [](const VARIANT& v) {
      return v.vt == VT_EMPTY || (v.vt == VT_ERROR && v.scode == DISP_E_PARAMNOTFOUND);
    };
    if (!missing(fields) || !missing(values)) {
      return ReportAdo(AdoError(3001), "Assign the values through the Fields, then call without lists.");
    }
    return kSOk;
  }

  bool EditInProgress() const { return data_->cursor && data_->edit.mode != adEditNone; }
  static HRESULT RefuseWhileEditing(const char* operation) {
    return ReportAdo(kAdoNotAllowed, std::string(operation) +
                                         " is not allowed while an edit is in progress: call Update, "
                                         "CancelUpdate or CancelBatch first.");
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
      const HRESULT hr = data_->writer->Insert(*conn->provider(), edit.changed_list, edit.values, deadline,
                                               &key_column, &key);
      if (FAILED(hr)) return conn->FailFromProvider(hr);
      original_.assign(n, Cell{});
      if (key_column >= 0) {
        original_[static_cast<size_t>(key_column)].type = CellType::kInt;
        original_[static_cast<size_t>(key_column)].i = key;
      }
      for (const int c : edit.changed_list) original_[static_cast<size_t>(c)] = CellOf(edit.values[static_cast<size_t>(c)]);
      cursor.AppendAndMoveTo(original_.data());
    } else {
      if (!cursor.on_row()) return ReportAdo(kAdoNoCurrentRecord);
      ReadOriginal(cursor);
      const HRESULT hr =
          data_->writer->Update(*conn->provider(), original_.data(), edit.changed_list, edit.values, deadline);
      if (FAILED(hr)) return conn->FailFromProvider(hr);
      for (const int c : edit.changed_list) original_[static_cast<size_t>(c)] = CellOf(edit.values[static_cast<size_t>(c)]);
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
      while (statement->HasRow() && SUCCEEDED(statement->Next(provider::NoDeadline()))) {
      }
      conn->DeliverMessages();
      if (fire) conn->FireExecuteComplete(static_cast<long>(statement->RowsAffected()), kSOk, nullptr, this);
      return kSOk;
    }
    std::unique_ptr<Cursor> cursor;
    if (cursor_location_ == adUseClient || cursor_type_ != adOpenForwardOnly) {
      HRESULT hr = kSOk;
      auto snapshot = std::make_unique<SnapshotCursor>(*statement, ConnectionObject::DeadlineFor(timeout), &hr);
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
    if (detach && connection_) static_cast<ConnectionObject*>(connection_.GetInterfacePtr())->Detach(this);
    data_->cursor.reset();
    data_->writer.reset();  // its prepared statements go with it
    data_->edit = EditBuffer{};
    ++data_->generation;
    MakeFields();
  }

  template <class Fn>
  HRESULT Navigate(Fn&& fn) {
    com::ClearErrorInfo();
    if (!data_->cursor) return ReportAdo(kAdoObjectClosed);
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
  FieldsObject* fields_impl_ = nullptr;  // the object behind fields_
  _ConnectionPtr connection_;
  std::string source_;
  CursorLocationEnum cursor_location_ = adUseServer;
  CursorTypeEnum cursor_type_ = adOpenForwardOnly;
  LockTypeEnum lock_type_ = adLockReadOnly;
  long cache_size_ = 1;
};

}  // namespace

HRESULT CreateOpenRecordset(ConnectionObject* connection, std::shared_ptr<provider::Statement> statement,
                            const RecordsetSpec& spec, _Recordset** out) {
  _Recordset* raw = nullptr;
  HRESULT hr = com::CreateObject<RecordsetObject>(KORVO_UUIDOF(_Recordset), reinterpret_cast<void**>(&raw));
  if (FAILED(hr)) return ReportAdo(hr);
  _RecordsetPtr holder(raw, false);
  hr = static_cast<RecordsetObject*>(raw)->OpenOn(connection, std::move(statement), spec);
  if (FAILED(hr)) return hr;
  *out = holder.Detach();
  return kSOk;
}

HRESULT CreateRecordsetObject(REFIID riid, void** out) { return com::CreateObject<RecordsetObject>(riid, out); }

}  // namespace korvo::ado
