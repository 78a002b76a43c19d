// ado/row_access_internal.h: the conversions behind IKorvoRowAccess
// (ado/row_access.h), shared by the recordset object that offers it and
// the recordset layer that uses it. Not installed.
// Thread-safety: pure functions.
#pragma once

#include <korvo/ado/providers/provider.h>
#include <korvo/ado/row_access.h>
#include <korvo/com/variant.h>

#include <cstddef>
#include <cstdint>
#include <string>

namespace korvo::ado {

// True when `size` bytes at `data` are well-formed UTF-8 without a zero
// byte: text that every UTF-8 decoder and encoder of the library carries
// through UTF-16 and back unchanged, and whose C-string form is all of it.
bool IsPlainUtf8(const char* data, size_t size);

// The cell of a column of `ado_type` in the raw form Field.Value would
// hold (CellToVariant decides the type and the value). False when there is
// none: Field.Value would render a number as text or bytes, hold a
// currency or decimal, or fail.
bool CellToRowCell(const provider::Cell& cell, int32_t ado_type, RowCell* out);

// A scalar cell (not text, bytes or null) as the VARIANT of its type and
// value, in `out` (which must be empty). False for any other cell.
bool ScalarRowCellToVariant(const RowCell& cell, VARIANT* out);

// The reverse: a scalar VARIANT (not by reference) as a cell. False for
// any other VARIANT (*out is then unchanged).
bool VariantToScalarRowCell(const VARIANT& value, RowCell* out);

// RowCellToParam's result for the cells that need no conversion (well-formed
// text into a text column, a signed integer into an integer column, a
// double into a real column), written over every member of *out (its text
// buffer is reused); false, *out unchanged, for any other cell.
bool DirectRowCellToParam(const RowCell& cell, int32_t ado_type, provider::ParamValue* out);

// The value to put for `cell` into a column of `ado_type`: what
// VariantToParam gives for the VARIANT of the same type and value.
HRESULT RowCellToParam(const RowCell& cell, int32_t ado_type, provider::ParamValue* out,
                       std::string* error);

}  // namespace korvo::ado
