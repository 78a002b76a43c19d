// ado/providers/postgresql/pg_types.h: PostgreSQL types (by OID and type
// modifier) to ADO types, and their text-format values to cells.
//
// int2/int4/int8 and oid are integers, bool an integer 1/0 of adBoolean,
// float4/float8 reals, numeric exact decimal text of adNumeric (the
// object model makes it a DECIMAL), bytea bytes, date/time/timestamp ISO
// text, timestamptz ISO text in the host's local time zone (the server's
// offset applied), uuid its text; any other type its text form.
// Thread-safety: pure functions.
#pragma once

#include <korvo/ado/providers/provider.h>

#include <cstdint>
#include <string>

namespace korvo::ado::provider::postgresql {

// How a column's text values become cells.
enum class Decode : uint8_t { kInt, kReal, kBool, kText, kBytea, kLocalTime };

// Fills the type fields of *info (ado_type, defined_size, precision,
// scale) for a column of type `type_oid` with modifier `modifier` (-1 for
// none) and returns how its values decode.
Decode DescribeType(uint32_t type_oid, int modifier, ColumnInfo* info);

// The cell of text value `value` (`length` bytes, null-terminated, as
// libpq hands it over). Bytes of a bytea and a converted local time go to
// *scratch, which the cell then points into. A value that does not parse
// as its type (never sent by a server) stays text, so the conversion to
// the column's type reports it.
Cell DecodeValue(Decode decode, const char* value, int length, std::string* scratch);

// The ISO date-and-time text of a timestamptz ("YYYY-MM-DD HH:MM:SS[.f]"
// followed by "+HH", "+HH:MM" or "+HH:MM:SS") as the host's local time,
// fraction kept. False (and *out untouched) for text in another form
// ("infinity", a BC date).
bool TimestampTzToLocal(const char* text, size_t size, std::string* out);

}  // namespace korvo::ado::provider::postgresql
