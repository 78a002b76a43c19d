// ado/providers/odbc/odbc_errors.h: the one place where ODBC diagnostics
// (SQLSTATE, native code, text) become HRESULTs and error records.
#pragma once

#include <korvo/ado/providers/odbc/odbc_sql.h>
#include <korvo/ado/providers/provider.h>

#include <string>
#include <string_view>
#include <vector>

namespace korvo::ado::provider::odbc {

inline constexpr const char* kSourceName = "Korvo ODBC Provider";

// The diagnostic records of `handle` (of ODBC handle type `type`) after a
// call that returned `rc`. For a failing call the first record carries the
// HRESULT of its SQLSTATE class; every record keeps the driver's text and
// native code, with `context` appended to the first when not empty. A
// failing call without records gets one saying so. For a call that
// succeeded with information the records are messages (hr 0).
std::vector<ErrorRecord> RecordsFor(SQLSMALLINT type, SQLHANDLE handle, SQLRETURN rc,
                                    std::string_view context = {});

// True when a record says the link to the server is gone (SQLSTATE class
// 08, or a server that ended the session).
bool IsConnectionLost(const ErrorRecord& record);

// A record of the provider's own (not from the driver).
ErrorRecord ProviderRecord(HRESULT hr, std::string_view sqlstate, std::string description);

}  // namespace korvo::ado::provider::odbc
