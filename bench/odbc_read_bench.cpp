// Reading 1,000,000 rows from PostgreSQL: through Korvo's ODBC provider (a
// forward-only server cursor, CacheSize 1000, every field's value read)
// and its native PostgreSQL provider, as ADO Recordsets and as
// forward-only CRecordsets, beside raw psqlODBC (SQLBindCol row arrays of
// 1000 with SQLFetchScroll) and libpq in single-row mode; and inserting
// rows in one transaction through CRecordset AddNew/Update over the
// native provider beside a libpq loop of a prepared INSERT. Needs the
// servers of scripts/servers.sh (source its env.sh). Each repetition also
// reports server_ms, the CPU time the server's processes used meanwhile.
// Results are written up in bench/README.md.
//
//   build/bench/odbc_read_bench [--rows=N] [--insert-rows=N] [--keep-table]
//   (defaults 1,000,000 each; --keep-table leaves the read table in place
//   for the next run and reuses one of N rows, so that repeated runs do not
//   pay for filling it)
#include <benchmark/benchmark.h>
#include <korvo/Korvo.h>
#include <korvo/ado/ado.h>
#include <korvo/db/CDatabase.h>
#include <korvo/recordset/CRecordset.h>
#include <korvo/recordset/rfx.h>
#include <libpq-fe.h>
// unixODBC's stand-ins for some Windows types differ from Korvo's; its
// names are moved aside while its headers are read.
#define WCHAR odbc_WCHAR
#define LPWSTR odbc_LPWSTR
#define LPCWSTR odbc_LPCWSTR
#define ULONG odbc_ULONG
#define tagTIMESTAMP_STRUCT odbc_tagTIMESTAMP_STRUCT
#define TIMESTAMP_STRUCT odbc_TIMESTAMP_STRUCT
#include <sql.h>
#include <sqlext.h>
#undef WCHAR
#undef LPWSTR
#undef LPCWSTR
#undef ULONG
#undef tagTIMESTAMP_STRUCT
#undef TIMESTAMP_STRUCT
#undef BOOL

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <map>
#include <string>
#include <vector>

namespace {

long g_rows = 1000000;
long g_insert_rows = 1000000;
bool g_keep_table = false;
constexpr SQLULEN kBlock = 1000;
constexpr const char* kSelect = "SELECT id, code, name, amount FROM korvo_read_bench ORDER BY id";

std::string Dsn() {
  const char* dsn = std::getenv("KORVO_TEST_PG_DSN");
  return dsn ? dsn : "";
}
std::string Native() {
  const char* native = std::getenv("KORVO_TEST_PG_NATIVE");
  return native ? native : "";
}
std::string LibpqInfo() {
  const char* port = std::getenv("KORVO_TEST_PG_PORT");
  return std::string("host=127.0.0.1 dbname=korvo user=postgres port=") + (port ? port : "5432");
}

// CPU time (ns) each of the server's processes has used so far: every
// child of the postmaster of KORVO_TEST_PG_DATA (the backends), from
// their scheduler statistics; empty when that cannot be read.
std::map<long, double> ServerCpuNs() {
  std::map<long, double> used;
  const char* data = std::getenv("KORVO_TEST_PG_DATA");
  if (data == nullptr) return used;
  long postmaster = 0;
  if (FILE* f = std::fopen((std::string(data) + "/postmaster.pid").c_str(), "r")) {
    if (std::fscanf(f, "%ld", &postmaster) != 1) postmaster = 0;
    std::fclose(f);
  }
  if (postmaster <= 0) return used;
  const std::string self = std::to_string(postmaster);
  if (FILE* f = std::fopen(("/proc/" + self + "/task/" + self + "/children").c_str(), "r")) {
    long child = 0;
    while (std::fscanf(f, "%ld", &child) == 1) {
      if (FILE* stat = std::fopen(("/proc/" + std::to_string(child) + "/schedstat").c_str(), "r")) {
        double run = 0;
        if (std::fscanf(stat, "%lf", &run) == 1) used[child] = run;
        std::fclose(stat);
      }
    }
    std::fclose(f);
  }
  return used;
}

// Records the server's CPU time over one iteration as the counter
// "server_ms": what its processes used meanwhile (a backend that ends
// meanwhile, such as the previous benchmark's, is left out). A client
// that reads faster than the server makes its rows waits for it, so the
// wall time of such a read is at least this.
class ServerCpu {
 public:
  explicit ServerCpu(benchmark::State& state) : state_(state), start_(ServerCpuNs()) {}
  ~ServerCpu() {
    double ns = 0;
    for (const auto& [pid, used] : ServerCpuNs()) {
      const auto before = start_.find(pid);
      ns += used - (before == start_.end() ? 0 : before->second);
    }
    state_.counters["server_ms"] = ns / 1e6;
  }

