// tests/ado/ado_test_support.h: a fixture for tests of the ADO objects:
// COM initialised on the test thread, a temporary directory, and helpers
// that run a call and return the HRESULT and description it raised.
#pragma once

#include <gtest/gtest.h>
#include <korvo/ado/ado.h>
#include <korvo/com/coinit.h>

#include <functional>
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
