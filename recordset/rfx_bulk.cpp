// recordset/rfx_bulk.cpp: the multi-row RFX_..._Bulk functions and
// DBRFXBulkDefault (recordset layer).
//
// A bulk member is a pair of host pointers: the value array and the array
// of 64-bit null indicators. opAllocRowset gives both a new[] block of the
// rowset size, opFreeRowset releases them; in between the pass owns them
// (the interface hands them over as raw pointers, so new[] and delete[]
// are the contract here).
#include <korvo/platform/hot_internal.h>
#include <korvo/recordset/CFieldExchange.h>
#include <korvo/recordset/CRecordset.h>
#include <korvo/recordset/recordset_access_internal.h>
#include <korvo/recordset/rfx.h>

#include <cstdint>
#include <type_traits>

using korvo::recordset::RecordsetAccess;

namespace {

void AppendName(CFieldExchange* pFX, const char* szName) {
  if (pFX->m_pstrNames == nullptr) return;
  if (szName != nullptr) *pFX->m_pstrNames += szName;
  if (pFX->m_lpszSeparator != nullptr) *pFX->m_pstrNames += pFX->m_lpszSeparator;
}

// The indicator the getter sets for a filled element: -2 for a value, -1
// for a null (the element untouched); false when it was not filled.
bool IndicateFill(FillResult result, __int64* indicator) {
  switch (result) {
    case FillResult::kFilled:
      *indicator = -2;
      return true;
    case FillResult::kNull:
      *indicator = -1;
      return true;
    case FillResult::kNotFilled:
      break;
  }
  return false;
}

// The getter of the current row's element (text in `size`-byte buffers).
template <class T>
void GetElement(CRecordset& rs, short n, T* values, __int64* indicators, int size) {
  if constexpr (std::is_same_v<T, char>) {
    rs.GetBulkFieldValue(n, values, indicators, size);
  } else {
    rs.GetBulkFieldValue(n, values, indicators);
  }
}

// The length of the value array opAllocRowset allocates: the rowset size,
// for text times the maximum length `size` in bytes, counted in 32 bits (a
// product that overflows is refused by new[] as a bad length).
template <class T>
size_t ValueArrayLength(const CRecordset* rs, int size) {
  if constexpr (std::is_same_v<T, char>) {
    const int64_t rows = rs != nullptr ? static_cast<int64_t>(rs->GetRowsetSize()) : 0;
    const int32_t bytes = static_cast<int32_t>(static_cast<uint32_t>(rows * size));
    return bytes < 0 ? SIZE_MAX : static_cast<size_t>(bytes);
  } else {
    return rs != nullptr ? rs->GetRowsetSize() : 0;
  }
}

// The exchange of one bulk member of `kind` (`size` bytes an element for
// text). opBindFieldsToColumns fills the current row's element straight
// from the row where that gives what the getter would store, else calls
// the getter. (Out of line: ExchangeBulk's shortcut keeps its own path
// short.)
template <class T>
[[gnu::noinline]] void ExchangeBulkFully(CFieldExchange* pFX, const char* szName, T** values,
                                         __int64** indicators, MemberKind kind, int size) {
  unsigned int field_number = 0;
  if (!pFX->IsFieldType(&field_number)) return;
  CRecordset& rs = *pFX->m_prs;
  const auto n = static_cast<short>(field_number);
  switch (pFX->m_nOperation) {
    case CFieldExchange::opBindFieldsToColumns:
      if (RecordsetAccess::AtEof(rs, pFX)) return;
      if (*values == nullptr || *indicators == nullptr ||
          !IndicateFill(RecordsetAccess::FillMember(rs, n, kind, *values, size), *indicators)) {
        GetElement(rs, n, *values, *indicators, size);
      }
      return;
    case CFieldExchange::opAllocRowset:
      *values = new T[ValueArrayLength<T>(pFX->m_prs, size)];
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

// ExchangeBulkFully, with the binding pass's shortcut: on every row after
// the first, an element whose field's resolved fill is current is counted
// and filled without the rest of the exchange, which would find the same.
template <class T>
void ExchangeBulk(CFieldExchange* pFX, const char* szName, T** values, __int64** indicators,
                  MemberKind kind, int size = 0) {
  if (pFX->m_nOperation == CFieldExchange::opBindFieldsToColumns && *values != nullptr &&
      *indicators != nullptr) {
    if (const ResolvedFill* fill = RecordsetAccess::NextFill(pFX, kind)) {
      const unsigned int field_number = ++pFX->m_nFieldNumber;  // as IsFieldType counts it
      if (!IndicateFill(fill->Fill(*values, size), *indicators))
        GetElement(*pFX->m_prs, static_cast<short>(field_number), *values, *indicators, size);
      return;
    }
  }
  ExchangeBulkFully(pFX, szName, values, indicators, kind, size);
}

}  // namespace

KORVO_HOT void RFX_Text_Bulk(CFieldExchange* pFX, const char* szName, char** prgStrVals,
                             __int64** prgLengths, int nMaxLength) {
  ExchangeBulk(pFX, szName, prgStrVals, prgLengths, MemberKind::kTextBuffer, nMaxLength);
}

KORVO_HOT void RFX_Int_Bulk(CFieldExchange* pFX, const char* szName, int** prgIntVals,
                            __int64** prgLengths) {
  ExchangeBulk(pFX, szName, prgIntVals, prgLengths, MemberKind::kInt);
}

KORVO_HOT void RFX_Long_Bulk(CFieldExchange* pFX, const char* szName, long** prgLongVals,
                             __int64** prgLengths) {
  ExchangeBulk(pFX, szName, prgLongVals, prgLengths, MemberKind::kLong);
}

KORVO_HOT void RFX_Date_Bulk(CFieldExchange* pFX, const char* szName, TIMESTAMP_STRUCT** prgTSVals,
                             __int64** prgLengths) {
  ExchangeBulk(pFX, szName, prgTSVals, prgLengths, MemberKind::kTimestamp);
}

KORVO_HOT void RFX_Double_Bulk(CFieldExchange* pFX, const char* szName, double** prgDblVals,
                               __int64** prgLengths) {
  ExchangeBulk(pFX, szName, prgDblVals, prgLengths, MemberKind::kDouble);
}

void DBRFXBulkDefault(CFieldExchange* pFX, const char* szName) {
  if (pFX->m_nOperation == CFieldExchange::opAppendNames) AppendName(pFX, szName);
}
