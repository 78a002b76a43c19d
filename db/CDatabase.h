// db/CDatabase.h: CDatabase, the connection object of the library.
//
// What it is: one ADO connection, opened from a connect string
// ("Provider=SQLite;Data Source=app.db", an ODBC string, ...) or through
// the provider's prompt, with the library's connection services on top:
// the database product type (from the provider's "DBMS Name", read once
// per object), dirty reads, the per-installation session instructions
// (registry value "Dbms System Session Instructions", run after every
// open), the query time-out, SQL execution with affected-row counts,
// transactions, informational messages and the process-wide statement
// lock (see global_locks.h).
//
// Errors: every failure is thrown as a CDBException* with return code 1000,
// the provider's description and an origin "[6000]".."[6009]"; the catcher
// owns it and calls Delete. BeginTrans alone reports failure by returning
// 0. IsOpen, IsConnectionDead, GetErrNumber and GetDatabaseName let a
// failing state query surface as _com_error. Everything is traced (see
// diag/CKorvoTrace.h); SQL text is not.
//
// Connection states (kClosed/kOpen from the ADO connection's State,
// kInTransaction while m_nTransLevel is non-zero) and what the
// state-dependent operations do in each:
//
//   state          | OpenEx            | ExecuteSQL    | BeginTrans        | CommitTrans/Rollback
//   | Close
//   ---------------+-------------------+---------------+-------------------+----------------------------+------------------------
//   kClosed        | -> kOpen          | ADO refuses:  | ADO refuses:      | traced "No Transaction
//   | traced only
//                  |                   | throws [6007] | returns 0         | Active", returns 1 |
//   kOpen          | ADO decides       | runs          | -> kInTransaction | traced "No Transaction
//   | -> kClosed
//                  | (opens again)     |               |                   | Active", returns 1 |
//   kInTransaction | ADO decides       | runs          | nests; level kept | ends innermost level:
//   | rolls back, -> kClosed
//                  |                   |               | = ADO's new level | -> kOpen |
//
// Transaction nesting: ADO nests (a second BeginTrans opens level 2, a
// savepoint), but this object records one level only, the last one
// BeginTrans returned. One CommitTrans or Rollback ends the innermost ADO
// level and sets the record to 0, so a second one has nothing to end:
//
//   db.BeginTrans();          // ADO level 1, recorded 1
//   db.ExecuteSQL("INSERT INTO t VALUES (1)");
//   db.BeginTrans();          // ADO level 2, recorded 2
//   db.ExecuteSQL("INSERT INTO t VALUES (2)");
//   db.CommitTrans();         // ends level 2, recorded 0
//   db.CommitTrans();         // traces "No Transaction Active", returns 1:
//                             // level 1 is still open, nothing is committed
//   db.Close();               // throws "[6001]": ADO will not close while a
//                             // transaction is in progress
//
// Nothing is lost silently: Close refuses, and the host ends the outer
// level itself, through the ADO connection, before closing again:
//   db.GetAdoConnection()->CommitTrans();  // or RollbackTrans()
//   db.Close();
// Destroying the object instead rolls level 1 back (the destructor cannot
// report it). A level this object does record is rolled back by Close.
// A host that nests levels ends the outer ones through GetAdoConnection().
// When the engine rolls a transaction back by itself (an I/O error, a full
// disk), every statement fails ("[6007]".."[6009]") until the host calls
// Rollback, which then succeeds: nothing runs outside the transaction the
// host believes open.
//
// Closing with open recordsets: a CRecordset or CCmdset holds a plain
// pointer to its CDatabase, which must outlive it. Close (and the
// destructor) closes the ADO connection only; recordsets opened on it
// keep their own ADO objects, which then fail with the provider's "object
// closed" error on their next call (converted to their own CDBException);
// close them before the connection.
//
// Destruction never throws: the destructor closes the connection (rolling
// back an open transaction, as Close does), switches message capture off
// and releases the ADO object; a failure there is traced and swallowed.
//
// Thread-safety: caller must synchronise; one object (with its message
// sink) is used by one thread at a time. COM must be initialised on every
// thread that uses it. Statements of all connections are serialised on
// global lock 15 while g_bUseODBCCriticalSection is set.
// Ownership: owns its ADO connection object for its whole life (Close
// keeps it, so the object can be opened again; only a Close whose
// rollback failed replaces an object ADO will not close).
// Copies share one ADO connection by reference count: what one copy opens,
// executes, begins or closes, every copy sees, and destroying a copy
// closes the connection for all of them (each keeps its own record
// of the transaction level and its own settings). They also share the
// message sink while capture is on, each holding its own reference: the
// messages are collected once for the connection, any copy reads them,
// and capture stays on until the last copy holding the sink switches it
// off or is destroyed, in any order.
#pragma once

