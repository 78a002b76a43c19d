// com/variant.h: VARIANT, the OLE Automation tagged value, with its
// published member names and the functions that manage it.
//
// A VARIANT owns what its type code says it holds: a BSTR (VT_BSTR), a
// reference on an interface (VT_UNKNOWN, VT_DISPATCH) or an array
// (VT_ARRAY | ...). VariantClear releases that and leaves VT_EMPTY.
// VT_BYREF values point at storage the VARIANT does not own.
// Thread-safety: caller must synchronise use of one VARIANT.
#pragma once

#include <korvo/com/bstr.h>
#include <korvo/com/hresult.h>
#include <korvo/com/safearray.h>
#include <korvo/com/unknown.h>
#include <korvo/com/vartype.h>
#include <korvo/platform/export.h>
#include <korvo/platform/wintypes.h>

typedef struct tagVARIANT VARIANT;

struct tagVARIANT {
  union {
    struct {
      VARTYPE vt;
      WORD wReserved1;
      WORD wReserved2;
      WORD wReserved3;
      union {
        LONGLONG llVal;
        LONG lVal;
        BYTE bVal;
        SHORT iVal;
        FLOAT fltVal;
        DOUBLE dblVal;
        VARIANT_BOOL boolVal;
        SCODE scode;
        CY cyVal;
        DATE date;
        BSTR bstrVal;
        IUnknown* punkVal;
        IDispatch* pdispVal;
        SAFEARRAY* parray;
        BYTE* pbVal;
        SHORT* piVal;
        LONG* plVal;
        LONGLONG* pllVal;
        FLOAT* pfltVal;
        DOUBLE* pdblVal;
        VARIANT_BOOL* pboolVal;
        SCODE* pscode;
        CY* pcyVal;
        DATE* pdate;
        BSTR* pbstrVal;
        IUnknown** ppunkVal;
        IDispatch** ppdispVal;
        SAFEARRAY** pparray;
        VARIANT* pvarVal;
        PVOID byref;
        CHAR cVal;
        USHORT uiVal;
        ULONG ulVal;
        ULONGLONG ullVal;
        INT intVal;
        UINT uintVal;
        DECIMAL* pdecVal;
        CHAR* pcVal;
        USHORT* puiVal;
        ULONG* pulVal;
        ULONGLONG* pullVal;
        INT* pintVal;
        UINT* puintVal;
        struct {
          PVOID pvRecord;
          PVOID pRecInfo;
        };
      };
    };
    DECIMAL decVal;
  };
};

typedef VARIANT VARIANTARG;
typedef VARIANT* LPVARIANT;
typedef VARIANT* LPVARIANTARG;

static_assert(sizeof(VARIANT) == 24, "VARIANT is the published 24-byte layout");

// Accessors of the Windows headers; X is a pointer to a VARIANT.
#define V_VT(X) ((X)->vt)
#define V_ISBYREF(X) (V_VT(X) & VT_BYREF)
#define V_ISARRAY(X) (V_VT(X) & VT_ARRAY)
#define V_UNION(X, Y) ((X)->Y)
#define V_I1(X) V_UNION(X, cVal)
#define V_UI1(X) V_UNION(X, bVal)
#define V_I2(X) V_UNION(X, iVal)
#define V_UI2(X) V_UNION(X, uiVal)
#define V_I4(X) V_UNION(X, lVal)
#define V_UI4(X) V_UNION(X, ulVal)
#define V_I8(X) V_UNION(X, llVal)
#define V_UI8(X) V_UNION(X, ullVal)
#define V_INT(X) V_UNION(X, intVal)
#define V_UINT(X) V_UNION(X, uintVal)
#define V_R4(X) V_UNION(X, fltVal)
#define V_R8(X) V_UNION(X, dblVal)
#define V_CY(X) V_UNION(X, cyVal)
#define V_DATE(X) V_UNION(X, date)
#define V_BSTR(X) V_UNION(X, bstrVal)
#define V_BOOL(X) V_UNION(X, boolVal)
#define V_ERROR(X) V_UNION(X, scode)
#define V_UNKNOWN(X) V_UNION(X, punkVal)
#define V_DISPATCH(X) V_UNION(X, pdispVal)
#define V_ARRAY(X) V_UNION(X, parray)
#define V_BYREF(X) V_UNION(X, byref)
#define V_DECIMAL(X) ((X)->decVal)
#define V_I1REF(X) V_UNION(X, pcVal)
#define V_UI1REF(X) V_UNION(X, pbVal)
#define V_I2REF(X) V_UNION(X, piVal)
#define V_UI2REF(X) V_UNION(X, puiVal)
#define V_I4REF(X) V_UNION(X, plVal)
#define V_UI4REF(X) V_UNION(X, pulVal)
#define V_I8REF(X) V_UNION(X, pllVal)
#define V_UI8REF(X) V_UNION(X, pullVal)
#define V_INTREF(X) V_UNION(X, pintVal)
#define V_UINTREF(X) V_UNION(X, puintVal)
#define V_R4REF(X) V_UNION(X, pfltVal)
#define V_R8REF(X) V_UNION(X, pdblVal)
#define V_CYREF(X) V_UNION(X, pcyVal)
#define V_DATEREF(X) V_UNION(X, pdate)
#define V_BSTRREF(X) V_UNION(X, pbstrVal)
#define V_BOOLREF(X) V_UNION(X, pboolVal)
#define V_ERRORREF(X) V_UNION(X, pscode)
#define V_UNKNOWNREF(X) V_UNION(X, ppunkVal)
#define V_DISPATCHREF(X) V_UNION(X, ppdispVal)
#define V_ARRAYREF(X) V_UNION(X, pparray)
#define V_VARIANTREF(X) V_UNION(X, pvarVal)
#define V_DECIMALREF(X) V_UNION(X, pdecVal)

// Flags of VariantChangeType. Accepted and ignored: conversion always uses
// the invariant rules of variant_change, and booleans always become
// "True"/"False" as text.
#define VARIANT_NOVALUEPROP 0x01
#define VARIANT_ALPHABOOL 0x02
#define VARIANT_NOUSEROVERRIDE 0x04
#define VARIANT_LOCALBOOL 0x10

// Sets VT_EMPTY without looking at the previous contents.
KORVO_API void VariantInit(VARIANTARG* v);
// Releases what v owns and sets VT_EMPTY. DISP_E_BADVARTYPE (v untouched)
// for an unknown type code; DISP_E_ARRAYISLOCKED for a locked array.
KORVO_API HRESULT VariantClear(VARIANTARG* v);
// Clears dest, then makes it a deep copy of src (a new BSTR, a new array,
// an AddRef'd interface; VT_BYREF copies the pointer). dest == src does
// nothing. On failure dest is left VT_EMPTY.
KORVO_API HRESULT VariantCopy(VARIANTARG* dest, const VARIANTARG* src);
// As VariantCopy, but a VT_BYREF source is copied as the value it points at.
KORVO_API HRESULT VariantCopyInd(VARIANT* dest, const VARIANTARG* src);
// Converts src to type vt into dest (which may be src itself). The rules
// are listed in variant_change.cpp. On failure dest is left as it was.
KORVO_API HRESULT VariantChangeType(VARIANTARG* dest, const VARIANTARG* src, USHORT flags,
                                    VARTYPE vt);
// The same; the locale is ignored (conversion is culture-invariant).
KORVO_API HRESULT VariantChangeTypeEx(VARIANTARG* dest, const VARIANTARG* src, LCID lcid,
                                      USHORT flags, VARTYPE vt);
