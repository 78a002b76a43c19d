// ado/execute.cpp: the statement path shared by every Execute and a
// recordset's Open (see execute_internal.h).
#include <korvo/ado/execute_internal.h>

#include <cstdint>
#include <utility>

namespace korvo::ado {

HRESULT RunStatement(ConnectionObject& conn, provider::Statement& statement,
                     const std::vector<provider::ParamValue>& params, long timeout_seconds) {
  const HRESULT hr = statement.Execute(params, ConnectionObject::DeadlineFor(timeout_seconds));
  if (SUCCEEDED(hr)) return hr;
  // The messages of a failed statement would otherwise surface with the
  // next successful one.
  conn.provider()->diagnostics().messages.clear();
  return conn.FailFromProvider(hr);
}

HRESULT DrainStatement(ConnectionObject& conn, provider::Statement& statement,
                       long timeout_seconds) {
  const provider::Deadline deadline = ConnectionObject::DeadlineFor(timeout_seconds);
  while (statement.HasRow()) {
    const HRESULT hr = statement.Next(deadline);
    if (FAILED(hr)) {
      statement.Reset();
      return conn.FailFromProvider(hr);
    }
  }
  statement.Reset();
  return kSOk;
}

LONG RecordsAffectedValue(int64_t affected) {
  if (affected < 0) return -1;
  return affected > INT32_MAX ? INT32_MAX : static_cast<LONG>(affected);
}

HRESULT FinishExecute(ConnectionObject& conn, HRESULT run_hr,
                      std::shared_ptr<provider::Statement> statement, const ExecuteCall& call,
                      VARIANT* records_affected, _Recordset** out) {
  auto fail = [&](HRESULT hr) {
    conn.FireExecuteComplete(-1, hr, call.command, nullptr);
    return hr;
  };
  if (FAILED(run_hr)) return fail(run_hr);
  const bool rows = !statement->Columns().empty() &&
                    (call.options == -1 || (call.options & adExecuteNoRecords) == 0);
  _RecordsetPtr recordset;
  if (rows) {
    RecordsetRequest request;
    request.source = call.sql;
    request.timeout_seconds = call.timeout_seconds;
    const HRESULT hr = CreateOpenRecordset(&conn, statement, request, &recordset);
    if (FAILED(hr)) return fail(hr);
  } else {
    const HRESULT hr = DrainStatement(conn, *statement, call.timeout_seconds);
    if (FAILED(hr)) return fail(hr);
  }
  const LONG affected = RecordsAffectedValue(statement->RowsAffected());
  statement.reset();  // a recordset over the rows keeps its own reference
  if (records_affected != nullptr) {
    VariantClear(records_affected);
    records_affected->vt = VT_I4;
    records_affected->lVal = affected;
  }
  conn.DeliverMessages();
  conn.FireExecuteComplete(affected, kSOk, call.command, recordset);
  if (out != nullptr) {
    if (!recordset) {
      // No rows: a closed recordset, as ADO returns.
      const HRESULT hr = recordset.CreateInstance(KORVO_UUIDOF(Recordset));
      if (FAILED(hr)) return ReportAdo(hr);
    }
    *out = recordset.Detach();
  }
  return kSOk;
}

}  // namespace korvo::ado