#include <korvo/ado/ado.h>
#include <korvo/diag/CKorvoTrace.h>
#include <korvo/diag/host_wide_text.h>
#include <korvo/platform/export.h>
#include <korvo/platform/wintypes.h>
#include <korvo/types/CTString.h>

class CDatabaseEvent;
namespace korvo::diag {
struct ErrorSite;
}

class KORVO_API CDatabase {
 public:
  // Database product types (GetDbmsType).
  enum {
    dbmsUnknown = 0,    // not yet connected
    dbmsTypeM = 1,      // "DBMS Name" begins with a capital M
    dbmsTypeOther = 2,  // any other product
  };
  // Option bits of OpenEx.
  enum {
    dbOptExclusive = 0x1,  // made by Open from its exclusive flag; no effect
    dbOptReadOnly = 0x2,   // CanUpdate then answers 0
    dbOptCursorLib = 0x4,  // made by Open from its cursor-library flag; no effect
    dbOptPrompt = 0x10,    // let the provider prompt for the connect string
  };
  // Option bits of InitEnvironment.
  enum {
    poolPerEnvironment = 0x1,
    poolPerDriver = 0x2,
  };

  // Creates the ADO connection object (closed). Throws CDBException*
  // "[6000]" when it cannot be created (COM not initialised on this
  // thread, no data-access classes).
  CDatabase();
  CDatabase(const CDatabase& other);
  CDatabase& operator=(const CDatabase& other);
  virtual ~CDatabase();

  // Opens with the connect text `lpszConnect` (see OpenEx) and the option
  // bits made from the three flags. The data source name is not used: the
  // connect argument carries everything the providers need (a DSN is given
  // as "DSN=name" in it). A null connect text keeps the stored one.
  virtual BOOL Open(const char* lpszDSN, BOOL bExclusive = FALSE, BOOL bReadonly = FALSE,
                    const char* lpszConnect = "ODBC;", BOOL bUseCursorLib = TRUE);
  // Stores a non-null connect text (an empty one empties it), opens the
  // connection, learns the product type on the first open, applies dirty
  // read and runs the session instructions. Returns 1; throws "[6005]".
  virtual BOOL OpenEx(const char* lpszConnectString, DWORD dwOptions = 0);
  // Rolls back an open transaction and closes the ADO connection; a closed
  // connection is left alone. Throws "[6001]" (also when ADO still has a
  // transaction level this object does not record, see the nesting rules
  // above), or the rollback's "[6004]": the object is closed even then
  // and can be opened again.
  virtual void Close();
  // Hands the query time-out to ADO (unless it is 0xFFFFFFFF). Called
  // before every statement; throws "[6002]".
  virtual void OnSetOptions();
  // Stores the dirty-read wish; the next open applies it.
  virtual void SetDirtyRead(BOOL bDirtyRead);
  // Applies dirty read at once: isolation level 256 on a product whose name
  // begins with M when switched on, 4096 on any product when switched off.
  // Returns the flag; throws "[6006]".
  virtual BOOL ForceDirtyRead(BOOL bDirtyRead);

  // Executes SQL on the connection. `pRecordsAffected`, when not null,
  // receives the affected-row count. Throws CDBException* "[6007]" (narrow),
  // "[6008]" (wide) or "[6009]" (ExecuteSQLW), native error 23000 for a
  // syntax or integrity failure. Holds global lock 15 while
  // g_bUseODBCCriticalSection is set.
  void ExecuteSQL(const char* lpszSQL, long* pRecordsAffected = nullptr);
  void ExecuteSQL(const WCHAR* lpszSQL, long* pRecordsAffected = nullptr);
  void ExecuteSQLW(const WCHAR* lpszSQL, long* pRecordsAffected = nullptr);
  // The host's wchar_t (UTF-32) text, converted to UTF-16 first
  // (diag/host_wide_text.h; invalid text throws before anything runs).
  template <korvo::HostWideChar C>
  void ExecuteSQL(const C* lpszSQL, long* pRecordsAffected = nullptr) {
    ExecuteSQL(korvo::HostWideText(lpszSQL).c_str(), pRecordsAffected);
  }
  template <korvo::HostWideChar C>
  void ExecuteSQLW(const C* lpszSQL, long* pRecordsAffected = nullptr) {
    ExecuteSQLW(korvo::HostWideText(lpszSQL).c_str(), pRecordsAffected);
  }

