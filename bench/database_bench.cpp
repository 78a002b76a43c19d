// bench/database_bench.cpp: the cost of the connection layer around a
// statement: ExecuteSQL on an in-memory SQLite database with and without
// the global statement lock, the same statement through the ADO connection
// directly, and PrintTrace. Run once as is (tracing off) and once with
// KORVO_REGISTRY naming a registry file that switches the trace on.
#include <benchmark/benchmark.h>
#include <korvo/Korvo.h>

namespace {

struct ComScope {
  ComScope() { CoInitializeEx(nullptr, COINIT_MULTITHREADED); }
  ~ComScope() { CoUninitialize(); }
};

void BM_ExecuteSQL(benchmark::State& state) {
  ComScope com;
  CDatabase::SetCriticalSection(state.range(0) != 0);
  {
    CDatabase db;
    db.OpenEx("Provider=SQLite;Data Source=:memory:");
    db.ExecuteSQL("CREATE TABLE t (v INTEGER)");
    db.ExecuteSQL("INSERT INTO t VALUES (1)");
    long affected = 0;
    for (auto _ : state) {
      db.ExecuteSQL("UPDATE t SET v = v + 1", &affected);
      benchmark::DoNotOptimize(affected);
    }
  }
  CDatabase::SetCriticalSection(FALSE);
}
BENCHMARK(BM_ExecuteSQL)->Arg(0)->Arg(1)->ArgName("lock15");

void BM_AdoExecuteDirect(benchmark::State& state) {
  ComScope com;
  CDatabase db;
  db.OpenEx("Provider=SQLite;Data Source=:memory:");
  db.ExecuteSQL("CREATE TABLE t (v INTEGER)");
  db.ExecuteSQL("INSERT INTO t VALUES (1)");
  _ConnectionPtr connection = db.GetAdoConnection();
  _bstr_t statement("UPDATE t SET v = v + 1");
  for (auto _ : state) {
    _variant_t affected;
    connection->Execute(statement, &affected, 0);
    benchmark::DoNotOptimize(affected);
  }
}
BENCHMARK(BM_AdoExecuteDirect);

void BM_PrintTrace(benchmark::State& state) {
  CKorvoTrace trace;
  for (auto _ : state) trace.PrintTrace("CDatabase::ExecuteSQL");
}
BENCHMARK(BM_PrintTrace);

}  // namespace

BENCHMARK_MAIN();
