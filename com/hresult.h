// com/hresult.h: HRESULT, the status code of every COM call, with its
// published values and the test macros.
//
// An HRESULT is 32-bit signed; the high bit set means failure. Values are
// written as casts of the unsigned published numbers so that they compare
// equal to the HRESULT a host reads back from any call.
#pragma once

#include <korvo/platform/wintypes.h>

typedef HRESULT SCODE;

#define SUCCEEDED(hr) (static_cast<HRESULT>(hr) >= 0)
#define FAILED(hr) (static_cast<HRESULT>(hr) < 0)

#define SEVERITY_SUCCESS 0
#define SEVERITY_ERROR 1
#define FACILITY_NULL 0
#define FACILITY_RPC 1
#define FACILITY_DISPATCH 2
#define FACILITY_ITF 4
#define FACILITY_WIN32 7
#define FACILITY_CONTROL 10

#define MAKE_HRESULT(sev, fac, code)                                                             \
  static_cast<HRESULT>((static_cast<uint32_t>(sev) << 31) | (static_cast<uint32_t>(fac) << 16) | \
                       static_cast<uint32_t>(code))
#define HRESULT_CODE(hr) (static_cast<uint32_t>(hr) & 0xFFFF)
#define HRESULT_FACILITY(hr) ((static_cast<uint32_t>(hr) >> 16) & 0x1FFF)
#define HRESULT_SEVERITY(hr) ((static_cast<uint32_t>(hr) >> 31) & 0x1)
#define HRESULT_FROM_WIN32(x)                                                                \
  (static_cast<HRESULT>(x) <= 0 ? static_cast<HRESULT>(x)                                    \
                                : static_cast<HRESULT>((static_cast<uint32_t>(x) & 0xFFFF) | \
                                                       (FACILITY_WIN32 << 16) | 0x80000000u))

#define KORVO_HR(x) static_cast<HRESULT>(static_cast<uint32_t>(x))

#define S_OK KORVO_HR(0x00000000)
#define S_FALSE KORVO_HR(0x00000001)
#define E_NOTIMPL KORVO_HR(0x80004001)
#define E_NOINTERFACE KORVO_HR(0x80004002)
#define E_POINTER KORVO_HR(0x80004003)
#define E_ABORT KORVO_HR(0x80004004)
#define E_FAIL KORVO_HR(0x80004005)
#define E_UNEXPECTED KORVO_HR(0x8000FFFF)
#define E_ACCESSDENIED KORVO_HR(0x80070005)
#define E_HANDLE KORVO_HR(0x80070006)
#define E_OUTOFMEMORY KORVO_HR(0x8007000E)
#define E_INVALIDARG KORVO_HR(0x80070057)

#define CO_E_NOTINITIALIZED KORVO_HR(0x800401F0)
#define CO_E_CLASSSTRING KORVO_HR(0x800401F3)
#define RPC_E_CHANGED_MODE KORVO_HR(0x80010106)
#define CLASS_E_NOAGGREGATION KORVO_HR(0x80040110)
#define CLASS_E_CLASSNOTAVAILABLE KORVO_HR(0x80040111)
#define REGDB_E_CLASSNOTREG KORVO_HR(0x80040154)

#define CONNECT_E_NOCONNECTION KORVO_HR(0x80040200)
#define CONNECT_E_ADVISELIMIT KORVO_HR(0x80040201)
#define CONNECT_E_CANNOTCONNECT KORVO_HR(0x80040202)

#define DISP_E_UNKNOWNINTERFACE KORVO_HR(0x80020001)
#define DISP_E_MEMBERNOTFOUND KORVO_HR(0x80020003)
#define DISP_E_PARAMNOTFOUND KORVO_HR(0x80020004)
#define DISP_E_TYPEMISMATCH KORVO_HR(0x80020005)
#define DISP_E_UNKNOWNNAME KORVO_HR(0x80020006)
#define DISP_E_BADVARTYPE KORVO_HR(0x80020008)
#define DISP_E_EXCEPTION KORVO_HR(0x80020009)
#define DISP_E_OVERFLOW KORVO_HR(0x8002000A)
#define DISP_E_BADINDEX KORVO_HR(0x8002000B)
#define DISP_E_ARRAYISLOCKED KORVO_HR(0x8002000D)
#define DISP_E_BADPARAMCOUNT KORVO_HR(0x8002000E)

#define DB_E_CANTCONVERTVALUE KORVO_HR(0x80040E07)
#define DB_SEC_E_PERMISSIONDENIED KORVO_HR(0x80040E09)
#define DB_E_NOCOMMAND KORVO_HR(0x80040E0C)
#define DB_E_PARAMNOTOPTIONAL KORVO_HR(0x80040E10)
#define DB_E_ERRORSINCOMMAND KORVO_HR(0x80040E14)
#define DB_E_CANTFETCHBACKWARDS KORVO_HR(0x80040E24)
#define DB_E_INTEGRITYVIOLATION KORVO_HR(0x80040E2F)
#define DB_E_ABORTLIMITREACHED KORVO_HR(0x80040E31)
#define DB_E_NOTABLE KORVO_HR(0x80040E37)
#define DB_E_CONCURRENCYVIOLATION KORVO_HR(0x80040E38)
#define DB_E_DATAOVERFLOW KORVO_HR(0x80040E57)

#define XACT_E_NOTRANSACTION KORVO_HR(0x8004D00E)
#define XACT_E_ABORTED KORVO_HR(0x8004D019)
