// com/vartype.h: the OLE Automation scalar types and the VARIANT type codes
// (published values).
#pragma once

#include <korvo/platform/wintypes.h>

typedef unsigned short VARTYPE;
typedef short VARIANT_BOOL;
typedef double DATE;  // days since 1899-12-30 00:00:00; see oledate.h
typedef float FLOAT;
typedef double DOUBLE;
typedef DWORD LCID;
typedef void* PVOID;

#define VARIANT_TRUE (static_cast<VARIANT_BOOL>(-1))
#define VARIANT_FALSE (static_cast<VARIANT_BOOL>(0))

enum VARENUM : unsigned short {
  VT_EMPTY = 0,
  VT_NULL = 1,
  VT_I2 = 2,
  VT_I4 = 3,
  VT_R4 = 4,
  VT_R8 = 5,
  VT_CY = 6,
  VT_DATE = 7,
  VT_BSTR = 8,
  VT_DISPATCH = 9,
  VT_ERROR = 10,
  VT_BOOL = 11,
  VT_VARIANT = 12,
  VT_UNKNOWN = 13,
  VT_DECIMAL = 14,
  VT_I1 = 16,
  VT_UI1 = 17,
  VT_UI2 = 18,
  VT_UI4 = 19,
  VT_I8 = 20,
  VT_UI8 = 21,
  VT_INT = 22,
  VT_UINT = 23,
  VT_VOID = 24,
  VT_HRESULT = 25,
  VT_RECORD = 36,
  VT_ARRAY = 0x2000,
  VT_BYREF = 0x4000,
  VT_RESERVED = 0x8000,
  VT_TYPEMASK = 0x0FFF,
};

// Currency: a 64-bit integer scaled by 10,000.
typedef union tagCY {
  struct {
    ULONG Lo;
    LONG Hi;
  };
  LONGLONG int64;
} CY;

// Decimal: a 96-bit integer, a sign and a power-of-ten scale. Its first
// two bytes overlay a VARIANT's type code.
typedef struct tagDEC {
  USHORT wReserved;
  BYTE scale;
  BYTE sign;
  ULONG Hi32;
  ULONGLONG Lo64;
} DECIMAL;

#define DECIMAL_NEG (static_cast<BYTE>(0x80))

static_assert(sizeof(CY) == 8, "CY is the published 8-byte layout");
static_assert(sizeof(DECIMAL) == 16, "DECIMAL is the published 16-byte layout");
