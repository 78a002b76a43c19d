// db/keywords_internal.h: the process-wide SQL keyword texts that the
// statement builders share (not installed).
//
// Each is a 256-byte array filled once when the library is loaded (a
// load-time initialiser in keywords.cpp), before any host code can run
// against the library. Read-only afterwards, so any thread may read them.
#pragma once

namespace korvo::db {

inline constexpr int kKeywordCapacity = 256;

extern char g_szDefaultConnect[kKeywordCapacity];    // "ODBC;"
extern char g_szCallEscape[kKeywordCapacity];        // "{CALL "
extern char g_szCallReturnEscape[kKeywordCapacity];  // "{?"
extern char g_szSelect[kKeywordCapacity];            // "SELECT "
extern char g_szFrom[kKeywordCapacity];              // " FROM "
extern char g_szWhere[kKeywordCapacity];             // " WHERE "
extern char g_szOrderBy[kKeywordCapacity];           // " ORDER BY "
extern char g_chLiteralSeparator;                    // the apostrophe

}  // namespace korvo::db
