// Tests that writers on one SQLite file, each in transactions of several
// statements, all finish with every row stored once while statements are
// serialised on global lock 15 (SetCriticalSection(1)): a writer waits for
// the engine's write lock where it holds no global lock, so the owner of
// that write lock can always take lock 15 and finish.
#include <gtest/gtest.h>
#include <korvo/com/coinit.h>
#include <korvo/db/CDatabase.h>
#include <korvo/diag/CDBException.h>

#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "support/test_support.h"

namespace {

constexpr int kThreads = 8;
constexpr int kPerThread = 100;
constexpr int kPerTransaction = 5;

class ConcurrentWritersTest : public ::testing::Test {
 protected:
  void SetUp() override { ASSERT_GE(CoInitializeEx(nullptr, COINIT_MULTITHREADED), 0); }
  void TearDown() override {
    CDatabase::SetCriticalSection(FALSE);
    CoUninitialize();
  }

  std::string Connect() { return "Provider=SQLite;Data Source=" + dir_.File("writers.db"); }

  // The text of the first failure of any thread (empty when none failed).
  std::string RunWriters() {
    std::mutex mutex;
    std::string failure;
    auto note = [&](const std::string& what) {
      std::lock_guard<std::mutex> lock(mutex);
      if (failure.empty()) failure = what;
    };
    std::vector<std::thread> workers;
    for (int t = 0; t < kThreads; ++t) {
      workers.emplace_back([&, t] {
        CoInitializeEx(nullptr, COINIT_MULTITHREADED);
        {
          CDatabase db;
          try {
            db.OpenEx(Connect().c_str());
            for (int n = 0; n < kPerThread; n += kPerTransaction) {
              if (db.BeginTrans() != 1) {
                note("BeginTrans failed on thread " + std::to_string(t));
                break;
              }
              for (int k = n; k < n + kPerTransaction; ++k) {
                db.ExecuteSQL(
                    ("INSERT INTO w VALUES (" + std::to_string(t) + ", " + std::to_string(k) + ")")
                        .c_str());
              }
              db.CommitTrans();
            }
          } catch (CDBException* e) {
            note(std::string("thread ") + std::to_string(t) + ": " +
                 static_cast<const char*>(e->m_strErrorText));
            e->Delete();
          }
        }
        CoUninitialize();
      });
    }
    for (auto& w : workers) w.join();
    return failure;
  }

  korvo::test::TempDir dir_;
};

TEST_F(ConcurrentWritersTest, EveryRowOfEveryTransactionIsStoredOnceWithTheStatementLock) {
  CDatabase setup;
  setup.OpenEx(Connect().c_str());
  setup.ExecuteSQL("CREATE TABLE w (t INT, n INT, PRIMARY KEY (t, n))");
  CDatabase::SetCriticalSection(TRUE);
  EXPECT_EQ(RunWriters(), "");
  CDatabase::SetCriticalSection(FALSE);

  // The primary key refuses a row stored twice; the counts find one missing.
  CDatabase check;
  check.OpenEx(Connect().c_str());
  const std::string expected =
      "CREATE TABLE expected AS WITH RECURSIVE i(v) AS (SELECT 0 UNION ALL SELECT v + 1 FROM i "
      "WHERE v + 1 < " +
      std::to_string(kThreads * kPerThread) + ") SELECT v / " + std::to_string(kPerThread) +
      " AS t, v % " + std::to_string(kPerThread) + " AS n FROM i";
  check.ExecuteSQL(expected.c_str());
  long missing = -1, extra = -1;
  check.ExecuteSQL("DELETE FROM expected WHERE (t, n) IN (SELECT t, n FROM w)", &missing);
  EXPECT_EQ(missing, kThreads * kPerThread) << "rows found of those written";
  check.ExecuteSQL("DELETE FROM w", &extra);
  EXPECT_EQ(extra, kThreads * kPerThread) << "rows stored in all";
}

}  // namespace
