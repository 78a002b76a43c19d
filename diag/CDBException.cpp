// diag/CDBException.cpp: the narrow and wide database exceptions (diag
// layer). Both are plain records; the texts do their own reference
// counting, so copying is member-wise.
#include <korvo/diag/CDBException.h>
#include <korvo/diag/CDBExceptionW.h>

namespace {

// `p->Delete()` on a null pointer must do nothing, as the exceptions'
// contract says. A compiler may assume `this` is never null and drop a
// plain `if (this)` (g++ and clang both do at -O2), so the pointer is
// passed through an empty asm statement: the optimiser cannot see what
// comes out, and the null test stays.
template <class T>
void DeleteUnlessNull(T* self) {
  asm("" : "+r"(self));
  delete self;
}

}  // namespace

CDBException::CDBException(SHORT nReturnCode) : m_nReturnCode(nReturnCode), m_dwNativeError(0) {}
CDBException::CDBException(DWORD dwNativeError)
    : m_nReturnCode(0), m_dwNativeError(dwNativeError) {}
CDBException::CDBException(const CDBException& other) = default;
CDBException& CDBException::operator=(const CDBException& other) = default;
CDBException::~CDBException() = default;

void CDBException::Empty() {
  m_strErrorText.Empty();
  m_strErrorOrigin.Empty();
}

void CDBException::Delete() { DeleteUnlessNull(this); }
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

void CDBExceptionW::Delete() { DeleteUnlessNull(this); }
void CDBExceptionW::Delete(CDBExceptionW* e) { delete e; }
