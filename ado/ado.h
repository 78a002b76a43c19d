// ado/ado.h: Korvo's ADO object model: the data-access interfaces
// (_Connection, _Command, _Parameter, _Recordset, Fields/Field,
// Errors/Error, Properties/Property, ConnectionEventsVt), their
// enumerations, class identifiers and smart pointers.
//
// Objects are created by class through COM on a thread that initialised
// it:
//   _ConnectionPtr conn;
//   HRESULT hr = conn.CreateInstance(__uuidof(Connection));
//   conn->Open(L"Provider=SQLite;Data Source=app.db", "", "", adConnectUnspecified);
//
// Every interface has two layers of members:
//  - raw virtual methods returning an HRESULT, with the vtable names of the
//    COM type library: properties as get_X / put_X / putref_X, methods as
//    raw_X (raw_Open, raw_Execute, raw_MoveNext, ...). A failing raw method
//    has recorded its description as the thread's error information
//    (com/error_info.h) and, for provider errors, the provider's records
//    in the connection's Errors collection.
//  - raising wrappers (non-virtual, inline): GetX() / PutX() / PutRefX()
//    for properties and the plain method name (Open, Execute, MoveNext,
//    ...) for methods. They return the value (or the HRESULT) and throw
//    _com_error, carrying the recorded description, on any failure.
// Out pointers returned by raw methods carry one reference (interfaces) or
// a new BSTR / VARIANT the caller frees.
//
// Objects are not internally synchronised: one object (and the objects of
// one connection) is used by one thread at a time.
#pragma once

#include <korvo/com/bstr_t.h>
#include <korvo/com/com_error.h>
#include <korvo/com/com_ptr.h>
#include <korvo/com/connection_point.h>
#include <korvo/com/guid.h>
#include <korvo/com/unknown.h>
#include <korvo/com/variant.h>
#include <korvo/com/variant_t.h>
#include <korvo/platform/export.h>

#include <string>

// ---------------------------------------------------------------- enumerations
// Grouped by the interface that takes them; the values are ADO's published
// ones.

// Recordset: cursor, lock and cursor location (CursorType, LockType,
// CursorLocation, also Connection.CursorLocation).
enum CursorTypeEnum {
  adOpenUnspecified = -1,
  adOpenForwardOnly = 0,
  adOpenKeyset = 1,
  adOpenDynamic = 2,
  adOpenStatic = 3
};
enum LockTypeEnum {
  adLockUnspecified = -1,
  adLockReadOnly = 1,
  adLockPessimistic = 2,
  adLockOptimistic = 3,
  adLockBatchOptimistic = 4
};
enum CursorLocationEnum { adUseNone = 1, adUseServer = 2, adUseClient = 3, adUseClientBatch = 3 };

// Execute and Open options: the command type and execution flags, or-ed
// into one `options` argument.
enum CommandTypeEnum {
  adCmdUnspecified = -1,
  adCmdUnknown = 8,
  adCmdText = 1,
  adCmdTable = 2,
  adCmdStoredProc = 4,
  adCmdFile = 256,
  adCmdTableDirect = 512
};
enum ExecuteOptionEnum {
  adOptionUnspecified = -1,
  adAsyncExecute = 0x10,
  adAsyncFetch = 0x20,
  adAsyncFetchNonBlocking = 0x40,
  adExecuteNoRecords = 0x80
};

// Connection: Open options, State (also Command and Recordset State),
// IsolationLevel, the "Prompt" property, and the events' status.
enum ConnectOptionEnum { adConnectUnspecified = -1, adAsyncConnect = 0x10 };
enum ObjectStateEnum {
  adStateClosed = 0,
  adStateOpen = 1,
  adStateConnecting = 2,
  adStateExecuting = 4,
  adStateFetching = 8
};
enum IsolationLevelEnum {
  adXactUnspecified = -1,
  adXactChaos = 16,
  adXactReadUncommitted = 256,
  adXactBrowse = 256,
  adXactCursorStability = 4096,
  adXactReadCommitted = 4096,
  adXactRepeatableRead = 65536,
  adXactSerializable = 1048576,
  adXactIsolated = 1048576
};
enum ConnectPromptEnum {
  adPromptAlways = 1,
  adPromptComplete = 2,
  adPromptCompleteRequired = 3,
  adPromptNever = 4
};
enum EventStatusEnum {
  adStatusOK = 1,
  adStatusErrorsOccurred = 2,
  adStatusCantDeny = 3,
  adStatusCancel = 4,
  adStatusUnwantedEvent = 5
};

// Recordset navigation and editing: AbsolutePosition's special values,
// Move's start, Delete's and CancelBatch's scope, EditMode.
enum PositionEnum { adPosUnknown = -1, adPosBOF = -2, adPosEOF = -3 };
enum BookmarkEnum { adBookmarkCurrent = 0, adBookmarkFirst = 1, adBookmarkLast = 2 };
enum AffectEnum {
  adAffectCurrent = 1,
  adAffectGroup = 2,
  adAffectAll = 3,
  adAffectAllChapters = 4
};
enum EditModeEnum { adEditNone = 0, adEditInProgress = 1, adEditAdd = 2, adEditDelete = 4 };

