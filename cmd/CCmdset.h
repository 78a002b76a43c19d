// cmd/CCmdset.h: CCmdset, one SQL command or stored procedure with typed
// input parameters, run on a CDatabase connection.
//
// What it is: a holder of one ADO Command object bound to the connection of
// a CDatabase. The command keeps its text, type and parameters across
// executions until SetActiveConnection starts a fresh one or Close
// releases it; each AppendParameter adds one more input parameter, bound
// to the command's "?" markers in the order appended:
//   CCmdset cmd(&db);
//   cmd.SetCommandText("INSERT INTO t (id, name) VALUES (?, ?)");
//   cmd.AppendParameter("id", CCmdset::typeInteger, 4, _variant_t(7L));
//   cmd.AppendParameter("name", CCmdset::typeVarChar, 40, _variant_t("seven"));
//   long inserted = 0;
//   cmd.Execute(inserted);
// Execute(CRecordset&) hands the rows a command yields to a recordset: the
// recordset's ADO recordset is replaced, its bindings and open type are
// left as they are.
//
// Errors: the operations that talk to ADO throw CDBException* (the catcher
// owns it and calls Delete) with return code 1000, the provider's
// description as text and, as origin, the failing operation's signature
// text, e.g. "void __cdecl CCmdset::Execute(void)". Execute() and
// ExecuteWithOptions alone set native error 23000 when the failing call's
// own HRESULT is DB_E_ERRORSINCOMMAND (0x80040E14) or
// DB_E_INTEGRITYVIOLATION (0x80040E2F); every other operation leaves it 0.
// A CCmdset without a command object (never connected, or closed) fails
// the same way, from the invalid-pointer error. SetCommandText and
// SetCommandProc convert nothing: there the failure arrives as _com_error
// (E_POINTER when there is no command object). Only failures are traced
// (the description of each converted failure, and the origin text for a
// non-COM exception passing through SetActiveConnection); a successful
// operation writes nothing to the trace.
//
// Thread-safety: caller must synchronise; one CCmdset (and the connection
// it runs on) is used by one thread at a time, on a thread that
// initialised COM.
// Ownership: the CDatabase is not owned and must outlive the command's use
// of it (the ADO command holds a reference to the ADO connection, not to
// the CDatabase). Copies share one ADO command object by reference count,
// so text and parameters set through one copy are seen by the others;
// Close on one copy releases only that copy's reference.
#pragma once

#include <korvo/ado/ado.h>
#include <korvo/diag/CKorvoTrace.h>
#include <korvo/diag/host_wide_text.h>
#include <korvo/platform/export.h>
#include <korvo/platform/wintypes.h>

class CDatabase;
class CRecordset;
namespace korvo::diag {
struct ErrorSite;
}

class KORVO_API CCmdset {
 public:
  // Parameter data types: each member carries ADO's data-type number and
  // is handed to ADO unchanged (the type of the ADO parameter).
  enum DataType {
    typeEmpty = adEmpty,                        // 0: taken from the value
    typeSmallInt = adSmallInt,                  // 2
    typeInteger = adInteger,                    // 3
    typeSingle = adSingle,                      // 4
    typeDouble = adDouble,                      // 5
    typeCurrency = adCurrency,                  // 6
    typeDate = adDate,                          // 7: OLE date
    typeBSTR = adBSTR,                          // 8
    typeIDispatch = adIDispatch,                // 9
    typeError = adError,                        // 10
    typeBoolean = adBoolean,                    // 11
    typeVariant = adVariant,                    // 12: taken from the value
    typeIUnknown = adIUnknown,                  // 13
    typeDecimal = adDecimal,                    // 14
    typeTinyInt = adTinyInt,                    // 16
    typeUnsignedTinyInt = adUnsignedTinyInt,    // 17
    typeUnsignedSmallInt = adUnsignedSmallInt,  // 18
    typeUnsignedInt = adUnsignedInt,            // 19
    typeBigInt = adBigInt,                      // 20
    typeUnsignedBigInt = adUnsignedBigInt,      // 21
    typeFileTime = adFileTime,                  // 64
    typeGUID = adGUID,                          // 72
    typeBinary = adBinary,                      // 128
    typeChar = adChar,                          // 129
    typeWChar = adWChar,                        // 130
    typeNumeric = adNumeric,                    // 131
    typeUserDefined = adUserDefined,            // 132
    typeDBDate = adDBDate,                      // 133
    typeDBTime = adDBTime,                      // 134
    typeDBTimeStamp = adDBTimeStamp,            // 135
    typeChapter = adChapter,                    // 136
    typePropVariant = adPropVariant,            // 138
    typeVarNumeric = adVarNumeric,              // 139
    typeVarChar = adVarChar,                    // 200
    typeLongVarChar = adLongVarChar,            // 201
    typeVarWChar = adVarWChar,                  // 202
    typeLongVarWChar = adLongVarWChar,          // 203
    typeVarBinary = adVarBinary,                // 204
    typeLongVarBinary = adLongVarBinary,        // 205
  };

