// Tests of the Recordset write path (AddNew, Field.Value puts, Update,
// Delete, CancelUpdate/CancelBatch, AppendChunk) on a SQLite file,
// PostgreSQL and MariaDB, checked through a second connection.
#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <korvo/ado/ado.h>
#include <korvo/ado/error_result.h>

#include <cstring>
#include <string>
#include <vector>

#include "ado/ado_engines.h"

namespace korvo::ado::test {
namespace {

using ::testing::HasSubstr;

constexpr HRESULT kNoCurrentRecord = korvo::ado::AdoError(adErrNoCurrentRecord);
constexpr HRESULT kNotAllowed = korvo::ado::AdoError(adErrIllegalOperation);
constexpr HRESULT kNotUpdatable = korvo::ado::AdoError(adErrFeatureNotAvailable);
constexpr HRESULT kWrongType = korvo::ado::AdoError(adErrDataConversion);
constexpr HRESULT kConcurrency = DB_E_CONCURRENCYVIOLATION;
constexpr HRESULT kIntegrity = DB_E_INTEGRITYVIOLATION;

class RecordsetWriteTest : public EngineTest {
 protected:
  void SetUp() override {
    EngineTest::SetUp();
    if (IsSkipped() || HasFatalFailure()) return;
    conn_ = Open(ConnectText());
    other_ = Open(ConnectText());
    Exec(conn_, ("CREATE TABLE w (id " + GetParam().auto_key +
                 ", name VARCHAR(40) NOT NULL UNIQUE, amount REAL)")
                    .c_str());
    Exec(conn_, "INSERT INTO w (name, amount) VALUES ('one', 1.5), ('two', NULL), ('three', 3.5)");
  }
  void TearDown() override {
    // Before the scratch area goes: a server waits for open sessions.
    conn_ = nullptr;
    other_ = nullptr;
    EngineTest::TearDown();
  }
  // The names of w in key order, through the second connection.
  std::string Names() {
    return Scalar(other_, ("SELECT " + GetParam().list("name", "id", "w")).c_str());
  }

  _RecordsetPtr OpenRs(_ConnectionPtr& c, const char* sql, LockTypeEnum lock = adLockOptimistic,
                       CursorLocationEnum location = adUseClient) {
    _RecordsetPtr rs;
    EXPECT_EQ(rs.CreateInstance(__uuidof(Recordset)), S_OK);
    rs->PutCursorLocation(location);
    rs->Open(sql, _variant_t(static_cast<IDispatch*>(c)), adOpenStatic, lock, adCmdText);
    return rs;
  }

  // The first column of the first row through `c`, as text ("NULL", "NO ROW").
  std::string Scalar(_ConnectionPtr& c, const char* sql) {
    _RecordsetPtr rs = c->Execute(sql, nullptr, adCmdText);
    if (rs->GetadoEOF()) return "NO ROW";
    const _variant_t v = rs->GetFields()->GetItem(0L)->GetValue();
    if (v.vt == VT_NULL) return "NULL";
    return static_cast<const char*>(_bstr_t(v));
  }

  static std::string Text(FieldPtr f) {
    const _variant_t v = f->GetValue();
    return v.vt == VT_NULL ? "NULL" : static_cast<const char*>(_bstr_t(v));
  }