// Field and Parameter: data types, field attributes, parameter direction.
enum DataTypeEnum {
  adEmpty = 0,
  adSmallInt = 2,
  adInteger = 3,
  adSingle = 4,
  adDouble = 5,
  adCurrency = 6,
  adDate = 7,
  adBSTR = 8,
  adIDispatch = 9,
  adError = 10,
  adBoolean = 11,
  adVariant = 12,
  adIUnknown = 13,
  adDecimal = 14,
  adTinyInt = 16,
  adUnsignedTinyInt = 17,
  adUnsignedSmallInt = 18,
  adUnsignedInt = 19,
  adBigInt = 20,
  adUnsignedBigInt = 21,
  adFileTime = 64,
  adGUID = 72,
  adBinary = 128,
  adChar = 129,
  adWChar = 130,
  adNumeric = 131,
  adUserDefined = 132,
  adDBDate = 133,
  adDBTime = 134,
  adDBTimeStamp = 135,
  adChapter = 136,
  adPropVariant = 138,
  adVarNumeric = 139,
  adVarChar = 200,
  adLongVarChar = 201,
  adVarWChar = 202,
  adLongVarWChar = 203,
  adVarBinary = 204,
  adLongVarBinary = 205
};
enum FieldAttributeEnum {
  adFldUnspecified = -1,
  adFldMayDefer = 0x2,
  adFldUpdatable = 0x4,
  adFldUnknownUpdatable = 0x8,
  adFldFixed = 0x10,
  adFldIsNullable = 0x20,
  adFldMayBeNull = 0x40,
  adFldLong = 0x80,
  adFldRowID = 0x100,
  adFldRowVersion = 0x200,
  adFldCacheDeferred = 0x1000,
  adFldKeyColumn = 0x8000
};
enum FieldEnum { adUnknown = -1 };
enum ParameterDirectionEnum {
  adParamUnknown = 0,
  adParamInput = 1,
  adParamOutput = 2,
  adParamInputOutput = 3,
  adParamReturnValue = 4
};

// Property: attributes.
enum PropertyAttributesEnum {
  adPropNotSupported = 0,
  adPropRequired = 1,
  adPropOptional = 2,
  adPropRead = 512,
  adPropWrite = 1024
};

// ADO's own error numbers (HRESULT = 0x800A0000 + number).
enum ErrorValueEnum {
  adErrNoCurrentRecord = 3021,
  adErrIllegalOperation = 3219,
  adErrFeatureNotAvailable = 3251,
  adErrItemNotFound = 3265,
  adErrInvalidArgument = 3001,
  adErrDataConversion = 3421,
  adErrObjectClosed = 3704,
  adErrObjectOpen = 3705,
  adErrProviderNotFound = 3706,
  adErrInvalidConnection = 3709,
  adErrInTransaction = 3246
};

// ------------------------------------------------------------ declarations
// Interface and class identifiers, and a smart pointer per interface
// (_ConnectionPtr, FieldsPtr, ...), which holds one reference.

struct _Connection;
struct _Command;
struct _Recordset;
struct _Parameter;
struct Parameters;
struct Fields;
struct Field;
struct Errors;
struct Error;
struct Properties;
struct Property;
struct ConnectionEventsVt;

// The creatable classes: __uuidof(Connection) etc. name them.
struct Connection;
struct Command;
struct Recordset;
struct Parameter;

KORVO_DEFINE_UUID(_Connection, "00001550-0000-0010-8000-00AA006D2EA4")
KORVO_DEFINE_UUID(_Command, "0000154E-0000-0010-8000-00AA006D2EA4")
KORVO_DEFINE_UUID(_Recordset, "00001556-0000-0010-8000-00AA006D2EA4")
KORVO_DEFINE_UUID(_Parameter, "0000050C-0000-0010-8000-00AA006D2EA4")
KORVO_DEFINE_UUID(Parameters, "0000050D-0000-0010-8000-00AA006D2EA4")
KORVO_DEFINE_UUID(Fields, "00001564-0000-0010-8000-00AA006D2EA4")
KORVO_DEFINE_UUID(Field, "00001569-0000-0010-8000-00AA006D2EA4")
KORVO_DEFINE_UUID(Errors, "00000501-0000-0010-8000-00AA006D2EA4")
KORVO_DEFINE_UUID(Error, "00000500-0000-0010-8000-00AA006D2EA4")
KORVO_DEFINE_UUID(Properties, "00000504-0000-0010-8000-00AA006D2EA4")
KORVO_DEFINE_UUID(Property, "00000503-0000-0010-8000-00AA006D2EA4")
KORVO_DEFINE_UUID(ConnectionEventsVt, "00001402-0000-0010-8000-00AA006D2EA4")
KORVO_DEFINE_UUID(Connection, "00000514-0000-0010-8000-00AA006D2EA4")
KORVO_DEFINE_UUID(Command, "00000507-0000-0010-8000-00AA006D2EA4")
KORVO_DEFINE_UUID(Recordset, "00000535-0000-0010-8000-00AA006D2EA4")
KORVO_DEFINE_UUID(Parameter, "0000050B-0000-0010-8000-00AA006D2EA4")

_COM_SMARTPTR_TYPEDEF(_Connection, __uuidof(_Connection));
_COM_SMARTPTR_TYPEDEF(_Command, __uuidof(_Command));
_COM_SMARTPTR_TYPEDEF(_Recordset, __uuidof(_Recordset));
_COM_SMARTPTR_TYPEDEF(_Parameter, __uuidof(_Parameter));
_COM_SMARTPTR_TYPEDEF(Parameters, __uuidof(Parameters));
_COM_SMARTPTR_TYPEDEF(Fields, __uuidof(Fields));
_COM_SMARTPTR_TYPEDEF(Field, __uuidof(Field));
_COM_SMARTPTR_TYPEDEF(Errors, __uuidof(Errors));
_COM_SMARTPTR_TYPEDEF(Error, __uuidof(Error));
_COM_SMARTPTR_TYPEDEF(Properties, __uuidof(Properties));
_COM_SMARTPTR_TYPEDEF(Property, __uuidof(Property));
_COM_SMARTPTR_TYPEDEF(ConnectionEventsVt, __uuidof(ConnectionEventsVt));

namespace korvo::ado {
// Raises _com_error for a failing hr with the thread's error record.
inline HRESULT Check(HRESULT hr, IUnknown* object, REFIID iid) {
  if (FAILED(hr)) _com_issue_errorex(hr, object, iid);
  return hr;
}
}  // namespace korvo::ado

#define KORVO_ADO_CHECK(hr, I) ::korvo::ado::Check((hr), this, __uuidof(I))

// ------------------------------------------------------------ properties

// A named value of a connection (its Properties); the connection's
// properties read and write through to it ("Prompt", "Extended
// Properties", "DBMS Name", ...). Writing a read-only one fails (3219).
struct Property : IDispatch {
  virtual HRESULT get_Value(VARIANT* out) = 0;
  virtual HRESULT put_Value(VARIANT value) = 0;
  virtual HRESULT get_Name(BSTR* out) = 0;
  virtual HRESULT get_Type(DataTypeEnum* out) = 0;
  virtual HRESULT get_Attributes(long* out) = 0;

