// Fault injection at the engine: a VFS shim under SQLite fails the Nth
// read, write, sync or lock (N = 1..k) inside every object-model operation
// and CDatabase statement. Each must succeed or report the documented error
// (CDBException* from CDatabase, _com_error from the object model); the
// connection must stay usable or report itself closed; and the file,
// reopened, must hold exactly the rows committed so far: the operation's
// rows when it reported success, none of them when it failed.
// LeakSanitizer (in the sanitizer build) checks that no failure path leaks.
#include <gtest/gtest.h>
#include <korvo/ado/ado.h>
#include <korvo/com/coinit.h>
#include <korvo/db/CDatabase.h>
#include <korvo/diag/CDBException.h>

#include <algorithm>
#include <cstdio>
#include <functional>
#include <iterator>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "support/faulty_vfs.h"
#include "support/test_support.h"

namespace {

using korvo::test::ArmVfsFault;
using korvo::test::DisarmVfsFaults;
using korvo::test::VfsCallCount;
using korvo::test::VfsFaultInjected;
using korvo::test::VfsOp;
using korvo::test::VfsOpName;

// The rows of table t: id -> v.
using Rows = std::map<long long, std::string>;

// Faults are injected at calls 1..kMaxN of each kind (fewer when the
// operation makes fewer calls of that kind).
constexpr int kMaxN = 6;
constexpr VfsOp kKinds[] = {VfsOp::kRead, VfsOp::kWrite, VfsOp::kSync, VfsOp::kLock};

long long NextId(const Rows& rows) { return rows.empty() ? 1 : rows.rbegin()->first + 1; }
std::string ValueFor(long long id) { return "v" + std::to_string(id); }

std::string InsertSql(long long id) {
  return "INSERT INTO t VALUES (" + std::to_string(id) + ", '" + ValueFor(id) + "')";
}

_variant_t AsDispatch(const _ConnectionPtr& c) {
  return _variant_t(static_cast<IDispatch*>(c.GetInterfacePtr()));
}

// Runs `change` on an updatable client-cursor recordset of t; a change that
// fails is cancelled, as host code does.
void ChangeThroughRecordset(CDatabase& db, const std::function<void(_RecordsetPtr&)>& change) {
  _RecordsetPtr rs;
  if (FAILED(rs.CreateInstance(__uuidof(Recordset)))) _com_issue_error(E_FAIL);
  rs->PutCursorLocation(adUseClient);
  rs->Open("SELECT id, v FROM t ORDER BY id", AsDispatch(db.GetAdoConnection()), adOpenStatic,
           adLockOptimistic, adCmdText);
  try {
    change(rs);
  } catch (const _com_error&) {
    rs->raw_CancelUpdate();
    throw;
  }
}

void ReadAll(_RecordsetPtr& rs) {
  while (!rs->GetadoEOF()) {
    (void)rs->GetFields()->GetItem(1L)->GetValue();
    rs->MoveNext();
  }
}

// Host code ends the ADO levels it began when something fails.
class AdoLevels {
 public:
  explicit AdoLevels(_ConnectionPtr c) : c_(std::move(c)) {}
  ~AdoLevels() {
    while (open_ > 0 && SUCCEEDED(c_->raw_RollbackTrans())) --open_;
  }
  void Begin() {
    c_->BeginTrans();
    ++open_;
  }
  void Commit() {
    c_->CommitTrans();
    --open_;
  }
  void Rollback() {
    c_->RollbackTrans();
    --open_;
  }

