// recordset/CFieldExchange.h: CFieldExchange, the context of one field
// exchange pass over a recordset's bound member variables.
//
// What it is: every column-wise task of a CRecordset (load the current row
// into the members, write them into the row being edited, decide which
// fields changed, set fields null, list the column names for the SELECT,
// allocate and free multi-row buffers) is one call of the derived class's
// DoFieldExchange (or DoBulkFieldExchange) with a CFieldExchange whose
// operation says what each RFX_ call (recordset/rfx.h) must do. The
// recordset builds one on the stack per pass; hosts only pass it on.
//
// Thread-safety: caller must synchronise (it belongs to the one pass that
// made it). Ownership: owns nothing; m_prs, m_pstrNames, m_pvTarget and
// m_lpszSeparator are borrowed for the pass.
#pragma once

#include <korvo/platform/export.h>
#include <korvo/platform/wintypes.h>
#include <korvo/types/CTString.h>

class CRecordset;

class KORVO_API CFieldExchange {
 public:
  // Operation codes (m_nOperation). Code 5 is not issued.
  enum RFX_Operation : unsigned int {
    opBindFieldsToColumns = 0,  // read the current row into the members
    opBindFieldsForUpdate = 1,  // write dirty members into the row being edited
    opMarkForAddNew = 2,        // mark the fields that hold a value dirty
    opMarkForUpdate = 3,        // mark the fields that differ from the row dirty
    opAppendNames = 4,          // append the column names to *m_pstrNames
    opSetFieldNull = 6,         // set or clear the null bit of one field or all
    opAllocRowset = 7,          // allocate the multi-row buffers
    opFreeRowset = 8,           // free them
  };
  // Field types (m_nFieldType): the RFX_ functions act only on columns.
  enum FieldType : unsigned int { outputColumn = 0 };

  // m_nOperation, m_prs and m_pvTarget from the arguments; every other
  // member 0 or null.
  CFieldExchange(unsigned int nOperation, CRecordset* prs, void* pvTarget = nullptr);
  CFieldExchange(const CFieldExchange&) = default;
  CFieldExchange& operator=(const CFieldExchange&) = default;
  CFieldExchange& operator=(CFieldExchange&&) = default;

  void SetFieldType(unsigned int nFieldType) { m_nFieldType = nFieldType; }
  // With field type 0: advances m_nFieldNumber, stores it through `pnField`
  // and returns 1. Otherwise returns 0 and leaves the counter alone.
  // (Inline: every RFX_ call of every row asks it.)
  int IsFieldType(unsigned int* pnField) {
    if (m_nFieldType != outputColumn) return 0;
    ++m_nFieldNumber;
    if (pnField != nullptr) *pnField = m_nFieldNumber;
    return 1;
  }
  // The fallback of the single-row RFX_ functions: for opAppendNames
  // appends `lpszName` and the separator when the current field is dirty;
  // any other operation throws CDBException* with return code 1030.
  void Default(const char* lpszName);

  unsigned int m_nOperation;
  CRecordset* m_prs;
  unsigned int m_nFieldType;
  CTString* m_pstrNames;
  BOOL m_bNullValue;
  void* m_pvTarget;
  const char* m_lpszSeparator;
  unsigned int m_nFieldNumber;
};
