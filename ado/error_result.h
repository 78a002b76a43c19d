// ado/error_result.h: the HRESULT of one of ADO's own errors.
//
// ADO reports its own errors (the numbers of ErrorValueEnum, 3021 and up)
// as HRESULTs of the control facility, 0x800A0000 + number, so that
//   error.Error() == korvo::ado::AdoError(adErrItemNotFound)
// tests for "item not found". The errors of the COM runtime and of the
// providers (E_FAIL, DB_E_..., XACT_E_...) are the macros of com/hresult.h.
#pragma once

#include <korvo/com/hresult.h>

#include <cstdint>

namespace korvo::ado {

constexpr HRESULT AdoError(uint32_t number) {
  return MAKE_HRESULT(SEVERITY_ERROR, FACILITY_CONTROL, number);
}

}  // namespace korvo::ado
