// tool/statement_rows.cpp: the rows of ExecuteSQL's statement, caught on
// the connection's ExecuteComplete event. ExecuteSQL releases its
// recordset at once; the reference taken in the event keeps it open.
#include "statement_rows.h"

namespace korvo::tool {
namespace {

// Keeps the recordset of a completed statement when it holds rows (an
// open one); every other event only answers.
class RowCatcher final : public korvo::com::Object<ConnectionEventsVt> {
 public:
  _RecordsetPtr rows;

  HRESULT ExecuteComplete(long, Error*, EventStatusEnum* adStatus, _Command*,
                          _Recordset* pRecordset, _Connection*) override {
    if (adStatus == nullptr) return E_POINTER;
    long state = adStateClosed;
    if (pRecordset != nullptr && SUCCEEDED(pRecordset->get_State(&state)) && state != adStateClosed)
      rows = pRecordset;
    return S_OK;
  }
  HRESULT InfoMessage(Error*, EventStatusEnum* adStatus, _Connection*) override {
    return Answer(adStatus);
  }
  HRESULT BeginTransComplete(long, Error*, EventStatusEnum* adStatus, _Connection*) override {
    return Answer(adStatus);
  }
  HRESULT CommitTransComplete(Error*, EventStatusEnum* adStatus, _Connection*) override {
    return Answer(adStatus);
  }
  HRESULT RollbackTransComplete(Error*, EventStatusEnum* adStatus, _Connection*) override {
    return Answer(adStatus);
  }
  HRESULT WillExecute(BSTR*, CursorTypeEnum*, LockTypeEnum*, long*, EventStatusEnum* adStatus,
                      _Command*, _Recordset*, _Connection*) override {
    return Answer(adStatus);
  }
  HRESULT WillConnect(BSTR*, BSTR*, BSTR*, long*, EventStatusEnum* adStatus,
                      _Connection*) override {
    return Answer(adStatus);
  }
  HRESULT ConnectComplete(Error*, EventStatusEnum* adStatus, _Connection*) override {
    return Answer(adStatus);
  }
  HRESULT Disconnect(EventStatusEnum* adStatus, _Connection*) override { return Answer(adStatus); }

 private:
  static HRESULT Answer(EventStatusEnum* adStatus) {
    return adStatus == nullptr ? E_POINTER : S_OK;
  }
};

// `sink` advised on the connection's events for the object's lifetime.
class AdvisedSink {
 public:
  AdvisedSink(_Connection* connection, IUnknown* sink) {
    IConnectionPointContainerPtr container(connection);
    if (!container) _com_issue_error(E_NOINTERFACE);
    HRESULT hr = container->FindConnectionPoint(__uuidof(ConnectionEventsVt), &point_);
    if (SUCCEEDED(hr)) hr = point_->Advise(sink, &cookie_);
    if (FAILED(hr)) _com_issue_error(hr);
  }
  ~AdvisedSink() { point_->Unadvise(cookie_); }
  AdvisedSink(const AdvisedSink&) = delete;
  AdvisedSink& operator=(const AdvisedSink&) = delete;

 private:
  IConnectionPointPtr point_;
  DWORD cookie_ = 0;
};

}  // namespace

StatementResult ExecuteKeepingRows(CDatabase& db, const std::string& sql) {
  IUnknown* raw = nullptr;
  const HRESULT created =
      korvo::com::CreateObject<RowCatcher>(IID_IUnknown, reinterpret_cast<void**>(&raw));
  if (FAILED(created)) _com_issue_error(created);
  const IUnknownPtr owner(raw, false);
  RowCatcher& catcher = *static_cast<RowCatcher*>(static_cast<ConnectionEventsVt*>(raw));

  StatementResult result;
  {
    const AdvisedSink advised(db.GetAdoConnection(), raw);
    db.ExecuteSQL(sql.c_str(), &result.affected);
  }
  const _RecordsetPtr rows = std::move(catcher.rows);
  if (rows) result.rows = ResultRowset(&db).ReadAllOf(*rows);
  return result;
}

}  // namespace korvo::tool