  _variant_t GetValue() {
    VARIANT v;
    VariantInit(&v);
    KORVO_ADO_CHECK(get_Value(&v), Property);
    return _variant_t(v, false);
  }
  void PutValue(const _variant_t& v) { KORVO_ADO_CHECK(put_Value(v), Property); }
  _bstr_t GetName() {
    BSTR b = nullptr;
    KORVO_ADO_CHECK(get_Name(&b), Property);
    return _bstr_t(b, false);
  }
  DataTypeEnum GetType() {
    DataTypeEnum t = adEmpty;
    KORVO_ADO_CHECK(get_Type(&t), Property);
    return t;
  }

 protected:
  ~Property() = default;
};

// An object's properties. The collection and its items keep the object
// they describe alive.
struct Properties : IDispatch {
  virtual HRESULT get_Count(long* out) = 0;
  // By 0-based position (any integer VARIANT) or by name (VT_BSTR, without
  // regard to case); 3265 when there is none.
  virtual HRESULT get_Item(VARIANT index, Property** out) = 0;
  virtual HRESULT raw_Refresh() = 0;

  long GetCount() {
    long n = 0;
    KORVO_ADO_CHECK(get_Count(&n), Properties);
    return n;
  }
  PropertyPtr GetItem(const _variant_t& index) {
    Property* p = nullptr;
    KORVO_ADO_CHECK(get_Item(index, &p), Properties);
    return PropertyPtr(p, false);
  }
  HRESULT Refresh() { return KORVO_ADO_CHECK(raw_Refresh(), Properties); }

 protected:
  ~Properties() = default;
};

// ------------------------------------------------------------ errors

// One provider record: Number is the HRESULT of the failing call (0 for
// an informational message), NativeError the engine's own code.
struct Error : IDispatch {
  virtual HRESULT get_Number(long* out) = 0;
  virtual HRESULT get_Source(BSTR* out) = 0;
  virtual HRESULT get_Description(BSTR* out) = 0;
  virtual HRESULT get_SQLState(BSTR* out) = 0;
  virtual HRESULT get_NativeError(long* out) = 0;

  long GetNumber() {
    long n = 0;
    KORVO_ADO_CHECK(get_Number(&n), Error);
    return n;
  }
  _bstr_t GetSource() {
    BSTR b = nullptr;
    KORVO_ADO_CHECK(get_Source(&b), Error);
    return _bstr_t(b, false);
  }
  _bstr_t GetDescription() {
    BSTR b = nullptr;
    KORVO_ADO_CHECK(get_Description(&b), Error);
    return _bstr_t(b, false);
  }
  _bstr_t GetSQLState() {
    BSTR b = nullptr;
    KORVO_ADO_CHECK(get_SQLState(&b), Error);
    return _bstr_t(b, false);
  }
  long GetNativeError() {
    long n = 0;
    KORVO_ADO_CHECK(get_NativeError(&n), Error);
    return n;
  }

 protected:
  ~Error() = default;
};

// The records of the connection's last provider failure, or the
// informational messages of its last statement. Replaced by each new
// failure or message batch; emptied when an operation starts.
struct Errors : IDispatch {
  virtual HRESULT get_Count(long* out) = 0;
  virtual HRESULT get_Item(VARIANT index, Error** out) = 0;
  virtual HRESULT raw_Clear() = 0;
  virtual HRESULT raw_Refresh() = 0;

  long GetCount() {
    long n = 0;
    KORVO_ADO_CHECK(get_Count(&n), Errors);
    return n;
  }
  ErrorPtr GetItem(const _variant_t& index) {
    Error* p = nullptr;
    KORVO_ADO_CHECK(get_Item(index, &p), Errors);
    return ErrorPtr(p, false);
  }
  HRESULT Clear() { return KORVO_ADO_CHECK(raw_Clear(), Errors); }

 protected:
  ~Errors() = default;
};

// ------------------------------------------------------------ fields

// A column of the recordset's current row. The Value getters convert the
// row's value to the VARIANT type of the field's Type (VT_NULL for NULL).
// States: every member fails with 3704 once its recordset has closed (a
// Field kept by the host stays safe to call); the value members need a
// current row (3021 at BOF, EOF or on a deleted row), a row being added
// counting as one. Value puts and AppendChunk need an updatable recordset
// (3251) and collect in the recordset's edit buffer until Update;
// OriginalValue and UnderlyingValue show the row as last read or written.
struct Field : IDispatch {
  // The length of the current row's value in bytes; adUnknown (-1) for a
  // NULL, whose length is not known (so a reader that skips zero-length
  // values still reads, and sees, the NULL).
  virtual HRESULT get_ActualSize(long* out) = 0;
  virtual HRESULT get_Attributes(long* out) = 0;
  virtual HRESULT get_DefinedSize(long* out) = 0;
  virtual HRESULT get_Name(BSTR* out) = 0;
  virtual HRESULT get_Type(DataTypeEnum* out) = 0;
  virtual HRESULT get_Value(VARIANT* out) = 0;
  virtual HRESULT put_Value(VARIANT value) = 0;
  virtual HRESULT get_Precision(unsigned char* out) = 0;
  virtual HRESULT get_NumericScale(unsigned char* out) = 0;
  // The next `length` bytes (binary) or characters (text) of the value,
  // continuing where the previous call on the same row stopped; VT_NULL
  // once the value is exhausted.
  virtual HRESULT raw_GetChunk(long length, VARIANT* out) = 0;
  virtual HRESULT raw_AppendChunk(VARIANT data) = 0;
  virtual HRESULT get_OriginalValue(VARIANT* out) = 0;
  virtual HRESULT get_UnderlyingValue(VARIANT* out) = 0;

