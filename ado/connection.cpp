// ado/connection.cpp: the Connection object: connect strings and provider
// choice, statements, transactions, properties, errors and events.
#include <korvo/ado/connect_string_internal.h>
#include <korvo/ado/connection_internal.h>
#include <korvo/ado/excerpt_internal.h>
#include <korvo/ado/execute_internal.h>
#include <korvo/ado/value_internal.h>
#include <korvo/com/error_info.h>
#include <korvo/platform/terminal_internal.h>
#include <korvo/platform/thread_annotations.h>

#include <algorithm>
#include <memory>

namespace korvo::ado {
namespace {

using provider::ErrorRecord;

korvo::platform::Mutex g_prompt_mutex;
ConnectPromptCallback g_prompt KORVO_GUARDED_BY(g_prompt_mutex) = nullptr;
void* g_prompt_context KORVO_GUARDED_BY(g_prompt_mutex) = nullptr;

std::string Text(BSTR b) { return BstrToUtf8(b); }

}  // namespace

void SetConnectPromptCallback(ConnectPromptCallback callback, void* context) {
  korvo::platform::MutexLock lock(g_prompt_mutex);
  g_prompt = callback;
  g_prompt_context = context;
}

bool PromptForConnectString(const std::string& current, std::string* answer, std::string* error) {
  ConnectPromptCallback callback;
  void* context;
  {
    korvo::platform::MutexLock lock(g_prompt_mutex);
    callback = g_prompt;
    context = g_prompt_context;
  }
  if (callback != nullptr) {
    if (callback(context, current.c_str(), answer)) return true;
    *error = "The connect prompt was cancelled.";
    return false;
  }
  std::string line;
  const std::string question =
      "Connect string" + (current.empty() ? std::string() : " [" + current + "]") + ": ";
  switch (platform::AskTerminal(question, &line)) {
    case platform::TerminalAnswer::kAnswered:
      break;
    case platform::TerminalAnswer::kNoTerminal:
      *error =
          "No connect string was given and none can be asked for: standard input is not a "
          "terminal and no prompt callback is set (korvo::ado::SetConnectPromptCallback).";
      return false;
    case platform::TerminalAnswer::kEnded:
      *error = "The connect prompt was cancelled.";
      return false;
  }
  *answer = line.empty() ? current : line;
  if (answer->empty()) {
    *error = "The connect prompt was cancelled.";
    return false;
  }
  return true;
}

HRESULT ConnectionFromObject(IUnknown* object, _ConnectionPtr* out) {
  *out = nullptr;
  if (object == nullptr) return kSOk;
  ImplRef<ConnectionObject> impl(object, kConnectionImplIid);
  if (!impl) return ReportAdo(kAdoConnectionUnusable);
  *out = static_cast<_Connection*>(impl.p);
  return kSOk;
}

HRESULT ConnectionFromVariant(const VARIANT& value, _ConnectionPtr* out, bool* given) {
  const VARIANT* v = value.vt == (VT_BYREF | VT_VARIANT) ? value.pvarVal : &value;
  *out = nullptr;
  *given = true;
  switch (v->vt) {
    case VT_DISPATCH:
    case VT_UNKNOWN:
      *given = v->punkVal != nullptr;
      return ConnectionFromObject(v->punkVal, out);
    case VT_BSTR: {
      _ConnectionPtr fresh;
      HRESULT hr = fresh.CreateInstance(KORVO_UUIDOF(Connection));
      if (FAILED(hr)) return ReportAdo(hr);
      hr = fresh->raw_Open(v->bstrVal, nullptr, nullptr, adConnectUnspecified);
      if (FAILED(hr)) return hr;
      *out = fresh;
      return kSOk;
    }
    case VT_EMPTY:
    case VT_NULL:
      *given = false;
      return kSOk;
    case VT_ERROR:
      if (v->scode == DISP_E_PARAMNOTFOUND) {
        *given = false;
        return kSOk;
      }
      [[fallthrough]];
    default:
      return ReportAdo(AdoError(3001),
                       "ActiveConnection must be a Connection or a connect string.");
  }
}

ConnectionObject::ConnectionObject() : errors_(std::make_shared<std::vector<ErrorRecord>>()) {
  com::ConnectionPoint::Create(this, KORVO_UUIDOF(ConnectionEventsVt), &events_);
}

ConnectionObject::~ConnectionObject() {
  // A failed rollback cannot be reported from here; CloseNow explains why
  // nothing is lost.
  CloseNow();
  if (events_) events_->Disconnect();
}

void* ConnectionObject::QueryExtraInterface(REFIID riid) {
  return riid == kConnectionImplIid ? static_cast<void*>(this) : nullptr;
}

provider::Deadline ConnectionObject::DeadlineFor(long timeout_seconds) {
  if (timeout_seconds <= 0) return provider::NoDeadline();
  return provider::Clock::now() + std::chrono::seconds(timeout_seconds);
}

void ConnectionObject::BeginOperation() {
  errors_->clear();
  if (provider_) provider_->diagnostics().errors.clear();
  com::ClearErrorInfo();
}

HRESULT ConnectionObject::FailFromProvider(HRESULT hr) {
  if (provider_ && !provider_->diagnostics().errors.empty()) {
    *errors_ = provider_->diagnostics().errors;
  } else {
    *errors_ = {AdoRecord(hr)};
  }
  Report(errors_->front());
  return hr;
}

HRESULT ConnectionObject::Fail(const ErrorRecord& record) {
  *errors_ = {record};
  return Report(record);
}

template <class Fn>
void ConnectionObject::Fire(Fn&& fn) {
  if (!events_ || events_->SinkCount() == 0) return;
  events_->ForEachSink<ConnectionEventsVt>(std::forward<Fn>(fn));
}

void ConnectionObject::DeliverMessages() {
  if (!provider_ || provider_->diagnostics().messages.empty()) return;
  *errors_ = std::move(provider_->diagnostics().messages);
  provider_->diagnostics().messages.clear();
  if (!events_ || events_->SinkCount() == 0) return;
  ErrorPtr first;
  CreateError(errors_->front(), &first);
  Fire([&](ConnectionEventsVt* sink) {
    EventStatusEnum status = adStatusOK;
    sink->InfoMessage(first, &status, this);
  });
}

bool ConnectionObject::FireWillExecute(const std::string& source, CursorTypeEnum cursor,
                                       LockTypeEnum lock, long options, _Command* command,
                                       _Recordset* recordset) {
  if (!events_ || events_->SinkCount() == 0) return true;
  bool cancelled = false;
  Fire([&](ConnectionEventsVt* sink) {
    BSTR text = Utf8ToBstr(source.data(), source.size());
    CursorTypeEnum c = cursor;
    LockTypeEnum l = lock;
    long o = options;
    EventStatusEnum status = adStatusOK;
    sink->WillExecute(&text, &c, &l, &o, &status, command, recordset, this);
    SysFreeString(text);
    if (status == adStatusCancel) cancelled = true;
  });
  if (cancelled)
    Fail(AdoRecord(kAdoNotAllowed, "The operation was cancelled by a WillExecute handler."));
  return !cancelled;
}

void ConnectionObject::FireExecuteComplete(long affected, HRESULT hr, _Command* command,
                                           _Recordset* recordset) {
  if (!events_ || events_->SinkCount() == 0) return;
  ErrorPtr error;
  if (FAILED(hr) && !errors_->empty()) CreateError(errors_->front(), &error);
  Fire([&](ConnectionEventsVt* sink) {
    EventStatusEnum status = FAILED(hr) ? adStatusErrorsOccurred : adStatusOK;
    sink->ExecuteComplete(affected, error, &status, command, recordset, this);
  });
}

void ConnectionObject::Attach(ConnectionClient* client) { clients_.push_back(client); }

void ConnectionObject::Detach(ConnectionClient* client) {
  clients_.erase(std::remove(clients_.begin(), clients_.end(), client), clients_.end());
}

// ------------------------------------------------------------------ open

HRESULT ConnectionObject::raw_Open(BSTR connectionString, BSTR, BSTR, long) {
  com::ClearErrorInfo();
  // A connection whose server went away is reopened without a Close.
  if (provider_ && !provider_->IsOpen()) CloseNow();
  if (provider_) return Fail(AdoRecord(kAdoObjectOpen));
  errors_->clear();
  if (auto nul = NulRecord(connectionString, "The connect string", kEInvalidArg)) return Fail(*nul);
  std::string text =
      SysStringLen(connectionString) > 0 ? Text(connectionString) : connection_string_;

  if (events_ && events_->SinkCount() > 0) {
    Fire([&](ConnectionEventsVt* sink) {
      BSTR cs = Utf8ToBstr(text.data(), text.size());
      BSTR user = nullptr, password = nullptr;
      long options = adConnectUnspecified;
      EventStatusEnum status = adStatusOK;
      sink->WillConnect(&cs, &user, &password, &options, &status, this);
      SysFreeString(cs);
      SysFreeString(user);
      SysFreeString(password);
    });
  }

  auto complete = [&](HRESULT hr) {
    if (events_ && events_->SinkCount() > 0) {
      ErrorPtr error;
      if (FAILED(hr) && !errors_->empty()) CreateError(errors_->front(), &error);
      Fire([&](ConnectionEventsVt* sink) {
        EventStatusEnum status = FAILED(hr) ? adStatusErrorsOccurred : adStatusOK;
        sink->ConnectComplete(error, &status, this);
      });
      // The handlers may have recorded errors of their own; the open's
      // description is the one to report.
      if (FAILED(hr)) Report(errors_->front());
    }
    return hr;
  };

  if (prompt_ == adPromptAlways || (text.empty() && prompt_ != adPromptNever)) {
    std::string answer, error;
    if (!PromptForConnectString(text, &answer, &error)) {
      return complete(Fail(AdoRecord(kEFail, error)));
    }
    text = answer;
  } else if (text.empty()) {
    return complete(Fail(AdoRecord(
        kEFail, "No connect string was given (set the \"Prompt\" property to ask for one).")));
  }

  ConnectString parsed;
  std::string error;
  if (IsPostgresUri(text)) {
    // libpq reads the URI itself; the native provider gets it whole.
    parsed.Set("Provider", "PostgreSQL");
    parsed.Set("URI", text);
  } else if (!parsed.Parse(StripOdbcPrefix(text), &error)) {
    return complete(Fail(AdoRecord(kEInvalidArg, "The connect string is malformed: " + error)));
  }
  ProviderChoice choice = ChooseProvider(text, parsed);
  // An ODBC string that names no data source is completed by the prompt
  // when the host allows one.
  if (choice.kind == ProviderKind::kOdbc && prompt_ != adPromptNever && !parsed.Has("DSN") &&
      !parsed.Has("FILEDSN") && !parsed.Has("Driver")) {
    std::string answer;
    if (!PromptForConnectString(text, &answer, &error))
      return complete(Fail(AdoRecord(kEFail, error)));
    text = answer;
    if (!parsed.Parse(StripOdbcPrefix(text), &error)) {
      return complete(Fail(AdoRecord(kEInvalidArg, "The connect string is malformed: " + error)));
    }
    choice = ChooseProvider(text, parsed);
  }
  // The provider's waits while opening follow ConnectionTimeout unless
  // the connect string sets its own.
  if (!parsed.Has("Connect Timeout"))
    parsed.Set("Connect Timeout", std::to_string(connection_timeout_));
  std::unique_ptr<provider::Connection> engine;
  if (choice.kind == ProviderKind::kSqlite) {
    engine = provider::CreateSqliteConnection();
  } else if (choice.kind == ProviderKind::kOdbc) {
    engine = provider::CreateOdbcConnection();
  } else if (choice.kind == ProviderKind::kPostgres) {
    engine = provider::CreatePostgresConnection();
  } else {
    std::string detail = choice.name.empty() ? "the connect string names no provider"
                                             : "no provider named \"" + Excerpt(choice.name) + "\"";
    return complete(Fail(
        AdoRecord(kAdoProviderNotFound,
                  "Provider cannot be found. It may not be properly installed. (" + detail + ")")));
  }
  auto engine_failed = [&](HRESULT hr) {
    *errors_ = engine->diagnostics().errors;
    if (errors_->empty()) errors_->push_back(AdoRecord(hr));
    Report(errors_->front());
    return complete(hr);
  };
  const HRESULT hr = engine->Open(parsed);
  if (FAILED(hr)) return engine_failed(hr);
  if (isolation_ != adXactReadCommitted) {
    // The level was asked for before the open; a connection that cannot
    // apply it stays closed rather than run at a level the host did not
    // choose.
    const HRESULT level_hr = engine->SetIsolationLevel(isolation_);
    if (FAILED(level_hr)) {
      const HRESULT reported = engine_failed(level_hr);  // before Close clears the records
      engine->Close();
      return reported;
    }
  }
  engine->SetLockWaitTimeout(command_timeout_);
  provider_ = std::move(engine);
  provider_name_ = choice.name;
  connection_string_ = text;
  extended_properties_ = text;
  trans_level_ = 0;
  ++open_generation_;
  return complete(kSOk);
}

HRESULT ConnectionObject::CloseNow() {
  if (!provider_) return kSOk;
  // Recordsets detach themselves while being closed.
  const std::vector<ConnectionClient*> clients = clients_;
  for (ConnectionClient* client : clients) client->OnConnectionClosing();
  clients_.clear();
  provider_->Close();  // the engine rolls back an open transaction
  // A failed rollback is reported; the connection is closed regardless,
  // and nothing of the transaction was committed.
  const auto& errors = provider_->diagnostics().errors;
  const HRESULT hr = errors.empty() ? kSOk : FailFromProvider(errors.front().hr);
  provider_.reset();
  trans_level_ = 0;
  return hr;
}

HRESULT ConnectionObject::raw_Close() {
  com::ClearErrorInfo();
  if (!provider_) return Fail(AdoRecord(kAdoObjectClosed));
  errors_->clear();
  // Closing would end the transaction without the host saying how; the
  // host commits or rolls back first (releasing the object rolls back).
  // (A lost server ended the transaction already.)
  if (trans_level_ > 0 && provider_->IsOpen()) {
    return Fail(AdoRecord(kAdoInTransaction,
                          "Connection object cannot be explicitly closed while in a transaction (" +
                              std::to_string(trans_level_) +
                              (trans_level_ == 1 ? " level is" : " levels are") +
                              " open: commit or roll back first)."));
  }
  const HRESULT hr = CloseNow();
  Fire([&](ConnectionEventsVt* sink) {
    EventStatusEnum status = adStatusOK;
    sink->Disconnect(&status, this);
  });
  return hr;
}

// A connection whose server went away reports closed, so that a host
// sees the link is dead; Close and Open still work on it.
HRESULT ConnectionObject::get_State(long* out) {
  return Out(out, provider_ && provider_->IsOpen() ? long{adStateOpen} : long{adStateClosed});
}

// ------------------------------------------------------------- statements

HRESULT ConnectionObject::PrepareAndRun(const std::string& sql,
                                        const std::vector<provider::ParamValue>& params,
                                        long timeout_seconds,
                                        std::shared_ptr<provider::Statement>* out,
                                        long fetch_rows) {
  std::unique_ptr<provider::Statement> statement;
  HRESULT hr = provider_->Prepare(sql, &statement);
  if (FAILED(hr)) return FailFromProvider(hr);
  statement->SetFetchRows(fetch_rows);
  hr = RunStatement(*this, *statement, params, timeout_seconds);
  if (FAILED(hr)) return hr;
  *out = std::move(statement);
  return kSOk;
}

HRESULT ConnectionObject::StatementText(long options, long default_type, const std::string& text,
                                        std::string* sql, int procedure_parameters) {
  long type = options == -1 ? 0 : (options & 0x30F);
  if (type == 0 || type == adCmdUnknown) type = default_type;
  *sql = text;
  if (type == adCmdStoredProc && !provider_->SupportsProcedures()) {
    return Fail(AdoRecord(kEFail, "The provider has no stored procedures; \"" + Excerpt(text) +
                                      "\" cannot run as one (call it as a function instead)."));
  }
  if (type == adCmdTable || type == adCmdTableDirect) *sql = "SELECT * FROM " + text;
  // A procedure named by itself runs through the engine's call statement.
  if (type == adCmdStoredProc && text.find_first_of("({ ") == std::string::npos) {
    *sql = provider_->ProcedureCall(text, procedure_parameters);
  }
  return kSOk;
}

HRESULT ConnectionObject::raw_Execute(BSTR commandText, VARIANT* recordsAffected, long options,
                                      _Recordset** out) {
  if (out) *out = nullptr;
  BeginOperation();
  if (!provider_) return Fail(AdoRecord(kAdoConnectionUnusable));
  if (auto nul = NulRecord(commandText, "The command text", kDbErrorsInCommand)) return Fail(*nul);
  ExecuteCall call;
  call.options = options;
  call.timeout_seconds = command_timeout_;
  HRESULT hr = StatementText(options, adCmdText, Text(commandText), &call.sql);
  if (FAILED(hr)) return hr;
  std::shared_ptr<provider::Statement> statement;
  hr = FireWillExecute(call.sql, adOpenForwardOnly, adLockReadOnly, options, nullptr, nullptr)
           ? PrepareAndRun(call.sql, {}, command_timeout_, &statement)
           : kAdoNotAllowed;
  return FinishExecute(*this, hr, std::move(statement), call, recordsAffected, out);
}

// ----------------------------------------------------------- transactions

HRESULT ConnectionObject::raw_BeginTrans(long* level) {
  BeginOperation();
  if (!provider_) return Fail(AdoRecord(kAdoConnectionUnusable));
  const long next = trans_level_ + 1;
  const HRESULT hr = provider_->BeginTransaction(static_cast<int>(next));
  if (FAILED(hr)) return FailFromProvider(hr);
  trans_level_ = next;
  if (level) *level = next;
  Fire([&](ConnectionEventsVt* sink) {
    EventStatusEnum status = adStatusOK;
    sink->BeginTransComplete(next, nullptr, &status, this);
  });
  return kSOk;
}

HRESULT ConnectionObject::TransactionEnd(bool commit) {
  BeginOperation();
  if (!provider_) return Fail(AdoRecord(kAdoConnectionUnusable));
  if (trans_level_ == 0) return Fail(AdoRecord(kXactNoTransaction));
  const int level = static_cast<int>(trans_level_);
  const HRESULT hr =
      commit ? provider_->CommitTransaction(level) : provider_->RollbackTransaction(level);
  if (FAILED(hr)) return FailFromProvider(hr);
  --trans_level_;
  Fire([&](ConnectionEventsVt* sink) {
    EventStatusEnum status = adStatusOK;
    if (commit) {
      sink->CommitTransComplete(nullptr, &status, this);
    } else {
      sink->RollbackTransComplete(nullptr, &status, this);
    }
  });
  return kSOk;
}

HRESULT ConnectionObject::raw_CommitTrans() { return TransactionEnd(true); }
HRESULT ConnectionObject::raw_RollbackTrans() { return TransactionEnd(false); }

// ------------------------------------------------------------- properties

HRESULT ConnectionObject::get_Properties(Properties** out) {
  if (out == nullptr) return ReportAdo(kEPointer);
  com::ClearErrorInfo();
  // The entries refer back to this connection, which they keep alive.
  _ConnectionPtr self(static_cast<_Connection*>(this));
  auto text = [self](std::function<std::string(ConnectionObject*)> read) {
    return [self, read](VARIANT* v) -> HRESULT {
      auto* c = static_cast<ConnectionObject*>(self.GetInterfacePtr());
      const std::string s = read(c);
      v->vt = VT_BSTR;
      v->bstrVal = Utf8ToBstr(s.data(), s.size());
      return kSOk;
    };
  };
  auto info = [text](provider::InfoProperty what) {
    return text([what](ConnectionObject* c) {
      return c->provider_ ? c->provider_->Info(what) : std::string();
    });
  };
  std::vector<PropertyDef> defs;
  PropertyDef prompt;
  prompt.name = "Prompt";
  prompt.type = adSmallInt;
  prompt.get = [self](VARIANT* v) -> HRESULT {
    v->vt = VT_I2;
    v->iVal = static_cast<SHORT>(static_cast<ConnectionObject*>(self.GetInterfacePtr())->prompt_);
    return kSOk;
  };
  prompt.put = [self](const VARIANT& v) -> HRESULT {
    VARIANT n;
    VariantInit(&n);
    if (FAILED(VariantChangeType(&n, &v, 0, VT_I4)) || n.lVal < adPromptAlways ||
        n.lVal > adPromptNever) {
      return ReportAdo(kAdoWrongType, "The \"Prompt\" property takes 1 (always) to 4 (never).");
    }
    static_cast<ConnectionObject*>(self.GetInterfacePtr())->prompt_ = n.lVal;
    return kSOk;
  };
  defs.push_back(prompt);
  PropertyDef extended;
  extended.name = "Extended Properties";
  extended.get = text([](ConnectionObject* c) { return c->extended_properties_; });
  extended.put = [self](const VARIANT& v) -> HRESULT {
    VARIANT s;
    VariantInit(&s);
    if (FAILED(VariantChangeType(&s, &v, 0, VT_BSTR))) return ReportAdo(kAdoWrongType);
    static_cast<ConnectionObject*>(self.GetInterfacePtr())->extended_properties_ =
        BstrToUtf8(s.bstrVal);
    VariantClear(&s);
    return kSOk;
  };
  defs.push_back(extended);
  defs.push_back(
      {"DBMS Name", adBSTR, adPropRead, info(provider::InfoProperty::kDbmsName), nullptr});
  defs.push_back(
      {"DBMS Version", adBSTR, adPropRead, info(provider::InfoProperty::kDbmsVersion), nullptr});
  defs.push_back(
      {"Provider Name", adBSTR, adPropRead, info(provider::InfoProperty::kProviderName), nullptr});
  defs.push_back(
      {"Data Source", adBSTR, adPropRead, info(provider::InfoProperty::kDataSource), nullptr});
  defs.push_back({"Current Catalog", adBSTR, adPropRead,
                  info(provider::InfoProperty::kDefaultDatabase), nullptr});
  return CreateProperties(std::move(defs), out);
}

HRESULT ConnectionObject::get_ConnectionString(BSTR* out) {
  return OutText(out, connection_string_);
}

HRESULT ConnectionObject::put_ConnectionString(BSTR text) {
  com::ClearErrorInfo();
  if (provider_) return Fail(AdoRecord(kAdoObjectOpen));
  if (auto nul = NulRecord(text, "The connect string", kEInvalidArg)) return Fail(*nul);
  connection_string_ = Text(text);
  return kSOk;
}

HRESULT ConnectionObject::get_CommandTimeout(long* out) { return Out(out, command_timeout_); }
HRESULT ConnectionObject::put_CommandTimeout(long seconds) {
  const HRESULT hr = PutSeconds(&command_timeout_, seconds);
  if (SUCCEEDED(hr) && provider_) provider_->SetLockWaitTimeout(command_timeout_);
  return hr;
}
HRESULT ConnectionObject::get_ConnectionTimeout(long* out) { return Out(out, connection_timeout_); }
HRESULT ConnectionObject::put_ConnectionTimeout(long seconds) {
  return PutSeconds(&connection_timeout_, seconds);
}
HRESULT ConnectionObject::get_Version(BSTR* out) { return OutText(out, "2.8"); }

HRESULT ConnectionObject::get_Errors(Errors** out) {
  if (out == nullptr) return ReportAdo(kEPointer);
  return CreateErrors(errors_, out);
}

HRESULT ConnectionObject::get_DefaultDatabase(BSTR* out) {
  return OutText(
      out, provider_ ? provider_->Info(provider::InfoProperty::kDefaultDatabase) : std::string());
}

HRESULT ConnectionObject::put_DefaultDatabase(BSTR name) {
  com::ClearErrorInfo();
  if (!provider_) return Fail(AdoRecord(kAdoObjectClosed));
  const std::string wanted = Text(name);
  if (EqualNames(wanted, provider_->Info(provider::InfoProperty::kDefaultDatabase))) return kSOk;
  return Fail(AdoRecord(kAdoNotAllowed,
                        "The provider cannot change its database to \"" + Excerpt(wanted) + "\"."));
}

HRESULT ConnectionObject::get_IsolationLevel(IsolationLevelEnum* out) {
  return Out(out, isolation_);
}

HRESULT ConnectionObject::put_IsolationLevel(IsolationLevelEnum level) {
  BeginOperation();
  switch (level) {
    case adXactUnspecified:
    case adXactChaos:
    case adXactReadUncommitted:
    case adXactReadCommitted:
    case adXactRepeatableRead:
    case adXactSerializable:
      break;
    default:
      return Fail(
          AdoRecord(AdoError(3001), "Unknown isolation level " + std::to_string(level) + "."));
  }
  if (provider_) {
    const HRESULT hr = provider_->SetIsolationLevel(level);
    if (FAILED(hr)) return FailFromProvider(hr);
  }
  isolation_ = level;
  return kSOk;
}

HRESULT ConnectionObject::get_CursorLocation(CursorLocationEnum* out) {
  return Out(out, cursor_location_);
}
HRESULT ConnectionObject::put_CursorLocation(CursorLocationEnum location) {
  if (location != adUseServer && location != adUseClient) return ReportAdo(AdoError(3001));
  cursor_location_ = location;
  return kSOk;
}

HRESULT ConnectionObject::get_Provider(BSTR* out) {
  return OutText(out, provider_name_.empty() ? "MSDASQL" : provider_name_);
}
HRESULT ConnectionObject::put_Provider(BSTR name) {
  if (provider_) return Fail(AdoRecord(kAdoObjectOpen));
  provider_name_ = Text(name);
  return kSOk;
}

HRESULT ConnectionObject::raw_Cancel() { return kSOk; }

HRESULT ConnectionObject::EnumConnectionPoints(IEnumConnectionPoints** out) {
  if (out) *out = nullptr;
  return ReportAdo(kENotImpl,
                   "Enumerating connection points is not supported; use FindConnectionPoint.");
}

HRESULT ConnectionObject::FindConnectionPoint(REFIID riid, IConnectionPoint** out) {
  return events_->Find(riid, out);
}

}  // namespace korvo::ado
