// Reading and writing rows through a derived CRecordset (members bound with
// RFX_ functions), beside raw sqlite3 over the same file in the same run.
//
//   build/bench/recordset_bench [--rows=N]   (default 1,000,000)
//
// Reads use the read benchmarks' table (bench/read_table_support.h): a
// recordset with 6 bound members, every member touched on every row,
// opened forward-only read-only, with the default (static, client) type,
// and with multiRowFetch and _Bulk members. The write benchmark adds N rows
// through AddNew, member assignments and Update in one transaction, beside
// one reused prepared INSERT. Results are written up in bench/README.md.
#include <benchmark/benchmark.h>
#include <korvo/Korvo.h>
#include <sqlite3.h>

#include <string>

#include "read_table_support.h"
#include "write_table_support.h"

namespace {

using korvo::bench::g_rows;

std::string ConnectTo(const std::string& path) { return "Provider=SQLite;Data Source=" + path; }

// One member per column of the read table.
class ReadRow : public CRecordset {
 public:
  explicit ReadRow(CDatabase* db) : CRecordset(db) { m_nFields = 6; }
  long m_id = 0;
  int m_code = 0;
  CTString m_name;
  double m_amount = 0;
  CTTime m_created;
  CTString m_note;

  void DoFieldExchange(CFieldExchange* pFX) override {
    RFX_Long(pFX, "id", m_id);
    RFX_Int(pFX, "code", m_code);
    RFX_Text(pFX, "name", m_name);
    RFX_Double(pFX, "amount", m_amount);
    RFX_Date(pFX, "created", m_created);
    RFX_Text(pFX, "note", m_note);
  }
};

// The same columns through the multi-row functions.
class BulkRow : public CRecordset {
 public:
  explicit BulkRow(CDatabase* db) : CRecordset(db) { m_nFields = 6; }
  long* m_id = nullptr;
  int* m_code = nullptr;
  char* m_name = nullptr;
  double* m_amount = nullptr;
  TIMESTAMP_STRUCT* m_created = nullptr;
  char* m_note = nullptr;
  __int64* m_lengths[6] = {};

  void DoBulkFieldExchange(CFieldExchange* pFX) override {
    RFX_Long_Bulk(pFX, "id", &m_id, &m_lengths[0]);
    RFX_Int_Bulk(pFX, "code", &m_code, &m_lengths[1]);
    RFX_Text_Bulk(pFX, "name", &m_name, &m_lengths[2], 32);
    RFX_Double_Bulk(pFX, "amount", &m_amount, &m_lengths[3]);
    RFX_Date_Bulk(pFX, "created", &m_created, &m_lengths[4]);
    RFX_Text_Bulk(pFX, "note", &m_note, &m_lengths[5], 32);
  }
};

long Touch(const ReadRow& r) {
  return r.m_id + r.m_code + r.m_name.GetLength() + static_cast<long>(r.m_amount) +
         static_cast<long>(r.m_created.GetTime() & 1) + r.m_note.GetLength();
}
long Touch(const BulkRow& r) {
  return *r.m_id + *r.m_code + r.m_name[0] + static_cast<long>(*r.m_amount) + r.m_created->second +
         r.m_note[0];
}

// Opens `Row` on the read table with the given type and options and scans
// it to the end.
template <class Row>
void ScanRecordset(benchmark::State& state, unsigned int openType, unsigned long options) {
  const std::string path = korvo::bench::ReadTablePath();
  korvo::bench::MakeReadTable(path);
  CoInitializeEx(nullptr, COINIT_MULTITHREADED);
  {
    CDatabase db;
    db.OpenEx(ConnectTo(path).c_str());
    long open_bytes = 0;
    try {
      for (auto _ : state) {
        Row rs(&db);
        const long before = korvo::bench::ResidentBytes();
        rs.Open(openType, "t", options);
        open_bytes = korvo::bench::ResidentBytes() - before;
        long rows = 0, sum = 0;
        for (; !rs.IsEOF(); rs.MoveNext()) {
          sum += Touch(rs);
          ++rows;
        }
        benchmark::DoNotOptimize(sum);
        rs.Close();
        if (rows != g_rows) state.SkipWithError("row count");
      }
    } catch (CDBException* e) {
      state.SkipWithError(static_cast<const char*>(e->m_strErrorText));
      e->Delete();
    }
    state.SetItemsProcessed(state.iterations() * g_rows);
    state.counters["file_MB"] = static_cast<double>(korvo::bench::FileSize(path)) / 1e6;
    state.counters["open_MB"] = static_cast<double>(open_bytes) / 1e6;
  }
  CoUninitialize();
}

void BM_RawSqlite3(benchmark::State& state) {
  korvo::bench::RawSqliteScan(state, SQLITE_OPEN_READONLY);
}
void BM_RecordsetForwardOnlyReadOnly(benchmark::State& state) {
  ScanRecordset<ReadRow>(state, CRecordset::forwardOnly, CRecordset::readOnly);
}
void BM_RecordsetDefaultStatic(benchmark::State& state) {
  ScanRecordset<ReadRow>(state, CRecordset::useDefaultType, CRecordset::none);
}
void BM_RecordsetMultiRowFetch(benchmark::State& state) {
  ScanRecordset<BulkRow>(state, CRecordset::forwardOnly,
                         CRecordset::readOnly | CRecordset::multiRowFetch);
}

// The write table's three written columns.
class WriteRow : public CRecordset {
 public:
  explicit WriteRow(CDatabase* db) : CRecordset(db) { m_nFields = 3; }
  long m_code = 0;
  CTString m_name;
  double m_amount = 0;

