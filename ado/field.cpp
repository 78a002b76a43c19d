// ado/field.cpp: the Field object: one column of a recordset's current
// row, read through the edit buffer, written into it.
#include <korvo/ado/excerpt_internal.h>
#include <korvo/ado/object_internal.h>
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
using provider::ColumnInfo;

// A cell needing no conversion goes straight into its edit slot (whose
// text buffer is reused row after row); false (nothing done) for any other.
bool PutEditSlot(EditBuffer& edit, int column, int32_t ado_type, const RowCell& cell) {
  if (!DirectRowCellToParam(cell, ado_type, &edit.values[static_cast<size_t>(column)]))
    return false;
  edit.MarkPut(column);
  return true;
}

class FieldObject final : public com::Object<Field> {
 public:
  FieldObject(std::shared_ptr<RecordsetData> data, int column)
      : data_(std::move(data)),
        generation_(data_->generation),
        column_(column),
        info_(data_->cursor->columns()[static_cast<size_t>(column)]) {}

  HRESULT get_ActualSize(long* out) override {
    Cell cell;
    const HRESULT hr = Current(&cell);
    if (FAILED(hr)) return hr;
    return Out(out, CellActualSize(cell, info_.ado_type, info_.defined_size));
  }
  HRESULT get_Attributes(long* out) override {
    if (const HRESULT hr = Check(RecordsetOperation::kReadFieldInfo); FAILED(hr)) return hr;
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
    if (const HRESULT hr = Check(RecordsetOperation::kReadFieldInfo); FAILED(hr)) return hr;
    return Out(out, static_cast<long>(info_.defined_size));
  }
  HRESULT get_Name(BSTR* out) override {
    if (const HRESULT hr = Check(RecordsetOperation::kReadFieldInfo); FAILED(hr)) return hr;
    return OutText(out, info_.name);
  }
  HRESULT get_Type(DataTypeEnum* out) override {
    if (const HRESULT hr = Check(RecordsetOperation::kReadFieldInfo); FAILED(hr)) return hr;
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
    if (const HRESULT hr = Check(RecordsetOperation::kReadFieldInfo); FAILED(hr)) return hr;
    return Out(out, info_.precision);
  }
  HRESULT get_NumericScale(unsigned char* out) override {
    if (const HRESULT hr = Check(RecordsetOperation::kReadFieldInfo); FAILED(hr)) return hr;
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
    if (IsTextType(info_.ado_type) ||
        (cell.type == CellType::kText && !IsBinaryType(info_.ado_type))) {
      // Text comes in UTF-16 characters.
      const std::u16string all = platform::Utf8ToUtf16(std::string_view(cell.data, cell.size));
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
  HRESULT get_OriginalValue(VARIANT* out) override { return StoredValue(out); }
  HRESULT get_UnderlyingValue(VARIANT* out) override { return StoredValue(out); }

  // IKorvoRowAccess for this field.
  HRESULT GetRowCell(RowCell* out) {
    Cell cell;
    return Peek(&cell) && CellToRowCell(cell, info_.ado_type, out) ? kSOk : S_FALSE;
  }
  HRESULT PutRowCell(const RowCell& value) {
    if (const HRESULT hr = Writable(false); FAILED(hr)) return hr;
    if (PutEditSlot(data_->edit, column_, info_.ado_type, value)) return kSOk;
    return PutConverted(false, [&](provider::ParamValue* converted, std::string* error) {
      return RowCellToParam(value, info_.ado_type, converted, error);
    });
  }

 private:
  // The recordset's state check (a Field kept from an earlier open is
  // closed).
  HRESULT Check(RecordsetOperation operation) const {
    if (data_->generation != generation_) return ReportAdo(kAdoObjectClosed);
    return CheckRecordsetState(*data_, operation);
  }

  // The value as the edit buffer shows it.
  HRESULT Current(Cell* cell) {
    if (const HRESULT hr = Check(RecordsetOperation::kReadField); FAILED(hr)) return hr;
    Peek(cell);
    return kSOk;
  }
  // Current without a report: false where the state check refuses a read.
  bool Peek(Cell* cell) {
    if (data_->generation != generation_ || (PositionOf(*data_) & kOnRow) == 0) return false;
    *cell = EditedCell(*data_, column_);
    return true;
  }

  // The value as the snapshot holds it (NULL for a row being added).
  HRESULT StoredValue(VARIANT* out) {
    if (out == nullptr) return ReportAdo(kEPointer);
    if (const HRESULT hr = Check(RecordsetOperation::kReadField); FAILED(hr)) return hr;
    Cell cell;
    if (data_->edit.mode != adEditAdd) cell = data_->cursor->Get(column_);
    VariantInit(out);
    return Convert(cell, out);
  }

  // The cell as this field's Value, or a report of why it cannot be one.
  HRESULT Convert(const Cell& cell, VARIANT* out) {
    const HRESULT hr = CellToVariant(cell, info_.ado_type, out);
    if (SUCCEEDED(hr) || hr == kEOutOfMemory) return SUCCEEDED(hr) ? kSOk : ReportAdo(hr);
    static const char* const kKinds[] = {"NULL", "integer", "real", "text", "binary"};
    std::string held = kKinds[static_cast<int>(cell.type)];
    if (cell.type == CellType::kInt) (held += ' ') += std::to_string(cell.i);
    if (cell.type == CellType::kText)
      held += " '" + Excerpt(std::string_view(cell.data, cell.size), 40) + "'";
    return ReportAdo(
        hr, "The value of field \"" + info_.name + "\" (" + held + ") " +
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
    if (const HRESULT hr = Writable(chunk); FAILED(hr)) return hr;
    provider::ParamValue converted;
    std::string error;
    const HRESULT hr = convert(&converted, &error);
    if (FAILED(hr)) return ReportAdo(hr, error);
    data_->edit.Assign(column_, std::move(converted), chunk);
    return kSOk;
  }
  // Whether a value put (or a chunk) may be made now.
  HRESULT Writable(bool chunk) const {
    if (const HRESULT hr = Check(RecordsetOperation::kWriteField); FAILED(hr)) return hr;
    if (!data_->writer) return ReportAdo(kAdoNotUpdatable);
    if (chunk && !IsTextType(info_.ado_type) && !IsBinaryType(info_.ado_type)) {
      return ReportAdo(kAdoWrongType, "AppendChunk needs a text or binary field.");
    }
    return kSOk;
  }

  std::shared_ptr<RecordsetData> data_;
  uint64_t generation_;
  int column_;
  ColumnInfo info_;
  uint64_t chunk_serial_ = ~uint64_t{0};
  size_t chunk_offset_ = 0;
};

}  // namespace

Cell EditedCell(const RecordsetData& data, int column) {
  const EditBuffer& edit = data.edit;
  if (edit.mode != adEditNone && edit.changed[static_cast<size_t>(column)] != 0) {
    return CellOf(edit.values[static_cast<size_t>(column)]);
  }
  if (edit.mode == adEditAdd) return Cell{};
  return data.cursor->Get(column);
}

HRESULT GetRowCells(const RecordsetData& data, long count, RowCell* cells) {
  if ((PositionOf(data) & kOnRow) == 0) return S_FALSE;
  const std::vector<ColumnInfo>& columns = data.cursor->columns();
  if (count < 0 || static_cast<size_t>(count) > columns.size()) return S_FALSE;
  for (long i = 0; i < count; ++i) {
    const auto column = static_cast<size_t>(i);
    cells[column] = RowCell{};
    if (!CellToRowCell(EditedCell(data, static_cast<int>(i)), columns[column].ado_type,
                       &cells[column])) {
      cells[column] = RowCell{};
    }
  }
  return kSOk;
}

HRESULT GetFieldRowCell(Field* field, RowCell* out) {
  return static_cast<FieldObject*>(field)->GetRowCell(out);
}

HRESULT PutFieldRowCell(Field* field, const RowCell& value) {
  return static_cast<FieldObject*>(field)->PutRowCell(value);
}

namespace {

// Whether a Field of the open `data` may put a value now (its Writable;
// adding is checked first, as the common case).
bool WritableNow(const RecordsetData& data) {
  return data.writer && (data.edit.mode == adEditAdd || (PositionOf(data) & kOnRow) != 0);
}

// The resolved puts. Where the Field's put would find the recordset
// writable and the cell needing no conversion, the cell goes straight into
// its edit slot; the Field puts every other and reports every failure.
KORVO_HOT HRESULT PutResolved(const ResolvedPut& put, const RowCell& cell) {
  auto& data = *static_cast<RecordsetData*>(put.data);
  if (WritableNow(data) && PutEditSlot(data.edit, put.column, put.ado_type, cell)) return kSOk;
  return PutFieldRowCell(put.field, cell);
}

KORVO_HOT HRESULT PutResolvedPlainText(const ResolvedPut& put, const char* bytes, size_t size) {
  auto& data = *static_cast<RecordsetData*>(put.data);
  EditBuffer& edit = data.edit;
  if (WritableNow(data) && DirectPlainTextToParam(bytes, size, put.ado_type,
                                                  &edit.values[static_cast<size_t>(put.column)])) {
    edit.MarkPut(put.column);
    return kSOk;
  }
  RowCell cell;
  cell.vt = VT_BSTR;
  cell.bytes = bytes;
  cell.size = size;
  return PutFieldRowCell(put.field, cell);
}

}  // namespace

bool ResolveFieldPut(RecordsetData& data, Fields* fields, long column, ResolvedPut* out) {
  if (!data.cursor || column < 0 || column >= FieldCount(fields)) return false;
  out->put = PutResolved;
  out->put_plain_text = PutResolvedPlainText;
  out->data = &data;
  out->field = FieldAt(fields, column);
  out->column = static_cast<int>(column);
  out->ado_type = data.cursor->columns()[static_cast<size_t>(column)].ado_type;
  out->generation = &data.generation;
  out->resolved_at = data.generation;
  return true;
}

HRESULT CreateFieldObject(std::shared_ptr<RecordsetData> data, int column, Field** out) {
  return com::CreateObject<FieldObject>(KORVO_UUIDOF(Field), reinterpret_cast<void**>(out),
                                        std::move(data), column);
}

}  // namespace korvo::ado
