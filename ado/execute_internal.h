// ado/execute_internal.h: the one statement path that Connection.Execute,
// Command.Execute and a recordset's Open share, from running a prepared
// statement to handing the host its count and recordset.
//
// Rules, the same for every caller:
// - A failing execution leaves the provider's records in the Errors
//   collection and drops the statement's informational messages.
// - A statement without rows (or run with adExecuteNoRecords) is read to
//   its end and reset, so the engine holds nothing for it afterwards; a
//   failure while reading is reported like a failing execution.
// - RecordsAffected is the provider's count clamped to a 32-bit value: a
//   negative count (unknown, or a statement that returns rows) is -1, a
//   count above INT32_MAX is INT32_MAX.
// - ExecuteComplete follows every WillExecute: with the count on success,
//   with -1 and the first error on failure (a cancelled WillExecute
//   included).
// Thread-safety: caller must synchronise (one connection per thread).
#pragma once

#include <korvo/ado/connection_internal.h>

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace korvo::ado {

// Binds `params` and runs `statement`; on failure the error is reported
// through `conn` and returned.
HRESULT RunStatement(ConnectionObject& conn, provider::Statement& statement,
                     const std::vector<provider::ParamValue>& params, long timeout_seconds);

// Reads the rest of a statement's rows and resets it; on failure the
// error is reported through `conn`.
HRESULT DrainStatement(ConnectionObject& conn, provider::Statement& statement,
                       long timeout_seconds);

// The provider's affected-row count as the host's 32-bit RecordsAffected.
LONG RecordsAffectedValue(int64_t affected);

// An Execute call once WillExecute has let it run.
struct ExecuteCall {
  std::string sql;
  long options = adCmdUnspecified;  // the host's options (-1: none given)
  long timeout_seconds = 0;
  _Command* command = nullptr;  // the Command executing, null for the Connection
};

// Ends an Execute whose statement ran (or failed: `run_hr`): opens the
// forward-only recordset over its rows or reads it to its end, fills
// *records_affected (when not null), delivers messages, fires
// ExecuteComplete, and hands out the recordset (a closed one when there
// are no rows) when `out` is not null.
HRESULT FinishExecute(ConnectionObject& conn, HRESULT run_hr,
                      std::shared_ptr<provider::Statement> statement, const ExecuteCall& call,
                      VARIANT* records_affected, _Recordset** out);

}  // namespace korvo::ado
