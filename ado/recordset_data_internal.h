// ado/recordset_data_internal.h: what a Recordset object shares with its
// Fields and Field objects: the cursor, the row writer and the edit buffer.
//
// Fields and Field objects share the recordset's data through a
// reference-counted block, so a Field kept by the host after the
// recordset closed (or went away) reports 3704 instead of reading freed
// memory. Thread-safety: caller must synchronise (one recordset, its
// Fields and Field objects are used by one thread at a time).
#pragma once

#include <korvo/ado/ado.h>
#include <korvo/ado/cursor_internal.h>
#include <korvo/ado/direct_put_internal.h>
#include <korvo/ado/edit_buffer_internal.h>
#include <korvo/ado/providers/provider.h>
#include <korvo/ado/row_access.h>
#include <korvo/ado/row_writer_internal.h>

#include <cstdint>
#include <memory>
#include <vector>

namespace korvo::ado {

// What the recordset, its Fields and its Field objects share.
struct RecordsetData {
  std::unique_ptr<Cursor> cursor;     // null while closed
  uint64_t generation = 0;            // bumped by every open and close
  std::unique_ptr<RowWriter> writer;  // null: the recordset is not updatable
  EditBuffer edit;
};

// The Fields collection of a recordset (field.cpp / fields.cpp): one
// Field per column of the open cursor (none while closed).
HRESULT CreateFieldObject(std::shared_ptr<RecordsetData> data, int column, Field** out);
HRESULT CreateFieldsObject(std::shared_ptr<RecordsetData> data, Fields** out);

// The direct route (IKorvoRowAccess) into those objects. `fields` must come
// from CreateFieldsObject and `column` be below FieldCount; the Field is
// borrowed from the collection.
long FieldCount(Fields* fields);
Field* FieldAt(Fields* fields, long column);
// The cell Field.Value reads for `column` of the current row: the edit
// buffer's value where it holds one. REQUIRES: a row is current.
provider::Cell EditedCell(const RecordsetData& data, int column);
// IKorvoRowAccess::GetRow over `data` (each cell as GetFieldRowCell gives
// it, VT_EMPTY where that is S_FALSE); S_FALSE when no row is current or
// `count` is above the column count.
HRESULT GetRowCells(const RecordsetData& data, long count, RowCell* cells);
// S_FALSE when the cell has no raw form (or no row is current): the caller
// reads Field.Value, which reports why.
HRESULT GetFieldRowCell(Field* field, RowCell* out);
HRESULT PutFieldRowCell(Field* field, const RowCell& value);
// IKorvoDirectPut::ResolvePut over `data` and its Fields collection
// `fields`; false while closed or for a column outside the row.
bool ResolveFieldPut(RecordsetData& data, Fields* fields, long column, ResolvedPut* out);

}  // namespace korvo::ado
