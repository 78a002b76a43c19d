// ado/providers/odbc/odbc_cursor.h: a statement text (one or more
// statements) run through ODBC statement handles, and its rows read in
// blocks.
#pragma once

#include <korvo/ado/providers/odbc/odbc_connection.h>
#include <korvo/ado/providers/odbc/odbc_sql.h>
#include <korvo/ado/providers/odbc/odbc_types.h>
#include <korvo/ado/providers/provider.h>

#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace korvo::ado::provider::odbc {

class OdbcStatement final : public Statement {
 public:
  // Splits `sql` into its statements (at top-level ';'), each run on its
  // own handle so that every driver sees one statement at a time and the
  // row counts add up the same way everywhere.
  OdbcStatement(std::shared_ptr<OdbcDb> db, std::string_view sql);
  ~OdbcStatement() override;

  // Prepares the first statement, so that a driver that checks at
  // prepare time reports errors at once; fails for an empty text.
  HRESULT PrepareFirst();

  void SetFetchRows(long rows) override { fetch_rows_ = rows > 0 ? static_cast<SQLULEN>(rows) : 0; }
  HRESULT Execute(const std::vector<ParamValue>& params, Deadline deadline) override;
  HRESULT Next(Deadline deadline) override;
  bool HasRow() const override { return has_row_; }
  const std::vector<ColumnInfo>& Columns() override { return columns_; }
  Cell Get(int column) const override;
  int64_t RowsAffected() const override { return rows_affected_; }
  bool ReturnValueMarker() const override { return false; }
  void Reset() override;

 private:
  struct Part {
    std::string sql;
    size_t markers = 0;  // ? parameter markers
    StmtHandle stmt;
    bool prepared = false;
  };
  // One column's bound array (or, for long data, the current value).
  struct Buffer {
    FetchPlan plan;
    std::vector<char> data;          // width bytes per row of the block
    std::vector<SQLLEN> indicators;  // per row (one for long data)
    std::string value;               // long data: the current row's value
  };
  // A bound value of the block that was longer than its buffer.
  struct Overflow {
    SQLULEN row;
    size_t column;
    std::string value;
  };

  HRESULT PreparePart(Part& part);
  HRESULT Bind(Part& part, const std::vector<ParamValue>& params, size_t offset);
  HRESULT SetTimeout(Part& part, Deadline deadline);
  HRESULT Describe(Part& part);
  HRESULT FetchBlock(Deadline deadline);
  HRESULT ReadTruncated();
  HRESULT ReadLongData();
  // The whole value of `column` of the current row through SQLGetData;
  // *null (when given) tells a NULL.
  static SQLRETURN GetWhole(SQLHSTMT stmt, SQLUSMALLINT column, SQLSMALLINT c_type,
                            std::string* out, bool* null = nullptr);
  HRESULT Failed(SQLHANDLE stmt, SQLRETURN rc);

  std::shared_ptr<OdbcDb> db_;
  std::vector<Part> parts_;
  Part* result_ = nullptr;
  SQLULEN fetch_rows_ = 0;
  SQLULEN array_size_ = 1;
  SQLULEN rows_in_block_ = 0;
  SQLULEN row_ = 0;
  bool has_row_ = false;
  int64_t rows_affected_ = -1;
  std::vector<ColumnInfo> columns_;
  std::vector<Buffer> buffers_;
  std::vector<Overflow> overflow_;
  bool any_long_ = false;
  // Parameter buffers of the current execution (drivers read them at
  // SQLExecute).
  std::vector<SQLLEN> param_lengths_;
};

}  // namespace korvo::ado::provider::odbc
