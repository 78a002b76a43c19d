// Tests of field exchange: every RFX_ type bound in a derived recordset
// and carried through AddNew / Edit / Update and back (also through a
// second connection), the exchange passes one by one (binding, marking,
// nulls, names, the fallback) and the multi-row _Bulk functions.
#include <korvo/recordset/CFieldExchange.h>

#include <cstring>

#include "recordset/field_test_support.h"

namespace korvo::test {
namespace {

// Every single-row RFX_ type: the shared set and RFX_Text2 as field 11.
class AllTypes : public EveryType {
 public:
  explicit AllTypes(CDatabase* db) : EveryType(db) { m_nFields = kFields + 1; }
  void DoFieldExchange(CFieldExchange* pFX) override {
    EveryType::DoFieldExchange(pFX);
    RFX_Text2(pFX, "stamp2", m_stamp2);
  }
  CTString m_stamp2;
};

void SetBytes(CTByteArray& a, const std::string& bytes) {
  a.SetSize(static_cast<int>(bytes.size()));
  std::memcpy(a.GetData(), bytes.data(), bytes.size());
}
void SetBytes(CTLongBinary& b, const std::string& bytes) {
  b.SetParam(reinterpret_cast<const BYTE*>(bytes.data()), static_cast<DWORD>(bytes.size()));
}

class RfxTest : public RoutedFieldTest {
 protected:
  void SetUp() override {
    RoutedFieldTest::SetUp();
    Exec(
        "CREATE TABLE t (id INTEGER PRIMARY KEY, name VARCHAR(50), wide TEXT, stamp2 DATETIME,"
        " i SMALLINT, l INTEGER, b TINYINT, flag BOOLEAN, bin VARBINARY(16), d DATETIME,"
        " blob BLOB, x DOUBLE)");
  }

  // Opens `rs` on t ordered by id and moves to the row with `id`.
  void OpenAt(AllTypes& rs, long id) {
    rs.m_strSort = "id";
    ASSERT_EQ(rs.Open(CRecordset::staticCursor, nullptr, CRecordset::none), 1);
    while (!rs.IsEOF() && rs.m_id != id) rs.MoveNext();
    ASSERT_FALSE(rs.IsEOF()) << "no row " << id;
  }

  std::string Stored(long id, const char* column) {
    return Scalar(
        ("SELECT " + std::string(column) + " FROM t WHERE id = " + std::to_string(id)).c_str());
  }

