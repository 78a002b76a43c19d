// recordset/CRecordset.cpp: the recordset object itself (recordset
// layer): construction with its ADO command and recordset, copying,
// destruction, and the overridable defaults.
#include <korvo/db/keywords_internal.h>
#include <korvo/diag/CDBException.h>
#include <korvo/diag/com_failure_internal.h>
#include <korvo/recordset/CRecordset.h>
#include <korvo/recordset/error_sites_internal.h>

#include <cstdint>
#include <cstring>
#include <memory>

using korvo::recordset::kCreateSite;

namespace {

constexpr int kFieldMapBlockSize = 10;
constexpr unsigned int kFieldMapBuckets = 17;

}  // namespace

// ------------------------------------------------------------ construction

CRecordset::CRecordset(CDatabase* pDatabase)
    : m_pRecordset(),
      m_pCommand(),
      m_trace(),  // reads the trace switch on the first traced object
      m_nCursorLocation(adUseClient),
      m_dwRowLimit(0),
      m_bWideSQL(0),
      m_pDatabase(pDatabase),
      m_strFilter(),
      m_strSort(),
      m_nFields(0),
      m_dwOptions(0),
      m_nConnectOption(0),
      m_mapFieldIndex(kFieldMapBlockSize),
      m_nOpenType(staticCursor),
      m_nDefaultType(staticCursor),
      m_nEditMode(0),
      m_pRowStatus(nullptr),
      m_bOwnDatabase(0),
      m_bUpdatable(0),
      m_bAppendable(0),
      m_strSQL(),
      m_strTableName(),
      m_nBoundFields(0),
      m_pFieldStatus(nullptr),
      m_nRowsetSize(1),
      m_bRowsetAllocated(0),
      m_strRequerySQL(),
      m_strOpenFilter(),
      m_strOpenSort() {
  m_mapFieldIndex.InitHashTable(kFieldMapBuckets, 0);
  korvo::diag::ConvertComFailures(m_trace, kCreateSite, [this] {
    korvo::diag::CreateComObject(m_pCommand, __uuidof(Command), "Korvo.CRecordset");
    korvo::diag::CreateComObject(m_pRecordset, __uuidof(Recordset), "Korvo.CRecordset");
  });
}

CRecordset::CRecordset(const CRecordset& other)
    : m_pRecordset(other.m_pRecordset),
      m_pCommand(other.m_pCommand),
      m_trace(),
      m_nCursorLocation(other.m_nCursorLocation),
      m_dwRowLimit(other.m_dwRowLimit),
      m_bWideSQL(other.m_bWideSQL),
      m_pDatabase(other.m_pDatabase),
      m_strFilter(other.m_strFilter),
      m_strSort(other.m_strSort),
      m_nFields(other.m_nFields),
      m_dwOptions(other.m_dwOptions),
      m_nConnectOption(other.m_nConnectOption),
      m_mapFieldIndex(other.m_mapFieldIndex),
      m_nOpenType(other.m_nOpenType),
      m_nDefaultType(other.m_nDefaultType),
      m_nEditMode(other.m_nEditMode),
      m_pRowStatus(nullptr),
      m_bOwnDatabase(0),  // a copy borrows the connection
      m_bUpdatable(other.m_bUpdatable),
      m_bAppendable(other.m_bAppendable),
      m_strSQL(other.m_strSQL),
      m_strTableName(other.m_strTableName),
      m_nBoundFields(other.m_nBoundFields),
      m_pFieldStatus(nullptr),
      m_nRowsetSize(other.m_nRowsetSize),
      m_bRowsetAllocated(other.m_bRowsetAllocated),
      m_strRequerySQL(other.m_strRequerySQL),
      m_strOpenFilter(other.m_strOpenFilter),
      m_strOpenSort(other.m_strOpenSort) {
  CopyOwnedBuffers(other);
}

