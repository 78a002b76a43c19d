// ado/providers/postgresql/pg_errors.h: the one place where PostgreSQL's
// errors and notices (SQLSTATE, message, detail) become error records;
// their SQLSTATEs map to HRESULTs by the shared table
// (ado/sqlstate_internal.h).
//
// Native code: PostgreSQL numbers its errors by the SQLSTATE itself; the
// record carries the server's own integer form of it (six bits per
// character, first character lowest), so 23505 and 42P01 each have one
// number.
#pragma once

#include <korvo/ado/providers/provider.h>
#include <libpq-fe.h>

#include <string>
#include <string_view>

namespace korvo::ado::provider::postgresql {

inline constexpr const char* kSourceName = "Korvo PostgreSQL Provider";

// The record of failed result `result` (an error the server sent, or one
// libpq made up for a broken link, which has no SQLSTATE: then 08S01 when
// `conn` is no longer connected, else HY000). `context` (when not empty)
// is appended to the description.
ErrorRecord ResultRecord(const PGresult* result, const PGconn* conn, std::string_view context = {});

// The record of a failure that has no result (connecting, sending):
// libpq's message on `conn`, under `sqlstate`.
ErrorRecord ConnectionRecord(const PGconn* conn, std::string_view sqlstate,
                             std::string_view context = {});

// The record of a failed connection attempt: libpq's message on `conn`,
// under 28P01 for a refused password, 3D000 for an unknown database,
// 08001 otherwise (libpq keeps no SQLSTATE for a failed start-up).
ErrorRecord ConnectFailureRecord(const PGconn* conn, std::string_view context);

// A notice (NOTICE, WARNING, INFO) as an informational message (hr 0).
ErrorRecord NoticeRecord(const PGresult* notice);

// A record of the provider's own (native 0).
ErrorRecord ProviderRecord(HRESULT hr, std::string_view sqlstate, std::string description);

}  // namespace korvo::ado::provider::postgresql
