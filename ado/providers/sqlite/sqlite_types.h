// ado/providers/sqlite/sqlite_types.h: declared column types of SQLite
// mapped to ADO data types, and the description of a result column.
#pragma once

#include <korvo/ado/providers/provider.h>
#include <sqlite3.h>

namespace korvo::ado::provider::sqlite {

// Fills ado_type, defined_size, precision and scale of `info` from a
// declared type such as "VARCHAR(20)", "DATETIME", "BIGINT" (case-
// insensitive; SQLite's affinity rules decide what is not recognised).
// The map:
//   INTEGER, INT, BIGINT, MEDIUMINT, INT8 (any name with INT)  adBigInt
//   SMALLINT, INT2 adSmallInt;  TINYINT adTinyInt;  BOOL..., BIT adBoolean
//   CHAR(n), NCHAR(n), CHARACTER(n) adWChar (n)
//   VARCHAR(n), NVARCHAR(n) adVarWChar (n)
//   TEXT, CLOB, NTEXT, LONG..., VARCHAR adLongVarWChar
//   BINARY(n) adBinary;  VARBINARY(n) adVarBinary
//   BLOB, IMAGE, VARBINARY adLongVarBinary
//   DATETIME, TIMESTAMP, SMALLDATETIME adDBTimeStamp;  DATE adDate;
//   TIME adDBTime;  REAL, FLOAT, DOUBLE, NUMERIC, DECIMAL, MONEY and
//   anything else adDouble.
// Returns false when `decl` is null or empty (an expression column).
bool MapDeclaredType(const char* decl, ColumnInfo* info);

// The type of an expression column, from the storage class of its value
// in the first row (SQLITE_NULL when there is no row): adBigInt, adDouble,
// adLongVarBinary, or adLongVarWChar for text and NULL.
void MapStorageClass(int storage_class, ColumnInfo* info);

// Describes column `i` of `stmt`: name, base table and column, key and
// nullability (from the table's schema) and the mapped type.
// `first_row_type` is the column's storage class in the first row, or
// SQLITE_NULL when no row is current.
ColumnInfo DescribeColumn(sqlite3* db, sqlite3_stmt* stmt, int i, int first_row_type);

}  // namespace korvo::ado::provider::sqlite
