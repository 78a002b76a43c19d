// recordset/recordset_open.cpp: opening, requerying and closing a
// recordset, and the steps of an open: state, connection, status array,
// command preparation and execution, row buffers and the first binding.
#include <korvo/db/global_locks_internal.h>
#include <korvo/diag/CDBException.h>
#include <korvo/diag/CKorvoTrace_internal.h>
#include <korvo/diag/com_failure_internal.h>
#include <korvo/platform/codepage.h>
#include <korvo/platform/hot_internal.h>
#include <korvo/recordset/CRecordset.h>
#include <korvo/recordset/error_sites_internal.h>

#include <cstring>
#include <memory>
#include <string>

using korvo::recordset::kPrepareAndExecuteSite;

namespace {

constexpr const char* kOpenTag = "DbException101";
constexpr const char* kAllocHstmtTag = "DbException118";
constexpr const char* kAllocStatusArraysTag = "DbException121";
// Rows a server cursor fetches at a time.
constexpr long kServerCacheSize = 100;

// The cursor follows the bits of the open type: forward-only wins over
// static, and neither bit means keyset.
CursorTypeEnum CursorTypeFor(int nOpenType) {
  if (nOpenType & CRecordset::forwardOnly) return adOpenForwardOnly;
  if (nOpenType & CRecordset::staticCursor) return adOpenStatic;
  return adOpenKeyset;
}

// The statement as the command takes it: ANSI text, or UTF-8 when it
// arrived wide. Empty when a UTF-8 text converts to nothing.
_bstr_t CommandText(const CTString& sql, bool utf8) {
  if (!utf8) return _bstr_t(static_cast<const char*>(sql));
  int count = MultiByteToWideChar(CP_UTF8, 0, sql, -1, nullptr, 0);
  if (count <= 1) return _bstr_t();
  std::u16string wide(static_cast<size_t>(count), u'\0');
  MultiByteToWideChar(CP_UTF8, 0, sql, -1, wide.data(), count);
  return _bstr_t(wide.c_str());
}

}  // namespace

// ------------------------------------------------------------ open

BOOL CRecordset::Open(unsigned int nOpenType, const char* lpszSQL, unsigned long dwOptions,
                      unsigned long dwRowLimit) {
  m_trace.PrintTrace("CRecordset::Open");
  // Held from here to the end, the clean-up of a failure included.
  korvo::db::StatementLock statement_lock;
  try {
    m_dwRowLimit = dwRowLimit;
    SetState(static_cast<int>(nOpenType), lpszSQL, dwOptions);
    if (!AllocHstmt()) return 0;
    OnSetOptions();
    if (m_nFields > 0) AllocStatusArrays();
    BuildSQL(lpszSQL);
    // The caller's options: a readOnly that SetState added for a
    // forward-only type reaches only later Requery calls.
    m_PrepareAndExecute(dwOptions);
    AllocRowset();
    m_nBoundFields = 0;
    InitRecord();
    return 1;
  } catch (...) {
    m_trace.PrintTrace(kOpenTag);
    Close();
    throw;
  }
}

BOOL CRecordset::OpenW(unsigned int nOpenType, const WCHAR* lpszSQL, unsigned long dwOptions,
                       unsigned long dwRowLimit) {
  m_bWideSQL = 1;
  if (lpszSQL == nullptr) return Open(nOpenType, nullptr, dwOptions, dwRowLimit);
  int length = WideCharToMultiByte(CP_UTF8, 0, lpszSQL, -1, nullptr, 0, nullptr, nullptr);
  if (length == 0) return Open(nOpenType, nullptr, dwOptions, dwRowLimit);
  auto utf8 = std::make_unique<char[]>(static_cast<size_t>(length) + 1);
  WideCharToMultiByte(CP_UTF8, 0, lpszSQL, -1, utf8.get(), length, nullptr, nullptr);
  utf8[static_cast<size_t>(length)] = '\0';
  return Open(nOpenType, utf8.get(), dwOptions, dwRowLimit);
}

void CRecordset::SetState(int nOpenType, const char* lpszSQL, unsigned long dwOptions) {
  m_trace.PrintTrace("CRecordset::SetState");
  m_nOpenType = static_cast<unsigned int>(nOpenType) == useDefaultType ? m_nDefaultType : nOpenType;
  m_bAppendable = (dwOptions & (readOnly | appendOnly)) != readOnly ? 1 : 0;
  m_bUpdatable = (dwOptions & (readOnly | appendOnly)) == 0 ? 1 : 0;
  if (m_nOpenType == forwardOnly && !(dwOptions & readOnly)) {
    // CanUpdate and CanAppend keep the answers computed from the caller's
    // options.
    m_trace.PrintTrace("Warning: Setting forwardOnly recordset readOnly.\n");
    dwOptions |= readOnly;
  }
  m_dwOptions = dwOptions;
  if (lpszSQL != nullptr) m_strRequerySQL = lpszSQL;
  m_strOpenFilter = m_strFilter;
  m_strOpenSort = m_strSort;
}

BOOL CRecordset::AllocHstmt() {
  try {
    if (m_pDatabase == nullptr) {
      m_pDatabase = new CDatabase();
      m_bOwnDatabase = 1;
    }
    m_trace.PrintTrace("CRecordset::AllocHstmt");
    CTString connect = GetDefaultConnect();
    if (!m_pDatabase->IsOpen()) {
      int option = m_nConnectOption;
      if (m_nOpenType == staticCursor && !(m_dwOptions & readOnly)) option = 1;
      if (!m_pDatabase->Open("", FALSE, FALSE, connect, option)) return 0;
    }
    return 1;
  } catch (...) {
    m_trace.PrintTrace(kAllocHstmtTag);
    if (m_bOwnDatabase) {
      delete m_pDatabase;
      m_pDatabase = nullptr;
      m_bOwnDatabase = 0;
    }
    throw;
  }
}

