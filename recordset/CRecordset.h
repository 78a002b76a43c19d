// recordset/CRecordset.h: CRecordset, the result set of the library: a
// SELECT (built from a table name or given whole) opened on a CDatabase,
// a current row moved into the member variables of a derived class, and an
// editing buffer written back with Update.
//
// A host derives from it, declares one member per column, sets m_nFields
// in its constructor and binds the members in DoFieldExchange with the
// RFX_ functions (recordset/rfx.h):
//   class CCustomer : public CRecordset {
//    public:
//     explicit CCustomer(CDatabase* db) : CRecordset(db) { m_nFields = 2; }
//     long m_code = 0;
//     CTString m_name;
//     void DoFieldExchange(CFieldExchange* pFX) override {
//       RFX_Long(pFX, "CODE", m_code);
//       RFX_Text(pFX, "NAME", m_name);
//     }
//   };
//   CCustomer rs(&db);
//   rs.m_strFilter = "ACTIVE=1";
//   rs.Open(CRecordset::forwardOnly, "CUSTOMER", CRecordset::readOnly);
//   for (; !rs.IsEOF(); rs.MoveNext()) use(rs.m_code, rs.m_name);
//
// Errors: every failure is thrown as CDBException* (the catcher owns it and
// calls Delete): return code 1000 with the provider's description and an
// origin "[5000]".."[5022]" for a failing ADO call; the library's own
// checks call the virtual ThrowDBException with 1003 (no field names),
// 1005 (wrong edit mode), 1007 (no current row), 1009 (read-only), 1026
// (unknown field or column number), 1029 (value conversion), 1030 (an
// exchange operation a field type does not handle). IsBOF, IsEOF,
// GetRecordCount, IsOpen and GetFieldIndexByName have no handler: an ADO
// failure there arrives as _com_error.
//
// Recordset states (IsOpen is the ADO recordset's State):
//
//   state  | entered by                         | Open / Requery | Move, edit, field access | Close
//   -------+------------------------------------+----------------+--------------------------+------------
//   closed | construction, Close, failed Open   | -> open        | ADO refuses (3704):      | no
//   ADO call
//          |                                    |                | CDBException or          |
//          |                                    |                | _com_error as above      |
//   open   | Open, OpenW, Requery, RequeryW     | not checked:   | as below                 | ->
//   closed
//          |                                    | close first    |                          |
//
// Edit modes (m_nEditMode) of an open recordset:
//
//   mode    | Edit             | AddNew           | Update               | Delete         | Move
//   --------+------------------+------------------+----------------------+----------------+---------------
//   0 none  | -> 1 (updatable) | -> 2 (appendable)| 1005                 | row deleted, 0 | 0
//   1 edit  | -> 1             | -> 2             | changes: stored, -> 0| 1005           | -> 0
//   when 2 add   | -> 1             | -> 2             | none: returns 0, same|                |
//   fields bound
//
// With multiRowFetch, Edit and AddNew leave the mode alone, Update returns
// 0 and Delete does nothing. Edit / AddNew on a recordset that cannot be
// updated / appended to throw 1009.
//
// Field status: one byte per bound field (field number - 1), bit 1 dirty,
// bit 2 null; see the status operations below.
//
// Thread-safety: caller must synchronise; one recordset is used by one
// thread at a time, on a thread that initialised COM. Open, Move and the
// update execution hold global lock 15 while g_bUseODBCCriticalSection is
// set (db/global_locks.h).
// Ownership: owns its ADO command and recordset objects, its field status
// array and row-status buffer, and, when it was constructed without a
// CDatabase, the CDatabase it made for itself (deleted with it). A
// CDatabase passed in is borrowed and must outlive the recordset.
// Copies (choices of this implementation): a copy shares the ADO objects
// by reference (moving or closing one moves or closes the other's), gets
// its own copies of the status array, the row-status buffer and the field
// map, and never owns the CDatabase: a copy of a recordset that made its
// own connection borrows it, so the source must outlive the copy.
// Assigning to a recordset that made its own connection deletes that
// connection (close the recordset first).
// A class that uses multiRowFetch closes itself in its own destructor:
// by the time ~CRecordset runs, its DoBulkFieldExchange can no longer free
// the multi-row buffers.
#pragma once

