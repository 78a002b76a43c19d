// tool/result_set.h: a result set of any shape read into text cells, and
// the recordset class that reads it through the library's recordset.
#pragma once

#include <korvo/Korvo.h>

#include <optional>
#include <string>
#include <vector>

namespace korvo::tool {

// How a column's values are written as text and read back on import.
enum class ValueKind { kText, kInteger, kReal, kBoolean, kDate, kBinary };

// The kind of an ADO data type code (DataTypeEnum).
ValueKind KindOfAdoType(int adoType);

struct Column {
  std::string name;
  int ado_type = adEmpty;
  ValueKind kind = ValueKind::kText;
};

// A cell's text; no value for NULL. Texts are UTF-8; integers in decimal,
// reals in the shortest form that reads back to the same double, dates as
// "YYYY-MM-DD hh:mm:ss.mmm", binaries as "0x" and upper-case hex digits,
// booleans as 1 or 0.
using Cell = std::optional<std::string>;

struct ResultSet {
  std::vector<Column> columns;
  std::vector<std::vector<Cell>> rows;
};

// A recordset with no bound members: its columns are whatever the
// statement returns, read by number. Errors arrive as CDBException*.
// Borrows `db`, which must outlive it.
class ResultRowset : public CRecordset {
 public:
  explicit ResultRowset(CDatabase* db) : CRecordset(db) {}
  // REQUIRES: open. The columns of the statement.
  std::vector<Column> Describe();
  // REQUIRES: open and on a row. The current row, one cell per column.
  std::vector<Cell> ReadRow(const std::vector<Column>& columns);
  // Every row of `rows`, an open ADO recordset that the statement of some
  // other call left behind, read with the conversions of ReadRow. This
  // recordset itself need not be open.
  ResultSet ReadAllOf(_Recordset& rows);

 private:
  Cell ReadCell(short number, ValueKind kind);
  Cell CellOf(VARIANT& raw, ValueKind kind);
};

// Opens `sql` (a SELECT) forward-only and read-only and reads every row.
ResultSet ReadAll(CDatabase& db, const std::string& sql);

// The text of a binary value as the tool writes it ("0x" + hex digits).
std::string HexOfBytes(const unsigned char* data, size_t size);
// The bytes of "0x..." or bare hex digits; no value when malformed.
std::optional<std::vector<unsigned char>> BytesOfHex(const std::string& text);

}  // namespace korvo::tool
