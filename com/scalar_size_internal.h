// com/scalar_size_internal.h: the byte size of the fixed-size VARIANT
// scalar types, shared by SAFEARRAY element sizing and VT_BYREF copies.
#pragma once

#include <korvo/com/vartype.h>

#include <cstddef>

namespace korvo::com {

// Bytes of one value of `vt`; 0 for types that are not fixed-size scalars
// (text, interfaces, decimals, variants).
inline size_t ScalarSize(VARTYPE vt) {
  switch (vt) {
    case VT_I1:
    case VT_UI1:
      return 1;
    case VT_I2:
    case VT_UI2:
    case VT_BOOL:
      return 2;
    case VT_I4:
    case VT_UI4:
    case VT_INT:
    case VT_UINT:
    case VT_R4:
    case VT_ERROR:
      return 4;
    case VT_I8:
    case VT_UI8:
    case VT_R8:
    case VT_CY:
    case VT_DATE:
      return 8;
    default:
      return 0;
  }
}

}  // namespace korvo::com