#include <korvo/ado/ado.h>
#include <korvo/ado/row_access.h>
#include <korvo/db/CDatabase.h>
#include <korvo/diag/CKorvoTrace.h>
#include <korvo/diag/host_wide_text.h>
#include <korvo/platform/export.h>
#include <korvo/platform/wintypes.h>
#include <korvo/recordset/CFieldExchange.h>
#include <korvo/types/CDBMapPtrToPtr.h>
#include <korvo/types/CTByteArray.h>
#include <korvo/types/CTLongBinary.h>
#include <korvo/types/CTString.h>
#include <korvo/types/CTTime.h>
#include <korvo/types/CTWString.h>

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace korvo::recordset {
struct RecordsetAccess;

// What a recordset remembers between rows so that reading a row costs
// little: the direct row access of the ADO recordset it was found on, and
// which members the field map already holds. A copy starts with nothing
// remembered (it finds both again).
struct RowShortcuts {
  RowShortcuts() = default;
  RowShortcuts(const RowShortcuts&) {}
  RowShortcuts& operator=(const RowShortcuts&) {
    *this = RowShortcuts();
    return *this;
  }
  RowShortcuts& operator=(RowShortcuts&&) = default;

  IKorvoRowAccessPtr access;       // null: the ADO recordset has none
  const void* accessOf = nullptr;  // the _Recordset `access` was asked of
  bool asked = false;              // accessOf has been asked
  std::vector<void*> mapped;       // [field number - 1]: member mapped to it
  int mapCount = 0;                // the field map's size after the last insert
  // Its member fill (IKorvoMemberFill, ado/member_fill_internal.h), held
  // as its IUnknown; null when it has none.
  IUnknownPtr fill;
  // The fills it resolved, by field number (a std::vector<ResolvedFill>
  // of recordset_access_internal.h; the type is not public). They point
  // into the ADO recordset `fill` holds and go when it is asked again.
  std::shared_ptr<void> fills;
  const void* fillTable = nullptr;  // its elements, while it is current
  size_t fillCount = 0;
  // Its direct put (IKorvoDirectPut, ado/direct_put_internal.h), held as
  // its IUnknown; null when it has none. The puts it resolved for the
  // setters, by field number (a std::vector<ResolvedPut>), go with the
  // fills.
  IUnknownPtr put;
  std::shared_ptr<void> puts;
  const void* putTable = nullptr;  // its elements
  size_t putCount = 0;
  // Its EOF, resolved with the fills (a ResolvedEof of
  // member_fill_internal.h, spelt out: the type is not public). It points
  // into the ADO recordset `fill` holds and goes with the fills.
  bool (*eofReader)(const void* cursor) = nullptr;
  const void* eofCursor = nullptr;
  const uint64_t* eofGeneration = nullptr;
  uint64_t eofResolvedAt = 0;
  // The binding pass under way, and whether the row it loads is EOF (asked
  // once per pass: loading the members does not move the recordset).
  const CFieldExchange* bindingPass = nullptr;
  bool bindingEofKnown = false;
  bool bindingAtEof = false;
  // Set by Move while it loads the row its own EOF check found: the
  // binding pass it starts need not ask again.
  bool movedOntoRow = false;
  // The binding pass under way once it is known to load a row (EOF asked
  // and false) with the VARIANT route not forced: what every member of
  // that pass would otherwise check again. Null at any other time.
  const CFieldExchange* fillPass = nullptr;
  // The row the binding pass loads, fetched in one call on its first read
  // (ReadCell); valid while the pass runs and nothing is put.
  std::vector<RowCell> row;
  bool rowLoaded = false;
  bool rowUsable = false;  // the fetch succeeded
};
}  // namespace korvo::recordset

