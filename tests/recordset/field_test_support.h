// tests/recordset/field_test_support.h: a fixture for the tests of typed
// field access, conversions, binary fields and field exchange: COM on the
// test thread, a SQLite file with a connection, and a recordset class that
// exposes the protected conversion routines and status array.
#pragma once

#include <gtest/gtest.h>
#include <korvo/com/coinit.h>
#include <korvo/db/CDatabase.h>
#include <korvo/diag/CDBException.h>
#include <korvo/recordset/CRecordset.h>
#include <korvo/recordset/direct_values_internal.h>
#include <korvo/recordset/rfx.h>
#include <unistd.h>

#include <memory>
#include <string>
#include <vector>

#include "support/db_exception.h"
#include "support/test_support.h"
#include "support/trace_file.h"

namespace korvo::test {

// What a recordset's members hold after SetFieldNull or AddNew: the
// pseudo-null values of the RFX_ functions that have one.
constexpr int kIntNull = 32484;
constexpr long kLongNull = 0x4A4D4120;
constexpr double kDoubleNull = -9.123e19;

// A recordset binding one member of every single-row RFX_ type but
// RFX_Text2, over table t; the field numbers follow the order below.
class EveryType : public CRecordset {
 public:
  static constexpr int kFields = 11;
  explicit EveryType(CDatabase* db) : CRecordset(db) { m_nFields = kFields; }
  CTString GetDefaultSQL() override { return "t"; }
  void DoFieldExchange(CFieldExchange* pFX) override {
    RFX_Long(pFX, "id", m_id);
    RFX_Text(pFX, "name", m_name);
    RFX_Text(pFX, "wide", m_wide);
    RFX_Int(pFX, "i", m_int);
    RFX_Long(pFX, "l", m_long);
    RFX_Byte(pFX, "b", m_byte);
    RFX_Bool(pFX, "flag", m_bool);
    RFX_Double(pFX, "x", m_double);
    RFX_Date(pFX, "d", m_date);
    RFX_Binary(pFX, "bin", m_bin);
    RFX_LongBinary(pFX, "blob", m_blob);
  }
  using CRecordset::m_nEditMode;
  using CRecordset::m_pFieldStatus;

  long m_id = 0;
  CTString m_name;
  CTWString m_wide;
  int m_int = 0;
  long m_long = 0;
  unsigned char m_byte = 0;
  int m_bool = 0;
  double m_double = 0;
  CTTime m_date;
  CTByteArray m_bin;
  CTLongBinary m_blob;
};

// A recordset that lets the tests reach the protected routines.
class ProbeRecordset : public CRecordset {
 public:
  explicit ProbeRecordset(CDatabase* db) : CRecordset(db) {}

  using CRecordset::m_AllocLongBinary;
  using CRecordset::m_AppendChunk;
  using CRecordset::m_dwOptions;
  using CRecordset::m_GetFieldObject;
  using CRecordset::m_GetFieldValue;
  using CRecordset::m_pFieldStatus;
  using CRecordset::m_SetScalareFunction;
  using CRecordset::m_VariantToBool;
  using CRecordset::m_VariantToByte;
  using CRecordset::m_VariantToCTByteArray;
  using CRecordset::m_VariantToCTLongBinary;
  using CRecordset::m_VariantToCTString;
  using CRecordset::m_VariantToCTString2;
  using CRecordset::m_VariantToCTTime;
  using CRecordset::m_VariantToCTWString;
  using CRecordset::m_VariantToCTWString2;
  using CRecordset::m_VariantToDouble;
  using CRecordset::m_VariantToInt;
  using CRecordset::m_VariantToLong;
  using CRecordset::m_VariantToLPSTR;
  using CRecordset::m_VariantToSYSTEMTIME;
  using CRecordset::m_VariantToTimestampStruct;
  using CRecordset::m_VariantToWchar;

