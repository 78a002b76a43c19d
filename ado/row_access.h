// ado/row_access.h: direct access to the current row of Korvo's own ADO
// recordset, cell by cell, without a Field object, a VARIANT holding a
// BSTR or a UTF-16 copy of the text in between.
//
// The interface is found with QueryInterface(KORVO_UUIDOF(IKorvoRowAccess))
// on a _Recordset; a recordset from elsewhere answers E_NOINTERFACE and is
// read and written through Field.Value as before. Nothing here changes what
// a value is: a cell is handed out only when its raw form is exactly what
// Field.Value would hold, and a put ends in the same conversion and the
// same checks as Field.Value's put.
//
// Column numbers are 0-based, in the order of the Fields collection.
// Lifetimes: text and byte pointers of a RowCell stay valid until the
// recordset moves, is written, closed or requeried.
// Thread-safety: as the recordset itself (one thread at a time).
#pragma once

#include <korvo/ado/ado.h>

#include <cstddef>
#include <cstdint>

// One cell of the current row in its raw form.
struct RowCell {
  // The type Field.Value has for this cell: VT_NULL, VT_BSTR, VT_ARRAY |
  // VT_UI1, VT_DATE, VT_R8, VT_R4, VT_BOOL or an integer type.
  VARTYPE vt = VT_EMPTY;
  // Integer types (VT_BOOL as VARIANT_TRUE / VARIANT_FALSE): the value.
  int64_t integer = 0;
  // VT_R8, VT_R4: the value; VT_DATE: the OLE date.
  double real = 0;
  // VT_BSTR: the text as UTF-8 (not terminated; may hold any bytes, which
  // Field.Value would decode with U+FFFD for each malformed sequence);
  // VT_ARRAY | VT_UI1: the bytes.
  const char* bytes = nullptr;
  size_t size = 0;
  // VT_DATE, when `split` is set: the calendar fields
  // VariantTimeToSystemTime gives for `real`, read straight from the
  // stored text (whole seconds only), so a reader needs no split.
  bool split = false;
  SYSTEMTIME fields{};
};

struct IKorvoRowAccess : IUnknown {
  // The number of columns (Fields.Count).
  virtual long ColumnCount() = 0;
  // S_OK: *cell holds column `column` of the current row. S_FALSE: this
  // cell has no raw form here (a currency or decimal value, a number that
  // Field.Value shows as text, a field the host cannot read at the moment:
  // closed, no current row, a value its type cannot hold); read
  // Field.Value, which gives the value or the error.
  virtual HRESULT GetCell(long column, RowCell* cell) = 0;
  // Columns 0 to count - 1 of the current row in one call, each as
  // GetCell gives it; a cell GetCell answers S_FALSE for has vt VT_EMPTY.
  // S_FALSE (cells unspecified) when no row is current or `count` is above
  // ColumnCount. The row a binding pass loads costs one call, not one per
  // member.
  virtual HRESULT GetRow(long count, RowCell* cells) = 0;
  // Puts `cell` into column `column` as Field.Value's put would put the
  // VARIANT of the same type and value (VT_BSTR: UTF-8 text; the other
  // kinds as GetCell describes them). Fails as that put fails, with the
  // same error information.
  virtual HRESULT PutCell(long column, const RowCell& cell) = 0;

 protected:
  ~IKorvoRowAccess() = default;
};

KORVO_DEFINE_UUID(IKorvoRowAccess, "6b6f7276-6f00-4ad0-8002-000000000001")
_COM_SMARTPTR_TYPEDEF(IKorvoRowAccess, __uuidof(IKorvoRowAccess));
