// ado/providers/sqlite/sqlite_cursor.cpp: preparing, binding and stepping
// SQLite statements, and reading the current row's cells.
#include <korvo/ado/hresult_internal.h>
#include <korvo/ado/providers/sqlite/sqlite_cursor.h>
#include <korvo/ado/providers/sqlite/sqlite_errors.h>
#include <korvo/ado/providers/sqlite/sqlite_types.h>
#include <korvo/platform/hot_internal.h>
#include <strings.h>

#include <cctype>
#include <cstring>
#include <string_view>

namespace korvo::ado::provider::sqlite {
namespace {

// Statements of a batch kept prepared across executions.
constexpr size_t kKeptParts = 64;

// Skips blanks, ';' and comments; returns the offset of the next token.
size_t SkipFiller(std::string_view s, size_t i, bool semicolons) {
  while (i < s.size()) {
    const char c = s[i];
    if (std::isspace(static_cast<unsigned char>(c)) || (semicolons && c == ';')) {
      ++i;
    } else if (c == '-' && i + 1 < s.size() && s[i + 1] == '-') {
      const size_t nl = s.find('\n', i);
      i = nl == std::string_view::npos ? s.size() : nl + 1;
    } else if (c == '/' && i + 1 < s.size() && s[i + 1] == '*') {
      const size_t end = s.find("*/", i + 2);
      i = end == std::string_view::npos ? s.size() : end + 2;
    } else {
      break;
    }
  }
  return i;
}

// INSERT, UPDATE, DELETE, REPLACE (or a WITH that writes): the statements
// whose sqlite3_changes() count belongs to them.
bool IsDml(sqlite3_stmt* stmt) {
  if (sqlite3_stmt_readonly(stmt)) return false;
  // Asked after every execution: the text is looked at in place, not copied.
  const char* const text = sqlite3_sql(stmt);
  const std::string_view sql = text != nullptr ? text : "";
  const size_t i = SkipFiller(sql, 0, false);
  auto starts = [&](const char* word) {
    return strncasecmp(sql.data() + i, word, strlen(word)) == 0;
  };
  return starts("INSERT") || starts("UPDATE") || starts("DELETE") || starts("REPLACE") ||
         starts("WITH");
}

}  // namespace

SqliteStatement::SqliteStatement(std::shared_ptr<SqliteDb> db, std::string sql,
                                 bool return_value_marker)
    : db_(std::move(db)), sql_(std::move(sql)), return_value_marker_(return_value_marker) {}

SqliteStatement::~SqliteStatement() {
  Reset();
  if (parts_.size() == 1 && all_prepared_)
    db_->ReturnToCache(std::move(sql_), std::move(parts_[0]));
}

HRESULT SqliteStatement::PrepareFirst() {
  if (StmtHandle cached = db_->TakeCached(sql_)) {
    parts_.push_back(std::move(cached));
    all_prepared_ = true;
    return kSOk;
  }
  bool none = false;
  const HRESULT hr = PrepareNext(&none);
  if (hr < 0) return hr;
  if (none) {
    return db_->diagnostics().Fail(ProviderRecord(
        kDbNoCommand, "42000", "The command text is empty: there is no statement to run."));
  }
  return kSOk;
}

HRESULT SqliteStatement::PrepareNext(bool* none) {
  *none = false;
  const size_t start = SkipFiller(sql_, tail_, true);
  if (start >= sql_.size()) {
    all_prepared_ = true;
    *none = true;
    return kSOk;
  }
  sqlite3_stmt* raw = nullptr;
  const char* tail = nullptr;
  // The length counts the terminating NUL: given a length without one,
  // the engine copies the whole remaining text on every prepare, which
  // made a long batch cost the square of its length.
  const int rc = sqlite3_prepare_v3(db_->get(), sql_.c_str() + start,
                                    static_cast<int>(sql_.size() - start + 1),
                                    SQLITE_PREPARE_PERSISTENT, &raw, &tail);
  StmtHandle stmt(raw);
  if (rc != SQLITE_OK) return db_->diagnostics().Fail(RecordFor(db_->get(), rc));
  db_->CountPrepare();
  tail_ = tail != nullptr ? static_cast<size_t>(tail - sql_.c_str()) : sql_.size();
  if (!stmt) {  // only a comment was left
    all_prepared_ = true;
    *none = true;
    return kSOk;
  }
  parts_.push_back(std::move(stmt));
  if (SkipFiller(sql_, tail_, true) >= sql_.size()) all_prepared_ = true;
  return kSOk;
}

HRESULT SqliteStatement::Bind(sqlite3_stmt* stmt, const std::vector<ParamValue>& params,
                              size_t* offset) {
  const int count = sqlite3_bind_parameter_count(stmt);
  if (*offset + static_cast<size_t>(count) > params.size()) {
    return db_->diagnostics().Fail(ProviderRecord(
        kDbParamNotOptional, "07002", "No value given for one or more required parameters."));
  }
  // A statement without result columns runs to its end inside Execute,
  // while `params` is alive: the engine may point at the caller's text
  // instead of copying it. Its bindings are not read again before the next
  // execution binds afresh. A statement with rows is stepped later, so the
  // engine keeps its own copy.
  const sqlite3_destructor_type keep =
      sqlite3_column_count(stmt) == 0 ? SQLITE_STATIC : SQLITE_TRANSIENT;
  for (int j = 1; j <= count; ++j) {
    const ParamValue& p = params[*offset + static_cast<size_t>(j) - 1];
    int rc = SQLITE_OK;
    switch (p.type) {
      case CellType::kNull:
        rc = sqlite3_bind_null(stmt, j);
        break;
      case CellType::kInt:
        rc = sqlite3_bind_int64(stmt, j, p.i);
        break;
      case CellType::kReal:
        rc = sqlite3_bind_double(stmt, j, p.r);
        break;
      case CellType::kText:
        rc = sqlite3_bind_text64(stmt, j, p.bytes.data(), p.bytes.size(), keep, SQLITE_UTF8);
        break;
      case CellType::kBlob:
        rc = sqlite3_bind_blob64(stmt, j, p.bytes.data(), p.bytes.size(), keep);
        break;
    }
    if (rc != SQLITE_OK) return db_->diagnostics().Fail(RecordFor(db_->get(), rc));
  }
  *offset += static_cast<size_t>(count);
  return kSOk;
}

HRESULT SqliteStatement::StepFailed(sqlite3_stmt* stmt, int rc) {
  ErrorRecord record = RecordFor(db_->get(), rc);
  sqlite3_reset(stmt);
  has_row_ = false;
  db_->NoteFailure(record);
  return db_->diagnostics().Fail(std::move(record));
}

void SqliteStatement::CountChanges(sqlite3_stmt* stmt) {
  bool dml = false;
  if (!parts_.empty() && stmt == parts_[0].get()) {
    if (first_part_dml_ < 0) first_part_dml_ = IsDml(stmt) ? 1 : 0;
    dml = first_part_dml_ == 1;
  } else {
    dml = IsDml(stmt);
  }
  if (dml) changes_ += sqlite3_changes64(db_->get());
}

// Clears the statement's deadline when a call returns, so that a later
// engine call without one (a prepare, a transaction call) is not held to it.
struct SqliteStatement::ArmedScope {
  SqliteDb& db;
  ArmedScope(SqliteDb& d, Deadline deadline) : db(d) { db.Arm(deadline); }
  ~ArmedScope() { db.Arm(NoDeadline()); }
};

KORVO_HOT HRESULT SqliteStatement::Execute(const std::vector<ParamValue>& params,
                                           Deadline deadline) {
  db_->diagnostics().errors.clear();
  Reset();
  if (db_->doomed()) return db_->FailDoomed();
  const ArmedScope armed(*db_, deadline);
  changes_ = 0;
  if (discarded_) {  // a long batch prepares its statements again
    parts_.clear();
    first_part_dml_ = -1;
    tail_ = 0;
    all_prepared_ = false;
    discarded_ = false;
  }
  columns_valid_ = false;
  result_ = nullptr;
  size_t offset = 0;
  for (size_t k = 0;; ++k) {
    bool none = false;
    if (k == parts_.size()) {
      const HRESULT hr = PrepareNext(&none);
      if (hr < 0) return hr;
      if (none) break;
    }
    sqlite3_stmt* s = parts_[k].get();
    HRESULT hr = Bind(s, params, &offset);
    if (hr < 0) return hr;
    bool last = all_prepared_ && k + 1 == parts_.size();
    if (last && offset < params.size()) {
      return db_->diagnostics().Fail(
          ProviderRecord(kEInvalidArg, "07001",
                         std::to_string(params.size()) + " parameter values were given for " +
                             std::to_string(offset) + " parameter markers."));
    }
    stepped_ = true;
    int rc = sqlite3_step(s);
    if (rc == SQLITE_ROW) {
      if (!last) {
        hr = PrepareNext(&none);
        if (hr < 0) {
          sqlite3_reset(s);
          return hr;
        }
        last = none;
      }
      if (last) {
        result_ = s;
        has_row_ = true;
        break;
      }
      while ((rc = sqlite3_step(s)) == SQLITE_ROW) {
      }
    }
    if (rc != SQLITE_DONE) return StepFailed(s, rc);
    CountChanges(s);
    if (all_prepared_ && k + 1 == parts_.size()) {
      result_ = s;
      break;
    }
    // A batch keeps its first statements prepared for the next execution;
    // the rest go once run, so memory does not grow with its length.
    if (k >= kKeptParts) {
      parts_[k].reset();
      discarded_ = true;
    }
  }
  if (result_ == nullptr && !parts_.empty()) result_ = parts_.back().get();
  rows_affected_ =
      (result_ != nullptr && sqlite3_column_count(result_) > 0 && changes_ == 0) ? -1 : changes_;
  return kSOk;
}

KORVO_HOT HRESULT SqliteStatement::Next(Deadline deadline) {
  if (!has_row_ || result_ == nullptr) return kSOk;
  const ArmedScope armed(*db_, deadline);
  const int rc = sqlite3_step(result_);
  if (rc == SQLITE_ROW) return kSOk;
  has_row_ = false;
  if (rc != SQLITE_DONE) return StepFailed(result_, rc);
  CountChanges(result_);
  return kSOk;
}

const std::vector<ColumnInfo>& SqliteStatement::Columns() {
  if (!columns_valid_) {
    columns_.clear();
    const int n = result_ != nullptr ? sqlite3_column_count(result_) : 0;
    columns_.reserve(static_cast<size_t>(n));
    for (int i = 0; i < n; ++i) {
      const int first = has_row_ ? sqlite3_column_type(result_, i) : SQLITE_NULL;
      columns_.push_back(DescribeColumn(db_->get(), result_, i, first));
    }
    columns_valid_ = true;
  }
  return columns_;
}

Cell SqliteStatement::Get(int column) const { return CellAt(result_, column); }

void SqliteStatement::GetRow(Cell* out, int count) const {
  for (int column = 0; column < count; ++column) out[column] = CellAt(result_, column);
}

void SqliteStatement::Reset() {
  if (stepped_) {
    for (auto& part : parts_) sqlite3_reset(part.get());
    stepped_ = false;
  }
  has_row_ = false;
}

}  // namespace korvo::ado::provider::sqlite
