// ado/providers/odbc/odbc_types.cpp: SQL types to ADO types and fetch plans.
#include <korvo/ado/providers/odbc/odbc_types.h>

#include <algorithm>

namespace korvo::ado::provider::odbc {
namespace {

// ADO's defined size for a value without a length limit.
constexpr int32_t kLongSize = 1073741823;
// Text and binary columns up to this many characters are fetched in
// bound arrays; longer ones (and those without a limit) value by value.
constexpr SQLULEN kBoundLimit = 1024;
// Bytes of UTF-8 per character at most.
constexpr SQLLEN kUtf8Max = 4;

int32_t Size(SQLULEN column_size) {
  return column_size > 0 && column_size < static_cast<SQLULEN>(kLongSize)
             ? static_cast<int32_t>(column_size)
             : kLongSize;
}

FetchPlan Integer(ColumnInfo* info, int32_t type, int32_t size, uint8_t precision) {
  info->ado_type = type;
  info->defined_size = size;
  info->precision = precision;
  return {SQL_C_SBIGINT, CellType::kInt, sizeof(int64_t), false};
}

FetchPlan Real(ColumnInfo* info, int32_t type, int32_t size, uint8_t precision) {
  info->ado_type = type;
  info->defined_size = size;
  info->precision = precision;
  return {SQL_C_DOUBLE, CellType::kReal, sizeof(double), false};
}

FetchPlan Text(ColumnInfo* info, int32_t type, SQLULEN column_size) {
  info->ado_type = type;
  info->defined_size = Size(column_size);
  if (type == kAdLongVarWChar || column_size == 0 || column_size > kBoundLimit) {
    return {SQL_C_CHAR, CellType::kText, 0, true};
  }
  return {SQL_C_CHAR, CellType::kText, static_cast<SQLLEN>(column_size) * kUtf8Max + 1, false};
}

FetchPlan Binary(ColumnInfo* info, int32_t type, SQLULEN column_size) {
  info->ado_type = type;
  info->defined_size = Size(column_size);
  if (type == kAdLongVarBinary || column_size == 0 || column_size > kBoundLimit) {
    return {SQL_C_BINARY, CellType::kBlob, 0, true};
  }
  return {SQL_C_BINARY, CellType::kBlob, static_cast<SQLLEN>(column_size), false};
}

FetchPlan Date(ColumnInfo* info, int32_t type, int32_t size) {
  info->ado_type = type;
  info->defined_size = size;
  return {SQL_C_CHAR, CellType::kText, 40, false};
}

}  // namespace

FetchPlan MapSqlType(SQLSMALLINT sql_type, SQLULEN column_size, SQLSMALLINT decimal_digits,
                     bool is_unsigned, ColumnInfo* info) {
  switch (sql_type) {
    case SQL_BIT:
      return Integer(info, kAdBoolean, 2, 1);
    case SQL_TINYINT:
      return Integer(info, is_unsigned ? kAdUnsignedTinyInt : kAdTinyInt, 1, 3);
    case SQL_SMALLINT:
      return Integer(info, kAdSmallInt, 2, 5);
    case SQL_INTEGER:
      // An unsigned INT does not fit a signed 32-bit field.
      return is_unsigned ? Integer(info, kAdBigInt, 8, 19) : Integer(info, kAdInteger, 4, 10);
    case SQL_BIGINT:
      return Integer(info, kAdBigInt, 8, 19);
    case SQL_REAL:
      return Real(info, kAdSingle, 4, 7);
    case SQL_FLOAT:
    case SQL_DOUBLE:
      return Real(info, kAdDouble, 8, 15);
    case SQL_NUMERIC:
    case SQL_DECIMAL: {
      // As the SQLite provider: a double, with the declared precision and
      // scale reported (a decimal VARIANT is not part of the object model).
      FetchPlan plan = Real(info, kAdDouble, 8, 15);
      info->precision = static_cast<uint8_t>(std::min<SQLULEN>(column_size, 255));
      info->scale = static_cast<uint8_t>(std::clamp<int>(decimal_digits, 0, 255));
      return plan;
    }
    case SQL_TYPE_DATE:
    case SQL_DATE:
      return Date(info, kAdDBDate, 6);
    case SQL_TYPE_TIME:
    case SQL_TIME:
      return Date(info, kAdDBTime, 6);
    case SQL_TYPE_TIMESTAMP:
    case SQL_TIMESTAMP:
      return Date(info, kAdDBTimeStamp, 16);
    case SQL_CHAR:
    case SQL_WCHAR:
      return Text(info, kAdWChar, column_size);
    case SQL_VARCHAR:
    case SQL_WVARCHAR:
      return Text(info, kAdVarWChar, column_size);
    case SQL_LONGVARCHAR:
    case SQL_WLONGVARCHAR:
      return Text(info, kAdLongVarWChar, column_size);
    case SQL_BINARY:
      return Binary(info, kAdBinary, column_size);
    case SQL_VARBINARY:
      return Binary(info, kAdVarBinary, column_size);
    case SQL_LONGVARBINARY:
      return Binary(info, kAdLongVarBinary, column_size);
    case SQL_GUID: {
      info->ado_type = kAdGuid;
      info->defined_size = 16;
      return {SQL_C_CHAR, CellType::kText, 40, false};
    }
    default:
      // Intervals, engine-specific types: their text form.
      return Text(info, kAdLongVarWChar, 0);
  }
}

SQLSMALLINT ParamSqlType(const ParamValue& value) {
  switch (value.ado_type) {
    case kAdDBDate:
    case 7:  // adDate
      if (value.type == CellType::kText) {
        return value.bytes.size() <= 10 ? SQL_TYPE_DATE : SQL_TYPE_TIMESTAMP;
      }
      break;
    case kAdDBTime:
      if (value.type == CellType::kText) return SQL_TYPE_TIME;
      break;
    case kAdDBTimeStamp:
      if (value.type == CellType::kText) return SQL_TYPE_TIMESTAMP;
      break;
    case kAdBoolean:
      if (value.type == CellType::kInt) return SQL_BIT;
      break;
    default:
      break;
  }
  switch (value.type) {
    case CellType::kInt:
      return SQL_BIGINT;
    case CellType::kReal:
      return SQL_DOUBLE;
    case CellType::kBlob:
      return value.bytes.size() > 8000 ? SQL_LONGVARBINARY : SQL_VARBINARY;
    case CellType::kText:
      return value.bytes.size() > 4000 ? SQL_LONGVARCHAR : SQL_VARCHAR;
    case CellType::kNull:
      break;
  }
  return SQL_VARCHAR;
}

}  // namespace korvo::ado::provider::odbc
