// ado/connection_internal.h: the Connection object and what commands and
// recordsets use of it.
//
// States: closed (no provider connection) and open. Open/Close/Execute/
// transactions check them: Open on an open connection gives 3705, Close on
// a closed one 3704, Execute/BeginTrans/CommitTrans/RollbackTrans on a
// closed one 3709.
//
// Close policy: Close while a transaction is in progress fails (3246) and
// changes nothing; only releasing the object rolls an open transaction
// back. Closing closes every recordset still open on the connection
// (their Fields then report 3704); a command keeps its text and
// parameters and prepares again after the connection is reopened.
//
// Waiting for locks: a statement waiting for another connection's lock
// waits until its command time-out; opening waits up to ConnectionTimeout
// and the transaction calls up to CommandTimeout (0: no limit). The SQLite
// provider's outer BeginTrans takes the engine's write lock at once (BEGIN
// IMMEDIATE), so a writer waits there, before any of its statements runs,
// and not inside a statement a host may have serialised on a lock of its
// own. The connect-string keyword "Busy Timeout" (milliseconds) bounds
// every such wait.
//
// Transactions: BeginTrans returns the new nesting level; CommitTrans and
// RollbackTrans end the innermost one. When the engine rolls the
// transaction back by itself, the transaction is doomed: statements,
// CommitTrans and BeginTrans fail with XACT_E_ABORTED ("The transaction
// was rolled back by the engine; roll back to continue.") and each
// RollbackTrans succeeds, until the outermost level has been rolled back.
//
// Errors collection: emptied when an operation starts; a failing provider
// call leaves the provider's records there; a statement that produced
// informational messages leaves them there and fires InfoMessage.
#pragma once

#include <korvo/ado/object_internal.h>
#include <korvo/com/connection_point.h>
#include <korvo/com/object.h>

#include <memory>
#include <string>
#include <vector>

namespace korvo::ado {

// A recordset that must be told when its connection closes.
class ConnectionClient {
 public:
  virtual void OnConnectionClosing() = 0;

 protected:
  ~ConnectionClient() = default;
};

class ConnectionObject final : public com::Object<_Connection, IConnectionPointContainer> {
 public:
  ConnectionObject();

  // _Connection
  HRESULT get_Properties(Properties** out) override;
  HRESULT get_ConnectionString(BSTR* out) override;
  HRESULT put_ConnectionString(BSTR text) override;
  HRESULT get_CommandTimeout(long* out) override;
  HRESULT put_CommandTimeout(long seconds) override;
  HRESULT get_ConnectionTimeout(long* out) override;
  HRESULT put_ConnectionTimeout(long seconds) override;
  HRESULT get_Version(BSTR* out) override;
  HRESULT raw_Close() override;
  HRESULT raw_Execute(BSTR commandText, VARIANT* recordsAffected, long options,
                      _Recordset** out) override;
  HRESULT raw_BeginTrans(long* level) override;
  HRESULT raw_CommitTrans() override;
  HRESULT raw_RollbackTrans() override;
  HRESULT raw_Open(BSTR connectionString, BSTR userId, BSTR password, long options) override;
  HRESULT get_Errors(Errors** out) override;
  HRESULT get_DefaultDatabase(BSTR* out) override;
  HRESULT put_DefaultDatabase(BSTR name) override;
  HRESULT get_IsolationLevel(IsolationLevelEnum* out) override;
  HRESULT put_IsolationLevel(IsolationLevelEnum level) override;
  HRESULT get_CursorLocation(CursorLocationEnum* out) override;
  HRESULT put_CursorLocation(CursorLocationEnum location) override;
  HRESULT get_Provider(BSTR* out) override;
  HRESULT put_Provider(BSTR name) override;
  HRESULT get_State(long* out) override;
  HRESULT raw_Cancel() override;

  // IConnectionPointContainer
  HRESULT EnumConnectionPoints(IEnumConnectionPoints** out) override;
  HRESULT FindConnectionPoint(REFIID riid, IConnectionPoint** out) override;

