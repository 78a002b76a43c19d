// tool/statement_rows.h: running a statement of any kind and keeping the
// rows it returns.
#pragma once

#include <korvo/Korvo.h>

#include <optional>
#include <string>

#include "result_set.h"

namespace korvo::tool {

struct StatementResult {
  // No value when the statement returned no rows.
  std::optional<ResultSet> rows;
  // As ExecuteSQL reports it: -1 when the statement counts no rows.
  long affected = -1;
};

// Runs `sql` through CDatabase::ExecuteSQL, so that a failure arrives as
// that call's CDBException*, and reads the rows the engine returned. The
// engine, not the statement's first word, decides whether there are any:
// WITH, VALUES, PRAGMA, EXPLAIN, SHOW and INSERT ... RETURNING all print.
// A failure while reading the rows arrives as _com_error.
StatementResult ExecuteKeepingRows(CDatabase& db, const std::string& sql);

}  // namespace korvo::tool
