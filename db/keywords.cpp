// db/keywords.cpp: fills the SQL keyword texts at library load (db layer).
#include <korvo/db/keywords_internal.h>

#include <cstring>

namespace korvo::db {

char g_szDefaultConnect[kKeywordCapacity];
char g_szCallEscape[kKeywordCapacity];
char g_szCallReturnEscape[kKeywordCapacity];
char g_szSelect[kKeywordCapacity];
char g_szFrom[kKeywordCapacity];
char g_szWhere[kKeywordCapacity];
char g_szOrderBy[kKeywordCapacity];
char g_chLiteralSeparator;

namespace {

// The shared library's load: runs before the host's main and before any
// dynamic initialiser that could construct a library object.
__attribute__((constructor(101))) void FillKeywordTexts() {
  g_chLiteralSeparator = '\'';
  std::strcpy(g_szDefaultConnect, "ODBC;");
  std::strcpy(g_szCallEscape, "{CALL ");
  std::strcpy(g_szCallReturnEscape, "{?");
  std::strcpy(g_szSelect, "SELECT ");
  std::strcpy(g_szFrom, " FROM ");
  std::strcpy(g_szWhere, " WHERE ");
  std::strcpy(g_szOrderBy, " ORDER BY ");
}

}  // namespace
}  // namespace korvo::db