  void DoFieldExchange(CFieldExchange* pFX) override {
    RFX_Long(pFX, "code", m_code);
    RFX_Text(pFX, "name", m_name);
    RFX_Double(pFX, "amount", m_amount);
  }
};

void BM_RawInsert(benchmark::State& state) { korvo::bench::RawInsertRows(state, g_rows); }

void BM_RecordsetAddNewUpdate(benchmark::State& state) {
  CoInitializeEx(nullptr, COINIT_MULTITHREADED);
  try {
    for (auto _ : state) {
      const std::string path = korvo::bench::WriteTablePath("recordset");
      CDatabase db;
      db.OpenEx(ConnectTo(path).c_str());
      db.ExecuteSQL(korvo::bench::kCreateWriteTable);
      {
        WriteRow rs(&db);
        rs.Open(CRecordset::useDefaultType, "t");
        db.BeginTrans();
        char name[32];
        for (long i = 1; i <= g_rows; ++i) {
          korvo::bench::FormatName(name, i);
          rs.AddNew();
          rs.m_code = i % 1000;
          rs.m_name = name;
          rs.m_amount = i * 0.25;
          rs.Update();
        }
        db.CommitTrans();
        rs.Close();
      }
      db.Close();
      unlink(path.c_str());
    }
  } catch (CDBException* e) {
    state.SkipWithError(static_cast<const char*>(e->m_strErrorText));
    e->Delete();
  }
  korvo::bench::SetRate(state, g_rows);
  CoUninitialize();
}

}  // namespace

BENCHMARK(BM_RawSqlite3)->Unit(benchmark::kMillisecond)->Iterations(3);
BENCHMARK(BM_RecordsetForwardOnlyReadOnly)->Unit(benchmark::kMillisecond)->Iterations(3);
BENCHMARK(BM_RecordsetDefaultStatic)->Unit(benchmark::kMillisecond)->Iterations(3);
BENCHMARK(BM_RecordsetMultiRowFetch)->Unit(benchmark::kMillisecond)->Iterations(3);
BENCHMARK(BM_RawInsert)->Unit(benchmark::kMillisecond)->Iterations(3)->UseRealTime();
BENCHMARK(BM_RecordsetAddNewUpdate)->Unit(benchmark::kMillisecond)->Iterations(3)->UseRealTime();

int main(int argc, char** argv) {
  korvo::bench::ParseRows(argc, argv);
  benchmark::Initialize(&argc, argv);
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  return 0;
}
