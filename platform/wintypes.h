// platform/wintypes.h: the Windows scalar types and published structures
// that Korvo's interface is written in, mapped once for Linux.
//
// DWORD is 32-bit unsigned, BOOL is int, HRESULT 32-bit signed, WCHAR one
// UTF-16 unit (char16_t). `long` in a signature stays `long`; values the
// library calls 32-bit are range-checked where they are converted.
// No ODBC or system header is included here, so a host sees only these.
#pragma once

#include <cstddef>
#include <cstdint>

typedef unsigned char BYTE;
typedef unsigned short WORD;
typedef uint32_t DWORD;
typedef int BOOL;
typedef short SHORT;
typedef unsigned short USHORT;
typedef int INT;
typedef unsigned int UINT;
typedef int32_t LONG;
typedef uint32_t ULONG;
typedef int64_t LONGLONG;
typedef uint64_t ULONGLONG;
typedef size_t SIZE_T;
typedef char CHAR;
typedef char16_t WCHAR;
typedef char* LPSTR;
typedef const char* LPCSTR;
typedef WCHAR* LPWSTR;
typedef const WCHAR* LPCWSTR;
typedef void* LPVOID;
typedef const void* LPCVOID;
typedef void* HANDLE;
typedef void* HINSTANCE;
typedef HINSTANCE HMODULE;
typedef int32_t HRESULT;

// MSVC's 64-bit integer keyword; a macro so that `unsigned __int64` works.
#ifndef __int64
#define __int64 long long
#endif

#ifndef TRUE
#define TRUE 1
#endif
#ifndef FALSE
#define FALSE 0
#endif

#define INVALID_HANDLE_VALUE (reinterpret_cast<HANDLE>(static_cast<intptr_t>(-1)))

typedef struct _SYSTEMTIME {
  WORD wYear;
  WORD wMonth;
  WORD wDayOfWeek;
  WORD wDay;
  WORD wHour;
  WORD wMinute;
  WORD wSecond;
  WORD wMilliseconds;
} SYSTEMTIME, *LPSYSTEMTIME;

// 100-nanosecond intervals since 1601-01-01 00:00:00 UTC.
typedef struct _FILETIME {
  DWORD dwLowDateTime;
  DWORD dwHighDateTime;
} FILETIME, *LPFILETIME;

// The ODBC timestamp layout; fraction is in nanoseconds.
typedef struct tagTIMESTAMP_STRUCT {
  short year;
  unsigned short month;
  unsigned short day;
  unsigned short hour;
  unsigned short minute;
  unsigned short second;
  unsigned int fraction;
} TIMESTAMP_STRUCT;

static_assert(sizeof(SYSTEMTIME) == 16, "SYSTEMTIME is the published 16-byte layout");
static_assert(sizeof(FILETIME) == 8, "FILETIME is the published 8-byte layout");
static_assert(sizeof(TIMESTAMP_STRUCT) == 16, "TIMESTAMP_STRUCT is the published 16-byte layout");