  long GetActualSize() {
    long n = 0;
    KORVO_ADO_CHECK(get_ActualSize(&n), Field);
    return n;
  }
  long GetAttributes() {
    long n = 0;
    KORVO_ADO_CHECK(get_Attributes(&n), Field);
    return n;
  }
  long GetDefinedSize() {
    long n = 0;
    KORVO_ADO_CHECK(get_DefinedSize(&n), Field);
    return n;
  }
  _bstr_t GetName() {
    BSTR b = nullptr;
    KORVO_ADO_CHECK(get_Name(&b), Field);
    return _bstr_t(b, false);
  }
  DataTypeEnum GetType() {
    DataTypeEnum t = adEmpty;
    KORVO_ADO_CHECK(get_Type(&t), Field);
    return t;
  }
  _variant_t GetValue() {
    VARIANT v;
    VariantInit(&v);
    KORVO_ADO_CHECK(get_Value(&v), Field);
    return _variant_t(v, false);
  }
  void PutValue(const _variant_t& v) { KORVO_ADO_CHECK(put_Value(v), Field); }
  unsigned char GetPrecision() {
    unsigned char n = 0;
    KORVO_ADO_CHECK(get_Precision(&n), Field);
    return n;
  }
  unsigned char GetNumericScale() {
    unsigned char n = 0;
    KORVO_ADO_CHECK(get_NumericScale(&n), Field);
    return n;
  }
  _variant_t GetChunk(long length) {
    VARIANT v;
    VariantInit(&v);
    KORVO_ADO_CHECK(raw_GetChunk(length, &v), Field);
    return _variant_t(v, false);
  }
  HRESULT AppendChunk(const _variant_t& data) {
    return KORVO_ADO_CHECK(raw_AppendChunk(data), Field);
  }
  _variant_t GetOriginalValue() {
    VARIANT v;
    VariantInit(&v);
    KORVO_ADO_CHECK(get_OriginalValue(&v), Field);
    return _variant_t(v, false);
  }
  _variant_t GetUnderlyingValue() {
    VARIANT v;
    VariantInit(&v);
    KORVO_ADO_CHECK(get_UnderlyingValue(&v), Field);
    return _variant_t(v, false);
  }

 protected:
  ~Field() = default;
};

// The columns of a recordset, in result order; empty while it is closed.
// Each open gives a new collection (get it again after Open or Requery).
struct Fields : IDispatch {
  virtual HRESULT get_Count(long* out) = 0;
  // By 0-based position (any integer VARIANT) or by name (VT_BSTR,
  // without regard to case); 3265 when there is none.
  virtual HRESULT get_Item(VARIANT index, Field** out) = 0;
  virtual HRESULT raw_Refresh() = 0;

  long GetCount() {
    long n = 0;
    KORVO_ADO_CHECK(get_Count(&n), Fields);
    return n;
  }
  FieldPtr GetItem(const _variant_t& index) {
    Field* p = nullptr;
    KORVO_ADO_CHECK(get_Item(index, &p), Fields);
    return FieldPtr(p, false);
  }

 protected:
  ~Fields() = default;
};

// ------------------------------------------------------------ parameters

// A value bound to a command's ? marker. Input parameters bind in the order
// they were appended; output and return-value ones bind nothing and are
// not filled. A value is converted to the parameter's Type when the
// command executes; one it cannot take fails the Execute, naming the
// parameter.
struct _Parameter : IDispatch {
  virtual HRESULT get_Name(BSTR* out) = 0;
  virtual HRESULT put_Name(BSTR name) = 0;
  virtual HRESULT get_Value(VARIANT* out) = 0;
  virtual HRESULT put_Value(VARIANT value) = 0;
  virtual HRESULT get_Type(DataTypeEnum* out) = 0;
  virtual HRESULT put_Type(DataTypeEnum type) = 0;
  virtual HRESULT get_Direction(ParameterDirectionEnum* out) = 0;
  virtual HRESULT put_Direction(ParameterDirectionEnum direction) = 0;
  virtual HRESULT get_Precision(unsigned char* out) = 0;
  virtual HRESULT put_Precision(unsigned char precision) = 0;
  virtual HRESULT get_NumericScale(unsigned char* out) = 0;
  virtual HRESULT put_NumericScale(unsigned char scale) = 0;
  virtual HRESULT get_Size(long* out) = 0;
  virtual HRESULT put_Size(long size) = 0;
  virtual HRESULT get_Attributes(long* out) = 0;
  virtual HRESULT put_Attributes(long attributes) = 0;

  _bstr_t GetName() {
    BSTR b = nullptr;
    KORVO_ADO_CHECK(get_Name(&b), _Parameter);
    return _bstr_t(b, false);
  }
  _variant_t GetValue() {
    VARIANT v;
    VariantInit(&v);
    KORVO_ADO_CHECK(get_Value(&v), _Parameter);
    return _variant_t(v, false);
  }
  void PutValue(const _variant_t& v) { KORVO_ADO_CHECK(put_Value(v), _Parameter); }
  DataTypeEnum GetType() {
    DataTypeEnum t = adEmpty;
    KORVO_ADO_CHECK(get_Type(&t), _Parameter);
    return t;
  }
  void PutType(DataTypeEnum t) { KORVO_ADO_CHECK(put_Type(t), _Parameter); }
  ParameterDirectionEnum GetDirection() {
    ParameterDirectionEnum d = adParamUnknown;
    KORVO_ADO_CHECK(get_Direction(&d), _Parameter);
    return d;
  }
  unsigned char GetPrecision() {
    unsigned char n = 0;
    KORVO_ADO_CHECK(get_Precision(&n), _Parameter);
    return n;
  }
  void PutPrecision(unsigned char n) { KORVO_ADO_CHECK(put_Precision(n), _Parameter); }
  unsigned char GetNumericScale() {
    unsigned char n = 0;
    KORVO_ADO_CHECK(get_NumericScale(&n), _Parameter);
    return n;
  }
  void PutNumericScale(unsigned char n) { KORVO_ADO_CHECK(put_NumericScale(n), _Parameter); }
  long GetSize() {
    long n = 0;
    KORVO_ADO_CHECK(get_Size(&n), _Parameter);
    return n;
  }
  void PutSize(long n) { KORVO_ADO_CHECK(put_Size(n), _Parameter); }

 protected:
  ~_Parameter() = default;
};