  // Reads the trace switch if no traced object of the process has; with a
  // database, calls SetActiveConnection with it (and throws as it does).
  explicit CCmdset(CDatabase* pDatabase = nullptr);
  // Share the other's command object (assignment releases the old one).
  CCmdset(const CCmdset& other);
  CCmdset& operator=(const CCmdset& other);
  // Releases the command object; nothing escapes. Not virtual: a CCmdset
  // is not deleted through a pointer to a base.
  ~CCmdset();

  // Releases the current command object and binds a new one, without text
  // or parameters, to the database's ADO connection, with the database's
  // query time-out as CommandTimeout. The time-out is taken once, here:
  // later SetQueryTimeout calls do not reach this command. It is passed
  // as ADO's 32-bit value, so 0xFFFFFFFF arrives as -1, which ADO refuses:
  // the call then throws, and the command stays bound to the connection
  // with ADO's default time-out. A null database throws (no command is
  // left). Throws "void __cdecl CCmdset::SetActiveConnection(class
  // CDatabase *)".
  void SetActiveConnection(CDatabase* pDatabase);

  // Set the command text with command type 1 (text) or 4 (stored
  // procedure). The narrow forms convert with the ANSI code page. Failures
  // arrive as _com_error.
  void SetCommandText(const char* lpszCommand);
  void SetCommandText(const WCHAR* lpszCommand);
  void SetCommandProc(const char* lpszProcedure);
  void SetCommandProc(const WCHAR* lpszProcedure);
  // The host's wchar_t (UTF-32) text, converted to UTF-16 first
  // (diag/host_wide_text.h: invalid text throws CDBException*).
  template <korvo::HostWideChar C>
  void SetCommandText(const C* lpszCommand) {
    SetCommandText(korvo::HostWideText(lpszCommand).c_str());
  }
  template <korvo::HostWideChar C>
  void SetCommandProc(const C* lpszProcedure) {
    SetCommandProc(korvo::HostWideText(lpszProcedure).c_str());
  }

  // Appends an input parameter of type `nType` and `nSize` bytes (or
  // characters) holding `value`. Throws "void __cdecl
  // CCmdset::AppendParameter(const char *,enum CCmdset::DataType,long,const
  // class _variant_t &)".
  void AppendParameter(const char* lpszName, DataType nType, long nSize, const _variant_t& value);
  // Appends an input parameter with size 0, numeric scale and precision;
  // both are cut to their low 8 bits (ADO stores them as bytes), so a
  // precision of 300 becomes 44. Throws "void __cdecl
  // CCmdset::AppendParameter(const char *,enum CCmdset::DataType,const class
  // _variant_t &,long,long)".
  void AppendParameter(const char* lpszName, DataType nType, const _variant_t& value,
                       long nPrecision, long nScale);

  // Executes without returning rows. Throws "void __cdecl
  // CCmdset::Execute(void)", native error 23000 for a syntax or integrity
  // failure.
  void Execute();
  // Executes with the caller's ADO execute options (CommandTypeEnum and
  // ExecuteOptionEnum bits); rows the command yields are discarded. Throws
  // "void __cdecl CCmdset::ExecuteWithOptions(long)", native error 23000 as
  // Execute().
  void ExecuteWithOptions(long lOptions);
  // Sets command type 4 (stored procedure) and executes without rows.
  // Throws "void __cdecl CCmdset::ExecuteProc(void)".
  void ExecuteProc();
  // Executes without rows and stores the affected-row count in `lCount`
  // (left unchanged on failure). Throws "void __cdecl
  // CCmdset::Execute(long &)", native error 0.
  void Execute(long& lCount);
  // Executes and hands the result (a closed ADO recordset when the command
  // yields no rows) to `recordset` through SetAdoRecordSet. Throws "void
  // __cdecl CCmdset::Execute(class CRecordset &)".
  void Execute(CRecordset& recordset);

  // Releases the command object; later calls do nothing more. Throws
  // "void __cdecl CCmdset::Close(void)".
  void Close();

  // Throws CDBException* with `nReturnCode` (1001..1030 with the text
  // "Error come from KORVO library"); nothing is traced.
  virtual void ThrowDBException(short nReturnCode);

 protected:
  _CommandPtr m_pCommand;  // null until connected and after Close
  CKorvoTrace m_trace;     // receives the failure lines

 private:
  // Execute() and ExecuteWithOptions: the result set is released at once.
  void ExecuteWithoutRows(const korvo::diag::ErrorSite& site, long lOptions);
  void SetCommand(const WCHAR* lpszText, CommandTypeEnum type);
  // Creates a parameter of `nSize` and lets `shape` adjust it before it is
  // appended.
  template <class Shape>
  void AppendInputParameter(const char* origin, const char* lpszName, DataType nType, long nSize,
                            const _variant_t& value, Shape&& shape);
};
