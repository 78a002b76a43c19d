// Reading 1,000,000 rows (INTEGER key, INT code, 20-character TEXT, REAL,
// DATETIME text, TEXT with 10% NULL) through the ADO object model, every
// field's Value read on every row, beside a raw sqlite3 loop over the same
// file. Results are written up in bench/README.md.
//
//   build/bench/ado_read_bench [--rows=N]
// The database is made once in $TMPDIR (kept between runs).
#include <korvo/Korvo.h>
#include <korvo/ado/ado.h>

#include <benchmark/benchmark.h>
#include <sqlite3.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

namespace {

long g_rows = 1000000;

std::string DatabasePath() {
  const char* tmp = std::getenv("TMPDIR");
  return std::string(tmp ? tmp : "/tmp") + "/korvo_ado_read_bench_" + std::to_string(g_rows) + ".db";
}

void MakeDatabase(const std::string& path) {
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
    std::snprintf(created, sizeof created, "20%02ld-%02ld-%02ld %02ld:%02ld:%02ld", i % 100, i % 12 + 1,
                  i % 28 + 1, i % 24, i % 60, (i * 7) % 60);
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

long FileSize(const std::string& path) {
  struct stat st {};
  return stat(path.c_str(), &st) == 0 ? static_cast<long>(st.st_size) : 0;
}

long ResidentBytes() {
  long pages = 0, resident = 0;
  FILE* f = std::fopen("/proc/self/statm", "r");
  if (f) {
    if (std::fscanf(f, "%ld %ld", &pages, &resident) != 2) resident = 0;
    std::fclose(f);
  }
  return resident * sysconf(_SC_PAGESIZE);
}

void RawSqlite(benchmark::State& state, int flags) {
  const std::string path = DatabasePath();
  MakeDatabase(path);
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

void BM_RawSqlite3(benchmark::State& state) { RawSqlite(state, SQLITE_OPEN_READONLY); }
void BM_RawSqlite3NoMutex(benchmark::State& state) {
  RawSqlite(state, SQLITE_OPEN_READONLY | SQLITE_OPEN_NOMUTEX);
}

// Opens the recordset and reads every field of every row through the raw
// methods, as the library's recordset does.
void AdoRead(benchmark::State& state, CursorLocationEnum location) {
  const std::string path = DatabasePath();
  MakeDatabase(path);
  CoInitializeEx(nullptr, COINIT_MULTITHREADED);
  {
    _ConnectionPtr conn;
    conn.CreateInstance(__uuidof(Connection));
    conn->Open(_bstr_t(("Provider=SQLite;Data Source=" + path).c_str()), "", "", adConnectUnspecified);
    long snapshot_bytes = 0;
    for (auto _ : state) {
      _RecordsetPtr rs;
      rs.CreateInstance(__uuidof(Recordset));
      rs->PutCursorLocation(location);
      rs->PutCacheSize(100);
      const long before = ResidentBytes();
      rs->Open("SELECT * FROM t", _variant_t(static_cast<IDispatch*>(conn)), adOpenForwardOnly, adLockReadOnly,
               adCmdText);
      snapshot_bytes = ResidentBytes() - before;
      FieldsPtr fields = rs->GetFields();
      std::vector<FieldPtr> f;
      for (long i = 0; i < fields->GetCount(); ++i) f.push_back(fields->GetItem(i));
      long rows = 0;
      VARIANT_BOOL eof = VARIANT_FALSE;
      VARIANT v;
      VariantInit(&v);
      while (SUCCEEDED(rs->get_EOF(&eof)) && eof == VARIANT_FALSE) {
        for (FieldPtr& field : f) {
          field->get_Value(&v);
          VariantClear(&v);
        }
        ++rows;
        rs->raw_MoveNext();
      }
      rs->Close();
      if (rows != g_rows) state.SkipWithError("row count");
    }
    state.SetItemsProcessed(state.iterations() * g_rows);
    state.counters["file_MB"] = static_cast<double>(FileSize(path)) / 1e6;
    if (location == adUseClient) state.counters["snapshot_MB"] = static_cast<double>(snapshot_bytes) / 1e6;
  }
  CoUninitialize();
}

void BM_AdoServerForwardOnly(benchmark::State& state) { AdoRead(state, adUseServer); }
void BM_AdoClientOpenAndScan(benchmark::State& state) { AdoRead(state, adUseClient); }

}  // namespace

BENCHMARK(BM_RawSqlite3)->Unit(benchmark::kMillisecond)->Iterations(3);
BENCHMARK(BM_RawSqlite3NoMutex)->Unit(benchmark::kMillisecond)->Iterations(3);
BENCHMARK(BM_AdoServerForwardOnly)->Unit(benchmark::kMillisecond)->Iterations(3);
BENCHMARK(BM_AdoClientOpenAndScan)->Unit(benchmark::kMillisecond)->Iterations(3);

int main(int argc, char** argv) {
  for (int i = 1; i < argc; ++i) {
    if (std::strncmp(argv[i], "--rows=", 7) == 0) g_rows = std::atol(argv[i] + 7);
  }
  benchmark::Initialize(&argc, argv);
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  return 0;
}