// A command's parameters, in append order. Holds a reference to each.
struct Parameters : IDispatch {
  virtual HRESULT get_Count(long* out) = 0;
  virtual HRESULT get_Item(VARIANT index, _Parameter** out) = 0;
  // `object` must be a parameter made by a command's CreateParameter (or
  // created by class); E_INVALIDARG otherwise.
  virtual HRESULT raw_Append(IDispatch* object) = 0;
  virtual HRESULT raw_Delete(VARIANT index) = 0;
  virtual HRESULT raw_Refresh() = 0;

  long GetCount() {
    long n = 0;
    KORVO_ADO_CHECK(get_Count(&n), Parameters);
    return n;
  }
  _ParameterPtr GetItem(const _variant_t& index) {
    _Parameter* p = nullptr;
    KORVO_ADO_CHECK(get_Item(index, &p), Parameters);
    return _ParameterPtr(p, false);
  }
  HRESULT Append(IDispatch* object) { return KORVO_ADO_CHECK(raw_Append(object), Parameters); }
  HRESULT Delete(const _variant_t& index) { return KORVO_ADO_CHECK(raw_Delete(index), Parameters); }

 protected:
  ~Parameters() = default;
};

// ------------------------------------------------------------ connection

// A session with one database through its provider (SQLite, or a server
// through ODBC), chosen by the connect string.
// States: closed (created, Close) and open. Open on an open connection
// fails with 3705, Close on a closed one with 3704, Execute and the
// transaction calls on a closed one with 3709. Close while a transaction
// is open fails with 3246 and changes nothing; releasing the object rolls
// an open transaction back. Closing closes the recordsets still open on
// it. Transactions nest (inner levels are savepoints); CommitTrans and
// RollbackTrans end the innermost one.
// Errors: a failing call leaves the provider's records in Errors, emptied
// when the next operation starts. Events: see ConnectionEventsVt, advised
// through IConnectionPointContainer.
struct _Connection : IDispatch {
  virtual HRESULT get_Properties(Properties** out) = 0;
  virtual HRESULT get_ConnectionString(BSTR* out) = 0;
  virtual HRESULT put_ConnectionString(BSTR text) = 0;
  virtual HRESULT get_CommandTimeout(long* out) = 0;
  virtual HRESULT put_CommandTimeout(long seconds) = 0;
  virtual HRESULT get_ConnectionTimeout(long* out) = 0;
  virtual HRESULT put_ConnectionTimeout(long seconds) = 0;
  virtual HRESULT get_Version(BSTR* out) = 0;
  virtual HRESULT raw_Close() = 0;
  // Runs CommandText; *recordsAffected (when not null) receives the count
  // as VT_I4; *out receives a recordset: open with the rows when the
  // statement yields rows (unless adExecuteNoRecords), closed otherwise;
  // `out` may be null.
  virtual HRESULT raw_Execute(BSTR commandText, VARIANT* recordsAffected, long options,
                              _Recordset** out) = 0;
  // *level receives the new nesting level (1 for the outer transaction);
  // inner levels are savepoints.
  virtual HRESULT raw_BeginTrans(long* level) = 0;
  virtual HRESULT raw_CommitTrans() = 0;
  virtual HRESULT raw_RollbackTrans() = 0;
  virtual HRESULT raw_Open(BSTR connectionString, BSTR userId, BSTR password, long options) = 0;
  virtual HRESULT get_Errors(Errors** out) = 0;
  virtual HRESULT get_DefaultDatabase(BSTR* out) = 0;
  virtual HRESULT put_DefaultDatabase(BSTR name) = 0;
  virtual HRESULT get_IsolationLevel(IsolationLevelEnum* out) = 0;
  virtual HRESULT put_IsolationLevel(IsolationLevelEnum level) = 0;
  virtual HRESULT get_CursorLocation(CursorLocationEnum* out) = 0;
  virtual HRESULT put_CursorLocation(CursorLocationEnum location) = 0;
  virtual HRESULT get_Provider(BSTR* out) = 0;
  virtual HRESULT put_Provider(BSTR name) = 0;
  virtual HRESULT get_State(long* out) = 0;
  virtual HRESULT raw_Cancel() = 0;

  PropertiesPtr GetProperties() {
    Properties* p = nullptr;
    KORVO_ADO_CHECK(get_Properties(&p), _Connection);
    return PropertiesPtr(p, false);
  }
  _bstr_t GetConnectionString() {
    BSTR b = nullptr;
    KORVO_ADO_CHECK(get_ConnectionString(&b), _Connection);
    return _bstr_t(b, false);
  }
  void PutConnectionString(const _bstr_t& s) {
    KORVO_ADO_CHECK(put_ConnectionString(s), _Connection);
  }
  long GetCommandTimeout() {
    long n = 0;
    KORVO_ADO_CHECK(get_CommandTimeout(&n), _Connection);
    return n;
  }
  void PutCommandTimeout(long n) { KORVO_ADO_CHECK(put_CommandTimeout(n), _Connection); }
  _bstr_t GetVersion() {
    BSTR b = nullptr;
    KORVO_ADO_CHECK(get_Version(&b), _Connection);
    return _bstr_t(b, false);
  }
  HRESULT Close() { return KORVO_ADO_CHECK(raw_Close(), _Connection); }
  _RecordsetPtr Execute(const _bstr_t& text, VARIANT* recordsAffected, long options) {
    _Recordset* r = nullptr;
    KORVO_ADO_CHECK(raw_Execute(text, recordsAffected, options, &r), _Connection);
    return _RecordsetPtr(r, false);
  }
  long BeginTrans() {
    long n = 0;
    KORVO_ADO_CHECK(raw_BeginTrans(&n), _Connection);
    return n;
  }
  HRESULT CommitTrans() { return KORVO_ADO_CHECK(raw_CommitTrans(), _Connection); }
  HRESULT RollbackTrans() { return KORVO_ADO_CHECK(raw_RollbackTrans(), _Connection); }
  HRESULT Open(const _bstr_t& connectionString, const _bstr_t& userId, const _bstr_t& password,
               long options) {
    return KORVO_ADO_CHECK(raw_Open(connectionString, userId, password, options), _Connection);
  }
  ErrorsPtr GetErrors() {
    Errors* p = nullptr;
    KORVO_ADO_CHECK(get_Errors(&p), _Connection);
    return ErrorsPtr(p, false);
  }
  _bstr_t GetDefaultDatabase() {
    BSTR b = nullptr;
    KORVO_ADO_CHECK(get_DefaultDatabase(&b), _Connection);
    return _bstr_t(b, false);
  }
  IsolationLevelEnum GetIsolationLevel() {
    IsolationLevelEnum l = adXactUnspecified;
    KORVO_ADO_CHECK(get_IsolationLevel(&l), _Connection);
    return l;
  }
  void PutIsolationLevel(IsolationLevelEnum l) {
    KORVO_ADO_CHECK(put_IsolationLevel(l), _Connection);
  }
  CursorLocationEnum GetCursorLocation() {
    CursorLocationEnum l = adUseServer;
    KORVO_ADO_CHECK(get_CursorLocation(&l), _Connection);
    return l;
  }
  void PutCursorLocation(CursorLocationEnum l) {
    KORVO_ADO_CHECK(put_CursorLocation(l), _Connection);
  }
  _bstr_t GetProvider() {
    BSTR b = nullptr;
    KORVO_ADO_CHECK(get_Provider(&b), _Connection);
    return _bstr_t(b, false);
  }
  long GetState() {
    long n = 0;
    KORVO_ADO_CHECK(get_State(&n), _Connection);
    return n;
  }

