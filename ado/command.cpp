// ado/command.cpp: the Command object: text or table or procedure,
// parameters bound to ? markers, prepared-statement reuse, execution with
// or without rows.
#include <korvo/ado/command_internal.h>
#include <korvo/ado/excerpt_internal.h>
#include <korvo/ado/execute_internal.h>
#include <korvo/ado/value_internal.h>
#include <korvo/com/error_info.h>

#include <memory>

namespace korvo::ado {

HRESULT CreateParametersCollection(Parameters** out);

CommandObject::CommandObject() { CreateParametersCollection(&parameters_); }

ConnectionObject* CommandObject::connection() const {
  return static_cast<ConnectionObject*>(connection_.GetInterfacePtr());
}

HRESULT CommandObject::get_Properties(Properties** out) {
  if (out == nullptr) return ReportAdo(kEPointer);
  return CreateProperties({}, out);
}

HRESULT CommandObject::get_ActiveConnection(_Connection** out) {
  return OutInterface(out, connection_.GetInterfacePtr());
}

HRESULT CommandObject::putref_ActiveConnection(IDispatch* object) {
  com::ClearErrorInfo();
  return ConnectionFromObject(object, std::addressof(connection_));
}

HRESULT CommandObject::put_ActiveConnection(VARIANT value) {
  com::ClearErrorInfo();
  bool given = false;
  return ConnectionFromVariant(value, std::addressof(connection_), &given);
}

HRESULT CommandObject::get_CommandText(BSTR* out) { return OutText(out, text_); }
HRESULT CommandObject::put_CommandText(BSTR text) {
  com::ClearErrorInfo();
  if (auto nul = NulRecord(text, "The command text", kDbErrorsInCommand)) return Report(*nul);
  text_ = BstrToUtf8(text);
  return kSOk;
}
HRESULT CommandObject::get_CommandTimeout(long* out) { return Out(out, timeout_); }
HRESULT CommandObject::put_CommandTimeout(long seconds) { return PutSeconds(&timeout_, seconds); }
HRESULT CommandObject::get_Prepared(VARIANT_BOOL* out) {
  return Out(out, prepared_ ? VARIANT_TRUE : VARIANT_FALSE);
}
HRESULT CommandObject::put_Prepared(VARIANT_BOOL prepared) {
  prepared_ = prepared != VARIANT_FALSE;
  if (!prepared_) statement_.reset();
  return kSOk;
}
HRESULT CommandObject::put_CommandType(CommandTypeEnum type) {
  switch (type) {
    case adCmdUnspecified:
    case adCmdText:
    case adCmdTable:
    case adCmdStoredProc:
    case adCmdUnknown:
    case adCmdTableDirect:
      type_ = type;
      return kSOk;
    default:
      return ReportAdo(AdoError(3001), "Unknown command type " + std::to_string(type) + ".");
  }
}
HRESULT CommandObject::get_CommandType(CommandTypeEnum* out) { return Out(out, type_); }
HRESULT CommandObject::get_Name(BSTR* out) { return OutText(out, name_); }
HRESULT CommandObject::put_Name(BSTR name) {
  name_ = BstrToUtf8(name);
  return kSOk;
}
HRESULT CommandObject::get_State(long* out) { return Out(out, long{adStateClosed}); }
HRESULT CommandObject::raw_Cancel() { return kSOk; }

HRESULT CommandObject::get_Parameters(Parameters** out) {
  return OutInterface(out, parameters_.GetInterfacePtr());
}

HRESULT CommandObject::raw_CreateParameter(BSTR name, DataTypeEnum type,
                                           ParameterDirectionEnum direction, long size,
                                           VARIANT value, _Parameter** out) {
  if (out == nullptr) return ReportAdo(kEPointer);
  *out = nullptr;
  com::ClearErrorInfo();
  if (direction < adParamUnknown || direction > adParamReturnValue || size < 0) {
    return ReportAdo(AdoError(3001));
  }
  if (!IsKnownDataType(type)) {
    return ReportAdo(AdoError(3001), "Unknown parameter data type " + std::to_string(type) + ".");
  }
  _Parameter* created = nullptr;
  const HRESULT made = com::CreateObject<ParameterObject>(KORVO_UUIDOF(_Parameter),
                                                          reinterpret_cast<void**>(&created));
  if (FAILED(made)) return ReportAdo(made);
  _ParameterPtr holder(created, false);
  auto* p = static_cast<ParameterObject*>(created);
  p->name = BstrToUtf8(name);
  p->type = type;
  p->direction = direction;
  p->size = size;
  const VARIANT* v = value.vt == (VT_BYREF | VT_VARIANT) ? value.pvarVal : &value;
  if (!(v->vt == VT_ERROR && v->scode == DISP_E_PARAMNOTFOUND)) {
    const HRESULT hr = p->put_Value(*v);
    if (FAILED(hr)) return hr;
  }
  *out = holder.Detach();
  return kSOk;
}

HRESULT CommandObject::Run(long options, VARIANT* parameters,
                           std::shared_ptr<provider::Statement>* out, std::string* sql_out,
                           bool* announced) {
  *announced = false;
  ConnectionObject* conn = connection();
  if (conn == nullptr || !conn->is_open()) return ReportAdo(kAdoConnectionUnusable);
  conn->BeginOperation();
  if (parameters != nullptr &&
      !(parameters->vt == VT_ERROR && parameters->scode == DISP_E_PARAMNOTFOUND) &&
      parameters->vt != VT_EMPTY) {
    return conn->Fail(AdoRecord(AdoError(3001),
                                "Parameter values are taken from the Parameters "
                                "collection; pass a missing argument here."));
  }
  if (text_.empty()) return conn->Fail(AdoRecord(kDbNoCommand));

  // Input values in append order.
  std::vector<provider::ParamValue> values;
  bool first_unbound = false;  // the first parameter is an output one
  long count = 0;
  parameters_->get_Count(&count);
  for (long i = 0; i < count; ++i) {
    _Parameter* item = nullptr;
    VARIANT index;
    index.vt = VT_I4;
    index.lVal = static_cast<LONG>(i);
    parameters_->get_Item(index, &item);
    _ParameterPtr holder(item, false);
    auto* p = static_cast<ParameterObject*>(item);
    if (p->direction == adParamOutput || p->direction == adParamReturnValue) {
      if (i == 0) first_unbound = true;
      continue;
    }
    provider::ParamValue value;
    std::string error;
    const HRESULT hr = VariantToParam(p->value, p->type, &value, &error);
    if (FAILED(hr)) {
      return conn->Fail(AdoRecord(
          hr, "Parameter " + std::to_string(i + 1) +
                  (p->name.empty() ? "" : " (\"" + Excerpt(p->name) + "\")") + ": " + error));
    }
    values.push_back(std::move(value));
  }
  std::string sql;
  const HRESULT text_hr =
      conn->StatementText(options, type_, text_, &sql, static_cast<int>(values.size()));
  if (FAILED(text_hr)) return text_hr;

  *sql_out = sql;
  *announced = true;
  if (!conn->FireWillExecute(sql, adOpenForwardOnly, adLockReadOnly, options, this, nullptr)) {
    return kAdoNotAllowed;
  }

  // Reuse the kept statement when nothing it depends on changed and no
  // recordset is still reading from it.
  std::shared_ptr<provider::Statement> statement;
  if (prepared_ && statement_ && statement_sql_ == sql && statement_connection_ == conn &&
      statement_generation_ == conn->open_generation() && statement_.use_count() == 1) {
    statement = statement_;
  } else {
    std::unique_ptr<provider::Statement> fresh;
    const HRESULT hr = conn->provider()->Prepare(sql, &fresh);
    if (FAILED(hr)) return conn->FailFromProvider(hr);
    ++prepares_;
    statement = std::move(fresh);
    if (prepared_) {
      statement_ = statement;
      statement_sql_ = sql;
      statement_connection_ = conn;
      statement_generation_ = conn->open_generation();
    }
  }
  // {?= call f(?)}: the return value's marker is gone from the text, so
  // the parameter standing for it binds nothing.
  if (statement->ReturnValueMarker() && !first_unbound && !values.empty())
    values.erase(values.begin());
  const HRESULT hr = RunStatement(*conn, *statement, values, timeout_);
  if (FAILED(hr)) return hr;
  *out = std::move(statement);
  return kSOk;
}

HRESULT CommandObject::raw_Execute(VARIANT* recordsAffected, VARIANT* parameters, long options,
                                   _Recordset** out) {
  if (out) *out = nullptr;
  com::ClearErrorInfo();
  std::shared_ptr<provider::Statement> statement;
  ExecuteCall call;
  call.options = options;
  call.timeout_seconds = timeout_;
  call.command = this;
  bool announced = false;
  const HRESULT hr = Run(options, parameters, &statement, &call.sql, &announced);
  if (!announced) return hr;
  return FinishExecute(*connection(), hr, std::move(statement), call, recordsAffected, out);
}

HRESULT CommandObject::RunForRecordset(long options,
                                       std::shared_ptr<provider::Statement>* statement,
                                       _ConnectionPtr* connection, std::string* source) {
  bool announced = false;
  const HRESULT hr = Run(options, nullptr, statement, source, &announced);
  if (FAILED(hr)) {
    if (announced) this->connection()->FireExecuteComplete(-1, hr, this, nullptr);
    return hr;
  }
  *connection = connection_;
  return kSOk;
}

}  // namespace korvo::ado
