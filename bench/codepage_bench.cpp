// Code-page conversion per call, on the short, mostly-ASCII texts the
// library converts all the time (SQL fragments, column names, messages),
// beside the C library's mbstowcs / wcstombs in a UTF-8 locale.
#include <benchmark/benchmark.h>
#include <korvo/Korvo.h>

#include <clocale>
#include <cstdlib>
#include <string>
#include <vector>

namespace {

// About one non-ASCII character every 40 bytes.
std::string MostlyAscii(size_t bytes) {
  static const char kText[] =
      "SELECT name, price FROM Produkt WHERE Gr\xC3\xB6\xC3\x9F"
      "e > 10 AND city = 'Z\xC3\xBCrich' "
      "ORDER BY name, caf\xC3\xA9_id DESC; ";
  std::string out;
  while (out.size() < bytes) out += kText;
  out.resize(bytes);
  // Do not end inside a multi-byte character.
  while (!out.empty() && (static_cast<unsigned char>(out.back()) & 0x80)) out.pop_back();
  while (out.size() < bytes) out += 'x';
  return out;
}

void Utf8ToUtf16(benchmark::State& state) {
  std::string text = MostlyAscii(static_cast<size_t>(state.range(0)));
  std::vector<WCHAR> out(text.size() + 1);
  for (auto _ : state) {
    int n = MultiByteToWideChar(CP_ACP, 0, text.data(), static_cast<int>(text.size()), out.data(),
                                static_cast<int>(out.size()));
    benchmark::DoNotOptimize(n);
    benchmark::ClobberMemory();
  }
  state.SetItemsProcessed(state.iterations());
}

void Utf16ToUtf8(benchmark::State& state) {
  std::string text = MostlyAscii(static_cast<size_t>(state.range(0)));
  std::vector<WCHAR> wide(text.size());
  int units = MultiByteToWideChar(CP_ACP, 0, text.data(), static_cast<int>(text.size()),
                                  wide.data(), static_cast<int>(wide.size()));
  std::vector<char> out(text.size() + 1);
  for (auto _ : state) {
    int n = WideCharToMultiByte(CP_ACP, 0, wide.data(), units, out.data(),
                                static_cast<int>(out.size()), nullptr, nullptr);
    benchmark::DoNotOptimize(n);
    benchmark::ClobberMemory();
  }
  state.SetItemsProcessed(state.iterations());
}

// The two-call pattern of callers that size their buffer first.
void Utf8ToUtf16CountThenConvert(benchmark::State& state) {
  std::string text = MostlyAscii(static_cast<size_t>(state.range(0)));
  std::vector<WCHAR> out(text.size() + 1);
  for (auto _ : state) {
    int n = MultiByteToWideChar(CP_ACP, 0, text.c_str(), -1, nullptr, 0);
    n = MultiByteToWideChar(CP_ACP, 0, text.c_str(), -1, out.data(), n);
    benchmark::DoNotOptimize(n);
    benchmark::ClobberMemory();
  }
  state.SetItemsProcessed(state.iterations());
}

// The iconv path, for comparison: the same bytes read as CP1252.
void Cp1252ToUtf16Iconv(benchmark::State& state) {
  std::string text = MostlyAscii(static_cast<size_t>(state.range(0)));
  std::vector<WCHAR> out(text.size() + 1);
  for (auto _ : state) {
    int n = MultiByteToWideChar(1252, 0, text.data(), static_cast<int>(text.size()), out.data(),
                                static_cast<int>(out.size()));
    benchmark::DoNotOptimize(n);
    benchmark::ClobberMemory();
  }
  state.SetItemsProcessed(state.iterations());
}

void Mbstowcs(benchmark::State& state) {
  if (std::setlocale(LC_CTYPE, "C.UTF-8") == nullptr) {
    state.SkipWithError("no C.UTF-8 locale");
    return;
  }
  std::string text = MostlyAscii(static_cast<size_t>(state.range(0)));
  std::vector<wchar_t> out(text.size() + 1);
  for (auto _ : state) {
    size_t n = std::mbstowcs(out.data(), text.c_str(), out.size());
    benchmark::DoNotOptimize(n);
    benchmark::ClobberMemory();
  }
  state.SetItemsProcessed(state.iterations());
}

void Wcstombs(benchmark::State& state) {
  if (std::setlocale(LC_CTYPE, "C.UTF-8") == nullptr) {
    state.SkipWithError("no C.UTF-8 locale");
    return;
  }
  std::string text = MostlyAscii(static_cast<size_t>(state.range(0)));
  std::vector<wchar_t> wide(text.size() + 1);
  std::mbstowcs(wide.data(), text.c_str(), wide.size());
  std::vector<char> out(text.size() + 1);
  for (auto _ : state) {
    size_t n = std::wcstombs(out.data(), wide.data(), out.size());
    benchmark::DoNotOptimize(n);
    benchmark::ClobberMemory();
  }
  state.SetItemsProcessed(state.iterations());
}

}  // namespace

BENCHMARK(Utf8ToUtf16)->Arg(20)->Arg(50)->Arg(100)->Arg(200);
BENCHMARK(Mbstowcs)->Arg(20)->Arg(50)->Arg(100)->Arg(200);
BENCHMARK(Utf16ToUtf8)->Arg(20)->Arg(50)->Arg(100)->Arg(200);
BENCHMARK(Wcstombs)->Arg(20)->Arg(50)->Arg(100)->Arg(200);
BENCHMARK(Utf8ToUtf16CountThenConvert)->Arg(20)->Arg(200);
BENCHMARK(Cp1252ToUtf16Iconv)->Arg(20)->Arg(200);

BENCHMARK_MAIN();
