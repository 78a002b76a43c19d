// bench/format_bench.cpp: the formatting engine beside the C library's
// snprintf on the formats the library uses most (the trace header, a
// name=value line), plus the wide engine and counting mode.
#include <benchmark/benchmark.h>
#include <korvo/Korvo.h>

#include <cstdio>

namespace {

using korvo::platform::Format;

constexpr const char* kTraceHeader = "\r\n[%lu - %04u/%02u/%02u %u:%u:%u]";
constexpr unsigned long kThread = 140235021911808UL;

// Times one formatting call that returns a count.
template <typename Call>
void Measure(benchmark::State& state, Call call) {
  for (auto _ : state) {
    benchmark::DoNotOptimize(call());
    benchmark::ClobberMemory();
  }
}

char narrow[260];
WCHAR wide[260];

void BM_TraceHeader_Korvo(benchmark::State& state) {
  Measure(state, [] {
    return Format(narrow, sizeof narrow, kTraceHeader, kThread, 2026u, 12u, 5u, 23u, 7u, 9u);
  });
}
BENCHMARK(BM_TraceHeader_Korvo);

void BM_TraceHeader_Snprintf(benchmark::State& state) {
  Measure(state, [] {
    return snprintf(narrow, sizeof narrow, kTraceHeader, kThread, 2026u, 12u, 5u, 23u, 7u, 9u);
  });
}
BENCHMARK(BM_TraceHeader_Snprintf);

void BM_TraceHeader_KorvoWide(benchmark::State& state) {
  Measure(state, [] {
    return Format(wide, 260, u"\r\n[%lu - %04u/%02u/%02u %u:%u:%u]", kThread, 2026u, 12u, 5u, 23u,
                  7u, 9u);
  });
}
BENCHMARK(BM_TraceHeader_KorvoWide);

// What CTString::FormatV does: count, then format into a buffer of that size.
void BM_TraceHeader_KorvoCountThenWrite(benchmark::State& state) {
  Measure(state, [] {
    int n = Format(nullptr, 0, kTraceHeader, kThread, 2026u, 12u, 5u, 23u, 7u, 9u);
    return Format(narrow, static_cast<size_t>(n) + 1, kTraceHeader, kThread, 2026u, 12u, 5u, 23u,
                  7u, 9u);
  });
}
BENCHMARK(BM_TraceHeader_KorvoCountThenWrite);

void BM_NameValue_Korvo(benchmark::State& state) {
  Measure(state, [] {
    return Format(narrow, sizeof narrow, "%s=%d, %.3f", "quantity", 4711, 3.14159265);
  });
}
BENCHMARK(BM_NameValue_Korvo);

void BM_NameValue_Snprintf(benchmark::State& state) {
  Measure(state, [] {
    return snprintf(narrow, sizeof narrow, "%s=%d, %.3f", "quantity", 4711, 3.14159265);
  });
}
BENCHMARK(BM_NameValue_Snprintf);

void BM_NameValue_KorvoWideWithNarrowText(benchmark::State& state) {
  Measure(state, [] { return Format(wide, 260, u"%S=%d, %.3f", "quantity", 4711, 3.14159265); });
}
BENCHMARK(BM_NameValue_KorvoWideWithNarrowText);

}  // namespace

BENCHMARK_MAIN();
