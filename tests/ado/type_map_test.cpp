// Tests of the SQLite type map: every declared type's field Type, and the
// agreement of each field's Type with the VARIANT type of its Value for
// values of every storage class the engine lets a column hold.
#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <korvo/ado/ado.h>

#include <map>
#include <string>
#include <vector>

#include "ado/ado_test_support.h"

namespace korvo::ado::test {
namespace {

using ::testing::HasSubstr;

constexpr HRESULT kCantConvert = DB_E_CANTCONVERTVALUE;
constexpr HRESULT kOverflow = DB_E_DATAOVERFLOW;

// ADO's published VARIANT type of a value of each data type.
VARTYPE ExpectedVt(DataTypeEnum type) {
  static const std::map<int, VARTYPE> kVt = {{adSmallInt, VT_I2},
                                             {adInteger, VT_I4},
                                             {adBigInt, VT_I8},
                                             {adTinyInt, VT_I1},
                                             {adUnsignedTinyInt, VT_UI1},
                                             {adDouble, VT_R8},
                                             {adBoolean, VT_BOOL},
                                             {adDate, VT_DATE},
                                             {adDBDate, VT_DATE},
                                             {adDBTime, VT_DATE},
                                             {adDBTimeStamp, VT_DATE},
                                             {adWChar, VT_BSTR},
                                             {adVarWChar, VT_BSTR},
                                             {adLongVarWChar, VT_BSTR},
                                             {adBinary, VT_ARRAY | VT_UI1},
                                             {adVarBinary, VT_ARRAY | VT_UI1},
                                             {adLongVarBinary, VT_ARRAY | VT_UI1}};
  const auto it = kVt.find(type);
  return it == kVt.end() ? VARTYPE{VT_ERROR} : it->second;
}

struct Declared {
  const char* decl;
  DataTypeEnum type;
  long defined_size;
};

const std::vector<Declared>& TheMap() {
  static const std::vector<Declared> kMap = {
      {"INTEGER", adBigInt, 8},
      {"INT", adBigInt, 8},
      {"BIGINT", adBigInt, 8},
      {"MEDIUMINT", adBigInt, 8},
      {"INT8", adBigInt, 8},
      {"UNSIGNED BIG INT", adBigInt, 8},
      {"SMALLINT", adSmallInt, 2},
      {"INT2", adSmallInt, 2},
      {"TINYINT", adUnsignedTinyInt, 1},
      {"BOOLEAN", adBoolean, 2},
      {"BIT", adBoolean, 2},
      {"CHAR(4)", adWChar, 4},
      {"NCHAR(3)", adWChar, 3},
      {"VARCHAR(20)", adVarWChar, 20},
      {"NVARCHAR(9)", adVarWChar, 9},
      {"VARCHAR", adLongVarWChar, 1073741823},
      {"TEXT", adLongVarWChar, 1073741823},
      {"CLOB", adLongVarWChar, 1073741823},
      {"NTEXT", adLongVarWChar, 1073741823},
      {"LONGTEXT", adLongVarWChar, 1073741823},
      {"BINARY(4)", adBinary, 4},
      {"VARBINARY(8)", adVarBinary, 8},
      {"VARBINARY", adLongVarBinary, 1073741823},
      {"BLOB", adLongVarBinary, 1073741823},
      {"IMAGE", adLongVarBinary, 1073741823},
      {"DATETIME", adDBTimeStamp, 16},
      {"TIMESTAMP", adDBTimeStamp, 16},
      {"DATE", adDate, 8},
      {"TIME", adDBTime, 8},
      {"REAL", adDouble, 8},
      {"FLOAT", adDouble, 8},
      {"DOUBLE PRECISION", adDouble, 8},
      {"NUMERIC(10,2)", adDouble, 8},
      {"DECIMAL", adDouble, 8},
      {"MONEY", adDouble, 8},
      {"WHATEVER", adDouble, 8},
  };
  return kMap;
}

// Values of every storage class, as SQL literals.
const char* const kValues[] = {
    "NULL",   "7",     "1099511627776",         "-3",      "1.5", "2.0",
    "'12'",   "'abc'", "'2021-02-03 04:05:06'", "x'00ff'", "''",  "100000",
    "'1e400'"};

class TypeMapTest : public AdoTest {};

TEST_F(TypeMapTest, EveryDeclaredTypeHasItsAdoTypeAndSize) {
  _ConnectionPtr c = Open(FileConnect());
  std::string create = "CREATE TABLE m (";
  for (size_t i = 0; i < TheMap().size(); ++i) {
    create += (i ? ", c" : "c") + std::to_string(i) + " " + TheMap()[i].decl;
  }
  Exec(c, (create + ")").c_str());
  _RecordsetPtr rs = c->Execute("SELECT * FROM m", nullptr, adCmdText);
  FieldsPtr fields = rs->GetFields();
  ASSERT_EQ(fields->GetCount(), static_cast<long>(TheMap().size()));
  for (size_t i = 0; i < TheMap().size(); ++i) {
    FieldPtr f = fields->GetItem(static_cast<long>(i));
    EXPECT_EQ(f->GetType(), TheMap()[i].type) << TheMap()[i].decl;
    EXPECT_EQ(f->GetDefinedSize(), TheMap()[i].defined_size) << TheMap()[i].decl;
    // Long types, and only they, carry adFldLong.
    const bool is_long = TheMap()[i].type == adLongVarWChar || TheMap()[i].type == adLongVarBinary;
    EXPECT_EQ((f->GetAttributes() & adFldLong) != 0, is_long) << TheMap()[i].decl;
  }
  // Expression columns take their type from the first row's value.
  rs = c->Execute("SELECT 1 + 1, 2.5, 'x', x'01', NULL", nullptr, adCmdText);
  const DataTypeEnum expression[] = {adBigInt, adDouble, adLongVarWChar, adLongVarBinary,
                                     adLongVarWChar};
  for (long i = 0; i < 5; ++i)
    EXPECT_EQ(rs->GetFields()->GetItem(i)->GetType(), expression[i]) << i;
}

TEST_F(TypeMapTest, ValueAlwaysHasTheVariantTypeOfTheFieldType) {
  _ConnectionPtr c = Open(FileConnect());
  std::string create = "CREATE TABLE m (row INTEGER";
  for (size_t i = 0; i < TheMap().size(); ++i)
    create += ", c" + std::to_string(i) + " " + TheMap()[i].decl;
  Exec(c, (create + ")").c_str());
  for (size_t v = 0; v < std::size(kValues); ++v) {
    std::string insert = "INSERT INTO m VALUES (" + std::to_string(v);
    for (size_t i = 0; i < TheMap().size(); ++i) insert += std::string(", ") + kValues[v];
    Exec(c, (insert + ")").c_str());
  }
  // Expression columns whose later rows hold other kinds than the first.
  const std::string mixed =
      "SELECT m.*, CASE WHEN row = 0 THEN 1 ELSE c0 END AS e_int, "
      "CASE WHEN row = 0 THEN 'text' ELSE c0 END AS e_text, "
      "CASE WHEN row = 0 THEN NULL ELSE c0 END AS e_null FROM m ORDER BY row";
  _RecordsetPtr rs = c->Execute(_bstr_t(mixed.c_str()), nullptr, adCmdText);
  FieldsPtr fields = rs->GetFields();
  int converted = 0, refused = 0;
  for (; !rs->GetadoEOF(); rs->MoveNext()) {
    const long row = static_cast<long>(fields->GetItem(0L)->GetValue());
    for (long i = 1; i < fields->GetCount(); ++i) {
      FieldPtr f = fields->GetItem(i);
      const std::string where = std::string(f->GetName()) + " holding " + kValues[row];
      const VARTYPE expected = ExpectedVt(f->GetType());
      ASSERT_NE(expected, VT_ERROR) << where << ": unexpected type " << f->GetType();
      _variant_t value;
      const Raised r = Catch([&] { value = f->GetValue(); });
      if (r.hr == S_OK) {
        ++converted;
        // Only the NULL row gives VT_NULL (the expressions' first row is not NULL).
        if (value.vt != VT_NULL || row != 0) {
          EXPECT_EQ(value.vt, expected) << where;
        }
      } else {
        ++refused;
        EXPECT_TRUE(r.hr == kCantConvert || r.hr == kOverflow) << where << ": " << std::hex << r.hr;
        EXPECT_THAT(r.description, HasSubstr(static_cast<const char*>(f->GetName())));
      }
    }
  }
  EXPECT_GT(converted, 0);
  EXPECT_GT(refused, 0);
}

TEST_F(TypeMapTest, ConvertsWhatTheTypeCanHoldAndRefusesTheRest) {
  _ConnectionPtr c = Open(FileConnect());
  Exec(c, "CREATE TABLE v (i INTEGER, s SMALLINT, d DATETIME, b BLOB, t TEXT, f BOOLEAN, r REAL)");
  Exec(c, "INSERT INTO v VALUES (1099511627776, 12, '2021-02-03', 5, 42, 2, 3)");
  Exec(c, "INSERT INTO v VALUES (1.5, 100000, 'soon', 2.5, 0.25, 'yes', 'many')");
  _RecordsetPtr rs = c->Execute("SELECT * FROM v", nullptr, adCmdText);
  FieldsPtr f = rs->GetFields();
  _variant_t big = f->GetItem("i")->GetValue();
  EXPECT_EQ(big.vt, VT_I8);
  EXPECT_EQ(big.llVal, 1099511627776LL);
  EXPECT_EQ(f->GetItem("s")->GetValue().iVal, 12);
  EXPECT_EQ(f->GetItem("d")->GetValue().vt, VT_DATE);
  _variant_t bytes = f->GetItem("b")->GetValue();  // a number's text, as the engine casts it
  ASSERT_EQ(bytes.vt, VT_ARRAY | VT_UI1);
  EXPECT_EQ(std::string(static_cast<const char*>(bytes.parray->pvData),
                        bytes.parray->rgsabound[0].cElements),
            "5");
  EXPECT_EQ(std::u16string(f->GetItem("t")->GetValue().bstrVal), u"42");
  EXPECT_EQ(f->GetItem("f")->GetValue().boolVal, VARIANT_TRUE);
  EXPECT_EQ(f->GetItem("r")->GetValue().dblVal, 3.0);
  rs->MoveNext();
  const Raised fraction = Catch([&] { f->GetItem("i")->GetValue(); });
  EXPECT_EQ(fraction.hr, kCantConvert);
  EXPECT_THAT(fraction.description, HasSubstr("\"i\""));
  EXPECT_EQ(Catch([&] { f->GetItem("s")->GetValue(); }).hr, kOverflow);
  const Raised date = Catch([&] { f->GetItem("d")->GetValue(); });
  EXPECT_EQ(date.hr, kCantConvert);
  EXPECT_THAT(date.description, HasSubstr("'soon'"));
  EXPECT_EQ(std::u16string(f->GetItem("t")->GetValue().bstrVal), u"0.25");
  EXPECT_EQ(Catch([&] { f->GetItem("f")->GetValue(); }).hr, kCantConvert);
  EXPECT_EQ(Catch([&] { f->GetItem("r")->GetValue(); }).hr, kCantConvert);
}

}  // namespace
}  // namespace korvo::ado::test
