// bench/write_table_support.h: the write benchmarks' common table and the
// raw sqlite3 insert loop they are measured against.
//
// Each run makes a fresh file in $TMPDIR with table t (INTEGER key, INT
// code, TEXT name, REAL amount) and removes it afterwards.
#pragma once

#include <benchmark/benchmark.h>
#include <sqlite3.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <string>

namespace korvo::bench {

inline std::string WriteTablePath(const char* what) {
  const char* tmp = std::getenv("TMPDIR");
  return std::string(tmp ? tmp : "/tmp") + "/korvo_write_bench_" + what + "_" +
         std::to_string(getpid()) + ".db";
}

inline constexpr const char* kCreateWriteTable =
    "CREATE TABLE t (id INTEGER PRIMARY KEY, code INT, name TEXT, amount REAL)";

// The same row content on every side: an int, a 20-character text, a real.
inline int FormatName(char* out, long i) { return std::snprintf(out, 32, "name-%015ld", i); }

// Commits, closes the database and removes its file.
inline void CommitAndRemove(sqlite3* db, sqlite3_stmt* statement, const std::string& path) {
  sqlite3_exec(db, "COMMIT", nullptr, nullptr, nullptr);
  sqlite3_finalize(statement);
  sqlite3_close(db);
  unlink(path.c_str());
}

inline void SetRate(benchmark::State& state, long rows) {
  state.counters["rows_per_s"] =
      benchmark::Counter(static_cast<double>(rows) * static_cast<double>(state.iterations()),
                         benchmark::Counter::kIsRate);
}

// The reference of every insert ratio: one prepared INSERT reused for
// `rows` rows inside one transaction.
inline void RawInsertRows(benchmark::State& state, long rows) {
  for (auto _ : state) {
    const std::string path = WriteTablePath("raw");
    sqlite3* db = nullptr;
    sqlite3_open(path.c_str(), &db);
    sqlite3_exec(db, kCreateWriteTable, nullptr, nullptr, nullptr);
    sqlite3_stmt* insert = nullptr;
    sqlite3_prepare_v2(db, "INSERT INTO t (code, name, amount) VALUES (?, ?, ?)", -1, &insert,
                       nullptr);
    sqlite3_exec(db, "BEGIN", nullptr, nullptr, nullptr);
    char name[32];
    for (long i = 1; i <= rows; ++i) {
      const int n = FormatName(name, i);
      sqlite3_bind_int(insert, 1, static_cast<int>(i % 1000));
      sqlite3_bind_text(insert, 2, name, n, SQLITE_TRANSIENT);
      sqlite3_bind_double(insert, 3, i * 0.25);
      sqlite3_step(insert);
      sqlite3_reset(insert);
    }
    CommitAndRemove(db, insert, path);
  }
  SetRate(state, rows);
}

}  // namespace korvo::bench
