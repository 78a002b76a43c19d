// ado/providers/odbc/environment.cpp: process-wide ODBC driver-manager
// attributes (ado layer, ODBC provider).
#include <korvo/ado/odbc_environment.h>
#include <sql.h>
#include <sqlext.h>

#include <cstdint>

namespace korvo::ado {

int SetOdbcConnectionPooling(unsigned long poolingValue) {
  // An integer attribute travels in the pointer argument itself.
  return SQLSetEnvAttr(SQL_NULL_HENV, SQL_ATTR_CONNECTION_POOLING,
                       reinterpret_cast<SQLPOINTER>(static_cast<uintptr_t>(poolingValue)),
                       SQL_IS_INTEGER);
}

}  // namespace korvo::ado
