// ado/hresult_internal.h: the HRESULTs the object model and its providers
// report, as typed constants (no macros, so they cannot clash with com/).
#pragma once

#include <korvo/platform/wintypes.h>

namespace korvo::ado {

inline constexpr HRESULT Hr(uint32_t v) { return static_cast<HRESULT>(v); }

inline constexpr HRESULT kSOk = 0;
inline constexpr HRESULT kEFail = Hr(0x80004005);
inline constexpr HRESULT kEInvalidArg = Hr(0x80070057);
inline constexpr HRESULT kEOutOfMemory = Hr(0x8007000E);
inline constexpr HRESULT kENotImpl = Hr(0x80004001);
inline constexpr HRESULT kEPointer = Hr(0x80004003);
inline constexpr HRESULT kDbCantConvertValue = Hr(0x80040E07);
inline constexpr HRESULT kDbPermissionDenied = Hr(0x80040E09);  // DB_SEC_E_PERMISSIONDENIED
inline constexpr HRESULT kDbNoCommand = Hr(0x80040E0C);        // DB_E_NOCOMMAND
inline constexpr HRESULT kDbParamNotOptional = Hr(0x80040E10);  // a ? without a value
inline constexpr HRESULT kDbErrorsInCommand = Hr(0x80040E14);
inline constexpr HRESULT kDbCantFetchBackwards = Hr(0x80040E24);
inline constexpr HRESULT kDbIntegrityViolation = Hr(0x80040E2F);
inline constexpr HRESULT kDbConcurrencyViolation = Hr(0x80040E38);
inline constexpr HRESULT kDbAbortLimitReached = Hr(0x80040E31);  // command time-out
inline constexpr HRESULT kDbDataOverflow = Hr(0x80040E57);
inline constexpr HRESULT kXactNoTransaction = Hr(0x8004D00E);   // XACT_E_NOTRANSACTION
inline constexpr HRESULT kXactAborted = Hr(0x8004D019);         // XACT_E_ABORTED

// ADO's own errors: 0x800A0000 + number.
inline constexpr HRESULT AdoError(uint32_t number) { return Hr(0x800A0000u + number); }
inline constexpr HRESULT kAdoNoCurrentRecord = AdoError(3021);
inline constexpr HRESULT kAdoNotAllowed = AdoError(3219);
inline constexpr HRESULT kAdoInTransaction = AdoError(3246);
inline constexpr HRESULT kAdoNotUpdatable = AdoError(3251);
inline constexpr HRESULT kAdoItemNotFound = AdoError(3265);
inline constexpr HRESULT kAdoWrongType = AdoError(3421);
inline constexpr HRESULT kAdoObjectClosed = AdoError(3704);
inline constexpr HRESULT kAdoObjectOpen = AdoError(3705);
inline constexpr HRESULT kAdoProviderNotFound = AdoError(3706);
inline constexpr HRESULT kAdoConnectionUnusable = AdoError(3709);

}  // namespace korvo::ado