 private:
  benchmark::State& state_;
  std::map<long, double> start_;
};

// The columns of the read table and of korvo_write_bench, as members.
class BenchRow : public CRecordset {
 public:
  explicit BenchRow(CDatabase* db) : CRecordset(db) { m_nFields = 4; }
  long m_id = 0;
  long m_code = 0;
  CTString m_name;
  double m_amount = 0;
  void DoFieldExchange(CFieldExchange* pFX) override {
    RFX_Long(pFX, "id", m_id);
    RFX_Long(pFX, "code", m_code);
    RFX_Text(pFX, "name", m_name);
    RFX_Double(pFX, "amount", m_amount);
  }
};

constexpr const char* kCreateWriteTable =
    "DROP TABLE IF EXISTS korvo_write_bench; CREATE TABLE korvo_write_bench (id INT PRIMARY KEY, "
    "code INT, name VARCHAR(20), amount DOUBLE PRECISION)";

void Name(char* out, long i) { std::snprintf(out, 32, "name-%015ld", i); }

// Raw ODBC: a statement on a fresh connection, for set-up and the raw side.
struct RawOdbc {
  SQLHENV env = SQL_NULL_HENV;
  SQLHDBC dbc = SQL_NULL_HDBC;
  bool ok = false;
  RawOdbc() {
    SQLAllocHandle(SQL_HANDLE_ENV, SQL_NULL_HANDLE, &env);
    SQLSetEnvAttr(env, SQL_ATTR_ODBC_VERSION, reinterpret_cast<SQLPOINTER>(SQL_OV_ODBC3), 0);
    SQLAllocHandle(SQL_HANDLE_DBC, env, &dbc);
    std::string dsn = Dsn();
    ok = SQL_SUCCEEDED(SQLDriverConnect(dbc, nullptr, reinterpret_cast<SQLCHAR*>(dsn.data()),
                                        SQL_NTS, nullptr, 0, nullptr, SQL_DRIVER_NOPROMPT));
  }
  ~RawOdbc() {
    SQLDisconnect(dbc);
    SQLFreeHandle(SQL_HANDLE_DBC, dbc);
    SQLFreeHandle(SQL_HANDLE_ENV, env);
  }
  void Exec(const std::string& sql) {
    SQLHSTMT s;
    SQLAllocHandle(SQL_HANDLE_STMT, dbc, &s);
    SQLExecDirect(s, reinterpret_cast<SQLCHAR*>(const_cast<char*>(sql.c_str())), SQL_NTS);
    SQLFreeHandle(SQL_HANDLE_STMT, s);
  }
};

// Whether the read table is there with g_rows rows.
bool ReadTableReady() {
  PGconn* pg = PQconnectdb(LibpqInfo().c_str());
  PGresult* r = PQexec(pg, "SELECT count(*) FROM korvo_read_bench");
  const bool ready =
      PQresultStatus(r) == PGRES_TUPLES_OK && std::atol(PQgetvalue(r, 0, 0)) == g_rows;
  PQclear(r);
  PQfinish(pg);
  return ready;
}

void Prepare() {
  if (g_keep_table && ReadTableReady()) return;
  RawOdbc raw;
  if (!raw.ok) return;
  raw.Exec("DROP TABLE IF EXISTS korvo_read_bench");
  raw.Exec(
      "CREATE TABLE korvo_read_bench (id INT PRIMARY KEY, code INT, name VARCHAR(20), amount "
      "DOUBLE PRECISION)");
  raw.Exec(
      "INSERT INTO korvo_read_bench SELECT g, g % 1000, 'name-' || lpad(g::text, 15, '0'), g * 0.5 "
      "FROM generate_series(1, " +
      std::to_string(g_rows) + ") g");
  raw.Exec("ANALYZE korvo_read_bench");
}

void AdoScan(benchmark::State& state, const std::string& connect) {
  CoInitializeEx(nullptr, COINIT_MULTITHREADED);
  {
    _ConnectionPtr conn;
    conn.CreateInstance(__uuidof(Connection));
    conn->Open(_bstr_t(connect.c_str()), "", "", adConnectUnspecified);
    for (auto _ : state) {
      ServerCpu server_cpu(state);
      _RecordsetPtr rs;
      rs.CreateInstance(__uuidof(Recordset));
      rs->PutCacheSize(static_cast<long>(kBlock));
      rs->Open(kSelect, _variant_t(static_cast<IDispatch*>(conn)), adOpenForwardOnly,
               adLockReadOnly, adCmdText);
      FieldsPtr fields = rs->GetFields();
      FieldPtr f[4] = {fields->GetItem(0L), fields->GetItem(1L), fields->GetItem(2L),
                       fields->GetItem(3L)};
      long rows = 0;
      double sum = 0;
      while (!rs->GetadoEOF()) {
        for (FieldPtr& field : f) {
          _variant_t v = field->GetValue();
          if (v.vt == VT_R8) sum += v.dblVal;
          benchmark::DoNotOptimize(v);
        }
        ++rows;
        rs->MoveNext();
      }
      benchmark::DoNotOptimize(sum);
      state.counters["rows"] = static_cast<double>(rows);
      state.SetItemsProcessed(state.items_processed() + rows);
    }
    conn->Close();
  }
  CoUninitialize();
}

void BM_KorvoOdbcProvider(benchmark::State& state) { AdoScan(state, "ODBC;" + Dsn()); }
void BM_KorvoNativeProvider(benchmark::State& state) { AdoScan(state, Native()); }

void RecordsetScan(benchmark::State& state, const std::string& connect) {
  CoInitializeEx(nullptr, COINIT_MULTITHREADED);
  try {
    CDatabase db;
    db.OpenEx(connect.c_str());
    for (auto _ : state) {
      ServerCpu server_cpu(state);
      BenchRow rs(&db);
      rs.Open(CRecordset::forwardOnly, kSelect, CRecordset::readOnly);
      long rows = 0;
      double sum = 0;
      for (; !rs.IsEOF(); rs.MoveNext()) {
        sum += rs.m_amount + static_cast<double>(rs.m_id + rs.m_code + rs.m_name.GetLength());
        ++rows;
      }
      benchmark::DoNotOptimize(sum);
      rs.Close();
      state.counters["rows"] = static_cast<double>(rows);
      state.SetItemsProcessed(state.items_processed() + rows);
    }
    db.Close();
  } catch (CDBException* e) {
    state.SkipWithError(static_cast<const char*>(e->m_strErrorText));
    e->Delete();
  }
  CoUninitialize();
}

void BM_CRecordsetOdbc(benchmark::State& state) { RecordsetScan(state, "ODBC;" + Dsn()); }
void BM_CRecordsetNative(benchmark::State& state) { RecordsetScan(state, Native()); }

void BM_CRecordsetNativeAddNew(benchmark::State& state) {
  CoInitializeEx(nullptr, COINIT_MULTITHREADED);
  try {
    CDatabase db;
    db.OpenEx(Native().c_str());
    for (auto _ : state) {
      ServerCpu server_cpu(state);
      state.PauseTiming();
      db.ExecuteSQL(kCreateWriteTable);
      state.ResumeTiming();
      BenchRow rs(&db);
      rs.Open(CRecordset::useDefaultType, "korvo_write_bench");
      db.BeginTrans();
      char name[32];
      for (long i = 1; i <= g_insert_rows; ++i) {
        Name(name, i);
        rs.AddNew();
        rs.m_id = i;
        rs.m_code = i % 1000;
        rs.m_name = name;
        rs.m_amount = static_cast<double>(i) * 0.25;
        rs.Update();
      }
      db.CommitTrans();
      rs.Close();
      state.SetItemsProcessed(state.items_processed() + g_insert_rows);
    }
    db.ExecuteSQL("DROP TABLE IF EXISTS korvo_write_bench");
    db.Close();
  } catch (CDBException* e) {
    state.SkipWithError(static_cast<const char*>(e->m_strErrorText));
    e->Delete();
  }
  CoUninitialize();
}

void BM_LibpqPreparedInsert(benchmark::State& state) {
  PGconn* pg = PQconnectdb(LibpqInfo().c_str());
  for (auto _ : state) {
    ServerCpu server_cpu(state);
    state.PauseTiming();
    PQclear(PQexec(pg, kCreateWriteTable));
    state.ResumeTiming();
    PQclear(PQexec(pg, "BEGIN"));
    PQclear(PQprepare(
        pg, "ins", "INSERT INTO korvo_write_bench (id, code, name, amount) VALUES ($1, $2, $3, $4)",
        4, nullptr));
    char id[24], code[24], name[32], amount[32];
    const char* values[4] = {id, code, name, amount};
    for (long i = 1; i <= g_insert_rows; ++i) {
      std::snprintf(id, sizeof id, "%ld", i);
      std::snprintf(code, sizeof code, "%ld", i % 1000);
      Name(name, i);
      std::snprintf(amount, sizeof amount, "%.17g", static_cast<double>(i) * 0.25);
      PGresult* r = PQexecPrepared(pg, "ins", 4, values, nullptr, nullptr, 0);
      if (PQresultStatus(r) != PGRES_COMMAND_OK) state.SkipWithError(PQresultErrorMessage(r));
      PQclear(r);
    }
    PQclear(PQexec(pg, "COMMIT"));
    PQclear(PQexec(pg, "DEALLOCATE ins"));
    state.SetItemsProcessed(state.items_processed() + g_insert_rows);
  }
  PQclear(PQexec(pg, "DROP TABLE IF EXISTS korvo_write_bench"));
  PQfinish(pg);
}

void BM_RawPsqlOdbcBlockFetch(benchmark::State& state) {
  RawOdbc raw;
  for (auto _ : state) {
    ServerCpu server_cpu(state);
    SQLHSTMT s;
    SQLAllocHandle(SQL_HANDLE_STMT, raw.dbc, &s);
    SQLULEN fetched = 0;
    SQLSetStmtAttr(s, SQL_ATTR_ROW_ARRAY_SIZE, reinterpret_cast<SQLPOINTER>(kBlock), 0);
    SQLSetStmtAttr(s, SQL_ATTR_ROWS_FETCHED_PTR, &fetched, 0);
    std::vector<int64_t> id(kBlock), code(kBlock);
    std::vector<char> name(kBlock * 81);
    std::vector<double> amount(kBlock);
    std::vector<SQLLEN> ind[4] = {std::vector<SQLLEN>(kBlock), std::vector<SQLLEN>(kBlock),
                                  std::vector<SQLLEN>(kBlock), std::vector<SQLLEN>(kBlock)};
    SQLExecDirect(s, reinterpret_cast<SQLCHAR*>(const_cast<char*>(kSelect)), SQL_NTS);
    SQLBindCol(s, 1, SQL_C_SBIGINT, id.data(), 8, ind[0].data());
    SQLBindCol(s, 2, SQL_C_SBIGINT, code.data(), 8, ind[1].data());
    SQLBindCol(s, 3, SQL_C_CHAR, name.data(), 81, ind[2].data());
    SQLBindCol(s, 4, SQL_C_DOUBLE, amount.data(), 8, ind[3].data());
    long rows = 0;
    double sum = 0;
    while (SQL_SUCCEEDED(SQLFetchScroll(s, SQL_FETCH_NEXT, 0))) {
      for (SQLULEN r = 0; r < fetched; ++r) sum += amount[r] + static_cast<double>(ind[2][r]);
      rows += static_cast<long>(fetched);
    }
    benchmark::DoNotOptimize(sum);
    SQLFreeHandle(SQL_HANDLE_STMT, s);
    state.counters["rows"] = static_cast<double>(rows);
    state.SetItemsProcessed(state.items_processed() + rows);
  }
}

void BM_LibpqSingleRowMode(benchmark::State& state) {
  PGconn* pg = PQconnectdb(LibpqInfo().c_str());
  for (auto _ : state) {
    ServerCpu server_cpu(state);
    PQsendQuery(pg, kSelect);
    PQsetSingleRowMode(pg);
    long rows = 0;
    double sum = 0;
    while (PGresult* res = PQgetResult(pg)) {
      if (PQresultStatus(res) == PGRES_SINGLE_TUPLE) {
        sum += std::atof(PQgetvalue(res, 0, 3)) + std::atol(PQgetvalue(res, 0, 0)) +
               PQgetlength(res, 0, 2);
        ++rows;
      }
      PQclear(res);
    }
    benchmark::DoNotOptimize(sum);
    state.counters["rows"] = static_cast<double>(rows);
    state.SetItemsProcessed(state.items_processed() + rows);
  }
  PQfinish(pg);
}

}  // namespace

