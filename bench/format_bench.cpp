// bench/format_bench.cpp: the formatting engine beside the C library's
// snprintf on the formats the library uses most (the trace header, a
// name=value line), plus the wide engine and counting mode.
#include <benchmark/benchmark.h>

#include <cstdio>

#include <korvo/Korvo.h>

namespace {

using korvo::platform::Format;

constexpr const char* kTraceHeader = "\r\n[%lu - %04u/%02u/%02u %u:%u:%u]";

void BM_TraceHeader_Korvo(benchmark::State& state) {
  char out[260];
  unsigned long thread = 140235021911808UL;
  for (auto _ : state) {
    benchmark::DoNotOptimize(Format(out, sizeof out, kTraceHeader, thread, 2026u, 12u, 5u, 23u, 7u, 9u));
    benchmark::ClobberMemory();
  }
}
BENCHMARK(BM_TraceHeader_Korvo);

void BM_TraceHeader_Snprintf(benchmark::State& state) {
  char out[260];
  unsigned long thread = 140235021911808UL;
  for (auto _ : state) {
    benchmark::DoNotOptimize(snprintf(out, sizeof out, kTraceHeader, thread, 2026u, 12u, 5u, 23u, 7u, 9u));
    benchmark::ClobberMemory();
  }
}
BENCHMARK(BM_TraceHeader_Snprintf);

void BM_TraceHeader_KorvoWide(benchmark::State& state) {
  WCHAR out[260];
  unsigned long thread = 140235021911808UL;
  for (auto _ : state) {
    benchmark::DoNotOptimize(Format(out, 260, u"\r\n[%lu - %04u/%02u/%02u %u:%u:%u]", thread, 2026u,
                                    12u, 5u, 23u, 7u, 9u));
    benchmark::ClobberMemory();
  }
}
BENCHMARK(BM_TraceHeader_KorvoWide);

// What CTString::FormatV does: count, then format into a buffer of that size.
void BM_TraceHeader_KorvoCountThenWrite(benchmark::State& state) {
  char out[260];
  unsigned long thread = 140235021911808UL;
  for (auto _ : state) {
    int n = Format(nullptr, 0, kTraceHeader, thread, 2026u, 12u, 5u, 23u, 7u, 9u);
    benchmark::DoNotOptimize(
        Format(out, static_cast<size_t>(n) + 1, kTraceHeader, thread, 2026u, 12u, 5u, 23u, 7u, 9u));
    benchmark::ClobberMemory();
  }
}
BENCHMARK(BM_TraceHeader_KorvoCountThenWrite);

void BM_NameValue_Korvo(benchmark::State& state) {
  char out[128];
  for (auto _ : state) {
    benchmark::DoNotOptimize(Format(out, sizeof out, "%s=%d, %.3f", "quantity", 4711, 3.14159265));
    benchmark::ClobberMemory();
  }
}
BENCHMARK(BM_NameValue_Korvo);

void BM_NameValue_Snprintf(benchmark::State& state) {
  char out[128];
  for (auto _ : state) {
    benchmark::DoNotOptimize(snprintf(out, sizeof out, "%s=%d, %.3f", "quantity", 4711, 3.14159265));
    benchmark::ClobberMemory();
  }
}
BENCHMARK(BM_NameValue_Snprintf);

void BM_NameValue_KorvoWideWithNarrowText(benchmark::State& state) {
  WCHAR out[128];
  for (auto _ : state) {
    benchmark::DoNotOptimize(Format(out, 128, u"%S=%d, %.3f", "quantity", 4711, 3.14159265));
    benchmark::ClobberMemory();
  }
}
BENCHMARK(BM_NameValue_KorvoWideWithNarrowText);

}  // namespace

BENCHMARK_MAIN();
