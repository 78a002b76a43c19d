// Reading 1,000,000 rows (INTEGER key, INT code, 20-character TEXT, REAL,
// DATETIME text, TEXT with 10% NULL) through the ADO object model, every
// field's Value read on every row, beside a raw sqlite3 loop over the same
// file. Results are written up in bench/README.md.
//
//   build/bench/ado_read_bench [--rows=N]
// The database is made once in $TMPDIR (kept between runs).
#include <benchmark/benchmark.h>
#include <korvo/Korvo.h>
#include <korvo/ado/ado.h>
#include <sqlite3.h>

#include <string>
#include <vector>

#include "read_table_support.h"

namespace {

using korvo::bench::FileSize;
using korvo::bench::g_rows;
using korvo::bench::MakeReadTable;
using korvo::bench::ReadTablePath;
using korvo::bench::ResidentBytes;

void BM_RawSqlite3(benchmark::State& state) {
  korvo::bench::RawSqliteScan(state, SQLITE_OPEN_READONLY);
}
void BM_RawSqlite3NoMutex(benchmark::State& state) {
  korvo::bench::RawSqliteScan(state, SQLITE_OPEN_READONLY | SQLITE_OPEN_NOMUTEX);
}

// Opens the recordset and reads every field of every row through the raw
// methods, as the library's recordset does.
void AdoRead(benchmark::State& state, CursorLocationEnum location) {
  const std::string path = ReadTablePath();
  MakeReadTable(path);
  CoInitializeEx(nullptr, COINIT_MULTITHREADED);
  {
    _ConnectionPtr conn;
    conn.CreateInstance(__uuidof(Connection));
    conn->Open(_bstr_t(("Provider=SQLite;Data Source=" + path).c_str()), "", "",
               adConnectUnspecified);
    long snapshot_bytes = 0;
    for (auto _ : state) {
      _RecordsetPtr rs;
      rs.CreateInstance(__uuidof(Recordset));
      rs->PutCursorLocation(location);
      rs->PutCacheSize(100);
      const long before = ResidentBytes();
      rs->Open("SELECT * FROM t", _variant_t(static_cast<IDispatch*>(conn)), adOpenForwardOnly,
               adLockReadOnly, adCmdText);
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
    if (location == adUseClient)
      state.counters["snapshot_MB"] = static_cast<double>(snapshot_bytes) / 1e6;
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
  korvo::bench::ParseRows(argc, argv);
  benchmark::Initialize(&argc, argv);
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  return 0;
}
