// Tests that statements of many connections are serialised on global lock
// 15 while g_bUseODBCCriticalSection is set, without deadlock, and that the
// trace stays whole when they all write to it.
//
// The probe is an SQL function registered on every SQLite connection of
// the process (sqlite3_auto_extension): it counts how many statements are
// inside the engine at the same moment.
#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <korvo/com/coinit.h>
#include <korvo/db/CDatabase.h>
#include <korvo/db/global_locks.h>
#include <korvo/diag/CDBException.h>
#include <sqlite3.h>
#include <unistd.h>

#include <atomic>
#include <condition_variable>
#include <map>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "support/lock_wait.h"
#include "support/test_support.h"
#include "support/trace_file.h"

namespace {

using ::testing::HasSubstr;

std::atomic<int> g_inside{0};
std::atomic<int> g_mostInside{0};
// Set: each probe waits inside the engine until a second statement is
// inside too, so an overlap is shown by an event, not by a lucky timing.
std::atomic<bool> g_probeMeets{false};
std::mutex g_meetMutex;
std::condition_variable g_meetChanged;

void Probe(sqlite3_context* ctx, int, sqlite3_value**) {
  int now = ++g_inside;
  int seen = g_mostInside.load();
  while (now > seen && !g_mostInside.compare_exchange_weak(seen, now)) {
  }
  if (g_probeMeets.load()) {
    std::unique_lock<std::mutex> lock(g_meetMutex);
    g_meetChanged.notify_all();
    g_meetChanged.wait(lock, [] { return g_mostInside.load() >= 2; });
  } else {
    std::this_thread::yield();
  }
  --g_inside;
  sqlite3_result_int(ctx, now);
}

int RegisterProbe(sqlite3* db, char**, const sqlite3_api_routines*) {
  return sqlite3_create_function_v2(db, "korvo_probe", 0, SQLITE_UTF8, nullptr, Probe, nullptr,
                                    nullptr, nullptr);
}

class StatementLockTest : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    sqlite3_auto_extension(reinterpret_cast<void (*)()>(RegisterProbe));
  }
  void SetUp() override {
    g_inside = 0;
    g_mostInside = 0;
    g_probeMeets = false;
  }

  // Runs `perThread` statements on `threads` threads, each with its own
  // connection and COM initialised; every `failEvery`-th statement fails.
  static void RunThreads(int threads, int perThread, int failEvery,
                         std::vector<unsigned long>* ids = nullptr) {
    std::vector<std::thread> workers;
    std::atomic<int> failures{0};
    if (ids) ids->assign(threads, 0);
    for (int t = 0; t < threads; ++t) {
      workers.emplace_back([=, &failures] {
        if (ids) (*ids)[t] = static_cast<unsigned long>(gettid());
        CoInitializeEx(nullptr, COINIT_MULTITHREADED);
        {
          CDatabase db;
          db.OpenEx("Provider=SQLite;Data Source=:memory:");
          for (int n = 1; n <= perThread; ++n) {
            try {
              db.ExecuteSQL(failEvery && n % failEvery == 0 ? "SELECT korvo_probe() FROM nowhere"
                                                            : "SELECT korvo_probe()");
            } catch (CDBException* e) {
              ++failures;
              e->Delete();
            }
          }
        }
        CoUninitialize();
      });
    }
    for (auto& w : workers) w.join();
    if (failEvery) {
      EXPECT_EQ(failures.load(), threads * (perThread / failEvery));
    } else {
      EXPECT_EQ(failures.load(), 0);
    }
  }
};

TEST_F(StatementLockTest, ProbeSeesOverlapWithoutTheLock) {
  // Shows the probe can see two statements at once, so the next case's
  // assertion means something.
  // Without the lock two statements meet inside the engine (with it they
  // could not, and this case would hang).
  ASSERT_EQ(g_bUseODBCCriticalSection, 0);
  g_probeMeets = true;
  RunThreads(2, 1, 0);
  EXPECT_EQ(g_mostInside.load(), 2);
}

TEST_F(StatementLockTest, EightThreadsTenThousandStatementsEachRunOneAtATime) {
  CDatabase::SetCriticalSection(TRUE);
  RunThreads(8, 10000, 0);
  EXPECT_EQ(g_mostInside.load(), 1) << "a statement ran outside lock 15";
  EXPECT_EQ(g_inside.load(), 0);
}

// Every tenth statement fails inside the lock: the lock is released on
// that path too, and the trace entries stay whole.
TEST_F(StatementLockTest, FailingStatementsReleaseTheLockAndTraceEntriesStayWhole) {
  korvo::test::TempDir dir;
  const auto registry = korvo::test::TraceInto(dir.path());
  CDatabase::SetCriticalSection(TRUE);

  constexpr int kThreads = 8;
  constexpr int kStatements = 300;
  constexpr int kFailEvery = 10;
  std::vector<unsigned long> ids;
  RunThreads(kThreads, kStatements, kFailEvery, &ids);
  EXPECT_EQ(g_mostInside.load(), 1);
  EXPECT_TRUE(korvo::test::OtherThreadCanTake(15)) << "lock 15 was left held";

  auto entries = korvo::test::ParseTraceEntries(
      korvo::test::ReadFile(korvo::test::TraceFileOf(dir.path(), getpid())));
  std::map<unsigned long, std::vector<std::string>> byThread;
  for (const auto& e : entries) byThread[e.thread].push_back(e.text);
  ASSERT_EQ(byThread.size(), static_cast<size_t>(kThreads));
  for (unsigned long id : ids) {
    const std::vector<std::string>& texts = byThread[id];
    // Open, connect, session instructions; then per statement the
    // operation and its options, plus the description when it failed;
    // then free and close.
    ASSERT_GE(texts.size(), 5u);
    EXPECT_EQ(texts[0], "CDatabase::OpenEx");
    size_t i = 3;
    for (int n = 1; n <= kStatements; ++n) {
      ASSERT_LT(i + 1, texts.size());
      EXPECT_EQ(texts[i++], "CDatabase::ExecuteSQL");
      EXPECT_EQ(texts[i++], "CDatabase::OnSetOptions");
      if (n % kFailEvery == 0) {
        ASSERT_LT(i, texts.size());
        EXPECT_THAT(texts[i++], HasSubstr("nowhere"));
      }
    }
    ASSERT_EQ(texts.size(), i + 2);
    EXPECT_EQ(texts[i], "CDatabase::Free");
    EXPECT_EQ(texts[i + 1], "CDatabase::Close");
  }
}

}  // namespace
