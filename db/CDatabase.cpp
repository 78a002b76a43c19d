// db/CDatabase.cpp: the connection object (db layer): opening,
// configuration, statement execution, transactions, informational
// messages and closing, over the ADO connection of ado/.
#include <korvo/ado/error_result.h>
#include <korvo/ado/odbc_environment.h>
#include <korvo/com/connection_point.h>
#include <korvo/com/object.h>
#include <korvo/db/CDatabase.h>
#include <korvo/db/CDatabaseEvent.h>
#include <korvo/db/global_locks_internal.h>
#include <korvo/db/sql_text_internal.h>
#include <korvo/diag/CDBException.h>
#include <korvo/diag/com_failure_internal.h>
#include <korvo/diag/settings_key.h>

#include <cstring>
#include <memory>

using korvo::diag::ConvertComFailures;
using korvo::diag::ErrorSite;

namespace {

// The connection's error sites: origin and the tag traced for exceptions
// that are passed on.
constexpr ErrorSite kCreateSite{"[6000]", nullptr};
constexpr ErrorSite kCloseSite{"[6001]", "DbException2"};
constexpr ErrorSite kOnSetOptionsSite{"[6002]", "DbException3"};
constexpr ErrorSite kCommitSite{"[6003]", "DbException4"};
constexpr ErrorSite kRollbackSite{"[6004]", "DbException5"};
constexpr ErrorSite kConnectSite{"[6005]", "DbException6"};
constexpr ErrorSite kForceDirtyReadSite{"[6006]", "DbException7"};
constexpr ErrorSite kExecuteNarrowSite{"[6007]", "DbException1"};
constexpr ErrorSite kExecuteWideSite{"[6008]", "DbException1"};
constexpr ErrorSite kExecuteWSite{"[6009]", "DbException1"};
constexpr const char* kBeginTransTag = "DbException8";

constexpr DWORD kLeaveTimeoutAlone = 0xFFFFFFFF;
constexpr int kPromptedConnectMax = 1023;  // the prompt's 1024-byte buffer
constexpr int kDatabaseNameMax = 63;       // the name's 64-byte buffer
constexpr HRESULT kItemNotFound = korvo::ado::AdoError(adErrItemNotFound);

const char kSessionInstructionsValue[] = "Dbms System Session Instructions";

CTString NarrowText(const _bstr_t& text) { return CTString(static_cast<const WCHAR*>(text)); }

}  // namespace

// ------------------------------------------------------------ construction

CDatabase::CDatabase()
    : m_pConnection(),
      m_trace(),  // reads the trace switch on the first traced object
      m_nTransLevel(0),
      m_nDbmsType(dbmsUnknown),
      m_pEventSink(nullptr),
      m_chIdentQuote(' '),
      m_strConnectString(),
      m_bUpdatable(0),
      m_bDirtyRead(0),
      m_dwQueryTimeout(0) {
  ConvertComFailures(m_trace, kCreateSite, [this] {
    korvo::diag::CreateComObject(m_pConnection, __uuidof(Connection), "Korvo.CDatabase");
  });
}

CDatabase::CDatabase(const CDatabase& other)
    : m_pConnection(other.m_pConnection),
      m_trace(other.m_trace),
      m_nTransLevel(other.m_nTransLevel),
      m_nDbmsType(other.m_nDbmsType),
      m_pEventSink(TakeSinkShare(other.m_pEventSink)),
      m_chIdentQuote(other.m_chIdentQuote),
      m_strConnectString(other.m_strConnectString),
      m_bUpdatable(other.m_bUpdatable),
      m_bDirtyRead(other.m_bDirtyRead),
      m_dwQueryTimeout(other.m_dwQueryTimeout) {}

CDatabase& CDatabase::operator=(const CDatabase& other) {
  if (this == &other) return *this;
  // Take the new share first: `other` may be a copy holding the same sink.
  CDatabaseEvent* sink = TakeSinkShare(other.m_pEventSink);
  // This object's capture belongs to the connection it is about to drop.
  if (m_pEventSink != nullptr) LetGoOfSink();
  m_pEventSink = sink;
  m_pConnection = other.m_pConnection;
  m_trace = other.m_trace;
  m_nTransLevel = other.m_nTransLevel;
  m_nDbmsType = other.m_nDbmsType;
  m_chIdentQuote = other.m_chIdentQuote;
  m_strConnectString = other.m_strConnectString;
  m_bUpdatable = other.m_bUpdatable;
  m_bDirtyRead = other.m_bDirtyRead;
  m_dwQueryTimeout = other.m_dwQueryTimeout;
  return *this;
}

