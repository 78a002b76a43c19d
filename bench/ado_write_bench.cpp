// Writing rows through an updatable client cursor (AddNew, Field.Value
// puts, Update; and single-row edits through Update) beside raw sqlite3
// prepared statements doing the same work, all inside one transaction on
// a file database. Results are written up in bench/README.md.
//
//   build/bench/ado_write_bench [--rows=N]   (default 1,000,000 inserts;
//                                             edits are a tenth of that)
#include <benchmark/benchmark.h>
#include <korvo/Korvo.h>
#include <korvo/ado/ado.h>
#include <sqlite3.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "write_table_support.h"

namespace {

using korvo::bench::CommitAndRemove;
using korvo::bench::FormatName;
using korvo::bench::SetRate;

long g_rows = 1000000;
constexpr const char* kCreate = korvo::bench::kCreateWriteTable;

std::string DatabasePath(const char* what) { return korvo::bench::WriteTablePath(what); }

void RawInsert(benchmark::State& state) { korvo::bench::RawInsertRows(state, g_rows); }

void AdoAddNew(benchmark::State& state) {
  for (auto _ : state) {
    const std::string path = DatabasePath("ado");
    _ConnectionPtr conn;
    conn.CreateInstance(__uuidof(Connection));
    conn->Open(_bstr_t(("Provider=SQLite;Data Source=" + path).c_str()), "", "",
               adConnectUnspecified);
    conn->Execute(kCreate, nullptr, adExecuteNoRecords);
    _RecordsetPtr rs;
    rs.CreateInstance(__uuidof(Recordset));
    rs->PutCursorLocation(adUseClient);
    rs->Open("SELECT id, code, name, amount FROM t WHERE 0",
             _variant_t(static_cast<IDispatch*>(conn)), adOpenStatic, adLockOptimistic, adCmdText);
    FieldsPtr fields = rs->GetFields();
    FieldPtr code = fields->GetItem(1L), name_field = fields->GetItem(2L),
             amount = fields->GetItem(3L);
    conn->BeginTrans();
    char name[32];
    WCHAR wide[32];
    VARIANT v;
    for (long i = 1; i <= g_rows; ++i) {
      const int n = FormatName(name, i);
      for (int k = 0; k < n; ++k) wide[k] = static_cast<WCHAR>(name[k]);
      rs->raw_AddNew(vtMissing, vtMissing);
      v.vt = VT_I4;
      v.lVal = static_cast<long>(i % 1000);
      code->put_Value(v);
      v.vt = VT_BSTR;
      v.bstrVal = SysAllocStringLen(wide, static_cast<UINT>(n));
      name_field->put_Value(v);
      SysFreeString(v.bstrVal);
      v.vt = VT_R8;
      v.dblVal = i * 0.25;
      amount->put_Value(v);
      if (FAILED(rs->raw_Update(vtMissing, vtMissing))) {
        state.SkipWithError("Update failed");
        break;
      }
    }
    conn->CommitTrans();
    if (rs->GetRecordCount() != g_rows) state.SkipWithError("rows missing from the snapshot");
    rs->Close();
    conn->Close();
    unlink(path.c_str());
  }
  SetRate(state, g_rows);
}

long EditRows() { return g_rows / 10; }

// A table of EditRows() rows for the edit benchmarks.
std::string MakeEditTable(const char* what) {
  const std::string path = DatabasePath(what);
  sqlite3* db = nullptr;
  sqlite3_open(path.c_str(), &db);
  sqlite3_exec(db, kCreate, nullptr, nullptr, nullptr);
  sqlite3_exec(db, "BEGIN", nullptr, nullptr, nullptr);
  sqlite3_stmt* insert = nullptr;
  sqlite3_prepare_v2(db, "INSERT INTO t VALUES (?, ?, ?, ?)", -1, &insert, nullptr);
  char name[32];
  for (long i = 1; i <= EditRows(); ++i) {
    const int n = FormatName(name, i);
    sqlite3_bind_int64(insert, 1, i);
    sqlite3_bind_int(insert, 2, 0);
    sqlite3_bind_text(insert, 3, name, n, SQLITE_TRANSIENT);
    sqlite3_bind_double(insert, 4, i * 0.25);
    sqlite3_step(insert);
    sqlite3_reset(insert);
  }
  sqlite3_finalize(insert);
  sqlite3_exec(db, "COMMIT", nullptr, nullptr, nullptr);
  sqlite3_close(db);
  return path;
}

void RawUpdate(benchmark::State& state) {
  for (auto _ : state) {
    state.PauseTiming();
    const std::string path = MakeEditTable("rawedit");
    state.ResumeTiming();
    sqlite3* db = nullptr;
    sqlite3_open(path.c_str(), &db);
    sqlite3_stmt* update = nullptr;
    sqlite3_prepare_v2(db, "UPDATE t SET code = ? WHERE id = ?", -1, &update, nullptr);
    sqlite3_exec(db, "BEGIN", nullptr, nullptr, nullptr);
    for (long i = 1; i <= EditRows(); ++i) {
      sqlite3_bind_int(update, 1, static_cast<int>(i % 1000));
      sqlite3_bind_int64(update, 2, i);
      sqlite3_step(update);
      sqlite3_reset(update);
    }
    CommitAndRemove(db, update, path);
  }
  SetRate(state, EditRows());
}

void AdoUpdate(benchmark::State& state) {
  for (auto _ : state) {
    state.PauseTiming();
    const std::string path = MakeEditTable("adoedit");
    _ConnectionPtr conn;
    conn.CreateInstance(__uuidof(Connection));
    conn->Open(_bstr_t(("Provider=SQLite;Data Source=" + path).c_str()), "", "",
               adConnectUnspecified);
    _RecordsetPtr rs;
    rs.CreateInstance(__uuidof(Recordset));
    rs->PutCursorLocation(adUseClient);
    rs->Open("SELECT id, code, name, amount FROM t ORDER BY id",
             _variant_t(static_cast<IDispatch*>(conn)), adOpenStatic, adLockOptimistic, adCmdText);
    FieldPtr code = rs->GetFields()->GetItem(1L);
    state.ResumeTiming();
    conn->BeginTrans();
    VARIANT v;
    v.vt = VT_I4;
    for (long i = 1; i <= EditRows(); ++i) {
      v.lVal = static_cast<long>(i % 1000);
      code->put_Value(v);
      if (FAILED(rs->raw_Update(vtMissing, vtMissing))) {
        state.SkipWithError("Update failed");
        break;
      }
      rs->raw_MoveNext();
    }
    conn->CommitTrans();
    state.PauseTiming();
    rs->Close();
    conn->Close();
    unlink(path.c_str());
    state.ResumeTiming();
  }
  SetRate(state, EditRows());
}

BENCHMARK(RawInsert)->Unit(benchmark::kMillisecond)->Iterations(3)->UseRealTime();
BENCHMARK(AdoAddNew)->Unit(benchmark::kMillisecond)->Iterations(3)->UseRealTime();
BENCHMARK(RawUpdate)->Unit(benchmark::kMillisecond)->Iterations(3)->UseRealTime();
BENCHMARK(AdoUpdate)->Unit(benchmark::kMillisecond)->Iterations(3)->UseRealTime();

}  // namespace

int main(int argc, char** argv) {
  for (int i = 1; i < argc; ++i) {
    if (std::strncmp(argv[i], "--rows=", 7) == 0) g_rows = std::atol(argv[i] + 7);
  }
  CoInitializeEx(nullptr, COINIT_MULTITHREADED);
  benchmark::Initialize(&argc, argv);
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  CoUninitialize();
  return 0;
}
