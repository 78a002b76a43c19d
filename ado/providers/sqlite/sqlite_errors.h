// ado/providers/sqlite/sqlite_errors.h: the one place where sqlite3 result
// codes become HRESULTs, SQLSTATEs and error records.
#pragma once

#include <korvo/ado/providers/provider.h>
#include <sqlite3.h>

#include <string_view>

namespace korvo::ado::provider::sqlite {

inline constexpr const char* kSourceName = "Korvo SQLite Provider";

// The record for a failed call on `db` that returned `code` (its extended
// code is read from `db` when the handle is given). The description is
// sqlite's message, or the code's generic text when that is empty, with
// `context` (e.g. the statement's start) appended when not empty.
ErrorRecord RecordFor(sqlite3* db, int code, std::string_view context = {});

// A record of the provider's own (not from the engine).
ErrorRecord ProviderRecord(HRESULT hr, std::string_view sqlstate, std::string description);

}  // namespace korvo::ado::provider::sqlite
