// recordset/CFieldExchange.cpp: the context of one field exchange pass
// and the fallback of the single-row RFX_ functions.
#include <korvo/diag/com_failure_internal.h>
#include <korvo/platform/hot_internal.h>
#include <korvo/recordset/CFieldExchange.h>
#include <korvo/recordset/CRecordset.h>

KORVO_HOT CFieldExchange::CFieldExchange(unsigned int nOperation, CRecordset* prs, void* pvTarget)
    : m_nOperation(nOperation),
      m_prs(prs),
      m_nFieldType(outputColumn),
      m_pstrNames(nullptr),
      m_bNullValue(0),
      m_pvTarget(pvTarget),
      m_lpszSeparator(nullptr),
      m_nFieldNumber(0) {}

void CFieldExchange::Default(const char* lpszName) {
  if (m_nOperation != opAppendNames) korvo::diag::ThrowLibraryError(1030);
  // Only the fields marked dirty are listed. A field outside the status
  // array (none counted yet, or more RFX_ calls than m_nFields declares)
  // has no byte to read and is not listed.
  if (m_prs == nullptr || m_pstrNames == nullptr || m_nFieldNumber == 0 ||
      m_nFieldNumber > m_prs->m_nFields)
    return;
  if (!m_prs->IsFieldStatusDirty(m_nFieldNumber - 1)) return;
  *m_pstrNames += lpszName;
  *m_pstrNames += m_lpszSeparator;
}