 protected:
  ~_Connection() = default;
};

// ------------------------------------------------------------ command

// A statement kept with its text, type, time-out and parameters, run on
// its ActiveConnection as often as wanted. With Prepared set it keeps the
// prepared statement and reuses it while the text and connection stay the
// same and no recordset still reads from it. Execute on a command without
// an open connection fails with 3709, without text with DB_E_NOCOMMAND.
// Execute follows the same rules as Connection.Execute (counts, events,
// errors).
struct _Command : IDispatch {
  virtual HRESULT get_Properties(Properties** out) = 0;
  virtual HRESULT get_ActiveConnection(_Connection** out) = 0;
  // The connection object itself (a _Connection, given as IDispatch).
  virtual HRESULT putref_ActiveConnection(IDispatch* connection) = 0;
  // A connection object (VT_DISPATCH / VT_UNKNOWN), or VT_EMPTY / VT_NULL
  // to detach.
  virtual HRESULT put_ActiveConnection(VARIANT connection) = 0;
  virtual HRESULT get_CommandText(BSTR* out) = 0;
  virtual HRESULT put_CommandText(BSTR text) = 0;
  virtual HRESULT get_CommandTimeout(long* out) = 0;
  virtual HRESULT put_CommandTimeout(long seconds) = 0;
  virtual HRESULT get_Prepared(VARIANT_BOOL* out) = 0;
  virtual HRESULT put_Prepared(VARIANT_BOOL prepared) = 0;
  // `parameters` may be null or a missing argument; `options` carries a
  // CommandTypeEnum and/or adExecuteNoRecords.
  virtual HRESULT raw_Execute(VARIANT* recordsAffected, VARIANT* parameters, long options,
                              _Recordset** out) = 0;
  virtual HRESULT raw_CreateParameter(BSTR name, DataTypeEnum type,
                                      ParameterDirectionEnum direction, long size, VARIANT value,
                                      _Parameter** out) = 0;
  virtual HRESULT get_Parameters(Parameters** out) = 0;
  virtual HRESULT put_CommandType(CommandTypeEnum type) = 0;
  virtual HRESULT get_CommandType(CommandTypeEnum* out) = 0;
  virtual HRESULT get_Name(BSTR* out) = 0;
  virtual HRESULT put_Name(BSTR name) = 0;
  virtual HRESULT get_State(long* out) = 0;
  virtual HRESULT raw_Cancel() = 0;

  _ConnectionPtr GetActiveConnection() {
    _Connection* p = nullptr;
    KORVO_ADO_CHECK(get_ActiveConnection(&p), _Command);
    return _ConnectionPtr(p, false);
  }
  void PutRefActiveConnection(IDispatch* c) {
    KORVO_ADO_CHECK(putref_ActiveConnection(c), _Command);
  }
  void PutActiveConnection(const _variant_t& c) {
    KORVO_ADO_CHECK(put_ActiveConnection(c), _Command);
  }
  _bstr_t GetCommandText() {
    BSTR b = nullptr;
    KORVO_ADO_CHECK(get_CommandText(&b), _Command);
    return _bstr_t(b, false);
  }
  void PutCommandText(const _bstr_t& s) { KORVO_ADO_CHECK(put_CommandText(s), _Command); }
  long GetCommandTimeout() {
    long n = 0;
    KORVO_ADO_CHECK(get_CommandTimeout(&n), _Command);
    return n;
  }
  void PutCommandTimeout(long n) { KORVO_ADO_CHECK(put_CommandTimeout(n), _Command); }
  VARIANT_BOOL GetPrepared() {
    VARIANT_BOOL b = VARIANT_FALSE;
    KORVO_ADO_CHECK(get_Prepared(&b), _Command);
    return b;
  }
  void PutPrepared(VARIANT_BOOL b) { KORVO_ADO_CHECK(put_Prepared(b), _Command); }
  _RecordsetPtr Execute(VARIANT* recordsAffected, VARIANT* parameters, long options) {
    _Recordset* r = nullptr;
    KORVO_ADO_CHECK(raw_Execute(recordsAffected, parameters, options, &r), _Command);
    return _RecordsetPtr(r, false);
  }
  _ParameterPtr CreateParameter(const _bstr_t& name, DataTypeEnum type,
                                ParameterDirectionEnum direction, long size,
                                const _variant_t& value = vtMissing) {
    _Parameter* p = nullptr;
    KORVO_ADO_CHECK(raw_CreateParameter(name, type, direction, size, value, &p), _Command);
    return _ParameterPtr(p, false);
  }
  ParametersPtr GetParameters() {
    Parameters* p = nullptr;
    KORVO_ADO_CHECK(get_Parameters(&p), _Command);
    return ParametersPtr(p, false);
  }
  void PutCommandType(CommandTypeEnum t) { KORVO_ADO_CHECK(put_CommandType(t), _Command); }
  CommandTypeEnum GetCommandType() {
    CommandTypeEnum t = adCmdUnspecified;
    KORVO_ADO_CHECK(get_CommandType(&t), _Command);
    return t;
  }
  long GetState() {
    long n = 0;
    KORVO_ADO_CHECK(get_State(&n), _Command);
    return n;
  }

