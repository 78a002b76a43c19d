// COM layer: VariantChangeType on the conversions the recordset makes for
// every column value, BSTR allocation, and the _bstr_t / _variant_t
// wrappers, beside plain C++ baselines.
#include <benchmark/benchmark.h>
#include <korvo/Korvo.h>

#include <charconv>
#include <cstdlib>
#include <string>

namespace {

// Converts `src` to `vt` into a fresh VARIANT and clears it, once per
// iteration.
void Convert(benchmark::State& state, const VARIANT& src, VARTYPE vt) {
  for (auto _ : state) {
    VARIANT out;
    VariantInit(&out);
    HRESULT hr = VariantChangeType(&out, &src, 0, vt);
    benchmark::DoNotOptimize(hr);
    benchmark::DoNotOptimize(out.llVal);
    VariantClear(&out);
  }
}

VARIANT Text(const char16_t* text) {
  VARIANT v;
  VariantInit(&v);
  v.vt = VT_BSTR;
  v.bstrVal = SysAllocString(text);
  return v;
}

void BM_ChangeType_I4ToBstr(benchmark::State& state) {
  VARIANT v;
  VariantInit(&v);
  v.vt = VT_I4;
  v.lVal = -1234567;
  Convert(state, v, VT_BSTR);
}
BENCHMARK(BM_ChangeType_I4ToBstr);

void BM_Baseline_ToCharsInt(benchmark::State& state) {
  for (auto _ : state) {
    char buffer[16];
    auto result = std::to_chars(buffer, buffer + sizeof buffer, -1234567);
    std::u16string text(buffer, result.ptr);
    benchmark::DoNotOptimize(text.data());
  }
}
BENCHMARK(BM_Baseline_ToCharsInt);

void BM_ChangeType_BstrToI4(benchmark::State& state) {
  VARIANT v = Text(u"-1234567");
  Convert(state, v, VT_I4);
  VariantClear(&v);
}
BENCHMARK(BM_ChangeType_BstrToI4);

void BM_Baseline_Strtol(benchmark::State& state) {
  const char* text = "-1234567";
  for (auto _ : state) benchmark::DoNotOptimize(std::strtol(text, nullptr, 10));
}
BENCHMARK(BM_Baseline_Strtol);

void BM_ChangeType_R8ToBstr(benchmark::State& state) {
  VARIANT v;
  VariantInit(&v);
  v.vt = VT_R8;
  v.dblVal = 3.14159265358979;
  Convert(state, v, VT_BSTR);
}
BENCHMARK(BM_ChangeType_R8ToBstr);

void BM_ChangeType_BstrToR8(benchmark::State& state) {
  VARIANT v = Text(u"3.14159265358979");
  Convert(state, v, VT_R8);
  VariantClear(&v);
}
BENCHMARK(BM_ChangeType_BstrToR8);

void BM_ChangeType_DateToBstr(benchmark::State& state) {
  VARIANT v;
  VariantInit(&v);
  v.vt = VT_DATE;
  v.date = 43997.5;  // 2020-06-15 12:00:00
  Convert(state, v, VT_BSTR);
}
BENCHMARK(BM_ChangeType_DateToBstr);

void BM_ChangeType_BstrToDate(benchmark::State& state) {
  VARIANT v = Text(u"2020-06-15 12:00:00");
  Convert(state, v, VT_DATE);
  VariantClear(&v);
}
BENCHMARK(BM_ChangeType_BstrToDate);

void BM_ChangeType_I2ToI4(benchmark::State& state) {
  VARIANT v;
  VariantInit(&v);
  v.vt = VT_I2;
  v.iVal = -5;
  Convert(state, v, VT_I4);
}
BENCHMARK(BM_ChangeType_I2ToI4);

void BM_ChangeType_BstrToDecimal(benchmark::State& state) {
  VARIANT v = Text(u"12345.6789");
  Convert(state, v, VT_DECIMAL);
  VariantClear(&v);
}
BENCHMARK(BM_ChangeType_BstrToDecimal);

void BM_VariantTimeToSystemTime(benchmark::State& state) {
  double date = 43997.5;
  for (auto _ : state) {
    SYSTEMTIME t;
    benchmark::DoNotOptimize(VariantTimeToSystemTime(date, &t));
    benchmark::DoNotOptimize(t.wSecond);
  }
}
BENCHMARK(BM_VariantTimeToSystemTime);

void BM_SysAllocStringLen(benchmark::State& state) {
  std::u16string text(static_cast<size_t>(state.range(0)), u'x');
  for (auto _ : state) {
    BSTR s = SysAllocStringLen(text.data(), static_cast<UINT>(text.size()));
    benchmark::DoNotOptimize(s);
    SysFreeString(s);
  }
}
BENCHMARK(BM_SysAllocStringLen)->Arg(16)->Arg(4096);

void BM_Baseline_U16String(benchmark::State& state) {
  std::u16string text(static_cast<size_t>(state.range(0)), u'x');
  for (auto _ : state) {
    std::u16string copy(text);
    benchmark::DoNotOptimize(copy.data());
  }
}
BENCHMARK(BM_Baseline_U16String)->Arg(16)->Arg(4096);

void BM_BstrT_Copy(benchmark::State& state) {
  _bstr_t original(u"a shared column value");
  for (auto _ : state) {
    _bstr_t copy(original);
    benchmark::DoNotOptimize(static_cast<const WCHAR*>(copy));
  }
}
BENCHMARK(BM_BstrT_Copy);

void BM_BstrT_FromNarrowAndBack(benchmark::State& state) {
  for (auto _ : state) {
    _bstr_t text("a column value of moderate length");
    benchmark::DoNotOptimize(static_cast<const char*>(text));
  }
}
BENCHMARK(BM_BstrT_FromNarrowAndBack);

void BM_VariantT_LongFromText(benchmark::State& state) {
  _variant_t v(u"42");
  for (auto _ : state) benchmark::DoNotOptimize(static_cast<long>(v));
}
BENCHMARK(BM_VariantT_LongFromText);

}  // namespace

BENCHMARK_MAIN();
