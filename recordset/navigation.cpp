// recordset/navigation.cpp: moving the ADO cursor and reloading the
// member variables from the new row; BOF, EOF and the row count.
#include <korvo/com/error_info.h>
#include <korvo/db/global_locks_internal.h>
#include <korvo/diag/CDBException.h>
#include <korvo/diag/CKorvoTrace_internal.h>
#include <korvo/diag/com_failure_internal.h>
#include <korvo/platform/hot_internal.h>
#include <korvo/recordset/CRecordset.h>
#include <korvo/recordset/recordset_access_internal.h>

namespace {

constexpr const char* kMoveOrigin = "[5002]";
constexpr const char* kMoveTag = "DbException102";

// The ADO call(s) of one move code.
void MoveCursor(_Recordset& recordset, long nRows, unsigned short wFetchType) {
  switch (wFetchType) {
    case CRecordset::fetchNext:
      recordset.MoveNext();
      break;
    case CRecordset::fetchFirst:
      recordset.MoveFirst();
      break;
    case CRecordset::fetchLast:
      recordset.MoveLast();
      break;
    case CRecordset::fetchPrior:
      recordset.MovePrevious();
      break;
    case CRecordset::fetchAbsolute:
      recordset.MoveFirst();
      recordset.Move(nRows, vtMissing);
      break;
    case CRecordset::fetchRelative:
      recordset.Move(nRows, vtMissing);
      break;
    default:
      // Refused like a bad argument of the ADO call itself.
      korvo::com::ReportErrorA(E_INVALIDARG, "Unknown move code.", "Korvo.CRecordset");
      _com_issue_errorex(E_INVALIDARG, nullptr, GUID_NULL);
  }
}

}  // namespace

KORVO_HOT void CRecordset::Move(long nRows, unsigned short wFetchType) {
  korvo::diag::PrintTraceIfOn(m_trace, "CRecordset::Move");
  try {
    // Released by unwinding before a failure is reported.
    korvo::db::StatementLock statement_lock;
    if (m_nBoundFields > 0) {
      ClearFieldStatus();
      m_nEditMode = 0;
    }
    if (!m_pRecordset) _com_issue_error(E_POINTER);
    MoveCursor(*m_pRecordset, nRows, wFetchType);
    // At end of file the members keep the previous row's values.
    if (!korvo::recordset::RecordsetAccess::Eof(*this)) {
      m_nBoundFields = 0;
      // The binding pass InitRecord starts need not ask EOF again; nothing
      // else may take the answer.
      m_shortcuts.movedOntoRow = true;
      struct Loaded {
        bool& moved;
        ~Loaded() { moved = false; }
      } loaded{m_shortcuts.movedOntoRow};
      InitRecord();
    }
  } catch (const _com_error& error) {
    korvo::diag::ThrowConvertedComError(error, kMoveOrigin, 0, m_trace);
  } catch (CDBException* e) {
    // A failure while loading the row (already described by its own
    // exception and trace) is reported as a failed move.
    m_trace.PrintTrace(kMoveTag);
    CDBException::Delete(e);
    ThrowDBException(1000);
  } catch (...) {
    m_trace.PrintTrace(kMoveTag);
    ThrowDBException(1000);
  }
}

BOOL CRecordset::IsBOF() const { return m_pRecordset->GetBOF() == VARIANT_TRUE ? 1 : 0; }

KORVO_HOT BOOL CRecordset::IsEOF() const { return korvo::recordset::RecordsetAccess::Eof(*this); }

long CRecordset::GetRecordCount() const { return m_pRecordset->GetRecordCount(); }

namespace korvo::recordset {

int RecordsetAccess::AskEof(const CRecordset& rs) {
  // Korvo's own ADO recordset, once found by a binding pass, answers
  // without the property.
  const RowShortcuts& memo = rs.m_shortcuts;
  if (memo.fill && memo.accessOf == rs.m_pRecordset.GetInterfacePtr()) {
    const int eof = static_cast<IKorvoMemberFill*>(memo.fill.GetInterfacePtr())->AtEof();
    if (eof >= 0) return eof;
  }
  return rs.m_pRecordset->GetEOF() == VARIANT_TRUE ? 1 : 0;
}

}  // namespace korvo::recordset
