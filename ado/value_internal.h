// ado/value_internal.h: conversions between the providers' cells and
// parameter values and the OLE Automation types of the object model:
// BSTR <-> UTF-8 text, ISO date text <-> OLE dates, cell -> VARIANT by
// the column's ADO type, VARIANT -> parameter value by the parameter's
// ADO type.
// Thread-safety: pure functions.
#pragma once

#include <korvo/ado/providers/provider.h>
#include <korvo/com/bstr.h>
#include <korvo/com/plain_date_internal.h>
#include <korvo/com/variant.h>
#include <korvo/platform/codepage.h>

#include <string>
#include <string_view>

namespace korvo::ado {

// BSTRs to and from UTF-8, by platform's Utf8ToUtf16 / Utf16ToUtf8 rule
// for malformed text. A BSTR's text as UTF-8 (null gives "").
std::string BstrToUtf8(BSTR text);
// A new BSTR of UTF-8 text; null when memory runs out.
BSTR Utf8ToBstr(const char* data, size_t size);

// The date text of a cell without the trailing blanks and 'Z' that stores
// keeping UTC times write (SQLite's strftime).
inline std::string_view StoredDateText(const char* text, size_t size) {
  while (size > 0 && (text[size - 1] == ' ' || text[size - 1] == 'Z')) --size;
  return std::string_view(text, size);
}
// ISO date text of a cell to an OLE date: com's ParseDate, keeping the
// fraction of a second, with a trailing 'Z' ignored.
bool ParseIsoDate(const char* text, size_t size, double* date);
// The same for the commonest form only (com's ParsePlainDate), giving the
// calendar fields too; false for other text, which ParseIsoDate decides.
bool ParsePlainIsoDate(const char* text, size_t size, double* date, SYSTEMTIME* fields);
// Its calendar fields alone (day of week and milliseconds 0), for a caller
// that needs no OLE date.
bool SplitStoredIsoDate(const char* text, size_t size, SYSTEMTIME* fields);
// The same, inline: a date member's fill runs it on every row. A full
// "YYYY-MM-DD hh:mm:ss" ends in a digit and so has nothing to trim; other
// texts, and a full-length one the split refuses, take the trimming call.
inline bool SplitPlainIsoDate(const char* text, size_t size, SYSTEMTIME* fields) {
  if (size == 19 && com::detail::SplitPlainDate(std::string_view(text, 19), fields)) return true;
  // Split into a copy, so that the caller's fields never need an address
  // and stay in registers on the common path.
  SYSTEMTIME trimmed;
  if (!SplitStoredIsoDate(text, size, &trimmed)) return false;
  *fields = trimmed;
  return true;
}

// The OLE date as ISO text: "YYYY-MM-DD" for adDBDate, "HH:MM:SS" for
// adDBTime, "YYYY-MM-DD HH:MM:SS" otherwise. False outside the range.
bool FormatIsoDate(double date, int32_t ado_type, std::string* out);

// True for a value of DataTypeEnum.
bool IsKnownDataType(long ado_type);

// True for the ADO types whose values are text, dates, binary, integers.
bool IsTextType(int32_t ado_type);
bool IsDateType(int32_t ado_type);
bool IsBinaryType(int32_t ado_type);
bool IsIntegerType(int32_t ado_type);

// The VARIANT type a value of the ADO type has (VT_BSTR for text,
// VT_DATE for every date and time type, VT_ARRAY | VT_UI1 for binary,
// VT_DECIMAL for numeric, ...); VT_EMPTY for adVariant, adEmpty and the
// types without one.
VARTYPE VarTypeFor(int32_t ado_type);
// The cell as a VARIANT of exactly VarTypeFor(ado_type) (VT_NULL for NULL;
// the cell's own kind when that is VT_EMPTY), so that a field's Type and
// its Value always agree. A value the type cannot hold is never passed on
// in another type: DB_E_CANTCONVERTVALUE (text that is not a number or an
// ISO date, a fraction for an integer type, a blob for a number) or
// DB_E_DATAOVERFLOW (a number out of the type's range). Numbers convert
// to text and to the bytes of their text. `out` must be empty.
// E_OUTOFMEMORY when an allocation fails.
HRESULT CellToVariant(const provider::Cell& cell, int32_t ado_type, VARIANT* out);
// Field.ActualSize: bytes of text (UTF-8 as stored) and binary values, the
// type's size for other values, 0 for NULL.
long CellActualSize(const provider::Cell& cell, int32_t ado_type, int32_t defined_size);

// The value converted for a parameter of `ado_type`. VT_EMPTY, VT_NULL
// and a missing argument give NULL. On failure returns the HRESULT
// (3421, wrong type) and sets *error.
HRESULT VariantToParam(const VARIANT& value, int32_t ado_type, provider::ParamValue* out,
                       std::string* error);

}  // namespace korvo::ado
