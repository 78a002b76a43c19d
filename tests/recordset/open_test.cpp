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

// Whether another thread can take lock 15 now: it takes and releases it,
// and is joined (a lock that stayed held would hang here).
void ExpectLock15Free() {
  std::thread other([] {
    DBLockGlobals(15);
    DBUnlockGlobals(15);
  });
  other.join();
}

class OpenTest : public RecordsetTest {
 protected:
  void TearDown() override {
    CDatabase::SetCriticalSection(FALSE);
    RecordsetTest::TearDown();
  }
};

// ------------------------------------------------------------ construction

TEST_F(OpenTest, FreshRecordsetHasTheDocumentedDefaults) {
  Exposed<CCodeName> rs(nullptr);
  EXPECT_EQ(rs.m_nCursorLocation, 3);
  EXPECT_EQ(rs.m_dwRowLimit, 0u);
  EXPECT_EQ(rs.m_bWideSQL, 0);
  EXPECT_EQ(rs.m_pDatabase, nullptr);
  EXPECT_EQ(rs.m_nOpenType, 1);
  EXPECT_EQ(rs.m_nDefaultType, 1);
  EXPECT_EQ(rs.m_nEditMode, 0);
  EXPECT_EQ(rs.m_pFieldStatus, nullptr);
  EXPECT_EQ(rs.m_pRowStatus, nullptr);
  EXPECT_EQ(rs.m_mapFieldIndex.GetHashTableSize(), 17u);
  EXPECT_EQ(rs.GetRowsetSize(), 1u);
  EXPECT_TRUE(rs.m_pRecordset != nullptr);
  EXPECT_TRUE(rs.m_pCommand != nullptr);
  EXPECT_EQ(rs.IsOpen(), 0);
  EXPECT_STREQ(rs.GetDefaultConnect(), "ODBC;");
  EXPECT_TRUE(rs.GetDefaultSQL().IsEmpty());
  EXPECT_EQ(rs.CanUpdate(), 0);
  EXPECT_EQ(rs.CanAppend(), 0);
  EXPECT_EQ(rs.CanRestart(), 1);
  EXPECT_EQ(rs.CanTransact(), 1);
  EXPECT_EQ(rs.GetRowsFetched(), 1u);
  // Closing what was never opened neither throws nor opens anything.
  rs.Close();
  rs.Close();
  EXPECT_EQ(rs.IsOpen(), 0);
  EXPECT_EQ(rs.GetRowStatus(1), 0);
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
  struct Case {
    unsigned int type;
    unsigned long options;
    int connectOption;
    BOOL expectedCursorLib;
  } cases[] = {
      {CRecordset::staticCursor, CRecordset::none, 0, 1},  // static, updatable: 1
      {CRecordset::staticCursor, CRecordset::readOnly, 0, 0},
      {CRecordset::keysetCursor, CRecordset::none, 0, 0},
      {CRecordset::keysetCursor, CRecordset::none, 7, 7},
  };
  for (const Case& c : cases) {
    CRecordingDatabase db;
    Exposed<CRecordingOwnConnect> rs(&db);
    rs.connect = Connect().c_str();
    rs.m_nConnectOption = c.connectOption;
    ASSERT_EQ(rs.Open(c.type, "CUSTOMER", c.options), 1);
    EXPECT_EQ(db.opens, 1);
    EXPECT_EQ(db.dsn, "");
    EXPECT_EQ(db.exclusive, 0);
    EXPECT_EQ(db.readOnly, 0);
    EXPECT_EQ(db.connect, Connect());
    EXPECT_EQ(db.cursorLib, c.expectedCursorLib) << c.type << " " << c.options;
    EXPECT_EQ(rs.m_bOwnDatabase, 0);
    // Open: not opened again.
    rs.Close();
    ASSERT_EQ(rs.Open(c.type, "CUSTOMER", c.options), 1);
    EXPECT_EQ(db.opens, 1);
  }
}

TEST_F(OpenTest, ARefusedConnectionReturnsZeroAndReleasesLock15) {
  Database();
  CDatabase::SetCriticalSection(TRUE);
  CRecordingDatabase db;
  db.answer = 0;
  Exposed<CRecordingOwnConnect> rs(&db);
  rs.connect = Connect().c_str();
  EXPECT_EQ(rs.Open(CRecordset::staticCursor, "CUSTOMER"), 0);
  EXPECT_EQ(db.opens, 1);
  EXPECT_EQ(rs.IsOpen(), 0);
  ExpectLock15Free();
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

TEST_F(OpenTest, WithoutBoundFieldsNothingIsBoundAndNoStatusIsKept) {
  CDatabase& db = Database();
  Exposed<CRecordset> rs(&db);
  ASSERT_EQ(rs.Open(CRecordset::staticCursor, "SELECT CODE FROM CUSTOMER"), 1);
  EXPECT_EQ(rs.m_nBoundFields, -1);
  EXPECT_EQ(rs.m_pFieldStatus, nullptr);
  EXPECT_EQ(rs.GetRecordCount(), static_cast<long>(kCustomers.size()));
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

}  // namespace
}  // namespace korvo::test
