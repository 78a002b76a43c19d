// tool/output_format.h: a result set as an aligned table, CSV or JSON.
#pragma once

#include <ostream>
#include <string>

#include "result_set.h"

namespace korvo::tool {

enum class OutputFormat { kTable, kCsv, kJson };

// Aligned columns measured by display width, NULL shown as NULL, numbers
// right-aligned, under a header.
void WriteTable(std::ostream& out, const ResultSet& result);
// A header of column names, then one record per row (see csv_file.h for the
// NULL and empty-text convention).
void WriteCsv(std::ostream& out, const ResultSet& result);
// An array of objects, one per row; NULL as null, integers and reals as
// numbers, everything else as strings.
void WriteJson(std::ostream& out, const ResultSet& result);

void WriteResult(std::ostream& out, const ResultSet& result, OutputFormat format);

// `text` as a JSON string literal, quotes included.
std::string JsonString(const std::string& text);

}  // namespace korvo::tool
