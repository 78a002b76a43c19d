// Tests of CCmdset on real SQLite databases (files and :memory:): command
// text and parameters, execution with and without a count, failures with
// their origins and native errors, the command's lifetime and the trace.
// CCmdset hands a parameter's type number to ADO unchanged; how ADO binds
// each type (and NULL) is tested in tests/ado/command_test.cpp.
// Cases that switch the trace rely on running in a process of their own
// (CTest does that).
#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <korvo/cmd/CCmdset.h>
#include <korvo/com/coinit.h>
#include <korvo/db/CDatabase.h>
#include <korvo/diag/CDBException.h>
#include <korvo/recordset/CRecordset.h>
#include <korvo/recordset/rfx.h>
#include <unistd.h>

#include <cstring>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "support/db_exception.h"
#include "support/test_support.h"
#include "support/trace_file.h"

namespace {

using ::testing::HasSubstr;

using korvo::test::CatchDB;
using korvo::test::ScopedEnv;
using korvo::test::SqliteConnect;
using korvo::test::TempDir;

constexpr const char* kExecuteOrigin = "void __cdecl CCmdset::Execute(void)";
constexpr const char* kExecuteWithOptionsOrigin = "void __cdecl CCmdset::ExecuteWithOptions(long)";
constexpr const char* kExecuteProcOrigin = "void __cdecl CCmdset::ExecuteProc(void)";
constexpr const char* kExecuteCountOrigin = "void __cdecl CCmdset::Execute(long &)";
constexpr const char* kExecuteRecordsetOrigin = "void __cdecl CCmdset::Execute(class CRecordset &)";
constexpr const char* kSetActiveConnectionOrigin =
    "void __cdecl CCmdset::SetActiveConnection(class CDatabase *)";
constexpr const char* kAppendSizedOrigin =
    "void __cdecl CCmdset::AppendParameter(const char *,enum CCmdset::DataType,long,const class "
    "_variant_t &)";
constexpr const char* kAppendNumericOrigin =
    "void __cdecl CCmdset::AppendParameter(const char *,enum CCmdset::DataType,const class "
    "_variant_t &,long,long)";

// Exposes the command object the tests look at.
class TestCmdset : public CCmdset {
 public:
  using CCmdset::CCmdset;
  using CCmdset::m_pCommand;
};

// The value of column `column` in the first row of `sql`.
_variant_t Scalar(CDatabase& db, const char* sql, long column = 0) {
  _RecordsetPtr rs = db.GetAdoConnection()->Execute(_bstr_t(sql), nullptr, 0);
  return rs->GetFields()->GetItem(_variant_t(column))->GetValue();
}

long Count(CDatabase& db, const std::string& where) {
  return static_cast<long>(Scalar(db, ("SELECT COUNT(*) FROM " + where).c_str()));
}

// A converted COM failure: return code 1000, the origin and native error.
::testing::AssertionResult IsConverted(const std::unique_ptr<CDBException>& e, const char* origin,
                                       DWORD nativeError = 0) {
  if (e == nullptr) return ::testing::AssertionFailure() << "no CDBException";
  if (e->m_nReturnCode == 1000 && e->m_dwNativeError == nativeError &&
      std::strcmp(e->m_strErrorOrigin, origin) == 0)
    return ::testing::AssertionSuccess();
  return ::testing::AssertionFailure() << "code " << e->m_nReturnCode << ", native error "
                                       << e->m_dwNativeError << ", origin " << e->m_strErrorOrigin;
}

// Reference count of a live COM object, read without changing it.
ULONG RefCount(IUnknown* object) {
  object->AddRef();
  return object->Release();
}

class CmdsetTest : public ::testing::Test {
 protected:
  void SetUp() override { ASSERT_GE(CoInitializeEx(nullptr, COINIT_MULTITHREADED), 0); }
  void TearDown() override {
    db_.reset();
    CoUninitialize();
  }

