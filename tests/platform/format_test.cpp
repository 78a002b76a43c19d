// tests/platform/format_test.cpp: the formatting engine against the C
// library's snprintf, which is the reference for every conversion the two
// share; the Microsoft text conventions and 16-bit output against texts
// written out by hand.
#include <gtest/gtest.h>
#include <korvo/platform/format.h>
#include <korvo/platform/format_internal.h>

#include <cfloat>
#include <climits>
#include <cmath>
#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include "support/test_support.h"

namespace korvo::platform {
namespace {

using korvo::test::ScopedEnv;

// Collects disagreements so that one failing conversion reports a handful
// of examples instead of thousands of lines.
class Mismatches {
 public:
  void Add(const std::string& format, const std::string& ours, const std::string& reference) {
    if (count_++ < 20) {
      examples_ += "  " + format + ": got [" + ours.substr(0, 200) + "] want [" +
                   reference.substr(0, 200) + "]\n";
    }
  }
  void Count() { ++checked_; }
  void Expect(size_t minimumChecked = 1) const {
    EXPECT_GE(checked_, minimumChecked);
    EXPECT_EQ(count_, 0) << count_ << " of " << checked_ << " outputs differ, e.g.\n" << examples_;
  }

 private:
  int count_ = 0;
  size_t checked_ = 0;
  std::string examples_;
};

std::u16string Widen(const std::string& ascii) {
  return std::u16string(ascii.begin(), ascii.end());
}

// `ours` through Format in the width of Char (counting, then into a buffer
// of exactly the needed size), `reference` through snprintf, same
// arguments; the wide engine is compared with snprintf's output widened, so
// only for outputs that are ASCII (numbers).
template <typename Char, typename... A>
void Compare(Mismatches& m, const std::string& ours, const std::string& reference, A... args) {
  m.Count();
  const std::basic_string<Char> format(ours.begin(), ours.end());
  int needOurs = Format(static_cast<Char*>(nullptr), 0, format.c_str(), args...);
  int needRef = snprintf(nullptr, 0, reference.c_str(), args...);
  std::string got = "count " + std::to_string(needOurs);
  std::string want = "count " + std::to_string(needRef);
  if (needOurs == needRef && needRef >= 0) {
    const size_t need = static_cast<size_t>(needOurs);
    auto bufOurs = std::make_unique<Char[]>(need + 1);
    std::string ref(need, '\0');
    snprintf(ref.data(), ref.size() + 1, reference.c_str(), args...);
    int written = Format(bufOurs.get(), need + 1, format.c_str(), args...);
    const std::basic_string<Char> text(bufOurs.get(), need);
    if (written == needOurs && text == std::basic_string<Char>(ref.begin(), ref.end()) &&
        bufOurs[need] == 0) {
      return;
    }
    got.clear();
    for (Char c : text)
      got += sizeof(Char) == 1 || static_cast<char32_t>(c) < 128 ? static_cast<char>(c) : '?';
    got += " (" + std::to_string(written) + ")";
    want = ref;
  }
  m.Add(sizeof(Char) == 1 ? ours : "L\"" + ours + "\"", got, want);
}

std::vector<std::string> AllFlagSets() {
  const char flags[] = "-+ #0";
  std::vector<std::string> sets;
  for (int mask = 0; mask < 32; ++mask) {
    std::string s;
    for (int i = 0; i < 5; ++i) {
      if (mask & (1 << i)) s += flags[i];
    }
    sets.push_back(s);
  }
  return sets;
}

const std::vector<std::string> kWidths = {"", "1", "7", "24"};
const std::vector<std::string> kPrecisions = {"", ".", ".0", ".1", ".4", ".19"};

// Every conversion of flags x width x precision for one conversion and length,
// as (ours, reference) format pairs with text around the conversion.
std::vector<std::pair<std::string, std::string>> Conversions(
    const std::string& length, const std::string& referenceLength, char conversion,
    const std::vector<std::string>& precisions,
    const std::vector<std::string>& flagSets = AllFlagSets()) {
  std::vector<std::pair<std::string, std::string>> conversions;
  for (const std::string& flags : flagSets) {
    for (const std::string& width : kWidths) {
      for (const std::string& precision : precisions) {
        std::string head = "<%" + flags + width + precision;
        conversions.emplace_back(head + length + conversion + ">",
                                 head + referenceLength + conversion + ">");
      }
    }
  }
  return conversions;
}

template <typename T>
void CompareIntegers(Mismatches& narrow, Mismatches& wide, const std::string& length,
                     const std::string& referenceLength, const std::vector<T>& values) {
  for (char conversion : std::string("diuoxX")) {
    for (const auto& [ours, reference] :
         Conversions(length, referenceLength, conversion, kPrecisions)) {
      for (T v : values) {
        Compare<char>(narrow, ours, reference, v);
        Compare<WCHAR>(wide, ours, reference, v);
      }
    }
  }
}

TEST(Format, IntegersMatchTheCLibraryForEveryFlagWidthPrecisionAndLength) {
  Mismatches narrow, wide;
  const std::vector<int> ints = {INT_MIN, -1000, -1, 0, 1, 7, 8, 255, 256, 65535, 70000, INT_MAX};
  const std::vector<long> longs = {LONG_MIN, -4294967296L, -1, 0, 1, 8, 4294967296L, LONG_MAX};
  const std::vector<long long> longLongs = {LLONG_MIN, -1, 0, 9, 1LL << 40, LLONG_MAX};
  // int-sized arguments, narrowed by hh and h as the C library does.
  CompareIntegers(narrow, wide, "", "", ints);
  CompareIntegers(narrow, wide, "hh", "hh", ints);
  CompareIntegers(narrow, wide, "h", "h", ints);
  CompareIntegers(narrow, wide, "I32", "", ints);
  CompareIntegers(narrow, wide, "l", "l", longs);
  CompareIntegers(narrow, wide, "z", "z", longs);
  CompareIntegers(narrow, wide, "j", "j", longs);
  CompareIntegers(narrow, wide, "t", "t", longs);
  CompareIntegers(narrow, wide, "I", "z", longs);
  CompareIntegers(narrow, wide, "ll", "ll", longLongs);
  CompareIntegers(narrow, wide, "I64", "ll", longLongs);
  narrow.Expect(400000);
  wide.Expect(400000);
}

TEST(Format, FloatingPointMatchesTheCLibraryDigitForDigit) {
  // Padding depends on the flags and on the sign and finiteness of the
  // value; the digits on the value. So ordinary values meet every flag set,
  // and the extremes (thousands of digits, slow in the C library too) a few.
  const std::vector<double> ordinary = {
      0.0,  -0.0,          1.0,          -1.5,     0.1,       2.5,          0.125,
      1e22, 123456789.125, -9.999999e-5, HUGE_VAL, -HUGE_VAL, std::nan(""), -std::nan("")};
  const std::vector<double> extremes = {1e-300, DBL_MIN, std::nextafter(0.0, 1.0), -DBL_MAX};
  const std::vector<long double> longOrdinary = {0.0L,        -0.0L,      1.0L / 3,
                                                 12345.6789L, -HUGE_VALL, -std::nanl("")};
  const std::vector<long double> longExtremes = {LDBL_MIN, -1e-4000L, LDBL_TRUE_MIN, LDBL_MAX,
                                                 1e4000L};
  const std::vector<std::string> someFlags = {"", "-", "+0", "# "};
  std::vector<std::string> precisions = kPrecisions;
  precisions.push_back(".40");
  Mismatches narrow, wide;
  for (char conversion : std::string("fFeEgGaA")) {
    // The wide engine shares every digit with the narrow one, so it is
    // checked on every seventh conversion, which still walks all flags, widths
    // and precisions.
    size_t index = 0;
    for (const auto& [ours, reference] : Conversions("", "", conversion, precisions)) {
      bool alsoWide = index++ % 7 == 0;
      for (double v : ordinary) {
        Compare<char>(narrow, ours, reference, v);
        if (alsoWide) Compare<WCHAR>(wide, ours, reference, v);
      }
    }
    for (const auto& [ours, reference] : Conversions("L", "L", conversion, precisions)) {
      bool alsoWide = index++ % 7 == 0;
      for (long double v : longOrdinary) {
        Compare<char>(narrow, ours, reference, v);
        if (alsoWide) Compare<WCHAR>(wide, ours, reference, v);
      }
    }
    for (const char* length : {"", "l"}) {
      for (const auto& [ours, reference] :
           Conversions(length, length, conversion, precisions, someFlags)) {
        for (double v : extremes) {
          Compare<char>(narrow, ours, reference, v);
          Compare<WCHAR>(wide, ours, reference, v);
        }
      }
    }
    for (const auto& [ours, reference] : Conversions("L", "L", conversion, precisions, someFlags)) {
      for (long double v : longExtremes) {
        // The C library takes milliseconds for each %Lf of a 4933-digit
        // number; those few run in the test below.
        if (std::fabs(v) > 1e300L && (conversion == 'f' || conversion == 'F')) continue;
        Compare<char>(narrow, ours, reference, v);
        Compare<WCHAR>(wide, ours, reference, v);
      }
    }
  }
  narrow.Expect(150000);
  wide.Expect(20000);
}

TEST(Format, HugePrecisionsAndWidthsMatchTheCLibrary) {
  // Past the point where every digit is exact the engine appends zeros
  // itself; the C library prints them all.
  Mismatches m;
  for (const char* format : {"%.20000f", "%.18000e", "%#.20000g", "%.20000g", "%.20000a",
                             "%+030000.17500E", "%-30000.19000f|", "%#.17001G", "%.17001e"}) {
    for (double v : {1e-300, 1.0 / 3, -2.5e300, 0.0, HUGE_VAL, std::nextafter(0.0, 1.0)}) {
      Compare<char>(m, format, format, v);
    }
  }
  for (const char* format :
       {"%.20000Lf", "%.20000Le", "%#.20000Lg", "%40000.20000La", "%+0#5000LF", "%-5000.3Lf|"}) {
    for (long double v : {LDBL_TRUE_MIN, LDBL_MAX, 1.0L / 3}) Compare<char>(m, format, format, v);
  }
  for (const char* format : {"%.30000lld", "%-30000llx|", "%030000lld"}) {
    Compare<char>(m, format, format, -12345LL);
  }
  m.Expect();
}

TEST(Format, StarWidthAndPrecisionComeFromTheArguments) {
  Mismatches narrow, wide;
  const std::vector<int> widths = {-12, -1, 0, 3, 12};
  const std::vector<int> precisions = {INT_MIN, -5, -1, 0, 2, 9};
  for (int w : widths) {
    for (int p : precisions) {
      for (const char* format :
           {"[%*.*d]", "[%-*.*x]", "[%0*.*i]", "[%*.*f]", "[%*.*e]", "[%#*.*g]", "[%+*.*a]"}) {
        bool floating = std::strpbrk(format, "fega") != nullptr;
        if (floating) {
          Compare<char>(narrow, format, format, w, p, -31.0625);
          Compare<WCHAR>(wide, format, format, w, p, -31.0625);
        } else {
          Compare<char>(narrow, format, format, w, p, -4711);
          Compare<WCHAR>(wide, format, format, w, p, -4711);
        }
      }
      Compare<char>(narrow, "[%*.*s]", "[%*.*s]", w, p, "textual");
      Compare<char>(narrow, "[%*c]", "[%*c]", w, 'q');
    }
  }
  narrow.Expect(200);
  wide.Expect(200);
  // A star width of INT_MIN is left-justified 2^31 wide: more than a
  // count can say.
  EXPECT_LT(Format(nullptr, 0, "%*d", INT_MIN, 1), 0);
  EXPECT_EQ(Format(nullptr, 0, "%*d", INT_MAX, 1), INT_MAX);
  EXPECT_LT(Format(nullptr, 0, "%*d%*d", INT_MAX, 1, INT_MAX, 1), 0);
}

TEST(Format, NarrowTextCharactersPointersAndPercentMatchTheCLibrary) {
  Mismatches m;
  std::vector<std::string> precisions = kPrecisions;
  precisions.push_back(".6");
  precisions.push_back(".7");
  const char* volatile null = nullptr;  // opaque, so the compiler does not reject it
  for (const auto& [ours, reference] : Conversions("", "", 's', precisions)) {
    for (const char* text : {"", "a", "hello", "h\xc3\xa9llo w\xc3\xb6rld"}) {
      Compare<char>(m, ours, reference, text);
    }
    Compare<char>(m, ours, reference, static_cast<const char*>(null));
    // %hs is narrow text in either kind of format.
    std::string hs = ours;
    hs.insert(hs.size() - 2, "h");
    Compare<char>(m, hs, reference, "hello");
  }
  for (const auto& [ours, reference] : Conversions("", "", 'c', kPrecisions)) {
    for (int c : {int{'A'}, int{' '}, int{'%'}, 0xe9}) Compare<char>(m, ours, reference, c);
    std::string hc = ours;
    hc.insert(hc.size() - 2, "h");
    Compare<char>(m, hc, reference, 'z');
  }
  for (const auto& [ours, reference] : Conversions("", "", 'p', kPrecisions)) {
    for (const void* p :
         {static_cast<const void*>(nullptr), reinterpret_cast<const void*>(0x1234),
          reinterpret_cast<const void*>(~uintptr_t{0}), static_cast<const void*>(&m)}) {
      Compare<char>(m, ours, reference, p);
    }
  }
  Compare<char>(m, "100%% sure %d%%", "100%% sure %d%%", 5);
  Compare<char>(m, "[%5%][%-3%][%.2%]", "[%5%][%-3%][%.2%]");
  Compare<char>(m, "%c|%c|", "%c|%c|", 0, 'x');  // an embedded NUL is written and counted
  m.Expect(5000);
}

TEST(Format, TraceHeaderAndDumpFormsMatchTheCLibrary) {
  Mismatches m;
  const char* header = "\r\n[%lu - %04u/%02u/%02u %u:%u:%u]";
  for (unsigned long thread : {0UL, 140737488355328UL, ULONG_MAX}) {
    Compare<char>(m, header, header, thread, 2026u, 12u, 5u, 0u, 7u, 59u);
    Compare<char>(m, header, header, thread, 99999u, 1u, 31u, 23u, 0u, 0u);
  }
  for (const char* f : {"%d", "%u", "0x%X"}) Compare<char>(m, f, f, -255);
  Compare<char>(m, "$%lX", "$%lX", 0xdeadbeefUL);
  Compare<char>(m, "%s\\~KORVO%d.log", "%s\\~KORVO%d.log", "/var/log", 4242);
  Compare<char>(m, " %02X", " %02X", 0xab);
  m.Expect();
}

// One sentinel past the capacity shows any write beyond it.
TEST(Format, TruncatesAtEveryCapacityAndStillCountsEverything) {
  struct Case {
    const char* format;
    int arg;
  };
  for (const Case& c : {Case{"%-8d|%s|%+.3e", 42}, Case{"\r\n[%05d]", -7}, Case{"%x", 0}}) {
    int needed = snprintf(nullptr, 0, c.format, c.arg, "text", 3.14159);
    ASSERT_GT(needed, 0);
    for (int cap = 0; cap <= needed + 1; ++cap) {
      auto ours = std::make_unique<char[]>(static_cast<size_t>(cap) + 1);
      auto ref = std::make_unique<char[]>(static_cast<size_t>(cap) + 1);
      std::memset(ours.get(), '#', static_cast<size_t>(cap) + 1);
      std::memset(ref.get(), '#', static_cast<size_t>(cap) + 1);
      EXPECT_EQ(Format(ours.get(), static_cast<size_t>(cap), c.format, c.arg, "text", 3.14159),
                needed)
          << c.format << " capacity " << cap;
      snprintf(ref.get(), static_cast<size_t>(cap), c.format, c.arg, "text", 3.14159);
      EXPECT_EQ(std::memcmp(ours.get(), ref.get(), static_cast<size_t>(cap) + 1), 0)
          << c.format << " capacity " << cap << ": " << std::string(ours.get(), cap);
    }
    // Wide: same cut, in 16-bit units.
    std::u16string format = Widen(c.format);
    for (size_t i = 0; i + 1 < format.size(); ++i) {
      if (format[i] == '%' && format[i + 1] == 's') format[i + 1] = 'S';  // narrow text
    }
    std::string full(static_cast<size_t>(needed), '\0');
    snprintf(full.data(), full.size() + 1, c.format, c.arg, "text", 3.14159);
    for (int cap = 0; cap <= needed + 1; ++cap) {
      auto ours = std::make_unique<WCHAR[]>(static_cast<size_t>(cap) + 1);
      std::fill_n(ours.get(), cap + 1, u'#');
      EXPECT_EQ(
          Format(ours.get(), static_cast<size_t>(cap), format.c_str(), c.arg, "text", 3.14159),
          needed);
      std::u16string expected = Widen(full.substr(0, cap > 0 ? static_cast<size_t>(cap - 1) : 0));
      if (cap > 0) expected += u'\0';
      expected += std::u16string(static_cast<size_t>(cap) + 1 - expected.size(), u'#');
      EXPECT_EQ(std::u16string(ours.get(), static_cast<size_t>(cap) + 1), expected) << cap;
    }
  }
}

TEST(Format, NullStringsPrintNullInBothWidths) {
  char narrow[32];
  WCHAR wide[32];
  EXPECT_EQ(Format(narrow, sizeof narrow, "[%s|%S]", static_cast<const char*>(nullptr),
                   static_cast<const WCHAR*>(nullptr)),
            15);
  EXPECT_STREQ(narrow, "[(null)|(null)]");
  EXPECT_EQ(Format(wide, 32, u"[%s|%-8S|%.2s]", static_cast<const WCHAR*>(nullptr),
                   static_cast<const char*>(nullptr), static_cast<const WCHAR*>(nullptr)),
            18);
  EXPECT_EQ(std::u16string(wide), u"[(null)|(null)  |]");
}

TEST(Format, NarrowFormatTakesWideTextForCapitalAndLongConversions) {
  char out[64];
  // é is two bytes in UTF-8 (the default ANSI code page), € three, and a
  // character outside the BMP (a surrogate pair) four.
  EXPECT_EQ(Format(out, sizeof out, "%S|%ls|%C|%lc", u"h\u00e9llo", u"\u20ac", u'\u00e9', u'x'),
            15);
  EXPECT_STREQ(out, "h\xc3\xa9llo|\xe2\x82\xac|\xc3\xa9|x");
  // Precision counts the argument's 16-bit units; width the output bytes.
  EXPECT_EQ(Format(out, sizeof out, "[%.2S][%7S][%-4C]", u"h\u00e9llo", u"h\u00e9llo", u'\u00e9'),
            20);
  EXPECT_STREQ(out, "[h\xc3\xa9][ h\xc3\xa9llo][\xc3\xa9  ]");
  EXPECT_EQ(Format(out, sizeof out, "<%S>", u"a\U0001F600b"), 8);
  EXPECT_STREQ(out,
               "<a\xf0\x9f\x98\x80"
               "b>");
  // A lone surrogate has no UTF-8 form: the code page writes U+FFFD.
  EXPECT_EQ(Format(out, sizeof out, "<%C>", 0xD800), 5);
  EXPECT_STREQ(out, "<\xef\xbf\xbd>");
}

TEST(Format, WideFormatTakesWideTextForSmallAndNarrowForCapitalConversions) {
  WCHAR out[64];
  EXPECT_EQ(Format(out, 64, u"%s|%S|%hs|%c|%C|%hc|%lc", u"w\u00e9", "n\xc3\xa9", "h", u'\u00e9',
                   'C', 'h', u'l'),
            15);
  EXPECT_EQ(std::u16string(out), u"w\u00e9|n\u00e9|h|\u00e9|C|h|l");
  // Surrogate pairs are kept as they are, from either width of argument;
  // precision counts units of the argument's own width.
  EXPECT_EQ(Format(out, 64, u"<%s|%S|%.2s|%.2S>", u"\U0001F600", "\xf0\x9f\x98\x80", u"a\U0001F600",
                   "\xc3\xa9x"),
            12);
  EXPECT_EQ(std::u16string(out), u"<\U0001F600|\U0001F600|a\xD83D|\u00e9>");
  EXPECT_EQ(Format(out, 64, u"[%-6s][%5S][%3c]", u"ab", "\xc3\xa9", u'z'), 20);
  EXPECT_EQ(std::u16string(out), u"[ab    ][    \u00e9][  z]");
  // Wide text in a wide format never goes through the code page, so
  // unpaired surrogates survive.
  EXPECT_EQ(Format(out, 64, u"%s", u"\xDC00x"), 2);
  EXPECT_EQ(std::u16string(out), u"\xDC00x");
}

// Found by fuzzing: empty text of the other width reached memcpy with a
// null source.
TEST(Format, RegressionEmptyCrossWidthText) {
  char narrow[8];
  EXPECT_EQ(Format(narrow, sizeof narrow, "[%S%.0S%3C]", u"", u"abc", 0), 5);
  EXPECT_EQ(std::string(narrow, 5), std::string("[  \0]", 5));
  WCHAR wide[8];
  EXPECT_EQ(Format(wide, 8, u"[%S%.0S]", "", "abc"), 2);
  EXPECT_EQ(std::u16string(wide), u"[]");
}

// A negative count from an output too long for an int leaves the empty
// text, as a malformed format does.
TEST(Format, RegressionOverlongOutputLeavesTheEmptyText) {
  char out[8] = "xxxxxxx";
  EXPECT_LT(Format(out, sizeof out, "ab%*d", INT_MAX, 1), 0);
  EXPECT_STREQ(out, "");
}

TEST(Format, CrossWidthTextUsesTheConfiguredAnsiCodePage) {
  ScopedEnv codePage("KORVO_CODEPAGE", "CP1252");
  char narrow[16];
  EXPECT_EQ(Format(narrow, sizeof narrow, "%S%C", u"\u00e9\u20ac", u'\u0101'), 3);
  EXPECT_STREQ(narrow, "\xe9\x80?");
  WCHAR wide[16];
  EXPECT_EQ(Format(wide, 16, u"%S|%C", "\xe9\x80", '\xfc'), 4);
  EXPECT_EQ(std::u16string(wide), u"\u00e9\u20ac|\u00fc");
}

TEST(Format, MalformedFormatsGiveANegativeCountAndReadOnlyWhatTheyAnnounced) {
  struct Case {
    std::string format;
    size_t reads;  // arguments the engine may take before it finds the fault
  };
  std::vector<Case> cases = {{"%d %k", 1}, {"%*", 1}, {"%*.*", 2}, {"%d%s%", 2}};
  // Faults the engine finds before it reads any argument (blank-separated).
  std::istringstream no_reads(
      "% abc% %5 %- %5. %l %ll %I6d %y %q %n %hn %1$d %Ld %llf %hf %zs %lls %lp %hhc %99999999999d "
      "%.99999999999f %\xc3\xa9");
  for (std::string format; no_reads >> format;) cases.push_back({format, 0});
  const long long integers[] = {5};
  for (const Case& c : cases) {
    char out[16] = "untouched";
    TEST_FormatArgs args;
    args.integers = integers;
    args.integerCount = 1;
    args.narrowText = "text";
    EXPECT_LT(TEST_FormatFixed(out, 4, c.format.c_str(), args), 0) << c.format;
    EXPECT_EQ(args.reads, c.reads) << c.format;
    EXPECT_STREQ(out, "") << c.format;
    EXPECT_STREQ(out + 4, "uched") << c.format;  // nothing past the capacity
    EXPECT_LT(TEST_FormatFixed(nullptr, 0, c.format.c_str(), args), 0) << c.format;
    std::u16string wide = Widen(c.format);
    EXPECT_LT(TEST_FormatFixed(static_cast<WCHAR*>(nullptr), 0, wide.c_str(), args), 0) << c.format;
  }
  EXPECT_LT(Format(static_cast<WCHAR*>(nullptr), 0, u"%\u00e9"), 0);
  EXPECT_LT(Format(nullptr, 0, static_cast<const char*>(nullptr)), 0);
}

int CountThenWrite(char* out, size_t capacity, const char* format, ...) {
  va_list args;
  va_start(args, format);
  int counted = FormatV(nullptr, 0, format, args);
  int written = FormatV(out, capacity, format, args);  // the same va_list again
  va_end(args);
  return counted == written ? written : -2;
}

TEST(Format, FormatVLeavesTheCallersArgumentListUnread) {
  char out[64];
  EXPECT_EQ(CountThenWrite(out, sizeof out, "%s|%d|%.1f|%S", "a", -3, 2.25, u"w"), 10);
  EXPECT_STREQ(out, "a|-3|2.2|w");
}

TEST(Format, ReadsExactlyTheArgumentsTheFormatNames) {
  const long long integers[] = {3, 4, 5};
  const long double floats[] = {1.5};
  struct Case {
    const char* format;
    size_t reads;
    const char* output;
  };
  const Case cases[] = {
      {"plain", 0, "plain"},
      {"%%", 0, "%"},
      {"%*.*d", 3, "0005"},
      {"%d %s %S %p", 4, "3 text wide 0x10"},
      {"%5%|%-*d", 2, "%|4  "},
      {"%c%C%f", 3,
       "\x03\x04"
       "1.500000"},
  };
  for (const Case& c : cases) {
    TEST_FormatArgs args;
    args.integers = integers;
    args.integerCount = 3;
    args.floats = floats;
    args.floatCount = 1;
    args.narrowText = "text";
    args.wideText = u"wide";
    args.pointer = reinterpret_cast<const void*>(0x10);
    char out[64];
    EXPECT_EQ(TEST_FormatFixed(out, sizeof out, c.format, args),
              static_cast<int>(std::strlen(c.output)))
        << c.format;
    EXPECT_STREQ(out, c.output);
    EXPECT_EQ(args.reads, c.reads) << c.format;
  }
}

}  // namespace
}  // namespace korvo::platform
