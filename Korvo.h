// <korvo/Korvo.h>: the whole public interface of Korvo in one include.
#pragma once

// Platform layer: Windows types and services on Linux.
#include <korvo/platform/civil_date.h>
#include <korvo/platform/codepage.h>
#include <korvo/platform/debugout.h>
#include <korvo/platform/export.h>
#include <korvo/platform/file.h>
#include <korvo/platform/filetime.h>
#include <korvo/platform/format.h>
#include <korvo/platform/heap.h>
#include <korvo/platform/process.h>
#include <korvo/platform/registry.h>
#include <korvo/platform/resources.h>
#include <korvo/platform/thread_annotations.h>
#include <korvo/platform/time64.h>
#include <korvo/platform/utf32.h>
#include <korvo/platform/widechar.h>
#include <korvo/platform/wintypes.h>

// Value types.
#include <korvo/types/CDBMapPtrToPtr.h>
#include <korvo/types/CTByteArray.h>
#include <korvo/types/CTLongBinary.h>
#include <korvo/types/CTPtrList.h>
#include <korvo/types/CTString.h>
#include <korvo/types/CTTime.h>
#include <korvo/types/CTVariant.h>
#include <korvo/types/CTWString.h>
#include <korvo/types/TStringBase.h>

// Diagnostics.
#include <korvo/diag/CDBDumpContext.h>

// COM and OLE Automation: the in-process subset the data-access layer uses.
#include <korvo/com/bstr.h>
#include <korvo/com/bstr_t.h>
#include <korvo/com/class_registry.h>
#include <korvo/com/coinit.h>
#include <korvo/com/com_error.h>
#include <korvo/com/com_ptr.h>
#include <korvo/com/connection_point.h>
#include <korvo/com/error_info.h>
#include <korvo/com/guid.h>
#include <korvo/com/hresult.h>
#include <korvo/com/object.h>
#include <korvo/com/oledate.h>
#include <korvo/com/safearray.h>
#include <korvo/com/unknown.h>
#include <korvo/com/variant.h>
#include <korvo/com/variant_t.h>
#include <korvo/com/vartype.h>

// Errors and diagnostics: exceptions, the SQL trace.
#include <korvo/diag/CDBException.h>
#include <korvo/diag/CDBExceptionW.h>
#include <korvo/diag/CKorvoTrace.h>
#include <korvo/diag/host_wide_text.h>
#include <korvo/diag/settings_key.h>

// The data-access object model (ADO) over SQLite and ODBC providers.
#include <korvo/ado/ado.h>
#include <korvo/ado/error_result.h>
#include <korvo/ado/odbc_environment.h>
#include <korvo/ado/row_access.h>

// Connections: CDatabase, its events sink and the global locks.
#include <korvo/db/CDatabase.h>
#include <korvo/db/CDatabaseEvent.h>
#include <korvo/db/global_locks.h>

// Commands: CCmdset, a command or stored procedure with typed parameters.
#include <korvo/cmd/CCmdset.h>

// Recordsets: CRecordset, the field exchange context and the RFX_ functions.
#include <korvo/recordset/CFieldExchange.h>
#include <korvo/recordset/CRecordset.h>
#include <korvo/recordset/rfx.h>
