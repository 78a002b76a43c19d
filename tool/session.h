// tool/session.h: what every tool command needs first: COM on the main
// thread, an open connection, and errors described for a person.
#pragma once

#include <korvo/Korvo.h>

#include <memory>
#include <ostream>
#include <string>

namespace korvo::tool {

// COM for the calling thread, for the object's lifetime.
class ComScope {
 public:
  ComScope();
  ~ComScope();
  ComScope(const ComScope&) = delete;
  ComScope& operator=(const ComScope&) = delete;
};

// The connect string for the command line's CONNECT: text holding "=" is
// a connect string as it stands ("DSN=sales", "Provider=SQLite;Data
// Source=x.db"); anything else is a file of the embedded engine.
std::string ConnectStringOf(const std::string& target);

// Opens a connection; throws CDBException* as OpenEx does.
std::unique_ptr<CDatabase> OpenDatabase(const std::string& target);

// "error: <text>" and a second line with the return code, native error
// and origin of the failure.
std::string DescribeError(const CDBException& e);
std::string DescribeError(const _com_error& e);

// Runs `body` (returning an exit status) and turns a library failure into
// its description on `err`; returns 1 after a failure.
template <class Body>
int ReportingFailures(std::ostream& err, Body&& body);

// Owner of a caught CDBException*.
struct ExceptionDeleter {
  void operator()(CDBException* e) const { CDBException::Delete(e); }
};
using ExceptionPtr = std::unique_ptr<CDBException, ExceptionDeleter>;

}  // namespace korvo::tool

template <class Body>
int korvo::tool::ReportingFailures(std::ostream& err, Body&& body) {
  try {
    return body();
  } catch (CDBException* raw) {
    ExceptionPtr e(raw);
    err << DescribeError(*e);
  } catch (const _com_error& e) {
    err << DescribeError(e);
  }
  return 1;
}
