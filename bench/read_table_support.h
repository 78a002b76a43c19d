// bench/read_table_support.h: the read benchmarks' common table and the
// raw sqlite3 loop they are measured against.
//
// One table t of g_rows rows (INTEGER key, INT code, 20-character TEXT,
// REAL, DATETIME as ISO text, TEXT with 10% NULL), made once in $TMPDIR and
// kept between runs, so every read benchmark reads the same file.
#pragma once

#include <benchmark/benchmark.h>
#include <sqlite3.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

namespace korvo::bench {

inline long g_rows = 1000000;

// Takes --rows=N off the command line (before Google Benchmark sees it).
inline void ParseRows(int argc, char** argv) {
  for (int i = 1; i < argc; ++i) {
    if (std::strncmp(argv[i], "--rows=", 7) == 0) g_rows = std::atol(argv[i] + 7);
  }
}

inline std::string ReadTablePath() {
  const char* tmp = std::getenv("TMPDIR");
  return std::string(tmp ? tmp : "/tmp") + "/korvo_ado_read_bench_" + std::to_string(g_rows) +
         ".db";
}

inline void MakeReadTable(const std::string& path) {
  struct stat st {};
  if (stat(path.c_str(), &st) == 0 && st.st_size > 0) return;
  sqlite3* db = nullptr;
  sqlite3_open(path.c_str(), &db);
  sqlite3_exec(db,
               "PRAGMA journal_mode=OFF; PRAGMA synchronous=OFF;"
               "CREATE TABLE t (id INTEGER PRIMARY KEY, code INT, name TEXT, amount REAL,"
               " created DATETIME, note TEXT); BEGIN",
               nullptr, nullptr, nullptr);
  sqlite3_stmt* insert = nullptr;
  sqlite3_prepare_v2(db, "INSERT INTO t VALUES (?, ?, ?, ?, ?, ?)", -1, &insert, nullptr);
  char name[32], created[32], note[32];
  for (long i = 1; i <= g_rows; ++i) {
    std::snprintf(name, sizeof name, "name-%015ld", i);
    std::snprintf(created, sizeof created, "20%02ld-%02ld-%02ld %02ld:%02ld:%02ld", i % 100,
                  i % 12 + 1, i % 28 + 1, i % 24, i % 60, (i * 7) % 60);
    std::snprintf(note, sizeof note, "note %ld", i * 31);
    sqlite3_bind_int64(insert, 1, i);
    sqlite3_bind_int(insert, 2, static_cast<int>(i % 1000));
    sqlite3_bind_text(insert, 3, name, 20, SQLITE_STATIC);
    sqlite3_bind_double(insert, 4, i * 0.25);
    sqlite3_bind_text(insert, 5, created, -1, SQLITE_STATIC);
    if (i % 10 == 0) {
      sqlite3_bind_null(insert, 6);
    } else {
      sqlite3_bind_text(insert, 6, note, -1, SQLITE_STATIC);
    }
    sqlite3_step(insert);
    sqlite3_reset(insert);
  }
  sqlite3_finalize(insert);
  sqlite3_exec(db, "COMMIT", nullptr, nullptr, nullptr);
  sqlite3_close(db);
}

inline long FileSize(const std::string& path) {
  struct stat st {};
  return stat(path.c_str(), &st) == 0 ? static_cast<long>(st.st_size) : 0;
}

inline long ResidentBytes() {
  long pages = 0, resident = 0;
  FILE* f = std::fopen("/proc/self/statm", "r");
  if (f) {
    if (std::fscanf(f, "%ld %ld", &pages, &resident) != 2) resident = 0;
    std::fclose(f);
  }
  return resident * sysconf(_SC_PAGESIZE);
}

// The reference every read ratio is taken against: step the statement and
// fetch every column of every row.
inline void RawSqliteScan(benchmark::State& state, int flags) {
  const std::string path = ReadTablePath();
  MakeReadTable(path);
  for (auto _ : state) {
    sqlite3* db = nullptr;
    sqlite3_open_v2(path.c_str(), &db, flags, nullptr);
    sqlite3_stmt* stmt = nullptr;
    sqlite3_prepare_v2(db, "SELECT * FROM t", -1, &stmt, nullptr);
    long rows = 0;
    int64_t sum = 0;
    while (sqlite3_step(stmt) == SQLITE_ROW) {
      sum += sqlite3_column_int64(stmt, 0) + sqlite3_column_int(stmt, 1);
      sum += sqlite3_column_bytes(stmt, 2);
      benchmark::DoNotOptimize(sqlite3_column_text(stmt, 2));
      benchmark::DoNotOptimize(sqlite3_column_double(stmt, 3));
      benchmark::DoNotOptimize(sqlite3_column_text(stmt, 4));
      benchmark::DoNotOptimize(sqlite3_column_text(stmt, 5));
      ++rows;
    }
    benchmark::DoNotOptimize(sum);
    sqlite3_finalize(stmt);
    sqlite3_close(db);
    if (rows != g_rows) state.SkipWithError("row count");
  }
  state.SetItemsProcessed(state.iterations() * g_rows);
}

}  // namespace korvo::bench
