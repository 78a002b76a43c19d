// ado/row_writer_internal.h: the SQL an updatable cursor sends to write a
// changed, new or deleted row back to its base table.
//
// Provider-neutral: the text is built here (names quoted by the provider)
// and run through the provider's prepared statements; each statement
// shape (operation, changed columns, which located values are NULL) is
// prepared once and reused, so a loop of inserts or edits costs one
// bound execution per row.
//
// Locating a row: by its key columns when the result holds the whole key
// of the table (an update also matches the original values of the
// columns it changes, so a concurrent change of those is noticed);
// otherwise by all its original values. A NULL original is matched with
// IS NULL. When no row matches, the call fails with
// DB_E_CONCURRENCYVIOLATION and nothing is written.
// Thread-safety: caller must synchronise (one per recordset).
#pragma once

#include <korvo/ado/providers/provider.h>

#include <memory>
#include <string>
#include <unordered_map>
#include <vector>

namespace korvo::ado {

class RowWriter {
 public:
  // The writer for a result with `columns`, or null when the result
  // cannot be updated (then *reason says why; provider failures while
  // describing the table leave their records in its diagnostics).
  static std::unique_ptr<RowWriter> For(provider::Connection& conn,
                                        const std::vector<provider::ColumnInfo>& columns,
                                        std::string* reason);

  // UPDATE of the `changed` columns (indices into the result) to
  // `values[column]`, locating the row whose cells were `original`.
  HRESULT Update(provider::Connection& conn, const provider::Cell* original,
                 const std::vector<int>& changed, const std::vector<provider::ParamValue>& values,
                 provider::Deadline deadline);
  // INSERT of the `assigned` columns. When the engine generated the key
  // of a column that was not assigned, *key_column is that column and
  // *key its value; otherwise *key_column is -1.
  HRESULT Insert(provider::Connection& conn, const std::vector<int>& assigned,
                 const std::vector<provider::ParamValue>& values, provider::Deadline deadline,
                 int* key_column, int64_t* key);
  // DELETE of the row whose cells were `original`.
  HRESULT Delete(provider::Connection& conn, const provider::Cell* original,
                 provider::Deadline deadline);

  bool keyed() const { return !key_.empty(); }
  // Prepared statement shapes held (for tests of reuse).
  size_t statement_count() const { return statements_.size(); }

 private:
  RowWriter() = default;
  // Appends the WHERE clause for `locate` columns to `sql` and their
  // non-NULL originals to params_.
  void Where(const std::vector<int>& locate, const provider::Cell* original, std::string* sql);
  void LocateShape(const std::vector<int>& locate, const provider::Cell* original);
  // The prepared statement of shape_ (its text built with `build` and
  // prepared when the shape is new); it lives as long as this writer.
  template <class Build>
  HRESULT StatementFor(provider::Connection& conn, Build&& build, provider::Statement** out);
  // Runs `s` with `params`; *affected is the changed row count.
  static HRESULT Execute(provider::Statement& s, const std::vector<provider::ParamValue>& params,
                         provider::Deadline deadline, int64_t* affected);
  // Runs the statement of shape_ with params_.
  template <class Build>
  HRESULT Run(provider::Connection& conn, provider::Deadline deadline, Build&& build,
              int64_t* affected);
  // The INSERT text for the `assigned` columns.
  void InsertText(const std::vector<int>& assigned, std::string* sql) const;
  HRESULT NotFound(provider::Connection& conn);
  // Sets locate_ to the columns that find the row: the key and the
  // `changed` columns outside it, or every column when there is no key.
  void Locate(const std::vector<int>& changed);
  // Runs an UPDATE or DELETE whose text begins with what `head` writes and
  // ends with the WHERE clause of locate_; params_ holds `n` values before
  // the located originals. A row not found is reported.
  template <class Head>
  HRESULT RunLocated(provider::Connection& conn, const provider::Cell* original, size_t n,
                     provider::Deadline deadline, Head&& head);

  std::string table_;               // quoted, with its schema when named
  std::vector<std::string> names_;  // quoted base column per result column
  std::vector<int> key_;            // result columns holding the table's key
  int generated_ = -1;              // integer key column the engine fills
  std::unordered_map<std::string, std::unique_ptr<provider::Statement>> statements_;
  std::vector<provider::ParamValue> params_;
  std::vector<int> locate_;
  std::string shape_;
  // The last insert's columns and statement (one of statements_), whether
  // those columns are 0, 1, 2... in order, and whether they leave out the
  // key column the engine generates.
  std::vector<int> insert_columns_;
  provider::Statement* insert_statement_ = nullptr;
  bool insert_columns_in_order_ = false;
  bool insert_generates_key_ = false;
};

// The cell's value as a bound parameter.
void CellToParamValue(const provider::Cell& cell, provider::ParamValue* out);

}  // namespace korvo::ado
