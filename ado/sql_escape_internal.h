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
// query level. The pseudo-column ROWNUM in a select list (or ORDER BY)
// becomes "ROW_NUMBER() OVER ()". As a condition it is a row limit:
// "ROWNUM <= n", "ROWNUM < n" or "ROWNUM = 1" standing alone in a
// top-level AND of the outermost WHERE is dropped from the WHERE (with its
// AND, or the WHERE itself when nothing else is left) and becomes
// " LIMIT n" at the end of the statement:
//   SELECT x FROM t WHERE a = 1 AND ROWNUM <= 2  ->  SELECT x FROM t WHERE a = 1 LIMIT 2
// Any other ROWNUM condition (under OR or NOT, in parentheses, a subquery,
// HAVING or ON, compared otherwise) and a ROWNUM limit together with
// GROUP BY, HAVING, ORDER BY, LIMIT, DISTINCT, an aggregate or UNION at
// the outermost level (which a limit at the end would change the meaning
// of) are refused with a description of the forms that are translated.
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