CDatabaseEvent* CDatabase::TakeSinkShare(CDatabaseEvent* sink) {
  if (sink == nullptr) return nullptr;
  sink->AddRef();
  sink->m_nHolders.fetch_add(1);
  return sink;
}

CDatabase::~CDatabase() {
  // Close's failure cannot leave a destructor: it has been traced by the
  // conversion, so it is dropped here.
  try {
    Free();
  } catch (CDBException* e) {
    CDBException::Delete(e);
  } catch (...) {
  }
  if (m_pEventSink != nullptr) LetGoOfSink();
  m_pConnection = nullptr;
}

void CDatabase::Free() {
  m_trace.PrintTrace("CDatabase::Free");
  Close();
}

// ------------------------------------------------------------ opening

BOOL CDatabase::Open(const char*, BOOL bExclusive, BOOL bReadonly, const char* lpszConnect,
                     BOOL bUseCursorLib) {
  m_trace.PrintTrace("CDatabase::Open");
  DWORD options = 0;
  if (bExclusive) options |= dbOptExclusive;
  if (bReadonly) options |= dbOptReadOnly;
  if (bUseCursorLib) options |= dbOptCursorLib;
  // The connect argument is passed on (the data source name is not used),
  // so a recordset that opens its own connection connects with its
  // GetDefaultConnect().
  return OpenEx(lpszConnect, options);
}

BOOL CDatabase::OpenEx(const char* lpszConnectString, DWORD dwOptions) {
  m_trace.PrintTrace("CDatabase::OpenEx");
  m_bUpdatable = (dwOptions & dbOptReadOnly) ? 0 : 1;
  if (lpszConnectString != nullptr) m_strConnectString = lpszConnectString;
  if (!Connect(dwOptions)) return 0;
  ExecuteSessionInstructions();
  return 1;
}

BOOL CDatabase::Connect(DWORD dwOptions) {
  m_trace.PrintTrace("CDatabase::Connect");
  return ConvertComFailures(m_trace, kConnectSite, [&]() -> BOOL {
    if (dwOptions & dbOptPrompt) {
      PropertiesPtr properties = m_pConnection->GetProperties();
      properties->GetItem(_variant_t(u"Prompt"))->PutValue(_variant_t(1L));
      m_pConnection->Open(_bstr_t(u""), _bstr_t(u""), _bstr_t(u""), adConnectUnspecified);
      _variant_t extended = properties->GetItem(_variant_t(u"Extended Properties"))->GetValue();
      if (extended.vt != VT_EMPTY && extended.vt != VT_NULL) {
        CTString text = NarrowText(_bstr_t(extended));
        if (!text.IsEmpty()) m_strConnectString = text.Left(kPromptedConnectMax);
      }
    } else {
      m_pConnection->Open(_bstr_t(static_cast<const char*>(m_strConnectString)), _bstr_t(u""),
                          _bstr_t(u""), adConnectUnspecified);
    }
    // Determined once per object: later opens, even of another product,
    // keep the first answer.
    if (m_nDbmsType == dbmsUnknown) m_nDbmsType = DbmsNameBeginsWithM() ? dbmsTypeM : dbmsTypeOther;
    if (m_bDirtyRead && m_nDbmsType == dbmsTypeM)
      m_pConnection->PutIsolationLevel(adXactReadUncommitted);
    return 1;
  });
}

bool CDatabase::DbmsNameBeginsWithM() {
  _variant_t name;
  try {
    name = m_pConnection->GetProperties()->GetItem(_variant_t(u"DBMS Name"))->GetValue();
  } catch (const _com_error& e) {
    // A provider without the property is treated as a product of the
    // second family; every other failure is a real one.
    if (e.Error() != kItemNotFound) throw;
    return false;
  }
  return name.vt == VT_BSTR && name.bstrVal != nullptr && name.bstrVal[0] == u'M';
}