  // Gives the recordset a status array of `fields` cleared bytes (freed by
  // the recordset's Close, as an open's own array is).
  void UseStatus(unsigned int fields) {
    delete[] m_pFieldStatus;
    m_nFields = fields;
    m_pFieldStatus = new unsigned char[fields]();
  }
};

class FieldTest : public ::testing::Test {
 protected:
  void SetUp() override { ASSERT_GE(CoInitializeEx(nullptr, COINIT_MULTITHREADED), 0); }
  void TearDown() override {
    if (db_) db_->Close();
    db_.reset();
    CoUninitialize();
  }

  std::string Connect(const char* extra = "") const {
    return SqliteConnect(dir_.File("fields.db"), extra);
  }

  // The fixture's connection, opened at first use.
  CDatabase& Db(const char* extra = "") {
    if (!db_) {
      db_ = std::make_unique<CDatabase>();
      EXPECT_EQ(db_->OpenEx(Connect(extra).c_str(), 0), 1);
    }
    return *db_;
  }

  void Exec(const char* sql) { Db().ExecuteSQL(sql); }

  // An ADO recordset opened on `sql` (client cursor, optimistic lock, so
  // it can be edited), for attaching with SetAdoRecordSet.
  _RecordsetPtr OpenAdo(const char* sql) {
    _RecordsetPtr rs;
    EXPECT_EQ(rs.CreateInstance(__uuidof(Recordset)), S_OK);
    rs->PutCursorLocation(adUseClient);
    rs->Open(sql, _variant_t(static_cast<IDispatch*>(Db().GetAdoConnection())), adOpenStatic,
             adLockOptimistic, adCmdText);
    return rs;
  }

  // The first column of the first row of `sql` on a connection of its own,
  // as text ("NULL" for a null value).
  std::string Scalar(const char* sql) {
    CDatabase other;
    EXPECT_EQ(other.OpenEx(Connect().c_str(), 0), 1);
    _RecordsetPtr rs = other.GetAdoConnection()->Execute(sql, nullptr, adCmdText);
    const _variant_t v = rs->GetFields()->GetItem(0L)->GetValue();
    std::string text = v.vt == VT_NULL ? "NULL" : static_cast<const char*>(_bstr_t(v));
    rs->Close();
    other.Close();
    return text;
  }

  // Switches the trace on into the fixture's directory; call before the
  // first library object of the process is made (each case runs alone).
  void TraceOn() { env_ = TraceInto(dir_.path()); }
  std::vector<std::string> Trace() const { return ProcessTrace(dir_.path()); }

  TempDir dir_;
  std::unique_ptr<ScopedEnv> env_;
  std::unique_ptr<CDatabase> db_;
};

// The two routes a value takes between Korvo's ADO recordset and a
// member: the direct one and the VARIANT one every foreign recordset takes.
enum class ValueRoute { kDirect, kVariant };

// A FieldTest whose cases (TEST_P) run once over each route
// (KORVO_OVER_BOTH_ROUTES); the results must not differ.
class RoutedFieldTest : public FieldTest, public ::testing::WithParamInterface<ValueRoute> {
 protected:
  void SetUp() override {
    korvo::recordset::TEST_ForceVariantRoute(GetParam() == ValueRoute::kVariant);
    FieldTest::SetUp();
  }
  void TearDown() override {
    FieldTest::TearDown();
    korvo::recordset::TEST_ForceVariantRoute(false);
  }
};

inline std::string RouteName(const ::testing::TestParamInfo<ValueRoute>& info) {
  return info.param == ValueRoute::kDirect ? "Direct" : "Variant";
}

#define KORVO_OVER_BOTH_ROUTES(Fixture)                                                           \
  INSTANTIATE_TEST_SUITE_P(                                                                       \
      Routes, Fixture,                                                                            \
      ::testing::Values(::korvo::test::ValueRoute::kDirect, ::korvo::test::ValueRoute::kVariant), \
      ::korvo::test::RouteName)

// The index of the first trace entry equal to `text` at or after `from`,
// or -1.
inline int FindTrace(const std::vector<std::string>& trace, const std::string& text, int from = 0) {
  for (size_t i = static_cast<size_t>(from); i < trace.size(); ++i)
    if (trace[i] == text) return static_cast<int>(i);
  return -1;
}

}  // namespace korvo::test
