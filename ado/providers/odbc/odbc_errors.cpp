// ado/providers/odbc/odbc_errors.cpp: ODBC diagnostics read into error
// records, their SQLSTATEs mapped by the shared table (sqlstate_internal.h).
// No other file of the provider reads SQLSTATEs or native codes.
#include <korvo/ado/hresult_internal.h>
#include <korvo/ado/providers/odbc/odbc_errors.h>
#include <korvo/ado/sqlstate_internal.h>

#include <cstring>

namespace korvo::ado::provider::odbc {
namespace {

// psqlODBC reports an escape it cannot translate as a general error; it
// is an error in the command text.
constexpr const char* kEscapeError = "ODBC escape convert error";

// psqlODBC joins the notices of one statement into one record
// ("NOTICE: a;NOTICE: b"); each becomes a message of its own.
std::vector<std::string> SplitNotices(const std::string& text) {
  std::vector<std::string> parts;
  size_t start = 0;
  for (;;) {
    size_t cut = std::string::npos;
    for (const char* severity : {";NOTICE:", ";WARNING:", ";INFO:", ";LOG:", ";DEBUG:"}) {
      const size_t at = text.find(severity, start);
      if (at < cut) cut = at;
    }
    if (cut == std::string::npos) break;
    parts.push_back(text.substr(start, cut - start));
    start = cut + 1;
  }
  parts.push_back(text.substr(start));
  return parts;
}

ErrorRecord ReadRecord(SQLSMALLINT type, SQLHANDLE handle, SQLSMALLINT number, bool* found) {
  SQLCHAR state[6] = {0};
  SQLINTEGER native = 0;
  SQLSMALLINT length = 0;
  std::string text(512, '\0');
  SQLRETURN rc =
      SQLGetDiagRec(type, handle, number, state, &native, reinterpret_cast<SQLCHAR*>(text.data()),
                    static_cast<SQLSMALLINT>(text.size()), &length);
  if (rc == SQL_SUCCESS_WITH_INFO && length >= static_cast<SQLSMALLINT>(text.size())) {
    text.assign(static_cast<size_t>(length) + 1, '\0');
    rc =
        SQLGetDiagRec(type, handle, number, state, &native, reinterpret_cast<SQLCHAR*>(text.data()),
                      static_cast<SQLSMALLINT>(text.size()), &length);
  }
  ErrorRecord record;
  *found = SQL_SUCCEEDED(rc);
  if (!*found) return record;
  text.resize(std::strlen(text.c_str()));
  // psqlODBC passes PostgreSQL's states through, "00000" for its notices.
  record.sqlstate = UnifiedSqlState(reinterpret_cast<const char*>(state));
  if (record.sqlstate == "HY000" && text.find(kEscapeError) != std::string::npos)
    record.sqlstate = "42000";
  record.native = native;
  record.description = std::move(text);
  record.source = kSourceName;
  return record;
}

}  // namespace

std::vector<ErrorRecord> RecordsFor(SQLSMALLINT type, SQLHANDLE handle, SQLRETURN rc,
                                    std::string_view context) {
  std::vector<ErrorRecord> records;
  if (handle != SQL_NULL_HANDLE) {
    for (SQLSMALLINT n = 1;; ++n) {
      bool found = false;
      ErrorRecord record = ReadRecord(type, handle, n, &found);
      if (!found) break;
      if (SQL_SUCCEEDED(rc)) {
        for (std::string& part : SplitNotices(record.description)) {
          ErrorRecord message = record;
          message.description = std::move(part);
          records.push_back(std::move(message));
        }
      } else {
        records.push_back(std::move(record));
      }
    }
  }
  const bool failed = !SQL_SUCCEEDED(rc);
  if (failed && records.empty()) {
    records.push_back(ProviderRecord(kEFail, "HY000",
                                     rc == SQL_INVALID_HANDLE
                                         ? "The driver was called with an invalid handle."
                                         : "The driver reported a failure without a description."));
  }
  for (ErrorRecord& record : records) {
    if (!failed) {
      record.hr = 0;
    } else {
      record.hr = HresultForSqlState(record.sqlstate);
      if (record.hr == kDbAbortLimitReached) {
        record.description = "Query timeout expired (" + record.description + ")";
      }
    }
  }
  if (failed) {
    // The first record is the one the call reports; a driver may list a
    // warning before the error.
    for (size_t i = 1; i < records.size(); ++i) {
      if (records[0].sqlstate.rfind("01", 0) == 0 && records[i].sqlstate.rfind("01", 0) != 0) {
        std::swap(records[0], records[i]);
        break;
      }
    }
    if (!context.empty()) {
      records[0].description += " (";
      records[0].description.append(context);
      records[0].description += ")";
    }
  }
  return records;
}

bool IsConnectionLost(const ErrorRecord& record) { return IsConnectionLostState(record.sqlstate); }

ErrorRecord ProviderRecord(HRESULT hr, std::string_view sqlstate, std::string description) {
  return OwnRecord(hr, sqlstate, std::move(description), kSourceName);
}

}  // namespace korvo::ado::provider::odbc