class KORVO_API CRecordset {
 public:
  // Open types (first argument of Open). The cursor follows the bits:
  // bit 2 forward-only, else bit 1 static, else keyset.
  enum OpenType : unsigned int {
    keysetCursor = 0,
    staticCursor = 1,  // the default type
    forwardOnly = 2,
    useDefaultType = 0xFFFFFFFF,  // replaced by m_nDefaultType
  };
  // Option bits (third argument of Open).
  enum OpenOptions : unsigned long {
    none = 0x0,
    readOnly = 0x4,          // read-only lock, server cursor with cache size 100
    appendOnly = 0x8,        // CanUpdate false; the open keeps the field status
    multiRowFetch = 0x200,   // DoBulkFieldExchange with the _Bulk functions
    directExecute = 0x2000,  // the command is not prepared; Requery refuses
  };
  // Move codes (second argument of Move).
  enum FetchType : unsigned short {
    fetchNext = 1,
    fetchFirst = 2,
    fetchLast = 3,
    fetchPrior = 4,
    fetchAbsolute = 5,  // first row, then nRows forward
    fetchRelative = 6,  // nRows from the current row
  };
  // Field status bits.
  enum FieldStatus : unsigned char { fieldDirty = 0x1, fieldNull = 0x2 };

  // ------------------------------------------------------------ lifecycle

  // Creates the ADO command and recordset objects; throws CDBException*
  // "[5000]" when they cannot be created (COM not initialised on this
  // thread). A null database makes the recordset open its own at the first
  // Open, with GetDefaultConnect().
  explicit CRecordset(CDatabase* pDatabase = nullptr);
  CRecordset(const CRecordset& other);
  CRecordset& operator=(const CRecordset& other);
  // Closes (never throws), releases the ADO objects and deletes an own
  // CDatabase.
  virtual ~CRecordset();

  // Opens: builds the statement from `lpszSQL` (a table name, a SELECT, a
  // "{CALL ...}"; null takes GetDefaultSQL()), appends m_strFilter and
  // m_strSort, limits the rows to `dwRowLimit` (0: no limit) and loads the
  // first row. Returns 1, or 0 when the connection could not be opened;
  // throws on every other failure (the recordset is closed then).
  virtual BOOL Open(unsigned int nOpenType = useDefaultType, const char* lpszSQL = nullptr,
                    unsigned long dwOptions = none, unsigned long dwRowLimit = 0);
  // Open with UTF-16 text (held as UTF-8; m_bWideSQL stays set).
  virtual BOOL OpenW(unsigned int nOpenType = useDefaultType, const WCHAR* lpszSQL = nullptr,
                     unsigned long dwOptions = none, unsigned long dwRowLimit = 0);
  // The host's wchar_t (UTF-32) text, converted to UTF-16 and passed to
  // the virtual OpenW (diag/host_wide_text.h: invalid text throws
  // CDBException* and leaves the recordset as it was). A derived class
  // that overrides OpenW hides this form; `using CRecordset::OpenW;`
  // brings it back.
  template <korvo::HostWideChar C>
  BOOL OpenW(unsigned int nOpenType, const C* lpszSQL, unsigned long dwOptions = none,
             unsigned long dwRowLimit = 0) {
    return OpenW(nOpenType, korvo::HostWideText(lpszSQL).c_str(), dwOptions, dwRowLimit);
  }
  // Closes and opens again with the last open's type, text, options and
  // row limit, and the current filter and sort. 0 with directExecute.
  virtual BOOL Requery();
  virtual BOOL RequeryW();
  // Never throws; a failure is traced ("CRecordset::Close Failed IV").
  virtual void Close();
  BOOL IsOpen() const;

  virtual CTString GetDefaultConnect();
  virtual CTString GetDefaultSQL();
  virtual void OnSetOptions();
  // Takes effect at the next open: 3 selects a client cursor, anything
  // else a server cursor.
  void SetCursorLocation(int nLocation);

  // Valid until the next open or the object dies.
  const CTString& GetSQL() const { return m_strSQL; }
  const CTString& GetTableName() const { return m_strTableName; }
  BOOL CanUpdate() const { return m_bUpdatable; }
  BOOL CanAppend() const { return m_bAppendable; }
  BOOL CanRestart() const { return (m_dwOptions & directExecute) ? 0 : 1; }
  BOOL CanTransact() const { return 1; }
  unsigned __int64 GetRowsFetched() const { return 1; }
  unsigned long GetRowsetSize() const { return m_nRowsetSize; }
  // Row 1 only (the buffer has one entry); other rows answer 0.
  unsigned short GetRowStatus(unsigned short wRow) const;

  // A new counted reference to the ADO recordset.
  _RecordsetPtr GetAdoRecordSet() { return m_pRecordset; }
  void SetAdoRecordSet(_RecordsetPtr pRecordset);

