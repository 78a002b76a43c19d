// ado/odbc_environment.h: the one process-wide driver-manager setting the
// layers above ado make directly (CDatabase::InitEnvironment chooses the
// connection pooling through it).
//
// Only the ODBC provider includes the ODBC headers, so this is the one
// way to the driver manager outside it.
#pragma once

#include <korvo/platform/export.h>

namespace korvo::ado {

// Calls SQLSetEnvAttr with no environment handle, attribute
// SQL_ATTR_CONNECTION_POOLING (201) and `poolingValue` (0 off, 1 one pool
// per driver, 2 one pool per environment) as an integer attribute.
// Returns the driver manager's SQLRETURN (0 = SQL_SUCCESS).
// Thread-safety: as the driver manager; callers serialise it.
KORVO_API int SetOdbcConnectionPooling(unsigned long poolingValue);

}  // namespace korvo::ado
