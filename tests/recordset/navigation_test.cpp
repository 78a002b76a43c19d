// Tests of moving through a recordset on a real SQLite file: the six move
// codes and their wrappers, end of file, moving before the first row, the
// failures and their return codes, the row count, and lock 15 around
// Move.
#include "recordset/recordset_fixture.h"

namespace korvo::test {
namespace {

class NavigationTest : public RecordsetTest {
 protected:
  void TearDown() override {
    CDatabase::SetCriticalSection(FALSE);
    RecordsetTest::TearDown();
  }
};

// The random model test (recordset_model_test.cpp) moves with every code
// and checks the members and status bits after each move; here the
// wrappers, and what a move reads (one binding pass per row found).
TEST_F(NavigationTest, WrappersReachTheirRowsAndEndOfFileReadsNothing) {
  CDatabase& db = Database();
  Exposed<CCustomer> rs(&db);
  ASSERT_EQ(rs.Open(CRecordset::staticCursor, "CUSTOMER"), 1);
  rs.MoveNext();
  EXPECT_STREQ(rs.m_name, "Bob");
  rs.MoveLast();
  EXPECT_EQ(rs.m_code, 6);
  rs.MovePrev();
  EXPECT_EQ(rs.m_code, 5);
  rs.MoveFirst();
  EXPECT_EQ(rs.m_code, 1);
  EXPECT_EQ(rs.m_bindPasses, 5);
  rs.MoveLast();
  rs.MoveNext();
  EXPECT_EQ(rs.IsEOF(), 1);
  EXPECT_EQ(rs.m_bindPasses, 6) << "end of file reads nothing";
  rs.MovePrev();  // from end of file back onto the last row
  EXPECT_EQ(rs.m_code, 6);
  EXPECT_EQ(rs.m_bindPasses, 7);

  // An empty result is at end of file from the start; nothing is read.
  Exposed<CCustomer> empty(&db);
  empty.m_strFilter = "CODE > 100";
  ASSERT_EQ(empty.Open(CRecordset::staticCursor, "CUSTOMER"), 1);
  EXPECT_EQ(empty.IsEOF(), 1);
  EXPECT_EQ(empty.IsBOF(), 1);
  EXPECT_EQ(empty.m_code, 0);
  EXPECT_EQ(empty.GetRecordCount(), 0);
  // The binding still recorded each member's field number.
  EXPECT_EQ(empty.GetBoundFieldIndex(&empty.m_active), 3);
}

TEST_F(NavigationTest, MovingBeforeTheFirstRowGivesReturnCode1000) {
  SwitchTraceOn();
  CDatabase::SetCriticalSection(TRUE);
  CDatabase& db = Database();
  Exposed<CCustomer> rs(&db);
  ASSERT_EQ(rs.Open(CRecordset::staticCursor, "CUSTOMER"), 1);

  // The cursor gets there, but the row it finds cannot be read: the
  // loading failure becomes return code 1000 without a text.
  auto e = CatchDB([&] { rs.MovePrev(); });
  ASSERT_TRUE(e);
  EXPECT_EQ(e->m_nReturnCode, 1000);
  EXPECT_TRUE(e->m_strErrorText.IsEmpty());
  EXPECT_TRUE(e->m_strErrorOrigin.IsEmpty());
  EXPECT_EQ(rs.IsBOF(), 1);
  EXPECT_EQ(rs.m_code, 1);
  ExpectLock15Free();
  auto trace = Trace();
  long move = Find(trace, "CRecordset::Move");
  EXPECT_GT(Find(trace, "DbException102", move), move);

  // Before the first row already: ADO refuses the move itself.
  auto again = CatchDB([&] { rs.MovePrev(); });
  ASSERT_TRUE(again);
  EXPECT_EQ(again->m_nReturnCode, 1000);
  EXPECT_STREQ(again->m_strErrorOrigin, "[5002]");
  EXPECT_FALSE(again->m_strErrorText.IsEmpty());
  EXPECT_GE(Find(Trace(), std::string(again->m_strErrorText)), 0);
  ExpectLock15Free();
  auto relative = CatchDB([&] { rs.Move(-1, CRecordset::fetchRelative); });
  ASSERT_TRUE(relative);
  EXPECT_STREQ(relative->m_strErrorOrigin, "[5002]");

  // And the recordset moves on from there.
  rs.MoveNext();
  EXPECT_EQ(rs.m_code, 1);
}

TEST_F(NavigationTest, RefusedMovesAre5002) {
  CDatabase& db = Database();
  Exposed<CCustomer> rs(&db);
  // Closed: ADO refuses every move.
  auto closed = CatchDB([&] { rs.MoveNext(); });
  ASSERT_TRUE(closed);
  EXPECT_EQ(closed->m_nReturnCode, 1000);
  EXPECT_STREQ(closed->m_strErrorOrigin, "[5002]");
  // IsEOF has no handler of its own.
  EXPECT_THROW(rs.IsEOF(), _com_error);
  EXPECT_THROW(rs.IsBOF(), _com_error);
  EXPECT_THROW(rs.GetRecordCount(), _com_error);

  ASSERT_EQ(rs.Open(CRecordset::staticCursor, "CUSTOMER"), 1);
  // A move code outside 1..6.
  auto unknown = CatchDB([&] { rs.Move(1, 9); });
  ASSERT_TRUE(unknown);
  EXPECT_STREQ(unknown->m_strErrorOrigin, "[5002]");
  EXPECT_STREQ(unknown->m_strErrorText, "Unknown move code.");
  EXPECT_EQ(rs.m_code, 1);
  // Past the end.
  rs.MoveLast();
  rs.MoveNext();
  auto past = CatchDB([&] { rs.MoveNext(); });
  ASSERT_TRUE(past);
  EXPECT_STREQ(past->m_strErrorOrigin, "[5002]");

  // A forward-only cursor cannot go back.
  Exposed<CCustomer> forward(&db);
  ASSERT_EQ(forward.Open(CRecordset::forwardOnly, "CUSTOMER", CRecordset::readOnly), 1);
  forward.MoveNext();
  EXPECT_EQ(forward.m_code, 2);
  auto back = CatchDB([&] { forward.MovePrev(); });
  ASSERT_TRUE(back);
  EXPECT_STREQ(back->m_strErrorOrigin, "[5002]");
}

TEST_F(NavigationTest, RecordCountAndUnboundMoves) {
  CDatabase& db = Database();
  Exposed<CCustomer> rs(&db);
  rs.m_strFilter = "ACTIVE=1";
  ASSERT_EQ(rs.Open(CRecordset::staticCursor, "CUSTOMER"), 1);
  EXPECT_EQ(rs.GetRecordCount(), 4);

  // A forward-only server cursor does not know its count.
  Exposed<CCustomer> forward(&db);
  ASSERT_EQ(forward.Open(CRecordset::forwardOnly, "CUSTOMER", CRecordset::readOnly), 1);
  EXPECT_EQ(forward.GetRecordCount(), -1);

  // Without bound fields nothing is bound, no status kept, and Move leaves
  // the edit mode alone.
  Exposed<CRecordset> unbound(&db);
  ASSERT_EQ(unbound.Open(CRecordset::staticCursor, "SELECT CODE FROM CUSTOMER"), 1);
  EXPECT_EQ(unbound.m_pFieldStatus, nullptr);
  EXPECT_EQ(unbound.GetRecordCount(), static_cast<long>(kCustomers.size()));
  unbound.m_nEditMode = 1;
  unbound.MoveNext();
  EXPECT_EQ(unbound.m_nEditMode, 1);
  EXPECT_EQ(unbound.m_nBoundFields, -1);
}

TEST_F(NavigationTest, Lock15IsHeldAroundMoveAndReleasedAfterIt) {
  CDatabase::SetCriticalSection(TRUE);
  CDatabase& db = Database();
  CLockProbe rs(&db);
  ASSERT_EQ(rs.Open(CRecordset::staticCursor, "CUSTOMER", CRecordset::none, 0), 1);
  {
    LockHeldUntilWaitedFor holder(15);
    rs.holder = &holder;
    rs.probedOperation = CFieldExchange::opBindFieldsToColumns;
    rs.Move(1, CRecordset::fetchNext);
    EXPECT_EQ(rs.sawReleased, 1) << "the row was bound without lock 15";
    EXPECT_EQ(rs.m_code, 2);
    rs.holder = nullptr;
  }
  ExpectLock15Free();
}

}  // namespace
}  // namespace korvo::test
