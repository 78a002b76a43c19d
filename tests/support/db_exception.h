// tests/support/db_exception.h: catching the library's CDBException in a
// test.
#pragma once

#include <gtest/gtest.h>
#include <korvo/diag/CDBException.h>

#include <memory>

namespace korvo::test {

// Runs `body` and returns the CDBException it throws, owned by the caller;
// records a test failure (and returns null) when nothing or something else
// is thrown.
template <class Body>
std::unique_ptr<CDBException> CatchDB(Body&& body) {
  try {
    body();
  } catch (CDBException* e) {
    return std::unique_ptr<CDBException>(e);
  } catch (...) {
    ADD_FAILURE() << "threw something other than CDBException*";
    return nullptr;
  }
  ADD_FAILURE() << "nothing was thrown";
  return nullptr;
}

}  // namespace korvo::test
