// Tests of the field exchange context: CFieldExchange itself (field
// numbering, the Default fallback) and the passes a recordset issues,
// with their operation codes, targets and the exchange they go through.
#include "recordset/recordset_fixture.h"

namespace korvo::test {
namespace {

// What one exchange call received.
struct Pass {
  bool bulk;
  unsigned int operation;
  void* target;
  BOOL nullValue;
  CTString* names;
  const char* separator;
  unsigned int fieldType;
  unsigned int fieldNumber;
  CRecordset* recordset;
};

// Records every pass and visits `columns` column fields in each, without
// acting on them (except listing names through Default).
class CRecorder : public CRecordset {
 public:
  explicit CRecorder(CDatabase* db, unsigned int columns = 2) : CRecordset(db) {
    m_nFields = columns;
  }
  std::vector<Pass> passes;
  void DoFieldExchange(CFieldExchange* pFX) override { Record(pFX, false); }
  void DoBulkFieldExchange(CFieldExchange* pFX) override { Record(pFX, true); }
  using CRecordset::AllocRowset;
  using CRecordset::AllocStatusArrays;
  using CRecordset::FreeRowset;
  using CRecordset::m_dwOptions;
  using CRecordset::m_nEditMode;
  using CRecordset::m_SetNullFieldStatus;

