// diag/CDBException.h: CDBException, the one exception type every failing
// library operation throws.
//
// What it is: a plain record of a failure: the library's return code
// (1000 for a failing data-access call, 1001..1030 for the library's own
// checks, 0 for a system error), the native error (23000 when the
// provider reported a syntax or integrity failure, a system error code
// for a failed allocation, else 0), the error text and the error origin
// ("[6005]", "[5014]", or a command's failing function signature).
//
// Ownership: the library allocates it with `new` and throws the pointer:
//   try { db.ExecuteSQL("..."); }
//   catch (CDBException* e) { ...; e->Delete(); }
// The catcher owns it and releases it with Delete (or the null-safe
// CDBException::Delete(e)). Copies are independent objects whose texts
// share their buffers by reference count.
// Thread-safety: none needed; an exception belongs to one catcher.
#pragma once

#include <korvo/platform/export.h>
#include <korvo/platform/wintypes.h>
#include <korvo/types/CTString.h>

class KORVO_API CDBException {
 public:
  // Return code `nReturnCode`, native error 0, empty texts.
  CDBException(SHORT nReturnCode = 0);
  // Return code 0, native error `dwNativeError`, empty texts.
  CDBException(DWORD dwNativeError);
  CDBException(const CDBException& other);
  CDBException& operator=(const CDBException& other);
  ~CDBException();

  // Empties both texts; the two numbers stay.
  void Empty();
  // Destroys this object and returns its memory; called through a null
  // pointer (`e->Delete()` with e null) it does nothing.
  // REQUIRES: the object was allocated with new (as the library does).
  void Delete();
  // The same for a pointer that may be null (then nothing happens).
  static void Delete(CDBException* e);

  SHORT m_nReturnCode;
  DWORD m_dwNativeError;
  CTString m_strErrorText;
  CTString m_strErrorOrigin;
};