 protected:
  ~_Command() = default;
};

// ------------------------------------------------------------ recordset

// The rows of a statement: forward-only over the running statement (a
// server cursor), or a static snapshot read at open (a client cursor, or
// any scrollable cursor type), which is updatable when opened with an
// optimistic or pessimistic lock on a result from one base table.
// States: a position (closed, BOF, on a row, EOF, on a deleted row) and
// an edit mode (EditMode). A closed recordset refuses everything but Open
// and its settings with 3704; an open one refuses Open and the settings
// CursorType, LockType, CursorLocation, ActiveConnection with 3705;
// Close and Requery are refused with 3219 while an edit is pending;
// Delete and the field values need a current row (3021). Moving with an
// edit pending writes it first. A refused call changes nothing.
struct _Recordset : IDispatch {
  virtual HRESULT get_Properties(Properties** out) = 0;
  virtual HRESULT get_AbsolutePosition(long* out) = 0;
  virtual HRESULT get_ActiveConnection(_Connection** out) = 0;
  virtual HRESULT putref_ActiveConnection(IDispatch* connection) = 0;
  virtual HRESULT get_BOF(VARIANT_BOOL* out) = 0;
  virtual HRESULT get_EOF(VARIANT_BOOL* out) = 0;
  virtual HRESULT get_CacheSize(long* out) = 0;
  virtual HRESULT put_CacheSize(long rows) = 0;
  virtual HRESULT get_CursorType(CursorTypeEnum* out) = 0;
  virtual HRESULT put_CursorType(CursorTypeEnum type) = 0;
  virtual HRESULT get_LockType(LockTypeEnum* out) = 0;
  virtual HRESULT put_LockType(LockTypeEnum type) = 0;
  virtual HRESULT get_MaxRecords(long* out) = 0;
  virtual HRESULT put_MaxRecords(long rows) = 0;
  // -1 while the count is not known (a forward-only server cursor).
  virtual HRESULT get_RecordCount(long* out) = 0;
  virtual HRESULT get_Source(VARIANT* out) = 0;
  virtual HRESULT get_Fields(Fields** out) = 0;
  virtual HRESULT get_State(long* out) = 0;
  virtual HRESULT get_CursorLocation(CursorLocationEnum* out) = 0;
  virtual HRESULT put_CursorLocation(CursorLocationEnum location) = 0;
  virtual HRESULT get_EditMode(EditModeEnum* out) = 0;
  virtual HRESULT raw_AddNew(VARIANT fieldList, VARIANT values) = 0;
  virtual HRESULT raw_CancelUpdate() = 0;
  virtual HRESULT raw_Close() = 0;
  virtual HRESULT raw_Delete(AffectEnum affect) = 0;
  // `rows` relative to the current row; `start` must be a missing
  // argument (or adBookmarkCurrent / First / Last).
  virtual HRESULT raw_Move(long rows, VARIANT start) = 0;
  virtual HRESULT raw_MoveNext() = 0;
  virtual HRESULT raw_MovePrevious() = 0;
  virtual HRESULT raw_MoveFirst() = 0;
  virtual HRESULT raw_MoveLast() = 0;
  // `source`: SQL text (VT_BSTR) with `activeConnection` a connection
  // object or connect string, or a _Command (VT_DISPATCH), whose
  // connection is then used.
  virtual HRESULT raw_Open(VARIANT source, VARIANT activeConnection, CursorTypeEnum cursorType,
                           LockTypeEnum lockType, long options) = 0;
  virtual HRESULT raw_Requery(long options) = 0;
  virtual HRESULT raw_Update(VARIANT fields, VARIANT values) = 0;
  virtual HRESULT raw_CancelBatch(AffectEnum affect) = 0;