  // For commands and recordsets.
  bool is_open() const { return provider_ != nullptr; }
  provider::Connection* provider() { return provider_.get(); }
  long command_timeout() const { return command_timeout_; }
  CursorLocationEnum cursor_location() const { return cursor_location_; }
  // Counts opens, so a command can tell its prepared statement is stale.
  uint64_t open_generation() const { return open_generation_; }
  static provider::Deadline DeadlineFor(long timeout_seconds);

  // Empties the Errors collection (an operation starts).
  void BeginOperation();
  // Puts the provider's records into Errors and reports the first.
  HRESULT FailFromProvider(HRESULT hr);
  // Puts one record of the model's own into Errors and reports it.
  HRESULT Fail(const provider::ErrorRecord& record);
  // Moves the provider's queued messages into Errors and fires
  // InfoMessage; nothing when there are none.
  void DeliverMessages();
  // Fires WillExecute; false when a sink cancelled (then reported).
  bool FireWillExecute(const std::string& source, CursorTypeEnum cursor, LockTypeEnum lock,
                       long options, _Command* command, _Recordset* recordset);
  void FireExecuteComplete(long affected, HRESULT hr, _Command* command, _Recordset* recordset);

  void Attach(ConnectionClient* client);
  void Detach(ConnectionClient* client);

  // The SQL to run for `text` given the command type in `options` (or
  // `default_type` when they name none): SELECT * FROM for a table; a
  // stored procedure on an engine without them is reported (returns the
  // failure).
  // A stored procedure named without its arguments becomes the provider's
  // call of it with `procedure_parameters` markers.
  HRESULT StatementText(long options, long default_type, const std::string& text, std::string* sql,
                        int procedure_parameters = 0);

  // Runs `sql` as an executed statement; on failure the error is reported.
  // `fetch_rows` is the rows per engine fetch (0: the provider's default).
  HRESULT PrepareAndRun(const std::string& sql, const std::vector<provider::ParamValue>& params,
                        long timeout_seconds, std::shared_ptr<provider::Statement>* out,
                        long fetch_rows = 0);

 protected:
  ~ConnectionObject() override;
  void* QueryExtraInterface(REFIID riid) override;

 private:
  HRESULT CloseNow();
  template <class Fn>
  void Fire(Fn&& fn);
  HRESULT TransactionEnd(bool commit);

  std::unique_ptr<provider::Connection> provider_;
  std::string connection_string_;  // UTF-8, as last given or used
  std::string extended_properties_;
  std::string provider_name_;
  long command_timeout_ = 30;
  long connection_timeout_ = 15;
  long prompt_ = adPromptNever;
  IsolationLevelEnum isolation_ = adXactReadCommitted;
  CursorLocationEnum cursor_location_ = adUseServer;
  long trans_level_ = 0;
  uint64_t open_generation_ = 0;
  std::shared_ptr<std::vector<provider::ErrorRecord>> errors_;
  com::ConnectionPointPtr events_;
  std::vector<ConnectionClient*> clients_;
};

// Recordsets (recordset.cpp): an open recordset over an executed
// statement, read through a forward-only stream or a static snapshot.
// What a recordset is opened with: its cursor, lock, cache and source.
struct RecordsetRequest {
  CursorLocationEnum location = adUseServer;
  CursorTypeEnum cursor_type = adOpenForwardOnly;
  LockTypeEnum lock_type = adLockReadOnly;
  long cache_size = 1;
  long timeout_seconds = 0;  // for reading a snapshot
  std::string source;
};
HRESULT CreateOpenRecordset(ConnectionObject* connection,
                            std::shared_ptr<provider::Statement> statement,
                            const RecordsetRequest& request, _Recordset** out);

// The connection an ActiveConnection argument names: a Korvo connection
// object (VT_DISPATCH / VT_UNKNOWN or `object`), or a connect string
// (VT_BSTR), for which a new connection is opened. An empty, null or
// missing value gives *out null and *given false. Failures are reported.
HRESULT ConnectionFromVariant(const VARIANT& value, _ConnectionPtr* out, bool* given);
HRESULT ConnectionFromObject(IUnknown* object, _ConnectionPtr* out);

// Asks the user for a connect string (callback or terminal). On failure
// returns false and sets *error.
bool PromptForConnectString(const std::string& current, std::string* answer, std::string* error);

}  // namespace korvo::ado