  // Throws CDBException* with `nReturnCode` (1001..1030 with the text
  // "Error come from KORVO library"). An override may return; the
  // operation that called it then stops there (answering 0 or -1 where it
  // has a result).
  virtual void ThrowDBException(short nReturnCode);

  virtual void DoFieldExchange(CFieldExchange* pFX);
  virtual void DoBulkFieldExchange(CFieldExchange* pFX);

  // ------------------------------------------------------------ navigation

  // A failing move is "[5002]"; a failure while loading the new row
  // becomes return code 1000 without text or origin (the loading error
  // is traced and deleted). A code outside 1..6 is refused as "[5002]".
  virtual void Move(long nRows, unsigned short wFetchType = fetchNext);
  void MoveNext() { Move(1, fetchNext); }
  void MovePrev() { Move(-1, fetchPrior); }
  void MoveFirst() { Move(1, fetchFirst); }
  void MoveLast() { Move(-1, fetchLast); }
  BOOL IsBOF() const;
  BOOL IsEOF() const;
  long GetRecordCount() const;

  // ------------------------------------------------------------ editing

  virtual void AddNew();
  virtual void Edit();
  // 1 when the row was stored, 0 when nothing had changed.
  virtual BOOL Update();
  virtual void Delete();
  // Leaves edit mode and clears every dirty bit; nothing is sent (the
  // members keep their values). A change still pending in the ADO row
  // (after an Update that failed) is cancelled there too, so that the next
  // move does not write it after all. An ADO failure is "[5015]".
  void CancelUpdate();

  // ------------------------------------------------------------ field status
  // By member address (null: every field). Addresses are those recorded by
  // the last binding pass.
  // Refreshes the dirty bits first (edit mode 1 or 2; 0 otherwise). An
  // address no binding recorded answers 0.
  BOOL IsFieldDirty(void* pv);
  // Throws 1026 for an address no binding recorded.
  BOOL IsFieldNull(void* pv);
  void SetFieldDirty(void* pv, BOOL bDirty = TRUE);
  void SetFieldNull(void* pv, BOOL bNull = TRUE);
  // -1 when `pv` is not bound.
  int GetBoundFieldIndex(void* pv);
  // 1-based position of the column named so (without regard to case);
  // throws 1026 when there is none.
  long GetFieldIndexByName(const char* lpszName);
  // By 0-based index (field number - 1). REQUIRES: nField < m_nFields and
  // the recordset has been opened (the status array exists).
  unsigned char GetFieldStatus(unsigned long nField);
  void SetFieldStatus(unsigned long nField, unsigned char nStatus);
  void ClearFieldStatus();
  BOOL IsFieldStatusDirty(unsigned long nField) const;
  BOOL IsFieldStatusNull(unsigned long nField) const;
  void SetDirtyFieldStatus(unsigned long nField);
  void ClearDirtyFieldStatus(unsigned long nField);
  void SetNullFieldStatus(unsigned long nField);
  void ClearNullFieldStatus(unsigned long nField);

  unsigned int BindFieldsToColumns();
  void BindFieldsForUpdate();
  void MarkForUpdate();
  void MarkForAddNew();
  // Appends the bound column names, each followed by `lpszSeparator`, to
  // *pstr; returns the number of column fields the pass visited.
  unsigned int AppendNames(CTString* pstr, const char* lpszSeparator);

  // ------------------------------------------------------------ field values
  // Column numbers are 1-based; a number outside the row's columns throws
  // 1026. A null column is reported through SetFieldNull(target, 1): a
  // bound member gets its null bit and pseudo-null value, any other target
  // keeps its value. A value that cannot be converted throws 1029.