void CDatabase::ExecuteSessionInstructions() {
  m_trace.PrintTrace("CDatabase::ExecuteSessionInstructions");
  korvo::platform::UniqueRegKey key = korvo::diag::OpenSettingsKey();
  if (!key) return;
  DWORD size = 0;
  if (RegQueryValueExA(key.get(), kSessionInstructionsValue, nullptr, nullptr, nullptr, &size) !=
      ERROR_SUCCESS)
    return;
  // One spare zero byte beyond the value: a plain string (or a multi-string
  // missing its final terminator) still ends with an empty statement.
  std::unique_ptr<char[]> buffer(new (std::nothrow) char[size + 2]());
  if (!buffer) return;
  DWORD read = size;
  if (RegQueryValueExA(key.get(), kSessionInstructionsValue, nullptr, nullptr,
                       reinterpret_cast<BYTE*>(buffer.get()), &read) != ERROR_SUCCESS)
    return;
  key.reset();

  for (const char* statement = buffer.get(); *statement != '\0';
       statement += std::strlen(statement) + 1) {
    try {
      ExecuteSQL(statement);
    } catch (CDBException* e) {
      // Already traced by ExecuteSQL; the open itself does not fail, and
      // the remaining instructions are skipped.
      CDBException::Delete(e);
      break;
    }
  }
}

void CDatabase::OnSetOptions() {
  m_trace.PrintTrace("CDatabase::OnSetOptions");
  ConvertComFailures(m_trace, kOnSetOptionsSite, [this] {
    if (m_dwQueryTimeout != kLeaveTimeoutAlone)
      m_pConnection->PutCommandTimeout(static_cast<long>(m_dwQueryTimeout));
  });
}

void CDatabase::SetDirtyRead(BOOL bDirtyRead) { m_bDirtyRead = bDirtyRead; }

BOOL CDatabase::ForceDirtyRead(BOOL bDirtyRead) {
  m_trace.PrintTrace("CDatabase::ForceDirtyRead");
  if (bDirtyRead == m_bDirtyRead) return bDirtyRead;
  ConvertComFailures(m_trace, kForceDirtyReadSite, [&] {
    if (bDirtyRead) {
      // Read afresh: only the first family offers read-uncommitted.
      if (DbmsNameBeginsWithM()) m_pConnection->PutIsolationLevel(adXactReadUncommitted);
    } else {
      m_pConnection->PutIsolationLevel(adXactReadCommitted);
    }
  });
  m_bDirtyRead = bDirtyRead;
  return bDirtyRead;
}

void CDatabase::ReplaceBrackets(char* lpszSQL) {
  m_trace.PrintTrace("CDatabase::ReplaceBrackets");
  if (lpszSQL != nullptr) korvo::db::RewriteBrackets(lpszSQL, m_chIdentQuote);
}

BOOL CDatabase::InitEnvironment(DWORD dwOptions) {
  korvo::db::GlobalLock environment_lock(korvo::db::kStatementLock);
  unsigned long pooling = 0;
  if (dwOptions & poolPerEnvironment) {
    pooling = 2;
  } else if (dwOptions & poolPerDriver) {
    pooling = 1;
  }
  int result;
  if (g_bUseSQLCriticalSection) {
    korvo::db::GlobalLock again(korvo::db::kStatementLock);
    result = korvo::ado::SetOdbcConnectionPooling(pooling);
  } else {
    result = korvo::ado::SetOdbcConnectionPooling(pooling);
  }
  // Success with information counts as failure.
  return result == 0 ? 1 : 0;
}

void CDatabase::SetCriticalSection(BOOL bUse) {
  g_bUseODBCCriticalSection = bUse;
  g_bUseSQLCriticalSection = bUse;
}

BOOL CDatabase::IsOpen() { return m_pConnection->GetState() != adStateClosed ? 1 : 0; }

// ------------------------------------------------------------ statements

