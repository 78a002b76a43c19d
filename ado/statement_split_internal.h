// ado/statement_split_internal.h: a command text cut into its statements
// at top-level ';', with the places of its ? parameter markers, for the
// server providers (which run one statement at a time).
// String literals, quoted names, comments and PostgreSQL's dollar quotes
// are skipped; parts holding only blanks and comments are dropped.
// Thread-safety: pure function.
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace korvo::ado {

struct StatementPart {
  std::string sql;
  std::vector<size_t> markers;  // offsets of the ? markers in `sql`
};

std::vector<StatementPart> SplitStatements(std::string_view sql);

}  // namespace korvo::ado
