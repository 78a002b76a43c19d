// bench/input_size_bench.cpp: how the cost of large inputs grows with
// their size: a batch of N statements in one command text, a command with
// N parameters, a connect string with N keywords. Each size is timed
// once, in CPU time; a cost that is linear in N doubles from one size to
// the next. Not a Google Benchmark program.
//
//   ./input_size_bench
#include <korvo/Korvo.h>

#include <cstdio>
#include <ctime>
#include <functional>
#include <string>

namespace {

struct ComScope {
  ComScope() { CoInitializeEx(nullptr, COINIT_MULTITHREADED); }
  ~ComScope() { CoUninitialize(); }
};

// CPU seconds of this process (the machine may be shared, so wall time
// says less about the work done).
double Seconds(const std::function<void()>& fn) {
  const std::clock_t start = std::clock();
  fn();
  return static_cast<double>(std::clock() - start) / CLOCKS_PER_SEC;
}

void Batch(long n) {
  _ConnectionPtr c;
  c.CreateInstance(__uuidof(Connection));
  c->Open("Provider=SQLite;Data Source=:memory:", "", "", adConnectUnspecified);
  c->Execute("CREATE TABLE t (v INT)", nullptr, adExecuteNoRecords);
  std::string batch;
  for (long i = 0; i < n; ++i) batch += "INSERT INTO t VALUES (" + std::to_string(i) + ");";
  const double s =
      Seconds([&] { c->Execute(_bstr_t(batch.c_str()), nullptr, adExecuteNoRecords); });
  std::printf("batch of %7ld INSERTs (%5.1f MB): %6.3f s\n", n, batch.size() / 1e6, s);
}

void SelectOnes(long megabytes) {
  _ConnectionPtr c;
  c.CreateInstance(__uuidof(Connection));
  c->Open("Provider=SQLite;Data Source=:memory:", "", "", adConnectUnspecified);
  std::string batch;
  while (batch.size() < static_cast<size_t>(megabytes) * 1000000) batch += "select 1;";
  const double s =
      Seconds([&] { c->Execute(_bstr_t(batch.c_str()), nullptr, adExecuteNoRecords); });
  std::printf("%2ld MB of \"select 1;\": %6.3f s\n", megabytes, s);
}

void ManyParameters(long n) {
  _ConnectionPtr c;
  c.CreateInstance(__uuidof(Connection));
  c->Open("Provider=SQLite;Data Source=:memory:", "", "", adConnectUnspecified);
  _CommandPtr cmd;
  cmd.CreateInstance(__uuidof(Command));
  cmd->PutRefActiveConnection(c);
  std::string rows;
  const double s = Seconds([&] {
    ParametersPtr params = cmd->GetParameters();
    for (long i = 0; i < n; ++i) {
      rows += i ? ",(?)" : "(?)";
      params->Append(cmd->CreateParameter("", adInteger, adParamInput, 4, _variant_t(i)));
    }
    cmd->PutCommandText(_bstr_t(("SELECT count(*) FROM (VALUES " + rows + ")").c_str()));
    try {
      cmd->Execute(nullptr, nullptr, adCmdText);
    } catch (const _com_error&) {
      // past the engine's limit: its error is the result
    }
  });
  std::printf("command with %6ld parameters: %6.3f s\n", n, s);
}

void ManyKeywords(long n) {
  std::string text = "Provider=SQLite;Data Source=:memory:";
  for (long i = 0; i < n; ++i) text += ";Key" + std::to_string(i) + "=" + std::to_string(i);
  _ConnectionPtr c;
  c.CreateInstance(__uuidof(Connection));
  const double s = Seconds([&] { c->Open(_bstr_t(text.c_str()), "", "", adConnectUnspecified); });
  std::printf("connect string with %6ld keywords: %6.3f s\n", n, s);
}

}  // namespace

int main() {
  ComScope com;
  for (long n : {40000L, 80000L, 160000L}) Batch(n);
  for (long mb : {2L, 5L, 10L}) SelectOnes(mb);
  for (long n : {75000L, 150000L, 300000L}) ManyParameters(n);
  for (long n : {10000L, 20000L, 40000L}) ManyKeywords(n);
  return 0;
}
