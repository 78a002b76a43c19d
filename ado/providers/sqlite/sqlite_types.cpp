// ado/providers/sqlite/sqlite_types.cpp: declared types to ADO types.
// SQLite keeps any value in any column; the declared type is what tells a
// DATETIME column (text in ISO form) from plain text, so it drives the
// reported type and the object model converts each value towards it.
#include <korvo/ado/providers/sqlite/sqlite_types.h>

#include <cctype>
#include <cstdlib>
#include <string>

namespace korvo::ado::provider::sqlite {
namespace {

std::string Upper(const char* s) {
  std::string r(s);
  for (char& c : r) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  return r;
}

bool Contains(const std::string& s, const char* word) { return s.find(word) != std::string::npos; }
bool StartsWith(const std::string& s, const char* word) { return s.rfind(word, 0) == 0; }

// "(n)" or "(p,s)" after the type name.
void ReadSize(const std::string& decl, int32_t* first, int32_t* second) {
  const size_t open = decl.find('(');
  if (open == std::string::npos) return;
  char* end = nullptr;
  const long a = std::strtol(decl.c_str() + open + 1, &end, 10);
  if (end == decl.c_str() + open + 1) return;
  *first = static_cast<int32_t>(a > 0 && a < 0x7FFFFFFF ? a : 0);
  while (*end == ' ') ++end;
  if (*end == ',') *second = static_cast<int32_t>(std::strtol(end + 1, nullptr, 10));
}

// ADO's defined size for text without a length, as large-value providers report it.
constexpr int32_t kLongSize = 1073741823;

}  // namespace

bool MapDeclaredType(const char* decl, ColumnInfo* info) {
  if (decl == nullptr || *decl == '\0') return false;
  const std::string d = Upper(decl);
  int32_t size = 0, scale = 0;
  ReadSize(d, &size, &scale);
  auto set = [&](int32_t type, int32_t defined) {
    info->ado_type = type;
    info->defined_size = defined;
  };
  // Dates first: "DATETIME" also contains "TIME" and "DATE".
  if (StartsWith(d, "DATETIME") || StartsWith(d, "TIMESTAMP") || StartsWith(d, "SMALLDATETIME")) {
    set(kAdDBTimeStamp, 16);
  } else if (StartsWith(d, "DATE")) {
    set(kAdDate, 8);
  } else if (StartsWith(d, "TIME")) {
    set(kAdDBTime, 8);
  } else if (StartsWith(d, "BOOL") || d == "BIT") {
    set(kAdBoolean, 2);
  } else if (StartsWith(d, "SMALLINT") || StartsWith(d, "INT2")) {
    set(kAdSmallInt, 2);
    info->precision = 5;
  } else if (StartsWith(d, "TINYINT")) {
    // Unsigned, as the byte type of the recordset's exchange (0..255).
    set(kAdUnsignedTinyInt, 1);
    info->precision = 3;
  } else if (Contains(d, "INT")) {
    // INTEGER, INT, BIGINT, ...: the engine keeps 64 bits in all of them.
    set(kAdBigInt, 8);
    info->precision = 19;
  } else if (StartsWith(d, "NCHAR") || StartsWith(d, "CHAR") || StartsWith(d, "CHARACTER(") ||
             StartsWith(d, "NATIVE CHARACTER")) {
    set(kAdWChar, size > 0 ? size : 1);
  } else if (Contains(d, "CLOB") || StartsWith(d, "LONG") || StartsWith(d, "NTEXT")) {
    set(kAdLongVarWChar, kLongSize);
  } else if (Contains(d, "CHAR") || Contains(d, "TEXT")) {
    // Text without a length (TEXT, VARCHAR) is long text.
    if (size > 0) {
      set(kAdVarWChar, size);
    } else {
      set(kAdLongVarWChar, kLongSize);
    }
  } else if (StartsWith(d, "BINARY")) {
    set(kAdBinary, size > 0 ? size : 1);
  } else if (StartsWith(d, "VARBINARY")) {
    if (size > 0) {
      set(kAdVarBinary, size);
    } else {
      set(kAdLongVarBinary, kLongSize);
    }
  } else if (Contains(d, "BLOB") || Contains(d, "IMAGE")) {
    set(kAdLongVarBinary, kLongSize);
  } else if (Contains(d, "REAL") || Contains(d, "FLOA") || Contains(d, "DOUB") ||
             StartsWith(d, "NUMERIC") || StartsWith(d, "DECIMAL") || StartsWith(d, "MONEY")) {
    // SQLite keeps decimals as integers or doubles, so they are reported
    // as doubles rather than promising decimal precision it does not keep.
    set(kAdDouble, 8);
    info->precision = 15;
    if (StartsWith(d, "NUMERIC") || StartsWith(d, "DECIMAL")) {
      info->precision = static_cast<uint8_t>(size > 0 && size < 256 ? size : 15);
      info->scale = static_cast<uint8_t>(scale > 0 && scale < 256 ? scale : 0);
    }
  } else {
    // NUMERIC affinity for anything else SQLite would accept.
    set(kAdDouble, 8);
    info->precision = 15;
  }
  return true;
}

void MapStorageClass(int storage_class, ColumnInfo* info) {
  switch (storage_class) {
    case SQLITE_INTEGER:
      info->ado_type = kAdBigInt;
      info->defined_size = 8;
      info->precision = 19;
      break;
    case SQLITE_FLOAT:
      info->ado_type = kAdDouble;
      info->defined_size = 8;
      info->precision = 15;
      break;
    case SQLITE_BLOB:
      info->ado_type = kAdLongVarBinary;
      info->defined_size = kLongSize;
      break;
    default:  // text, or no row to tell: long text takes any value
      info->ado_type = kAdLongVarWChar;
      info->defined_size = kLongSize;
      break;
  }
}

ColumnInfo DescribeColumn(sqlite3* db, sqlite3_stmt* stmt, int i, int first_row_type) {
  ColumnInfo info;
  if (const char* name = sqlite3_column_name(stmt, i)) info.name = name;
  const char* table = sqlite3_column_table_name(stmt, i);
  const char* column = sqlite3_column_origin_name(stmt, i);
  const char* schema = sqlite3_column_database_name(stmt, i);
  if (table != nullptr && column != nullptr) {
    info.base_table = table;
    info.base_column = column;
    if (schema != nullptr) info.base_schema = schema;
    int not_null = 0, primary_key = 0, autoinc = 0;
    if (sqlite3_table_column_metadata(db, schema, table, column, nullptr, nullptr, &not_null,
                                      &primary_key, &autoinc) == SQLITE_OK) {
      info.nullable = not_null == 0;
      info.key = primary_key != 0;
      info.autoincrement = autoinc != 0;
    }
  }
  if (!MapDeclaredType(sqlite3_column_decltype(stmt, i), &info)) {
    MapStorageClass(first_row_type, &info);
  }
  return info;
}

}  // namespace korvo::ado::provider::sqlite