  void GetFieldValue(short nIndex, long& value);
  void GetFieldValue(short nIndex, int& value);
  void GetFieldValue(const char* lpszName, int& value);
  void GetFieldValueBool(short nIndex, int& value);
  void GetFieldValue(short nIndex, double& value);
  void GetFieldValue(short nIndex, unsigned char& value);
  void GetFieldValue(short nIndex, CTString& value);
  void GetFieldValue(const char* lpszName, CTString& value);
  void GetFieldValue(short nIndex, CTWString& value);
  void GetFieldValue(const char* lpszName, CTWString& value);
  // Copies at most nSize units (wcsncpy: zero-padded, unterminated when
  // the text fills the buffer).
  void GetFieldValue(short nIndex, WCHAR* lpszValue, int nSize);
  // Wide text for the host as UTF-32: into a std::wstring, or into a
  // wchar_t buffer of nSize characters with the wcsncpy rule above. A lone
  // surrogate in the value throws CDBException* (diag/host_wide_text.h),
  // a null value reads as empty text.
  void GetFieldValue(short nIndex, std::wstring& value);
  void GetFieldValue(const char* lpszName, std::wstring& value);
  template <korvo::HostWideChar C>
  void GetFieldValue(short nIndex, C* lpszValue, int nSize) {
    std::wstring value;
    GetFieldValue(nIndex, value);
    CopyHostWideText(value, lpszValue, nSize);
  }
  // Dates as "YYYY-MM-DD hh:mm:ss.mmm", text as is, anything else empty.
  void GetFieldValue2(short nIndex, CTString& value);
  void GetFieldValue2(short nIndex, CTWString& value);
  void GetFieldValue(short nIndex, CTTime& value);
  void GetFieldValue(short nIndex, SYSTEMTIME* pValue);
  void GetFieldValue(short nIndex, CTByteArray& value);
  void GetFieldValue(short nIndex, CTLongBinary& value);

  // Bulk getters: *pIndicator = -1 for a null column (target untouched),
  // -2 otherwise.
  void GetBulkFieldValue(short nIndex, char*& lpszBuffer, __int64* pIndicator, int nSize);
  void GetBulkFieldValue(short nIndex, int* pValue, __int64* pIndicator);
  void GetBulkFieldValue(short nIndex, long* pValue, __int64* pIndicator);
  void GetBulkFieldValue(short nIndex, TIMESTAMP_STRUCT* pValue, __int64* pIndicator);
  void GetBulkFieldValue(short nIndex, double* pValue, __int64* pIndicator);

  // 1 when column nIndex of the current row equals `value`, else 0.
  int CmpFieldValue(short nIndex, CTString& value);
  int CmpFieldValue(short nIndex, CTWString& value);
  int CmpFieldValue(short nIndex, int& value);
  int CmpFieldValue(short nIndex, long& value);
  int CmpFieldValue(short nIndex, CTTime& value);
  int CmpFieldValue(short nIndex, double& value);
  int CmpFieldValue2(short nIndex, CTString& value);
  int CmpFieldValue2(short nIndex, CTWString& value);

  // Setters write into the row being edited, and only while the field's
  // dirty bit is set (a set null bit writes NULL). REQUIRES: the recordset
  // is open and 1 <= nIndex <= m_nFields.
  void SetFieldValue(short nIndex, CTString& value);
  void SetFieldValue(short nIndex, CTWString& value);
  void SetFieldValue(short nIndex, int& value);  // low 16 bits
  void SetFieldValueBool(short nIndex, int& value);
  void SetFieldValue(short nIndex, long& value);
  void SetFieldValue(short nIndex, double& value);
  void SetFieldValue(short nIndex, unsigned char& value);
  void SetFieldValue(short nIndex, CTTime& value);
  void SetFieldValue(short nIndex, CTByteArray& value);
  void SetFieldValue(short nIndex, CTLongBinary& value);
  // Stores the value of the SQL expression `value` as the engine
  // evaluates it ("SELECT <expr> AS RES [FROM DUAL]").
  void SetFieldValue2(short nIndex, CTString& value);
  void SetFieldValue2(short nIndex, CTWString& value);
  // The host's wchar_t (UTF-32) text, converted to UTF-16 first
  // (diag/host_wide_text.h: invalid text throws CDBException*).
  template <korvo::HostWideChar C>
  void SetFieldValue(short nIndex, const C* value) {
    CTWString text(korvo::HostWideText(value).c_str());
    SetFieldValue(nIndex, text);
  }
  template <korvo::HostWideChar C>
  void SetFieldValue2(short nIndex, const C* value) {
    CTWString text(korvo::HostWideText(value).c_str());
    SetFieldValue2(nIndex, text);
  }

  // Column nIndex's name, ADO type code and the current value's length in
  // bytes; the type and size pointers may be null.
  void GetFieldInfo(short nIndex, CTString& strName, int* pnType = nullptr,
                    unsigned int* pnSize = nullptr);
  long GetFieldsCount();