 private:
  _ConnectionPtr c_;
  int open_ = 0;
};

// BeginTrans reports its failure by returning 0, not by throwing; the
// operations turn that into this, which counts as a documented failure.
struct BeginTransReturnedZero {};

void Begin(CDatabase& db) {
  if (db.BeginTrans() != 1) throw BeginTransReturnedZero{};
}

struct Operation {
  const char* name;
  bool objectModel;  // reports through _com_error (else CDBException*)
  std::function<void(CDatabase& db, const Rows& before)> run;
  std::function<void(Rows& rows)> effect;  // on the committed rows, when it succeeds
};

std::vector<Operation> Operations() {
  auto none = [](Rows&) {};
  auto addOne = [](Rows& r) { r[NextId(r)] = ValueFor(NextId(r)); };
  auto addTwo = [](Rows& r) {
    const long long id = NextId(r);
    r[id] = ValueFor(id);
    r[id + 1] = ValueFor(id + 1);
  };
  auto dropFirst = [](Rows& r) {
    if (!r.empty()) r.erase(r.begin());
  };
  return {
      // ------------------------------------------------ CDatabase statements
      {"CDatabase::ExecuteSQL INSERT", false,
       [](CDatabase& db, const Rows& r) { db.ExecuteSQL(InsertSql(NextId(r)).c_str()); }, addOne},
      {"CDatabase::ExecuteSQL wide UPDATE with count", false,
       [](CDatabase& db, const Rows& r) {
         long count = -1;
         db.ExecuteSQL(u"UPDATE t SET v = v || '+' WHERE id % 2 = 0", &count);
         const long evens =
             std::count_if(r.begin(), r.end(), [](const auto& row) { return row.first % 2 == 0; });
         EXPECT_EQ(count, evens);
       },
       [](Rows& r) {
         for (auto& [id, v] : r)
           if (id % 2 == 0) v += "+";
       }},
      {"CDatabase::ExecuteSQLW DELETE", false,
       [](CDatabase& db, const Rows& r) {
         if (r.empty()) return;
         std::u16string sql = u"DELETE FROM t WHERE id = ";
         for (char c : std::to_string(r.begin()->first)) sql += static_cast<char16_t>(c);
         db.ExecuteSQLW(sql.c_str());
       },
       dropFirst},
      {"CDatabase::ExecuteSQL SELECT", false,
       [](CDatabase& db, const Rows&) { db.ExecuteSQL("SELECT id, v FROM t ORDER BY v"); }, none},
      {"CDatabase::BeginTrans, 2 INSERTs, CommitTrans", false,
       [](CDatabase& db, const Rows& r) {
         Begin(db);
         db.ExecuteSQL(InsertSql(NextId(r)).c_str());
         db.ExecuteSQL(InsertSql(NextId(r) + 1).c_str());
         db.CommitTrans();
       },
       addTwo},
      {"CDatabase::BeginTrans, INSERT, Rollback", false,
       [](CDatabase& db, const Rows& r) {
         Begin(db);
         db.ExecuteSQL(InsertSql(NextId(r)).c_str());
         db.Rollback();
       },
       none},
      {"CDatabase::BeginTrans, INSERT, INSERT after a failure, Rollback", false,
       // A host that goes on after a failing statement and then rolls back:
       // nothing may have been committed behind its back.
       [](CDatabase& db, const Rows& r) {
         Begin(db);
         std::unique_ptr<CDBException> first;
         for (long long id : {NextId(r), NextId(r) + 1}) {
           try {
             db.ExecuteSQL(InsertSql(id).c_str());
           } catch (CDBException* e) {
             if (first)
               e->Delete();
             else
               first.reset(e);
           }
         }
         db.Rollback();
         if (first) throw first.release();
       },
       none},
      {"CDatabase::Close with a transaction open", false,
       [](CDatabase& db, const Rows& r) {
         Begin(db);
         db.ExecuteSQL(InsertSql(NextId(r)).c_str());
         db.Close();
       },
       none},
      {"CDatabase::Close and OpenEx", false,
       [](CDatabase& db, const Rows&) {
         db.Close();
         db.OpenEx(nullptr);
       },
       none},
      // ------------------------------------------------ the object model
      {"Connection.Execute SELECT, read every row", true,
       [](CDatabase& db, const Rows&) {
         _RecordsetPtr rs =
             db.GetAdoConnection()->Execute("SELECT id, v FROM t ORDER BY id", nullptr, adCmdText);
         ReadAll(rs);
       },
       none},
      {"Recordset client cursor AddNew, Update", true,
       [](CDatabase& db, const Rows& r) {
         ChangeThroughRecordset(db, [&](_RecordsetPtr& rs) {
           rs->AddNew();
           rs->GetFields()->GetItem("id")->PutValue(_variant_t(NextId(r)));
           rs->GetFields()->GetItem("v")->PutValue(_variant_t(ValueFor(NextId(r)).c_str()));
           rs->Update();
         });
       },
       addOne},
      {"Recordset client cursor edit, Update", true,
       [](CDatabase& db, const Rows&) {
         ChangeThroughRecordset(db, [](_RecordsetPtr& rs) {
           rs->GetFields()->GetItem("v")->PutValue(_variant_t("edited"));
           rs->Update();
         });
       },
       [](Rows& r) {
         if (!r.empty()) r.begin()->second = "edited";
       }},
      {"Recordset client cursor Delete", true,
       [](CDatabase& db, const Rows&) {
         ChangeThroughRecordset(db, [](_RecordsetPtr& rs) { rs->Delete(adAffectCurrent); });
       },
       dropFirst},
      {"Command with parameters, Execute INSERT", true,
       [](CDatabase& db, const Rows& r) {
         _CommandPtr cmd;
         if (FAILED(cmd.CreateInstance(__uuidof(Command)))) _com_issue_error(E_FAIL);
         cmd->PutActiveConnection(AsDispatch(db.GetAdoConnection()));
         cmd->PutCommandText("INSERT INTO t VALUES (?, ?)");
         ParametersPtr params = cmd->GetParameters();
         params->Append(
             cmd->CreateParameter("id", adBigInt, adParamInput, 8, _variant_t(NextId(r))));
         params->Append(cmd->CreateParameter("v", adVarWChar, adParamInput, 40,
                                             _variant_t(ValueFor(NextId(r)).c_str())));
         cmd->Execute(nullptr, nullptr, adExecuteNoRecords);
       },
       addOne},
      {"Connection nested BeginTrans, CommitTrans inner, RollbackTrans outer", true,
       [](CDatabase& db, const Rows& r) {
         _ConnectionPtr c = db.GetAdoConnection();
         AdoLevels levels(c);
         levels.Begin();
         c->Execute(InsertSql(NextId(r)).c_str(), nullptr, adExecuteNoRecords);
         levels.Begin();
         c->Execute(InsertSql(NextId(r) + 1).c_str(), nullptr, adExecuteNoRecords);
         levels.Commit();
         levels.Rollback();
       },
       none},
  };
}

class EngineFaultTest : public ::testing::Test {
 protected:
  static void SetUpTestSuite() { korvo::test::InstallFaultyVfs(); }
  void SetUp() override {
    ASSERT_GE(CoInitializeEx(nullptr, COINIT_MULTITHREADED), 0);
    connect_ = "Provider=SQLite;Data Source=" + dir_.File("faults.db");
    CDatabase db;
    ASSERT_EQ(db.OpenEx(connect_.c_str()), 1);
    db.ExecuteSQL("CREATE TABLE t (id INTEGER PRIMARY KEY, v TEXT NOT NULL)");
    // Enough rows to span several pages, so that reads and writes of the
    // same statement touch more than one.
    ASSERT_EQ(db.BeginTrans(), 1);
    for (long long id = 1; id <= 200; ++id) {
      const std::string sql = "INSERT INTO t VALUES (" + std::to_string(id) + ", '" + ValueFor(id) +
                              std::string(40, 'x') + "')";
      db.ExecuteSQL(sql.c_str());
      committed_[id] = ValueFor(id) + std::string(40, 'x');
    }
    db.CommitTrans();
  }
  void TearDown() override { CoUninitialize(); }

