// com/safearray.h: SAFEARRAY, the OLE Automation array, restricted to one
// dimension of fixed-size scalar elements (bytes above all: ADO carries
// binary values as VT_ARRAY | VT_UI1).
//
// Element types accepted: VT_I1, VT_UI1, VT_I2, VT_UI2, VT_I4, VT_UI4,
// VT_INT, VT_UINT, VT_I8, VT_UI8, VT_R4, VT_R8, VT_CY, VT_DATE, VT_BOOL,
// VT_ERROR. Other element types and more than one dimension are refused
// (null from the creators, E_INVALIDARG elsewhere).
// Ownership: the creator's caller owns the array and frees it with
// SafeArrayDestroy (a VARIANT of VT_ARRAY type owns it; VariantClear frees
// it). pvData stays valid until the array is destroyed.
// Thread-safety: caller must synchronise use of one array.
#pragma once

#include <korvo/com/hresult.h>
#include <korvo/com/vartype.h>
#include <korvo/platform/export.h>
#include <korvo/platform/wintypes.h>

typedef struct tagSAFEARRAYBOUND {
  ULONG cElements;
  LONG lLbound;
} SAFEARRAYBOUND, *LPSAFEARRAYBOUND;

typedef struct tagSAFEARRAY {
  USHORT cDims;
  USHORT fFeatures;
  ULONG cbElements;
  ULONG cLocks;
  PVOID pvData;
  SAFEARRAYBOUND rgsabound[1];
} SAFEARRAY, *LPSAFEARRAY;

#define FADF_AUTO 0x0001
#define FADF_STATIC 0x0002
#define FADF_EMBEDDED 0x0004
#define FADF_FIXEDSIZE 0x0010
#define FADF_HAVEVARTYPE 0x0080

// A new array of vt elements, zero-filled; null for an unsupported type, a
// dimension count other than 1, a null bound or exhausted memory.
KORVO_API SAFEARRAY* SafeArrayCreate(VARTYPE vt, UINT cDims, SAFEARRAYBOUND* bounds);
KORVO_API SAFEARRAY* SafeArrayCreateVector(VARTYPE vt, LONG lowerBound, ULONG elements);
// Frees the array and its data; DISP_E_ARRAYISLOCKED (and nothing freed)
// while it is locked. Null is accepted (S_OK).
KORVO_API HRESULT SafeArrayDestroy(SAFEARRAY* array);
// A deep copy in *out (null on failure).
KORVO_API HRESULT SafeArrayCopy(SAFEARRAY* array, SAFEARRAY** out);
// Locks the array and returns its data pointer; every successful call needs
// one SafeArrayUnaccessData (E_UNEXPECTED when it is not locked).
KORVO_API HRESULT SafeArrayAccessData(SAFEARRAY* array, void** data);
KORVO_API HRESULT SafeArrayUnaccessData(SAFEARRAY* array);
KORVO_API HRESULT SafeArrayLock(SAFEARRAY* array);
KORVO_API HRESULT SafeArrayUnlock(SAFEARRAY* array);
KORVO_API UINT SafeArrayGetDim(SAFEARRAY* array);  // 0 for null
KORVO_API UINT SafeArrayGetElemsize(SAFEARRAY* array);
KORVO_API HRESULT SafeArrayGetVartype(SAFEARRAY* array, VARTYPE* vt);
// Bounds of dimension `dim` (1-based); DISP_E_BADINDEX for another
// dimension. The upper bound of an empty array is lower bound - 1.
KORVO_API HRESULT SafeArrayGetLBound(SAFEARRAY* array, UINT dim, LONG* bound);
KORVO_API HRESULT SafeArrayGetUBound(SAFEARRAY* array, UINT dim, LONG* bound);
// Copies one element (cbElements bytes) out of or into the array at
// *indices (one index per dimension); DISP_E_BADINDEX outside the bounds.
KORVO_API HRESULT SafeArrayGetElement(SAFEARRAY* array, LONG* indices, void* value);
KORVO_API HRESULT SafeArrayPutElement(SAFEARRAY* array, LONG* indices, void* value);
// Changes the element count of the (single) dimension; the kept elements
// keep their values, new ones are zero. DISP_E_ARRAYISLOCKED while locked.
KORVO_API HRESULT SafeArrayRedim(SAFEARRAY* array, SAFEARRAYBOUND* bound);
