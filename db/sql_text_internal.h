// db/sql_text_internal.h: in-place rewriting of SQL text shared by the
// connection and the recordsets (not installed).
#pragma once

namespace korvo::db {

// Rewrites the zero-terminated `sql` in place: outside apostrophe
// literals "[[" becomes "[", "]]" becomes "]" and a single bracket becomes
// `identQuote`; a doubled apostrophe is copied as it stands and does not
// end a literal. The text only shrinks, and is terminated at its new end.
// REQUIRES: sql is not null.
void RewriteBrackets(char* sql, char identQuote);

}  // namespace korvo::db