 private:
  void Record(CFieldExchange* pFX, bool bulk) {
    passes.push_back({bulk, pFX->m_nOperation, pFX->m_pvTarget, pFX->m_bNullValue, pFX->m_pstrNames,
                      pFX->m_lpszSeparator, pFX->m_nFieldType, pFX->m_nFieldNumber, pFX->m_prs});
    static const char* const kNames[] = {"CODE", "NAME", "ACTIVE", "CODE"};
    unsigned int n = 0;
    for (unsigned int i = 0; i < m_nFields; ++i) {
      if (!pFX->IsFieldType(&n)) continue;
      if (pFX->m_nOperation == CFieldExchange::opAppendNames) pFX->Default(kNames[i % 4]);
    }
  }
};

class FieldExchangeContextTest : public RecordsetTest {};

TEST_F(FieldExchangeContextTest, ConstructionCopyAndFieldNumbering) {
  int target = 0;
  CFieldExchange fx(CFieldExchange::opMarkForUpdate, nullptr, &target);
  EXPECT_EQ(fx.m_nOperation, 3u);
  EXPECT_EQ(fx.m_prs, nullptr);
  EXPECT_EQ(fx.m_pvTarget, &target);
  EXPECT_EQ(fx.m_nFieldType, 0u);
  EXPECT_EQ(fx.m_pstrNames, nullptr);
  EXPECT_EQ(fx.m_bNullValue, 0);
  EXPECT_EQ(fx.m_lpszSeparator, nullptr);
  EXPECT_EQ(fx.m_nFieldNumber, 0u);

  unsigned int n = 99;
  EXPECT_EQ(fx.IsFieldType(&n), 1);
  EXPECT_EQ(n, 1u);
  EXPECT_EQ(fx.IsFieldType(&n), 1);
  EXPECT_EQ(n, 2u);
  // Another field type: not counted, the number left alone.
  fx.SetFieldType(1);
  n = 77;
  EXPECT_EQ(fx.IsFieldType(&n), 0);
  EXPECT_EQ(n, 77u);
  EXPECT_EQ(fx.m_nFieldNumber, 2u);
  fx.SetFieldType(CFieldExchange::outputColumn);
  EXPECT_EQ(fx.IsFieldType(&n), 1);
  EXPECT_EQ(n, 3u);

  CFieldExchange copy(CFieldExchange::opAppendNames, nullptr);
  copy = fx;
  EXPECT_EQ(copy.m_nOperation, 3u);
  EXPECT_EQ(copy.m_nFieldNumber, 3u);
  EXPECT_EQ(copy.m_pvTarget, &target);
}

TEST_F(FieldExchangeContextTest, DefaultRefusesEveryOperationButAppendNames) {
  for (unsigned int op : {0u, 1u, 2u, 3u, 5u, 6u, 7u, 8u, 42u}) {
    CFieldExchange fx(op, nullptr);
    unsigned int n = 0;
    fx.IsFieldType(&n);
    auto e = CatchDB([&] { fx.Default("COL"); });
    ASSERT_TRUE(e) << op;
    EXPECT_EQ(e->m_nReturnCode, 1030);
    EXPECT_STREQ(e->m_strErrorText, "Error come from KORVO library");
    EXPECT_TRUE(e->m_strErrorOrigin.IsEmpty());
    EXPECT_EQ(e->m_dwNativeError, 0u);
  }
}

TEST_F(FieldExchangeContextTest, DefaultListsOnlyDirtyFields) {
  CDatabase& db = Database();
  CRecorder rs(&db, 3);
  rs.AllocStatusArrays();
  rs.SetDirtyFieldStatus(0);
  rs.SetDirtyFieldStatus(2);
  CTString names;
  CFieldExchange fx(CFieldExchange::opAppendNames, &rs);
  fx.m_pstrNames = &names;
  fx.m_lpszSeparator = ", ";
  unsigned int n = 0;
  fx.IsFieldType(&n);
  fx.Default("CODE");
  fx.IsFieldType(&n);
  fx.Default("NAME");  // clean: nothing
  EXPECT_STREQ(names, "CODE, ");
  fx.m_lpszSeparator = nullptr;
  fx.IsFieldType(&n);
  fx.Default("ACTIVE");
  EXPECT_STREQ(names, "CODE, ACTIVE");
  // A null name appends the separator alone.
  fx.m_lpszSeparator = ";";
  fx.m_nFieldNumber = 0;
  fx.IsFieldType(&n);
  fx.Default(nullptr);
  EXPECT_STREQ(names, "CODE, ACTIVE;");
}

TEST_F(FieldExchangeContextTest, EachRecordsetTaskIsOnePassWithItsOperation) {
  CDatabase& db = Database();
  CRecorder rs(&db, 2);
  ASSERT_EQ(rs.Open(CRecordset::staticCursor, "SELECT CODE, NAME FROM CUSTOMER"), 1);
  // The open's binding pass through DoFieldExchange.
  ASSERT_EQ(rs.passes.size(), 1u);
  EXPECT_FALSE(rs.passes[0].bulk);
  EXPECT_EQ(rs.passes[0].operation, CFieldExchange::opBindFieldsToColumns);
  EXPECT_EQ(rs.passes[0].recordset, &rs);
  EXPECT_EQ(rs.passes[0].fieldNumber, 0u);
  EXPECT_EQ(rs.passes[0].fieldType, 0u);
  EXPECT_EQ(rs.BindFieldsToColumns(), 2u);

  rs.passes.clear();
  int member = 0;
  rs.SetFieldNull(&member, TRUE);
  rs.SetFieldNull(nullptr, FALSE);
  rs.MarkForUpdate();
  rs.MarkForAddNew();
  rs.BindFieldsForUpdate();  // edit mode 0: no pass
  rs.m_nEditMode = 2;
  rs.BindFieldsForUpdate();
  CTString names;
  EXPECT_EQ(rs.AppendNames(&names, "|"), 2u);
  ASSERT_EQ(rs.passes.size(), 6u);
  EXPECT_EQ(rs.passes[0].operation, CFieldExchange::opSetFieldNull);
  EXPECT_EQ(rs.passes[0].target, &member);
  EXPECT_EQ(rs.passes[0].nullValue, TRUE);
  EXPECT_EQ(rs.passes[1].operation, CFieldExchange::opSetFieldNull);
  EXPECT_EQ(rs.passes[1].target, nullptr);
  EXPECT_EQ(rs.passes[1].nullValue, FALSE);
  EXPECT_EQ(rs.passes[2].operation, CFieldExchange::opMarkForUpdate);
  EXPECT_EQ(rs.passes[3].operation, CFieldExchange::opMarkForAddNew);
  EXPECT_EQ(rs.passes[4].operation, CFieldExchange::opBindFieldsForUpdate);
  EXPECT_EQ(rs.passes[5].operation, CFieldExchange::opAppendNames);
  EXPECT_EQ(rs.passes[5].names, &names);
  EXPECT_STREQ(rs.passes[5].separator, "|");
  for (const Pass& p : rs.passes) {
    EXPECT_FALSE(p.bulk);
    EXPECT_EQ(p.fieldNumber, 0u);
  }
  // m_SetNullFieldStatus: only a database NULL sets the field null.
  rs.passes.clear();
  VARIANT value;
  VariantInit(&value);
  value.vt = VT_I4;
  value.lVal = 5;
  EXPECT_EQ(rs.m_SetNullFieldStatus(&member, value), 0);
  EXPECT_TRUE(rs.passes.empty());
  value.vt = VT_NULL;
  EXPECT_EQ(rs.m_SetNullFieldStatus(&member, value), 1);
  ASSERT_EQ(rs.passes.size(), 1u);
  EXPECT_EQ(rs.passes[0].operation, CFieldExchange::opSetFieldNull);
  EXPECT_EQ(rs.passes[0].target, &member);
  EXPECT_EQ(rs.passes[0].nullValue, TRUE);

  // Without fields SetFieldNull issues no pass.
  CRecorder none(&db, 0);
  none.SetFieldNull(nullptr, TRUE);
  EXPECT_TRUE(none.passes.empty());
}

TEST_F(FieldExchangeContextTest, MultiRowFetchRoutesBindingNamesAndRowsetsThroughBulk) {
  CDatabase& db = Database();
  CRecorder rs(&db, 2);
  ASSERT_EQ(rs.Open(CRecordset::staticCursor, "CUSTOMER", CRecordset::multiRowFetch), 1);
  std::vector<unsigned int> ops;
  for (const Pass& p : rs.passes) {
    EXPECT_TRUE(p.bulk) << p.operation;
    ops.push_back(p.operation);
  }
  // Names for the SELECT, the rowset buffers, the first binding.
  EXPECT_EQ(ops,
            (std::vector<unsigned int>{CFieldExchange::opAppendNames, CFieldExchange::opAllocRowset,
                                       CFieldExchange::opBindFieldsToColumns}));
  EXPECT_STREQ(rs.GetSQL(), "SELECT CODE,NAME  FROM CUSTOMER");
  // A second allocation frees the first buffers.
  rs.passes.clear();
  rs.AllocRowset();
  ASSERT_EQ(rs.passes.size(), 2u);
  EXPECT_EQ(rs.passes[0].operation, CFieldExchange::opFreeRowset);
  EXPECT_EQ(rs.passes[1].operation, CFieldExchange::opAllocRowset);
  // Freed once: the next free issues no pass.
  rs.passes.clear();
  rs.Close();
  rs.FreeRowset();
  ASSERT_EQ(rs.passes.size(), 1u);
  EXPECT_EQ(rs.passes[0].operation, CFieldExchange::opFreeRowset);

  // Without multiRowFetch no rowset pass is issued at all.
  CRecorder single(&db, 2);
  ASSERT_EQ(single.Open(CRecordset::staticCursor, "CUSTOMER"), 1);
  single.Close();
  for (const Pass& p : single.passes) {
    EXPECT_FALSE(p.bulk);
    EXPECT_NE(p.operation, CFieldExchange::opAllocRowset);
    EXPECT_NE(p.operation, CFieldExchange::opFreeRowset);
  }
}

}  // namespace
}  // namespace korvo::test
