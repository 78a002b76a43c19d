// tool/import_command.h: `korvo import` and `korvo export`: a table to and
// from a CSV file (see csv_file.h for the file convention).
#pragma once

#include <korvo/Korvo.h>

#include <optional>
#include <ostream>
#include <string>

#include "result_set.h"

namespace korvo::tool {

// Why `text` is no value of `kind` (empty when it is one). Integers are
// decimal 64-bit, reals anything strtod reads whole, booleans 0/1/true/
// false, dates "YYYY-MM-DD[ hh:mm:ss[.mmm]]", binaries hex (see
// BytesOfHex).
std::string CheckValue(ValueKind kind, const std::string& text);

// Inserts every record of `csvPath` into `table` through an updatable
// recordset (AddNew / Update), all in one transaction. The header names
// the columns. A record that is malformed, has the wrong number of
// fields, holds a value its column cannot take, or that the engine
// refuses is reported on `err` with its line number and reason and left
// out; the others are committed. Progress goes to `err` (a bar when
// `terminal`). Exit status: 0, 2 when lines were rejected, 1 when nothing
// could be committed.
int ImportCsv(CDatabase& db, const std::string& table, const std::string& csvPath, bool terminal,
              std::ostream& out, std::ostream& err);

// Writes every row of `table` to `csvPath` ("-": `out`). Exit status.
int ExportCsv(CDatabase& db, const std::string& table, const std::string& csvPath,
              std::ostream& out, std::ostream& err);

}  // namespace korvo::tool
