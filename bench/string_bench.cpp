// Benchmarks of CTString beside the matching std::string operation: copy
// and destroy (shared, private, locked source), += in a loop, Find, and
// Format of a trace header. Each benchmark also reports the heap
// allocations it makes per iteration ("allocs"), counted by a replaced
// global operator new, which shows that copying a shared CTString
// allocates nothing.
#include <benchmark/benchmark.h>
#include <korvo/Korvo.h>

#include <cstdio>
#include <cstdlib>
#include <new>
#include <string>

namespace {
long g_allocations = 0;  // the benchmarks run on one thread
}

[[gnu::noinline]] void* operator new(std::size_t size) {
  ++g_allocations;
  if (void* p = std::malloc(size == 0 ? 1 : size)) return p;
  throw std::bad_alloc();
}
[[gnu::noinline]] void operator delete(void* p) noexcept { std::free(p); }
[[gnu::noinline]] void operator delete(void* p, std::size_t) noexcept { std::free(p); }

namespace {

// Longer than std::string's in-object capacity, like most SQL texts.
const char kText[] = "SELECT NAME, VALUE FROM SETTINGS WHERE OWNER = 42 ORDER BY NAME";

class AllocationCounter {
 public:
  explicit AllocationCounter(benchmark::State& state) : state_(state), start_(g_allocations) {}
  ~AllocationCounter() {
    state_.counters["allocs"] = benchmark::Counter(static_cast<double>(g_allocations - start_),
                                                   benchmark::Counter::kAvgIterations);
  }

 private:
  benchmark::State& state_;
  long start_;
};

void BM_CTString_CopyShared(benchmark::State& state) {
  CTString source(kText);
  CTString holder(source);  // count 2 before the benchmark copies
  AllocationCounter count(state);
  for (auto _ : state) {
    CTString copy(source);
    benchmark::DoNotOptimize(copy.GetLength());
  }
}
BENCHMARK(BM_CTString_CopyShared);

void BM_CTString_CopyPrivate(benchmark::State& state) {
  CTString source(kText);  // count 1: the copy makes it shared
  AllocationCounter count(state);
  for (auto _ : state) {
    CTString copy(source);
    benchmark::DoNotOptimize(copy.GetLength());
  }
}
BENCHMARK(BM_CTString_CopyPrivate);

void BM_CTString_CopyLocked(benchmark::State& state) {
  CTString source(kText);
  source.LockBuffer();  // copies of a locked string copy the text
  AllocationCounter count(state);
  for (auto _ : state) {
    CTString copy(source);
    benchmark::DoNotOptimize(copy.GetLength());
  }
  source.UnlockBuffer();
}
BENCHMARK(BM_CTString_CopyLocked);

void BM_StdString_Copy(benchmark::State& state) {
  std::string source(kText);
  AllocationCounter count(state);
  for (auto _ : state) {
    std::string copy(source);
    benchmark::DoNotOptimize(copy.size());
  }
}
BENCHMARK(BM_StdString_Copy);

void BM_CTString_AppendChar(benchmark::State& state) {
  const int n = static_cast<int>(state.range(0));
  AllocationCounter count(state);
  for (auto _ : state) {
    CTString s;
    for (int i = 0; i < n; ++i) s += 'x';
    benchmark::DoNotOptimize(s.GetLength());
  }
}
BENCHMARK(BM_CTString_AppendChar)->Arg(16)->Arg(256);

void BM_StdString_AppendChar(benchmark::State& state) {
  const int n = static_cast<int>(state.range(0));
  AllocationCounter count(state);
  for (auto _ : state) {
    std::string s;
    for (int i = 0; i < n; ++i) s += 'x';
    benchmark::DoNotOptimize(s.size());
  }
}
BENCHMARK(BM_StdString_AppendChar)->Arg(16)->Arg(256);

// The way the library builds SQL: a few pieces appended to one string.
void BM_CTString_AppendPieces(benchmark::State& state) {
  AllocationCounter count(state);
  for (auto _ : state) {
    CTString s("SELECT ");
    s += "NAME, VALUE";
    s += " FROM ";
    s += "SETTINGS";
    s += " WHERE ";
    s += "OWNER = 42";
    benchmark::DoNotOptimize(s.GetLength());
  }
}
BENCHMARK(BM_CTString_AppendPieces);

void BM_StdString_AppendPieces(benchmark::State& state) {
  AllocationCounter count(state);
  for (auto _ : state) {
    std::string s("SELECT ");
    s += "NAME, VALUE";
    s += " FROM ";
    s += "SETTINGS";
    s += " WHERE ";
    s += "OWNER = 42";
    benchmark::DoNotOptimize(s.size());
  }
}
BENCHMARK(BM_StdString_AppendPieces);

void BM_CTString_Find(benchmark::State& state) {
  CTString s;
  for (int i = 0; i < 16; ++i) s += kText;
  s += " LIMIT 1";
  for (auto _ : state) benchmark::DoNotOptimize(s.Find("LIMIT"));
}
BENCHMARK(BM_CTString_Find);

void BM_StdString_Find(benchmark::State& state) {
  std::string s;
  for (int i = 0; i < 16; ++i) s += kText;
  s += " LIMIT 1";
  for (auto _ : state) benchmark::DoNotOptimize(s.find("LIMIT"));
}
BENCHMARK(BM_StdString_Find);

const char kTraceHeader[] = "\r\n[%lu - %04u/%02u/%02u %u:%u:%u]";

void BM_CTString_FormatTraceHeader(benchmark::State& state) {
  CTString s;
  AllocationCounter count(state);
  for (auto _ : state) {
    s.Format(kTraceHeader, 123456UL, 2026u, 12u, 5u, 23u, 59u, 7u);
    benchmark::DoNotOptimize(s.GetLength());
  }
}
BENCHMARK(BM_CTString_FormatTraceHeader);

// The same two passes (count, then write) with the C library's snprintf.
void BM_StdString_FormatTraceHeader(benchmark::State& state) {
  std::string s;
  AllocationCounter count(state);
  for (auto _ : state) {
    const int n = std::snprintf(nullptr, 0, kTraceHeader, 123456UL, 2026u, 12u, 5u, 23u, 59u, 7u);
    s.resize(static_cast<size_t>(n));
    std::snprintf(s.data(), s.size() + 1, kTraceHeader, 123456UL, 2026u, 12u, 5u, 23u, 59u, 7u);
    benchmark::DoNotOptimize(s.size());
  }
}
BENCHMARK(BM_StdString_FormatTraceHeader);

}  // namespace

BENCHMARK_MAIN();
