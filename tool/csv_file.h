// tool/csv_file.h: the CSV files of import and export.
//
// The convention (RFC 4180 otherwise): the first record names the
// columns; a field is quoted when it holds a comma, a quote, a line end,
// or is empty text. An EMPTY UNQUOTED field is NULL, a QUOTED EMPTY field
// ("") is the empty text, so NULL and '' survive an export and import:
//   id,name,note
//   1,,""        <- name is NULL, note is the empty text
// Records end in "\n" when written; "\r\n" is read as well. Blank lines
// between records are skipped.
#pragma once

#include <csv.h>

#include <deque>
#include <istream>
#include <string>
#include <vector>

#include "result_set.h"

namespace korvo::tool {

// One record as written to a file, line end included.
std::string CsvRecord(const std::vector<Cell>& fields);

struct CsvRow {
  size_t line = 0;           // physical line the record starts on (1-based)
  std::vector<Cell> fields;  // empty when `error` is set
  std::string error;         // why the record could not be read
};

// Reads records from a stream through libcsv in strict mode, counting
// physical lines so that a rejected record can be named. A record with
// malformed quoting comes back with `error` set, and reading goes on at
// the line after it. Not copyable (owns the parser).
class CsvReader {
 public:
  explicit CsvReader(std::istream& in);
  ~CsvReader();
  CsvReader(const CsvReader&) = delete;
  CsvReader& operator=(const CsvReader&) = delete;

  // The next record; false at the end of the input.
  bool Next(CsvRow& row);
  // Bytes consumed so far (for progress).
  size_t BytesRead() const { return bytes_read_; }

 private:
  static void OnField(void* data, size_t size, void* self);
  static void OnRecordEnd(int terminator, void* self);
  void ResetParser();
  void Finish();

  std::istream& in_;
  csv_parser parser_{};
  std::deque<CsvRow> ready_;
  CsvRow current_;
  size_t line_ = 0;
  size_t bytes_read_ = 0;
  bool between_records_ = true;
  bool finished_ = false;
};

}  // namespace korvo::tool
