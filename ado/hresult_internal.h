// ado/hresult_internal.h: the short names the object model and its
// providers use for the HRESULTs they report. Every value is defined once:
// the COM and OLE DB codes in com/hresult.h, ADO's own errors by their
// ErrorValueEnum number (ado/ado.h) through AdoError (ado/error_result.h).
#pragma once

#include <korvo/ado/ado.h>
#include <korvo/ado/error_result.h>
#include <korvo/com/hresult.h>

namespace korvo::ado {

inline constexpr HRESULT kSOk = S_OK;
inline constexpr HRESULT kEFail = E_FAIL;
inline constexpr HRESULT kEInvalidArg = E_INVALIDARG;
inline constexpr HRESULT kEOutOfMemory = E_OUTOFMEMORY;
inline constexpr HRESULT kENotImpl = E_NOTIMPL;
inline constexpr HRESULT kEPointer = E_POINTER;
inline constexpr HRESULT kDbCantConvertValue = DB_E_CANTCONVERTVALUE;
inline constexpr HRESULT kDbPermissionDenied = DB_SEC_E_PERMISSIONDENIED;
inline constexpr HRESULT kDbNoCommand = DB_E_NOCOMMAND;
inline constexpr HRESULT kDbParamNotOptional = DB_E_PARAMNOTOPTIONAL;  // a ? without a value
inline constexpr HRESULT kDbErrorsInCommand = DB_E_ERRORSINCOMMAND;
inline constexpr HRESULT kDbCantFetchBackwards = DB_E_CANTFETCHBACKWARDS;
inline constexpr HRESULT kDbIntegrityViolation = DB_E_INTEGRITYVIOLATION;
inline constexpr HRESULT kDbConcurrencyViolation = DB_E_CONCURRENCYVIOLATION;
inline constexpr HRESULT kDbAbortLimitReached = DB_E_ABORTLIMITREACHED;  // command time-out
inline constexpr HRESULT kDbDataOverflow = DB_E_DATAOVERFLOW;
inline constexpr HRESULT kXactNoTransaction = XACT_E_NOTRANSACTION;
inline constexpr HRESULT kXactAborted = XACT_E_ABORTED;

inline constexpr HRESULT kAdoNoCurrentRecord = AdoError(adErrNoCurrentRecord);
inline constexpr HRESULT kAdoNotAllowed = AdoError(adErrIllegalOperation);
inline constexpr HRESULT kAdoInTransaction = AdoError(adErrInTransaction);
inline constexpr HRESULT kAdoNotUpdatable = AdoError(adErrFeatureNotAvailable);
inline constexpr HRESULT kAdoItemNotFound = AdoError(adErrItemNotFound);
inline constexpr HRESULT kAdoWrongType = AdoError(adErrDataConversion);
inline constexpr HRESULT kAdoObjectClosed = AdoError(adErrObjectClosed);
inline constexpr HRESULT kAdoObjectOpen = AdoError(adErrObjectOpen);
inline constexpr HRESULT kAdoProviderNotFound = AdoError(adErrProviderNotFound);
inline constexpr HRESULT kAdoConnectionUnusable = AdoError(adErrInvalidConnection);

}  // namespace korvo::ado
