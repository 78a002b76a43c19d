// ado/providers/postgresql/pg_errors.cpp: PostgreSQL's errors and notices
// as error records.
#include <korvo/ado/hresult_internal.h>
#include <korvo/ado/providers/postgresql/pg_errors.h>
#include <korvo/ado/sqlstate_internal.h>

namespace korvo::ado::provider::postgresql {
namespace {

std::string Field(const PGresult* result, int field) {
  const char* text = PQresultErrorField(result, field);
  return text != nullptr ? text : "";
}

// libpq's messages end in a newline and may hold several lines.
std::string Trimmed(const char* text) {
  std::string s = text != nullptr ? text : "";
  while (!s.empty() && (s.back() == '\n' || s.back() == ' ')) s.pop_back();
  return s;
}

int32_t NativeCode(const std::string& state) {
  uint32_t code = 0;
  for (size_t i = 0; i < state.size() && i < 5; ++i)
    code |= (static_cast<uint32_t>(state[i] - '0') & 0x3f) << (6 * i);
  return static_cast<int32_t>(code);
}

ErrorRecord Record(const std::string& engine_state, std::string description,
                   std::string_view context) {
  ErrorRecord record;
  record.native = NativeCode(engine_state);
  record.sqlstate = UnifiedSqlState(engine_state);
  record.hr = HresultForSqlState(record.sqlstate);
  if (record.hr == kDbAbortLimitReached)
    description = "Query timeout expired (" + description + ")";
  if (!context.empty()) {
    description += " (";
    description.append(context);
    description += ")";
  }
  record.description = std::move(description);
  record.source = kSourceName;
  return record;
}

}  // namespace

ErrorRecord ResultRecord(const PGresult* result, const PGconn* conn, std::string_view context) {
  std::string state = Field(result, PG_DIAG_SQLSTATE);
  std::string text = Field(result, PG_DIAG_MESSAGE_PRIMARY);
  if (text.empty()) text = Trimmed(result != nullptr ? PQresultErrorMessage(result) : nullptr);
  if (text.empty()) text = Trimmed(PQerrorMessage(conn));
  if (text.empty()) text = "The server reported a failure without a description.";
  const std::string detail = Field(result, PG_DIAG_MESSAGE_DETAIL);
  if (!detail.empty()) text += " (" + detail + ")";
  if (state.empty()) state = PQstatus(conn) == CONNECTION_BAD ? "08S01" : "HY000";
  return Record(state, std::move(text), context);
}

ErrorRecord ConnectionRecord(const PGconn* conn, std::string_view sqlstate,
                             std::string_view context) {
  std::string text = Trimmed(PQerrorMessage(conn));
  if (text.empty()) text = "The server could not be reached.";
  return Record(std::string(sqlstate), std::move(text), context);
}

ErrorRecord ConnectFailureRecord(const PGconn* conn, std::string_view context) {
  const std::string text = Trimmed(PQerrorMessage(conn));
  const char* state = "08001";
  if (text.find("password authentication failed") != std::string::npos ||
      text.find("no password supplied") != std::string::npos) {
    state = "28P01";
  } else if (text.find("database \"") != std::string::npos &&
             text.find("does not exist") != std::string::npos) {
    state = "3D000";
  }
  return ConnectionRecord(conn, state, context);
}

ErrorRecord NoticeRecord(const PGresult* notice) {
  const std::string state = Field(notice, PG_DIAG_SQLSTATE);
  ErrorRecord record =
      Record(state.empty() ? "01000" : state, Field(notice, PG_DIAG_MESSAGE_PRIMARY), {});
  record.hr = 0;
  return record;
}

ErrorRecord ProviderRecord(HRESULT hr, std::string_view sqlstate, std::string description) {
  return OwnRecord(hr, sqlstate, std::move(description), kSourceName);
}

}  // namespace korvo::ado::provider::postgresql