void CRecordset::AllocStatusArrays() {
  try {
    m_trace.PrintTrace("CRecordset::AllocStatusArrays");
    if (m_nFields != 0 && m_pFieldStatus == nullptr)
      m_pFieldStatus = new unsigned char[m_nFields]();
  } catch (...) {
    m_trace.PrintTrace(kAllocStatusArraysTag);
    Close();
    throw;
  }
}

void CRecordset::m_PrepareAndExecute(unsigned long dwOptions) {
  m_trace.PrintTrace("CRecordset::m_PrepareAndExecute");
  korvo::diag::ConvertComFailures(m_trace, kPrepareAndExecuteSite, [&] {
    _ConnectionPtr connection = m_pDatabase->GetAdoConnection();
    m_pCommand->PutRefActiveConnection(connection.GetInterfacePtr());
    _bstr_t text = CommandText(m_strSQL, m_bWideSQL == 1);
    // A wide statement that converts to nothing leaves the command's text.
    if (m_bWideSQL != 1 || text.length() != 0) m_pCommand->PutCommandText(text);
    if (m_nCursorLocation == adUseClient) m_pRecordset->PutCursorLocation(adUseClient);
    if (m_nCursorLocation == adUseServer || (dwOptions & readOnly)) {
      m_pRecordset->PutCursorLocation(adUseServer);
      m_pRecordset->PutCacheSize(kServerCacheSize);
    }
    CursorTypeEnum cursor_type = CursorTypeFor(m_nOpenType);
    if (!(dwOptions & appendOnly)) {
      if (m_nFields != 0) {
        ClearFieldStatus();
        m_nEditMode = 0;
      }
      if (!(dwOptions & directExecute)) m_pCommand->PutPrepared(VARIANT_TRUE);
    }
    LockTypeEnum lock_type = (dwOptions & readOnly) ? adLockReadOnly : adLockOptimistic;
    m_pRecordset->Open(_variant_t(static_cast<IDispatch*>(m_pCommand.GetInterfacePtr())), vtMissing,
                       cursor_type, lock_type, adCmdUnspecified);
  });
}

void CRecordset::AllocRowset() {
  m_trace.PrintTrace("CRecordset::AllocRowset");
  if (m_pRowStatus != nullptr) FreeRowset();
  m_pRowStatus = new unsigned short[1]();
  m_nRowsetSize = 1;
  if (m_dwOptions & multiRowFetch) {
    m_bRowsetAllocated = 1;
    CFieldExchange fx(CFieldExchange::opAllocRowset, this);
    DoBulkFieldExchange(&fx);
  }
}

void CRecordset::FreeRowset() {
  m_trace.PrintTrace("CRecordset::FreeRowset");
  delete[] m_pRowStatus;
  m_pRowStatus = nullptr;
  if ((m_dwOptions & multiRowFetch) && m_bRowsetAllocated) {
    // Cleared first: a pass that fails is not repeated by the next Close.
    m_bRowsetAllocated = 0;
    CFieldExchange fx(CFieldExchange::opFreeRowset, this);
    DoBulkFieldExchange(&fx);
  }
  m_bRowsetAllocated = 0;
}

KORVO_HOT void CRecordset::InitRecord() {
  korvo::diag::PrintTraceIfOn(m_trace, "CRecordset::InitRecord");
  if (m_nFields == 0) {
    m_nBoundFields = -1;
  } else {
    m_nBoundFields = static_cast<int>(BindFieldsToColumns());
  }
}

// ------------------------------------------------------------ requery

BOOL CRecordset::Requery() {
  m_trace.PrintTrace("CRecordset::Requery");
  if (m_dwOptions & directExecute) return 0;
  m_strOpenFilter = m_strFilter;
  m_strOpenSort = m_strSort;
  Close();
  // A copy: Open stores its text back into m_strRequerySQL.
  CTString sql = m_strRequerySQL;
  return Open(static_cast<unsigned int>(m_nOpenType),
              sql.IsEmpty() ? nullptr : sql.operator const char*(), m_dwOptions, m_dwRowLimit);
}

BOOL CRecordset::RequeryW() {
  BOOL saved = m_bWideSQL;
  m_bWideSQL = 1;
  try {
    BOOL result = Requery();
    m_bWideSQL = saved;
    return result;
  } catch (...) {
    m_bWideSQL = saved;
    throw;
  }
}

// ------------------------------------------------------------ close

void CRecordset::Close() {
  auto second_attempt = [this] {
    try {
      m_pRecordset->CancelBatch(adAffectCurrent);
      m_pRecordset->Close();
    } catch (CDBException* e) {
      CDBException::Delete(e);
      m_trace.PrintTrace("CRecordset::Close Failed IV");
    } catch (...) {
      m_trace.PrintTrace("CRecordset::Close Failed IV");
    }
  };
  try {
    m_trace.PrintTrace("CRecordset::Close");
    FreeRowset();
    m_nEditMode = 0;
    delete[] m_pFieldStatus;
    m_pFieldStatus = nullptr;
    m_bAppendable = 0;
    m_bUpdatable = 0;
    m_nBoundFields = 0;
    if (IsOpen()) m_pRecordset->Close();
  } catch (CDBException* e) {
    CDBException::Delete(e);
    second_attempt();
  } catch (...) {
    second_attempt();
  }
}

BOOL CRecordset::IsOpen() const { return m_pRecordset->GetState() != adStateClosed ? 1 : 0; }
