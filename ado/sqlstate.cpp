// ado/sqlstate.cpp: SQLSTATEs to HRESULTs (ado layer).
#include <korvo/ado/hresult_internal.h>
#include <korvo/ado/sqlstate_internal.h>

namespace korvo::ado {
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
    {"57014", "HYT00"},  // PostgreSQL's cancel at the time-out
    {"70100", "HYT00"},  // MariaDB's statement time limit
    {"00000", "01000"},  // a message
};

constexpr const char* kSessionEnded[] = {"57P01", "57P02", "57P03"};
constexpr const char* kTimeoutStates[] = {"HYT00", "HYT01"};

template <size_t N>
bool In(const std::string& state, const char* const (&set)[N]) {
  for (const char* s : set) {
    if (state == s) return true;
  }
  return false;
}

}  // namespace

std::string UnifiedSqlState(std::string_view state) {
  for (const StateRename& r : kRenames) {
    if (state == r.engine) return r.odbc;
  }
  return std::string(state);
}

HRESULT HresultForSqlState(const std::string& state) {
  if (In(state, kTimeoutStates)) return kDbAbortLimitReached;
  const std::string cls = state.substr(0, 2);
  if (cls == "42") return state == "42501" ? kDbPermissionDenied : kDbErrorsInCommand;
  if (cls == "23") return kDbIntegrityViolation;
  if (cls == "22") {
    if (state == "22001" || state == "22003") return kDbDataOverflow;
    return kDbCantConvertValue;
  }
  if (state == "07002") return kDbParamNotOptional;
  if (state == "25P02") return kXactAborted;  // a failed statement ended the transaction
  return kEFail;  // 08 (link), 28 (login), IM (driver manager), 40 (rollback), HY...
}

bool IsConnectionLostState(const std::string& state) {
  return state.rfind("08", 0) == 0 || In(state, kSessionEnded);
}

}  // namespace korvo::ado