  // Begins a (nested) transaction; 1, or 0 on failure (nothing thrown).
  BOOL BeginTrans();
  // End the transaction level; 1. Without an open transaction they only
  // trace. Throw "[6003]" / "[6004]".
  BOOL CommitTrans();
  BOOL Rollback();
  BOOL CanTransact() { return 1; }

  // 1 starts collecting the provider's informational messages, 0 stops
  // (and discards them); other calls do nothing.
  void CaptureInfoMessage(BOOL bCapture);
  // The messages collected so far, joined by ","; empty when capture is off.
  CTString GetInfoMessage();

  // 1 when the connection is not open.
  BOOL IsConnectionDead();
  // 1 when the ADO connection's State is non-zero.
  BOOL IsOpen();
  // The provider's DefaultDatabase (at most 63 characters are defined).
  CTString GetDatabaseName();
  // A new counted reference to the ADO connection (null when none).
  _ConnectionPtr GetAdoConnection() { return m_pConnection; }
  // The Number of the first record in the connection's Errors collection
  // (an HRESULT such as 0x80040E14), 0 when it is empty.
  LONG GetErrNumber();

  void SetQueryTimeout(DWORD dwSeconds) { m_dwQueryTimeout = dwSeconds; }
  DWORD GetQueryTimeout() const { return m_dwQueryTimeout; }
  int GetDbmsType() const { return m_nDbmsType; }
  // Valid until the connect string changes (OpenEx) or the object dies.
  const CTString& GetConnect() const { return m_strConnectString; }
  CTString GetConnectNoODBC() const { return m_strConnectString; }
  BOOL CanUpdate() const { return m_bUpdatable; }

  // Rewrites square brackets in `lpszSQL` in place: outside apostrophe
  // literals "[[" and "]]" become one bracket and a single bracket a
  // space. REQUIRES: lpszSQL is a writable, zero-terminated text.
  void ReplaceBrackets(char* lpszSQL);

  // Sets the ODBC driver manager's connection pooling (2 per environment
  // for bit 0x1, else 1 per driver for bit 0x2, else off) under lock 15.
  // 1 when the driver manager answered success. Call before any connection.
  static BOOL InitEnvironment(DWORD dwOptions);
  // Sets g_bUseODBCCriticalSection and g_bUseSQLCriticalSection.
  static void SetCriticalSection(BOOL bUse);

 protected:
  // Opens the ADO connection; see OpenEx. 1, or throws "[6005]".
  BOOL Connect(DWORD dwOptions);
  // Runs the registry's session instructions in order; the first failing
  // one stops the rest and is not reported.
  void ExecuteSessionInstructions();
  // Traces and closes (virtually).
  void Free();

  _ConnectionPtr m_pConnection;
  CKorvoTrace m_trace;
  LONG m_nTransLevel;
  LONG m_nDbmsType;
  CDatabaseEvent* m_pEventSink;
  char m_chIdentQuote;
  CTString m_strConnectString;
  BOOL m_bUpdatable;
  BOOL m_bDirtyRead;
  DWORD m_dwQueryTimeout;

 private:
  // The state-table checks: a transaction is open exactly while
  // m_nTransLevel is non-zero (the open/closed half is ADO's State).
  bool InTransaction() const { return m_nTransLevel != 0; }
  template <class MakeText>
  void ExecuteStatement(const char* operation, const char* origin, MakeText&& makeText,
                        long* pRecordsAffected);
  // CommitTrans and Rollback: `end` is the ADO call ending the level.
  BOOL EndTransaction(const char* operation, const char* noTransaction,
                      const korvo::diag::ErrorSite& site, HRESULT (_Connection::*end)());
  bool DbmsNameBeginsWithM();
  // After a rollback failed inside Close: closes the ADO connection, or,
  // when ADO refuses, replaces it by a fresh closed connection object.
  void AbandonConnection() noexcept;
  // Switches capture off for this object: the last copy holding the sink
  // unadvises it; every copy gives back its own reference. Keeps the sink
  // when the connection offers no connection point.
  void StopCapture();
  // StopCapture for the destructor and assignment: never throws and always
  // gives back this object's share.
  void LetGoOfSink();
  // Takes a share of `sink` (may be null) for a copy; returns it.
  static CDatabaseEvent* TakeSinkShare(CDatabaseEvent* sink);
};
