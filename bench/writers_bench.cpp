// bench/writers_bench.cpp: eight threads, each with its own CDatabase on
// one SQLite file, insert 2000 rows each in transactions of 5 statements,
// once with the global statement lock off and once with it on
// (SetCriticalSection). Prints both wall times and their ratio, and checks
// that every row was stored once. Not a Google Benchmark program: one run
// of each mode is the measurement (repeated with --rounds=N).
//
//   ./writers_bench [--rounds=N] [--dir=/path]
#include <korvo/Korvo.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace {

constexpr int kThreads = 8;
constexpr int kPerThread = 2000;
constexpr int kPerTransaction = 5;

struct ComScope {
  ComScope() { CoInitializeEx(nullptr, COINIT_MULTITHREADED); }
  ~ComScope() { CoUninitialize(); }
};

// Runs the writers on a fresh file; returns the seconds taken, or a
// negative number after printing the first failure or a wrong row count.
double Run(const std::string& file, bool lock15) {
  unlink(file.c_str());
  unlink((file + "-journal").c_str());
  const std::string connect = "Provider=SQLite;Data Source=" + file;
  {
    CDatabase setup;
    setup.OpenEx(connect.c_str());
    setup.ExecuteSQL("CREATE TABLE w (t INT, n INT, PRIMARY KEY (t, n))");
  }
  CDatabase::SetCriticalSection(lock15 ? TRUE : FALSE);
  std::mutex mutex;
  std::string failure;
  const auto start = std::chrono::steady_clock::now();
  std::vector<std::thread> workers;
  for (int t = 0; t < kThreads; ++t) {
    workers.emplace_back([&, t] {
      ComScope com;
      CDatabase db;
      try {
        db.OpenEx(connect.c_str());
        for (int n = 0; n < kPerThread; n += kPerTransaction) {
          if (db.BeginTrans() != 1) throw std::string("BeginTrans failed");
          for (int k = n; k < n + kPerTransaction; ++k) {
            db.ExecuteSQL(
                ("INSERT INTO w VALUES (" + std::to_string(t) + ", " + std::to_string(k) + ")")
                    .c_str());
          }
          db.CommitTrans();
        }
      } catch (CDBException* e) {
        std::lock_guard<std::mutex> lock(mutex);
        if (failure.empty()) failure = static_cast<const char*>(e->m_strErrorText);
        e->Delete();
      } catch (const std::string& text) {
        std::lock_guard<std::mutex> lock(mutex);
        if (failure.empty()) failure = text;
      }
    });
  }
  for (auto& w : workers) w.join();
  const double seconds =
      std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  CDatabase::SetCriticalSection(FALSE);
  if (!failure.empty()) {
    std::printf("  failed: %s\n", failure.c_str());
    return -1;
  }
  CDatabase check;
  check.OpenEx(connect.c_str());
  long rows = 0;
  check.ExecuteSQL("DELETE FROM w", &rows);
  if (rows != kThreads * kPerThread) {
    std::printf("  %ld rows stored, %d expected\n", rows, kThreads * kPerThread);
    return -1;
  }
  return seconds;
}

}  // namespace

int main(int argc, char** argv) {
  int rounds = 1;
  std::string dir = "/tmp";
  for (int i = 1; i < argc; ++i) {
    if (std::strncmp(argv[i], "--rounds=", 9) == 0) rounds = std::atoi(argv[i] + 9);
    if (std::strncmp(argv[i], "--dir=", 6) == 0) dir = argv[i] + 6;
  }
  ComScope com;
  const std::string file = dir + "/korvo_writers_bench_" + std::to_string(getpid()) + ".db";
  std::printf("%d threads x %d inserts in transactions of %d, %s\n", kThreads, kPerThread,
              kPerTransaction, file.c_str());
  int status = 0;
  for (int r = 0; r < rounds; ++r) {
    const double off = Run(file, false);
    const double on = Run(file, true);
    if (off < 0 || on < 0) {
      status = 1;
      continue;
    }
    std::printf("round %d: lock off %.2f s, lock on %.2f s, ratio %.2f\n", r + 1, off, on,
                on / off);
  }
  unlink(file.c_str());
  return status;
}
