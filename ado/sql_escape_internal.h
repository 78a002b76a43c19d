// ado/sql_escape_internal.h: translation of ODBC escape sequences and of
// the row-limit forms of both product families into SQL that an engine
// without them (SQLite) runs.
//
// Escapes, any letter case, nested where ODBC allows it:
//   {d 'yyyy-mm-dd'}, {t 'hh:mm:ss'}, {ts 'yyyy-mm-dd hh:mm:ss[.f]'}
//       -> the quoted literal ('...'), the ISO text the engine compares;
//   {fn name(args)}  -> name(args) (the engine registers the ODBC scalar
//       functions it lacks under their ODBC names; LEFT and RIGHT, which
//       parsers take for join keywords, become KORVO_LEFT and KORVO_RIGHT);
//   {call name(args)}, {call name}, {?= call name(args)}
//       -> SELECT name(args) (procedures become function calls);
//   {oj join}        -> join;   {escape 'c'} -> ESCAPE 'c'.
// Row limits (when asked): "SELECT [DISTINCT|ALL] TOP n ..." and
// "TOP (n)" become the same SELECT with " LIMIT n" at the end of its own
// query level; the bare pseudo-column ROWNUM becomes
// "ROW_NUMBER() OVER ()" (so it works in a select list, not in WHERE).
// String literals, quoted identifiers and comments are copied untouched.
// Malformed input (an unterminated literal, comment or escape, an unknown
// escape keyword, a TOP without a number) is reported, never a crash.
// Thread-safety: pure functions.
#pragma once

#include <string>
#include <string_view>

namespace korvo::ado {

struct SqlRewriteOptions {
  bool odbc_escapes = true;
  bool top_to_limit = false;
  bool rownum = false;
};

struct SqlRewriteResult {
  std::string sql;
  // A {?= call ...} escape was found: its leading ? (the return value)
  // is gone from the text, so the first parameter binds nothing.
  bool return_value_marker = false;
};

// Returns false and sets *error (a description) for malformed text.
bool RewriteSql(std::string_view in, const SqlRewriteOptions& options, SqlRewriteResult* out,
                std::string* error);

}  // namespace korvo::ado
