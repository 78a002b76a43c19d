// diag/com_failure_internal.h: the one place where failures become
// CDBException (not installed; used by db/, cmd/ and recordset/).
//
// Every public operation that talks to the data-access layer runs its work
// through ConvertComFailures:
//   korvo::diag::ConvertComFailures(m_trace, {"[6001]", "DbException2"}, [&] {
//     ...ADO calls...
//   });
// A _com_error leaving the body becomes a heap-allocated CDBException with
// return code 1000, the error's description as text (also traced) and the
// site's origin, thrown by pointer. Any other exception (a CDBException of
// a nested library call, std::bad_alloc, ...) is traced with the site's
// tag, when it has one, and passed on unchanged.
// Locks held by the operation must be RAII guards inside the body: they
// are released by unwinding before the conversion runs.
#pragma once

#include <korvo/com/com_error.h>
#include <korvo/diag/CKorvoTrace.h>
#include <korvo/platform/wintypes.h>

#include <utility>

namespace korvo::diag {

// Where an operation reports from: its origin text and the trace tag for
// exceptions it passes on (null: none is traced).
struct ErrorSite {
  const char* origin;
  const char* tag;
};

// The native error of the syntax-or-integrity rule: 23000 when the
// provider's code is DB_E_ERRORSINCOMMAND (0x80040E14) or
// DB_E_INTEGRITYVIOLATION (0x80040E2F), else 0.
DWORD NativeErrorForProviderCode(HRESULT providerCode);

// Builds the CDBException for `error` (return code 1000, the given native
// error, description text, origin), traces the text and throws it.
[[noreturn]] void ThrowConvertedComError(const _com_error& error, const char* origin,
                                         DWORD nativeError, CKorvoTrace& trace);

// Throws a CDBException with `returnCode`; 1001..1030 carry the text
// "Error come from KORVO library", every other code an empty text. Nothing
// is traced.
[[noreturn]] void ThrowLibraryError(SHORT returnCode);
// Throws a CDBException with return code 0 and native error `systemError`
// (a failed memory request passes the last-error code).
[[noreturn]] void ThrowSystemError(DWORD systemError);

// Raises the _com_error for a failed object creation. Creation records no
// description of its own, so the error carries the system's text for the
// code, reported under `source` ("Korvo.CDatabase", ...).
[[noreturn]] void RaiseCreationFailure(HRESULT hr, const char* source);

// Creates the COM object of class `clsid` in `object` (a _com_ptr_t);
// a failure leaves through RaiseCreationFailure.
template <class SmartPtr>
void CreateComObject(SmartPtr& object, const CLSID& clsid, const char* source) {
  const HRESULT hr = object.CreateInstance(clsid);
  if (FAILED(hr)) RaiseCreationFailure(hr, source);
}

// Rules for the native error of a converted failure.
struct NoNativeError {
  HRESULT operator()(const _com_error&) const noexcept { return 0; }
};
// The commands' rule: the failing call's own HRESULT.
struct NativeErrorFromComError {
  HRESULT operator()(const _com_error& error) const noexcept { return error.Error(); }
};

// Runs `body` and converts what leaves it (see the file comment).
// `providerCode` maps the caught _com_error to the provider code that the
// 23000 rule examines; a provider-code lookup that throws counts as 0.
template <class Body, class ProviderCode = NoNativeError>
decltype(auto) ConvertComFailures(CKorvoTrace& trace, const ErrorSite& site, Body&& body,
                                  ProviderCode&& providerCode = ProviderCode()) {
  try {
    return std::forward<Body>(body)();
  } catch (const _com_error& error) {
    HRESULT code = 0;
    try {
      code = providerCode(error);
    } catch (...) {
      code = 0;
    }
    ThrowConvertedComError(error, site.origin, NativeErrorForProviderCode(code), trace);
  } catch (...) {
    if (site.tag != nullptr) trace.PrintTrace(site.tag);
    throw;
  }
}

}  // namespace korvo::diag
