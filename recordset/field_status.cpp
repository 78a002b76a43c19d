// recordset/field_status.cpp: the per-field status bytes (bit 1 dirty,
// bit 2 null), the lookups from a bound member's address to its field,
// and the field exchange passes that bind, mark and null the fields.
#include <korvo/diag/CKorvoTrace_internal.h>
#include <korvo/platform/hot_internal.h>
#include <korvo/platform/widechar.h>
#include <korvo/recordset/CRecordset.h>
#include <korvo/recordset/direct_values_internal.h>

#include <cstdint>
#include <cstring>

namespace {

// The 1-based field number recorded for `pv` by the last binding pass, or
// 0 when there is none.
unsigned int BoundFieldNumber(const CDBMapPtrToPtr& map, void* pv) {
  void* value = nullptr;
  if (pv == nullptr || !map.Lookup(pv, value)) return 0;
  return static_cast<unsigned int>(reinterpret_cast<std::uintptr_t>(value));
}

}  // namespace

// ------------------------------------------------------------ by address

KORVO_HOT BOOL CRecordset::IsFieldDirty(void* pv) {
  korvo::diag::PrintTraceIfOn(m_trace, "CRecordset::IsFieldDirty");
  if (m_nFields == 0 || m_nEditMode == 0) return 0;
  // Bring the dirty bits up to date against the row (or the empty row).
  if (m_nEditMode == 1) {
    MarkForUpdate();
  } else {
    MarkForAddNew();
  }
  if (m_pFieldStatus == nullptr) return 0;
  if (pv == nullptr) {
    for (unsigned int i = 0; i < m_nFields; ++i)
      if (m_pFieldStatus[i] & fieldDirty) return 1;
    return 0;
  }
  // An address no binding recorded has no dirty bit to report.
  unsigned int field = BoundFieldNumber(m_mapFieldIndex, pv);
  if (field == 0 || field > m_nFields) return 0;
  return (m_pFieldStatus[field - 1] & fieldDirty) ? 1 : 0;
}

BOOL CRecordset::IsFieldNull(void* pv) {
  m_trace.PrintTrace("CRecordset::IsFieldNull");
  unsigned int field = BoundFieldNumber(m_mapFieldIndex, pv);
  if (field == 0 || field > m_nFields || m_pFieldStatus == nullptr) {
    ThrowDBException(1026);
    return 0;
  }
  return m_pFieldStatus[field - 1] & fieldNull;
}

KORVO_HOT void CRecordset::SetFieldDirty(void* pv, BOOL bDirty) {
  if (m_pFieldStatus == nullptr) return;
  auto apply = [bDirty](unsigned char& status) {
    if (bDirty) {
      status |= fieldDirty;
    } else {
      status &= static_cast<unsigned char>(~fieldDirty);
    }
  };
  if (pv == nullptr) {
    for (unsigned int i = 0; i < m_nFields; ++i) apply(m_pFieldStatus[i]);
    return;
  }
  unsigned int field = BoundFieldNumber(m_mapFieldIndex, pv);
  if (field != 0 && field <= m_nFields) apply(m_pFieldStatus[field - 1]);
}

KORVO_HOT void CRecordset::SetFieldNull(void* pv, BOOL bNull) {
  korvo::diag::PrintTraceIfOn(m_trace, "CRecordset::SetFieldNull");
  if (m_nFields == 0) return;
  CFieldExchange fx(CFieldExchange::opSetFieldNull, this, pv);
  fx.m_bNullValue = bNull;
  DoFieldExchange(&fx);
}

int CRecordset::GetBoundFieldIndex(void* pv) {
  if (m_mapFieldIndex.IsEmpty()) return -1;
  unsigned int field = BoundFieldNumber(m_mapFieldIndex, pv);
  return field == 0 ? -1 : static_cast<int>(field);
}

long CRecordset::GetFieldIndexByName(const char* lpszName) {
  if (lpszName != nullptr) {
    long count = m_pRecordset->GetFields()->GetCount();
    for (long i = 0; i < count; ++i) {
      // The collection is asked again for every position.
      _bstr_t name = m_pRecordset->GetFields()->GetItem(_variant_t(i))->GetName();
      CTString narrow(static_cast<const WCHAR*>(name));
      if (_stricmp(narrow, lpszName) == 0) return i + 1;
    }
  }
  ThrowDBException(1026);
  return -1;
}

int CRecordset::m_SetNullFieldStatus(void* pv, VARIANT& value) {
  if (value.vt != VT_NULL) return 0;
  SetFieldNull(pv, 1);
  return 1;
}

