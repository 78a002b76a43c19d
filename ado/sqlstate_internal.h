// ado/sqlstate_internal.h: the one table from SQLSTATEs to the HRESULTs
// the object model reports, shared by every server provider.
//
// Engines report some conditions under their own states where ODBC
// defines one (PostgreSQL's 42P01 for an unknown table); those are
// reported under ODBC's, so a host sees one state whatever the server and
// whichever way it is reached.
// Thread-safety: pure functions.
#pragma once

#include <korvo/platform/wintypes.h>

#include <string>
#include <string_view>

namespace korvo::ado {

// `state` as the host sees it: an engine's own state renamed to ODBC's
// where ODBC has one, "00000" (a message) as "01000".
std::string UnifiedSqlState(std::string_view state);

// The HRESULT of a failure with (unified) SQLSTATE `state`.
HRESULT HresultForSqlState(const std::string& state);

// True when `state` says the link to the server is gone (class 08, or a
// server that ended the session: administrator command, crash, shutdown).
bool IsConnectionLostState(const std::string& state);

}  // namespace korvo::ado
