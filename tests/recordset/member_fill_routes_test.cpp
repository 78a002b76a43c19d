// Members loaded by the binding pass straight from the row (the member
// fill) against the VARIANT route, over cells each fill must take or leave
// to the getters: nulls, values beyond 32 bits, numbers stored as text and
// text in number columns, malformed and NUL-holding text, dates the plain
// reader refuses; single-row and multi-row members, forward-only and
// static cursors.
#include <iomanip>
#include <sstream>

#include "field_test_support.h"

namespace korvo::test {
namespace {

constexpr const char* kColumns = "l, i, x, s, w, s2, d";

class FilledRow : public ProbeRecordset {
 public:
  explicit FilledRow(CDatabase* db) : ProbeRecordset(db) { m_nFields = 7; }
  long m_long = 0;
  int m_int = 0;
  double m_double = 0;
  CTString m_text, m_text2;
  CTWString m_wide;
  CTTime m_time;
  void DoFieldExchange(CFieldExchange* pFX) override {
    RFX_Long(pFX, "l", m_long);
    RFX_Int(pFX, "i", m_int);
    RFX_Double(pFX, "x", m_double);
    RFX_Text(pFX, "s", m_text);
    RFX_Text(pFX, "w", m_wide);
    RFX_Text2(pFX, "s2", m_text2);
    RFX_Date(pFX, "d", m_time);
  }
  void Describe(std::ostream& out) {
    out << m_long << ' ' << m_int << ' ' << std::hexfloat << m_double << std::defaultfloat << " ["
        << static_cast<const char*>(m_text) << "] " << m_text.GetLength() << " ["
        << static_cast<const char*>(m_text2) << "] " << m_text2.GetLength() << " ["
        << static_cast<const char*>(CTString(m_wide)) << "] " << m_time.GetTime() << " status";
    for (unsigned i = 0; i < m_nFields; ++i) out << ' ' << int{m_pFieldStatus[i]};
  }
};

class FilledBulk : public ProbeRecordset {
 public:
  explicit FilledBulk(CDatabase* db) : ProbeRecordset(db) { m_nFields = 6; }
  long* m_long = nullptr;
  int* m_int = nullptr;
  double* m_double = nullptr;
  char* m_text = nullptr;
  char* m_text2 = nullptr;
  TIMESTAMP_STRUCT* m_time = nullptr;
  __int64* m_lengths[6] = {};
  void DoBulkFieldExchange(CFieldExchange* pFX) override {
    RFX_Long_Bulk(pFX, "l", &m_long, &m_lengths[0]);
    RFX_Int_Bulk(pFX, "i", &m_int, &m_lengths[1]);
    RFX_Double_Bulk(pFX, "x", &m_double, &m_lengths[2]);
    RFX_Text_Bulk(pFX, "s", &m_text, &m_lengths[3], 4);  // truncates
    RFX_Text_Bulk(pFX, "s2", &m_text2, &m_lengths[4], 24);
    RFX_Date_Bulk(pFX, "d", &m_time, &m_lengths[5]);
  }
  void Describe(std::ostream& out) {
    out << *m_long << ' ' << *m_int << ' ' << std::hexfloat << *m_double << std::defaultfloat
        << " [" << m_text << "] [" << m_text2 << "] " << m_time->year << '-' << m_time->month << '-'
        << m_time->day << ' ' << m_time->hour << ':' << m_time->minute << ':' << m_time->second
        << '.' << m_time->fraction << " indicators";
    for (__int64* indicator : m_lengths) out << ' ' << *indicator;
  }
};

int MoveCode(CRecordset& rs) {
  try {
    rs.MoveNext();
  } catch (CDBException* e) {
    const int code = e->m_nReturnCode;
    e->Delete();
    return code;
  }
  return 0;
}

// The rows from the current one on, as the members hold them after each move.
template <class Row>
std::vector<std::string> RowsLeft(Row& rs) {
  std::vector<std::string> rows;
  int move_code = 0;
  while (!rs.IsEOF()) {
    std::ostringstream out;
    out << "move " << move_code << ": ";
    rs.Describe(out);
    rows.push_back(out.str());
    move_code = MoveCode(rs);
  }
  return rows;
}

// Every row of f as the members hold it after each move.
template <class Row>
std::vector<std::string> ReadRows(CDatabase& db, unsigned int type, unsigned long options,
                                  const char* columns) {
  Row rs(&db);
  const std::string sql = std::string("SELECT ") + columns + " FROM f ORDER BY id";
  rs.Open(type, sql.c_str(), options);
  std::vector<std::string> rows = RowsLeft(rs);
  rs.Close();
  return rows;
}

template <class Row>
void ExpectSameOverBothRoutes(CDatabase& db, unsigned int type, unsigned long options,
                              const char* columns) {
  const std::vector<std::string> filled = ReadRows<Row>(db, type, options, columns);
  korvo::recordset::TEST_ForceVariantRoute(true);
  const std::vector<std::string> variant = ReadRows<Row>(db, type, options, columns);
  korvo::recordset::TEST_ForceVariantRoute(false);
  ASSERT_EQ(filled.size(), 24u);
  ASSERT_EQ(variant.size(), filled.size());
  for (size_t i = 0; i < filled.size(); ++i) EXPECT_EQ(filled[i], variant[i]) << "row " << i;
}

TEST_F(FieldTest, MembersFilledFromTheRowMatchTheVariantRoute) {
  ScopedEnv zone("TZ", "Europe/Berlin");
  // INT columns are 64-bit here; SMALLINT ones hold what 16 bits hold.
  for (const char* integer : {"INT", "SMALLINT"}) {
    SCOPED_TRACE(integer);
    Exec("DROP TABLE IF EXISTS f");
    const std::string create = std::string("CREATE TABLE f (id INTEGER PRIMARY KEY, l ") + integer +
                               ", i " + integer + ", x REAL, s TEXT, w TEXT, s2 TEXT, d DATETIME)";
    Exec(create.c_str());
    // A failing cell ends the row's binding pass: each stands last or alone.
    Exec(
        "INSERT INTO f VALUES"
        " (1, 5, -7, 2.5, 'abc', 'wide \xC3\xA9', 'x2', '2024-03-31 02:30:00'),"
        " (2, NULL, NULL, NULL, NULL, NULL, NULL, NULL),"
        " (3, 2147483647, -2147483648, -0.0, '', '', '', '1899-12-30'),"
        " (4, 4294967296, 1, 1.0, 'a', 'b', 'c', '2024-03-31 02:30:00'),"
        " (5, 1, 2147483648, 1.0, 'a', 'b', 'c', '2024-03-31 02:30:00'),"
        " (6, 'x12', 1, 1.0, 'a', 'b', 'c', '2024-03-31 02:30:00'),"
        " (7, 3.5, 1, 1.0, 'a', 'b', 'c', '2024-03-31 02:30:00'),"
        " (8, 1, 3.5, 1.0, 'a', 'b', 'c', '2024-03-31 02:30:00'),"
        " (9, 1, 1, 'abc', 'a', 'b', 'c', '2024-03-31 02:30:00'),"
        " (10, 1, 1, 1e300, CAST(X'C328' AS TEXT), CAST(X'610062' AS TEXT),"
        "  CAST(X'FF' AS TEXT), '2024-10-27 02:30:00'),"
        " (11, -1, -1, 1.5, X'414243', 123, 4.5, '2024-01-01 10:00:00.5'),"
        " (12, 0, 0, 0.1, 'abcdefghij', '\xF0\x9F\x98\x80', '\xC3\xBC', '2024-01-01T10:00:00'),"
        " (13, 7, 7, 7.25, 'abcd', 'x', 'y', '1850-01-01 00:00:00'),"
        " (14, 9, 9, 9.5, 'abc', 'x', 'y', '2024-02-29'),"
        " (15, NULL, 1, NULL, 'n', NULL, 'z', NULL),"
        " (16, 8, 8, 8.5, 'abc', 'x', 'y', 45000),"
        " (17, 8, 8, 8.5, 'abc', 'x', 'y', '2024-13-01 00:00:00'),"
        " (18, 10, 10, 10.5, 'end', 'x', 'y', '9999-12-31 23:59:59'),"
        " (19, 32767, -32768, 1.0, 'a', 'b', 'c', '2024-03-31 02:30:00'),"
        " (20, 32768, -32769, 1.0, 'a', 'b', 'c', '2024-03-31 02:30:00'),"
        // Text of every length class the short copy takes or leaves, each
        // also with a zero byte, a byte that is not ASCII, or too long.
        " (21, 1, 1, 1.0, 'thirty-two bytes of plain text!!', 'x', 'seventeen bytes!!',"
        "  '2024-01-01 10:00:00'),"
        " (22, 1, 1, 1.0, CAST(X'7477656E7479206279746573006F662074657874' AS TEXT), 'x',"
        "  CAST(X'6162638064' AS TEXT), '2024-01-01 10:00:00'),"
        " (23, 1, 1, 1.0, 'nineteen ascii byte\xC3\xA9', 'x', 'twenty bytes of text',"
        "  '2024-01-01 10:00:00'),"
        " (24, 1, 1, 1.0, 'thirty-three bytes of plain text!', 'x', 'four',"
        "  '2024-01-01 10:00:00')");
    ExpectSameOverBothRoutes<FilledRow>(Db(), CRecordset::forwardOnly, CRecordset::readOnly,
                                        kColumns);
    ExpectSameOverBothRoutes<FilledRow>(Db(), CRecordset::useDefaultType, CRecordset::none,
                                        kColumns);
    // Every member of the first row's untyped expressions (no declared type).
    ExpectSameOverBothRoutes<FilledRow>(Db(), CRecordset::forwardOnly, CRecordset::readOnly,
                                        "l + 0 AS l, i * 1 AS i, x + 0 AS x, s || '' AS s,"
                                        " w || '' AS w, s2, d");
    ExpectSameOverBothRoutes<FilledBulk>(Db(), CRecordset::forwardOnly,
                                         CRecordset::readOnly | CRecordset::multiRowFetch,
                                         "l, i, x, s, s2, d");
  }
}

// The fills a recordset resolves on its first row belong to that open: a
// Requery (a new statement) and a Close and Open resolve them afresh, and
// read the table as it is then.
TEST_F(FieldTest, MemberFillsFollowRequeryAndReopen) {
  Exec(
      "CREATE TABLE f (id INTEGER PRIMARY KEY, l INT, i INT, x REAL, s TEXT, w TEXT, s2 TEXT,"
      " d DATETIME)");
  Exec(
      "INSERT INTO f VALUES (1, 5, -7, 2.5, 'abc', 'w', 'x2', '2024-03-01 02:30:00'),"
      " (2, NULL, NULL, NULL, NULL, NULL, NULL, NULL)");
  const std::string sql = std::string("SELECT ") + kColumns + " FROM f ORDER BY id";
  for (unsigned int type :
       {unsigned{CRecordset::forwardOnly}, unsigned{CRecordset::staticCursor}}) {
    SCOPED_TRACE(type);
    auto expect_variant_rows = [&](const std::vector<std::string>& rows, size_t count) {
      EXPECT_EQ(rows.size(), count);
      korvo::recordset::TEST_ForceVariantRoute(true);
      const auto variant = ReadRows<FilledRow>(Db(), type, CRecordset::readOnly, kColumns);
      korvo::recordset::TEST_ForceVariantRoute(false);
      EXPECT_EQ(rows, variant);
    };
    FilledRow rs(&Db());
    rs.Open(type, sql.c_str(), CRecordset::readOnly);
    expect_variant_rows(RowsLeft(rs), 2);
    Exec("INSERT INTO f VALUES (3, 8, 9, 1.5, 'new', 'n', 'm', '2025-01-02 03:04:05')");
    rs.Requery();
    expect_variant_rows(RowsLeft(rs), 3);
    rs.Close();
    Exec("DELETE FROM f WHERE id = 1");
    rs.Open(type, sql.c_str(), CRecordset::readOnly);
    expect_variant_rows(RowsLeft(rs), 2);
    rs.Close();
    Exec("INSERT INTO f VALUES (1, 5, -7, 2.5, 'abc', 'w', 'x2', '2024-03-01 02:30:00')");
    Exec("DELETE FROM f WHERE id = 3");
  }
}

// Field 1 bound to one of two members and field 2 as text or as a long,
// by a switch the test turns between moves.
class SwitchingRow : public ProbeRecordset {
 public:
  explicit SwitchingRow(CDatabase* db) : ProbeRecordset(db) { m_nFields = 2; }
  bool m_other = false;
  long m_a = 0, m_b = 0, m_number = 0;
  CTString m_text;
  void DoFieldExchange(CFieldExchange* pFX) override {
    RFX_Long(pFX, "a", m_other ? m_b : m_a);
    if (m_other) {
      RFX_Long(pFX, "v", m_number);
    } else {
      RFX_Text(pFX, "v", m_text);
    }
  }
};

// A field's fill resolved on one row serves the next only for a member of
// the same kind at the same address: another member is mapped and filled
// as bound, another kind is read as that kind.
TEST_F(FieldTest, BindingsThatChangeBetweenRowsAreMappedAndFilledAsBound) {
  Exec("CREATE TABLE sw (a INTEGER, v TEXT)");
  Exec("INSERT INTO sw VALUES (1, '10'), (2, '20'), (3, '30'), (4, '40')");
  for (unsigned int type :
       {unsigned{CRecordset::forwardOnly}, unsigned{CRecordset::staticCursor}}) {
    SCOPED_TRACE(type);
    SwitchingRow rs(&Db());
    rs.Open(type, "SELECT a, v FROM sw ORDER BY a", CRecordset::readOnly);
    for (long row = 1; row <= 4; ++row) {
      SCOPED_TRACE(row);
      ASSERT_FALSE(rs.IsEOF());
      long& bound = rs.m_other ? rs.m_b : rs.m_a;
      EXPECT_EQ(bound, row);
      EXPECT_EQ(rs.GetBoundFieldIndex(&bound), 1);
      if (rs.m_other) {
        EXPECT_EQ(rs.m_number, row * 10);
      } else {
        EXPECT_STREQ(rs.m_text, std::to_string(row * 10).c_str());
      }
      rs.m_other = row % 2 == 1;  // rows 2 and 4 bind the other way
      rs.MoveNext();
    }
    EXPECT_TRUE(rs.IsEOF());
    EXPECT_EQ(rs.m_a, 3);  // the row it was last bound on
    rs.Close();
  }
}

}  // namespace
}  // namespace korvo::test
