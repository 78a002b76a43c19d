// com/variant_integer_internal.h: the value of a VARIANT that holds one of
// the integer types, shared by VariantChangeType and the ADO collections'
// index reading.
#pragma once

#include <korvo/com/variant.h>

#include <optional>

namespace korvo::com {

// The value of VT_I1, VT_I2, VT_I4, VT_INT, VT_I8, VT_UI1, VT_UI2, VT_UI4
// and VT_UINT (all fit in a long long); nullopt for any other type,
// VT_UI8 included, and for VT_BYREF values.
inline std::optional<long long> SignedIntegerOf(const VARIANT& v) {
  switch (v.vt) {
    case VT_I1:
      return v.cVal;
    case VT_I2:
      return v.iVal;
    case VT_I4:
      return v.lVal;
    case VT_INT:
      return v.intVal;
    case VT_I8:
      return v.llVal;
    case VT_UI1:
      return v.bVal;
    case VT_UI2:
      return v.uiVal;
    case VT_UI4:
      return v.ulVal;
    case VT_UINT:
      return v.uintVal;
    default:
      return std::nullopt;
  }
}

}  // namespace korvo::com
