// diag/CDBExceptionW.h: CDBExceptionW, the wide-text twin of CDBException
// for callers that keep error texts as UTF-16.
//
// The library never throws it: every failure arrives as a CDBException. A
// caller builds one from the numbers of a caught CDBException and assigns
// the texts itself:
//   CDBExceptionW w(e->m_nReturnCode);
//   w.m_dwNativeError = e->m_dwNativeError;
//   w.m_strErrorText = CTWString(e->m_strErrorText);
// Ownership: as CDBException; an object allocated with new is released
// with Delete (or the null-safe CDBExceptionW::Delete(e)). Copies share
// their text buffers by reference count.
// Thread-safety: none needed; one holder at a time.
#pragma once

#include <korvo/platform/export.h>
#include <korvo/platform/wintypes.h>
#include <korvo/types/CTWString.h>

class KORVO_API CDBExceptionW {
 public:
  CDBExceptionW(SHORT nReturnCode = 0);
  CDBExceptionW(DWORD dwNativeError);
  CDBExceptionW(const CDBExceptionW& other);
  CDBExceptionW& operator=(const CDBExceptionW& other);
  ~CDBExceptionW();

  void Empty();
  // Destroys this object; through a null pointer it does nothing.
  // REQUIRES: the object was allocated with new.
  void Delete();
  static void Delete(CDBExceptionW* e);

  SHORT m_nReturnCode;
  DWORD m_dwNativeError;
  CTWString m_strErrorText;
  CTWString m_strErrorOrigin;
};
