// Dates read on the direct route, where the stored text "YYYY-MM-DD[
// hh:mm:ss]" is split straight into its fields, against the VARIANT route
// (text -> OLE date -> split), over edge dates, random dates and texts the
// plain reader must leave to the general one.
#include <korvo/com/oledate.h>

#include <cstdio>
#include <cstring>
#include <random>
#include <sstream>

#include "field_test_support.h"

namespace korvo::test {
namespace {

// RFX_Date loads the member in the binding pass (the row read at once);
// the getters below read single cells.
class DateRow : public ProbeRecordset {
 public:
  explicit DateRow(CDatabase* db) : ProbeRecordset(db) { m_nFields = 1; }
  CTTime m_when;
  void DoFieldExchange(CFieldExchange* pFX) override { RFX_Date(pFX, "t", m_when); }
};

template <class Body>
int RetCode(Body&& body) {
  try {
    body();
  } catch (CDBException* e) {
    const int code = e->m_nReturnCode;
    e->Delete();
    return code;
  }
  return 0;
}

// Everything the date getters make of the current row, as text.
std::string Describe(DateRow& rs, int move_code) {
  std::ostringstream out;
  out << "move " << move_code << " member " << rs.m_when.GetTime();
  SYSTEMTIME st{};
  out << " | systemtime " << RetCode([&] { rs.GetFieldValue(1, &st); }) << ' ' << st.wYear << '-'
      << st.wMonth << '-' << st.wDay << ' ' << st.wHour << ':' << st.wMinute << ':' << st.wSecond
      << " dow " << st.wDayOfWeek << " ms " << st.wMilliseconds;
  TIMESTAMP_STRUCT ts{};
  __int64 indicator = 0;
  out << " | timestamp " << RetCode([&] { rs.GetBulkFieldValue(1, &ts, &indicator); }) << ' '
      << indicator << ' ' << ts.year << '-' << ts.month << '-' << ts.day << ' ' << ts.hour << ':'
      << ts.minute << ':' << ts.second << '.' << ts.fraction;
  CTTime time;
  out << " | time " << RetCode([&] { rs.GetFieldValue(1, time); }) << ' ' << time.GetTime();
  // The text forms go through the OLE date itself.
  CTString text, text2;
  out << " | text " << RetCode([&] { rs.GetFieldValue(1, text); }) << ' '
      << static_cast<const char*>(text);
  out << " | text2 " << RetCode([&] { rs.GetFieldValue2(1, text2); }) << ' '
      << static_cast<const char*>(text2);
  return out.str();
}

// Reads every row of d in id order, each described.
std::vector<std::string> ReadRows(CDatabase& db) {
  std::vector<std::string> rows;
  DateRow rs(&db);
  rs.Open(CRecordset::forwardOnly, "SELECT t FROM d ORDER BY id", CRecordset::readOnly);
  int move_code = 0;
  while (!rs.IsEOF()) {
    rows.push_back(Describe(rs, move_code));
    move_code = RetCode([&] { rs.MoveNext(); });
  }
  rs.Close();
  return rows;
}

std::string RandomDateText(std::mt19937& random) {
  auto pick = [&](int low, int high) {
    return std::uniform_int_distribution<int>(low, high)(random);
  };
  const int year = pick(0, 3) == 0 ? pick(90, 9999) : pick(1895, 2105);
  // Fields one past their range now and then: the readers must refuse
  // them alike.
  char text[64];
  int n = std::snprintf(text, sizeof text, "%04d-%02d-%02d", year, pick(1, 13), pick(1, 31));
  const int form = pick(0, 9);
  if (form != 0) {
    n += std::snprintf(text + n, sizeof text - static_cast<size_t>(n), " %02d:%02d:%02d",
                       pick(0, 24), pick(0, 60), pick(0, 59));
  }
  if (form == 1)
    std::snprintf(text + n, sizeof text - static_cast<size_t>(n), ".%03d", pick(0, 999));
  return text;
}

TEST_F(FieldTest, DatesReadTheSameOverBothRoutes) {
  // A zone with daylight saving, so that local time has gaps and overlaps.
  ScopedEnv zone("TZ", "Europe/Berlin");
  std::vector<std::string> texts = {"2024-05-06 07:08:09",  // first: the open loads it
                                    "1900-01-01 00:00:00",
                                    "1899-12-31 23:59:59",
                                    "1899-12-30",
                                    "0100-01-01 00:00:00",
                                    "0099-12-31 23:59:59",
                                    "9999-12-31 23:59:59",
                                    "1969-12-31 23:59:59",
                                    "1970-01-01 00:00:00",
                                    "2038-01-19 03:14:08",
                                    "3000-01-01 00:00:00",
                                    "2024-02-29 12:00:00",
                                    "2023-02-29 12:00:00",
                                    "2100-02-29",
                                    "2000-02-29",
                                    "2024-03-31 02:30:00",
                                    "2024-10-27 02:30:00",
                                    "2024-01-01",
                                    "2024-01-01 24:00:00",
                                    "2024-01-01 23:60:00",
                                    "2024-01-01 23:59:60",
                                    "2024-13-01",
                                    "2024-00-10",
                                    "2024-01-00",
                                    "2024-01-01T10:00:00",
                                    "2024-01-01 10:00",
                                    "2024-01-01 10:00:00.5",
                                    "2024-01-01 23:59:59.7",
                                    "1899-12-29 23:59:59.6",
                                    "2024-01-01 10:00:00Z",
                                    "2024-01-01 10:00:00 ",
                                    "2024-01-01 Z Z Z Z ",  // full length, a date once trimmed
                                    "2024-01-01ZZZZZZZZZ",
                                    "2024-01-01 10:00:0Z",
                                    "2024-01-01Z",
                                    " 2024-01-01 10:00:00",
                                    "10:00:00",
                                    "2024-1-01 10:00:00",
                                    "2024-01-01  10:00:00",
                                    "abcd-ef-gh ij:kl:mn",
                                    "202/-01-01 10:00:00",
                                    "2024-0:-01",
                                    "2024-01-01 1;:00:00",
                                    "2024-01-01 10:00:0\xff",
                                    "2024-01-01 10:00:00x",
                                    ""};
  const unsigned seed = std::random_device{}();
  std::printf("DatesReadTheSameOverBothRoutes seed %u\n", seed);
  std::mt19937 random(seed);
  for (int i = 0; i < 3000; ++i) texts.push_back(RandomDateText(random));

  std::string insert = "INSERT INTO d (id, t) VALUES ";
  for (size_t i = 0; i < texts.size(); ++i) {
    insert += "(" + std::to_string(i) + ", '" + texts[i] + "'), ";
  }
  // Cells that are not text: null, an integer and a real in the date column.
  const size_t n = texts.size();
  insert += "(" + std::to_string(n) + ", NULL), (" + std::to_string(n + 1) + ", 45000), (" +
            std::to_string(n + 2) + ", 45000.5)";
  texts.insert(texts.end(), {"NULL", "45000", "45000.5"});
  Exec("CREATE TABLE d (id INTEGER PRIMARY KEY, t DATETIME)");
  Exec(insert.c_str());

  const std::vector<std::string> direct = ReadRows(Db());
  korvo::recordset::TEST_ForceVariantRoute(true);
  const std::vector<std::string> variant = ReadRows(Db());
  korvo::recordset::TEST_ForceVariantRoute(false);
  ASSERT_EQ(direct.size(), texts.size());
  ASSERT_EQ(variant.size(), texts.size());
  for (size_t i = 0; i < texts.size(); ++i) {
    EXPECT_EQ(direct[i], variant[i]) << "text '" << texts[i] << "' (seed " << seed << ")";
  }

  // The direct route did split the plain texts, into the very OLE date
  // Field.Value holds.
  _RecordsetPtr ado = OpenAdo("SELECT t FROM d ORDER BY id");
  IKorvoRowAccessPtr access(ado);
  ASSERT_TRUE(access);
  size_t split = 0;
  for (; !ado->GetadoEOF(); ado->MoveNext()) {
    RowCell cell;
    if (access->GetCell(0, &cell) != S_OK || !cell.split) continue;
    ++split;
    const _variant_t value = ado->GetFields()->GetItem(0L)->GetValue();
    ASSERT_EQ(value.vt, VT_DATE);
    EXPECT_EQ(std::memcmp(&cell.real, &value.date, sizeof(double)), 0) << cell.real;
    SYSTEMTIME fields{};
    ASSERT_TRUE(VariantTimeToSystemTime(value.date, &fields));
    EXPECT_EQ(std::memcmp(&cell.fields, &fields, sizeof fields), 0) << cell.real;
  }
  EXPECT_GT(split, texts.size() / 2);
}

}  // namespace
}  // namespace korvo::test
