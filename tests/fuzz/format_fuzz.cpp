// Fuzz target: the formatting engine on arbitrary narrow and wide formats.
//
// Input: the first byte chooses the kind of format (bit 0: wide) and a
// capacity for the bounded run (the other bits); the rest is the format,
// bytes for a narrow one, little-endian 16-bit units for a wide one.
// Arguments come from fixed values through the engine's test hook, so a
// fuzzed %s or %p always has a valid pointer behind it.
//
// Invariants: counting and bounded runs agree on the count and on the
// arguments read; a bounded run writes the full output's prefix, its
// terminator, and nothing past the capacity (buffers are exactly that
// size); a malformed format is negative in every mode.
#include <korvo/platform/format_internal.h>

#include <climits>
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

namespace {

using korvo::platform::TEST_FormatArgs;
using korvo::platform::TEST_FormatFixed;

// Outputs longer than this are only counted, not written.
constexpr int kLargestWritten = 1 << 20;

TEST_FormatArgs Arguments() {
  static const long long integers[] = {42, -7, 0, 0x1F600, INT_MIN, LLONG_MIN, 300, 'x'};
  static const long double floats[] = {1.5L, -0.0L, 1e300L, HUGE_VALL, NAN, 4.9e-324L, 1.0L / 3};
  static const int somewhere = 0;
  TEST_FormatArgs args;
  args.integers = integers;
  args.integerCount = sizeof integers / sizeof integers[0];
  args.floats = floats;
  args.floatCount = sizeof floats / sizeof floats[0];
  args.narrowText = "n\xc3\xa9 text";
  args.wideText = u"w\u00e9\U0001F600";
  args.pointer = &somewhere;
  return args;
}

template <typename Ch>
void Check(const std::basic_string<Ch>& format, size_t capacitySeed) {
  TEST_FormatArgs counting = Arguments();
  int n = TEST_FormatFixed(static_cast<Ch*>(nullptr), 0, format.c_str(), counting);

  if (n < 0) {
    Ch out[4] = {1, 1, 1, 1};
    TEST_FormatArgs bounded = Arguments();
    if (TEST_FormatFixed(out, 3, format.c_str(), bounded) >= 0) std::abort();
    if (out[0] != 0 || out[3] != 1 || bounded.reads != counting.reads) std::abort();
    return;
  }
  if (n > kLargestWritten) return;

  size_t needed = static_cast<size_t>(n);
  auto full = std::make_unique<Ch[]>(needed + 1);
  TEST_FormatArgs whole = Arguments();
  if (TEST_FormatFixed(full.get(), needed + 1, format.c_str(), whole) != n) std::abort();
  if (full[needed] != 0 || whole.reads != counting.reads) std::abort();

  size_t capacity = capacitySeed % (needed + 2);
  auto cut = std::make_unique<Ch[]>(capacity == 0 ? 1 : capacity);
  TEST_FormatArgs bounded = Arguments();
  if (TEST_FormatFixed(capacity == 0 ? nullptr : cut.get(), capacity, format.c_str(), bounded) !=
      n) {
    std::abort();
  }
  if (bounded.reads != counting.reads) std::abort();
  if (capacity > 0) {
    size_t kept = capacity - 1;
    if (cut[kept] != 0 || std::memcmp(cut.get(), full.get(), kept * sizeof(Ch)) != 0) std::abort();
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size == 0) return 0;
  bool wide = (data[0] & 1) != 0;
  size_t capacitySeed = data[0] >> 1;
  ++data;
  --size;
  if (wide) {
    std::u16string format;
    for (size_t i = 0; i + 1 < size; i += 2) {
      format += static_cast<char16_t>(data[i] | (data[i + 1] << 8));
    }
    Check(format.substr(0, format.find(u'\0')), capacitySeed);
  } else {
    std::string format(reinterpret_cast<const char*>(data), size);
    Check(format.substr(0, format.find('\0')), capacitySeed);
  }
  return 0;
}