  void FillValues(AllTypes& rs, long id) {
    rs.m_id = id;
    rs.m_name = "narrow";
    rs.m_wide = u"w\u00efde";
    rs.m_stamp2 = "'2020-01-02 03:04:05'";  // an SQL expression
    rs.m_int = 70000;                       // travels as 16 bits: 4464
    rs.m_long = -2000000000L;
    rs.m_byte = 7;
    rs.m_bool = 5;
    SetBytes(rs.m_bin, std::string("\x01\x00\xFE", 3));
    rs.m_date = CTTime(2022, 8, 9, 10, 11, 12);
    SetBytes(rs.m_blob, std::string("blob\0data", 9));
    rs.m_double = 6.25;
  }
};

// The model-based test (recordset_model_test.cpp) carries every other
// type through AddNew / Edit / Update, nulls and pseudo-null values
// included, and reads the table back. Left here: RFX_Text2, whose value is
// an SQL expression sent as written; the null test by member; and members
// set null and then all marked dirty, which are written as NULL.
TEST_P(RfxTest, Text2ExpressionsAndNullsByMember) {
  {
    AllTypes rs(&Db());
    ASSERT_EQ(rs.Open(CRecordset::staticCursor, nullptr, CRecordset::none), 1);
    rs.AddNew();
    FillValues(rs, 1);
    rs.SetFieldNull(&rs.m_blob, FALSE);
    rs.SetFieldDirty(&rs.m_blob);
    EXPECT_EQ(rs.Update(), 1);
    rs.AddNew();
    rs.m_id = 2;
    EXPECT_EQ(rs.Update(), 1);
    rs.Close();
  }
  EXPECT_EQ(Stored(1, "typeof(stamp2)"), "text");
  EXPECT_EQ(Stored(2, "stamp2"), "NULL");
  {
    AllTypes rs(&Db());
    OpenAt(rs, 1);
    EXPECT_STREQ(rs.m_stamp2, "2020-01-02 03:04:05.000");
    rs.MoveNext();
    ASSERT_EQ(rs.m_id, 2);
    EXPECT_TRUE(rs.m_stamp2.IsEmpty());
    void* const nullable[] = {&rs.m_name, &rs.m_wide, &rs.m_stamp2, &rs.m_long, &rs.m_byte,
                              &rs.m_bool, &rs.m_date, &rs.m_double, &rs.m_bin,  &rs.m_blob};
    for (void* member : nullable) EXPECT_EQ(rs.IsFieldNull(member), 2);
    EXPECT_EQ(rs.IsFieldNull(&rs.m_int), 0);  // RFX_Int sent its pseudo-null value

    rs.MovePrev();
    ASSERT_EQ(rs.m_id, 1);
    rs.Edit();
    for (void* member : nullable) rs.SetFieldNull(member);
    rs.SetFieldNull(&rs.m_int);
    rs.SetFieldDirty(nullptr);
    EXPECT_EQ(rs.Update(), 1);
    rs.Close();
  }
  for (const char* column :
       {"name", "wide", "stamp2", "i", "l", "b", "flag", "bin", "d", "blob", "x"})
    EXPECT_EQ(Stored(1, column), "NULL") << column;
}

// The compared types only (no byte or binary column, which are marked
// whenever they are not null).
class ComparedTypes : public CRecordset {
 public:
  explicit ComparedTypes(CDatabase* db) : CRecordset(db) { m_nFields = 7; }
  CTString GetDefaultSQL() override { return "t"; }
  void DoFieldExchange(CFieldExchange* pFX) override {
    RFX_Long(pFX, "id", m_id);
    RFX_Text(pFX, "name", m_name);
    RFX_Int(pFX, "i", m_int);
    RFX_Long(pFX, "l", m_long);
    RFX_Bool(pFX, "flag", m_bool);
    RFX_Date(pFX, "d", m_date);
    RFX_Double(pFX, "x", m_double);
  }
  long m_id = 0;
  CTString m_name;
  int m_int = 0;
  long m_long = 0;
  int m_bool = 0;
  CTTime m_date;
  double m_double = 0;
};

TEST_P(RfxTest, UpdateSendsOnlyTheFieldsThatChanged) {
  Exec(
      "INSERT INTO t (id, name, i, l, flag, x, d, b, bin)"
      " VALUES (1, 'same', 3, 4, 1, 1.5, '2001-01-01 00:00:00', NULL, X'01')");
  {
    ComparedTypes rs(&Db());
    rs.m_strFilter = "id = 1";
    ASSERT_EQ(rs.Open(CRecordset::staticCursor, nullptr, CRecordset::none), 1);
    rs.Edit();
    EXPECT_EQ(rs.Update(), 0);  // nothing changed: nothing sent
    rs.m_long = 40;
    rs.MarkForUpdate();
    for (unsigned long f = 0; f < 7; ++f) EXPECT_EQ(rs.IsFieldStatusDirty(f), f == 3 ? 1 : 0) << f;
    // Somebody else changes another column meanwhile; only l is written.
    CDatabase other;
    ASSERT_EQ(other.OpenEx(Connect().c_str(), 0), 1);
    other.ExecuteSQL("UPDATE t SET x = 9.5 WHERE id = 1");
    other.Close();
    EXPECT_EQ(rs.Update(), 1);
    rs.Close();
  }
  EXPECT_EQ(Stored(1, "l"), "40");
  EXPECT_EQ(Stored(1, "x"), "9.5");

  // Byte and binary members are marked whenever their field is not null.
  AllTypes all(&Db());
  OpenAt(all, 1);
  all.Edit();
  all.MarkForUpdate();
  EXPECT_EQ(all.GetFieldStatus(5), CRecordset::fieldNull);   // b: null, clean
  EXPECT_EQ(all.GetFieldStatus(9), CRecordset::fieldDirty);  // bin
  EXPECT_EQ(all.GetFieldStatus(1), 0);                       // name compares equal
  all.CancelUpdate();
}

// ------------------------------------------------------------ passes one by one

class RfxPassTest : public RfxTest {
 protected:
  void SetUp() override {
    RfxTest::SetUp();
    Exec("INSERT INTO t (id, name, i, l, blob) VALUES (1, 'abc', 5, 6, X'01')");
  }
};

TEST_P(RfxPassTest, AFieldTypeOtherThanColumnNeitherCountsNorActs) {
  AllTypes rs(&Db());
  OpenAt(rs, 1);
  CFieldExchange fx(CFieldExchange::opSetFieldNull, &rs);
  fx.m_bNullValue = 1;
  fx.SetFieldType(1);
  long id = 77;
  RFX_Long(&fx, "id", id);
  RFX_Long_Bulk(&fx, "id", nullptr, nullptr);
  EXPECT_EQ(fx.m_nFieldNumber, 0u);
  EXPECT_EQ(id, 77);
  fx.SetFieldType(CFieldExchange::outputColumn);
  CTString name("x");
  RFX_Text(&fx, "name", name);
  EXPECT_EQ(fx.m_nFieldNumber, 1u);
  EXPECT_TRUE(name.IsEmpty());
  EXPECT_EQ(rs.IsFieldStatusNull(0), 2);
}

TEST_P(RfxPassTest, BindingAtEndOfFileKeepsMembersButRecordsTheirNumbers) {
  AllTypes rs(&Db());
  OpenAt(rs, 1);
  rs.MoveNext();
  ASSERT_TRUE(rs.IsEOF());
  EXPECT_STREQ(rs.m_name, "abc");
  rs.m_name = "mine";
  rs.m_long = 99;
  EXPECT_EQ(rs.BindFieldsToColumns(), 12u);
  EXPECT_STREQ(rs.m_name, "mine");
  EXPECT_EQ(rs.m_long, 99);
  EXPECT_EQ(rs.GetBoundFieldIndex(&rs.m_id), 1);
  EXPECT_EQ(rs.GetBoundFieldIndex(&rs.m_name), 2);
  EXPECT_EQ(rs.GetBoundFieldIndex(&rs.m_double), 8);
  EXPECT_EQ(rs.GetBoundFieldIndex(&rs.m_stamp2), 12);
}

TEST_P(RfxPassTest, MarkForAddNewMarksMembersThatHoldValues) {
  AllTypes rs(&Db());
  OpenAt(rs, 1);
  rs.AddNew();  // every member pseudo-null, every field null and clean
  EXPECT_EQ(rs.m_int, kIntNull);
  EXPECT_EQ(rs.m_long, kLongNull);
  EXPECT_EQ(rs.m_bin.GetSize(), 1);
  EXPECT_EQ(rs.m_bin[0], 0xFF);
  rs.m_name = "set";
  SetBytes(rs.m_blob, "zz");  // a long binary is never marked by AddNew
  rs.MarkForAddNew();
  EXPECT_EQ(rs.GetFieldStatus(1), CRecordset::fieldDirty);  // name: dirty, not null
  EXPECT_EQ(rs.GetFieldStatus(3), CRecordset::fieldDirty);  // int: even at 32484
  EXPECT_EQ(rs.GetFieldStatus(4), CRecordset::fieldNull);   // long at 0x4A4D4120: untouched
  EXPECT_EQ(rs.GetFieldStatus(9), CRecordset::fieldNull);   // binary 0xFF: untouched
  EXPECT_EQ(rs.GetFieldStatus(10), CRecordset::fieldNull);  // long binary
  EXPECT_EQ(rs.GetFieldStatus(7), CRecordset::fieldNull);   // double
  // An int already dirty keeps its null bit.
  rs.SetNullFieldStatus(3);
  rs.MarkForAddNew();
  EXPECT_EQ(rs.GetFieldStatus(3), CRecordset::fieldDirty | CRecordset::fieldNull);
  rs.m_long = 1;
  rs.m_double = 0;
  SetBytes(rs.m_bin, std::string("\xFF\xFF", 2));
  rs.MarkForAddNew();
  EXPECT_EQ(rs.GetFieldStatus(4), CRecordset::fieldDirty);
  EXPECT_EQ(rs.GetFieldStatus(9), CRecordset::fieldDirty);
  EXPECT_EQ(rs.GetFieldStatus(7), CRecordset::fieldDirty);
  rs.CancelUpdate();
}

TEST_P(RfxPassTest, MarkForUpdateComparesTextAndTreatsEmptyAsNull) {
  Exec("INSERT INTO t (id, name, wide) VALUES (2, NULL, 'w')");
  AllTypes rs(&Db());
  OpenAt(rs, 1);
  rs.Edit();
  rs.m_name.Empty();  // differs from 'abc': null and dirty
  rs.MarkForUpdate();
  EXPECT_EQ(rs.GetFieldStatus(1), CRecordset::fieldDirty | CRecordset::fieldNull);
  // The long binary holds data and its null bit is clear: dirty.
  EXPECT_EQ(rs.GetFieldStatus(10), CRecordset::fieldDirty);
  rs.CancelUpdate();

  rs.MoveNext();
  ASSERT_EQ(rs.m_id, 2);
  rs.Edit();
  rs.MarkForUpdate();  // empty and the column is NULL: null, not dirty
  EXPECT_EQ(rs.GetFieldStatus(1), CRecordset::fieldNull);
  EXPECT_EQ(rs.GetFieldStatus(2), 0);  // 'w' unchanged
  // A long binary whose null bit is set stays clean even with data.
  SetBytes(rs.m_blob, "q");
  rs.ClearDirtyFieldStatus(10);
  rs.SetNullFieldStatus(10);
  rs.MarkForUpdate();
  EXPECT_EQ(rs.GetFieldStatus(10), CRecordset::fieldNull);
  rs.m_wide = u"";
  rs.MarkForUpdate();
  EXPECT_EQ(rs.GetFieldStatus(2), CRecordset::fieldDirty | CRecordset::fieldNull);
  EXPECT_EQ(rs.Update(), 1);
  EXPECT_EQ(Stored(2, "wide"), "NULL");
}

TEST_P(RfxPassTest, SetFieldNullAimsAtOneMemberOrAll) {
  AllTypes rs(&Db());
  OpenAt(rs, 1);
  rs.SetFieldStatus(1, CRecordset::fieldDirty);
  rs.SetFieldNull(&rs.m_long);
  EXPECT_EQ(rs.m_long, kLongNull);
  EXPECT_EQ(rs.GetFieldStatus(4), CRecordset::fieldNull);
  EXPECT_EQ(rs.GetFieldStatus(1), CRecordset::fieldDirty);  // others keep their bits
  EXPECT_STREQ(rs.m_name, "abc");
  EXPECT_EQ(rs.m_int, 5);
  rs.SetFieldNull(&rs.m_long, FALSE);  // clears the bit, keeps the value
  EXPECT_EQ(rs.GetFieldStatus(4), 0);
  EXPECT_EQ(rs.m_long, kLongNull);

  rs.SetFieldNull(nullptr);
  for (unsigned long f = 0; f < 12; ++f) EXPECT_NE(rs.GetFieldStatus(f) & CRecordset::fieldNull, 0);
  EXPECT_TRUE(rs.m_name.IsEmpty());
  EXPECT_EQ(rs.m_byte, 255);
  EXPECT_EQ(rs.m_bool, 2);
  EXPECT_EQ(rs.m_bin.GetSize(), 1);
  EXPECT_EQ(rs.m_blob.m_nDataLength, 0u);
  EXPECT_EQ(rs.m_double, kDoubleNull);
  rs.SetFieldNull(nullptr, FALSE);  // clears every null bit, leaves the members
  for (unsigned long f = 0; f < 12; ++f) EXPECT_EQ(rs.GetFieldStatus(f) & CRecordset::fieldNull, 0);
  EXPECT_EQ(rs.m_double, kDoubleNull);
}

TEST_P(RfxPassTest, UnhandledOperationsFallBackToDefault) {
  AllTypes rs(&Db());
  OpenAt(rs, 1);
  for (unsigned int op : {5u, 7u, 8u, 42u}) {
    CFieldExchange fx(op, &rs);
    auto e = CatchDB([&] { rs.DoFieldExchange(&fx); });
    ASSERT_TRUE(e) << op;
    EXPECT_EQ(e->m_nReturnCode, 1030) << op;
    EXPECT_EQ(fx.m_nFieldNumber, 1u) << op;  // the first field already threw
  }
  // opAppendNames reaches Default as well (select_sql_test.cpp lists the names).
}

// ------------------------------------------------------------ multi-row

class BulkSet : public CRecordset {
 public:
  explicit BulkSet(CDatabase* db, int maxText = 4) : CRecordset(db), maxText_(maxText) {
    m_nFields = 5;
    m_nRowsetSize = 3;
  }
  void DoBulkFieldExchange(CFieldExchange* pFX) override {
    RFX_Long_Bulk(pFX, "id", &ids, &idInd);
    RFX_Text_Bulk(pFX, "name", &names, &nameInd, maxText_);
    RFX_Int_Bulk(pFX, "i", &ints, &intInd);
    RFX_Date_Bulk(pFX, "d", &dates, &dateInd);
    RFX_Double_Bulk(pFX, "x", &doubles, &doubleInd);
    DBRFXBulkDefault(pFX, "extra");
  }
  using CRecordset::m_nRowsetSize;

