// diag/CDBException.cpp: the narrow and wide database exceptions (diag
// layer). Both are plain records; the texts do their own reference
// counting, so copying is member-wise.
#include <korvo/diag/CDBException.h>
#include <korvo/diag/CDBExceptionW.h>

CDBException::CDBException(SHORT nReturnCode) : m_nReturnCode(nReturnCode), m_dwNativeError(0) {}
CDBException::CDBException(DWORD dwNativeError) : m_nReturnCode(0), m_dwNativeError(dwNativeError) {}
CDBException::CDBException(const CDBException& other) = default;
CDBException& CDBException::operator=(const CDBException& other) = default;
CDBException::~CDBException() = default;

void CDBException::Empty() {
  m_strErrorText.Empty();
  m_strErrorOrigin.Empty();
}

void CDBException::Delete() { delete this; }
void CDBException::Delete(CDBException* e) { delete e; }

CDBExceptionW::CDBExceptionW(SHORT nReturnCode) : m_nReturnCode(nReturnCode), m_dwNativeError(0) {}
CDBExceptionW::CDBExceptionW(DWORD dwNativeError)
    : m_nReturnCode(0), m_dwNativeError(dwNativeError) {}
CDBExceptionW::CDBExceptionW(const CDBExceptionW& other) = default;
CDBExceptionW& CDBExceptionW::operator=(const CDBExceptionW& other) = default;
CDBExceptionW::~CDBExceptionW() = default;

void CDBExceptionW::Empty() {
  m_strErrorText.Empty();
  m_strErrorOrigin.Empty();
}

void CDBExceptionW::Delete() { delete this; }
void CDBExceptionW::Delete(CDBExceptionW* e) { delete e; }
