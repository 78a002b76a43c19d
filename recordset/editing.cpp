// recordset/editing.cpp: the editing buffer of a recordset: Edit and
// AddNew set the edit mode, Update stores the changed fields, Delete
// removes the current row, CancelUpdate drops an edit.
#include <korvo/db/global_locks_internal.h>
#include <korvo/diag/CKorvoTrace_internal.h>
#include <korvo/diag/com_failure_internal.h>
#include <korvo/platform/hot_internal.h>
#include <korvo/recordset/CRecordset.h>
#include <korvo/recordset/error_sites_internal.h>

using korvo::recordset::kSetPosUpdateSite;

void CRecordset::Edit() {
  m_trace.PrintTrace("CRecordset::Edit");
  if (!m_bUpdatable) {
    ThrowDBException(1009);
    return;
  }
  if (!(m_dwOptions & multiRowFetch)) m_nEditMode = 1;
}

KORVO_HOT void CRecordset::AddNew() {
  korvo::diag::PrintTraceIfOn(m_trace, "CRecordset::AddNew");
  if (!m_bAppendable) {
    ThrowDBException(1009);
    return;
  }
  if (m_dwOptions & multiRowFetch) return;
  // The new row starts with every member at its pseudo-null value; the
  // ADO row itself is added by Update.
  SetFieldNull(nullptr, TRUE);
  SetFieldDirty(nullptr, FALSE);
  m_nEditMode = 2;
}

KORVO_HOT BOOL CRecordset::Update() {
  korvo::diag::PrintTraceIfOn(m_trace, "CRecordset::Update");
  if (m_dwOptions & multiRowFetch) return 0;
  if (m_nEditMode != 1 && m_nEditMode != 2) {
    m_trace.PrintTrace("Error: must enter Edit or AddNew mode before updating.\n");
    ThrowDBException(1005);
    return 0;
  }
  return UpdateInsertDelete();
}

void CRecordset::Delete() {
  m_trace.PrintTrace("CRecordset::Delete");
  if (m_dwOptions & multiRowFetch) return;
  if (m_nEditMode != 0) {
    m_trace.PrintTrace("Error: attempted to delete while still in Edit or AddNew mode.\n");
    ThrowDBException(1005);
    return;
  }
  UpdateInsertDelete();
}

void CRecordset::CancelUpdate() {
  m_trace.PrintTrace("CRecordset::CancelUpdate");
  m_nEditMode = 0;
  SetFieldDirty(nullptr, FALSE);
  // A failed Update leaves its changes pending in the ADO row; dropped
  // here, so that the next move does not write them after all.
  korvo::diag::ConvertComFailures(m_trace, kSetPosUpdateSite, [this] {
    if (IsOpen() && m_pRecordset->GetEditMode() != adEditNone) m_pRecordset->CancelUpdate();
  });
}

KORVO_HOT BOOL CRecordset::UpdateInsertDelete() {
  korvo::diag::PrintTraceIfOn(m_trace, "CRecordset::UpdateInsertDelete");
  if (m_nEditMode == 0 || m_nEditMode == 1) {
    if (!m_bUpdatable) {
      m_trace.PrintTrace("Error: attempted to update a read only recordset.\n");
      ThrowDBException(1009);
      return 0;
    }
    if (m_pRecordset->GetEOF() == VARIANT_TRUE || m_pRecordset->GetBOF() == VARIANT_TRUE) {
      m_trace.PrintTrace("Error: attempting to update recordset - but no record is current.\n");
      ThrowDBException(1007);
      return 0;
    }
  }
  if (m_nEditMode == 2 && !m_bAppendable) {
    m_trace.PrintTrace("Error: attempted to add a record to a read only recordset.\n");
    ThrowDBException(1009);
    return 0;
  }
  // Nothing changed: nothing is sent and the edit mode stays.
  if ((m_nEditMode == 1 || m_nEditMode == 2) && !IsFieldDirty(nullptr)) return 0;

  ExecuteSetPosUpdate();

  // The row is gone: the members hold pseudo-null values.
  if (m_nEditMode == 0) SetFieldNull(nullptr, TRUE);
  m_nEditMode = 0;
  SetFieldDirty(nullptr, FALSE);
  return 1;
}

KORVO_HOT void CRecordset::ExecuteSetPosUpdate() {
  korvo::diag::PrintTraceIfOn(m_trace, "CRecordset::ExecuteSetPosUpdate");
  korvo::diag::ConvertComFailures(
      m_trace, kSetPosUpdateSite,
      [this] {
        // Released by unwinding before a failure is converted.
        korvo::db::StatementLock statement_lock;
        // Fetched once: vtMissing is a call each time it is named.
        const _variant_t& missing = vtMissing;
        switch (m_nEditMode) {
          case 0:
            m_pRecordset->Delete(adAffectCurrent);
            break;
          case 1:
            // Each RFX_ call hands its dirty member to the typed setter.
            BindFieldsForUpdate();
            m_pRecordset->Update(missing, missing);
            break;
          case 2:
            m_pRecordset->AddNew(missing, missing);
            BindFieldsForUpdate();
            m_pRecordset->Update(missing, missing);
            break;
          default:
            break;
        }
      },
      // A unique-key or syntax failure is told by the provider's number.
      [this](const _com_error&) -> HRESULT {
        return m_pDatabase != nullptr ? m_pDatabase->GetErrNumber() : 0;
      });
}