  long GetAbsolutePosition() {
    long n = 0;
    KORVO_ADO_CHECK(get_AbsolutePosition(&n), _Recordset);
    return n;
  }
  _ConnectionPtr GetActiveConnection() {
    _Connection* p = nullptr;
    KORVO_ADO_CHECK(get_ActiveConnection(&p), _Recordset);
    return _ConnectionPtr(p, false);
  }
  void PutRefActiveConnection(IDispatch* c) {
    KORVO_ADO_CHECK(putref_ActiveConnection(c), _Recordset);
  }
  VARIANT_BOOL GetBOF() {
    VARIANT_BOOL b = VARIANT_FALSE;
    KORVO_ADO_CHECK(get_BOF(&b), _Recordset);
    return b;
  }
  VARIANT_BOOL GetadoEOF() {
    VARIANT_BOOL b = VARIANT_FALSE;
    KORVO_ADO_CHECK(get_EOF(&b), _Recordset);
    return b;
  }
  VARIANT_BOOL GetEOF() { return GetadoEOF(); }
  long GetCacheSize() {
    long n = 0;
    KORVO_ADO_CHECK(get_CacheSize(&n), _Recordset);
    return n;
  }
  void PutCacheSize(long n) { KORVO_ADO_CHECK(put_CacheSize(n), _Recordset); }
  CursorTypeEnum GetCursorType() {
    CursorTypeEnum t = adOpenUnspecified;
    KORVO_ADO_CHECK(get_CursorType(&t), _Recordset);
    return t;
  }
  void PutCursorType(CursorTypeEnum t) { KORVO_ADO_CHECK(put_CursorType(t), _Recordset); }
  LockTypeEnum GetLockType() {
    LockTypeEnum t = adLockUnspecified;
    KORVO_ADO_CHECK(get_LockType(&t), _Recordset);
    return t;
  }
  void PutLockType(LockTypeEnum t) { KORVO_ADO_CHECK(put_LockType(t), _Recordset); }
  long GetRecordCount() {
    long n = 0;
    KORVO_ADO_CHECK(get_RecordCount(&n), _Recordset);
    return n;
  }
  EditModeEnum GetEditMode() {
    EditModeEnum m = adEditNone;
    KORVO_ADO_CHECK(get_EditMode(&m), _Recordset);
    return m;
  }
  FieldsPtr GetFields() {
    Fields* p = nullptr;
    KORVO_ADO_CHECK(get_Fields(&p), _Recordset);
    return FieldsPtr(p, false);
  }
  long GetState() {
    long n = 0;
    KORVO_ADO_CHECK(get_State(&n), _Recordset);
    return n;
  }
  CursorLocationEnum GetCursorLocation() {
    CursorLocationEnum l = adUseServer;
    KORVO_ADO_CHECK(get_CursorLocation(&l), _Recordset);
    return l;
  }
  void PutCursorLocation(CursorLocationEnum l) {
    KORVO_ADO_CHECK(put_CursorLocation(l), _Recordset);
  }
  HRESULT AddNew(const _variant_t& fieldList = vtMissing, const _variant_t& values = vtMissing) {
    return KORVO_ADO_CHECK(raw_AddNew(fieldList, values), _Recordset);
  }
  HRESULT CancelUpdate() { return KORVO_ADO_CHECK(raw_CancelUpdate(), _Recordset); }
  HRESULT Close() { return KORVO_ADO_CHECK(raw_Close(), _Recordset); }
  HRESULT Delete(AffectEnum a) { return KORVO_ADO_CHECK(raw_Delete(a), _Recordset); }
  HRESULT Move(long rows, const _variant_t& start = vtMissing) {
    return KORVO_ADO_CHECK(raw_Move(rows, start), _Recordset);
  }
  HRESULT MoveNext() { return KORVO_ADO_CHECK(raw_MoveNext(), _Recordset); }
  HRESULT MovePrevious() { return KORVO_ADO_CHECK(raw_MovePrevious(), _Recordset); }
  HRESULT MoveFirst() { return KORVO_ADO_CHECK(raw_MoveFirst(), _Recordset); }
  HRESULT MoveLast() { return KORVO_ADO_CHECK(raw_MoveLast(), _Recordset); }
  HRESULT Open(const _variant_t& source, const _variant_t& activeConnection,
               CursorTypeEnum cursorType, LockTypeEnum lockType, long options) {
    return KORVO_ADO_CHECK(raw_Open(source, activeConnection, cursorType, lockType, options),
                           _Recordset);
  }
  HRESULT Requery(long options) { return KORVO_ADO_CHECK(raw_Requery(options), _Recordset); }
  HRESULT Update(const _variant_t& fields = vtMissing, const _variant_t& values = vtMissing) {
    return KORVO_ADO_CHECK(raw_Update(fields, values), _Recordset);
  }
  HRESULT CancelBatch(AffectEnum a) { return KORVO_ADO_CHECK(raw_CancelBatch(a), _Recordset); }

 protected:
  ~_Recordset() = default;
};

// ------------------------------------------------------------ events

// The connection's outgoing interface, implemented by a host's sink and
// advised on the connection point for __uuidof(ConnectionEventsVt).
// ExecuteComplete follows every WillExecute (Connection.Execute,
// Command.Execute, Recordset.Open), a cancelled one included; a handler
// cancels WillExecute by setting adStatusCancel, and the call then fails
// with 3219.
// Every handler receives the status adStatusOK (adStatusErrorsOccurred
// when the operation failed, with pError set) and may set
// adStatusUnwantedEvent. InfoMessage fires after a statement that produced
// informational messages, which are then the connection's Errors.
struct ConnectionEventsVt : IUnknown {
  virtual HRESULT InfoMessage(Error* pError, EventStatusEnum* adStatus,
                              _Connection* pConnection) = 0;
  virtual HRESULT BeginTransComplete(long TransactionLevel, Error* pError,
                                     EventStatusEnum* adStatus, _Connection* pConnection) = 0;
  virtual HRESULT CommitTransComplete(Error* pError, EventStatusEnum* adStatus,
                                      _Connection* pConnection) = 0;
  virtual HRESULT RollbackTransComplete(Error* pError, EventStatusEnum* adStatus,
                                        _Connection* pConnection) = 0;
  virtual HRESULT WillExecute(BSTR* Source, CursorTypeEnum* CursorType, LockTypeEnum* LockType,
                              long* Options, EventStatusEnum* adStatus, _Command* pCommand,
                              _Recordset* pRecordset, _Connection* pConnection) = 0;
  virtual HRESULT ExecuteComplete(long RecordsAffected, Error* pError, EventStatusEnum* adStatus,
                                  _Command* pCommand, _Recordset* pRecordset,
                                  _Connection* pConnection) = 0;
  virtual HRESULT WillConnect(BSTR* ConnectionString, BSTR* UserID, BSTR* Password, long* Options,
                              EventStatusEnum* adStatus, _Connection* pConnection) = 0;
  virtual HRESULT ConnectComplete(Error* pError, EventStatusEnum* adStatus,
                                  _Connection* pConnection) = 0;
  virtual HRESULT Disconnect(EventStatusEnum* adStatus, _Connection* pConnection) = 0;

 protected:
  ~ConnectionEventsVt() = default;
};

#undef KORVO_ADO_CHECK

// ------------------------------------------------------------ set-up

namespace korvo::ado {

// Registers the classes Connection, Command, Recordset and Parameter
// (also as "ADODB.Connection", ...) with the COM class table. Idempotent;
// every program that includes this header has it done at start-up.
KORVO_API bool RegisterClasses();
inline const bool kClassesRegistered = RegisterClasses();

// The prompt a connection uses when opened with an empty connect string
// and its "Prompt" property set: returns the connect string the user gave
// (UTF-8), or false when the user cancelled. With no callback installed,
// the connection asks on the terminal when standard input is one, and
// otherwise fails with a clear error. A null callback restores that.
using ConnectPromptCallback = bool (*)(void* context, const char* current, std::string* answer);
KORVO_API void SetConnectPromptCallback(ConnectPromptCallback callback, void* context);

}  // namespace korvo::ado
