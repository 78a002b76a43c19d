// ado/providers/odbc/odbc_cursor.cpp: running the statements of a text,
// binding parameters, running, and reading rows in blocks of bound arrays
// (SQLFetchScroll) with long values read through SQLGetData.
#include <korvo/ado/hresult_internal.h>
#include <korvo/ado/providers/odbc/odbc_cursor.h>
#include <korvo/ado/providers/odbc/odbc_errors.h>
#include <korvo/ado/statement_split_internal.h>

#include <algorithm>
#include <cstring>

namespace korvo::ado::provider::odbc {
namespace {

// Rows per block when the object model gave no cache size.
constexpr SQLULEN kDefaultRows = 100;
constexpr size_t kFirstLongChunk = 4096;

SQLSMALLINT TextTerminator(const FetchPlan& plan) { return plan.c_type == SQL_C_CHAR ? 1 : 0; }

}  // namespace

OdbcStatement::OdbcStatement(std::shared_ptr<OdbcDb> db, std::string_view sql)
    : db_(std::move(db)) {
  for (StatementPart& cut : SplitStatements(sql)) {
    Part part;
    part.sql = std::move(cut.sql);
    part.markers = cut.markers.size();
    parts_.push_back(std::move(part));
  }
}

OdbcStatement::~OdbcStatement() { Reset(); }

HRESULT OdbcStatement::PrepareFirst() {
  if (parts_.empty()) {
    return db_->diagnostics().Fail(ProviderRecord(
        kDbNoCommand, "42000", "The command text is empty: there is no statement to run."));
  }
  return PreparePart(parts_[0]);
}

HRESULT OdbcStatement::PreparePart(Part& part) {
  if (part.prepared) return kSOk;
  SQLRETURN rc = SQL_SUCCESS;
  if (!part.stmt) {
    rc = SQLAllocHandle(SQL_HANDLE_STMT, db_->dbc(), part.stmt.out());
    if (!SQL_SUCCEEDED(rc))
      return db_->Fail(SQL_HANDLE_DBC, db_->dbc(), rc, "allocating a statement");
  }
  rc = SQLPrepare(part.stmt.get(), reinterpret_cast<SQLCHAR*>(part.sql.data()),
                  static_cast<SQLINTEGER>(part.sql.size()));
  if (!SQL_SUCCEEDED(rc)) return Failed(part.stmt.get(), rc);
  part.prepared = true;
  return kSOk;
}

HRESULT OdbcStatement::Failed(SQLHANDLE stmt, SQLRETURN rc) {
  has_row_ = false;
  return db_->Fail(SQL_HANDLE_STMT, stmt, rc);
}

namespace {

// How one parameter value is handed to the driver: its C type, buffer,
// length indicator and column size.
struct ParamBuffer {
  SQLSMALLINT c_type;
  SQLPOINTER data;
  SQLLEN length;
  SQLULEN size;
};

ParamBuffer BufferFor(const ParamValue& p) {
  // A driver may read the buffer even for a null or empty value.
  static char empty = 0;
  switch (p.type) {
    case CellType::kNull:
      break;
    case CellType::kInt:
      return {SQL_C_SBIGINT, const_cast<int64_t*>(&p.i), SQLLEN{sizeof p.i}, 19};
    case CellType::kReal:
      return {SQL_C_DOUBLE, const_cast<double*>(&p.r), SQLLEN{sizeof p.r}, 15};
    case CellType::kText:
    case CellType::kBlob:
      return {static_cast<SQLSMALLINT>(p.type == CellType::kText ? SQL_C_CHAR : SQL_C_BINARY),
              p.bytes.empty() ? static_cast<SQLPOINTER>(&empty) : const_cast<char*>(p.bytes.data()),
              static_cast<SQLLEN>(p.bytes.size()), std::max<SQLULEN>(p.bytes.size(), 1)};
  }
  return {SQL_C_CHAR, &empty, SQL_NULL_DATA, 1};
}

}  // namespace

HRESULT OdbcStatement::Bind(Part& part, const std::vector<ParamValue>& params, size_t offset) {
  SQLHSTMT stmt = part.stmt.get();
  SQLFreeStmt(stmt, SQL_RESET_PARAMS);
  for (size_t j = 0; j < part.markers; ++j) {
    const ParamValue& p = params[offset + j];
    // The indicator must outlive the call: the driver reads it at execution.
    SQLLEN& length = param_lengths_[offset + j];
    const ParamBuffer buffer = BufferFor(p);
    length = buffer.length;
    SQLULEN size = buffer.size;
    const SQLSMALLINT sql_type = ParamSqlType(p);
    if (sql_type == SQL_TYPE_TIMESTAMP) size = 26;
    const SQLRETURN rc = SQLBindParameter(
        stmt, static_cast<SQLUSMALLINT>(j + 1), SQL_PARAM_INPUT, buffer.c_type, sql_type, size,
        sql_type == SQL_TYPE_TIMESTAMP ? 6 : 0, buffer.data, length > 0 ? length : 0, &length);
    if (!SQL_SUCCEEDED(rc)) return Failed(stmt, rc);
  }
  return kSOk;
}

HRESULT OdbcStatement::SetTimeout(Part& part, Deadline deadline) {
  SQLULEN seconds = 0;
  if (deadline != NoDeadline()) {
    const auto left =
        std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count();
    seconds = left <= 1000 ? 1 : static_cast<SQLULEN>((left + 999) / 1000);
  }
  const SQLRETURN rc = SQLSetStmtAttr(part.stmt.get(), SQL_ATTR_QUERY_TIMEOUT,
                                      reinterpret_cast<SQLPOINTER>(seconds), 0);
  // A driver without time-outs says so with a warning (01S02); the
  // statement still runs.
  if (!SQL_SUCCEEDED(rc)) return Failed(part.stmt.get(), rc);
  return kSOk;
}

HRESULT OdbcStatement::Execute(const std::vector<ParamValue>& params, Deadline deadline) {
  db_->diagnostics().errors.clear();
  Reset();
  if (db_->dead()) return db_->FailDead();
  size_t total = 0;
  for (const Part& part : parts_) total += part.markers;
  if (total > params.size()) {
    return db_->diagnostics().Fail(ProviderRecord(
        kDbParamNotOptional, "07002", "No value given for one or more required parameters."));
  }
  if (total < params.size()) {
    return db_->diagnostics().Fail(
        ProviderRecord(kEInvalidArg, "07001",
                       std::to_string(params.size()) + " parameter values were given for " +
                           std::to_string(total) + " parameter markers."));
  }
  param_lengths_.assign(total, 0);
  result_ = nullptr;
  columns_.clear();
  buffers_.clear();
  int64_t changes = 0;
  size_t offset = 0;
  for (size_t k = 0; k < parts_.size(); ++k) {
    Part& part = parts_[k];
    HRESULT hr = PreparePart(part);
    if (hr < 0) return hr;
    hr = Bind(part, params, offset);
    if (hr < 0) return hr;
    offset += part.markers;
    hr = SetTimeout(part, deadline);
    if (hr < 0) return hr;
    DeadlineWatch watch(db_->canceller.get(), part.stmt.get(), deadline);
    const SQLRETURN rc = SQLExecute(part.stmt.get());
    if (watch.Disarm() && SQL_SUCCEEDED(rc)) {
      // Cancelled just as it finished: the driver may have closed the
      // result under it, and the deadline has passed either way.
      SQLFreeStmt(part.stmt.get(), SQL_CLOSE);
      has_row_ = false;
      return db_->diagnostics().Fail(
          ProviderRecord(kDbAbortLimitReached, "HYT00", "Query timeout expired"));
    }
    if (!SQL_SUCCEEDED(rc) && rc != SQL_NO_DATA) return Failed(part.stmt.get(), rc);
    db_->Note(SQL_HANDLE_STMT, part.stmt.get(), rc);
    SQLSMALLINT column_count = 0;
    SQLNumResultCols(part.stmt.get(), &column_count);
    if (column_count == 0) {
      SQLLEN count = -1;
      if (rc != SQL_NO_DATA && SQL_SUCCEEDED(SQLRowCount(part.stmt.get(), &count)) && count > 0) {
        changes += count;
      }
      SQLFreeStmt(part.stmt.get(), SQL_CLOSE);
    } else if (k + 1 < parts_.size()) {
      SQLFreeStmt(part.stmt.get(), SQL_CLOSE);  // rows of a statement before the last are dropped
    } else {
      result_ = &part;
    }
  }
  rows_affected_ = result_ != nullptr && changes == 0 ? -1 : changes;
  if (result_ == nullptr) return kSOk;
  HRESULT hr = Describe(*result_);
  if (hr < 0) return hr;
  return FetchBlock(deadline);
}

HRESULT OdbcStatement::Describe(Part& part) {
  SQLHSTMT stmt = part.stmt.get();
  SQLFreeStmt(stmt, SQL_UNBIND);
  SQLSMALLINT count = 0;
  SQLNumResultCols(stmt, &count);
  columns_.resize(static_cast<size_t>(count));
  buffers_.resize(static_cast<size_t>(count));
  any_long_ = false;
  for (SQLUSMALLINT c = 1; c <= static_cast<SQLUSMALLINT>(count); ++c) {
    ColumnInfo& info = columns_[c - 1u];
    char name[512] = {0};
    SQLSMALLINT name_length = 0, sql_type = 0, digits = 0, nullable = SQL_NULLABLE_UNKNOWN;
    SQLULEN size = 0;
    const SQLRETURN rc = SQLDescribeCol(stmt, c, reinterpret_cast<SQLCHAR*>(name), sizeof name,
                                        &name_length, &sql_type, &size, &digits, &nullable);
    if (!SQL_SUCCEEDED(rc)) return Failed(stmt, rc);
    info.name = name;
    info.nullable = nullable != SQL_NO_NULLS;
    auto text_attribute = [&](SQLUSMALLINT field) {
      char buffer[256] = {0};
      SQLSMALLINT length = 0;
      if (!SQL_SUCCEEDED(SQLColAttribute(stmt, c, field, buffer, sizeof buffer, &length, nullptr)))
        return std::string();
      return std::string(buffer);
    };
    auto number_attribute = [&](SQLUSMALLINT field) {
      SQLLEN value = 0;
      if (!SQL_SUCCEEDED(SQLColAttribute(stmt, c, field, nullptr, 0, nullptr, &value)))
        return SQLLEN{0};
      return value;
    };
    info.base_table = text_attribute(SQL_DESC_BASE_TABLE_NAME);
    if (!info.base_table.empty()) {
      info.base_column = text_attribute(SQL_DESC_BASE_COLUMN_NAME);
      info.base_schema = text_attribute(SQL_DESC_SCHEMA_NAME);
    }
    info.autoincrement = number_attribute(SQL_DESC_AUTO_UNIQUE_VALUE) == SQL_TRUE;
    const bool is_unsigned = number_attribute(SQL_DESC_UNSIGNED) == SQL_TRUE &&
                             (sql_type == SQL_TINYINT || sql_type == SQL_SMALLINT ||
                              sql_type == SQL_INTEGER || sql_type == SQL_BIGINT);
    Buffer& buffer = buffers_[c - 1u];
    buffer.plan = MapSqlType(sql_type, size, digits, is_unsigned, &info);
    any_long_ = any_long_ || buffer.plan.long_data;
  }
  // Value-by-value reads (SQLGetData) need a block of one row on most
  // drivers.
  array_size_ = any_long_ ? 1 : (fetch_rows_ > 0 ? fetch_rows_ : kDefaultRows);
  SQLSetStmtAttr(stmt, SQL_ATTR_ROW_BIND_TYPE, reinterpret_cast<SQLPOINTER>(SQL_BIND_BY_COLUMN), 0);
  SQLRETURN rc =
      SQLSetStmtAttr(stmt, SQL_ATTR_ROW_ARRAY_SIZE, reinterpret_cast<SQLPOINTER>(array_size_), 0);
  if (rc == SQL_SUCCESS_WITH_INFO || !SQL_SUCCEEDED(rc)) {
    // The driver chose its own size (01S02): read one row at a time.
    array_size_ = 1;
    SQLSetStmtAttr(stmt, SQL_ATTR_ROW_ARRAY_SIZE, reinterpret_cast<SQLPOINTER>(array_size_), 0);
  }
  SQLSetStmtAttr(stmt, SQL_ATTR_ROWS_FETCHED_PTR, &rows_in_block_, 0);
  for (size_t i = 0; i < buffers_.size(); ++i) {
    Buffer& b = buffers_[i];
    if (b.plan.long_data) {
      b.indicators.assign(1, SQL_NULL_DATA);
      continue;
    }
    b.data.assign(static_cast<size_t>(b.plan.width) * array_size_, 0);
    b.indicators.assign(array_size_, 0);
    rc = SQLBindCol(stmt, static_cast<SQLUSMALLINT>(i + 1), b.plan.c_type, b.data.data(),
                    b.plan.width, b.indicators.data());
    if (!SQL_SUCCEEDED(rc)) return Failed(stmt, rc);
  }
  return kSOk;
}

HRESULT OdbcStatement::FetchBlock(Deadline) {
  SQLHSTMT stmt = result_->stmt.get();
  rows_in_block_ = 0;
  row_ = 0;
  overflow_.clear();
  const SQLRETURN rc = SQLFetchScroll(stmt, SQL_FETCH_NEXT, 0);
  if (rc == SQL_NO_DATA) {
    has_row_ = false;
    SQLFreeStmt(stmt, SQL_CLOSE);  // the server's cursor goes at once
    return kSOk;
  }
  if (!SQL_SUCCEEDED(rc)) return Failed(stmt, rc);
  has_row_ = rows_in_block_ > 0;
  if (rc == SQL_SUCCESS_WITH_INFO) {
    const HRESULT hr = ReadTruncated();
    if (hr < 0) return hr;
  }
  if (any_long_ && has_row_) return ReadLongData();
  return kSOk;
}

HRESULT OdbcStatement::ReadTruncated() {
  // A bound value longer than the size the driver declared for its column
  // (psqlODBC declares 255 for an unbounded VARCHAR): read it whole.
  SQLHSTMT stmt = result_->stmt.get();
  for (size_t c = 0; c < buffers_.size(); ++c) {
    const Buffer& b = buffers_[c];
    if (b.plan.long_data || (b.plan.cell != CellType::kText && b.plan.cell != CellType::kBlob))
      continue;
    const SQLLEN room = b.plan.width - TextTerminator(b.plan);
    for (SQLULEN r = 0; r < rows_in_block_; ++r) {
      const SQLLEN ind = b.indicators[r];
      if (ind != SQL_NO_TOTAL && ind <= room) continue;
      SQLRETURN rc = array_size_ == 1 ? SQL_SUCCESS
                                      : SQLSetPos(stmt, static_cast<SQLSETPOSIROW>(r + 1),
                                                  SQL_POSITION, SQL_LOCK_NO_CHANGE);
      std::string value;
      if (SQL_SUCCEEDED(rc))
        rc = GetWhole(stmt, static_cast<SQLUSMALLINT>(c + 1), b.plan.c_type, &value);
      if (!SQL_SUCCEEDED(rc)) {
        return db_->diagnostics().Fail(ProviderRecord(
            kDbDataOverflow, "01004",
            "A value of column \"" + columns_[c].name + "\" is longer than the driver declared (" +
                std::to_string(room) + " bytes) and the driver cannot read it whole."));
      }
      overflow_.push_back(Overflow{r, c, std::move(value)});
    }
  }
  return kSOk;
}

SQLRETURN OdbcStatement::GetWhole(SQLHSTMT stmt, SQLUSMALLINT column, SQLSMALLINT c_type,
                                  std::string* out, bool* null) {
  if (null) *null = false;
  const size_t terminator = c_type == SQL_C_CHAR ? 1 : 0;
  out->assign(kFirstLongChunk, '\0');
  size_t have = 0;
  for (;;) {
    SQLLEN indicator = 0;
    const SQLRETURN rc = SQLGetData(stmt, column, c_type, out->data() + have,
                                    static_cast<SQLLEN>(out->size() - have), &indicator);
    if (rc == SQL_NO_DATA) break;
    if (!SQL_SUCCEEDED(rc)) return rc;
    if (indicator == SQL_NULL_DATA) {
      if (null) *null = true;
      out->clear();
      return SQL_SUCCESS;
    }
    const size_t room = out->size() - have - terminator;
    if (rc == SQL_SUCCESS) {
      have += std::min(static_cast<size_t>(indicator), room);
      break;
    }
    // Truncated (01004): the part that fitted is in; make room for the rest.
    have += room;
    const size_t rest =
        indicator == SQL_NO_TOTAL ? out->size() : static_cast<size_t>(indicator) - room;
    out->resize(have + rest + terminator + 1);
  }
  out->resize(have);
  return SQL_SUCCESS;
}

HRESULT OdbcStatement::ReadLongData() {
  SQLHSTMT stmt = result_->stmt.get();
  for (size_t c = 0; c < buffers_.size(); ++c) {
    Buffer& b = buffers_[c];
    if (!b.plan.long_data) continue;
    bool null = false;
    const SQLRETURN rc =
        GetWhole(stmt, static_cast<SQLUSMALLINT>(c + 1), b.plan.c_type, &b.value, &null);
    if (!SQL_SUCCEEDED(rc)) return Failed(stmt, rc);
    b.indicators[0] = null ? SQL_NULL_DATA : static_cast<SQLLEN>(b.value.size());
  }
  return kSOk;
}

HRESULT OdbcStatement::Next(Deadline deadline) {
  if (!has_row_ || result_ == nullptr) return kSOk;
  if (++row_ < rows_in_block_) return kSOk;
  return FetchBlock(deadline);
}

Cell OdbcStatement::Get(int column) const {
  Cell cell;
  const Buffer& b = buffers_[static_cast<size_t>(column)];
  const SQLLEN ind = b.plan.long_data ? b.indicators[0] : b.indicators[row_];
  if (ind == SQL_NULL_DATA) return cell;
  cell.type = b.plan.cell;
  const size_t at = static_cast<size_t>(b.plan.width) * row_;
  switch (b.plan.cell) {
    case CellType::kInt:
      std::memcpy(&cell.i, b.data.data() + at, sizeof cell.i);
      break;
    case CellType::kReal:
      std::memcpy(&cell.r, b.data.data() + at, sizeof cell.r);
      break;
    case CellType::kText:
    case CellType::kBlob:
      if (b.plan.long_data) {
        cell.data = b.value.data();
        cell.size = b.value.size();
        break;
      }
      for (const Overflow& o : overflow_) {
        if (o.row == row_ && o.column == static_cast<size_t>(column)) {
          cell.data = o.value.data();
          cell.size = o.value.size();
          return cell;
        }
      }
      cell.data = b.data.data() + at;
      cell.size =
          static_cast<size_t>(std::clamp<SQLLEN>(ind, 0, b.plan.width - TextTerminator(b.plan)));
      break;
    case CellType::kNull:
      break;
  }
  return cell;
}

void OdbcStatement::Reset() {
  if (result_ != nullptr && result_->stmt) SQLFreeStmt(result_->stmt.get(), SQL_CLOSE);
  has_row_ = false;
  rows_in_block_ = 0;
  row_ = 0;
}

}  // namespace korvo::ado::provider::odbc