template <class MakeText>
void CDatabase::ExecuteStatement(const char* operation, const char* origin, MakeText&& makeText,
                                 long* pRecordsAffected) {
  m_trace.PrintTrace(operation);
  // Outside the conversion below: its own failure arrives as "[6002]".
  OnSetOptions();
  ErrorSite site{origin, kExecuteNarrowSite.tag};
  ConvertComFailures(
      m_trace, site,
      [&] {
        // Released by unwinding before a failure is converted.
        korvo::db::StatementLock statement_lock;
        _bstr_t text = makeText();
        if (pRecordsAffected != nullptr) {
          _variant_t affected;
          // The result set is released at once.
          m_pConnection->Execute(text, &affected, 0);
          *pRecordsAffected = static_cast<long>(affected);
        } else {
          m_pConnection->Execute(text, nullptr, 0);
        }
      },
      [this](const _com_error&) -> HRESULT { return GetErrNumber(); });
}

void CDatabase::ExecuteSQL(const char* lpszSQL, long* pRecordsAffected) {
  ExecuteStatement(
      "CDatabase::ExecuteSQL", kExecuteNarrowSite.origin, [lpszSQL] { return _bstr_t(lpszSQL); },
      pRecordsAffected);
}

void CDatabase::ExecuteSQL(const WCHAR* lpszSQL, long* pRecordsAffected) {
  ExecuteStatement(
      "CDatabase::ExecuteSQL", kExecuteWideSite.origin, [lpszSQL] { return _bstr_t(lpszSQL); },
      pRecordsAffected);
}

void CDatabase::ExecuteSQLW(const WCHAR* lpszSQL, long* pRecordsAffected) {
  ExecuteStatement(
      "CDatabase::ExecuteSQLW", kExecuteWSite.origin, [lpszSQL] { return _bstr_t(lpszSQL); },
      pRecordsAffected);
}

LONG CDatabase::GetErrNumber() {
  ErrorsPtr errors = m_pConnection->GetErrors();
  if (errors->GetCount() == 0) return 0;
  return static_cast<LONG>(errors->GetItem(_variant_t(0L))->GetNumber());
}

// ------------------------------------------------------------ transactions

BOOL CDatabase::BeginTrans() {
  m_trace.PrintTrace("CDatabase::BeginTrans");
  try {
    LONG level = static_cast<LONG>(m_pConnection->BeginTrans());
    m_nTransLevel = level;
    return 1;
  } catch (const _com_error& e) {
    m_trace.PrintTrace(NarrowText(e.Description()));
  } catch (...) {
    m_trace.PrintTrace(kBeginTransTag);
  }
  return 0;
}

BOOL CDatabase::CommitTrans() {
  return EndTransaction("CDatabase::CommitTrans", "CDatabase::CommitTrans:No Transaction Active",
                        kCommitSite, &_Connection::CommitTrans);
}

BOOL CDatabase::Rollback() {
  return EndTransaction("CDatabase::Rollback", "CDatabase::Rollback:No Transaction Active",
                        kRollbackSite, &_Connection::RollbackTrans);
}

BOOL CDatabase::EndTransaction(const char* operation, const char* noTransaction,
                               const korvo::diag::ErrorSite& site, HRESULT (_Connection::*end)()) {
  m_trace.PrintTrace(operation);
  if (!InTransaction()) {
    m_trace.PrintTrace(noTransaction);
    return 1;
  }
  ConvertComFailures(m_trace, site, [&] {
    (m_pConnection->*end)();
    m_nTransLevel = 0;
  });
  return 1;
}

// ------------------------------------------------------------ closing

void CDatabase::Close() {
  m_trace.PrintTrace("CDatabase::Close");
  ConvertComFailures(m_trace, kCloseSite, [this] {
    if (!IsOpen()) return;
    if (InTransaction()) {
      try {
        Rollback();
      } catch (CDBException*) {
        // The caller gets the rollback's failure, but the object must end
        // closed: otherwise every later Close would meet the same failure
        // and OpenEx would find the connection open.
        m_nTransLevel = 0;
        AbandonConnection();
        throw;
      }
    }
    m_pConnection->Close();
  });
}

