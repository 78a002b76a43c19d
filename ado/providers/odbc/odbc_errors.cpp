// ado/providers/odbc/odbc_errors.cpp: SQLSTATEs mapped to the HRESULTs the
// object model reports. No other file reads SQLSTATEs or native codes.
//
// Drivers pass some engine states through where ODBC defines its own for
// the same condition (psqlODBC reports PostgreSQL's 42P01 for an unknown
// table); those are reported as ODBC's, so a host sees one state whatever
// the server.
#include <korvo/ado/hresult_internal.h>
#include <korvo/ado/providers/odbc/odbc_errors.h>

#include <cstring>

namespace korvo::ado::provider::odbc {
namespace {

struct StateRename {
  const char* engine;
  const char* odbc;
};
constexpr StateRename kRenames[] = {
    {"42601", "42000"},  // syntax error
    {"42P01", "42S02"},  // unknown table
    {"42703", "42S22"},  // unknown column
    {"42883", "42000"},  // unknown function
    {"57014", "HYT00"},  // PostgreSQL's cancel at the time-out (psqlODBC)
    {"70100", "HYT00"},  // MariaDB's statement time limit
};

// A server that cut the session (administrator command, crash, shutdown).
constexpr const char* kSessionEnded[] = {"57P01", "57P02", "57P03"};

// The command time-out.
constexpr const char* kTimeoutStates[] = {"HYT00", "HYT01"};

bool Is(const std::string& state, const char* s) { return state == s; }
template <size_t N>
bool In(const std::string& state, const char* const (&set)[N]) {
  for (const char* s : set) {
    if (state == s) return true;
  }
  return false;
}

HRESULT HresultFor(const std::string& state) {
  if (In(state, kTimeoutStates)) return kDbAbortLimitReached;
  const std::string cls = state.substr(0, 2);
  if (cls == "42") return Is(state, "42501") ? kDbPermissionDenied : kDbErrorsInCommand;
  if (cls == "23") return kDbIntegrityViolation;
  if (cls == "22") {
    if (Is(state, "22001") || Is(state, "22003")) return kDbDataOverflow;
    return kDbCantConvertValue;
  }
  if (Is(state, "07002")) return kDbParamNotOptional;
  if (Is(state, "25P02")) return kXactAborted;  // a failed statement ended the transaction
  return kEFail;  // 08 (link), 28 (login), IM (driver manager), 40 (rollback), HY...
}

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
  record.sqlstate = reinterpret_cast<const char*>(state);
  for (const StateRename& r : kRenames) {
    if (record.sqlstate == r.engine) record.sqlstate = r.odbc;
  }
  // psqlODBC's notices carry "00000"; ODBC's state for a message is 01000.
  if (record.sqlstate == "00000") record.sqlstate = "01000";
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
      record.hr = HresultFor(record.sqlstate);
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

bool IsConnectionLost(const ErrorRecord& record) {
  return record.sqlstate.rfind("08", 0) == 0 || In(record.sqlstate, kSessionEnded);
}

ErrorRecord ProviderRecord(HRESULT hr, std::string_view sqlstate, std::string description) {
  return OwnRecord(hr, sqlstate, std::move(description), kSourceName);
}

}  // namespace korvo::ado::provider::odbc
