// ado/providers/sqlite/sqlite_errors.cpp: sqlite3 result codes mapped to
// the HRESULTs the object model reports. No other file reads native codes.
#include <korvo/ado/excerpt_internal.h>
#include <korvo/ado/hresult_internal.h>
#include <korvo/ado/providers/sqlite/sqlite_errors.h>

namespace korvo::ado::provider::sqlite {
namespace {

struct Mapping {
  HRESULT hr;
  const char* sqlstate;
};

Mapping MapCode(int extended, std::string_view message) {
  switch (extended & 0xFF) {
    case SQLITE_ERROR:
      // Prepare-time failures: syntax, unknown table or column.
      if (message.find("no such table") != std::string_view::npos)
        return {kDbErrorsInCommand, "42S02"};
      if (message.find("no such column") != std::string_view::npos)
        return {kDbErrorsInCommand, "42S22"};
      return {kDbErrorsInCommand, "42000"};
    case SQLITE_CONSTRAINT:
      return {kDbIntegrityViolation, "23000"};
    case SQLITE_INTERRUPT:
      return {kDbAbortLimitReached, "HYT00"};
    case SQLITE_TOOBIG:
      return {kDbDataOverflow, "22001"};
    case SQLITE_MISMATCH:
      return {kDbCantConvertValue, "22018"};
    case SQLITE_RANGE:
      return {kEInvalidArg, "07009"};
    case SQLITE_NOMEM:
      return {kEOutOfMemory, "HY001"};
    case SQLITE_READONLY:
    case SQLITE_PERM:
    case SQLITE_AUTH:
      return {kDbPermissionDenied, "42000"};
    case SQLITE_CANTOPEN:
      return {kEFail, "08001"};
    case SQLITE_BUSY:
    case SQLITE_LOCKED:
      return {kEFail, "HYT00"};
    default:
      return {kEFail, "HY000"};
  }
}

}  // namespace

ErrorRecord RecordFor(sqlite3* db, int code, std::string_view context) {
  int extended = code;
  std::string message;
  if (db != nullptr) {
    extended = sqlite3_extended_errcode(db);
    if ((extended & 0xFF) != (code & 0xFF)) extended = code;
    if (const char* m = sqlite3_errmsg(db)) message = m;
  }
  if (message.empty() || message == "not an error") message = sqlite3_errstr(code);
  if ((code & 0xFF) == SQLITE_INTERRUPT) message = "Query timeout expired";
  const Mapping m = MapCode(extended, message);
  ErrorRecord record;
  record.hr = m.hr;
  record.sqlstate = m.sqlstate;
  record.native = extended;
  record.source = kSourceName;
  // The engine's messages quote the text they stumbled on ("near
  // \"...\": syntax error"), which may be a megabyte long.
  record.description = ExcerptEnds(message, 300);
  if (!context.empty()) {
    record.description += " (";
    record.description += ExcerptEnds(context, 300);
    record.description += ")";
  }
  return record;
}

ErrorRecord ProviderRecord(HRESULT hr, std::string_view sqlstate, std::string description) {
  return OwnRecord(hr, sqlstate, std::move(description), kSourceName);
}

}  // namespace korvo::ado::provider::sqlite
