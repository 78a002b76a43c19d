// Tests of the Recordset (read path), Fields and Field objects on every
// engine, for both cursor kinds.
#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <korvo/ado/ado.h>
#include <korvo/ado/error_result.h>

#include <tuple>

#include "ado/ado_engines.h"

namespace korvo::ado::test {
namespace {

using ::testing::HasSubstr;

constexpr HRESULT kNoCurrentRecord = korvo::ado::AdoError(adErrNoCurrentRecord);
constexpr HRESULT kItemNotFound = korvo::ado::AdoError(adErrItemNotFound);
constexpr HRESULT kClosed = korvo::ado::AdoError(adErrObjectClosed);

class RecordsetTest : public EngineFixture<std::tuple<AdoEngine, CursorLocationEnum>> {
 protected:
  void SetUp() override {
    EngineFixture::SetUp();
    if (IsSkipped() || HasFatalFailure()) return;
    conn_ = Open(ConnectText());
    Exec(conn_,
         "CREATE TABLE r (id INTEGER PRIMARY KEY, Name TEXT, amount DOUBLE PRECISION);"
         "INSERT INTO r VALUES (1, 'one', 1.5), (2, 'two', NULL), (3, 'three', 3.5),"
         " (4, 'four', 4.5), (5, 'five', 5.5)");
  }
  void TearDown() override {
    conn_ = nullptr;  // before the scratch area goes: a server waits for open sessions
    EngineFixture::TearDown();
  }
  CursorLocationEnum Location() const { return std::get<1>(GetParam()); }

  _RecordsetPtr OpenText(const char* sql, CursorTypeEnum type = adOpenForwardOnly) {
    _RecordsetPtr rs;
    EXPECT_EQ(rs.CreateInstance(__uuidof(Recordset)), S_OK);
    rs->PutCursorLocation(Location());
    rs->Open(sql, _variant_t(static_cast<IDispatch*>(conn_)), type, adLockReadOnly, adCmdText);
    return rs;
  }

  static long Id(_RecordsetPtr& rs) {
    return static_cast<long>(rs->GetFields()->GetItem(0L)->GetValue());
  }