CRecordset& CRecordset::operator=(const CRecordset& other) {
  if (this == &other) return *this;
  // The buffers first: if copying them fails, nothing else has changed.
  CopyOwnedBuffers(other);
  CDatabase* own_database = m_bOwnDatabase ? m_pDatabase : nullptr;
  m_pRecordset = other.m_pRecordset;
  m_pCommand = other.m_pCommand;
  m_nCursorLocation = other.m_nCursorLocation;
  m_dwRowLimit = other.m_dwRowLimit;
  m_bWideSQL = other.m_bWideSQL;
  m_pDatabase = other.m_pDatabase;
  m_strFilter = other.m_strFilter;
  m_strSort = other.m_strSort;
  m_nFields = other.m_nFields;
  m_dwOptions = other.m_dwOptions;
  m_nConnectOption = other.m_nConnectOption;
  m_mapFieldIndex = other.m_mapFieldIndex;
  m_nOpenType = other.m_nOpenType;
  m_nDefaultType = other.m_nDefaultType;
  m_nEditMode = other.m_nEditMode;
  m_bOwnDatabase = 0;
  m_bUpdatable = other.m_bUpdatable;
  m_bAppendable = other.m_bAppendable;
  m_strSQL = other.m_strSQL;
  m_strTableName = other.m_strTableName;
  m_nBoundFields = other.m_nBoundFields;
  m_nRowsetSize = other.m_nRowsetSize;
  m_bRowsetAllocated = other.m_bRowsetAllocated;
  m_strRequerySQL = other.m_strRequerySQL;
  m_strOpenFilter = other.m_strOpenFilter;
  m_strOpenSort = other.m_strOpenSort;
  // The connection this object made for itself is no longer referenced
  // (unless the source borrows the very same one).
  if (own_database != nullptr && own_database != m_pDatabase) delete own_database;
  return *this;
}

// Replaces this object's status array and row-status buffer by copies of
// the other's; on failure this object keeps its own.
void CRecordset::CopyOwnedBuffers(const CRecordset& other) {
  std::unique_ptr<unsigned char[]> status;
  if (other.m_pFieldStatus != nullptr && other.m_nFields != 0) {
    status.reset(new unsigned char[other.m_nFields]);
    std::memcpy(status.get(), other.m_pFieldStatus, other.m_nFields);
  }
  std::unique_ptr<unsigned short[]> row_status;
  if (other.m_pRowStatus != nullptr) row_status.reset(new unsigned short[1]{other.m_pRowStatus[0]});
  delete[] m_pFieldStatus;
  m_pFieldStatus = status.release();
  delete[] m_pRowStatus;
  m_pRowStatus = row_status.release();
}

CRecordset::~CRecordset() {
  // Close has traced whatever failed; nothing may leave a destructor.
  try {
    Close();
  } catch (CDBException* e) {
    CDBException::Delete(e);
  } catch (...) {
  }
  m_pRecordset = nullptr;
  m_pCommand = nullptr;
  // Close frees both in the normal course; this covers a Close cut short.
  delete[] m_pFieldStatus;
  m_pFieldStatus = nullptr;
  delete[] m_pRowStatus;
  m_pRowStatus = nullptr;
  if (m_bOwnDatabase && m_pDatabase != nullptr) delete m_pDatabase;
  m_pDatabase = nullptr;
}

// ------------------------------------------------------------ defaults

void CRecordset::ThrowDBException(short nReturnCode) {
  korvo::diag::ThrowLibraryError(nReturnCode);
}

void CRecordset::DoFieldExchange(CFieldExchange*) {}
void CRecordset::DoBulkFieldExchange(CFieldExchange*) {}

CTString CRecordset::GetDefaultConnect() { return CTString(korvo::db::g_szDefaultConnect); }

CTString CRecordset::GetDefaultSQL() { return CTString(); }

void CRecordset::OnSetOptions() {
  m_pDatabase->OnSetOptions();
  // The time-out is a wish: a command that refuses it (or is missing)
  // runs with ADO's own.
  try {
    // ADO's long is 32 bits: 0xFFFFFFFF is -1, which it refuses.
    m_pCommand->PutCommandTimeout(
        static_cast<long>(static_cast<int32_t>(m_pDatabase->GetQueryTimeout())));
  } catch (...) {
  }
}

void CRecordset::SetCursorLocation(int nLocation) {
  m_nCursorLocation = nLocation == adUseClient ? adUseClient : adUseServer;
}

unsigned short CRecordset::GetRowStatus(unsigned short wRow) const {
  if (wRow != 1 || m_pRowStatus == nullptr) return 0;
  return m_pRowStatus[0];
}

void CRecordset::SetAdoRecordSet(_RecordsetPtr pRecordset) { m_pRecordset = pRecordset; }
