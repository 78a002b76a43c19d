// Tests of editing through a recordset on real SQLite files: what the
// random model test (recordset_model_test.cpp) does not reach: the trace of
// an update, the refusals with their return codes and trace lines, two
// editors of one row, a unique-key violation, and lock 15 around the update
// execution. The model test checks the edit modes, pseudo-null values,
// status bits and stored rows of AddNew / Edit / Update / Delete /
// CancelUpdate.
#include <korvo/recordset/direct_values_internal.h>

#include "recordset/recordset_fixture.h"

namespace korvo::test {
namespace {

class EditingTest : public RecordsetTest {
 protected:
  void TearDown() override {
    CDatabase::SetCriticalSection(FALSE);
    RecordsetTest::TearDown();
  }
  std::string NameOf(long code) {
    return Query("SELECT NAME FROM CUSTOMER WHERE CODE=" + std::to_string(code));
  }
  std::string Count() { return Query("SELECT COUNT(*) FROM CUSTOMER"); }
};

TEST_F(EditingTest, EditAndUpdateStoresOnlyWhatChanged) {
  SwitchTraceOn();
  CDatabase& db = Database();
  Exposed<CCustomer> rs(&db);
  ASSERT_EQ(rs.Open(CRecordset::staticCursor, "CUSTOMER"), 1);
  rs.MoveNext();
  rs.Edit();
  EXPECT_EQ(rs.m_nEditMode, 1);

  // Nothing changed: 0, nothing sent, still editing.
  size_t before = Trace().size();
  EXPECT_EQ(rs.Update(), 0);
  EXPECT_EQ(rs.m_nEditMode, 1);
  auto trace = Trace();
  EXPECT_GE(Find(trace, "CRecordset::IsFieldDirty", static_cast<long>(before)), 0);
  EXPECT_GE(Find(trace, "CRecordset::MarkForUpdate", static_cast<long>(before)), 0);
  EXPECT_EQ(Find(trace, "CRecordset::ExecuteSetPosUpdate", static_cast<long>(before)), -1);

  rs.m_name = "Bobby";
  EXPECT_EQ(rs.IsFieldDirty(&rs.m_name), 1);
  EXPECT_EQ(rs.IsFieldDirty(&rs.m_code), 0);
  EXPECT_EQ(rs.IsFieldDirty(nullptr), 1);
  EXPECT_EQ(rs.Update(), 1);
  EXPECT_EQ(rs.m_nEditMode, 0);
  EXPECT_EQ(NameOf(2), "Bobby");
  trace = Trace();
  long execute = Find(trace, "CRecordset::ExecuteSetPosUpdate");
  EXPECT_GT(Find(trace, "CRecordset::BindFieldsForUpdate", execute), execute);

  // Outside edit mode there is nothing to measure.
  EXPECT_EQ(rs.IsFieldDirty(nullptr), 0);
  // Edit after AddNew goes back to mode 1.
  rs.AddNew();
  rs.Edit();
  EXPECT_EQ(rs.m_nEditMode, 1);
}

TEST_F(EditingTest, MultiRowFetchNeverEdits) {
  CDatabase& db = Database();
  Exposed<CBulkCodes> rs(&db);
  ASSERT_EQ(rs.Open(CRecordset::staticCursor, "CUSTOMER", CRecordset::multiRowFetch), 1);
  rs.Edit();
  EXPECT_EQ(rs.m_nEditMode, 0);
  rs.AddNew();
  EXPECT_EQ(rs.m_nEditMode, 0);
  rs.m_nEditMode = 1;
  EXPECT_EQ(rs.Update(), 0);
  rs.m_nEditMode = 0;
  rs.Delete();
  EXPECT_EQ(Count(), "6");
}

// ------------------------------------------------------------ refusals

TEST_F(EditingTest, WrongEditModeIs1005WithItsTraceLine) {
  SwitchTraceOn();
  CDatabase& db = Database();
  Exposed<CCustomer> rs(&db);
  ASSERT_EQ(rs.Open(CRecordset::staticCursor, "CUSTOMER"), 1);
  auto update = CatchDB([&] { rs.Update(); });
  ASSERT_TRUE(update);
  EXPECT_EQ(update->m_nReturnCode, 1005);
  EXPECT_STREQ(update->m_strErrorText, "Error come from KORVO library");
  EXPECT_GE(Find(Trace(), "Error: must enter Edit or AddNew mode before updating.\n"), 0);

  rs.Edit();
  auto del = CatchDB([&] { rs.Delete(); });
  ASSERT_TRUE(del);
  EXPECT_EQ(del->m_nReturnCode, 1005);
  EXPECT_EQ(rs.m_nEditMode, 1);
  EXPECT_GE(Find(Trace(), "Error: attempted to delete while still in Edit or AddNew mode.\n"), 0);
  rs.AddNew();
  EXPECT_EQ(CatchDB([&] { rs.Delete(); })->m_nReturnCode, 1005);
  EXPECT_EQ(rs.m_nEditMode, 2);
  EXPECT_EQ(Count(), "6");
}

TEST_F(EditingTest, ReadOnlyRecordsetsRefuseWith1009) {
  SwitchTraceOn();
  CDatabase& db = Database();
  Exposed<CCustomer> rs(&db);
  ASSERT_EQ(rs.Open(CRecordset::staticCursor, "CUSTOMER", CRecordset::readOnly), 1);
  EXPECT_EQ(CatchDB([&] { rs.Edit(); })->m_nReturnCode, 1009);
  EXPECT_EQ(CatchDB([&] { rs.AddNew(); })->m_nReturnCode, 1009);
  EXPECT_EQ(rs.m_nEditMode, 0);
  auto del = CatchDB([&] { rs.Delete(); });
  ASSERT_TRUE(del);
  EXPECT_EQ(del->m_nReturnCode, 1009);
  EXPECT_GE(Find(Trace(), "Error: attempted to update a read only recordset.\n"), 0);
  // An add that reaches the execution on a recordset that cannot append.
  rs.m_nEditMode = 2;
  EXPECT_EQ(CatchDB([&] { rs.Update(); })->m_nReturnCode, 1009);
  EXPECT_GE(Find(Trace(), "Error: attempted to add a record to a read only recordset.\n"), 0);
  EXPECT_EQ(Count(), "6");

  // appendOnly: adding only.
  Exposed<CCustomer> append(&db);
  ASSERT_EQ(append.Open(CRecordset::staticCursor, "CUSTOMER", CRecordset::appendOnly), 1);
  EXPECT_EQ(CatchDB([&] { append.Edit(); })->m_nReturnCode, 1009);
  EXPECT_EQ(CatchDB([&] { append.Delete(); })->m_nReturnCode, 1009);
  append.AddNew();
  append.m_code = 20;
  append.m_name = "Hal";
  EXPECT_EQ(append.Update(), 1);
  EXPECT_EQ(NameOf(20), "Hal");
}

TEST_F(EditingTest, NoCurrentRowIs1007) {
  SwitchTraceOn();
  CDatabase& db = Database();
  Exposed<CCustomer> rs(&db);
  ASSERT_EQ(rs.Open(CRecordset::staticCursor, "CUSTOMER"), 1);
  rs.MoveLast();
  rs.MoveNext();
  ASSERT_EQ(rs.IsEOF(), 1);
  rs.Edit();
  rs.m_name = "Ghost";
  auto update = CatchDB([&] { rs.Update(); });
  ASSERT_TRUE(update);
  EXPECT_EQ(update->m_nReturnCode, 1007);
  EXPECT_GE(Find(Trace(), "Error: attempting to update recordset - but no record is current.\n"),
            0);
  rs.CancelUpdate();
  EXPECT_EQ(CatchDB([&] { rs.Delete(); })->m_nReturnCode, 1007);
  EXPECT_EQ(Count(), "6");
  EXPECT_EQ(NameOf(6), "Fay");
}

// ------------------------------------------------------------ failures in the database

TEST_F(EditingTest, SecondEditorOfARowIsRefusedAndTheFirstChangeStays) {
  SwitchTraceOn();
  CDatabase& db = Database();
  CDatabase other;
  ASSERT_EQ(other.OpenEx(Connect().c_str()), 1);
  Exposed<CCustomer> first(&db);
  Exposed<CCustomer> second(&other);
  ASSERT_EQ(first.Open(CRecordset::staticCursor, "CUSTOMER"), 1);
  ASSERT_EQ(second.Open(CRecordset::staticCursor, "CUSTOMER"), 1);
  first.MoveNext();
  second.MoveNext();

  first.Edit();
  first.m_name = "Bobby";
  ASSERT_EQ(first.Update(), 1);

  second.Edit();
  second.m_name = "Robert";
  auto e = CatchDB([&] { second.Update(); });
  ASSERT_TRUE(e);
  EXPECT_EQ(e->m_nReturnCode, 1000);
  EXPECT_STREQ(e->m_strErrorOrigin, "[5015]");
  EXPECT_FALSE(e->m_strErrorText.IsEmpty());
  EXPECT_EQ(e->m_dwNativeError, 0u);
  EXPECT_GE(Find(Trace(), std::string(e->m_strErrorText)), 0);
  EXPECT_EQ(NameOf(2), "Bobby");
  // Still editing; the refused change waits in the ADO row.
  EXPECT_EQ(second.m_nEditMode, 1);
  EXPECT_NE(second.GetAdoRecordSet()->GetEditMode(), adEditNone);

  // CancelUpdate drops it, so moving on does not try the write again.
  second.CancelUpdate();
  EXPECT_EQ(second.m_nEditMode, 0);
  EXPECT_EQ(second.GetAdoRecordSet()->GetEditMode(), adEditNone);
  second.MoveNext();
  EXPECT_EQ(second.m_code, 3);
  EXPECT_EQ(NameOf(2), "Bobby");

  // Requeried, the second editor sees the first change and may edit it.
  ASSERT_EQ(second.Requery(), 1);
  second.MoveNext();
  EXPECT_STREQ(second.m_name, "Bobby");
  second.Edit();
  second.m_name = "Robert";
  EXPECT_EQ(second.Update(), 1);
  EXPECT_EQ(NameOf(2), "Robert");
}

TEST_F(EditingTest, UniqueKeyViolationCarriesNativeError23000AndReleasesLock15) {
  CDatabase::SetCriticalSection(TRUE);
  CDatabase& db = Database();
  Exposed<CCustomer> rs(&db);
  ASSERT_EQ(rs.Open(CRecordset::staticCursor, "CUSTOMER"), 1);
  rs.MoveNext();
  rs.Edit();
  rs.m_name = "Ann";  // NAME is unique
  auto e = CatchDB([&] { rs.Update(); });
  ASSERT_TRUE(e);
  EXPECT_EQ(e->m_nReturnCode, 1000);
  EXPECT_EQ(e->m_dwNativeError, 23000u);
  EXPECT_STREQ(e->m_strErrorOrigin, "[5015]");
  EXPECT_FALSE(e->m_strErrorText.IsEmpty());
  ExpectLock15Free();
  rs.CancelUpdate();
  EXPECT_EQ(NameOf(2), "Bob");

  // A duplicate primary key on insert.
  rs.AddNew();
  rs.m_code = 3;
  rs.m_name = "Ivy";
  auto dup = CatchDB([&] { rs.Update(); });
  ASSERT_TRUE(dup);
  EXPECT_EQ(dup->m_dwNativeError, 23000u);
  EXPECT_STREQ(dup->m_strErrorOrigin, "[5015]");
  ExpectLock15Free();
  rs.CancelUpdate();
  EXPECT_EQ(Count(), "6");
  EXPECT_EQ(NameOf(3), "Cid");
}

TEST_F(EditingTest, ALibraryErrorWhileWritingPassesOnWithItsTagAndLock15Released) {
  SwitchTraceOn();
  CDatabase::SetCriticalSection(TRUE);
  CDatabase& db = Database();
  Exposed<CCustomer> rs(&db);
  ASSERT_EQ(rs.Open(CRecordset::staticCursor, "CUSTOMER"), 1);
  rs.Edit();
  rs.m_name = "Anna";
  rs.m_code = 1L << 40;  // no 32-bit column value: the setter refuses it
  auto e = CatchDB([&] { rs.Update(); });
  ASSERT_TRUE(e);
  EXPECT_EQ(e->m_nReturnCode, 1029);  // passed on unchanged
  EXPECT_TRUE(e->m_strErrorOrigin.IsEmpty());
  ExpectLock15Free();
  auto trace = Trace();
  long execute = Find(trace, "CRecordset::ExecuteSetPosUpdate");
  EXPECT_GT(Find(trace, "DbException120", execute), execute);
  rs.CancelUpdate();
  rs.MoveNext();
  EXPECT_EQ(NameOf(1), "Ann");
}

TEST_F(EditingTest, Lock15IsHeldWhileTheRowIsWritten) {
  CDatabase::SetCriticalSection(TRUE);
  CDatabase& db = Database();
  CLockProbe rs(&db);
  ASSERT_EQ(rs.Open(CRecordset::staticCursor, "CUSTOMER", CRecordset::none, 0), 1);
  rs.Edit();
  rs.m_name = "Annie";
  {
    LockHeldUntilWaitedFor holder(15);
    rs.holder = &holder;
    rs.probedOperation = CFieldExchange::opBindFieldsForUpdate;
    EXPECT_EQ(rs.Update(), 1);
    EXPECT_EQ(rs.sawReleased, 1) << "the row was written without lock 15";
    rs.holder = nullptr;
  }
  ExpectLock15Free();
  EXPECT_EQ(NameOf(1), "Annie");
}

// A derived class making more RFX_ calls than its m_nFields declares: the
// status array holds m_nFields bytes, so the extra field keeps no bits and
// its setter refuses it with 1026; nothing is written past the array (the
// sanitizer build would report it) and the declared field still works.
class COneFieldTwoCalls : public CCodeName {
 public:
  explicit COneFieldTwoCalls(CDatabase* db) : CCodeName(db) { m_nFields = 1; }
};

TEST_F(EditingTest, ExtraFieldExchangeCallsKeepNoStatusAndAreRefused) {
  COneFieldTwoCalls rs(&Database());
  ASSERT_EQ(rs.Open(CRecordset::staticCursor, "SELECT CODE, NAME FROM CUSTOMER"), 1);
  EXPECT_EQ(rs.m_code, 1);
  auto update_code = [&] {
    try {
      rs.Update();
    } catch (CDBException* e) {
      const int code = e->m_nReturnCode;
      e->Delete();
      rs.CancelUpdate();
      return code;
    }
    return 0;
  };
  rs.AddNew();
  rs.m_code = 500;
  rs.m_name = "Extra";
  EXPECT_EQ(update_code(), 1026);
  EXPECT_EQ(Query("SELECT COUNT(*) FROM CUSTOMER WHERE CODE = 500"), "0");
  rs.Edit();
  rs.m_code = 501;
  rs.m_name = "";
  EXPECT_EQ(update_code(), 1026);
  rs.SetFieldNull(nullptr, TRUE);
  EXPECT_TRUE(rs.m_name.IsEmpty());
  EXPECT_EQ(rs.IsFieldNull(&rs.m_code), CRecordset::fieldNull);
}

// The setters' puts are resolved per column on the first row written and
// kept for the rows after. A Close and Open of the same recordset on other
// columns (the first one binary, not an integer) must resolve them afresh:
// what the second open stores, or refuses, is what the VARIANT route does.
TEST_F(EditingTest, PutsResolvedOnOneOpenServeNoOther) {
  CDatabase& db = Database();
  db.ExecuteSQL("CREATE TABLE P (ID INTEGER PRIMARY KEY, DATA BLOB, NOTE TEXT)");
  auto outcome = [&](bool variant_route, long id) {
    korvo::recordset::TEST_ForceVariantRoute(variant_route);
    std::string result;
    CCodeName rs(&db);
    EXPECT_EQ(rs.Open(CRecordset::staticCursor, "CUSTOMER"), 1);
    rs.AddNew();
    rs.m_code = id;
    rs.m_name = ("Zed" + std::to_string(id)).c_str();
    EXPECT_EQ(rs.Update(), 1);
    rs.Close();
    const std::string select = "SELECT DATA, NOTE FROM P";
    EXPECT_EQ(rs.Open(CRecordset::staticCursor, select.c_str()), 1);
    rs.AddNew();
    rs.m_code = 7;
    rs.m_name = ("note" + std::to_string(id)).c_str();
    try {
      rs.Update();
    } catch (CDBException* e) {
      result = "refused " + std::to_string(e->m_nReturnCode) + "; ";
      e->Delete();
      rs.CancelUpdate();
    }
    rs.Close();
    korvo::recordset::TEST_ForceVariantRoute(false);
    return result +
           Query(
               "SELECT COUNT(*) || ',' || IFNULL(MAX(typeof(DATA) || quote(DATA)), '') FROM P"
               " WHERE NOTE = 'note" +
               std::to_string(id) + "'");
  };
  const std::string variant = outcome(true, 100);
  EXPECT_EQ(outcome(false, 101), variant);
  EXPECT_EQ(NameOf(100), "Zed100");
  EXPECT_EQ(NameOf(101), "Zed101");
}

}  // namespace
}  // namespace korvo::test