// ------------------------------------------------------------ by index

unsigned char CRecordset::GetFieldStatus(unsigned long nField) {
  return m_pFieldStatus != nullptr ? m_pFieldStatus[nField] : 0;
}

void CRecordset::SetFieldStatus(unsigned long nField, unsigned char nStatus) {
  if (m_pFieldStatus != nullptr) m_pFieldStatus[nField] |= nStatus;
}

KORVO_HOT void CRecordset::ClearFieldStatus() {
  if (m_pFieldStatus == nullptr) return;
  // Cleared on every move: the few bytes of most recordsets are zeroed by
  // two overlapping stores, cheaper than the call to memset.
  unsigned char* const status = m_pFieldStatus;
  const size_t count = m_nFields;
  constexpr uint32_t kZero4 = 0;
  constexpr uint64_t kZero8 = 0;
  if (count - 4 <= 4) {
    std::memcpy(status, &kZero4, 4);
    std::memcpy(status + count - 4, &kZero4, 4);
  } else if (count - 8 <= 8) {
    std::memcpy(status, &kZero8, 8);
    std::memcpy(status + count - 8, &kZero8, 8);
  } else {
    std::memset(status, 0, count);
  }
}

BOOL CRecordset::IsFieldStatusDirty(unsigned long nField) const {
  return m_pFieldStatus != nullptr ? (m_pFieldStatus[nField] & fieldDirty) : 0;
}

BOOL CRecordset::IsFieldStatusNull(unsigned long nField) const {
  return m_pFieldStatus != nullptr ? (m_pFieldStatus[nField] & fieldNull) : 0;
}

void CRecordset::SetDirtyFieldStatus(unsigned long nField) { SetFieldStatus(nField, fieldDirty); }

void CRecordset::ClearDirtyFieldStatus(unsigned long nField) {
  if (m_pFieldStatus != nullptr) m_pFieldStatus[nField] &= static_cast<unsigned char>(~fieldDirty);
}

void CRecordset::SetNullFieldStatus(unsigned long nField) { SetFieldStatus(nField, fieldNull); }

void CRecordset::ClearNullFieldStatus(unsigned long nField) {
  if (m_pFieldStatus != nullptr) m_pFieldStatus[nField] &= static_cast<unsigned char>(~fieldNull);
}

// ------------------------------------------------------------ passes

KORVO_HOT unsigned int CRecordset::BindFieldsToColumns() {
  korvo::diag::PrintTraceIfOn(m_trace, "CRecordset::BindFieldsToColumns");
  CFieldExchange fx(CFieldExchange::opBindFieldsToColumns, this);
  m_shortcuts.bindingPass = &fx;
  m_shortcuts.bindingEofKnown = m_shortcuts.movedOntoRow;
  m_shortcuts.bindingAtEof = false;
  m_shortcuts.fillPass =
      m_shortcuts.movedOntoRow && !korvo::recordset::VariantRouteForced() ? &fx : nullptr;
  m_shortcuts.movedOntoRow = false;
  m_shortcuts.rowLoaded = false;
  struct PassEnd {
    korvo::recordset::RowShortcuts& memo;
    ~PassEnd() {
      memo.bindingPass = nullptr;
      memo.fillPass = nullptr;
      memo.rowLoaded = false;
    }
  } pass_end{m_shortcuts};
  if (m_dwOptions & multiRowFetch) {
    DoBulkFieldExchange(&fx);
  } else {
    DoFieldExchange(&fx);
  }
  return fx.m_nFieldNumber;
}

KORVO_HOT void CRecordset::BindFieldsForUpdate() {
  korvo::diag::PrintTraceIfOn(m_trace, "CRecordset::BindFieldsForUpdate");
  if (m_nEditMode != 1 && m_nEditMode != 2) return;
  CFieldExchange fx(CFieldExchange::opBindFieldsForUpdate, this);
  DoFieldExchange(&fx);
}

void CRecordset::MarkForUpdate() {
  korvo::diag::PrintTraceIfOn(m_trace, "CRecordset::MarkForUpdate");
  CFieldExchange fx(CFieldExchange::opMarkForUpdate, this);
  DoFieldExchange(&fx);
}

KORVO_HOT void CRecordset::MarkForAddNew() {
  korvo::diag::PrintTraceIfOn(m_trace, "CRecordset::MarkForAddNew");
  CFieldExchange fx(CFieldExchange::opMarkForAddNew, this);
  DoFieldExchange(&fx);
}
