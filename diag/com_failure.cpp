// diag/com_failure.cpp: building and throwing CDBException (diag layer).
#include <korvo/com/error_info.h>
#include <korvo/diag/CDBException.h>
#include <korvo/diag/com_failure_internal.h>

#include <memory>

namespace korvo::diag {

namespace {
constexpr SHORT kComFailure = 1000;
constexpr SHORT kFirstLibraryCode = 1001;
constexpr SHORT kLastLibraryCode = 1030;
constexpr DWORD kSyntaxOrIntegrity = 23000;
}  // namespace

DWORD NativeErrorForProviderCode(HRESULT providerCode) {
  return providerCode == DB_E_ERRORSINCOMMAND || providerCode == DB_E_INTEGRITYVIOLATION
             ? kSyntaxOrIntegrity
             : 0;
}

void ThrowConvertedComError(const _com_error& error, const char* origin, DWORD nativeError,
                            CKorvoTrace& trace) {
  // Held by unique_ptr until the throw, so a failing string allocation
  // does not leak the half-built exception.
  auto e = std::make_unique<CDBException>(static_cast<SHORT>(0));
  e->m_nReturnCode = kComFailure;
  e->m_dwNativeError = nativeError;
  _bstr_t description = error.Description();
  e->m_strErrorText = static_cast<const WCHAR*>(description);
  e->m_strErrorOrigin = origin;
  trace.PrintTrace(e->m_strErrorText);
  throw e.release();
}

void ThrowLibraryError(SHORT returnCode) {
  auto e = std::make_unique<CDBException>(returnCode);
  if (returnCode >= kFirstLibraryCode && returnCode <= kLastLibraryCode)
    e->m_strErrorText = "Error come from KORVO library";
  throw e.release();
}

void RaiseCreationFailure(HRESULT hr, const char* source) {
  const _com_error plain(hr);
  korvo::com::ReportErrorA(hr, plain.ErrorMessage(), source);
  _com_issue_errorex(hr, nullptr, GUID_NULL);
}

void ThrowSystemError(DWORD systemError) { throw new CDBException(systemError); }

}  // namespace korvo::diag
