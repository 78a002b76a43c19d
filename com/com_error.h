// com/com_error.h: _com_error, the exception the COM support types raise for
// a failing HRESULT, and the raising helpers.
//
// A _com_error carries the HRESULT and, when the failing object recorded
// one, its error information (description, source). It is thrown by value
// and caught by reference; it does not derive from std::exception, as on
// Windows, so handlers for it and for other exceptions stay apart.
//
// The raising wrappers of the data-access layer call
//   if (FAILED(hr)) _com_issue_errorex(hr, this, KORVO_UUIDOF(Interface));
// which takes the calling thread's error record (error_info.h), so the
// _com_error carries the description the failing method recorded.
// Thread-safety: one object, one thread at a time; copies are independent.
#pragma once

#include <korvo/com/bstr_t.h>
#include <korvo/com/error_info.h>
#include <korvo/com/hresult.h>
#include <korvo/platform/export.h>

class KORVO_API _com_error {
 public:
  // Takes over one reference on `info` (may be null); with addRef true it
  // adds its own instead.
  explicit _com_error(HRESULT hr, IErrorInfo* info = nullptr, bool addRef = false) noexcept;
  _com_error(const _com_error& other) noexcept;
  _com_error& operator=(const _com_error& other) noexcept;
  virtual ~_com_error();

  HRESULT Error() const noexcept { return hr_; }
  // The IDispatch error code for HRESULTs in 0x80040200..0x8004FFFF, else 0.
  WORD WCode() const noexcept { return HRESULTToWCode(hr_); }
  // The error record, AddRef'd for the caller (null when there is none).
  IErrorInfo* ErrorInfo() const noexcept;

  // Texts of the error record; an empty holder when there is none.
  _bstr_t Description() const;
  _bstr_t Source() const;
  _bstr_t HelpFile() const;
  DWORD HelpContext() const noexcept;
  ::GUID GUID() const noexcept;

  // A readable text for the HRESULT itself, in English ("Unspecified
  // error", "IDispatch error #3", "Unknown error 0x80001234"); valid while
  // this object lives.
  const char* ErrorMessage() const noexcept;

  static HRESULT WCodeToHRESULT(WORD wCode) noexcept;
  static WORD HRESULTToWCode(HRESULT hr) noexcept;

 private:
  HRESULT hr_;
  IErrorInfo* info_;
  mutable char message_[48];
};

// Throws _com_error(hr) without error information (a failure of the
// caller's own, such as a null smart pointer).
[[noreturn]] KORVO_API void _com_issue_error(HRESULT hr);
// Throws _com_error(hr) with the calling thread's error record, which it
// takes over (see error_info.h). `object` and `riid` name the failing
// object and interface; a null object is accepted.
[[noreturn]] KORVO_API void _com_issue_errorex(HRESULT hr, IUnknown* object, REFIID riid);
// Throws _com_error(hr, info), taking over the reference on info.
[[noreturn]] KORVO_API void _com_raise_error(HRESULT hr, IErrorInfo* info = nullptr);

namespace korvo::com {

// The raising wrapper's one line: returns hr when it succeeded, else raises
// it with the thread's error record.
inline HRESULT ThrowIfFailed(HRESULT hr) {
  if (FAILED(hr)) _com_issue_errorex(hr, nullptr, GUID_NULL);
  return hr;
}

}  // namespace korvo::com