  // Every row of t, read through a connection of its own (no fault armed).
  Rows ReadBack() {
    Rows rows;
    _ConnectionPtr c;
    EXPECT_EQ(c.CreateInstance(__uuidof(Connection)), S_OK);
    c->Open(_bstr_t(connect_.c_str()), "", "", adConnectUnspecified);
    _RecordsetPtr rs = c->Execute("SELECT id, v FROM t ORDER BY id", nullptr, adCmdText);
    while (!rs->GetadoEOF()) {
      FieldsPtr f = rs->GetFields();
      rows[static_cast<long long>(f->GetItem(0L)->GetValue())] =
          static_cast<const char*>(_bstr_t(f->GetItem(1L)->GetValue()));
      rs->MoveNext();
    }
    rs->Close();
    c->Close();
    return rows;
  }

  // Runs `op` once on a fresh connection with `arm` applied just before it
  // (and disarmed right after); checks the outcome, the connection and the
  // file. Returns true when the operation reported success.
  bool RunOnce(const Operation& op, const std::function<void()>& arm, const std::string& what) {
    CDatabase db;
    db.OpenEx(connect_.c_str());
    const Rows before = committed_;
    bool succeeded = false;
    arm();
    try {
      op.run(db, before);
      succeeded = true;
    } catch (CDBException* raw) {
      CountCalls();
      std::unique_ptr<CDBException> e(raw);
      const std::string origin(e->m_strErrorOrigin);
      EXPECT_FALSE(op.objectModel) << what << ": CDBException from the object model";
      EXPECT_EQ(e->m_nReturnCode, 1000) << what;
      EXPECT_TRUE(origin.size() == 6 && origin.rfind("[600", 0) == 0) << what << ": " << origin;
      EXPECT_FALSE(e->m_strErrorText.IsEmpty()) << what;
    } catch (const BeginTransReturnedZero&) {
      CountCalls();
      EXPECT_FALSE(op.objectModel) << what;
    } catch (const _com_error& e) {
      CountCalls();
      EXPECT_TRUE(op.objectModel) << what << ": _com_error out of CDatabase";
      EXPECT_TRUE(FAILED(e.Error())) << what;
      EXPECT_GT(_bstr_t(e.Description()).length(), 0u) << what << ": no description";
    } catch (...) {
      CountCalls();
      ADD_FAILURE() << what << ": threw something undocumented";
    }
    if (succeeded) CountCalls();
    DisarmVfsFaults();
    if (succeeded) op.effect(committed_);

    // The host's recovery: roll back what the object still records, then the
    // connection must be usable again, or say it is closed.
    if (db.IsOpen()) {
      try {
        db.Rollback();
      } catch (CDBException* e) {
        ADD_FAILURE() << what << ": Rollback after the fault failed: " << e->m_strErrorText;
        e->Delete();
      }
      try {
        db.ExecuteSQL("SELECT count(*) FROM t");
      } catch (CDBException* e) {
        ADD_FAILURE() << what << ": open but unusable: " << e->m_strErrorText;
        e->Delete();
      }
    } else {
      EXPECT_EQ(db.IsConnectionDead(), 1) << what;
    }
    try {
      db.Close();
    } catch (CDBException* e) {
      ADD_FAILURE() << what << ": Close after recovery failed: " << e->m_strErrorText;
      e->Delete();
    }
    EXPECT_EQ(db.IsOpen(), 0) << what;

    // Nothing committed is lost, nothing uncommitted appears.
    const Rows after = ReadBack();
    if (after != committed_) {
      ADD_FAILURE() << what << (succeeded ? " (succeeded)" : " (failed)") << ": the file holds "
                    << after.size() << " rows, " << committed_.size() << " expected";
      committed_ = after;  // go on from what is there, to report the other cases
    }
    return succeeded;
  }

