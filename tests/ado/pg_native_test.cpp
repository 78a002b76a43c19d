// What only the native PostgreSQL provider does: decoding each server type
// from its text form (timestamptz into the host's local time) and from its
// binary form, a streaming recordset that keeps its rows while its
// connection runs another statement (one query at a time on a session), a
// query failing part-way through its blocks, a
// prepared statement made stale by a table change, and a link lost in the
// middle of a pipelined statement or of a long read.
#include <gtest/gtest.h>
#include <korvo/ado/ado.h>
#include <korvo/ado/providers/postgresql/pg_types.h>
#include <unistd.h>

#include <cstring>
#include <ctime>
#include <string>
#include <vector>

#include "ado/ado_test_support.h"
#include "support/clock.h"
#include "support/servers.h"

namespace korvo::ado::test {
namespace {

std::string LocalText(time_t instant) {
  std::tm local{};
  localtime_r(&instant, &local);
  char text[32];
  std::strftime(text, sizeof text, "%Y-%m-%d %H:%M:%S", &local);
  return text;
}

TEST(PgNativeTypesTest, TimestampTzBecomesTheHostsLocalTime) {
  using provider::postgresql::TimestampTzToLocal;
  // A zone away from UTC, so that the conversion shows.
  const korvo::test::ScopedTimeZone zone("America/New_York");
  // 2020-06-01 12:00:00 UTC is 1591012800 (08:00 in New York, summer time).
  std::string out;
  ASSERT_TRUE(TimestampTzToLocal("2020-06-01 12:00:00+00", 22, &out));
  EXPECT_EQ(out, "2020-06-01 08:00:00");
  ASSERT_TRUE(TimestampTzToLocal("2020-06-01 17:30:00.25+05:30", 28, &out));
  EXPECT_EQ(out, LocalText(1591012800) + ".25");
  ASSERT_TRUE(TimestampTzToLocal("2020-06-01 11:59:30-00:00:30", 28, &out));
  EXPECT_EQ(out, LocalText(1591012800));
  for (const char* other : {"infinity", "0044-03-15 12:00:00+00 BC", "2020-06-01 12:00:00"})
    EXPECT_FALSE(TimestampTzToLocal(other, std::char_traits<char>::length(other), &out)) << other;
}

class PgNativeTest : public AdoTest {
 protected:
  void SetUp() override {
    AdoTest::SetUp();
    const std::string dsn = korvo::test::ServerConnect(korvo::test::kPostgresNativeVariable);
    KORVO_REQUIRE_SERVER(dsn, "PostgreSQL", korvo::test::kPostgresNativeVariable);
    conn_ = Open(dsn);
    table_ = "pgn_" + std::to_string(getpid());
    Exec(conn_, ("DROP TABLE IF EXISTS " + table_).c_str());
  }
  void TearDown() override {
    if (conn_) Catch([&] { Exec(conn_, ("DROP TABLE IF EXISTS " + table_).c_str()); });
    AdoTest::TearDown();
  }
  void DecodeAll();
  _ConnectionPtr conn_;
  std::string table_;
};

TEST_F(PgNativeTest, DecodesEachTypeAndItsNull) {
  const Raised r = Catch([&] { DecodeAll(); });
  EXPECT_EQ(r.hr, S_OK) << r.description;
}
void PgNativeTest::DecodeAll() {
  Exec(conn_, ("CREATE TABLE " + table_ +
               " (id INT, i2 INT2, i8 INT8, num NUMERIC(20,4), f4 FLOAT4, f8 FLOAT8, b BOOL,"
               " vc VARCHAR(5), ch CHAR(3), bin BYTEA, d DATE, t TIME, ts TIMESTAMP,"
               " tz TIMESTAMPTZ, u UUID)")
                  .c_str());
  Exec(conn_, ("INSERT INTO " + table_ +
               " VALUES (1, -7, 9000000000, 1234567890123456.7891, 1.5, -2.25, TRUE, 'vc',"
               " 'ab', '\\x00ff10', '2020-01-02', '03:04:05', '2020-01-02 03:04:05.5',"
               " '2020-06-01 12:00:00+00', 'a0eebc99-9c0b-4ef8-bb6d-6bb9bd380a11'); INSERT INTO " +
               table_ + " (id) VALUES (2)")
                  .c_str());
  _RecordsetPtr rs =
      conn_->Execute(("SELECT * FROM " + table_ + " ORDER BY id").c_str(), nullptr, adCmdText);
  FieldsPtr f = rs->GetFields();
  auto value = [&](const char* name) { return f->GetItem(name)->GetValue(); };
  auto text = [&](const char* name) {
    return std::string(static_cast<const char*>(_bstr_t(value(name))));
  };
  EXPECT_EQ(value("i2").vt, VT_I2);
  EXPECT_EQ(text("i2"), "-7");
  EXPECT_EQ(value("i8").vt, VT_I8);
  EXPECT_EQ(text("i8"), "9000000000");
  EXPECT_EQ(value("num").vt, VT_DECIMAL);  // exact: all twenty digits
  EXPECT_EQ(text("num"), "1234567890123456.7891");
  EXPECT_EQ(value("f4").vt, VT_R4);
  EXPECT_EQ(value("f8").dblVal, -2.25);
  EXPECT_EQ(value("b").vt, VT_BOOL);
  EXPECT_EQ(value("b").boolVal, VARIANT_TRUE);
  EXPECT_EQ(text("vc"), "vc");
  EXPECT_EQ(text("ch"), "ab ");
  const _variant_t bytes = value("bin");
  ASSERT_EQ(bytes.vt, VT_ARRAY | VT_UI1);
  ASSERT_EQ(bytes.parray->rgsabound[0].cElements, 3u);
  EXPECT_EQ(static_cast<const unsigned char*>(bytes.parray->pvData)[1], 0xff);
  for (const char* date : {"d", "t", "ts", "tz"}) EXPECT_EQ(value(date).vt, VT_DATE) << date;
  EXPECT_EQ(text("u"), "a0eebc99-9c0b-4ef8-bb6d-6bb9bd380a11");
  const std::vector<const char*> binary_forms = {"id", "i2", "i8", "f8", "b", "vc", "ch"};
  std::vector<_variant_t> from_text;
  for (const char* name : binary_forms) from_text.push_back(value(name));
  rs->MoveNext();
  for (long c = 1; c < f->GetCount(); ++c) EXPECT_EQ(f->GetItem(c)->GetValue().vt, VT_NULL) << c;

  // A result whose columns all have a binary form comes in it: the same
  // values and nulls as from text.
  rs = conn_->Execute(
      ("SELECT id, i2, i8, f8, b, vc, ch, bin FROM " + table_ + " ORDER BY id").c_str(), nullptr,
      adCmdText);
  f = rs->GetFields();
  for (size_t i = 0; i < binary_forms.size(); ++i) {
    EXPECT_EQ(value(binary_forms[i]).vt, from_text[i].vt) << binary_forms[i];
    EXPECT_TRUE(value(binary_forms[i]) == from_text[i]) << binary_forms[i];
  }
  const _variant_t raw = value("bin");
  ASSERT_EQ(raw.vt, VT_ARRAY | VT_UI1);
  ASSERT_EQ(raw.parray->rgsabound[0].cElements, 3u);
  EXPECT_EQ(std::memcmp(raw.parray->pvData, bytes.parray->pvData, 3), 0);
  rs->MoveNext();
  for (long c = 1; c < f->GetCount(); ++c) EXPECT_EQ(f->GetItem(c)->GetValue().vt, VT_NULL) << c;
}

// The rows of a query arrive in blocks from a cursor, which outside a
// transaction has one of its own: a statement run mid-way still commits
// at once (a second connection sees it), the open recordset keeps the rows
// as they were.
TEST_F(PgNativeTest, AStreamingRecordsetKeepsItsRowsWhileTheConnectionRunsAnother) {
  constexpr long kRows = 3500;  // more than one block
  Exec(conn_, ("CREATE TABLE " + table_ + " (id INT)").c_str());
  Exec(conn_,
       ("INSERT INTO " + table_ + " SELECT generate_series(1, " + std::to_string(kRows) + ")")
           .c_str());
  _RecordsetPtr stream;
  ASSERT_EQ(stream.CreateInstance(__uuidof(Recordset)), S_OK);
  stream->Open(("SELECT id FROM " + table_ + " ORDER BY id").c_str(),
               _variant_t(static_cast<IDispatch*>(conn_)), adOpenForwardOnly, adLockReadOnly,
               adCmdText);
  long sum = 0, rows = 0;
  for (; rows < 10; ++rows, stream->MoveNext())
    sum += static_cast<long>(stream->GetFields()->GetItem(0L)->GetValue());
  Exec(conn_, ("UPDATE " + table_ + " SET id = -id").c_str());
  _ConnectionPtr other = Open(korvo::test::ServerConnect(korvo::test::kPostgresNativeVariable));
  _RecordsetPtr negative = other->Execute(
      ("SELECT count(*) FROM " + table_ + " WHERE id < 0").c_str(), nullptr, adCmdText);
  EXPECT_EQ(static_cast<long>(negative->GetFields()->GetItem(0L)->GetValue()), kRows);
  for (; !stream->GetadoEOF(); ++rows, stream->MoveNext())
    sum += static_cast<long>(stream->GetFields()->GetItem(0L)->GetValue());
  EXPECT_EQ(rows, kRows);
  EXPECT_EQ(sum, kRows * (kRows + 1) / 2);  // the rows as they were when the query ran

  // Closed after its first row, a long stream is cancelled on the server;
  // the connection's next statements run as usual.
  stream->Close();
  stream->Open("SELECT g FROM generate_series(1, 1000000) g",
               _variant_t(static_cast<IDispatch*>(conn_)), adOpenForwardOnly, adLockReadOnly,
               adCmdText);
  EXPECT_EQ(static_cast<long>(stream->GetFields()->GetItem(0L)->GetValue()), 1);
  stream->Close();
  for (int i = 0; i < 3; ++i) {
    _RecordsetPtr count =
        conn_->Execute(("SELECT count(*) FROM " + table_).c_str(), nullptr, adCmdText);
    EXPECT_EQ(static_cast<long>(count->GetFields()->GetItem(0L)->GetValue()), kRows);
  }
}

// Rows far shorter than the first of their block, in a read long enough
// that its waits ask for many bytes at once (sized by that first row):
// such a wait must still take the few that come, and so must the rest.
TEST_F(PgNativeTest, RowsShorterThanTheirBlocksFirstAllArrive) {
  _RecordsetPtr rs;
  ASSERT_EQ(rs.CreateInstance(__uuidof(Recordset)), S_OK);
  rs->Open(
      "SELECT g, CASE WHEN g % 1000 = 1 THEN repeat('x', 8000) ELSE '' END "
      "FROM generate_series(1, 70500) g",
      _variant_t(static_cast<IDispatch*>(conn_)), adOpenForwardOnly, adLockReadOnly, adCmdText);
  long rows = 0, sum = 0, text_bytes = 0;
  for (; !rs->GetadoEOF(); rs->MoveNext(), ++rows) {
    sum += static_cast<long>(rs->GetFields()->GetItem(0L)->GetValue());
    text_bytes += static_cast<long>(_bstr_t(rs->GetFields()->GetItem(1L)->GetValue()).length());
  }
  EXPECT_EQ(rows, 70500);
  EXPECT_EQ(sum, 70500L * 70501 / 2);
  EXPECT_EQ(text_bytes, 71 * 8000);
}

// A query failing part-way, in a block asked for while others are queued
// behind it: the move that reaches that block fails with the server's
// error, and the connection goes on, inside a transaction with the work
// done before the query.
TEST_F(PgNativeTest, AQueryFailingPartWayFailsTheMoveThatReachesIt) {
  Exec(conn_, ("CREATE TABLE " + table_ + " (id INT)").c_str());
  const std::string insert = "INSERT INTO " + table_ + " VALUES (1)";
  for (const bool in_transaction : {false, true}) {
    if (in_transaction) conn_->BeginTrans();
    Exec(conn_, insert.c_str());
    _RecordsetPtr rs;
    ASSERT_EQ(rs.CreateInstance(__uuidof(Recordset)), S_OK);
    rs->Open("SELECT 10 / (50000 - g) FROM generate_series(1, 200000) g",
             _variant_t(static_cast<IDispatch*>(conn_)), adOpenForwardOnly, adLockReadOnly,
             adCmdText);
    long rows = 0;
    const Raised failed = Catch([&] {
      for (; !rs->GetadoEOF(); rs->MoveNext()) ++rows;
    });
    EXPECT_GE(rows, 1000) << in_transaction;  // the first block came with the open
    EXPECT_LT(rows, 50000) << in_transaction;
    EXPECT_NE(failed.description.find("division by zero"), std::string::npos) << failed.description;
    Exec(conn_, insert.c_str());
    if (in_transaction) conn_->CommitTrans();
  }
  _RecordsetPtr count =
      conn_->Execute(("SELECT count(*) FROM " + table_).c_str(), nullptr, adCmdText);
  EXPECT_EQ(static_cast<long>(count->GetFields()->GetItem(0L)->GetValue()), 4);
}

// A prepared command whose table gained a column since it was prepared:
// the server refuses the old plan, the statement is prepared again and
// runs, outside a transaction and inside one (which goes on).
TEST_F(PgNativeTest, APreparedCommandOutlivesAChangeToItsTable) {
  Exec(conn_,
       ("CREATE TABLE " + table_ + " (id INT); INSERT INTO " + table_ + " VALUES (1)").c_str());
  _CommandPtr cmd;
  ASSERT_EQ(cmd.CreateInstance(__uuidof(Command)), S_OK);
  cmd->PutRefActiveConnection(conn_);
  cmd->PutCommandText(("SELECT * FROM " + table_).c_str());
  cmd->PutPrepared(VARIANT_TRUE);
  auto columns = [&] {
    _RecordsetPtr rs = cmd->Execute(nullptr, nullptr, adCmdText);
    const long count = rs->GetFields()->GetCount();
    EXPECT_EQ(static_cast<long>(rs->GetFields()->GetItem(0L)->GetValue()), 1);
    rs->Close();
    return count;
  };
  EXPECT_EQ(columns(), 1);
  Exec(conn_, ("ALTER TABLE " + table_ + " ADD COLUMN a INT").c_str());
  EXPECT_EQ(columns(), 2);
  conn_->BeginTrans();
  Exec(conn_, ("INSERT INTO " + table_ + " VALUES (2, 2)").c_str());
  Exec(conn_, ("ALTER TABLE " + table_ + " ADD COLUMN b INT").c_str());
  EXPECT_EQ(columns(), 3);
  Exec(conn_, ("INSERT INTO " + table_ + " VALUES (3, 3, 3)").c_str());
  conn_->CommitTrans();
  _RecordsetPtr count =
      conn_->Execute(("SELECT sum(id) FROM " + table_).c_str(), nullptr, adCmdText);
  EXPECT_EQ(static_cast<long>(count->GetFields()->GetItem(0L)->GetValue()), 6);
}

// The link lost inside a transaction, under a prepared insert whose
// savepoint travels with it: reported as lost (no wait for results that
// never come), the transaction's work gone.
TEST_F(PgNativeTest, ALinkLostUnderAPipelinedInsertIsReportedAsLost) {
  Exec(conn_, ("CREATE TABLE " + table_ + " (id INT)").c_str());
  _ConnectionPtr victim = Open(korvo::test::ServerConnect(korvo::test::kPostgresNativeVariable));
  _CommandPtr insert;
  ASSERT_EQ(insert.CreateInstance(__uuidof(Command)), S_OK);
  insert->PutRefActiveConnection(victim);
  insert->PutCommandText(("INSERT INTO " + table_ + " VALUES (1)").c_str());
  insert->PutPrepared(VARIANT_TRUE);
  victim->BeginTrans();
  insert->Execute(nullptr, nullptr, adExecuteNoRecords);
  const long pid = victim->Execute("SELECT pg_backend_pid()", nullptr, adCmdText)
                       ->GetFields()
                       ->GetItem(0L)
                       ->GetValue();
  Exec(conn_, ("SELECT pg_terminate_backend(" + std::to_string(pid) + ")").c_str());
  const Raised lost = Catch([&] { insert->Execute(nullptr, nullptr, adExecuteNoRecords); });
  EXPECT_NE(lost.description.find("connection to the server was lost"), std::string::npos)
      << lost.description;
  EXPECT_EQ(victim->GetState(), adStateClosed);
  _RecordsetPtr count =
      conn_->Execute(("SELECT count(*) FROM " + table_).c_str(), nullptr, adCmdText);
  EXPECT_EQ(static_cast<long>(count->GetFields()->GetItem(0L)->GetValue()), 0);
}

// The server ends the session in the middle of a long read (what a dying
// server looks like to the client): the read fails as a lost link once
// the rows already on their way are used up, and the connection opens
// again.
TEST_F(PgNativeTest, ASessionEndedMidReadIsReportedAsLostAndReopens) {
  const std::string dsn = korvo::test::ServerConnect(korvo::test::kPostgresNativeVariable);
  _ConnectionPtr victim = Open(dsn);
  const long pid = victim->Execute("SELECT pg_backend_pid()", nullptr, adCmdText)
                       ->GetFields()
                       ->GetItem(0L)
                       ->GetValue();
  _RecordsetPtr rs;
  ASSERT_EQ(rs.CreateInstance(__uuidof(Recordset)), S_OK);
  rs->Open("SELECT g, repeat('x', 100) FROM generate_series(1, 5000000) g",
           _variant_t(static_cast<IDispatch*>(victim)), adOpenForwardOnly, adLockReadOnly,
           adCmdText);
  Exec(conn_, ("SELECT pg_terminate_backend(" + std::to_string(pid) + ")").c_str());
  long rows = 0;
  const Raised lost = Catch([&] {
    for (; !rs->GetadoEOF(); rs->MoveNext()) ++rows;
  });
  EXPECT_LT(rows, 5000000);
  EXPECT_NE(lost.description.find("connection to the server was lost"), std::string::npos)
      << lost.description;
  EXPECT_EQ(victim->GetState(), adStateClosed);
  victim->Open(dsn.c_str(), "", "", adConnectUnspecified);
  EXPECT_EQ(
      static_cast<long>(
          victim->Execute("SELECT 1", nullptr, adCmdText)->GetFields()->GetItem(0L)->GetValue()),
      1);
}

}  // namespace
}  // namespace korvo::ado::test
