// ado/providers/odbc/odbc_sql.h: the ODBC API headers, included beside
// Korvo's Windows scalar types. The only way the ODBC provider includes
// them.
//
// unixODBC's sqltypes.h declares its own stand-ins for some Windows types
// (WCHAR as unsigned short, ULONG as unsigned long, its TIMESTAMP_STRUCT)
// that differ from platform/wintypes.h. Its names are moved aside while the
// headers are read; the SQL* types they define are unaffected.
#pragma once

#include <korvo/platform/wintypes.h>

#define WCHAR korvo_odbc_WCHAR
#define LPWSTR korvo_odbc_LPWSTR
#define LPCWSTR korvo_odbc_LPCWSTR
#define ULONG korvo_odbc_ULONG
#define tagTIMESTAMP_STRUCT korvo_odbc_tagTIMESTAMP_STRUCT
#define TIMESTAMP_STRUCT korvo_odbc_TIMESTAMP_STRUCT
#include <sql.h>
#include <sqlext.h>
#undef WCHAR
#undef LPWSTR
#undef LPCWSTR
#undef ULONG
#undef tagTIMESTAMP_STRUCT
#undef TIMESTAMP_STRUCT
#undef BOOL
