// ado/providers/odbc/odbc_types.h: ODBC SQL types mapped to ADO data types,
// and how a result column is fetched (C type, buffer width).
#pragma once

#include <korvo/ado/providers/odbc/odbc_sql.h>
#include <korvo/ado/providers/provider.h>

namespace korvo::ado::provider::odbc {

// How the cursor reads a column.
struct FetchPlan {
  SQLSMALLINT c_type = SQL_C_CHAR;  // SQL_C_SBIGINT, SQL_C_DOUBLE, SQL_C_CHAR or SQL_C_BINARY
  CellType cell = CellType::kText;  // what Get returns for a value
  SQLLEN width = 0;                 // bytes per row in a bound array
  bool long_data = false;           // read with SQLGetData instead of a bound array
};

// Fills the type fields of `info` (ado_type, defined_size, precision,
// scale) from the column's SQL type as SQLDescribeCol reports it, and
// returns how to fetch it. Text arrives as UTF-8 (the drivers' SQL_C_CHAR
// encoding on a UTF-8 connection); dates and decimals arrive as ISO text
// and doubles, as the SQLite provider gives them.
FetchPlan MapSqlType(SQLSMALLINT sql_type, SQLULEN column_size, SQLSMALLINT decimal_digits,
                     bool is_unsigned, ColumnInfo* info);

// The SQL type a parameter is bound as, from its value and declared ADO type.
SQLSMALLINT ParamSqlType(const ParamValue& value);

}  // namespace korvo::ado::provider::odbc