  // ------------------------------------------------------------ data

  _RecordsetPtr m_pRecordset;
  _CommandPtr m_pCommand;
  CKorvoTrace m_trace;
  int m_nCursorLocation;
  DWORD m_dwRowLimit;
  BOOL m_bWideSQL;
  CDatabase* m_pDatabase;
  CTString m_strFilter;
  CTString m_strSort;
  unsigned int m_nFields;

 protected:
  DWORD m_dwOptions;
  int m_nConnectOption;
  CDBMapPtrToPtr m_mapFieldIndex;
  int m_nOpenType;
  int m_nDefaultType;
  int m_nEditMode;
  unsigned short* m_pRowStatus;
  BOOL m_bOwnDatabase;
  BOOL m_bUpdatable;
  BOOL m_bAppendable;
  CTString m_strSQL;
  CTString m_strTableName;
  int m_nBoundFields;
  unsigned char* m_pFieldStatus;
  unsigned long m_nRowsetSize;
  BOOL m_bRowsetAllocated;
  CTString m_strRequerySQL;
  CTString m_strOpenFilter;
  CTString m_strOpenSort;

  // ------------------------------------------------------------ open steps
  void SetState(int nOpenType, const char* lpszSQL, unsigned long dwOptions);
  BOOL AllocHstmt();
  void AllocStatusArrays();
  void BuildSQL(const char* lpszSQL);
  void BuildSelectSQL();
  void AppendFilterAndSortSQL();
  void m_PrepareAndExecute(unsigned long dwOptions);
  void AllocRowset();
  void FreeRowset();
  void InitRecord();

  BOOL UpdateInsertDelete();
  void ExecuteSetPosUpdate();

  // ------------------------------------------------------------ value plumbing
  // Protected rather than private so that a derived class (and the tests)
  // can reach the conversions the typed accessors are made of.
  void m_GetFieldObject(short nIndex, FieldPtr& field);
  void m_GetFieldValue(short nIndex, VARIANT& value);
  int m_SetNullFieldStatus(void* pv, VARIANT& value);

  long m_VariantToLong(VARIANT& value);
  int m_VariantToBool(VARIANT& value);
  int m_VariantToInt(VARIANT& value);
  double m_VariantToDouble(VARIANT& value);
  void m_VariantToByte(VARIANT& value, unsigned char& out);
  void m_VariantToTimestampStruct(VARIANT& value, TIMESTAMP_STRUCT* out);
  void m_VariantToCTTime(VARIANT& value, CTTime& out);
  void m_VariantToSYSTEMTIME(VARIANT& value, SYSTEMTIME* out);
  void m_VariantToLPSTR(VARIANT& value, char*& buffer, int nSize);
  void m_VariantToCTString(VARIANT& value, CTString& out);
  void m_VariantToCTWString(VARIANT& value, CTWString& out);
  void m_VariantToCTString2(VARIANT& value, CTString& out);
  void m_VariantToCTWString2(VARIANT& value, CTWString& out);
  void m_VariantToWchar(VARIANT& value, WCHAR* buffer, int nSize);
  void m_SetScalareFunction(_variant_t& result, CTString& expression);
  void m_SetScalareFunction(_variant_t& result, CTWString& expression);

  void m_GetFieldByteArrayValue(short nIndex, VARIANT& value, long& count);
  void m_GetFieldLongBinaryValue(short nIndex, _variant_t& value, long& count);
  void m_VariantToCTByteArray(VARIANT& value, CTByteArray& out, long count);
  void m_VariantToCTLongBinary(_variant_t& value, CTLongBinary& out, long count);
  void m_AllocLongBinary(CTLongBinary& out, long count);
  void m_AppendChunk(FieldPtr& field, const void* data, unsigned __int64 count);

 private:
  // The wchar_t-buffer getter's copy (wcsncpy rule, in wchar_t units).
  static void CopyHostWideText(const std::wstring& value, wchar_t* buffer, int nSize);
  friend struct korvo::recordset::RecordsetAccess;
  void CopyOwnedBuffers(const CRecordset& other);

  korvo::recordset::RowShortcuts m_shortcuts;
};
