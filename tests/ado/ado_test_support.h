// tests/ado/ado_test_support.h: a fixture for tests of the ADO objects:
// COM initialised on the test thread, a temporary directory, helpers that
// run a call and return the HRESULT and description it raised, and a sink
// that records a connection's events.
#pragma once

#include <gtest/gtest.h>
#include <korvo/ado/ado.h>
#include <korvo/com/coinit.h>
#include <korvo/com/object.h>

#include <functional>
#include <memory>
#include <string>

#include "support/test_support.h"

namespace korvo::ado::test {

struct Raised {
  HRESULT hr = S_OK;
  std::string description;
};

// Runs fn; returns the _com_error it raised (S_OK when none).
inline Raised Catch(const std::function<void()>& fn) {
  Raised r;
  try {
    fn();
  } catch (const _com_error& e) {
    r.hr = e.Error();
    const _bstr_t d = e.Description();
    r.description = d.length() ? static_cast<const char*>(d) : "";
  }
  return r;
}

// A connection-event sink that logs every event ("willconnect;connected;
// will;complete(3,ok);begin1;commit;rollback;disconnect;" ...), joins the
// informational messages by commas, and cancels WillExecute on request.
class RecordingEvents final : public korvo::com::Object<ConnectionEventsVt> {
 public:
  // Creates one and advises it on `c` until the returned holder goes.
  static std::shared_ptr<RecordingEvents> On(_ConnectionPtr& c) {
    ConnectionEventsVt* raw = nullptr;
    EXPECT_EQ(korvo::com::CreateObject<RecordingEvents>(__uuidof(ConnectionEventsVt),
                                                        reinterpret_cast<void**>(&raw)),
              S_OK);
    IConnectionPointPtr point;
    EXPECT_EQ(
        IConnectionPointContainerPtr(c)->FindConnectionPoint(__uuidof(ConnectionEventsVt), &point),
        S_OK);
    DWORD cookie = 0;
    EXPECT_EQ(point->Advise(raw, &cookie), S_OK);
    return std::shared_ptr<RecordingEvents>(static_cast<RecordingEvents*>(raw),
                                            [point, cookie](RecordingEvents* events) {
                                              EXPECT_EQ(point->Unadvise(cookie), S_OK);
                                              events->Release();
                                            });
  }

  HRESULT InfoMessage(Error*, EventStatusEnum* status, _Connection* c) override {
    if (!status) return E_POINTER;
    ErrorsPtr errors = c->GetErrors();
    for (long i = 0; i < errors->GetCount(); ++i) {
      messages += (messages.empty() ? "" : ",");
      messages += static_cast<const char*>(errors->GetItem(i)->GetDescription());
    }
    return S_OK;
  }
  HRESULT BeginTransComplete(long level, Error*, EventStatusEnum*, _Connection*) override {
    return Log("begin" + std::to_string(level));
  }
  HRESULT CommitTransComplete(Error*, EventStatusEnum*, _Connection*) override {
    return Log("commit");
  }
  HRESULT RollbackTransComplete(Error*, EventStatusEnum*, _Connection*) override {
    return Log("rollback");
  }
  HRESULT WillExecute(BSTR*, CursorTypeEnum*, LockTypeEnum*, long*, EventStatusEnum* status,
                      _Command*, _Recordset*, _Connection*) override {
    if (cancel) *status = adStatusCancel;
    return Log("will");
  }
  HRESULT ExecuteComplete(long affected, Error* e, EventStatusEnum* status, _Command*, _Recordset*,
                          _Connection*) override {
    return Log("complete(" + std::to_string(affected) +
               (*status == adStatusOK ? ",ok" : ",failed") + (e ? ",error)" : ")"));
  }
  HRESULT WillConnect(BSTR*, BSTR*, BSTR*, long*, EventStatusEnum*, _Connection*) override {
    return Log("willconnect");
  }
  HRESULT ConnectComplete(Error*, EventStatusEnum*, _Connection*) override {
    return Log("connected");
  }
  HRESULT Disconnect(EventStatusEnum*, _Connection*) override { return Log("disconnect"); }

  std::string messages;
  std::string log;
  bool cancel = false;

 private:
  HRESULT Log(const std::string& event) {
    log += event + ";";
    return S_OK;
  }
};

class AdoTest : public ::testing::Test {
 protected:
  void SetUp() override { ASSERT_GE(CoInitializeEx(nullptr, COINIT_MULTITHREADED), 0); }
  void TearDown() override { CoUninitialize(); }

  std::string FileConnect(const std::string& name = "test.db") {
    return "Provider=SQLite;Data Source=" + dir_.File(name);
  }

  _ConnectionPtr Open(const std::string& connect) {
    _ConnectionPtr c;
    EXPECT_EQ(c.CreateInstance(__uuidof(Connection)), S_OK);
    c->Open(_bstr_t(connect.c_str()), "", "", adConnectUnspecified);
    return c;
  }

  void Exec(_ConnectionPtr& c, const char* sql) { c->Execute(sql, nullptr, adExecuteNoRecords); }

  korvo::test::TempDir dir_;
};

}  // namespace korvo::ado::test