  // The calls of each kind the last operation made (its recovery excluded).
  void CountCalls() {
    for (int i = 0; i < 4; ++i) calls_[i] = VfsCallCount(kKinds[i]);
  }

  korvo::test::TempDir dir_;
  std::string connect_;
  Rows committed_;
  long calls_[4] = {};
};

TEST_F(EngineFaultTest, EveryOperationSurvivesTheNthFailingReadWriteSyncOrLock) {
  std::printf("engine faults: calls 1..k = %d of each kind (read, write, sync, lock) fail\n",
              kMaxN);
  int runs = 0, failures = 0, injected = 0;
  for (const Operation& op : Operations()) {
    // A clean run first: it counts the calls of each kind the operation
    // makes and checks its effect.
    EXPECT_TRUE(RunOnce(
        op, [] { ArmVfsFault(VfsOp::kRead, 0); }, op.name))
        << op.name;
    long calls[4];
    std::copy(std::begin(calls_), std::end(calls_), calls);
    std::printf("  %-66s reads %3ld writes %3ld syncs %2ld locks %2ld\n", op.name, calls[0],
                calls[1], calls[2], calls[3]);
    for (int i = 0; i < 4; ++i) {
      const int k = static_cast<int>(std::min<long>(calls[i], kMaxN));
      for (int n = 1; n <= k; ++n) {
        const std::string what = std::string(op.name) + ", " + VfsOpName(kKinds[i]) + " #" +
                                 std::to_string(n) + " fails";
        const bool ok = RunOnce(
            op, [&] { ArmVfsFault(kKinds[i], n); }, what);
        ++runs;
        injected += VfsFaultInjected() ? 1 : 0;
        failures += ok ? 0 : 1;
      }
    }
  }
  std::printf("engine faults: %zu operations, %d runs, %d faults injected, %d reported as errors\n",
              Operations().size(), runs, injected, failures);
  EXPECT_GT(injected, 0) << "no fault reached the engine: is the shim the default VFS?";
  EXPECT_GT(failures, 0);
}

// SQLite never reports a failing ROLLBACK: a read, write, sync or lock that
// fails while it plays the journal back leaves a hot journal, and the next
// connection finishes the rollback. So a rollback inside CDatabase::Close
// may meet any fault and the uncommitted rows still never appear.
TEST_F(EngineFaultTest, CloseRollsBackThroughAnyFaultWithoutCommittingAnything) {
  int injected = 0;
  for (VfsOp kind : kKinds) {
    for (int n = 1; n <= 40; ++n) {
      const std::string what =
          std::string(VfsOpName(kind)) + " #" + std::to_string(n) + " of Close fails";
      CDatabase db;
      ASSERT_EQ(db.OpenEx(connect_.c_str()), 1);
      // A transaction larger than the cache: its pages spill into the file,
      // so the rollback must write them back from the journal.
      db.ExecuteSQL("PRAGMA cache_size = 2");
      ASSERT_EQ(db.BeginTrans(), 1);
      db.ExecuteSQL(
          "WITH RECURSIVE n(i) AS (SELECT 1001 UNION ALL SELECT i + 1 FROM n WHERE i < 1300) "
          "INSERT INTO t SELECT i, printf('%.500c', 'u') FROM n");
      ArmVfsFault(kind, n);
      try {
        db.Close();
      } catch (CDBException* e) {
        EXPECT_STREQ(e->m_strErrorOrigin, "[6004]") << what << ": " << e->m_strErrorText;
        e->Delete();
      }
      const bool fired = VfsFaultInjected();
      DisarmVfsFaults();
      EXPECT_EQ(db.IsOpen(), 0) << what;
      ASSERT_EQ(db.OpenEx(nullptr), 1) << what;
      db.Close();
      EXPECT_EQ(ReadBack(), committed_) << what;
      if (!fired) break;  // past the last call of this kind
      ++injected;
    }
  }
  std::printf("rollback inside Close: %d faults injected\n", injected);
  EXPECT_GT(injected, 0);
}

}  // namespace