int main(int argc, char** argv) {
  for (int i = 1; i < argc; ++i) {
    if (std::strncmp(argv[i], "--rows=", 7) == 0) g_rows = std::atol(argv[i] + 7);
    if (std::strncmp(argv[i], "--insert-rows=", 14) == 0) g_insert_rows = std::atol(argv[i] + 14);
    if (std::strcmp(argv[i], "--keep-table") == 0) g_keep_table = true;
  }
  if (Dsn().empty() || Native().empty()) {
    std::fprintf(stderr,
                 "KORVO_TEST_PG_DSN or KORVO_TEST_PG_NATIVE is not set: run scripts/servers.sh "
                 "start and source its env.sh\n");
    return 1;
  }
  Prepare();
  for (auto* b : {benchmark::RegisterBenchmark("KorvoOdbcProvider", BM_KorvoOdbcProvider),
                  benchmark::RegisterBenchmark("KorvoNativeProvider", BM_KorvoNativeProvider),
                  benchmark::RegisterBenchmark("CRecordsetOdbc", BM_CRecordsetOdbc),
                  benchmark::RegisterBenchmark("CRecordsetNative", BM_CRecordsetNative),
                  benchmark::RegisterBenchmark("RawPsqlOdbcBlockFetch", BM_RawPsqlOdbcBlockFetch),
                  benchmark::RegisterBenchmark("LibpqSingleRowMode", BM_LibpqSingleRowMode),
                  benchmark::RegisterBenchmark("CRecordsetNativeAddNew", BM_CRecordsetNativeAddNew),
                  benchmark::RegisterBenchmark("LibpqPreparedInsert", BM_LibpqPreparedInsert)}) {
    b->Iterations(1)->Repetitions(3)->Unit(benchmark::kMillisecond)->UseRealTime();
  }
  benchmark::Initialize(&argc, argv);
  benchmark::RunSpecifiedBenchmarks();
  if (!g_keep_table) RawOdbc().Exec("DROP TABLE IF EXISTS korvo_read_bench");
  return 0;
}
