// A model-based random test of the editing cycle: random sequences of
// AddNew / Edit / member assignments / SetFieldNull / Update / Delete /
// CancelUpdate / Move on a recordset binding a member of every type, each
// step checked against a plain in-memory model (snapshot rows, position,
// edit mode, members, status bits), and at the end the table as raw sqlite3
// reads it. KORVO_MODEL_SEED chooses the first seed (printed).
#include <korvo/platform/codepage.h>
#include <sqlite3.h>

#include <algorithm>
#include <array>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <map>
#include <optional>
#include <random>

#include "recordset/field_test_support.h"

namespace korvo::test {
namespace {

constexpr int kFields = EveryType::kFields;
enum Col { kId, kName, kWide, kInt, kLong, kByte, kBool, kDouble, kDate, kBin, kBlob };

// One value of the model: integers (and times) in i, doubles in d, text and
// bytes in s (wide text as UTF-16 code units in w).
struct Val {
  long long i = 0;
  double d = 0;
  std::string s;
  std::u16string w;
  bool operator==(const Val&) const = default;
};
using Row = std::array<std::optional<Val>, kFields>;  // nullopt: NULL

// The members of the recordset as the model expects them.
struct Members {
  long id = 0;
  std::string name;
  std::u16string wide;
  int i = 0;
  long l = 0;
  int b = 0;
  int flag = 0;
  double x = 0;
  long long date = 0;
  std::string bin, blob;
  bool blobHeld = false;  // the long binary owns a block (written on update)
  unsigned char status[kFields] = {};
};

std::string LocalText(long long t) {
  const time_t tt = static_cast<time_t>(t);
  struct tm local {};
  localtime_r(&tt, &local);
  char text[32];
  std::strftime(text, sizeof text, "%Y-%m-%d %H:%M:%S", &local);
  return text;
}

// What the getter of column c loads into the member from a cell; returns
// whether the null bit is set.
bool Load(Members& m, int c, const std::optional<Val>& v) {
  const bool null = !v.has_value();
  const Val x = v.value_or(Val{});
  switch (c) {
    case kId:
      m.id = null ? kLongNull : static_cast<long>(x.i);
      break;
    case kName:
      m.name = x.s;
      break;
    case kWide:
      m.wide = x.w;
      break;
    case kInt:
      m.i = null ? kIntNull : static_cast<int>(x.i);
      break;
    case kLong:
      m.l = null ? kLongNull : static_cast<long>(x.i);
      break;
    case kByte:
      m.b = null ? 255 : static_cast<int>(x.i);
      break;
    case kBool:
      m.flag = null ? 2 : (x.i != 0 ? 1 : 0);
      break;
    case kDouble:
      m.x = null ? kDoubleNull : x.d;
      break;
    case kDate:
      m.date = null ? 0 : x.i;
      break;
    case kBin:
      m.bin = null ? std::string(1, '\xFF') : x.s;
      break;
    case kBlob:
      // A null long binary keeps its block; a value of 0 bytes has none.
      if (!null) m.blobHeld = !x.s.empty();
      m.blob = x.s;
      break;
  }
  return null;
}

void MakePseudoNull(Members& m, int c) { Load(m, c, std::nullopt); }

bool HoldsValue(const Members& m, int c) {
  switch (c) {
    case kId:
      return m.id != kLongNull;
    case kName:
      return !m.name.empty();
    case kWide:
      return !m.wide.empty();
    case kInt:
      return m.i != kIntNull;
    case kLong:
      return m.l != kLongNull;
    case kByte:
      return m.b != 255;
    case kBool:
      return m.flag != 2;
    case kDouble:
      return m.x != kDoubleNull;
    case kDate:
      return m.date != 0;
    case kBin:
      return m.bin != std::string(1, '\xFF');
    default:
      return false;
  }
}

// The comparison of the dirty rule: the cell read into a temporary that
// starts at the pseudo-null value, against the member.
bool EqualsCell(const Members& m, int c, const std::optional<Val>& cell) {
  Members t;
  Load(t, c, cell);
  switch (c) {
    case kId:
      return t.id == m.id;
    case kName:
      return t.name == m.name;
    case kWide:
      return t.wide == m.wide;
    case kInt:
      return t.i == m.i;
    case kLong:
      return t.l == m.l;
    case kBool:
      return (cell ? static_cast<int>(cell->i) : kIntNull) == m.flag;
    case kDouble:
      return t.x == m.x;
    case kDate:
      return t.date == m.date;
    default:
      return false;
  }
}

// The value the setter of column c sends for the member; nullopt when it
// sends nothing (a long binary without a block).
std::optional<std::optional<Val>> Written(const Members& m, int c) {
  if (m.status[c] & CRecordset::fieldNull) return std::optional<Val>{};
  Val v;
  switch (c) {
    case kId:
      v.i = m.id;
      break;
    case kName:
      v.s = m.name;
      break;
    case kWide:
      v.w = m.wide;
      break;
    case kInt:
      v.i = static_cast<int16_t>(m.i & 0xFFFF);
      break;
    case kLong:
      v.i = m.l;
      break;
    case kByte:
      v.i = m.b;
      break;
    case kBool:
      v.i = m.flag != 0 ? 1 : 0;
      break;
    case kDouble:
      v.d = m.x;
      break;
    case kDate:
      v.i = m.date;
      break;
    case kBin:
      v.s = m.bin;
      break;
    case kBlob:
      if (!m.blobHeld) return std::nullopt;
      v.s = m.blob;
      break;
  }
  return std::optional<Val>{v};
}

class RecordsetModelTest : public RoutedFieldTest {
 protected:
  void SetUp() override {
    RoutedFieldTest::SetUp();
    Exec(
        "CREATE TABLE t (id INTEGER PRIMARY KEY, name VARCHAR(20), wide TEXT, i SMALLINT,"
        " l INTEGER, b TINYINT, flag BOOLEAN, x DOUBLE, d DATETIME, bin VARBINARY(16), blob BLOB)");
    // Every write commits on its own: without syncing, the run stays short.
    Exec("PRAGMA synchronous=OFF");
  }
  void RunSeed(unsigned seed, int steps);
  void CheckTable(const std::vector<Row>& rows, const std::string& where);
};

void RecordsetModelTest::CheckTable(const std::vector<Row>& rows, const std::string& where) {
  std::map<long long, const Row*> expected;
  for (const Row& r : rows) expected[r[kId]->i] = &r;
  sqlite3* raw = nullptr;
  const int opened =
      sqlite3_open_v2(dir_.File("fields.db").c_str(), &raw, SQLITE_OPEN_READONLY, nullptr);
  const std::unique_ptr<sqlite3, int (*)(sqlite3*)> db(raw, sqlite3_close);
  ASSERT_EQ(opened, SQLITE_OK);
  sqlite3_stmt* prepared = nullptr;
  ASSERT_EQ(
      sqlite3_prepare_v2(db.get(), "SELECT id,name,wide,i,l,b,flag,x,d,bin,blob FROM t ORDER BY id",
                         -1, &prepared, nullptr),
      SQLITE_OK);
  const std::unique_ptr<sqlite3_stmt, int (*)(sqlite3_stmt*)> st(prepared, sqlite3_finalize);
  auto it = expected.begin();
  for (; sqlite3_step(st.get()) == SQLITE_ROW; ++it) {
    ASSERT_NE(it, expected.end()) << where << ": extra row " << sqlite3_column_int64(st.get(), 0);
    const Row& r = *it->second;
    EXPECT_EQ(sqlite3_column_int64(st.get(), 0), it->first) << where;
    for (int c = 1; c < kFields; ++c) {
      const std::string what =
          where + ", id " + std::to_string(it->first) + " column " + std::to_string(c);
      const bool null = sqlite3_column_type(st.get(), c) == SQLITE_NULL;
      ASSERT_EQ(null, !r[c].has_value()) << what;
      if (null) continue;
      const auto* text = reinterpret_cast<const char*>(sqlite3_column_text(st.get(), c));
      const auto* data = static_cast<const char*>(sqlite3_column_blob(st.get(), c));
      const std::string bytes(data ? data : "",
                              static_cast<size_t>(sqlite3_column_bytes(st.get(), c)));
      if (c == kName) {
        EXPECT_EQ(std::string(text), r[c]->s) << what;
      }
      if (c == kWide) {
        EXPECT_EQ(std::string(text), korvo::platform::Utf16ToUtf8(r[c]->w)) << what;
      }
      if (c == kInt || c == kLong || c == kByte || c == kBool) {
        EXPECT_EQ(sqlite3_column_int64(st.get(), c), r[c]->i) << what;
      }
      if (c == kDouble) {
        EXPECT_EQ(sqlite3_column_double(st.get(), c), r[c]->d) << what;
      }
      if (c == kDate) {
        EXPECT_EQ(std::string(text), LocalText(r[c]->i)) << what;
      }
      if (c == kBin || c == kBlob) {
        EXPECT_EQ(bytes, r[c]->s) << what;
      }
    }
  }
  EXPECT_EQ(it, expected.end()) << where << ": rows missing";
}

void RecordsetModelTest::RunSeed(unsigned seed, int steps) {
  std::printf("recordset model: seed %u, %d steps\n", seed, steps);
  std::mt19937 rng(seed);
  auto pick = [&rng](int n) { return static_cast<int>(rng() % static_cast<unsigned>(n)); };
  EveryType rs(&Db());
  rs.m_strSort = "id";
  ASSERT_EQ(rs.Open(CRecordset::staticCursor, nullptr, CRecordset::none), 1);

  // The snapshot and the table agree (one recordset writes): rows in
  // snapshot order, the current position, whether the current row was
  // deleted (then pos is the row after it), and the members.
  std::map<std::string, int> tally;  // steps per operation, printed at the end
  std::vector<Row> rows;
  long pos = 0;
  bool removed = false;
  int mode = 0;
  Members m;
  long nextId = 1;
  auto onRow = [&] { return !removed && pos >= 0 && pos < static_cast<long>(rows.size()); };
  auto load = [&] {
    for (int c = 0; c < kFields; ++c) m.status[c] = Load(m, c, rows[pos][c]) ? 2 : 0;
  };

  // The members and status bits against the model.
  auto expectMembers = [&](const std::string& at) {
    EXPECT_EQ(rs.m_id, m.id) << at;
    EXPECT_EQ(std::string(rs.m_name), m.name) << at;
    EXPECT_EQ(U16(rs.m_wide), m.wide) << at;
    EXPECT_EQ(rs.m_int, m.i) << at;
    EXPECT_EQ(rs.m_long, m.l) << at;
    EXPECT_EQ(rs.m_byte, m.b) << at;
    EXPECT_EQ(rs.m_bool, m.flag) << at;
    EXPECT_EQ(rs.m_double, m.x) << at;
    EXPECT_EQ(rs.m_date.GetTime(), m.date) << at;
    EXPECT_EQ(std::string(reinterpret_cast<const char*>(rs.m_bin.GetData()), rs.m_bin.GetSize()),
              m.bin)
        << at;
    EXPECT_EQ(rs.m_blob.m_nDataLength, m.blob.size()) << at;
    if (rs.m_blob.m_nDataLength == m.blob.size() && !m.blob.empty()) {
      EXPECT_EQ(std::memcmp(rs.m_blob.m_pData, m.blob.data(), m.blob.size()), 0) << at;
    }
    for (int c = 0; c < kFields; ++c) {
      EXPECT_EQ(rs.GetFieldStatus(static_cast<unsigned long>(c)), m.status[c])
          << at << " status " << c;
    }
  };

  for (int step = 0, done = 0; done < steps; ++step) {
    const std::string where = "seed " + std::to_string(seed) + " step " + std::to_string(step);
    std::string op;
    try {
      const int kind = pick(100);
      const long n = static_cast<long>(rows.size());
      if (kind < 8 && (mode != 2 || kind < 1)) {
        op = "AddNew";
        rs.AddNew();
        for (int c = 0; c < kFields; ++c) MakePseudoNull(m, c), m.status[c] = 2;
        mode = 2;
      } else if (kind >= 8 && kind < 26 && mode != 2 && onRow() && m.id == rows[pos][kId]->i &&
                 !(m.status[kId] & CRecordset::fieldNull)) {
        // Edit keeps the members: only while they still name the current
        // row's key, or Update would rewrite (or null) the key.
        op = "Edit";
        rs.Edit();
        mode = 1;
      } else if (kind >= 26 && kind < 56 && mode != 0) {
        // A member assignment (the key only on a new row, and a fresh one).
        const int c = mode == 2 ? pick(kFields) : 1 + pick(kFields - 1);
        op = "assign column " + std::to_string(c);
        static const char16_t* const kWides[] = {u"", u"caf\u00e9", u"\u20ac5", u"w"};
        switch (c) {
          case kId:
            m.id = rs.m_id = nextId += 1 + pick(3);
            break;
          case kName:
            m.name = std::string(static_cast<size_t>(pick(4)), "abc"[pick(3)]);
            rs.m_name = m.name.c_str();
            break;
          case kWide:
            m.wide = kWides[pick(4)];
            rs.m_wide = m.wide.c_str();
            break;
          case kInt:
            m.i = rs.m_int = pick(4) == 0 ? kIntNull : pick(200001) - 100000;
            break;
          case kLong:
            m.l = rs.m_long = pick(5) == 0 ? kLongNull : static_cast<long>(rng()) / 2 - 1000;
            break;
          case kByte:
            m.b = rs.m_byte = static_cast<unsigned char>(pick(256));
            break;
          case kBool:
            m.flag = rs.m_bool = std::array{0, 1, 2, 5, -1}[pick(5)];
            break;
          case kDouble:
            m.x = rs.m_double = (pick(2000001) - 1000000) / 1024.0;
            break;
          case kDate:
            rs.m_date = CTTime(1990 + pick(40), 1 + pick(12), 1 + pick(28), 4 + pick(20), pick(60),
                               pick(60));
            m.date = rs.m_date.GetTime();
            break;
          case kBin:
            m.bin = std::string(static_cast<size_t>(pick(4)), static_cast<char>(pick(256)));
            rs.m_bin.SetSize(static_cast<int>(m.bin.size()));
            if (!m.bin.empty()) std::memcpy(rs.m_bin.GetData(), m.bin.data(), m.bin.size());
            break;
          case kBlob:
            // A long binary is never marked by the recordset: the host says so.
            m.blob = std::string(static_cast<size_t>(1 + pick(5)), static_cast<char>(pick(256)));
            rs.m_blob.SetParam(reinterpret_cast<const BYTE*>(m.blob.data()),
                               static_cast<DWORD>(m.blob.size()));
            m.blobHeld = true;
            rs.SetFieldNull(&rs.m_blob, FALSE);
            rs.SetFieldDirty(&rs.m_blob);
            m.status[kBlob] = CRecordset::fieldDirty;
            break;
        }
      } else if (kind >= 56 && kind < 64 && mode != 0) {
        const int c = 1 + pick(kFields - 1);
        op = "SetFieldNull column " + std::to_string(c);
        void* const members[] = {&rs.m_id,   &rs.m_name, &rs.m_wide, &rs.m_int,
                                 &rs.m_long, &rs.m_byte, &rs.m_bool, &rs.m_double,
                                 &rs.m_date, &rs.m_bin,  &rs.m_blob};
        rs.SetFieldNull(members[c]);
        MakePseudoNull(m, c);
        m.status[c] |= CRecordset::fieldNull;
      } else if (kind >= 64 && kind < 80 && mode != 0) {
        op = "Update";
        const bool adding = mode == 2;
        const Row current = adding ? Row{} : rows[pos];
        bool dirty = false;
        for (int c = 0; c < kFields; ++c) {
          unsigned char& s = m.status[c];
          if (adding) {
            if (c == kInt ? !(s & 1) : c != kBlob && HoldsValue(m, c)) s = CRecordset::fieldDirty;
          } else {
            if (c != kBlob && HoldsValue(m, c)) s &= ~CRecordset::fieldNull;
            if ((c == kName && m.name.empty()) || (c == kWide && m.wide.empty())) s |= 2;
            const bool compared = c != kByte && c != kBin && c != kBlob;
            if (compared ? !EqualsCell(m, c, current[c]) : !(s & CRecordset::fieldNull)) s |= 1;
          }
          dirty = dirty || (s & 1);
        }
        const BOOL stored = rs.Update();
        ASSERT_EQ(stored, dirty ? 1 : 0) << where << ": Update";
        if (!dirty) ++tally["Update returning 0"];
        if (dirty) {
          Row row = current;
          for (int c = 0; c < kFields; ++c) {
            if (!(m.status[c] & 1)) continue;
            if (auto v = Written(m, c)) row[c] = *v;
          }
          if (adding && !row[kId]) {  // the engine gives the next key
            long long top = 0;
            for (const Row& r : rows) top = std::max(top, r[kId]->i);
            row[kId] = Val{top + 1, 0, {}, {}};
          }
          nextId = std::max<long>(nextId, static_cast<long>(row[kId]->i));
          if (adding) {
            rows.push_back(row);
            pos = static_cast<long>(rows.size()) - 1;
            removed = false;
          } else {
            rows[pos] = row;
          }
          for (auto& s : m.status) s &= ~CRecordset::fieldDirty;
          mode = 0;
        }
      } else if (kind >= 80 && kind < 83 && mode != 0) {
        op = "CancelUpdate";
        rs.CancelUpdate();
        for (auto& s : m.status) s &= ~CRecordset::fieldDirty;
        mode = 0;
      } else if (kind >= 83 && kind < 87 && mode == 0 && onRow()) {
        op = "Delete";
        rs.Delete();
        rows.erase(rows.begin() + pos);
        removed = true;
        for (int c = 0; c < kFields; ++c) MakePseudoNull(m, c), m.status[c] = 2;
      } else if (kind >= 87 && n > 0) {
        // A move that lands on a row or just past the last one.
        const int code = 1 + pick(6);
        const bool eof = !removed && pos >= n;
        long target = -1;
        long rows_arg = 1;
        if (code == CRecordset::fetchNext && !eof) target = removed ? pos : pos + 1;
        if (code == CRecordset::fetchFirst) target = 0;
        if (code == CRecordset::fetchLast) target = n - 1;
        if (code == CRecordset::fetchPrior && pos > 0) target = pos - 1;
        if (code == CRecordset::fetchAbsolute) target = rows_arg = pick(static_cast<int>(n));
        if (code == CRecordset::fetchRelative) {
          target = pick(static_cast<int>(n));
          rows_arg = target - pos + (removed && target >= pos ? 1 : 0);
          if (rows_arg == 0 || (eof && rows_arg >= 0)) target = -1;
        }
        if (target < 0) continue;
        op = "Move(" + std::to_string(rows_arg) + ", " + std::to_string(code) + ")";
        rs.Move(rows_arg, static_cast<unsigned short>(code));
        pos = target;
        removed = false;
        mode = 0;
        for (auto& s : m.status) s = 0;
        if (pos < n) load();
      } else {
        continue;
      }
    } catch (CDBException* e) {
      const std::string text = where + " (" + op + "): " + std::string(e->m_strErrorText) + " " +
                               std::string(e->m_strErrorOrigin);
      CDBException::Delete(e);
      FAIL() << text;
    }

    ++done;
    ++tally[op.substr(0, op.find_first_of(" ("))];
    // The recordset against the model after the step.
    const std::string at = where + " (" + op + ")";
    ASSERT_EQ(rs.m_nEditMode, mode) << at;
    ASSERT_EQ(rs.IsEOF(), !removed && pos >= static_cast<long>(rows.size()) ? 1 : 0) << at;
    expectMembers(at);
    if (HasFatalFailure() || HasNonfatalFailure()) return;
  }
  // Read back from the file through the recordset: the same rows, in key
  // order, loaded as the model loads them.
  std::sort(rows.begin(), rows.end(),
            [](const Row& x, const Row& y) { return x[kId]->i < y[kId]->i; });
  ASSERT_EQ(rs.Requery(), 1);
  for (pos = 0; pos < static_cast<long>(rows.size()); ++pos, rs.MoveNext()) {
    ASSERT_FALSE(rs.IsEOF()) << "seed " << seed << " requery row " << pos;
    load();
    expectMembers("seed " + std::to_string(seed) + " requery row " + std::to_string(pos));
  }
  EXPECT_TRUE(rs.IsEOF()) << "seed " << seed << " requery: rows left";
  rs.Close();
  for (const auto& [name, count] : tally) std::printf("  %s: %d\n", name.c_str(), count);
  std::printf("  rows at the end: %zu\n", rows.size());
  CheckTable(rows, "seed " + std::to_string(seed) + " end");
}

TEST_P(RecordsetModelTest, RandomEditingAgreesWithTheModelAndTheTable) {
  const char* env = std::getenv("KORVO_MODEL_SEED");
  const unsigned first = env ? static_cast<unsigned>(std::strtoul(env, nullptr, 10)) : 20261206u;
  for (unsigned s = first; s < first + 8 && !HasFailure(); ++s) {
    Exec("DELETE FROM t");
    RunSeed(s, 1000);
  }
}

KORVO_OVER_BOTH_ROUTES(RecordsetModelTest);

}  // namespace
}  // namespace korvo::test