  // Points the registry at one that switches the trace on. Must be called
  // before the first library object of the process is made.
  void TraceOn() { env_ = korvo::test::TraceInto(dir_.path()); }
  std::vector<std::string> Trace() { return korvo::test::ProcessTrace(dir_.path()); }
  // An open database on a file of the test's directory.
  void Open(CDatabase& db, const char* name = "cmd.db") {
    ASSERT_EQ(db.OpenEx(SqliteConnect(dir_.File(name)).c_str()), 1);
  }

  // The test's database on "cmd.db", opened on first use (so that TraceOn
  // can come first).
  CDatabase& Db() {
    if (!db_) {
      db_ = std::make_unique<CDatabase>();
      Open(*db_);
    }
    return *db_;
  }

  TempDir dir_;
  std::unique_ptr<ScopedEnv> env_;
  std::unique_ptr<CDatabase> db_;
};

// ------------------------------------------------------------ text and parameters

TEST_F(CmdsetTest, TwoInputParametersAreSentInTheOrderAppendedAndKeptAcrossExecutions) {
  CDatabase& db = Db();
  db.ExecuteSQL("CREATE TABLE t (a TEXT, b INTEGER)");
  TestCmdset cmd(&db);
  cmd.SetCommandText("INSERT INTO t (a, b) VALUES (?, ?)");
  EXPECT_EQ(cmd.m_pCommand->GetCommandType(), adCmdText);
  cmd.AppendParameter("a", CCmdset::typeVarChar, 10, _variant_t("first"));
  cmd.AppendParameter("b", CCmdset::typeInteger, 4, _variant_t(2L));
  ParametersPtr parameters = cmd.m_pCommand->GetParameters();
  ASSERT_EQ(parameters->GetCount(), 2);
  EXPECT_EQ(std::string(parameters->GetItem(_variant_t(0L))->GetName()), "a");
  EXPECT_EQ(std::string(parameters->GetItem(_variant_t(1L))->GetName()), "b");
  cmd.Execute();
  EXPECT_EQ(Count(db, "t WHERE a = 'first' AND b = 2"), 1);
  cmd.Execute();  // text and parameters stay
  EXPECT_EQ(Count(db, "t"), 2);

  // The wide form sets the same command.
  cmd.SetCommandText(u"INSERT INTO t (b, a) VALUES (?, ?)");
  EXPECT_EQ(std::string(cmd.m_pCommand->GetCommandText()), "INSERT INTO t (b, a) VALUES (?, ?)");
  db.ExecuteSQL("DELETE FROM t");
  cmd.Execute();
  EXPECT_EQ(Count(db, "t WHERE b = 'first' AND a = '2'"), 1);
  // Narrow text is converted from the ANSI code page (UTF-8 here). A third
  // parameter is appended behind the two: one too many for this text.
  cmd.SetCommandText("SELECT '\xC3\xA9', ?, ?");
  EXPECT_EQ(korvo::test::U16(static_cast<const WCHAR*>(cmd.m_pCommand->GetCommandText())),
            korvo::test::U16(u"SELECT '\u00E9', ?, ?"));
  cmd.AppendParameter("c", CCmdset::typeInteger, 4, _variant_t(3L));
  EXPECT_EQ(parameters->GetCount(), 3);
  auto e = CatchDB([&] { cmd.Execute(); });
  ASSERT_TRUE(IsConverted(e, kExecuteOrigin));
  EXPECT_FALSE(e->m_strErrorText.IsEmpty());
}

TEST_F(CmdsetTest, StoredProceduresAreRefusedByTheEmbeddedEngineWithAClearError) {
  CDatabase& db = Db();
  db.ExecuteSQL("CREATE TABLE t (a INTEGER, b INTEGER)");
  TestCmdset cmd(&db);
  cmd.SetCommandProc("add_pair");
  EXPECT_EQ(cmd.m_pCommand->GetCommandType(), adCmdStoredProc);
  EXPECT_EQ(std::string(cmd.m_pCommand->GetCommandText()), "add_pair");
  cmd.AppendParameter("a", CCmdset::typeInteger, 4, _variant_t(1L));
  cmd.AppendParameter("b", CCmdset::typeInteger, 4, _variant_t(2L));
  auto e = CatchDB([&] { cmd.ExecuteProc(); });
  ASSERT_TRUE(IsConverted(e, kExecuteProcOrigin));
  EXPECT_THAT(std::string(e->m_strErrorText), HasSubstr("stored procedure")) << e->m_strErrorText;

  // ExecuteProc makes even a text command a procedure call first; the
  // wide SetCommandProc does the same as the narrow one.
  cmd.SetCommandText("INSERT INTO t VALUES (?, ?)");
  EXPECT_TRUE(IsConverted(CatchDB([&] { cmd.ExecuteProc(); }), kExecuteProcOrigin));
  EXPECT_EQ(cmd.m_pCommand->GetCommandType(), adCmdStoredProc);
  EXPECT_EQ(Count(db, "t"), 0);
  cmd.SetCommandText(u"INSERT INTO t VALUES (?, ?)");
  cmd.SetCommandProc(u"add_pair");
  EXPECT_EQ(cmd.m_pCommand->GetCommandType(), adCmdStoredProc);
  EXPECT_EQ(std::string(cmd.m_pCommand->GetCommandText()), "add_pair");
}

TEST_F(CmdsetTest, AppendedParametersCarryTheirShape) {
  CDatabase& db = Db();
  db.ExecuteSQL("CREATE TABLE n (v NUMERIC, s TEXT)");
  TestCmdset cmd(&db);
  cmd.SetCommandText("INSERT INTO n VALUES (?, ?)");
  cmd.AppendParameter("v", CCmdset::typeNumeric, _variant_t(12.25), 300, 2);
  cmd.AppendParameter("s", CCmdset::typeVarChar, 40, _variant_t("forty"));
  ParametersPtr parameters = cmd.m_pCommand->GetParameters();
  _ParameterPtr numeric = parameters->GetItem(_variant_t(0L));
  EXPECT_EQ(numeric->GetPrecision(), 44) << "300 cut to its low 8 bits";
  EXPECT_EQ(numeric->GetNumericScale(), 2);
  EXPECT_EQ(numeric->GetSize(), 0);
  EXPECT_EQ(numeric->GetType(), adNumeric);
  EXPECT_EQ(numeric->GetDirection(), adParamInput);
  _ParameterPtr text = parameters->GetItem(_variant_t(1L));
  EXPECT_EQ(text->GetSize(), 40);
  EXPECT_EQ(text->GetType(), adVarChar);
  EXPECT_EQ(text->GetDirection(), adParamInput);
  EXPECT_EQ(std::string(_bstr_t(text->GetValue())), "forty");
  cmd.Execute();
  EXPECT_EQ(static_cast<double>(Scalar(db, "SELECT v FROM n")), 12.25);

  cmd.AppendParameter("x", CCmdset::typeDecimal, _variant_t(1.5), 18, 258);
  _ParameterPtr third = parameters->GetItem(_variant_t(2L));
  EXPECT_EQ(third->GetPrecision(), 18);
  EXPECT_EQ(third->GetNumericScale(), 2) << "258 cut to its low 8 bits";

  // ADO refuses a negative size: converted with the sized form's origin.
  auto e = CatchDB([&] { cmd.AppendParameter("bad", CCmdset::typeVarChar, -1, _variant_t("x")); });
  ASSERT_TRUE(IsConverted(e, kAppendSizedOrigin));
  EXPECT_FALSE(e->m_strErrorText.IsEmpty());
  EXPECT_EQ(parameters->GetCount(), 3);
}

// ------------------------------------------------------------ execution

TEST_F(CmdsetTest, ExecuteWithACountStoresTheAffectedRows) {
  CDatabase& db = Db();
  db.ExecuteSQL("CREATE TABLE t (id INTEGER PRIMARY KEY, v TEXT)");
  db.ExecuteSQL("INSERT INTO t (v) VALUES ('a'), ('a'), ('a'), ('a'), ('a'), ('b'), ('b')");
  CCmdset cmd(&db);
  cmd.SetCommandText("UPDATE t SET v = ? WHERE v = ?");
  cmd.AppendParameter("new", CCmdset::typeVarChar, 1, _variant_t("c"));
  cmd.AppendParameter("old", CCmdset::typeVarChar, 1, _variant_t("a"));
  long count = -1;
  cmd.Execute(count);
  EXPECT_EQ(count, 5);
  cmd.Execute(count);  // nothing is 'a' any more
  EXPECT_EQ(count, 0);

  // A failure leaves the caller's count alone.
  count = 77;
  cmd.SetCommandText("UPDATE no_such_table SET v = 1");
  EXPECT_TRUE(IsConverted(CatchDB([&] { cmd.Execute(count); }), kExecuteCountOrigin));
  EXPECT_EQ(count, 77);
}

TEST_F(CmdsetTest, ExecuteWithOptionsHandsTheOptionsToAdo) {
  CDatabase& db = Db();
  db.ExecuteSQL("CREATE TABLE t (id INTEGER)");
  TestCmdset cmd(&db);
  cmd.SetCommandText("INSERT INTO t VALUES (1)");
  cmd.ExecuteWithOptions(long{adCmdText} | adExecuteNoRecords);
  EXPECT_EQ(Count(db, "t"), 1);
  // Rows that a command yields with unspecified options are discarded.
  cmd.SetCommandText("SELECT id FROM t");
  cmd.ExecuteWithOptions(adOptionUnspecified);
  // The table type given in the options turns the text into a table read;
  // the stored-procedure type is refused by this engine.
  cmd.SetCommandText("t");
  cmd.ExecuteWithOptions(adCmdTable);
  EXPECT_TRUE(IsConverted(
      CatchDB([&] { cmd.ExecuteWithOptions(long{adCmdStoredProc} | adExecuteNoRecords); }),
      kExecuteWithOptionsOrigin));
  EXPECT_EQ(cmd.m_pCommand->GetCommandType(), adCmdText) << "options do not change the type";
}

TEST_F(CmdsetTest, NativeError23000OnlyFromExecuteAndExecuteWithOptions) {
  CDatabase& db = Db();
  db.ExecuteSQL("CREATE TABLE u (k INTEGER UNIQUE)");
  db.ExecuteSQL("INSERT INTO u VALUES (1)");
  TestCmdset cmd(&db);
  cmd.SetCommandText("INSERT INTO u VALUES (?)");
  cmd.AppendParameter("k", CCmdset::typeInteger, 4, _variant_t(1L));

  // The provider raises DB_E_INTEGRITYVIOLATION (tests/ado/connection_test.cpp).
  struct Case {
    std::function<void()> run;
    const char* origin;
    DWORD nativeError;
  };
  long count = -1;
  const Case cases[] = {
      {[&] { cmd.Execute(); }, kExecuteOrigin, 23000},
      {[&] { cmd.ExecuteWithOptions(adExecuteNoRecords); }, kExecuteWithOptionsOrigin, 23000},
      {[&] { cmd.Execute(count); }, kExecuteCountOrigin, 0},
  };
  for (const Case& c : cases) {
    auto e = CatchDB(c.run);
    ASSERT_TRUE(IsConverted(e, c.origin, c.nativeError));
    EXPECT_THAT(std::string(e->m_strErrorText), HasSubstr("UNIQUE")) << e->m_strErrorText;
  }
  EXPECT_EQ(count, -1);

  // A syntax error (0x80040E14) counts too; a closed connection does not.
  cmd.SetCommandText("INSERTT INTO u VALUES (?)");
  EXPECT_TRUE(IsConverted(CatchDB([&] { cmd.Execute(); }), kExecuteOrigin, 23000));
  db.Close();
  cmd.SetCommandText("INSERT INTO u VALUES (?)");
  auto closed = CatchDB([&] { cmd.Execute(); });
  ASSERT_TRUE(IsConverted(closed, kExecuteOrigin));
  EXPECT_FALSE(closed->m_strErrorText.IsEmpty());
}

// A recordset binding two columns, exposing its open type.
class CNames : public CRecordset {
 public:
  explicit CNames(CDatabase* db) : CRecordset(db) { m_nFields = 2; }
  using CRecordset::m_nOpenType;
  long m_id = 0;
  CTString m_name;
  void DoFieldExchange(CFieldExchange* pFX) override {
    RFX_Long(pFX, "id", m_id);
    RFX_Text(pFX, "name", m_name);
  }
};

TEST_F(CmdsetTest, ExecuteHandsTheResultSetToARecordset) {
  CDatabase& db = Db();
  db.ExecuteSQL("CREATE TABLE t (id INTEGER, name TEXT)");
  db.ExecuteSQL("INSERT INTO t VALUES (1, 'a'), (2, 'b'), (3, 'c')");
  CCmdset cmd(&db);
  cmd.SetCommandText("SELECT id, name FROM t WHERE id >= ? ORDER BY id");
  cmd.AppendParameter("from", CCmdset::typeInteger, 4, _variant_t(2L));

  // A recordset that was never opened: the rows arrive in its ADO recordset.
  CRecordset plain(&db);
  _RecordsetPtr before = plain.GetAdoRecordSet();
  cmd.Execute(plain);
  _RecordsetPtr rows = plain.GetAdoRecordSet();
  ASSERT_TRUE(rows);
  EXPECT_NE(rows, before);
  EXPECT_EQ(RefCount(rows), 2u) << "the recordset's reference and ours only";
  EXPECT_EQ(rows->GetState(), adStateOpen);
  auto field = [&](long column) {
    return rows->GetFields()->GetItem(_variant_t(column))->GetValue();
  };
  EXPECT_EQ(static_cast<long>(field(0)), 2);
  EXPECT_EQ(std::string(_bstr_t(field(1))), "b");
  rows->MoveNext();
  EXPECT_EQ(static_cast<long>(field(0)), 3);
  EXPECT_EQ(std::string(_bstr_t(field(1))), "c");
  rows->MoveNext();
  EXPECT_EQ(rows->GetEOF(), VARIANT_TRUE);

  // A command without rows leaves a closed ADO recordset.
  CCmdset insert(&db);
  insert.SetCommandText("INSERT INTO t VALUES (4, 'd')");
  insert.Execute(plain);
  ASSERT_TRUE(plain.GetAdoRecordSet());
  EXPECT_EQ(plain.GetAdoRecordSet()->GetState(), adStateClosed);
  EXPECT_EQ(Count(db, "t"), 4);

  // A failure leaves the recordset's ADO recordset as it was.
  _RecordsetPtr kept = plain.GetAdoRecordSet();
  insert.SetCommandText("SELECT * FROM no_such_table");
  EXPECT_TRUE(IsConverted(CatchDB([&] { insert.Execute(plain); }), kExecuteRecordsetOrigin));
  EXPECT_EQ(plain.GetAdoRecordSet(), kept);
}

TEST_F(CmdsetTest, ABoundRecordsetMovesThroughTheCommandsRows) {
  CDatabase& db = Db();
  db.ExecuteSQL("CREATE TABLE t (id INTEGER, name TEXT)");
  db.ExecuteSQL("INSERT INTO t VALUES (1, 'a'), (2, 'b'), (3, 'c')");
  CNames names(&db);
  ASSERT_EQ(names.Open(CRecordset::staticCursor, "t"), 1);
  EXPECT_EQ(names.m_id, 1);
  const int openType = names.m_nOpenType;

  CCmdset cmd(&db);
  cmd.SetCommandText("SELECT id, name FROM t WHERE id > ? ORDER BY id DESC");
  cmd.AppendParameter("above", CCmdset::typeInteger, 4, _variant_t(1L));
  cmd.Execute(names);
  // The bindings are kept: a move loads the new result's rows (a command's
  // rows come forward-only, so the current one is loaded by moving 0).
  EXPECT_EQ(names.m_id, 1) << "nothing is loaded before a move";
  names.Move(0, CRecordset::fetchRelative);
  EXPECT_EQ(names.m_id, 3);
  EXPECT_STREQ(names.m_name, "c");
  names.MoveNext();
  EXPECT_EQ(names.m_id, 2);
  EXPECT_STREQ(names.m_name, "b");
  names.MoveNext();
  EXPECT_EQ(names.IsEOF(), 1);
  EXPECT_EQ(names.m_nOpenType, openType);
}

// ------------------------------------------------------------ the command's lifetime

TEST_F(CmdsetTest, WithoutACommandObjectEveryOperationFails) {
  TestCmdset cmd;
  EXPECT_FALSE(cmd.m_pCommand);
  long count = 5;
  CDatabase& db = Db();
  CRecordset recordset(&db);
  struct Case {
    std::function<void()> run;
    const char* origin;
  };
  const Case cases[] = {
      {[&] { cmd.Execute(); }, kExecuteOrigin},
      {[&] { cmd.ExecuteWithOptions(adExecuteNoRecords); }, kExecuteWithOptionsOrigin},
      {[&] { cmd.ExecuteProc(); }, kExecuteProcOrigin},
      {[&] { cmd.Execute(count); }, kExecuteCountOrigin},
      {[&] { cmd.AppendParameter("p", CCmdset::typeInteger, 4, _variant_t(1L)); },
       kAppendSizedOrigin},
      {[&] { cmd.AppendParameter("p", CCmdset::typeNumeric, _variant_t(1.0), 10, 2); },
       kAppendNumericOrigin},
      {[&] { cmd.Execute(recordset); }, kExecuteRecordsetOrigin},
  };
  for (const Case& c : cases) {
    EXPECT_TRUE(IsConverted(CatchDB(c.run), c.origin));
  }
  EXPECT_EQ(count, 5);

  // The text setters convert nothing.
  const std::function<void()> setters[] = {
      [&] { cmd.SetCommandText("SELECT 1"); },
      [&] { cmd.SetCommandText(u"SELECT 1"); },
      [&] { cmd.SetCommandProc("p"); },
      [&] { cmd.SetCommandProc(u"p"); },
  };
  for (const auto& set : setters) {
    try {
      set();
      ADD_FAILURE() << "a text was set without a command";
    } catch (const _com_error& error) {
      EXPECT_EQ(error.Error(), E_POINTER);
    }
  }
  cmd.Close();  // nothing to release
}

TEST_F(CmdsetTest, CopiesShareOneCommandAndCloseReleasesOneReference) {
  CDatabase& db = Db();
  db.ExecuteSQL("CREATE TABLE t (id INTEGER)");
  TestCmdset first(&db);
  {
    TestCmdset copy(first);
    EXPECT_EQ(copy.m_pCommand, first.m_pCommand);
    EXPECT_EQ(RefCount(first.m_pCommand), 2u);
    copy.SetCommandText("INSERT INTO t VALUES (?)");
    copy.AppendParameter("id", CCmdset::typeInteger, 4, _variant_t(9L));
    first.Execute();  // runs what was set through the copy
    EXPECT_EQ(Count(db, "t WHERE id = 9"), 1);

    // Close releases this copy's reference once; the copy is then
    // destroyed after Close, and the others keep working.
    copy.Close();
    EXPECT_FALSE(copy.m_pCommand);
    EXPECT_EQ(RefCount(first.m_pCommand), 1u);
    copy.Close();
    EXPECT_EQ(RefCount(first.m_pCommand), 1u);
    EXPECT_TRUE(IsConverted(CatchDB([&] { copy.Execute(); }), kExecuteOrigin));
  }

  // Assignment takes the other's command and releases its own.
  TestCmdset other(&db);
  _CommandPtr old = other.m_pCommand;
  ASSERT_EQ(RefCount(old), 2u);
  other = first;
  EXPECT_EQ(other.m_pCommand, first.m_pCommand);
  EXPECT_EQ(RefCount(old), 1u);
  EXPECT_EQ(RefCount(first.m_pCommand), 2u);
  other.Execute();
  EXPECT_EQ(Count(db, "t WHERE id = 9"), 2);
}

TEST_F(CmdsetTest, SetActiveConnectionStartsAFreshCommandOnThatConnection) {
  CDatabase first, second;
  Open(first, "first.db");
  Open(second, "second.db");
  first.ExecuteSQL("CREATE TABLE t (id INTEGER)");
  second.ExecuteSQL("CREATE TABLE t (id INTEGER)");
  TestCmdset cmd(&first);
  EXPECT_EQ(cmd.m_pCommand->GetActiveConnection(), first.GetAdoConnection());
  cmd.SetCommandText("INSERT INTO t VALUES (?)");
  cmd.AppendParameter("id", CCmdset::typeInteger, 4, _variant_t(1L));
  cmd.Execute();
  _CommandPtr old = cmd.m_pCommand;

  cmd.SetActiveConnection(&second);
  EXPECT_NE(cmd.m_pCommand, old);
  EXPECT_EQ(RefCount(old), 1u) << "the old command was released";
  EXPECT_EQ(cmd.m_pCommand->GetActiveConnection(), second.GetAdoConnection());
  EXPECT_EQ(std::string(cmd.m_pCommand->GetCommandText()), "");
  EXPECT_EQ(cmd.m_pCommand->GetParameters()->GetCount(), 0);
  auto e = CatchDB([&] { cmd.Execute(); });  // no text yet
  ASSERT_TRUE(IsConverted(e, kExecuteOrigin));
  cmd.SetCommandText("INSERT INTO t VALUES (2)");
  cmd.Execute();
  EXPECT_EQ(Count(first, "t"), 1);
  EXPECT_EQ(Count(second, "t WHERE id = 2"), 1);

  // A null database leaves no command behind.
  EXPECT_TRUE(
      IsConverted(CatchDB([&] { cmd.SetActiveConnection(nullptr); }), kSetActiveConnectionOrigin));
  EXPECT_FALSE(cmd.m_pCommand);

  // So does a command object that cannot be created (COM not initialised
  // on this thread), with the system's text for the failure.
  CoUninitialize();
  e = CatchDB([&] { cmd.SetActiveConnection(&first); });
  ASSERT_EQ(CoInitializeEx(nullptr, COINIT_MULTITHREADED), S_OK);
  ASSERT_TRUE(IsConverted(e, kSetActiveConnectionOrigin));
  EXPECT_FALSE(e->m_strErrorText.IsEmpty());
  EXPECT_FALSE(cmd.m_pCommand);
}

TEST_F(CmdsetTest, CommandTimeoutIsTakenOnceWhenTheConnectionIsSet) {
  CDatabase& db = Db();
  db.SetQueryTimeout(17);
  TestCmdset cmd(&db);
  EXPECT_EQ(cmd.m_pCommand->GetCommandTimeout(), 17);
  db.SetQueryTimeout(99);
  cmd.SetCommandText("SELECT 1");
  cmd.Execute();
  EXPECT_EQ(cmd.m_pCommand->GetCommandTimeout(), 17);
  db.SetQueryTimeout(0);
  cmd.SetActiveConnection(&db);
  EXPECT_EQ(cmd.m_pCommand->GetCommandTimeout(), 0);

  // 0xFFFFFFFF reaches ADO as -1, which it refuses; the command stays bound
  // to the connection with ADO's own time-out.
  db.SetQueryTimeout(0xFFFFFFFF);
  _CommandPtr fresh;
  ASSERT_EQ(fresh.CreateInstance(__uuidof(Command)), S_OK);
  auto e = CatchDB([&] { cmd.SetActiveConnection(&db); });
  ASSERT_TRUE(IsConverted(e, kSetActiveConnectionOrigin));
  EXPECT_FALSE(e->m_strErrorText.IsEmpty());
  ASSERT_TRUE(cmd.m_pCommand);
  EXPECT_EQ(cmd.m_pCommand->GetCommandTimeout(), fresh->GetCommandTimeout());
  EXPECT_EQ(cmd.m_pCommand->GetActiveConnection(), db.GetAdoConnection());
  // The constructor throws the same.
  EXPECT_TRUE(IsConverted(CatchDB([&] { CCmdset constructed(&db); }), kSetActiveConnectionOrigin));
}

TEST_F(CmdsetTest, ThrowDBExceptionGivesTheLibraryText) {
  CCmdset cmd;
  struct Case {
    short code;
    const char* text;
  };
  const Case cases[] = {{1000, ""},
                        {1001, "Error come from KORVO library"},
                        {1030, "Error come from KORVO library"},
                        {1031, ""}};
  for (const Case& c : cases) {
    auto e = CatchDB([&] { cmd.ThrowDBException(c.code); });
    ASSERT_TRUE(e);
    EXPECT_EQ(e->m_nReturnCode, c.code);
    EXPECT_EQ(e->m_dwNativeError, 0u);
    EXPECT_STREQ(e->m_strErrorText, c.text);
    EXPECT_TRUE(e->m_strErrorOrigin.IsEmpty());
  }
}

// ------------------------------------------------------------ the trace

TEST_F(CmdsetTest, OnlyFailuresAreTraced) {
  TraceOn();
  CDatabase& db = Db();
  db.ExecuteSQL("CREATE TABLE u (k INTEGER UNIQUE)");
  const std::vector<std::string> before = Trace();
  ASSERT_FALSE(before.empty());

  {
    CCmdset cmd(&db);
    cmd.SetCommandText("INSERT INTO u VALUES (?)");
    cmd.AppendParameter("k", CCmdset::typeInteger, 4, _variant_t(1L));
    cmd.Execute();
    cmd.SetCommandText("UPDATE u SET k = k WHERE k IN (?, ?)");
    cmd.AppendParameter("n", CCmdset::typeNumeric, _variant_t(2.0), 10, 0);
    long count = 0;
    cmd.Execute(count);
    EXPECT_EQ(count, 1);
    CCmdset copy(cmd);
    cmd.SetActiveConnection(&db);
    cmd.Close();
  }
  EXPECT_EQ(Trace(), before) << "a successful command writes nothing";

  std::vector<std::string> expected = before;
  CCmdset cmd(&db);
  cmd.SetCommandText("INSERT INTO u VALUES (1)");
  auto violation = CatchDB([&] { cmd.Execute(); });
  ASSERT_TRUE(violation);
  expected.push_back(std::string(violation->m_strErrorText));
  auto procedure = CatchDB([&] { cmd.ExecuteProc(); });
  ASSERT_TRUE(procedure);
  expected.push_back(std::string(procedure->m_strErrorText));
  cmd.Close();
  EXPECT_THROW(cmd.SetCommandText("SELECT 1"), _com_error);  // not converted, not traced
  EXPECT_EQ(Trace(), expected);
}

}  // namespace
