// Tests of the field status of a recordset bound to a real SQLite table:
// the status bytes by index and by member address, the field map, and
// columns looked up by name (SetFieldNull: rfx_test.cpp).
#include "recordset/recordset_fixture.h"

namespace korvo::test {
namespace {

class FieldStatusTest : public RecordsetTest {};

TEST_F(FieldStatusTest, StatusBytesByIndexOrTheirBits) {
  CDatabase& db = Database();
  Exposed<CCustomer> rs(&db);
  ASSERT_EQ(rs.Open(CRecordset::staticCursor, "CUSTOMER"), 1);
  for (unsigned long i = 0; i < 3; ++i) ASSERT_EQ(rs.GetFieldStatus(i), 0) << i;

  rs.SetFieldStatus(0, CRecordset::fieldDirty);
  rs.SetFieldStatus(0, CRecordset::fieldNull);  // ORed in: dirty stays
  EXPECT_EQ(rs.GetFieldStatus(0), CRecordset::fieldDirty | CRecordset::fieldNull);
  EXPECT_EQ(rs.IsFieldStatusDirty(0), 1);
  EXPECT_EQ(rs.IsFieldStatusNull(0), 2);
  rs.SetFieldStatus(1, 0x80);  // any bit can be set this way
  EXPECT_EQ(rs.GetFieldStatus(1), 0x80);
  EXPECT_EQ(rs.IsFieldStatusDirty(1), 0);
  EXPECT_EQ(rs.IsFieldStatusNull(1), 0);

  rs.ClearDirtyFieldStatus(0);
  EXPECT_EQ(rs.GetFieldStatus(0), CRecordset::fieldNull);
  rs.SetDirtyFieldStatus(2);
  rs.SetNullFieldStatus(2);
  rs.ClearNullFieldStatus(2);
  EXPECT_EQ(rs.GetFieldStatus(2), CRecordset::fieldDirty);
  rs.ClearFieldStatus();
  for (unsigned long i = 0; i < 3; ++i) EXPECT_EQ(rs.GetFieldStatus(i), 0) << i;
}

TEST_F(FieldStatusTest, MembersAreFoundThroughTheBindingsMap) {
  CDatabase& db = Database();
  Exposed<CCustomer> rs(&db);
  int stranger = 0;
  // Nothing bound yet.
  EXPECT_EQ(rs.GetBoundFieldIndex(&rs.m_code), -1);
  ASSERT_EQ(rs.Open(CRecordset::staticCursor, "CUSTOMER"), 1);
  EXPECT_EQ(rs.GetBoundFieldIndex(&rs.m_code), 1);
  EXPECT_EQ(rs.GetBoundFieldIndex(&rs.m_name), 2);
  EXPECT_EQ(rs.GetBoundFieldIndex(&rs.m_active), 3);
  EXPECT_EQ(rs.GetBoundFieldIndex(&stranger), -1);
  EXPECT_EQ(rs.GetBoundFieldIndex(nullptr), -1);

  // IsFieldNull: the null bit as it stands, or 1026 for a stranger.
  rs.SetNullFieldStatus(1);
  EXPECT_EQ(rs.IsFieldNull(&rs.m_name), 2);
  EXPECT_EQ(rs.IsFieldNull(&rs.m_code), 0);
  for (void* address : {static_cast<void*>(&stranger), static_cast<void*>(nullptr)}) {
    auto e = CatchDB([&] { rs.IsFieldNull(address); });
    ASSERT_TRUE(e);
    EXPECT_EQ(e->m_nReturnCode, 1026);
    EXPECT_STREQ(e->m_strErrorText, "Error come from KORVO library");
  }

  // SetFieldDirty: one field, all fields, or nothing for a stranger.
  rs.SetFieldDirty(&rs.m_active);
  EXPECT_EQ(rs.GetFieldStatus(2), CRecordset::fieldDirty);
  rs.SetFieldDirty(&stranger);
  rs.SetFieldDirty(&stranger, FALSE);
  EXPECT_EQ(rs.GetFieldStatus(0), 0);
  EXPECT_EQ(rs.GetFieldStatus(1), CRecordset::fieldNull);
  EXPECT_EQ(rs.GetFieldStatus(2), CRecordset::fieldDirty);
  rs.SetFieldDirty(nullptr);
  for (unsigned long i = 0; i < 3; ++i) EXPECT_EQ(rs.IsFieldStatusDirty(i), 1) << i;
  rs.SetFieldDirty(nullptr, FALSE);
  for (unsigned long i = 0; i < 3; ++i) EXPECT_EQ(rs.IsFieldStatusDirty(i), 0) << i;
  EXPECT_EQ(rs.GetFieldStatus(1), CRecordset::fieldNull);  // only the dirty bit moved

  // IsFieldDirty for a stranger while editing: no binding, no dirty bit.
  rs.Edit();
  EXPECT_EQ(rs.IsFieldDirty(&stranger), 0);
}

TEST_F(FieldStatusTest, ColumnsAreFoundByNameWithoutRegardToCase) {
  CDatabase& db = Database();
  Exposed<CRecordset> rs(&db);
  ASSERT_EQ(rs.Open(CRecordset::staticCursor,
                    "SELECT CODE, NAME, ACTIVE, NAME AS name, CODE AS Extra FROM CUSTOMER"),
            1);
  EXPECT_EQ(rs.GetFieldIndexByName("code"), 1);
  EXPECT_EQ(rs.GetFieldIndexByName("NAME"), 2);  // the first of two
  EXPECT_EQ(rs.GetFieldIndexByName("name"), 2);
  EXPECT_EQ(rs.GetFieldIndexByName("active"), 3);
  EXPECT_EQ(rs.GetFieldIndexByName("EXTRA"), 5);
  for (const char* name : {"MISSING", "", static_cast<const char*>(nullptr)}) {
    auto e = CatchDB([&] { rs.GetFieldIndexByName(name); });
    ASSERT_TRUE(e);
    EXPECT_EQ(e->m_nReturnCode, 1026);
  }
  // A closed recordset has a collection of no fields.
  rs.Close();
  auto closed = CatchDB([&] { rs.GetFieldIndexByName("CODE"); });
  ASSERT_TRUE(closed);
  EXPECT_EQ(closed->m_nReturnCode, 1026);
}

}  // namespace
}  // namespace korvo::test
