// ado/row_writer.cpp: generated INSERT/UPDATE/DELETE statements for
// updatable cursors.
#include <korvo/ado/hresult_internal.h>
#include <korvo/ado/object_internal.h>
#include <korvo/ado/row_writer_internal.h>
#include <korvo/ado/value_internal.h>
#include <korvo/platform/hot_internal.h>

namespace korvo::ado {

using provider::Cell;
using provider::CellType;
using provider::ColumnInfo;
using provider::ParamValue;

void CellToParamValue(const Cell& cell, ParamValue* out) {
  out->type = cell.type;
  out->i = cell.i;
  out->r = cell.r;
  if (cell.type == CellType::kText || cell.type == CellType::kBlob) {
    out->bytes.assign(cell.data, cell.size);
  } else {
    out->bytes.clear();
  }
}

std::unique_ptr<RowWriter> RowWriter::For(provider::Connection& conn,
                                          const std::vector<ColumnInfo>& columns,
                                          std::string* reason) {
  if (columns.empty()) {
    *reason = "The result has no columns to update.";
    return nullptr;
  }
  const ColumnInfo& first = columns.front();
  for (const ColumnInfo& c : columns) {
    if (c.base_table.empty() || c.base_column.empty() || c.base_table != first.base_table ||
        c.base_schema != first.base_schema) {
      *reason = "The result's columns do not all come from one base table.";
      return nullptr;
    }
  }
  std::vector<std::string> key_names;
  if (FAILED(conn.KeyColumns(first.base_schema, first.base_table, &key_names))) {
    *reason = "The base table of the result cannot be described.";
    return nullptr;
  }
  std::unique_ptr<RowWriter> w(new RowWriter());
  if (!first.base_schema.empty() && first.base_schema != "main") {
    w->table_ = conn.QuoteIdentifier(first.base_schema) + ".";
  }
  w->table_ += conn.QuoteIdentifier(first.base_table);
  for (const ColumnInfo& c : columns) w->names_.push_back(conn.QuoteIdentifier(c.base_column));
  for (const std::string& k : key_names) {
    int found = -1;
    for (size_t i = 0; i < columns.size() && found < 0; ++i) {
      if (EqualNames(columns[i].base_column, k)) found = static_cast<int>(i);
    }
    if (found < 0) {  // the result lacks part of the key: locate by all values
      w->key_.clear();
      break;
    }
    w->key_.push_back(found);
  }
  if (w->key_.size() == 1 && IsIntegerType(columns[static_cast<size_t>(w->key_[0])].ado_type)) {
    w->generated_ = w->key_[0];
  }
  return w;
}

void RowWriter::LocateShape(const std::vector<int>& locate, const Cell* original) {
  shape_ += '|';
  for (const int c : locate) shape_ += original[c].type == CellType::kNull ? 'n' : 'v';
}

void RowWriter::Where(const std::vector<int>& locate, const Cell* original, std::string* sql) {
  *sql += " WHERE ";
  for (size_t i = 0; i < locate.size(); ++i) {
    if (i) *sql += " AND ";
    const int c = locate[i];
    *sql += names_[static_cast<size_t>(c)];
    *sql += original[c].type == CellType::kNull ? " IS NULL" : " = ?";
  }
}

HRESULT RowWriter::NotFound(provider::Connection& conn) {
  return conn.diagnostics().Fail(AdoRecord(kDbConcurrencyViolation,
                                           "Row cannot be located for updating. Some values may "
                                           "have been changed since it was last read."));
}

template <class Build>
HRESULT RowWriter::StatementFor(provider::Connection& conn, Build&& build,
                                provider::Statement** out) {
  auto it = statements_.find(shape_);
  if (it == statements_.end()) {
    std::string sql;
    build(&sql);
    std::unique_ptr<provider::Statement> statement;
    const HRESULT hr = conn.Prepare(sql, &statement);
    if (FAILED(hr)) return hr;
    it = statements_.emplace(shape_, std::move(statement)).first;
  }
  *out = it->second.get();
  return kSOk;
}

HRESULT RowWriter::Execute(provider::Statement& s, const std::vector<ParamValue>& params,
                           provider::Deadline deadline, int64_t* affected) {
  const HRESULT hr = s.Execute(params, deadline);
  *affected = SUCCEEDED(hr) ? s.RowsAffected() : 0;
  s.Reset();
  return hr;
}

template <class Build>
HRESULT RowWriter::Run(provider::Connection& conn, provider::Deadline deadline, Build&& build,
                       int64_t* affected) {
  provider::Statement* statement = nullptr;
  const HRESULT hr = StatementFor(conn, build, &statement);
  if (FAILED(hr)) return hr;
  return Execute(*statement, params_, deadline, affected);
}

// Appends the originals of the located columns that are not NULL.
static void AddLocated(const std::vector<int>& locate, const Cell* original,
                       std::vector<ParamValue>* params, size_t* n) {
  for (const int c : locate) {
    if (original[c].type == CellType::kNull) continue;
    if (params->size() <= *n) params->resize(*n + 1);
    CellToParamValue(original[c], &(*params)[(*n)++]);
  }
}

void RowWriter::Locate(const std::vector<int>& changed) {
  locate_.clear();
  if (!keyed()) {
    for (size_t c = 0; c < names_.size(); ++c) locate_.push_back(static_cast<int>(c));
    return;
  }
  locate_ = key_;
  for (const int c : changed) {
    bool is_key = false;
    for (const int k : key_) is_key = is_key || k == c;
    if (!is_key) locate_.push_back(c);
  }
}

template <class Head>
HRESULT RowWriter::RunLocated(provider::Connection& conn, const Cell* original, size_t n,
                              provider::Deadline deadline, Head&& head) {
  LocateShape(locate_, original);
  AddLocated(locate_, original, &params_, &n);
  params_.resize(n);
  int64_t affected = 0;
  const HRESULT hr = Run(
      conn, deadline,
      [&](std::string* sql) {
        head(sql);
        Where(locate_, original, sql);
      },
      &affected);
  if (FAILED(hr)) return hr;
  return affected == 0 ? NotFound(conn) : kSOk;
}

HRESULT RowWriter::Update(provider::Connection& conn, const Cell* original,
                          const std::vector<int>& changed, const std::vector<ParamValue>& values,
                          provider::Deadline deadline) {
  Locate(changed);
  shape_.assign(1, 'U');
  for (const int c : changed) shape_ += std::to_string(c) + ',';
  size_t n = 0;
  for (const int c : changed) {
    if (params_.size() <= n) params_.resize(n + 1);
    params_[n++] = values[static_cast<size_t>(c)];
  }
  return RunLocated(conn, original, n, deadline, [&](std::string* sql) {
    *sql = "UPDATE " + table_ + " SET ";
    for (size_t i = 0; i < changed.size(); ++i) {
      if (i) *sql += ", ";
      *sql += names_[static_cast<size_t>(changed[i])] + " = ?";
    }
  });
}

KORVO_HOT HRESULT RowWriter::Insert(provider::Connection& conn, const std::vector<int>& assigned,
                                    const std::vector<ParamValue>& values,
                                    provider::Deadline deadline, int* key_column, int64_t* key) {
  *key_column = -1;
  // A loop of AddNew assigns the same columns row after row: the statement
  // of the last insert is taken again without building its shape.
  if (insert_statement_ == nullptr || assigned != insert_columns_) {
    insert_statement_ = nullptr;
    shape_.assign(1, 'I');
    for (const int c : assigned) shape_ += std::to_string(c) + ',';
    const HRESULT hr = StatementFor(
        conn, [&](std::string* sql) { InsertText(assigned, sql); }, &insert_statement_);
    if (FAILED(hr)) return hr;
    insert_columns_ = assigned;
    // What follows from the columns alone is found once per shape.
    insert_columns_in_order_ = true;
    for (size_t i = 0; i < assigned.size(); ++i)
      insert_columns_in_order_ = insert_columns_in_order_ && assigned[i] == static_cast<int>(i);
    insert_generates_key_ = generated_ >= 0;
    for (const int c : assigned) insert_generates_key_ = insert_generates_key_ && c != generated_;
  }
  // Columns assigned exactly in result order (every bound member) are the
  // parameters as they stand; otherwise they are gathered in assigned order.
  const bool in_order = insert_columns_in_order_ && assigned.size() == values.size();
  if (!in_order) {
    params_.resize(assigned.size());
    for (size_t i = 0; i < assigned.size(); ++i)
      params_[i] = values[static_cast<size_t>(assigned[i])];
  }
  int64_t affected = 0;
  const HRESULT hr = Execute(*insert_statement_, in_order ? values : params_, deadline, &affected);
  if (FAILED(hr)) return hr;
  if (insert_generates_key_ && conn.LastInsertKey(key)) *key_column = generated_;
  return kSOk;
}

void RowWriter::InsertText(const std::vector<int>& assigned, std::string* sql) const {
  *sql = "INSERT INTO " + table_;
  if (assigned.empty()) {
    *sql += " DEFAULT VALUES";
    return;
  }
  std::string marks;
  *sql += " (";
  for (size_t i = 0; i < assigned.size(); ++i) {
    if (i) {
      *sql += ", ";
      marks += ", ";
    }
    *sql += names_[static_cast<size_t>(assigned[i])];
    marks += '?';
  }
  *sql += ") VALUES (" + marks + ")";
}

HRESULT RowWriter::Delete(provider::Connection& conn, const Cell* original,
                          provider::Deadline deadline) {
  Locate({});
  shape_.assign(1, 'D');
  return RunLocated(conn, original, 0, deadline,
                    [&](std::string* sql) { *sql = "DELETE FROM " + table_; });
}

}  // namespace korvo::ado
