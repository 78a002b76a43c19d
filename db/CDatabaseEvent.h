// db/CDatabaseEvent.h: CDatabaseEvent, the connection-events sink through
// which CDatabase collects the provider's informational messages.
//
// What it is: an implementation of ADO's ConnectionEventsVt on the
// library's COM object base (korvo::com::Object). InfoMessage appends the
// Description of every record of the raising connection's Errors
// collection to m_bstrMessages, separated by ","; every other event only
// answers adStatusOK. Every handler returns E_POINTER for a null status
// argument. QueryInterface answers IUnknown and ConnectionEventsVt.
// Ownership: reference counted (the count starts at 0; Release destroys the
// sink when it returns to 0); created by CDatabase::CaptureInfoMessage,
// which keeps one reference (and the connection point one more while the
// sink is advised). Copies of that CDatabase share the sink and hold one
// reference each.
// Thread-safety: the reference count is atomic, so copies of a CDatabase
// may take and drop their references on any thread; the collected text is
// the caller's to synchronise (one connection, and its events, is used by
// one thread at a time).
#pragma once

#include <korvo/ado/ado.h>
#include <korvo/com/bstr_t.h>
#include <korvo/com/object.h>
#include <korvo/platform/export.h>
#include <korvo/platform/wintypes.h>

#include <atomic>

class KORVO_API CDatabaseEvent final : public korvo::com::Object<ConnectionEventsVt> {
 public:
  CDatabaseEvent() = default;

  HRESULT InfoMessage(Error* pError, EventStatusEnum* adStatus, _Connection* pConnection) override;
  HRESULT BeginTransComplete(long TransactionLevel, Error* pError, EventStatusEnum* adStatus,
                             _Connection* pConnection) override;
  HRESULT CommitTransComplete(Error* pError, EventStatusEnum* adStatus,
                              _Connection* pConnection) override;
  HRESULT RollbackTransComplete(Error* pError, EventStatusEnum* adStatus,
                                _Connection* pConnection) override;
  HRESULT WillExecute(BSTR* Source, CursorTypeEnum* CursorType, LockTypeEnum* LockType,
                      long* Options, EventStatusEnum* adStatus, _Command* pCommand,
                      _Recordset* pRecordset, _Connection* pConnection) override;
  HRESULT ExecuteComplete(long RecordsAffected, Error* pError, EventStatusEnum* adStatus,
                          _Command* pCommand, _Recordset* pRecordset,
                          _Connection* pConnection) override;
  HRESULT WillConnect(BSTR* ConnectionString, BSTR* UserID, BSTR* Password, long* Options,
                      EventStatusEnum* adStatus, _Connection* pConnection) override;
  HRESULT ConnectComplete(Error* pError, EventStatusEnum* adStatus,
                          _Connection* pConnection) override;
  HRESULT Disconnect(EventStatusEnum* adStatus, _Connection* pConnection) override;

  // The connection point's cookie; 0 until advised.
  DWORD m_dwCookie = 0;
  // The messages collected so far; an empty holder until the first one.
  _bstr_t m_bstrMessages;

 private:
  friend class CDatabase;
  ~CDatabaseEvent() override = default;

  // The CDatabase copies capturing through this sink. They share one ADO
  // connection; the last one to switch capture off unadvises the sink.
  std::atomic<ULONG> m_nHolders{0};
};
