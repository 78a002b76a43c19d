// bench/bytearray_bench.cpp: CTByteArray::Add byte by byte up to 1 MiB,
// beside std::vector<uint8_t>::push_back. Above 8 KiB the array grows in
// fixed 1 KiB steps (a copy of the whole block each time), the vector
// geometrically, so the gap widens with the size.
#include <benchmark/benchmark.h>
#include <korvo/Korvo.h>

#include <cstdint>
#include <vector>

namespace {

constexpr int kBytes = 1 << 20;

void BM_CTByteArrayAdd(benchmark::State& state) {
  const int n = static_cast<int>(state.range(0));
  for (auto _ : state) {
    CTByteArray a;
    for (int i = 0; i < n; ++i) a.Add(static_cast<BYTE>(i));
    benchmark::DoNotOptimize(a.GetData());
    benchmark::ClobberMemory();
  }
  state.SetBytesProcessed(state.iterations() * n);
}

void BM_VectorPushBack(benchmark::State& state) {
  const int n = static_cast<int>(state.range(0));
  for (auto _ : state) {
    std::vector<uint8_t> v;
    for (int i = 0; i < n; ++i) v.push_back(static_cast<uint8_t>(i));
    benchmark::DoNotOptimize(v.data());
    benchmark::ClobberMemory();
  }
  state.SetBytesProcessed(state.iterations() * n);
}

// The remedy the header recommends: size once, then store.
void BM_CTByteArraySetSizeThenSetAt(benchmark::State& state) {
  const int n = static_cast<int>(state.range(0));
  for (auto _ : state) {
    CTByteArray a;
    a.SetSize(n);
    for (int i = 0; i < n; ++i) a.SetAt(i, static_cast<BYTE>(i));
    benchmark::DoNotOptimize(a.GetData());
    benchmark::ClobberMemory();
  }
  state.SetBytesProcessed(state.iterations() * n);
}

BENCHMARK(BM_CTByteArrayAdd)->Arg(8 << 10)->Arg(kBytes)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_VectorPushBack)->Arg(8 << 10)->Arg(kBytes)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_CTByteArraySetSizeThenSetAt)->Arg(kBytes)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
