// tool/statements.h: splitting SQL text into statements and running one,
// with its result, affected count and time printed.
#pragma once

#include <korvo/Korvo.h>

#include <ostream>
#include <string>
#include <vector>

#include "output_format.h"

namespace korvo::tool {

// Splits `text` at semicolons outside quotes ('...', "...", [...]) and
// "--" comments. A last statement without a semicolon is returned too
// unless `remainder` is given: then it is left there (the prompt keeps
// reading until the statement is ended). Blank statements are dropped.
std::vector<std::string> SplitStatements(const std::string& text, std::string* remainder = nullptr);

// Whether the statement opens as a recordset of its own text (a SELECT or
// an escape such as "{CALL ...}"). Others run through ExecuteSQL, and
// print rows when the engine returns some.
bool OpensAsRecordset(const std::string& sql);

// Runs `sql`, writes its rows to `out` in `format`, and a status line
// ("3 rows in 0.002 s", "1 row affected in 0.001 s") to `out` for a
// table and to `status` otherwise (keeping CSV and JSON clean). A failure
// is described on `err`; returns false then.
bool RunStatement(CDatabase& db, const std::string& sql, OutputFormat format, std::ostream& out,
                  std::ostream& status, std::ostream& err);

}  // namespace korvo::tool