void CDatabase::AbandonConnection() noexcept {
  try {
    m_pConnection->Close();
    return;
  } catch (const _com_error&) {
  }
  // ADO refuses to close a connection whose transaction is still in
  // progress, and only releasing the object rolls it back. This object
  // lets go of it (copies keep theirs) and takes a fresh, closed one, so it
  // can be opened again.
  _ConnectionPtr fresh;
  if (SUCCEEDED(fresh.CreateInstance(__uuidof(Connection)))) m_pConnection = fresh;
}

BOOL CDatabase::IsConnectionDead() {
  m_trace.PrintTrace("CDatabase::IsConnectionDead");
  return IsOpen() != 1 ? 1 : 0;
}

CTString CDatabase::GetDatabaseName() {
  CTString name = NarrowText(m_pConnection->GetDefaultDatabase());
  return name.Left(kDatabaseNameMax);
}

// ------------------------------------------------------------ messages

void CDatabase::CaptureInfoMessage(BOOL bCapture) {
  if (m_pEventSink == nullptr && bCapture == 1) {
    m_trace.PrintTrace("CDatabase::CaptureInfoMessage(On)");
    IConnectionPointPtr point;
    {
      IConnectionPointContainerPtr container(m_pConnection.GetInterfacePtr());
      if (!m_pConnection) _com_issue_error(E_POINTER);
      if (!container) return;
      if (FAILED(container->FindConnectionPoint(__uuidof(ConnectionEventsVt), &point))) return;
    }
    // The sink's IUnknown is the library's reference to it.
    IUnknown* sink = nullptr;
    const HRESULT created =
        korvo::com::CreateObject<CDatabaseEvent>(IID_IUnknown, reinterpret_cast<void**>(&sink));
    if (FAILED(created)) _com_issue_error(created);
    m_pEventSink = static_cast<CDatabaseEvent*>(static_cast<ConnectionEventsVt*>(sink));
    m_pEventSink->m_nHolders = 1;
    // Advise's result is deliberately not examined: capture counts as on
    // either way. Advise can only refuse this sink for want of memory or of
    // cookie numbers; the cookie then stays 0, the sink collects nothing
    // and the Unadvise(0) of switching off is refused without effect.
    point->Advise(sink, &m_pEventSink->m_dwCookie);
  } else if (m_pEventSink != nullptr && bCapture == 0) {
    m_trace.PrintTrace("CDatabase::CaptureInfoMessage(Off)");
    StopCapture();
  }
}

void CDatabase::StopCapture() {
  CDatabaseEvent* sink = m_pEventSink;
  // Copies of this object share its connection and its sink: while another
  // copy still captures, this one only gives back its share.
  ULONG holders = sink->m_nHolders.load();
  while (holders > 1 && !sink->m_nHolders.compare_exchange_weak(holders, holders - 1)) {
  }
  if (holders > 1) {
    m_pEventSink = nullptr;
    sink->Release();
    return;
  }
  IConnectionPointPtr point;
  {
    IConnectionPointContainerPtr container(m_pConnection.GetInterfacePtr());
    if (!m_pConnection) _com_issue_error(E_POINTER);
    // Without the point the sink stays (still advised) and capture stays on.
    if (!container) return;
    if (FAILED(container->FindConnectionPoint(__uuidof(ConnectionEventsVt), &point))) return;
  }
  point->Unadvise(sink->m_dwCookie);
  point = nullptr;
  sink->m_nHolders.fetch_sub(1);
  m_pEventSink = nullptr;
  sink->Release();
}

void CDatabase::LetGoOfSink() {
  try {
    m_trace.PrintTrace("CDatabase::CaptureInfoMessage(Off)");
    StopCapture();
  } catch (...) {
  }
  if (m_pEventSink == nullptr) return;
  // Not unadvised (no connection point): the connection keeps its own
  // reference and releases it when it goes; this object's share goes now.
  CDatabaseEvent* sink = m_pEventSink;
  m_pEventSink = nullptr;
  sink->m_nHolders.fetch_sub(1);
  sink->Release();
}

CTString CDatabase::GetInfoMessage() {
  if (m_pEventSink == nullptr || m_pEventSink->m_bstrMessages.length() == 0) return CTString();
  return NarrowText(m_pEventSink->m_bstrMessages);
}
