// ado/odbc_environment_internal.h: the one driver-manager setting the
// connection layer makes directly (not installed).
//
// Only the ODBC provider includes the ODBC headers; CDatabase reaches the
// driver manager's process-wide connection pooling through this function.
#pragma once

namespace korvo::ado {

// Calls SQLSetEnvAttr with no environment handle, attribute
// SQL_ATTR_CONNECTION_POOLING (201) and `poolingValue` (0 off, 1 one pool
// per driver, 2 one pool per environment) as an integer attribute.
// Returns the driver manager's SQLRETURN (0 = SQL_SUCCESS).
// Thread-safety: as the driver manager; callers serialise it.
int SetOdbcConnectionPooling(unsigned long poolingValue);

}  // namespace korvo::ado
