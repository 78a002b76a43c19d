// db/CDatabaseEvent.cpp: the connection-events sink collecting
// informational messages (db layer).
#include <korvo/db/CDatabaseEvent.h>

namespace {

// What every event but InfoMessage does: let the operation go on.
HRESULT Acknowledge(EventStatusEnum* adStatus) {
  if (adStatus == nullptr) return E_POINTER;
  *adStatus = adStatusOK;
  return S_OK;
}

}  // namespace

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
  return Acknowledge(adStatus);
}

HRESULT CDatabaseEvent::BeginTransComplete(long, Error*, EventStatusEnum* adStatus, _Connection*) {
  return Acknowledge(adStatus);
}

HRESULT CDatabaseEvent::CommitTransComplete(Error*, EventStatusEnum* adStatus, _Connection*) {
  return Acknowledge(adStatus);
}

HRESULT CDatabaseEvent::RollbackTransComplete(Error*, EventStatusEnum* adStatus, _Connection*) {
  return Acknowledge(adStatus);
}

HRESULT CDatabaseEvent::WillExecute(BSTR*, CursorTypeEnum*, LockTypeEnum*, long*,
                                    EventStatusEnum* adStatus, _Command*, _Recordset*,
                                    _Connection*) {
  return Acknowledge(adStatus);
}

HRESULT CDatabaseEvent::ExecuteComplete(long, Error*, EventStatusEnum* adStatus, _Command*,
                                        _Recordset*, _Connection*) {
  return Acknowledge(adStatus);
}

HRESULT CDatabaseEvent::WillConnect(BSTR*, BSTR*, BSTR*, long*, EventStatusEnum* adStatus,
                                    _Connection*) {
  return Acknowledge(adStatus);
}

HRESULT CDatabaseEvent::ConnectComplete(Error*, EventStatusEnum* adStatus, _Connection*) {
  return Acknowledge(adStatus);
}

HRESULT CDatabaseEvent::Disconnect(EventStatusEnum* adStatus, _Connection*) {
  return Acknowledge(adStatus);
}
