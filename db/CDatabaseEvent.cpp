// db/CDatabaseEvent.cpp: the connection-events sink collecting
// informational messages (db layer).
#include <korvo/db/CDatabaseEvent.h>

CDatabaseEvent::CDatabaseEvent() : m_dwCookie(0), m_nRefCount(0) {}

CDatabaseEvent::~CDatabaseEvent() = default;

HRESULT CDatabaseEvent::QueryInterface(REFIID riid, void** out) {
  if (out == nullptr) return E_POINTER;
  if (riid == IID_IUnknown || riid == __uuidof(ConnectionEventsVt)) {
    *out = static_cast<ConnectionEventsVt*>(this);
    AddRef();
    return S_OK;
  }
  *out = nullptr;
  return E_NOINTERFACE;
}

ULONG CDatabaseEvent::AddRef() { return m_nRefCount.fetch_add(1, std::memory_order_relaxed) + 1; }

ULONG CDatabaseEvent::Release() {
  // acq_rel: whatever one holder wrote is visible to the one that deletes.
  ULONG count = m_nRefCount.fetch_sub(1, std::memory_order_acq_rel) - 1;
  if (count == 0) delete this;
  return count;
}

HRESULT CDatabaseEvent::InfoMessage(Error*, EventStatusEnum* adStatus, _Connection* pConnection) {
  if (adStatus == nullptr) return E_POINTER;
  if (*adStatus == adStatusOK && pConnection != nullptr) {
    // The sink must not let an exception into the provider that fired the
    // event; a collection it cannot read adds nothing.
    try {
      ErrorsPtr errors = pConnection->GetErrors();
      long count = errors->GetCount();
      for (long i = 0; i < count; ++i) {
        ErrorPtr error = errors->GetItem(_variant_t(i));
        if (m_bstrMessages.length() != 0) m_bstrMessages += _bstr_t(u",");
        m_bstrMessages += error->GetDescription();
      }
    } catch (const _com_error&) {
    }
  }
  *adStatus = adStatusOK;
  return S_OK;
}

HRESULT CDatabaseEvent::BeginTransComplete(long, Error*, EventStatusEnum* adStatus, _Connection*) {
  if (adStatus == nullptr) return E_POINTER;
  *adStatus = adStatusOK;
  return S_OK;
}

HRESULT CDatabaseEvent::CommitTransComplete(Error*, EventStatusEnum* adStatus, _Connection*) {
  if (adStatus == nullptr) return E_POINTER;
  *adStatus = adStatusOK;
  return S_OK;
}

HRESULT CDatabaseEvent::RollbackTransComplete(Error*, EventStatusEnum* adStatus, _Connection*) {
  if (adStatus == nullptr) return E_POINTER;
  *adStatus = adStatusOK;
  return S_OK;
}

HRESULT CDatabaseEvent::WillExecute(BSTR*, CursorTypeEnum*, LockTypeEnum*, long*,
                                    EventStatusEnum* adStatus, _Command*, _Recordset*,
                                    _Connection*) {
  if (adStatus == nullptr) return E_POINTER;
  *adStatus = adStatusOK;
  return S_OK;
}

HRESULT CDatabaseEvent::ExecuteComplete(long, Error*, EventStatusEnum* adStatus, _Command*,
                                        _Recordset*, _Connection*) {
  if (adStatus == nullptr) return E_POINTER;
  *adStatus = adStatusOK;
  return S_OK;
}

HRESULT CDatabaseEvent::WillConnect(BSTR*, BSTR*, BSTR*, long*, EventStatusEnum* adStatus,
                                    _Connection*) {
  if (adStatus == nullptr) return E_POINTER;
  *adStatus = adStatusOK;
  return S_OK;
}

HRESULT CDatabaseEvent::ConnectComplete(Error*, EventStatusEnum* adStatus, _Connection*) {
  if (adStatus == nullptr) return E_POINTER;
  *adStatus = adStatusOK;
  return S_OK;
}

HRESULT CDatabaseEvent::Disconnect(EventStatusEnum* adStatus, _Connection*) {
  if (adStatus == nullptr) return E_POINTER;
  *adStatus = adStatusOK;
  return S_OK;
}