  _ConnectionPtr conn_;
  _ConnectionPtr other_;
};

// What only SQLite runs: SQL of its own dialect.
class SqliteRecordsetWriteTest : public RecordsetWriteTest {};

TEST_P(RecordsetWriteTest, EditsInsertsAndDeletesRows) {
  _RecordsetPtr rs = OpenRs(conn_, "SELECT id, name, amount FROM w ORDER BY id");
  FieldsPtr f = rs->GetFields();
  // Edit: the buffer shows the new value, the stored values the old one.
  f->GetItem("name")->PutValue(_bstr_t("uno"));
  EXPECT_EQ(rs->GetEditMode(), adEditInProgress);
  EXPECT_EQ(Text(f->GetItem("name")), "uno");
  EXPECT_EQ(std::string(_bstr_t(f->GetItem("name")->GetOriginalValue())), "one");
  EXPECT_EQ(Scalar(other_, "SELECT name FROM w WHERE id = 1"), "one");
  rs->Update();
  EXPECT_EQ(rs->GetEditMode(), adEditNone);
  EXPECT_EQ(Scalar(other_, "SELECT name FROM w WHERE id = 1"), "uno");
  EXPECT_EQ(std::string(_bstr_t(f->GetItem("name")->GetUnderlyingValue())), "uno");

  // Insert: the generated key joins the snapshot.
  rs->AddNew();
  EXPECT_EQ(rs->GetEditMode(), adEditAdd);
  EXPECT_EQ(f->GetItem("id")->GetValue().vt, VT_NULL);
  f->GetItem("name")->PutValue(_bstr_t("four"));
  f->GetItem("amount")->PutValue(_variant_t(u"4.25"));  // converted to the column's type
  rs->Update();
  EXPECT_EQ(rs->GetRecordCount(), 4);
  EXPECT_EQ(static_cast<long>(f->GetItem("id")->GetValue()), 4);
  EXPECT_EQ(
      Scalar(other_,
             ("SELECT " + GetParam().concat("name", "amount") + " FROM w WHERE id = 4").c_str()),
      "four4.25");
  rs->MoveFirst();
  rs->MoveLast();
  EXPECT_EQ(Text(f->GetItem("name")), "four");

  // Delete: the row leaves the snapshot; it is no longer current.
  rs->MoveFirst();
  rs->MoveNext();  // id 2
  rs->Delete(adAffectCurrent);
  EXPECT_EQ(rs->GetRecordCount(), 3);
  EXPECT_EQ(Catch([&] { f->GetItem("name")->GetValue(); }).hr, kNoCurrentRecord);
  EXPECT_EQ(Scalar(other_, "SELECT count(*) FROM w WHERE id = 2"), "0");
  rs->MoveNext();  // goes on after the deleted row
  EXPECT_EQ(static_cast<long>(f->GetItem("id")->GetValue()), 3);
  rs->MovePrevious();
  EXPECT_EQ(static_cast<long>(f->GetItem("id")->GetValue()), 1);

  // Moving with a pending edit stores it first.
  f->GetItem("amount")->PutValue(_variant_t(9.0));
  rs->MoveNext();
  EXPECT_EQ(Scalar(other_, "SELECT amount FROM w WHERE id = 1"), "9");
}

// The insert statement is kept for the next row of the same columns, with
// what follows from them (their order, whether the engine makes the key):
// each new set of columns must bring its own.
TEST_P(RecordsetWriteTest, InsertsOfChangingColumnSetsBindAndReportTheirOwn) {
  _RecordsetPtr rs = OpenRs(conn_, "SELECT id, name, amount FROM w ORDER BY id");
  FieldsPtr f = rs->GetFields();
  struct Insert {
    std::vector<const char*> order;  // the columns in the order they are put
    long id;                         // 0: the engine makes it
    const char* name;
    double amount;
  };
  const Insert inserts[] = {
      {{"name", "amount"}, 0, "four", 4.5},
      {{"id", "name", "amount"}, 20, "five", 5.5},  // every column, in result order
      {{"amount", "name", "id"}, 30, "six", 6.5},   // every column, reversed
      {{"name", "amount"}, 0, "seven", 7.5},        // made key again
      {{"amount", "name"}, 0, "eight", 8.5},
      {{"id", "name", "amount"}, 40, "nine", 9.5},
  };
  for (const Insert& row : inserts) {
    SCOPED_TRACE(row.name);
    rs->AddNew();
    for (const char* column : row.order) {
      const std::string c = column;
      if (c == "id") f->GetItem("id")->PutValue(_variant_t(row.id));
      if (c == "name") f->GetItem("name")->PutValue(_bstr_t(row.name));
      if (c == "amount") f->GetItem("amount")->PutValue(_variant_t(row.amount));
    }
    rs->Update();
    const std::string where = std::string(" FROM w WHERE name = '") + row.name + "'";
    const std::string stored_id = Scalar(other_, ("SELECT id" + where).c_str());
    if (row.id != 0) {
      EXPECT_EQ(stored_id, std::to_string(row.id));
    }
    EXPECT_EQ(Text(f->GetItem("id")), stored_id);
    EXPECT_EQ(Text(f->GetItem("name")), row.name);
    EXPECT_EQ(static_cast<double>(f->GetItem("amount")->GetValue()), row.amount);
  }
  EXPECT_EQ(rs->GetRecordCount(), 9);
}

TEST_P(RecordsetWriteTest, CancelsPendingChangesAndRejectsBadValues) {
  _RecordsetPtr rs = OpenRs(conn_, "SELECT id, name, amount FROM w ORDER BY id");
  FieldsPtr f = rs->GetFields();
  f->GetItem("name")->PutValue(_bstr_t("changed"));
  rs->CancelUpdate();
  EXPECT_EQ(rs->GetEditMode(), adEditNone);
  EXPECT_EQ(Text(f->GetItem("name")), "one");
  f->GetItem("name")->PutValue(_bstr_t("changed"));
  rs->CancelBatch(adAffectCurrent);
  EXPECT_EQ(Text(f->GetItem("name")), "one");
  rs->AddNew();
  f->GetItem("name")->PutValue(_bstr_t("never"));
  rs->CancelUpdate();
  EXPECT_EQ(static_cast<long>(f->GetItem("id")->GetValue()), 1);
  EXPECT_EQ(rs->GetRecordCount(), 3);
  // A value the column cannot take fails at once and changes nothing.
  EXPECT_EQ(Catch([&] { f->GetItem("amount")->PutValue(_bstr_t("not a number")); }).hr, kWrongType);
  EXPECT_EQ(rs->GetEditMode(), adEditNone);
  rs->Update();  // nothing pending: nothing sent
  EXPECT_EQ(Names(), "one,two,three");
  EXPECT_EQ(Scalar(other_, "SELECT amount FROM w WHERE id = 1"), "1.5");
}

TEST_P(RecordsetWriteTest, CloseAndRequeryAreRefusedWhileAnEditIsInProgress) {
  _RecordsetPtr rs = OpenRs(conn_, "SELECT id, name, amount FROM w ORDER BY id");
  // Each way of ending an edit lifts the refusal; the edit survives it.
  for (const char* end : {"Update", "CancelUpdate", "CancelBatch"}) {
    SCOPED_TRACE(end);
    FieldsPtr f = rs->GetFields();  // a Requery gives new Fields
    f->GetItem("amount")->PutValue(_variant_t(7.0));
    const Raised close = Catch([&] { rs->Close(); });
    EXPECT_EQ(close.hr, kNotAllowed);
    EXPECT_THAT(close.description, HasSubstr("edit is in progress"));
    EXPECT_EQ(Catch([&] { rs->Requery(adOptionUnspecified); }).hr, kNotAllowed);
    EXPECT_EQ(rs->GetState(), adStateOpen);
    EXPECT_EQ(rs->GetEditMode(), adEditInProgress);
    EXPECT_EQ(static_cast<double>(f->GetItem("amount")->GetValue()), 7.0);
    if (std::strcmp(end, "Update") == 0) {
      rs->Update();
    } else if (std::strcmp(end, "CancelUpdate") == 0) {
      rs->CancelUpdate();
    } else {
      rs->CancelBatch(adAffectCurrent);
    }
    EXPECT_EQ(rs->GetEditMode(), adEditNone);
    rs->Requery(adOptionUnspecified);
  }
  EXPECT_EQ(Scalar(other_, "SELECT amount FROM w WHERE id = 1"), "7");
  // A new row counts as an edit too, before any value is put.
  rs->AddNew();
  EXPECT_EQ(Catch([&] { rs->Close(); }).hr, kNotAllowed);
  rs->CancelUpdate();
  rs->Close();
  EXPECT_EQ(rs->GetState(), adStateClosed);
  EXPECT_EQ(Scalar(other_, "SELECT count(*) FROM w"), "3");
}

TEST_P(RecordsetWriteTest, SecondEditOfTheSameRowFailsWithConcurrencyViolation) {
  _RecordsetPtr a = OpenRs(conn_, "SELECT id, name, amount FROM w WHERE id = 3");
  _RecordsetPtr b = OpenRs(other_, "SELECT id, name, amount FROM w WHERE id = 3");
  a->GetFields()->GetItem("name")->PutValue(_bstr_t("first"));
  a->Update();
  b->GetFields()->GetItem("name")->PutValue(_bstr_t("second"));
  const Raised r = Catch([&] { b->Update(); });
  EXPECT_EQ(r.hr, kConcurrency);
  EXPECT_EQ(r.description,
            "Row cannot be located for updating. Some values may have been changed since it was "
            "last read.");
  EXPECT_EQ(other_->GetErrors()->GetCount(), 1);
  EXPECT_EQ(Scalar(conn_, "SELECT name FROM w WHERE id = 3"), "first");
  // The cursor keeps the row as it was; the edit stays pending until cancelled.
  EXPECT_EQ(std::string(_bstr_t(b->GetFields()->GetItem("name")->GetOriginalValue())), "three");
  EXPECT_EQ(b->GetEditMode(), adEditInProgress);
  b->CancelUpdate();
  EXPECT_EQ(Text(b->GetFields()->GetItem("name")), "three");
  // A delete finds the row by its key; once another connection removed
  // it, the delete fails the same way and the snapshot keeps the row.
  Exec(conn_, "DELETE FROM w WHERE id = 3");
  EXPECT_EQ(Catch([&] { b->Delete(adAffectCurrent); }).hr, kConcurrency);
  EXPECT_EQ(b->GetRecordCount(), 1);
}

TEST_P(SqliteRecordsetWriteTest, TableWithoutKeyIsLocatedByAllValuesWithNulls) {
  Exec(conn_,
       "CREATE TABLE nk (a TEXT, b INTEGER, c REAL);"
       "INSERT INTO nk VALUES ('x', NULL, 1.0), ('x', 2, NULL), ('y', NULL, NULL)");
  _RecordsetPtr rs = OpenRs(conn_, "SELECT a, b, c FROM nk ORDER BY a, b");
  FieldsPtr f = rs->GetFields();
  EXPECT_EQ(f->GetItem("b")->GetValue().vt, VT_NULL);  // ('x', NULL, 1.0)
  f->GetItem("b")->PutValue(_variant_t(7L));
  rs->Update();
  rs->MoveLast();  // ('y', NULL, NULL)
  f->GetItem("a")->PutValue(_bstr_t("z"));
  rs->Update();
  rs->MoveFirst();
  rs->MoveNext();  // ('x', 2, NULL)
  rs->Delete(adAffectCurrent);
  EXPECT_EQ(Scalar(other_,
                   "SELECT group_concat(a || ':' || ifnull(b, '-') || ':' || ifnull(c, '-'), ' ') "
                   "FROM (SELECT * FROM nk ORDER BY a)"),
            "x:7:1.0 z:-:-");
  // Changed behind the cursor's back: no row has all the old values.
  Exec(other_, "UPDATE nk SET c = 5 WHERE a = 'z'");
  rs->MoveLast();
  f->GetItem("b")->PutValue(_variant_t(1L));
  EXPECT_EQ(Catch([&] { rs->Update(); }).hr, kConcurrency);
  EXPECT_EQ(Scalar(other_, "SELECT ifnull(b, '-') FROM nk WHERE a = 'z'"), "-");
}

TEST_P(RecordsetWriteTest, ConstraintViolationLeavesTableAndSnapshotUnchanged) {
  _RecordsetPtr rs = OpenRs(conn_, "SELECT id, name FROM w ORDER BY id");
  rs->AddNew();
  rs->GetFields()->GetItem("name")->PutValue(_bstr_t("two"));  // unique
  const Raised r = Catch([&] { rs->Update(); });
  EXPECT_EQ(r.hr, kIntegrity);
  EXPECT_THAT(r.description, HasSubstr(GetParam().unique_violation_text));
  EXPECT_EQ(rs->GetRecordCount(), 3);
  EXPECT_EQ(Scalar(other_, "SELECT count(*) FROM w"), "3");
  rs->CancelUpdate();
  rs->MoveFirst();
  rs->GetFields()->GetItem("name")->PutValue(vtMissing);  // NULL into NOT NULL
  EXPECT_EQ(Catch([&] { rs->Update(); }).hr, kIntegrity);
  rs->CancelUpdate();
  EXPECT_EQ(Text(rs->GetFields()->GetItem("name")), "one");
}

TEST_P(RecordsetWriteTest, RefusesChangesWhereTheResultIsNotUpdatable) {
  Exec(conn_, "CREATE TABLE o (wid INTEGER, note VARCHAR(20))");
  Exec(conn_, "INSERT INTO o VALUES (1, 'n')");
  _RecordsetPtr join = OpenRs(conn_, "SELECT w.name, o.note FROM w JOIN o ON o.wid = w.id");
  EXPECT_EQ(Catch([&] { join->GetFields()->GetItem("note")->PutValue(_bstr_t("x")); }).hr,
            kNotUpdatable);
  EXPECT_EQ(Catch([&] { join->AddNew(); }).hr, kNotUpdatable);
  EXPECT_EQ(Catch([&] { join->Delete(adAffectCurrent); }).hr, kNotUpdatable);
  _RecordsetPtr read_only = OpenRs(conn_, "SELECT id, name FROM w", adLockReadOnly);
  EXPECT_EQ(Catch([&] { read_only->Update(); }).hr, kNotUpdatable);
  _RecordsetPtr expression =
      OpenRs(conn_, ("SELECT id, " + GetParam().concat("name", "'!'") + " FROM w").c_str());
  EXPECT_EQ(Catch([&] { expression->AddNew(); }).hr, kNotUpdatable);
  _RecordsetPtr stream = OpenRs(conn_, "SELECT id, name FROM w", adLockOptimistic, adUseServer);
  stream->Close();
  stream->PutCursorLocation(adUseServer);
  stream->Open("SELECT id, name FROM w", _variant_t(static_cast<IDispatch*>(conn_)),
               adOpenForwardOnly, adLockOptimistic, adCmdText);
  EXPECT_EQ(Catch([&] { stream->AddNew(); }).hr, kNotUpdatable);
  // Pessimistic locking works as optimistic.
  _RecordsetPtr pessimistic =
      OpenRs(conn_, "SELECT id, name FROM w WHERE id = 1", adLockPessimistic);
  pessimistic->GetFields()->GetItem(1L)->PutValue(_bstr_t("p"));
  pessimistic->Update();
  EXPECT_EQ(Scalar(other_, "SELECT name FROM w WHERE id = 1"), "p");
}

TEST_P(SqliteRecordsetWriteTest, AppendChunkWritesLongValuesInOnePiece) {
  Exec(conn_, "CREATE TABLE lob (id INTEGER PRIMARY KEY, bin BLOB, txt TEXT)");
  std::string bytes(1 << 20, '\0');
  for (size_t i = 0; i < bytes.size(); ++i) bytes[i] = static_cast<char>((i * 131 + i / 7) & 0xFF);
  std::u16string text(1 << 20, u'a');
  for (size_t i = 0; i < text.size(); ++i)
    text[i] = static_cast<char16_t>(0x41 + i % 26 + (i % 3 == 0 ? 0x3B1 - 0x41 : 0));
  SAFEARRAY* sa = SafeArrayCreateVector(VT_UI1, 0, static_cast<ULONG>(bytes.size()));
  ASSERT_NE(sa, nullptr);
  std::memcpy(sa->pvData, bytes.data(), bytes.size());
  _variant_t bin;
  bin.vt = VT_ARRAY | VT_UI1;
  bin.parray = sa;
  _RecordsetPtr rs = OpenRs(conn_, "SELECT id, bin, txt FROM lob");
  rs->AddNew();
  rs->GetFields()->GetItem("bin")->AppendChunk(bin);
  rs->GetFields()->GetItem("txt")->AppendChunk(_variant_t(_bstr_t(text.c_str())));
  rs->Update();
  // Read back through another connection, in chunks.
  _RecordsetPtr back = OpenRs(other_, "SELECT bin, txt FROM lob", adLockReadOnly);
  FieldPtr b = back->GetFields()->GetItem("bin");
  EXPECT_EQ(b->GetActualSize(), 1 << 20);
  std::string got;
  for (;;) {
    const _variant_t part = b->GetChunk(300000);
    if (part.vt == VT_NULL) break;
    ASSERT_EQ(part.vt, VT_ARRAY | VT_UI1);
    got.append(static_cast<const char*>(part.parray->pvData), part.parray->rgsabound[0].cElements);
  }
  EXPECT_TRUE(got == bytes);
  FieldPtr t = back->GetFields()->GetItem("txt");
  std::u16string got_text;
  for (;;) {
    const _variant_t part = t->GetChunk(400000);
    if (part.vt == VT_NULL) break;
    got_text.append(reinterpret_cast<const char16_t*>(part.bstrVal), SysStringLen(part.bstrVal));
  }
  EXPECT_TRUE(got_text == text);
  // A second chunk in the same edit is appended to the first.
  rs->GetFields()->GetItem("txt")->AppendChunk(_variant_t(u"ab"));
  rs->GetFields()->GetItem("txt")->AppendChunk(_variant_t(u"cd"));
  rs->Update();
  EXPECT_EQ(Scalar(other_, "SELECT txt FROM lob"), "abcd");
  EXPECT_EQ(Catch([&] { rs->GetFields()->GetItem("id")->AppendChunk(_variant_t(u"1")); }).hr,
            kWrongType);
}

TEST_P(RecordsetWriteTest, ChangesRollBackWithTheTransaction) {
  _RecordsetPtr rs = OpenRs(conn_, "SELECT id, name FROM w ORDER BY id");
  conn_->BeginTrans();
  rs->GetFields()->GetItem("name")->PutValue(_bstr_t("in transaction"));
  rs->Update();
  rs->AddNew();
  rs->GetFields()->GetItem("name")->PutValue(_bstr_t("added"));
  rs->Update();
  rs->MoveFirst();
  rs->MoveNext();
  rs->Delete(adAffectCurrent);
  conn_->RollbackTrans();
  EXPECT_EQ(Names(), "one,two,three");
}

INSTANTIATE_TEST_SUITE_P(Engines, RecordsetWriteTest, ::testing::ValuesIn(AdoEngines(SharesData)),
                         [](const auto& info) { return info.param.name; });
INSTANTIATE_TEST_SUITE_P(Sqlite, SqliteRecordsetWriteTest,
                         ::testing::ValuesIn(AdoEngines(IsSqliteFile)),
                         [](const auto& info) { return info.param.name; });

}  // namespace
}  // namespace korvo::ado::test
