// ado/dialect_bridge.cpp: the library's own row-limit and scalar forms for
// servers without them (ado layer).
#include <korvo/ado/dialect_bridge_internal.h>
#include <strings.h>

#include <cctype>

namespace korvo::ado {
namespace {

constexpr std::string_view kTopPrefix = "SELECT  TOP ";
constexpr std::string_view kRownumColumn = ",ROWNUM ORAROWNUM ";
constexpr std::string_view kRowNumberColumn = ",ROW_NUMBER() OVER (";
constexpr std::string_view kLimitTail = ") WHERE ORAROWNUM <= ";
constexpr std::string_view kDualTail = " AS RES FROM DUAL";

bool StartsWith(std::string_view s, std::string_view p) { return s.substr(0, p.size()) == p; }
bool EndsWith(std::string_view s, std::string_view p) {
  return s.size() >= p.size() && s.substr(s.size() - p.size()) == p;
}
bool IsProduct(std::string_view dbms, const char* name) {
  return dbms.size() == std::char_traits<char>::length(name) &&
         strncasecmp(dbms.data(), name, dbms.size()) == 0;
}

// "SELECT  TOP n rest" -> "SELECT  rest LIMIT n".
std::string TopToLimit(std::string_view sql) {
  size_t i = kTopPrefix.size();
  const size_t digits = i;
  while (i < sql.size() && std::isdigit(static_cast<unsigned char>(sql[i]))) ++i;
  if (i == digits || i >= sql.size() || sql[i] != ' ') return std::string(sql);
  std::string out = "SELECT  ";
  out.append(sql.substr(i + 1));
  out += " LIMIT ";
  out.append(sql.substr(digits, i - digits));
  return out;
}

// The ROWNUM / ROW_NUMBER() wrapper with an alias and no ROWNUM.
std::string AliasWrapper(std::string_view sql) {
  const size_t tail = sql.rfind(kLimitTail);
  const bool rownum = sql.find(kRownumColumn) != std::string_view::npos;
  const bool row_number = sql.find(kRowNumberColumn) != std::string_view::npos;
  if (tail == std::string_view::npos || (!rownum && !row_number) ||
      sql.find("  FROM (SELECT ") == std::string_view::npos) {
    return std::string(sql);
  }
  std::string out(sql.substr(0, tail));
  if (rownum) {
    const size_t at = out.find(kRownumColumn);
    out.replace(at, kRownumColumn.size(), ",ROW_NUMBER() OVER () ORAROWNUM ");
  }
  out += ") KORVO_ROWS";
  out.append(sql.substr(tail + 1));
  return out;
}

}  // namespace

std::string BridgeLibrarySql(std::string_view sql, std::string_view dbms_name) {
  // Neither server has TOP or ROWNUM, and both need an alias for a
  // FROM-subquery, whichever family's form the statement was built in.
  if (!IsProduct(dbms_name, "MariaDB") && !IsProduct(dbms_name, "MySQL") &&
      !IsProduct(dbms_name, "PostgreSQL")) {
    return std::string(sql);
  }
  if (StartsWith(sql, kTopPrefix)) return TopToLimit(sql);
  if (StartsWith(sql, "SELECT ") && EndsWith(sql, kDualTail)) {
    return std::string(
        sql.substr(0, sql.size() - (kDualTail.size() - std::string_view(" AS RES").size())));
  }
  if (StartsWith(sql, "SELECT ")) return AliasWrapper(sql);
  return std::string(sql);
}

}  // namespace korvo::ado
