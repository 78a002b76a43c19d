// Tests of a recordset's lifecycle on real SQLite files: construction,
// its own connection, Open and its steps, the cursor, lock, location and
// cache that the open type and options ask for, Requery, OpenW, Close,
// copies, and lock 15 around Open.
#include <korvo/db/global_locks.h>

#include <atomic>
#include <future>
#include <stdexcept>
#include <thread>

#include "recordset/recordset_fixture.h"

namespace korvo::test {
namespace {

// Opens its own connection from GetDefaultConnect.
class COwnConnection : public CCodeName {
 public:
  explicit COwnConnection(std::string connect) : CCodeName(nullptr), connect_(std::move(connect)) {}
  CTString GetDefaultConnect() override { return connect_.c_str(); }

 private:
  std::string connect_;
};

// Records how a recordset asks it to open; `answer` 0 refuses.
class CRecordingDatabase : public CDatabase {
 public:
  BOOL Open(const char* lpszDSN, BOOL bExclusive, BOOL bReadonly, const char* lpszConnect,
            BOOL bUseCursorLib) override {
    ++opens;
    dsn = lpszDSN != nullptr ? lpszDSN : "<null>";
    exclusive = bExclusive;
    readOnly = bReadonly;
    connect = lpszConnect != nullptr ? lpszConnect : "<null>";
    cursorLib = bUseCursorLib;
    if (!answer) return 0;
    return CDatabase::Open(lpszDSN, bExclusive, bReadonly, lpszConnect, bUseCursorLib);
  }
  int opens = 0;
  BOOL answer = 1;
  std::string dsn, connect;
  BOOL exclusive = -1, readOnly = -1, cursorLib = -1;
};

class CRecordingOwnConnect : public CCodeName {
 public:
  using CCodeName::CCodeName;
  CTString connect;
  CTString GetDefaultConnect() override { return connect; }
};

class OpenTest : public RecordsetTest {
 protected:
  void TearDown() override {
    CDatabase::SetCriticalSection(FALSE);
    RecordsetTest::TearDown();
  }
};

// ------------------------------------------------------------ construction

TEST_F(OpenTest, AFreshRecordsetIsClosedAndClosingItIsHarmless) {
  Exposed<CCodeName> rs(nullptr);
  EXPECT_EQ(rs.IsOpen(), 0);
  EXPECT_EQ(rs.m_mapFieldIndex.GetHashTableSize(), 17u);
  EXPECT_STREQ(rs.GetDefaultConnect(), "ODBC;");
  EXPECT_TRUE(rs.GetDefaultSQL().IsEmpty());
  rs.Close();
  rs.Close();
  EXPECT_EQ(rs.IsOpen(), 0);
  EXPECT_EQ(rs.GetRowStatus(1), 0);
  EXPECT_EQ(rs.CanUpdate(), 0);
}

TEST_F(OpenTest, ConstructorWithoutComGivesOrigin5000) {
  auto outcome = std::async(std::launch::async, [] {
    auto e = CatchDB([] { CCodeName rs(nullptr); });
    return e ? std::make_pair(std::string(e->m_strErrorOrigin), e->m_nReturnCode)
             : std::make_pair(std::string(), SHORT{0});
  });
  auto [origin, code] = outcome.get();
  EXPECT_EQ(origin, "[5000]");
  EXPECT_EQ(code, 1000);
}

// ------------------------------------------------------------ own connection

TEST_F(OpenTest, WithoutADatabaseItOpensItsOwnFromGetDefaultConnect) {
  Database();  // creates the table
  Exposed<COwnConnection> rs(Connect());
  ASSERT_EQ(rs.Open(CRecordset::staticCursor, "CUSTOMER"), 1);
  ASSERT_NE(rs.m_pDatabase, nullptr);
  EXPECT_EQ(rs.m_bOwnDatabase, 1);
  EXPECT_EQ(rs.m_pDatabase->IsOpen(), 1);
  EXPECT_STREQ(rs.m_pDatabase->GetConnect(), Connect().c_str());
  EXPECT_EQ(Codes(rs).size(), kCustomers.size());
  // Reopening keeps the same connection.
  CDatabase* first = rs.m_pDatabase;
  ASSERT_EQ(rs.Requery(), 1);
  EXPECT_EQ(rs.m_pDatabase, first);
  // Destruction deletes it (the sanitizer build reports a leak otherwise).
}

TEST_F(OpenTest, DefaultConnectStringFailsAndTheOwnConnectionIsDropped) {
  SwitchTraceOn();
  Exposed<CCodeName> rs(nullptr);
  auto e = CatchDB([&] { rs.Open(CRecordset::staticCursor, "CUSTOMER"); });
  ASSERT_TRUE(e);
  EXPECT_STREQ(e->m_strErrorOrigin, "[6005]");  // the connection's failure, passed on
  EXPECT_EQ(rs.m_pDatabase, nullptr);
  EXPECT_EQ(rs.IsOpen(), 0);
  auto trace = Trace();
  long alloc = Find(trace, "CRecordset::AllocHstmt");
  long open = Find(trace, "CDatabase::Open", alloc);
  long tag = Find(trace, "DbException118", open);
  long openTag = Find(trace, "DbException101", tag);
  EXPECT_TRUE(alloc >= 0 && open > alloc && tag > open && openTag > tag);
}

TEST_F(OpenTest, AnUnopenedDatabaseIsOpenedWithTheDefaultConnectAndOption) {
  Database();
  CDatabase::SetCriticalSection(TRUE);
  struct Case {
    unsigned int type;
    unsigned long options;
    int connectOption;
    BOOL expectedCursorLib;
    BOOL answer;  // 0: the database refuses to open
  } cases[] = {
      {CRecordset::staticCursor, CRecordset::none, 0, 1, 1},  // static, updatable: 1
      {CRecordset::staticCursor, CRecordset::readOnly, 0, 0, 1},
      {CRecordset::keysetCursor, CRecordset::none, 0, 0, 1},
      {CRecordset::keysetCursor, CRecordset::none, 7, 7, 1},  // the recordset's own option
      {CRecordset::staticCursor, CRecordset::none, 0, 1, 0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << c.type << " " << c.options << " " << c.answer);
    CRecordingDatabase db;
    db.answer = c.answer;
    Exposed<CRecordingOwnConnect> rs(&db);
    rs.connect = Connect().c_str();
    rs.m_nConnectOption = c.connectOption;
    ASSERT_EQ(rs.Open(c.type, "CUSTOMER", c.options), c.answer);
    EXPECT_EQ(db.opens, 1);
    EXPECT_EQ(db.dsn, "");
    EXPECT_EQ(db.exclusive, 0);
    EXPECT_EQ(db.readOnly, 0);
    EXPECT_EQ(db.connect, Connect());
    EXPECT_EQ(db.cursorLib, c.expectedCursorLib);
    EXPECT_EQ(rs.m_bOwnDatabase, 0);
    ExpectLock15Free();
    if (!c.answer) {
      EXPECT_EQ(rs.IsOpen(), 0);
      continue;
    }
    // Open: not opened again.
    rs.Close();
    ASSERT_EQ(rs.Open(c.type, "CUSTOMER", c.options), 1);
    EXPECT_EQ(db.opens, 1);
  }
}

// ------------------------------------------------------------ open steps

TEST_F(OpenTest, OpenRunsItsStepsInOrderAndBindsTheFirstRow) {
  SwitchTraceOn();
  CDatabase& db = Database();
  db.SetQueryTimeout(7);
  Exposed<CCustomer> rs(&db);
  ASSERT_EQ(rs.Open(CRecordset::staticCursor, "CUSTOMER"), 1);
  EXPECT_EQ(rs.IsOpen(), 1);
  EXPECT_EQ(rs.m_code, 1);
  EXPECT_STREQ(rs.m_name, "Ann");
  EXPECT_EQ(rs.m_active, 1);
  EXPECT_EQ(rs.m_nBoundFields, 3);
  EXPECT_EQ(rs.m_bindPasses, 1);
  EXPECT_NE(rs.m_pFieldStatus, nullptr);
  EXPECT_EQ(rs.GetRowsetSize(), 1u);
  EXPECT_EQ(rs.GetRowStatus(1), 0);
  EXPECT_TRUE(rs.GetTableName().IsEmpty());
  EXPECT_STREQ(rs.m_strRequerySQL, "CUSTOMER");
  // The query time-out went to the command; the command was prepared.
  EXPECT_EQ(rs.m_pCommand->GetCommandTimeout(), 7);
  EXPECT_EQ(rs.m_pCommand->GetPrepared(), VARIANT_TRUE);
  // A time-out the command refuses is no reason to fail the open.
  db.SetQueryTimeout(0xFFFFFFFF);
  Exposed<CCustomer> untimed(&db);
  long before = untimed.m_pCommand->GetCommandTimeout();
  ASSERT_EQ(untimed.Open(CRecordset::staticCursor, "CUSTOMER"), 1);
  EXPECT_EQ(untimed.m_pCommand->GetCommandTimeout(), before);

  const std::vector<std::string> steps = {"CRecordset::Open",
                                          "CRecordset::SetState",
                                          "CRecordset::AllocHstmt",
                                          "CRecordset::AllocStatusArrays",
                                          "CRecordset::BuildSQL",
                                          "CRecordset::BuildSelectSQL",
                                          "CRecordset::AppendNames",
                                          "CRecordset::AppendFilterAndSortSQL",
                                          "CDatabase::ReplaceBrackets",
                                          "CRecordset::m_PrepareAndExecute",
                                          "CRecordset::AllocRowset",
                                          "CRecordset::InitRecord",
                                          "CRecordset::BindFieldsToColumns"};
  auto trace = Trace();
  long at = Find(trace, steps.front());
  ASSERT_GE(at, 0);
  for (const std::string& step : steps) {
    long next = Find(trace, step, at);
    EXPECT_GE(next, at) << step;
    if (next >= 0) at = next;
  }
}

TEST_F(OpenTest, OpenTypeAndOptionsChooseCursorLockLocationAndCache) {
  CDatabase& db = Database();
  struct Case {
    unsigned int type;
    unsigned long options;
    int location;  // SetCursorLocation argument, 0: left alone
    CursorTypeEnum cursor;
    LockTypeEnum lock;
    CursorLocationEnum where;
    long cache;  // 0: not checked
    BOOL canUpdate, canAppend;
  } cases[] = {
      // A snapshot (client cursor, or any type but forward-only) reports
      // itself static whatever was asked; only a forward-only server cursor
      // shows the requested type.
      {CRecordset::staticCursor, CRecordset::none, 0, adOpenStatic, adLockOptimistic, adUseClient,
       0, 1, 1},
      {CRecordset::keysetCursor, CRecordset::none, 0, adOpenStatic, adLockOptimistic, adUseClient,
       0, 1, 1},
      {CRecordset::keysetCursor, CRecordset::readOnly, 0, adOpenStatic, adLockReadOnly, adUseServer,
       100, 0, 0},
      {CRecordset::forwardOnly, CRecordset::readOnly, 0, adOpenForwardOnly, adLockReadOnly,
       adUseServer, 100, 0, 0},
      // Bit 2 wins: 3 is forward-only for the cursor.
      {3, CRecordset::readOnly, 0, adOpenForwardOnly, adLockReadOnly, adUseServer, 100, 0, 0},
      {CRecordset::staticCursor, CRecordset::readOnly, 0, adOpenStatic, adLockReadOnly, adUseServer,
       100, 0, 0},
      {CRecordset::staticCursor, CRecordset::readOnly | CRecordset::appendOnly, 0, adOpenStatic,
       adLockReadOnly, adUseServer, 100, 0, 1},
      {CRecordset::staticCursor, CRecordset::appendOnly, 0, adOpenStatic, adLockOptimistic,
       adUseClient, 0, 0, 1},
      {CRecordset::staticCursor, CRecordset::none, 2, adOpenStatic, adLockOptimistic, adUseServer,
       100, 1, 1},
      // Only 3 selects the client cursor.
      {CRecordset::staticCursor, CRecordset::none, 1, adOpenStatic, adLockOptimistic, adUseServer,
       100, 1, 1},
      {CRecordset::staticCursor, CRecordset::none, 3, adOpenStatic, adLockOptimistic, adUseClient,
       0, 1, 1},
      // Without readOnly, 3 is not turned read-only: only the value 2 is.
      {3, CRecordset::none, 0, adOpenStatic, adLockOptimistic, adUseClient, 0, 1, 1},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message()
                 << "type " << c.type << " options " << c.options << " location " << c.location);
    Exposed<CCodeName> rs(&db);
    if (c.location != 0) rs.SetCursorLocation(c.location);
    ASSERT_EQ(rs.Open(c.type, "CUSTOMER", c.options), 1);
    _RecordsetPtr ado = rs.GetAdoRecordSet();
    EXPECT_EQ(ado->GetCursorType(), c.cursor);
    EXPECT_EQ(ado->GetLockType(), c.lock);
    EXPECT_EQ(ado->GetCursorLocation(), c.where);
    if (c.cache != 0) {
      EXPECT_EQ(ado->GetCacheSize(), c.cache);
    }
    EXPECT_EQ(rs.CanUpdate(), c.canUpdate);
    EXPECT_EQ(rs.CanAppend(), c.canAppend);
    EXPECT_EQ(rs.m_dwOptions, c.options);
    EXPECT_EQ(rs.m_nCursorLocation, c.location == 3 || c.location == 0 ? 3 : 2);
  }
}

TEST_F(OpenTest, DefaultOpenTypeComesFromTheDerivedClass) {
  CDatabase& db = Database();
  Exposed<CCodeName> rs(&db);
  rs.m_nDefaultType = CRecordset::keysetCursor;
  ASSERT_EQ(rs.Open(CRecordset::useDefaultType, "CUSTOMER"), 1);
  EXPECT_EQ(rs.m_nOpenType, CRecordset::keysetCursor);

  Exposed<CCodeName> plain(&db);
  ASSERT_EQ(plain.Open(CRecordset::useDefaultType, "CUSTOMER"), 1);
  EXPECT_EQ(plain.m_nOpenType, CRecordset::staticCursor);
  Exposed<CCodeName> forward(&db);
  forward.m_nDefaultType = CRecordset::forwardOnly;
  ASSERT_EQ(forward.Open(CRecordset::useDefaultType, "CUSTOMER", CRecordset::readOnly), 1);
  EXPECT_EQ(forward.m_nOpenType, CRecordset::forwardOnly);
  EXPECT_EQ(forward.GetAdoRecordSet()->GetCursorType(), adOpenForwardOnly);
}

// ------------------------------------------------------------ forward-only and requery

TEST_F(OpenTest, ForwardOnlyTurnsReadOnlyFromTheFirstRequeryOn) {
  SwitchTraceOn();
  CDatabase& db = Database();
  Exposed<CCodeName> rs(&db);
  ASSERT_EQ(rs.Open(CRecordset::forwardOnly, "CUSTOMER"), 1);
  EXPECT_GE(Find(Trace(), "Warning: Setting forwardOnly recordset readOnly.\n"), 0);
  EXPECT_EQ(rs.m_dwOptions, static_cast<DWORD>(CRecordset::readOnly));
  // The answers computed from the caller's options stand.
  EXPECT_EQ(rs.CanUpdate(), 1);
  EXPECT_EQ(rs.CanAppend(), 1);
  // The first open used the caller's options: optimistic, client cursor.
  _RecordsetPtr ado = rs.GetAdoRecordSet();
  EXPECT_EQ(ado->GetLockType(), adLockOptimistic);
  EXPECT_EQ(ado->GetCursorLocation(), adUseClient);

  ASSERT_EQ(rs.Requery(), 1);
  EXPECT_EQ(ado->GetLockType(), adLockReadOnly);
  EXPECT_EQ(ado->GetCursorLocation(), adUseServer);
  EXPECT_EQ(ado->GetCacheSize(), 100);
  EXPECT_EQ(ado->GetCursorType(), adOpenForwardOnly);
  EXPECT_EQ(rs.CanUpdate(), 0);
  EXPECT_EQ(Codes(rs).size(), kCustomers.size());
}

TEST_F(OpenTest, RequeryReadsFilterAndSortAfreshAndKeepsTheRest) {
  SwitchTraceOn();
  CDatabase& db = Database();
  Exposed<CCodeName> rs(&db);
  rs.m_strFilter = "ACTIVE=1";
  ASSERT_EQ(rs.Open(CRecordset::staticCursor, "CUSTOMER", CRecordset::none, 3), 1);
  EXPECT_EQ(Codes(rs), (std::vector<long>{1, 3, 4}));

  rs.m_strFilter = "ACTIVE=0";
  rs.m_strSort = "CODE DESC";
  ASSERT_EQ(rs.Requery(), 1);
  EXPECT_STREQ(rs.GetSQL(),
               "SELECT CODE,NAME  FROM (SELECT CODE,NAME ,ROW_NUMBER() OVER (order by CODE DESC) "
               "ORAROWNUM  FROM CUSTOMER WHERE ACTIVE=0 ORDER BY CODE DESC) WHERE ORAROWNUM <= 3");
  EXPECT_EQ(Codes(rs), (std::vector<long>{5, 2}));
  EXPECT_STREQ(rs.m_strRequerySQL, "CUSTOMER");
  auto trace = Trace();
  long requery = Find(trace, "CRecordset::Requery");
  long close = Find(trace, "CRecordset::Close", requery);
  long open = Find(trace, "CRecordset::Open", close);
  EXPECT_TRUE(requery >= 0 && close > requery && open > close);

  // A statement given whole is sent again.
  Exposed<CCodeName> own(&db);
  ASSERT_EQ(own.Open(CRecordset::staticCursor, "SELECT CODE, NAME FROM CUSTOMER WHERE CODE < 3"),
            1);
  own.m_strSort = "CODE DESC";
  ASSERT_EQ(own.Requery(), 1);
  EXPECT_EQ(Codes(own), (std::vector<long>{2, 1}));
}

TEST_F(OpenTest, DirectExecuteIsNotPreparedAndRefusesRequery) {
  CDatabase& db = Database();
  Exposed<CCodeName> rs(&db);
  ASSERT_EQ(rs.Open(CRecordset::staticCursor, "CUSTOMER", CRecordset::directExecute), 1);
  EXPECT_EQ(rs.m_pCommand->GetPrepared(), VARIANT_FALSE);
  EXPECT_EQ(rs.CanRestart(), 0);
  rs.MoveNext();
  rs.m_strFilter = "CODE=5";
  EXPECT_EQ(rs.Requery(), 0);
  // Nothing changed: still open on the second row of the old statement.
  EXPECT_EQ(rs.IsOpen(), 1);
  EXPECT_EQ(rs.m_code, 2);
  EXPECT_STREQ(rs.GetSQL(), "SELECT CODE,NAME  FROM CUSTOMER");

  // appendOnly: neither prepared nor the edit state reset.
  Exposed<CCodeName> append(&db);
  append.m_nEditMode = 2;
  ASSERT_EQ(append.Open(CRecordset::staticCursor, "CUSTOMER", CRecordset::appendOnly), 1);
  EXPECT_EQ(append.m_pCommand->GetPrepared(), VARIANT_FALSE);
  EXPECT_EQ(append.m_nEditMode, 2);
  Exposed<CCodeName> plain(&db);
  plain.m_nEditMode = 2;
  ASSERT_EQ(plain.Open(CRecordset::staticCursor, "CUSTOMER"), 1);
  EXPECT_EQ(plain.m_pCommand->GetPrepared(), VARIANT_TRUE);
  EXPECT_EQ(plain.m_nEditMode, 0);
}

// ------------------------------------------------------------ wide statements

TEST_F(OpenTest, WideStatementsTravelAsUtf8AndRequeryWRestoresTheFlag) {
  // A narrow code page other than UTF-8 tells the two readings apart.
  ScopedEnv codepage("KORVO_CODEPAGE", "CP1252");
  CDatabase& db = Database();
  db.ExecuteSQLW(u"INSERT INTO CUSTOMER VALUES (7, 'Zo\u00EB \u20AC', 1)");
  const WCHAR* select = u"SELECT CODE, NAME FROM CUSTOMER WHERE NAME = 'Zo\u00EB \u20AC'";

  Exposed<CCodeName> rs(&db);
  ASSERT_EQ(rs.OpenW(CRecordset::staticCursor, select), 1);
  EXPECT_EQ(rs.m_bWideSQL, 1);
  EXPECT_EQ(Codes(rs), (std::vector<long>{7}));
  // The statement is held as UTF-8.
  EXPECT_STREQ(rs.m_strRequerySQL,
               "SELECT CODE, NAME FROM CUSTOMER WHERE NAME = 'Zo\xC3\xAB \xE2\x82\xAC'");
  // The flag stays set: Requery reads the stored text as UTF-8 again.
  ASSERT_EQ(rs.Requery(), 1);
  EXPECT_EQ(Codes(rs), (std::vector<long>{7}));

  // Read as narrow text the same bytes name no customer...
  rs.m_bWideSQL = 0;
  ASSERT_EQ(rs.Requery(), 1);
  EXPECT_TRUE(rs.IsEOF());
  // ...while RequeryW reads them as UTF-8 and puts the flag back.
  ASSERT_EQ(rs.RequeryW(), 1);
  EXPECT_EQ(rs.m_bWideSQL, 0);
  EXPECT_EQ(Codes(rs), (std::vector<long>{7}));

  // A null or empty wide text takes GetDefaultSQL (here empty).
  Exposed<CCodeName> none(&db);
  auto e = CatchDB([&] { none.OpenW(CRecordset::staticCursor, nullptr); });
  ASSERT_TRUE(e);
  EXPECT_EQ(none.m_bWideSQL, 1);
  EXPECT_STREQ(none.GetSQL(), "SELECT CODE,NAME  FROM ");
}

// ------------------------------------------------------------ failures

TEST_F(OpenTest, ARefusedStatementIs5014AfterTraceTagAndCloseWithLock15Released) {
  SwitchTraceOn();
  CDatabase::SetCriticalSection(TRUE);
  CDatabase& db = Database();
  Exposed<CCodeName> rs(&db);
  auto e = CatchDB([&] { rs.Open(CRecordset::staticCursor, "NO_SUCH_TABLE"); });
  ASSERT_TRUE(e);
  EXPECT_EQ(e->m_nReturnCode, 1000);
  EXPECT_EQ(e->m_dwNativeError, 0u);
  EXPECT_STREQ(e->m_strErrorOrigin, "[5014]");
  ASSERT_FALSE(e->m_strErrorText.IsEmpty());
  EXPECT_EQ(rs.IsOpen(), 0);
  EXPECT_EQ(rs.m_pFieldStatus, nullptr);
  ExpectLock15Free();

  auto trace = Trace();
  long prepare = Find(trace, "CRecordset::m_PrepareAndExecute");
  long text = Find(trace, std::string(e->m_strErrorText), prepare);
  long tag = Find(trace, "DbException119", prepare);
  long openTag = Find(trace, "DbException101", prepare);
  long close = Find(trace, "CRecordset::Close", openTag);
  EXPECT_TRUE(prepare >= 0 && text > prepare && openTag > text && close > openTag)
      << prepare << " " << text << " " << openTag << " " << close;
  // The conversion happened in m_PrepareAndExecute: its tag is for other
  // exceptions only.
  EXPECT_EQ(tag, -1);

  // The recordset is usable again.
  ASSERT_EQ(rs.Open(CRecordset::staticCursor, "CUSTOMER"), 1);
  EXPECT_EQ(rs.m_code, 1);
  ExpectLock15Free();
}

// Throws from its binding pass: a failure late in Open.
class CFailingBind : public CCodeName {
 public:
  using CCodeName::CCodeName;
  void DoFieldExchange(CFieldExchange* pFX) override {
    if (pFX->m_nOperation == CFieldExchange::opBindFieldsToColumns)
      throw std::runtime_error("bind");
    CCodeName::DoFieldExchange(pFX);
  }
};

TEST_F(OpenTest, AnyOtherFailureInOpenPassesOnUnchangedAfterClosing) {
  CDatabase::SetCriticalSection(TRUE);
  CDatabase& db = Database();
  CFailingBind rs(&db);
  EXPECT_THROW(rs.Open(CRecordset::staticCursor, "CUSTOMER"), std::runtime_error);
  EXPECT_EQ(rs.IsOpen(), 0);
  ExpectLock15Free();
}

// ------------------------------------------------------------ lock 15

TEST_F(OpenTest, Lock15IsHeldAroundOpenWhenSwitchedOn) {
  CDatabase::SetCriticalSection(TRUE);
  CDatabase& db = Database();
  CLockProbe rs(&db);
  {
    LockHeldUntilWaitedFor holder(15);
    rs.holder = &holder;
    rs.probedOperation = CFieldExchange::opBindFieldsToColumns;
    ASSERT_EQ(rs.Open(CRecordset::staticCursor, "CUSTOMER", CRecordset::none, 0), 1);
    EXPECT_EQ(rs.sawReleased, 1) << "the first row was bound without lock 15";
    rs.holder = nullptr;
  }
  ExpectLock15Free();
}

// ------------------------------------------------------------ close

TEST_F(OpenTest, CloseTriesASecondTimeAndNeverThrows) {
  SwitchTraceOn();
  CDatabase& db = Database();
  Exposed<CBulkCodes> rs(&db);
  ASSERT_EQ(rs.Open(CRecordset::staticCursor, "CUSTOMER", CRecordset::multiRowFetch), 1);
  ASSERT_NE(rs.m_codes, nullptr);
  EXPECT_EQ(rs.m_codes[0], 1);
  rs.failFree = true;
  rs.Close();
  // The second attempt closed the ADO recordset.
  EXPECT_EQ(rs.IsOpen(), 0);
  auto trace = Trace();
  EXPECT_EQ(Find(trace, "CRecordset::Close Failed IV"), -1);

  // Without an ADO recordset both attempts fail: traced, not thrown.
  CCodeName broken(&db);
  ASSERT_EQ(broken.Open(CRecordset::staticCursor, "CUSTOMER"), 1);
  _RecordsetPtr keep = broken.GetAdoRecordSet();
  broken.SetAdoRecordSet(nullptr);
  broken.Close();
  long close = Find(Trace(), "CRecordset::Close", static_cast<long>(trace.size()));
  EXPECT_GT(Find(Trace(), "CRecordset::Close Failed IV", close), close);
  // The object it no longer holds was left alone.
  EXPECT_EQ(keep->GetState(), adStateOpen);
  broken.SetAdoRecordSet(keep);
  broken.Close();
  EXPECT_EQ(keep->GetState(), adStateClosed);
}

TEST_F(OpenTest, CloseResetsEditStateAndFreesTheStatusArray) {
  CDatabase& db = Database();
  Exposed<CCustomer> rs(&db);
  ASSERT_EQ(rs.Open(CRecordset::staticCursor, "CUSTOMER"), 1);
  rs.Edit();
  ASSERT_EQ(rs.m_nEditMode, 1);
  rs.Close();
  EXPECT_EQ(rs.m_nEditMode, 0);
  EXPECT_EQ(rs.m_pFieldStatus, nullptr);
  EXPECT_EQ(rs.m_pRowStatus, nullptr);
  EXPECT_EQ(rs.CanUpdate(), 0);
  EXPECT_EQ(rs.CanAppend(), 0);
  EXPECT_EQ(rs.m_nBoundFields, 0);
  // The field map stays; each bind overwrites it.
  EXPECT_EQ(rs.GetBoundFieldIndex(&rs.m_name), 2);
  EXPECT_EQ(rs.IsOpen(), 0);
  rs.CancelUpdate();  // nothing to cancel on a closed recordset
}

// ------------------------------------------------------------ copies

TEST_F(OpenTest, CopiesShareTheAdoObjectsAndOwnTheirBuffers) {
  CDatabase& db = Database();
  Exposed<CCustomer> rs(&db);
  ASSERT_EQ(rs.Open(CRecordset::staticCursor, "CUSTOMER"), 1);
  rs.SetFieldStatus(1, CRecordset::fieldNull);

  Exposed<CCustomer> copy(rs);
  EXPECT_TRUE(copy.m_pRecordset == rs.m_pRecordset);
  EXPECT_TRUE(copy.m_pCommand == rs.m_pCommand);
  ASSERT_NE(copy.m_pFieldStatus, nullptr);
  EXPECT_NE(copy.m_pFieldStatus, rs.m_pFieldStatus);
  EXPECT_EQ(copy.GetFieldStatus(1), CRecordset::fieldNull);
  EXPECT_NE(copy.m_pRowStatus, rs.m_pRowStatus);
  EXPECT_EQ(copy.GetBoundFieldIndex(&rs.m_name), 2);  // the source's addresses
  EXPECT_STREQ(copy.GetSQL(), rs.GetSQL());
  // Its own status: changing one leaves the other.
  copy.ClearFieldStatus();
  EXPECT_EQ(rs.GetFieldStatus(1), CRecordset::fieldNull);
  // The shared ADO recordset: moving the copy moves the source's cursor.
  copy.MoveNext();
  EXPECT_EQ(copy.m_code, 2);
  EXPECT_EQ(rs.GetAdoRecordSet()->GetAbsolutePosition(), 2);

  // Assigned over an open recordset: its own buffers are replaced.
  Exposed<CCustomer> assigned(&db);
  ASSERT_EQ(assigned.Open(CRecordset::staticCursor, "CUSTOMER"), 1);
  _RecordsetPtr replaced = assigned.GetAdoRecordSet();
  assigned = rs;
  const Exposed<CCustomer>& self = assigned;
  assigned = self;  // self-assignment keeps the buffers
  EXPECT_TRUE(assigned.m_pRecordset == rs.m_pRecordset);
  EXPECT_NE(assigned.m_pFieldStatus, rs.m_pFieldStatus);
  EXPECT_EQ(assigned.GetFieldStatus(1), CRecordset::fieldNull);
  EXPECT_FALSE(assigned.m_pRecordset == replaced);
  replaced->Close();

  // A copy of a recordset with its own connection borrows it.
  Exposed<COwnConnection> own(Connect());
  ASSERT_EQ(own.Open(CRecordset::staticCursor, "CUSTOMER"), 1);
  {
    Exposed<COwnConnection> borrowed(own);
    EXPECT_EQ(borrowed.m_pDatabase, own.m_pDatabase);
    EXPECT_EQ(borrowed.m_bOwnDatabase, 0);
  }
  EXPECT_EQ(own.m_pDatabase->IsOpen(), 1);
  EXPECT_EQ(own.m_bOwnDatabase, 1);
}

}  // namespace
}  // namespace korvo::test
