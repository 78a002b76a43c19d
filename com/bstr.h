// com/bstr.h: BSTR, the OLE Automation string, and its allocation functions.
//
// A BSTR points at 16-bit characters (UTF-16 units) preceded by a 32-bit
// byte length and always followed by a terminating zero unit, so it can be
// read as a C string while it may also hold embedded zeros. A null BSTR is
// a valid empty string for every reader; a BSTR of length 0 is not null.
// Ownership: whoever receives a BSTR from Sys*Alloc* owns it and frees it
// with SysFreeString. Allocation failure returns null (never throws).
// Thread-safety: every function may be called from any thread on distinct
// strings.
#pragma once

#include <korvo/com/guid.h>
#include <korvo/platform/export.h>
#include <korvo/platform/wintypes.h>

typedef OLECHAR* BSTR;
typedef BSTR* LPBSTR;

// A copy of the terminated text `text` (null gives null).
KORVO_API BSTR SysAllocString(const OLECHAR* text);
// `len` characters copied from `text` (or left zero when `text` is null).
KORVO_API BSTR SysAllocStringLen(const OLECHAR* text, UINT len);
// `len` bytes copied from `bytes` (or left zero when null), followed by a
// zero unit; the length reads back as len bytes.
KORVO_API BSTR SysAllocStringByteLen(const char* bytes, UINT len);
// Replaces *target with a copy of `text` (which may point into *target).
// TRUE on success; FALSE (and *target unchanged) when memory runs out or
// target is null.
KORVO_API INT SysReAllocString(BSTR* target, const OLECHAR* text);
KORVO_API INT SysReAllocStringLen(BSTR* target, const OLECHAR* text, UINT len);
// Frees the string; null is accepted.
KORVO_API void SysFreeString(BSTR text);
// Characters (byte length / 2) and bytes; 0 for null.
KORVO_API UINT SysStringLen(BSTR text);
KORVO_API UINT SysStringByteLen(BSTR text);