  _ConnectionPtr conn_;
};

TEST_P(RecordsetTest, ReadsFieldsByPositionAndByName) {
  _RecordsetPtr rs = OpenText("SELECT id, Name, amount FROM r ORDER BY id");
  EXPECT_EQ(rs->GetState(), adStateOpen);
  FieldsPtr fields = rs->GetFields();
  ASSERT_EQ(fields->GetCount(), 3);
  FieldPtr name = fields->GetItem("NAME");  // without regard to case
  EXPECT_EQ(std::string(name->GetName()), Stored("Name"));
  EXPECT_EQ(name->GetType(), adLongVarWChar);
  EXPECT_EQ(fields->GetItem(2L)->GetType(), adDouble);
  EXPECT_EQ(fields->GetItem(0L)->GetType(), Engine().integer_type);
  EXPECT_EQ((fields->GetItem(0L)->GetAttributes() & adFldKeyColumn) != 0,
            Engine().reports_key_columns);
  EXPECT_EQ(std::string(_bstr_t(name->GetValue())), "one");
  EXPECT_EQ(name->GetActualSize(), 3);
  rs->MoveNext();
  // The same Field object follows the current row.
  EXPECT_EQ(std::string(_bstr_t(name->GetValue())), "two");
  EXPECT_EQ(fields->GetItem("amount")->GetValue().vt, VT_NULL);
  // Chunks of text continue where the last one stopped.
  EXPECT_EQ(std::u16string(name->GetChunk(2).bstrVal), u"tw");
  EXPECT_EQ(std::u16string(name->GetChunk(5).bstrVal), u"o");
  EXPECT_EQ(name->GetChunk(5).vt, VT_NULL);

  EXPECT_EQ(Catch([&] { fields->GetItem("nope"); }).hr, kItemNotFound);
  EXPECT_EQ(Catch([&] { fields->GetItem(3L); }).hr, kItemNotFound);
  EXPECT_EQ(Catch([&] { fields->GetItem(-1L); }).hr, kItemNotFound);
  const Raised r = Catch([&] { fields->GetItem(_variant_t(2.5)); });
  EXPECT_EQ(r.hr, kItemNotFound);
  EXPECT_EQ(
      r.description,
      "Item cannot be found in the collection corresponding to the requested name or ordinal.");
}

TEST_P(RecordsetTest, MovesPastEitherEndAndReportsNoCurrentRecord) {
  _RecordsetPtr rs = OpenText("SELECT id FROM r ORDER BY id");
  EXPECT_FALSE(rs->GetBOF());
  EXPECT_FALSE(rs->GetEOF());
  for (long expected = 1; expected <= 5; ++expected) {
    EXPECT_EQ(Id(rs), expected);
    rs->MoveNext();
  }
  EXPECT_TRUE(rs->GetEOF());
  FieldPtr id = rs->GetFields()->GetItem(0L);
  const Raised r = Catch([&] { id->GetValue(); });
  EXPECT_EQ(r.hr, kNoCurrentRecord);
  EXPECT_EQ(r.description,
            "Either BOF or EOF is True, or the current record has been deleted. "
            "Requested operation requires a current record.");
  EXPECT_EQ(Catch([&] { rs->MoveNext(); }).hr, kNoCurrentRecord);
  EXPECT_EQ(Catch([&] { id->GetActualSize(); }).hr, kNoCurrentRecord);
  if (Location() == adUseClient) {
    rs->MovePrevious();
    EXPECT_EQ(Id(rs), 5);
    rs->MoveFirst();
    rs->MovePrevious();
    EXPECT_TRUE(rs->GetBOF());
    EXPECT_FALSE(rs->GetEOF());
    EXPECT_EQ(Catch([&] { rs->MovePrevious(); }).hr, kNoCurrentRecord);
    EXPECT_EQ(Catch([&] { id->GetValue(); }).hr, kNoCurrentRecord);
    rs->MoveNext();
    EXPECT_EQ(Id(rs), 1);
  } else {
    // A forward-only cursor cannot go back, but can start over.
    EXPECT_EQ(Catch([&] { rs->MovePrevious(); }).hr, DB_E_CANTFETCHBACKWARDS);
    rs->MoveFirst();
    EXPECT_EQ(Id(rs), 1);
  }
}

TEST_P(RecordsetTest, MovesRelativeToTheCurrentRow) {
  _RecordsetPtr rs = OpenText("SELECT id FROM r ORDER BY id", adOpenStatic);
  rs->Move(2);
  EXPECT_EQ(Id(rs), 3);
  rs->Move(1);
  EXPECT_EQ(Id(rs), 4);
  rs->Move(-2);
  EXPECT_EQ(Id(rs), 2);
  rs->Move(0);
  EXPECT_EQ(Id(rs), 2);
  rs->MoveLast();
  EXPECT_EQ(Id(rs), 5);
  rs->Move(3, _variant_t(static_cast<long>(adBookmarkFirst)));
  EXPECT_EQ(Id(rs), 4);
  rs->Move(10);
  EXPECT_TRUE(rs->GetEOF());
  EXPECT_EQ(Catch([&] { rs->Move(1); }).hr, kNoCurrentRecord);
  rs->Move(-1);
  EXPECT_EQ(Id(rs), 5);
  rs->Move(-10);
  EXPECT_TRUE(rs->GetBOF());
  EXPECT_EQ(Catch([&] { rs->Move(-1); }).hr, kNoCurrentRecord);
  EXPECT_EQ(rs->GetAbsolutePosition(), adPosBOF);
  rs->Move(5);
  EXPECT_EQ(rs->GetAbsolutePosition(), 5);
}

TEST_P(RecordsetTest, CountsRecordsAndReportsTheCursorItGave) {
  _RecordsetPtr rs = OpenText("SELECT * FROM r");
  if (Location() == adUseClient) {
    EXPECT_EQ(rs->GetRecordCount(), 5);
    EXPECT_EQ(rs->GetCursorType(), adOpenStatic);  // a client cursor is static
  } else {
    EXPECT_EQ(rs->GetRecordCount(), -1);
    EXPECT_EQ(rs->GetCursorType(), adOpenForwardOnly);
  }
  EXPECT_EQ(rs->GetLockType(), adLockReadOnly);
  EXPECT_EQ(rs->GetCursorLocation(), Location());
  rs->PutCacheSize(100);
  EXPECT_EQ(rs->GetCacheSize(), 100);
  EXPECT_LT(Catch([&] { rs->PutCacheSize(0); }).hr, 0);
  EXPECT_EQ(Catch([&] { rs->PutCursorLocation(adUseServer); }).hr,
            korvo::ado::AdoError(adErrObjectOpen));
  rs->Close();
  // A scrollable server cursor is a counted snapshot as well.
  rs = OpenText("SELECT * FROM r", adOpenKeyset);
  EXPECT_EQ(rs->GetRecordCount(), 5);
  EXPECT_EQ(rs->GetCursorType(), adOpenStatic);
  // An empty result is BOF and EOF at once.
  rs->Close();
  rs = OpenText("SELECT * FROM r WHERE id > 100");
  EXPECT_TRUE(rs->GetBOF());
  EXPECT_TRUE(rs->GetEOF());
  EXPECT_EQ(rs->GetRecordCount(), Location() == adUseClient ? 0 : -1);
  EXPECT_EQ(rs->GetFields()->GetCount(), 3);
}

TEST_P(RecordsetTest, OpensOnACommandAndClosesCleanly) {
  _CommandPtr cmd;
  ASSERT_EQ(cmd.CreateInstance(__uuidof(Command)), S_OK);
  cmd->PutRefActiveConnection(conn_);
  cmd->PutCommandText("SELECT Name FROM r WHERE id = ?");
  cmd->GetParameters()->Append(
      cmd->CreateParameter("id", adInteger, adParamInput, 4, _variant_t(3L)));
  cmd->PutPrepared(VARIANT_TRUE);
  _RecordsetPtr rs;
  ASSERT_EQ(rs.CreateInstance(__uuidof(Recordset)), S_OK);
  rs->PutCursorLocation(Location());
  rs->PutCacheSize(100);
  rs->Open(_variant_t(static_cast<IDispatch*>(cmd)), vtMissing, adOpenForwardOnly, adLockReadOnly,
           adCmdUnspecified);
  EXPECT_EQ(std::string(_bstr_t(rs->GetFields()->GetItem(0L)->GetValue())), "three");
  EXPECT_EQ(static_cast<_Connection*>(rs->GetActiveConnection()), static_cast<_Connection*>(conn_));
  EXPECT_EQ(
      Catch([&] { rs->Open("SELECT 1", vtMissing, adOpenForwardOnly, adLockReadOnly, -1); }).hr,
      korvo::ado::AdoError(adErrObjectOpen));
  FieldPtr kept = rs->GetFields()->GetItem(0L);
  rs->Close();
  EXPECT_EQ(rs->GetState(), adStateClosed);
  EXPECT_EQ(Catch([&] { kept->GetValue(); }).hr, kClosed);
  EXPECT_EQ(Catch([&] { rs->MoveNext(); }).hr, kClosed);
  EXPECT_EQ(Catch([&] { rs->GetEOF(); }).hr, kClosed);
  EXPECT_EQ(Catch([&] { rs->GetRecordCount(); }).hr, kClosed);
  EXPECT_EQ(Catch([&] { rs->Close(); }).hr, kClosed);
  EXPECT_EQ(rs->GetFields()->GetCount(), 0);
  // Reopened on the command with another value.
  cmd->GetParameters()->GetItem(0L)->PutValue(_variant_t(5L));
  rs->Open(_variant_t(static_cast<IDispatch*>(cmd)), vtMissing, adOpenForwardOnly, adLockReadOnly,
           -1);
  EXPECT_EQ(std::string(_bstr_t(rs->GetFields()->GetItem(0L)->GetValue())), "five");
  // Closing the connection closes its recordsets.
  conn_->Close();
  EXPECT_EQ(rs->GetState(), adStateClosed);
  EXPECT_EQ(Catch([&] { rs->MoveNext(); }).hr, kClosed);
}

TEST_P(RecordsetTest, ReportsBadSourcesAndStatements) {
  _RecordsetPtr rs;
  ASSERT_EQ(rs.CreateInstance(__uuidof(Recordset)), S_OK);
  rs->PutCursorLocation(Location());
  Raised r = Catch([&] {
    rs->Open("SELECT nope FROM r", _variant_t(static_cast<IDispatch*>(conn_)), adOpenForwardOnly,
             adLockReadOnly, -1);
  });
  EXPECT_EQ(r.hr, DB_E_ERRORSINCOMMAND);
  EXPECT_THAT(r.description, HasSubstr("nope"));
  EXPECT_EQ(conn_->GetErrors()->GetCount(), 1);
  EXPECT_EQ(
      Catch([&] { rs->Open("SELECT 1", vtMissing, adOpenForwardOnly, adLockReadOnly, -1); }).hr,
      korvo::ado::AdoError(adErrInvalidConnection));
  EXPECT_LT(
      Catch([&] { rs->Open(_variant_t(3L), vtMissing, adOpenForwardOnly, adLockReadOnly, -1); }).hr,
      0);
  EXPECT_EQ(rs->GetState(), adStateClosed);
  // A statement without rows leaves the recordset closed.
  rs->Open("UPDATE r SET amount = 0 WHERE id = 1", _variant_t(static_cast<IDispatch*>(conn_)),
           adOpenForwardOnly, adLockReadOnly, adCmdText);
  EXPECT_EQ(rs->GetState(), adStateClosed);
  // A read-only lock refuses changes (the write path has its own tests).
  rs->Open("SELECT * FROM r", _variant_t(static_cast<IDispatch*>(conn_)), adOpenStatic,
           adLockReadOnly, adCmdText);
  EXPECT_EQ(Catch([&] { rs->AddNew(); }).hr, korvo::ado::AdoError(adErrFeatureNotAvailable));
  EXPECT_EQ(rs->GetLockType(), adLockReadOnly);
  // A connect string as the active connection opens one of its own.
  rs->Close();
  rs->Open("SELECT 5", _variant_t(ConnectText().c_str()), adOpenForwardOnly, adLockReadOnly, -1);
  EXPECT_EQ(static_cast<long>(rs->GetFields()->GetItem(0L)->GetValue()), 5);
  EXPECT_NE(static_cast<_Connection*>(rs->GetActiveConnection()), static_cast<_Connection*>(conn_));
}

TEST_P(RecordsetTest, ReplacesItsResultFromACommandExecution) {
  _CommandPtr cmd;
  ASSERT_EQ(cmd.CreateInstance(__uuidof(Command)), S_OK);
  cmd->PutRefActiveConnection(conn_);
  cmd->PutCommandText("SELECT id FROM r WHERE id > 3 ORDER BY id");
  _RecordsetPtr rs = cmd->Execute(nullptr, nullptr, -1);
  EXPECT_EQ(Id(rs), 4);
  rs->MoveNext();
  EXPECT_EQ(Id(rs), 5);
  rs->Requery(-1);
  EXPECT_EQ(Id(rs), 4);
}

// GetChunk keeps its offset per row: a new current row starts over, and
// an empty value gives one empty chunk before the end; a NULL ends at once.
TEST_P(RecordsetTest, GetChunkStartsOverOnEachRow) {
  Exec(conn_, "INSERT INTO r VALUES (6, '', NULL), (7, NULL, NULL)");
  _RecordsetPtr rs = OpenText("SELECT Name FROM r WHERE id IN (3, 4, 6, 7) ORDER BY id");
  FieldPtr name = rs->GetFields()->GetItem(0L);
  EXPECT_EQ(std::u16string(name->GetChunk(2).bstrVal), u"th");
  rs->MoveNext();  // half-read "three" is left behind
  EXPECT_EQ(std::u16string(name->GetChunk(3).bstrVal), u"fou");
  EXPECT_EQ(std::u16string(name->GetChunk(3).bstrVal), u"r");
  rs->MoveNext();
  EXPECT_EQ(name->GetChunk(4).vt, VT_BSTR);  // '': one empty chunk,
  EXPECT_EQ(name->GetChunk(4).vt, VT_NULL);  // then the end
  rs->MoveNext();
  EXPECT_EQ(name->GetChunk(4).vt, VT_NULL);
  EXPECT_EQ(Catch([&] { name->GetChunk(-1); }).hr, S_OK);  // a NULL ignores the length
}

INSTANTIATE_TEST_SUITE_P(Engines, RecordsetTest,
                         ::testing::Combine(::testing::ValuesIn(AdoEngines()),
                                            ::testing::Values(adUseServer, adUseClient)),
                         [](const auto& info) {
                           return std::get<0>(info.param).name +
                                  (std::get<1>(info.param) == adUseClient ? "_Client" : "_Server");
                         });

}  // namespace
}  // namespace korvo::ado::test
