// ado/dialect_bridge_internal.h: the row-limit and scalar statements the
// library itself builds, rewritten for a server that lacks their form.
//
// The recordset layer writes a row limit in the form of its product
// family: "SELECT  TOP n ..." (family 1, two blanks after SELECT), or a
// ROWNUM / ROW_NUMBER() OVER wrapper "SELECT c  FROM (SELECT c ,ROWNUM
// ORAROWNUM  FROM ...) WHERE ORAROWNUM <= n" (family 2), and a scalar
// expression as "SELECT e AS RES" or "SELECT e AS RES FROM DUAL".
// PostgreSQL and MariaDB have neither TOP nor ROWNUM and want an alias
// for a FROM-subquery (and PostgreSQL has no DUAL), so on either:
//   "SELECT  TOP n rest" -> "SELECT  rest LIMIT n";
//   ",ROWNUM ORAROWNUM " -> ",ROW_NUMBER() OVER () ORAROWNUM ", and the
//     wrapper's subquery gets the alias KORVO_ROWS;
//   " AS RES FROM DUAL" at the end loses its FROM DUAL.
// Text in any other form (a host's own SQL) is returned unchanged.
// Thread-safety: pure function.
#pragma once

#include <string>
#include <string_view>

namespace korvo::ado {

// `dbms_name` is the server's DBMS Name ("MariaDB", "PostgreSQL", ...).
std::string BridgeLibrarySql(std::string_view sql, std::string_view dbms_name);

}  // namespace korvo::ado
