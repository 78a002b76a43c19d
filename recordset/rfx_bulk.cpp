// recordset/rfx_bulk.cpp: the multi-row RFX_..._Bulk functions and
// DBRFXBulkDefault (recordset layer).
//
// A bulk member is a pair of host pointers: the value array and the array
// of 64-bit null indicators. opAllocRowset gives both a new[] block of the
// rowset size, opFreeRowset releases them; in between the pass owns them
// (the interface hands them over as raw pointers, so new[] and delete[]
// are the contract here).
#include <korvo/recordset/CFieldExchange.h>
#include <korvo/recordset/CRecordset.h>
#include <korvo/recordset/recordset_access_internal.h>
#include <korvo/recordset/rfx.h>

#include <cstdint>

using korvo::recordset::RecordsetAccess;

namespace {

void AppendName(CFieldExchange* pFX, const char* szName) {
  if (pFX->m_pstrNames == nullptr) return;
  if (szName != nullptr) *pFX->m_pstrNames += szName;
  if (pFX->m_lpszSeparator != nullptr) *pFX->m_pstrNames += pFX->m_lpszSeparator;
}

// `elements()` values of type T for opAllocRowset (the text form counts
// bytes; asked only there, not on every row); `read(rs, n)` loads the
// current row for opBindFieldsToColumns.
template <class T, class Elements, class Read>
void ExchangeBulk(CFieldExchange* pFX, const char* szName, T** values, __int64** indicators,
                  Elements&& elements, Read&& read) {
  unsigned int field_number = 0;
  if (!pFX->IsFieldType(&field_number)) return;
  CRecordset& rs = *pFX->m_prs;
  switch (pFX->m_nOperation) {
    case CFieldExchange::opBindFieldsToColumns:
      if (!RecordsetAccess::AtEof(rs, pFX)) read(rs, static_cast<short>(field_number));
      return;
    case CFieldExchange::opAllocRowset:
      *values = new T[elements()];
      *indicators = new __int64[rs.GetRowsetSize()];
      return;
    case CFieldExchange::opFreeRowset:
      delete[] * values;
      delete[] * indicators;
      *values = nullptr;
      *indicators = nullptr;
      return;
    case CFieldExchange::opAppendNames:
      AppendName(pFX, szName);
      return;
    default:
      return;
  }
}

// The current row's element filled straight from the row where that gives
// what the getter would store, with the indicator the getter sets: -2 for
// a value, -1 for a null (the element untouched).
template <class T>
bool FillElement(CRecordset& rs, short n, MemberKind kind, T* values, __int64* indicators,
                 int size = 0) {
  if (values == nullptr || indicators == nullptr) return false;
  switch (RecordsetAccess::FillMember(rs, n, kind, values, size)) {
    case FillResult::kFilled:
      *indicators = -2;
      return true;
    case FillResult::kNull:
      *indicators = -1;
      return true;
    case FillResult::kNotFilled:
      break;
  }
  return false;
}

template <class T>
void ExchangeBulkScalar(CFieldExchange* pFX, const char* szName, T** values, __int64** indicators,
                        MemberKind kind) {
  auto rows = [pFX]() -> size_t { return pFX->m_prs != nullptr ? pFX->m_prs->GetRowsetSize() : 0; };
  ExchangeBulk(pFX, szName, values, indicators, rows, [&](CRecordset& rs, short n) {
    if (!FillElement(rs, n, kind, *values, *indicators))
      rs.GetBulkFieldValue(n, *values, *indicators);
  });
}

}  // namespace

void RFX_Text_Bulk(CFieldExchange* pFX, const char* szName, char** prgStrVals, __int64** prgLengths,
                   int nMaxLength) {
  // The buffer holds rowset size x maximum length bytes, counted in 32 bits
  // (a product that overflows is refused by new[] as a bad length).
  auto elements = [pFX, nMaxLength]() -> size_t {
    const int64_t rows =
        pFX->m_prs != nullptr ? static_cast<int64_t>(pFX->m_prs->GetRowsetSize()) : 0;
    const int32_t bytes = static_cast<int32_t>(static_cast<uint32_t>(rows * nMaxLength));
    return bytes < 0 ? SIZE_MAX : static_cast<size_t>(bytes);
  };
  ExchangeBulk(pFX, szName, prgStrVals, prgLengths, elements, [&](CRecordset& rs, short n) {
    if (!FillElement(rs, n, MemberKind::kTextBuffer, *prgStrVals, *prgLengths, nMaxLength))
      rs.GetBulkFieldValue(n, *prgStrVals, *prgLengths, nMaxLength);
  });
}

void RFX_Int_Bulk(CFieldExchange* pFX, const char* szName, int** prgIntVals, __int64** prgLengths) {
  ExchangeBulkScalar(pFX, szName, prgIntVals, prgLengths, MemberKind::kInt);
}

void RFX_Long_Bulk(CFieldExchange* pFX, const char* szName, long** prgLongVals,
                   __int64** prgLengths) {
  ExchangeBulkScalar(pFX, szName, prgLongVals, prgLengths, MemberKind::kLong);
}

void RFX_Date_Bulk(CFieldExchange* pFX, const char* szName, TIMESTAMP_STRUCT** prgTSVals,
                   __int64** prgLengths) {
  ExchangeBulkScalar(pFX, szName, prgTSVals, prgLengths, MemberKind::kTimestamp);
}

void RFX_Double_Bulk(CFieldExchange* pFX, const char* szName, double** prgDblVals,
                     __int64** prgLengths) {
  ExchangeBulkScalar(pFX, szName, prgDblVals, prgLengths, MemberKind::kDouble);
}

void DBRFXBulkDefault(CFieldExchange* pFX, const char* szName) {
  if (pFX->m_nOperation == CFieldExchange::opAppendNames) AppendName(pFX, szName);
}
