// ado/providers/postgresql/pg_types.h: PostgreSQL types (by OID and type
// modifier) to ADO types, and their values (text or binary form) to cells.
//
// int2/int4/int8 and oid are integers, bool an integer 1/0 of adBoolean,
// float4/float8 reals, numeric exact decimal text of adNumeric (the
// object model makes it a DECIMAL), bytea bytes, date/time/timestamp ISO
// text, timestamptz ISO text in the host's local time zone (the server's
// offset applied), uuid its text; any other type its text form. A value
// decodes to the same cell from either form.
// Thread-safety: pure functions.
#pragma once

#include <korvo/ado/providers/provider.h>

#include <cstdint>
#include <string>

namespace korvo::ado::provider::postgresql {

// How a column's values become cells: the text forms, then the binary
// forms (big-endian integers, an IEEE double, a truth byte, raw bytes).
enum class Decode : uint8_t {
  kInt,
  kReal,
  kBool,
  kText,
  kBytea,
  kLocalTime,
  kInt16,
  kInt32,
  kInt64,
  kUInt32,
  kFloat64,
  kBoolByte,
  kRawBytes,
};

// Fills the type fields of *info (ado_type, defined_size, precision,
// scale) for a column of type `type_oid` with modifier `modifier` (-1 for
// none) and returns how its values decode.
Decode DescribeType(uint32_t type_oid, int modifier, ColumnInfo* info);

// The decoding of type `type_oid`'s binary form, when it is cheaper than
// the text form's and ends in the same cell; false for every other type
// (a result is read in binary only when all its columns have one).
// float4 is not among them: its text is the float's shortest digits, read
// back as a double, which its binary form would not give.
bool BinaryDecode(uint32_t type_oid, Decode* decode);

// The cell of value `value` (`length` bytes, null-terminated, as
// libpq hands it over). Bytes of a bytea and a converted local time go to
// *scratch, which the cell then points into. A value that does not parse
// as its type (never sent by a server) stays text, so the conversion to
// the column's type reports it.
// The cell goes to *out (written in place: it is read at once, per row).
void DecodeValue(Decode decode, const char* value, int length, std::string* scratch, Cell* out);

// The ISO date-and-time text of a timestamptz ("YYYY-MM-DD HH:MM:SS[.f]"
// followed by "+HH", "+HH:MM" or "+HH:MM:SS") as the host's local time,
// fraction kept. False (and *out untouched) for text in another form
// ("infinity", a BC date).
bool TimestampTzToLocal(const char* text, size_t size, std::string* out);

}  // namespace korvo::ado::provider::postgresql