  long* ids = nullptr;
  char* names = nullptr;
  int* ints = nullptr;
  TIMESTAMP_STRUCT* dates = nullptr;
  double* doubles = nullptr;
  __int64 *idInd = nullptr, *nameInd = nullptr, *intInd = nullptr, *dateInd = nullptr,
          *doubleInd = nullptr;

 private:
  int maxText_;
};

TEST_P(RfxTest, BulkFunctionsAllocateReadAndFree) {
  Exec(
      "INSERT INTO t (id, name, i, d, x) VALUES (1, 'abcdef', 9, '2020-02-03 04:05:06', 0.5);"
      "INSERT INTO t (id) VALUES (2)");
  BulkSet rs(&Db());
  rs.m_strSort = "id";
  // The open allocates the rowset through opAllocRowset.
  ASSERT_EQ(rs.Open(CRecordset::staticCursor, "SELECT id, name, i, d, x FROM t",
                    CRecordset::readOnly | CRecordset::multiRowFetch),
            1);
  ASSERT_NE(rs.ids, nullptr);
  ASSERT_NE(rs.names, nullptr);
  ASSERT_NE(rs.idInd, nullptr);
  EXPECT_EQ(rs.GetRowsetSize(), 1u);

  CFieldExchange bind(CFieldExchange::opBindFieldsToColumns, &rs);
  rs.DoBulkFieldExchange(&bind);
  EXPECT_EQ(rs.ids[0], 1);
  EXPECT_STREQ(rs.names, "abc");  // truncated to the maximum length, terminated
  EXPECT_EQ(rs.ints[0], 9);
  EXPECT_EQ(rs.dates[0].year, 2020);
  EXPECT_EQ(rs.dates[0].second, 6);
  EXPECT_EQ(rs.doubles[0], 0.5);
  for (__int64* ind : {rs.idInd, rs.nameInd, rs.intInd, rs.dateInd, rs.doubleInd})
    EXPECT_EQ(ind[0], -2);

  rs.GetAdoRecordSet()->MoveNext();
  CFieldExchange second(CFieldExchange::opBindFieldsToColumns, &rs);
  rs.DoBulkFieldExchange(&second);
  EXPECT_EQ(rs.ids[0], 2);
  EXPECT_EQ(rs.idInd[0], -2);
  EXPECT_STREQ(rs.names, "abc");  // null: the target is untouched
  for (__int64* ind : {rs.nameInd, rs.intInd, rs.dateInd, rs.doubleInd}) EXPECT_EQ(ind[0], -1);

  // Names for the SELECT: every bulk column and the default one, no dirty test.
  CTString names;
  CFieldExchange append(CFieldExchange::opAppendNames, &rs);
  append.m_pstrNames = &names;
  append.m_lpszSeparator = ", ";
  rs.DoBulkFieldExchange(&append);
  EXPECT_STREQ(names, "id, name, i, d, x, extra, ");

  // Operations a bulk function does not handle do nothing.
  CFieldExchange other(CFieldExchange::opMarkForUpdate, &rs);
  rs.DoBulkFieldExchange(&other);
  EXPECT_EQ(other.m_nFieldNumber, 5u);

  CFieldExchange release(CFieldExchange::opFreeRowset, &rs);
  rs.DoBulkFieldExchange(&release);
  EXPECT_EQ(rs.ids, nullptr);
  EXPECT_EQ(rs.names, nullptr);
  EXPECT_EQ(rs.dates, nullptr);
  EXPECT_EQ(rs.doubleInd, nullptr);
  rs.Close();
}

TEST_P(RfxTest, BulkArraysHoldOneElementPerRowOfTheRowset) {
  BulkSet rs(&Db());  // rowset size 3, text maximum length 4
  CFieldExchange alloc(CFieldExchange::opAllocRowset, &rs);
  rs.DoBulkFieldExchange(&alloc);
  EXPECT_EQ(alloc.m_nFieldNumber, 5u);  // DBRFXBulkDefault takes no number
  // Element sizes: every array is written to its last element (the
  // sanitizer build catches an array that is too short).
  rs.ids[2] = 1;
  rs.ints[2] = 1;
  rs.doubles[2] = 1;
  rs.dates[2].fraction = 1;
  rs.names[3 * 4 - 1] = 'x';
  for (__int64* ind : {rs.idInd, rs.nameInd, rs.intInd, rs.dateInd, rs.doubleInd}) ind[2] = 0;
  CFieldExchange release(CFieldExchange::opFreeRowset, &rs);
  rs.DoBulkFieldExchange(&release);
  EXPECT_EQ(rs.ids, nullptr);
  EXPECT_EQ(rs.intInd, nullptr);

  // A text column with maximum length 0 gets a zero-length array.
  BulkSet empty(&Db(), 0);
  CFieldExchange allocEmpty(CFieldExchange::opAllocRowset, &empty);
  empty.DoBulkFieldExchange(&allocEmpty);
  EXPECT_NE(empty.names, nullptr);
  empty.nameInd[2] = 0;
  CFieldExchange releaseEmpty(CFieldExchange::opFreeRowset, &empty);
  empty.DoBulkFieldExchange(&releaseEmpty);
  EXPECT_EQ(empty.names, nullptr);
}

KORVO_OVER_BOTH_ROUTES(RfxPassTest);
KORVO_OVER_BOTH_ROUTES(RfxTest);

}  // namespace
}  // namespace korvo::test
