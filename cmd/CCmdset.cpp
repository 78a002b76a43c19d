// cmd/CCmdset.cpp: the command object (cmd layer): an ADO Command bound to
// a CDatabase's connection, its typed input parameters and execution.
#include <korvo/cmd/CCmdset.h>
#include <korvo/db/CDatabase.h>
#include <korvo/diag/com_failure_internal.h>
#include <korvo/recordset/CRecordset.h>

using korvo::diag::ConvertComFailures;
using korvo::diag::ErrorSite;
using korvo::diag::NativeErrorFromComError;

namespace {

// Each operation reports under its own signature text. A non-COM exception
// passing through SetActiveConnection is traced with that text itself; the
// other operations pass such exceptions on without a trace line.
constexpr const char* kSetActiveConnectionOrigin =
    "void __cdecl CCmdset::SetActiveConnection(class CDatabase *)";
constexpr ErrorSite kSetActiveConnectionSite{kSetActiveConnectionOrigin,
                                             kSetActiveConnectionOrigin};
constexpr ErrorSite kAppendSizedSite{
    "void __cdecl CCmdset::AppendParameter(const char *,enum CCmdset::DataType,long,const class "
    "_variant_t &)",
    nullptr};
constexpr ErrorSite kAppendNumericSite{
    "void __cdecl CCmdset::AppendParameter(const char *,enum CCmdset::DataType,const class "
    "_variant_t &,long,long)",
    nullptr};
constexpr ErrorSite kExecuteSite{"void __cdecl CCmdset::Execute(void)", nullptr};
constexpr ErrorSite kExecuteWithOptionsSite{"void __cdecl CCmdset::ExecuteWithOptions(long)",
                                            nullptr};
constexpr ErrorSite kExecuteProcSite{"void __cdecl CCmdset::ExecuteProc(void)", nullptr};
constexpr ErrorSite kExecuteCountSite{"void __cdecl CCmdset::Execute(long &)", nullptr};
constexpr ErrorSite kExecuteRecordsetSite{"void __cdecl CCmdset::Execute(class CRecordset &)",
                                          nullptr};
constexpr ErrorSite kCloseSite{"void __cdecl CCmdset::Close(void)", nullptr};

// ADO keeps precision and numeric scale in one byte each.
constexpr BYTE LowByte(long value) { return static_cast<BYTE>(value & 0xFF); }

}  // namespace

// ------------------------------------------------------------ lifetime

CCmdset::CCmdset(CDatabase* pDatabase)
    : m_pCommand(), m_trace() {  // reads the trace switch on the first traced object
  if (pDatabase != nullptr) SetActiveConnection(pDatabase);
}

CCmdset::CCmdset(const CCmdset& other) = default;
CCmdset& CCmdset::operator=(const CCmdset& other) = default;

CCmdset::~CCmdset() {
  try {
    m_pCommand = nullptr;
  } catch (...) {
    // A failing release cannot leave a destructor.
  }
}

void CCmdset::SetActiveConnection(CDatabase* pDatabase) {
  ConvertComFailures(m_trace, kSetActiveConnectionSite, [&] {
    m_pCommand = nullptr;
    if (pDatabase == nullptr) _com_issue_error(E_POINTER);
    korvo::diag::CreateComObject(m_pCommand, __uuidof(Command), "Korvo.CCmdset");
    m_pCommand->PutRefActiveConnection(pDatabase->GetAdoConnection());
    // ADO's CommandTimeout is a 32-bit value: 0xFFFFFFFF arrives as -1.
    m_pCommand->PutCommandTimeout(static_cast<LONG>(pDatabase->GetQueryTimeout()));
  });
}

void CCmdset::Close() {
  ConvertComFailures(m_trace, kCloseSite, [this] { m_pCommand = nullptr; });
}

void CCmdset::ThrowDBException(short nReturnCode) { korvo::diag::ThrowLibraryError(nReturnCode); }

// ------------------------------------------------------------ text and parameters

void CCmdset::SetCommandText(const char* lpszCommand) {
  SetCommandText(static_cast<const WCHAR*>(_bstr_t(lpszCommand)));
}

void CCmdset::SetCommandText(const WCHAR* lpszCommand) { SetCommand(lpszCommand, adCmdText); }

void CCmdset::SetCommandProc(const char* lpszProcedure) {
  SetCommandProc(static_cast<const WCHAR*>(_bstr_t(lpszProcedure)));
}

void CCmdset::SetCommandProc(const WCHAR* lpszProcedure) {
  SetCommand(lpszProcedure, adCmdStoredProc);
}

void CCmdset::SetCommand(const WCHAR* lpszText, CommandTypeEnum type) {
  m_pCommand->PutCommandText(_bstr_t(lpszText));
  m_pCommand->PutCommandType(type);
}

template <class Shape>
void CCmdset::AppendInputParameter(const char* origin, const char* lpszName, DataType nType,
                                   long nSize, const _variant_t& value, Shape&& shape) {
  ConvertComFailures(m_trace, ErrorSite{origin, nullptr}, [&] {
    _ParameterPtr parameter = m_pCommand->CreateParameter(
        _bstr_t(lpszName), static_cast<DataTypeEnum>(nType), adParamInput, nSize, value);
    shape(parameter);
    m_pCommand->GetParameters()->Append(parameter.GetInterfacePtr());
  });
}

void CCmdset::AppendParameter(const char* lpszName, DataType nType, long nSize,
                              const _variant_t& value) {
  AppendInputParameter(kAppendSizedSite.origin, lpszName, nType, nSize, value,
                       [](_ParameterPtr&) {});
}

void CCmdset::AppendParameter(const char* lpszName, DataType nType, const _variant_t& value,
                              long nPrecision, long nScale) {
  AppendInputParameter(kAppendNumericSite.origin, lpszName, nType, 0, value,
                       [&](_ParameterPtr& parameter) {
                         parameter->PutNumericScale(LowByte(nScale));
                         parameter->PutPrecision(LowByte(nPrecision));
                       });
}

// ------------------------------------------------------------ execution

void CCmdset::Execute() { ExecuteWithoutRows(kExecuteSite, adExecuteNoRecords); }

void CCmdset::ExecuteWithOptions(long lOptions) {
  ExecuteWithoutRows(kExecuteWithOptionsSite, lOptions);
}

void CCmdset::ExecuteWithoutRows(const ErrorSite& site, long lOptions) {
  // The result set that comes back is released at once.
  ConvertComFailures(
      m_trace, site, [&] { m_pCommand->Execute(nullptr, nullptr, lOptions); },
      NativeErrorFromComError());
}

void CCmdset::ExecuteProc() {
  ConvertComFailures(m_trace, kExecuteProcSite, [this] {
    m_pCommand->PutCommandType(adCmdStoredProc);
    m_pCommand->Execute(nullptr, nullptr, adExecuteNoRecords);
  });
}

void CCmdset::Execute(long& lCount) {
  ConvertComFailures(m_trace, kExecuteCountSite, [&] {
    _variant_t affected;
    m_pCommand->Execute(&affected, nullptr, adExecuteNoRecords);
    // A signed 32-bit count (VT_I4); a failing conversion is a COM failure.
    lCount = static_cast<long>(affected);
  });
}

void CCmdset::Execute(CRecordset& recordset) {
  ConvertComFailures(m_trace, kExecuteRecordsetSite, [&] {
    // The recordset takes its own reference; ours goes with `result`.
    _RecordsetPtr result = m_pCommand->Execute(nullptr, nullptr, adOptionUnspecified);
    recordset.SetAdoRecordSet(result);
  });
}
