// com/error_info.h: per-thread error information, the channel through which
// a failing COM call leaves its description for the caller.
//
// Convention for Korvo's objects: a method that fails records what went
// wrong with korvo::com::ReportError (or SetErrorInfo) before returning its
// failing HRESULT; the caller's raising wrapper (_com_issue_errorex,
// com_error.h) takes the record and puts it into the _com_error it throws.
// GetErrorInfo hands the record over and clears it, so each record is
// reported at most once.
// Thread-safety: each thread has its own record; the record object itself
// is immutable once created through ReportError.
#pragma once

#include <korvo/com/bstr.h>
#include <korvo/com/guid.h>
#include <korvo/com/unknown.h>
#include <korvo/platform/export.h>

struct IErrorInfo : IUnknown {
  // Each text getter returns a new BSTR the caller frees (null when unset).
  virtual HRESULT GetGUID(GUID* out) = 0;
  virtual HRESULT GetSource(BSTR* out) = 0;
  virtual HRESULT GetDescription(BSTR* out) = 0;
  virtual HRESULT GetHelpFile(BSTR* out) = 0;
  virtual HRESULT GetHelpContext(DWORD* out) = 0;

 protected:
  ~IErrorInfo() = default;
};
KORVO_DEFINE_UUID(IErrorInfo, "1CF2B120-547D-101B-8E65-08002B2BD119")

struct ICreateErrorInfo : IUnknown {
  virtual HRESULT SetGUID(REFGUID guid) = 0;
  virtual HRESULT SetSource(LPOLESTR source) = 0;
  virtual HRESULT SetDescription(LPOLESTR description) = 0;
  virtual HRESULT SetHelpFile(LPOLESTR helpFile) = 0;
  virtual HRESULT SetHelpContext(DWORD helpContext) = 0;

 protected:
  ~ICreateErrorInfo() = default;
};
KORVO_DEFINE_UUID(ICreateErrorInfo, "22F03340-547D-101B-8E65-08002B2BD119")

struct ISupportErrorInfo : IUnknown {
  // S_OK when methods of riid record error information, else S_FALSE.
  virtual HRESULT InterfaceSupportsErrorInfo(REFIID riid) = 0;

 protected:
  ~ISupportErrorInfo() = default;
};
KORVO_DEFINE_UUID(ISupportErrorInfo, "DF0B3D60-548F-101B-8E65-08002B2BD119")

inline constexpr IID IID_IErrorInfo = KORVO_UUIDOF(IErrorInfo);
inline constexpr IID IID_ICreateErrorInfo = KORVO_UUIDOF(ICreateErrorInfo);
inline constexpr IID IID_ISupportErrorInfo = KORVO_UUIDOF(ISupportErrorInfo);

// Replaces the calling thread's record with `info` (AddRef'd; null clears
// it). `reserved` must be 0. Always S_OK otherwise.
KORVO_API HRESULT SetErrorInfo(ULONG reserved, IErrorInfo* info);
// Moves the calling thread's record into *out (the caller releases it) and
// clears it; S_FALSE and null when there is none. E_POINTER for a null out.
KORVO_API HRESULT GetErrorInfo(ULONG reserved, IErrorInfo** out);
// A new, empty record to fill through ICreateErrorInfo; QueryInterface it
// for IErrorInfo to hand it to SetErrorInfo.
KORVO_API HRESULT CreateErrorInfo(ICreateErrorInfo** out);

namespace korvo::com {

// Records description and source (either may be null) as the calling
// thread's error information and returns hr, so a failing method can end
// with `return ReportError(E_FAIL, u"...", u"ADODB.Connection");`.
KORVO_API HRESULT ReportError(HRESULT hr, const WCHAR* description, const WCHAR* source = nullptr);
// The same with narrow texts in the ANSI code page.
KORVO_API HRESULT ReportErrorA(HRESULT hr, const char* description, const char* source = nullptr);
// Drops the calling thread's record (a method that succeeds, or fails
// without a description, calls it so no stale record is reported).
KORVO_API void ClearErrorInfo();

}  // namespace korvo::com
