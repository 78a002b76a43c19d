// OLE dates: calendar fields, negative dates, range, ISO text.
#include <gtest/gtest.h>
#include <korvo/com/oledate.h>
#include <korvo/com/oledate_internal.h>
#include <korvo/com/plain_date_internal.h>
#include <korvo/com/variant.h>

#include <cstdio>
#include <cstring>
#include <memory>
#include <random>
#include <string>
#include <string_view>
#include <vector>

#include "test_objects.h"

namespace {

SYSTEMTIME Fields(int y, int mo, int d, int h = 0, int mi = 0, int s = 0) {
  SYSTEMTIME t{};
  t.wYear = static_cast<WORD>(y);
  t.wMonth = static_cast<WORD>(mo);
  t.wDay = static_cast<WORD>(d);
  t.wHour = static_cast<WORD>(h);
  t.wMinute = static_cast<WORD>(mi);
  t.wSecond = static_cast<WORD>(s);
  return t;
}

bool SameFields(const SYSTEMTIME& a, const SYSTEMTIME& b) {
  return a.wYear == b.wYear && a.wMonth == b.wMonth && a.wDay == b.wDay && a.wHour == b.wHour &&
         a.wMinute == b.wMinute && a.wSecond == b.wSecond;
}

unsigned DaysIn(unsigned y, unsigned m) {
  static const unsigned kDays[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
  bool leap = (y % 4 == 0 && y % 100 != 0) || y % 400 == 0;
  return m == 2 && leap ? 29 : kDays[m - 1];
}

}  // namespace

TEST(OleDate, PublishedFixedPoints) {
  struct {
    double date;
    SYSTEMTIME fields;
    WORD dayOfWeek;
  } points[] = {
      {0.0, Fields(1899, 12, 30), 6},
      {1.0, Fields(1899, 12, 31), 0},
      {2.25, Fields(1900, 1, 1, 6), 1},
      {-1.25, Fields(1899, 12, 29, 6), 5},
      {43831.5, Fields(2020, 1, 1, 12), 3},
      {-657434.0, Fields(100, 1, 1), 5},
      {2958465.0 + 86399.0 / 86400.0, Fields(9999, 12, 31, 23, 59, 59), 5},
  };
  for (const auto& p : points) {
    SCOPED_TRACE(p.date);
    SYSTEMTIME t{};
    t.wMilliseconds = 999;
    ASSERT_TRUE(VariantTimeToSystemTime(p.date, &t));
    EXPECT_TRUE(SameFields(t, p.fields)) << t.wYear << "-" << t.wMonth << "-" << t.wDay << " "
                                         << t.wHour << ":" << t.wMinute << ":" << t.wSecond;
    EXPECT_EQ(t.wDayOfWeek, p.dayOfWeek);
    EXPECT_EQ(t.wMilliseconds, 0);
    SYSTEMTIME in = p.fields;
    double back = 0;
    ASSERT_TRUE(SystemTimeToVariantTime(&in, &back));
    EXPECT_DOUBLE_EQ(back, p.date);
  }
}

TEST(OleDate, NegativeDatesCountTheFractionAsTimeOfDay) {
  // On day 0 the sign does not matter: -0.5 and 0.5 are both noon; the
  // date built from the fields is the positive one.
  SYSTEMTIME noon{};
  ASSERT_TRUE(VariantTimeToSystemTime(-0.5, &noon));
  EXPECT_TRUE(SameFields(noon, Fields(1899, 12, 30, 12)));
  double built = 0;
  ASSERT_TRUE(SystemTimeToVariantTime(&noon, &built));
  EXPECT_EQ(built, 0.5);

  SYSTEMTIME t = Fields(1899, 12, 29, 18);
  double d = 0;
  ASSERT_TRUE(SystemTimeToVariantTime(&t, &d));
  EXPECT_DOUBLE_EQ(d, -1.75);
  t = Fields(1899, 12, 28, 6);
  ASSERT_TRUE(SystemTimeToVariantTime(&t, &d));
  EXPECT_DOUBLE_EQ(d, -2.25);
  SYSTEMTIME out{};
  ASSERT_TRUE(VariantTimeToSystemTime(-2.25, &out));
  EXPECT_TRUE(SameFields(out, Fields(1899, 12, 28, 6)));
  // -1.75 and -1.25 are the same day, different times: not -2 + 0.25.
  ASSERT_TRUE(VariantTimeToSystemTime(-1.75, &out));
  EXPECT_TRUE(SameFields(out, Fields(1899, 12, 29, 18)));
}

TEST(OleDate, RangeAndFieldChecks) {
  SYSTEMTIME out = Fields(1, 2, 3);
  EXPECT_FALSE(VariantTimeToSystemTime(-657435.0, &out));
  EXPECT_FALSE(VariantTimeToSystemTime(2958466.0, &out));
  EXPECT_FALSE(VariantTimeToSystemTime(2958465.9999999, &out));  // rounds into year 10000
  EXPECT_FALSE(VariantTimeToSystemTime(0.0 / 0.0, &out));
  EXPECT_FALSE(VariantTimeToSystemTime(1.0, nullptr));
  EXPECT_TRUE(SameFields(out, Fields(1, 2, 3)));  // untouched on failure

  double d = 123;
  SYSTEMTIME bad[] = {
      Fields(99, 12, 31),        Fields(10000, 1, 1),         Fields(2020, 0, 1),
      Fields(2020, 13, 1),       Fields(2020, 1, 0),          Fields(2021, 2, 29),
      Fields(1900, 2, 29),       Fields(2020, 4, 31),         Fields(2020, 1, 1, 24),
      Fields(2020, 1, 1, 0, 60), Fields(2020, 1, 1, 0, 0, 60)};
  for (SYSTEMTIME& t : bad) {
    EXPECT_FALSE(SystemTimeToVariantTime(&t, &d)) << t.wYear << "-" << t.wMonth << "-" << t.wDay;
  }
  EXPECT_EQ(d, 123);
  SYSTEMTIME leap = Fields(2000, 2, 29);
  EXPECT_TRUE(SystemTimeToVariantTime(&leap, &d));
  // Milliseconds are neither carried nor checked.
  SYSTEMTIME withMs = Fields(2020, 1, 1, 12);
  withMs.wMilliseconds = 999;
  ASSERT_TRUE(SystemTimeToVariantTime(&withMs, &d));
  EXPECT_DOUBLE_EQ(d, 43831.5);
  // Splitting rounds to the nearest second.
  ASSERT_TRUE(VariantTimeToSystemTime(43831.5 + 0.6 / 86400, &out));
  EXPECT_TRUE(SameFields(out, Fields(2020, 1, 1, 12, 0, 1)));
  ASSERT_TRUE(VariantTimeToSystemTime(43831.0 - 0.4 / 86400, &out));
  EXPECT_TRUE(SameFields(out, Fields(2020, 1, 1)));
}

// Every second of a sample of days spread over years 100 to 9999 (every
// 60013th day, plus the first and last days of the range), and midnight and
// the last second of every day, survive fields -> date -> fields.
TEST(OleDate, EverySecondOfSampleDaysRoundTrips) {
  long checked = 0;
  long dayIndex = 0;
  for (unsigned y = 100; y <= 9999; ++y) {
    for (unsigned m = 1; m <= 12; ++m) {
      for (unsigned d = 1; d <= DaysIn(y, m); ++d, ++dayIndex) {
        bool wholeDay = dayIndex % 60013 == 0 || (y == 9999 && m == 12 && d == 31);
        for (int second = 0; second < 86400; second += (wholeDay ? 1 : 86399)) {
          SYSTEMTIME in = Fields(static_cast<int>(y), static_cast<int>(m), static_cast<int>(d),
                                 second / 3600, second / 60 % 60, second % 60);
          double date = 0;
          ASSERT_TRUE(SystemTimeToVariantTime(&in, &date)) << y << "-" << m << "-" << d;
          SYSTEMTIME out{};
          ASSERT_TRUE(VariantTimeToSystemTime(date, &out)) << date;
          ASSERT_TRUE(SameFields(in, out))
              << y << "-" << m << "-" << d << " second " << second << " date " << date;
          ++checked;
        }
      }
    }
  }
  EXPECT_GT(checked, 60L * 86400L);
}

TEST(OleDate, IsoTextRoundTripsThroughBstr) {
  const char16_t* texts[] = {u"2020-01-01",
                             u"2020-06-15 12:34:56",
                             u"0100-01-01",
                             u"9999-12-31 23:59:59",
                             u"1899-12-29 06:00:00",
                             u"18:30:00",
                             u"00:00:00",
                             u"1900-02-28 23:00:00",
                             u"2000-02-29"};
  for (const char16_t* text : texts) {
    SCOPED_TRACE(std::u16string(text).size());
    VARIANT v = korvo::test::BstrVariant(text);
    ASSERT_EQ(VariantChangeType(&v, &v, 0, VT_DATE), S_OK);
    ASSERT_EQ(VariantChangeType(&v, &v, 0, VT_BSTR), S_OK);
    EXPECT_EQ(std::u16string(v.bstrVal), std::u16string(text));
    VariantClear(&v);
  }
  // Day 0 is written without its date.
  VARIANT zero = korvo::test::BstrVariant(u"1899-12-30 00:00:01");
  ASSERT_EQ(VariantChangeType(&zero, &zero, 0, VT_DATE), S_OK);
  ASSERT_EQ(VariantChangeType(&zero, &zero, 0, VT_BSTR), S_OK);
  EXPECT_EQ(std::u16string(zero.bstrVal), u"00:00:01");
  VariantClear(&zero);

  // And dates through text: every 1000th day at a few times of day.
  for (double day = -657434; day <= 2958465; day += 1000) {
    for (double time : {0.0, 0.25, 0.5 + 1.0 / 86400}) {
      double date = day >= 0 ? day + time : day - time;
      VARIANT v;
      VariantInit(&v);
      v.vt = VT_DATE;
      v.date = date;
      ASSERT_EQ(VariantChangeType(&v, &v, 0, VT_BSTR), S_OK);
      ASSERT_EQ(VariantChangeType(&v, &v, 0, VT_DATE), S_OK);
      EXPECT_NEAR(v.date, date, 1e-9) << date;
      VariantClear(&v);
    }
  }
}

namespace {

// What the plain split must make of `text`: the fields of ParseDate's date
// for exactly "YYYY-MM-DD" or "YYYY-MM-DD hh:mm:ss", nothing for any other.
bool ExpectedSplit(const std::string& text, SYSTEMTIME* fields) {
  static const char kShape[] = "0000-00-00 00:00:00";
  if (text.size() != 10 && text.size() != 19) return false;
  for (size_t i = 0; i < text.size(); ++i) {
    const bool digit = text[i] >= '0' && text[i] <= '9';
    if (kShape[i] == '0' ? !digit : text[i] != kShape[i]) return false;
  }
  double date = 0;
  return korvo::com::detail::ParseDate(text, &date) && VariantTimeToSystemTime(date, fields);
}

std::string Describe(const std::string& text) {
  std::string out;
  for (unsigned char c : text) {
    char hex[8];
    std::snprintf(hex, sizeof hex, c >= 0x20 && c < 0x7F ? "%c" : "\\x%02x", c);
    out += hex;
  }
  return out;
}

// The split, ParsePlainDate and the two ways of reading the full form
// against ParseDate for one text; false (with a failure recorded) on the
// first difference.
bool SplitAgrees(const std::string& original) {
  using namespace korvo::com::detail;
  SYSTEMTIME expected{};
  const bool want = ExpectedSplit(original, &expected);
  // Exactly as long as the text, so that ASan sees a read beyond it.
  const auto exact = std::make_unique<char[]>(original.size());
  std::memcpy(exact.get(), original.data(), original.size());
  const std::string_view text(exact.get(), original.size());
  SYSTEMTIME got = Fields(1, 2, 3, 4, 5, 6);
  got.wDayOfWeek = 7;
  got.wMilliseconds = 8;
  const SYSTEMTIME before = got;
  if (SplitPlainDate(text, &got) != want) {
    ADD_FAILURE() << "SplitPlainDate " << (want ? "refused" : "took") << " '" << Describe(original)
                  << "'";
    return false;
  }
  const SYSTEMTIME& should = want ? expected : before;
  if (!SameFields(got, should) || got.wDayOfWeek != (want ? 0 : 7) ||
      got.wMilliseconds != (want ? 0 : 8)) {
    ADD_FAILURE() << "SplitPlainDate fields of '" << Describe(original) << "': " << got.wYear << "-"
                  << got.wMonth << "-" << got.wDay << " " << got.wHour << ":" << got.wMinute << ":"
                  << got.wSecond;
    return false;
  }
  double plain = 0, general = 0;
  SYSTEMTIME plain_fields{};
  if (ParsePlainDate(text, &plain, &plain_fields) != want ||
      (want && (!ParseDate(text, &general) || std::memcmp(&plain, &general, sizeof plain) != 0 ||
                std::memcmp(&plain_fields, &expected, sizeof expected) != 0))) {
    ADD_FAILURE() << "ParsePlainDate differs on '" << Describe(original) << "'";
    return false;
  }
#if defined(__SSE2__)
  if (text.size() == 19) {
    PlainDateFields words{}, vector{};
    const bool by_words = SplitFullPlainDateWords(text.data(), &words);
    if (by_words != SplitFullPlainDateSse2(text.data(), &vector) ||
        (by_words && std::memcmp(&words, &vector, sizeof words) != 0)) {
      ADD_FAILURE() << "the word and SSE2 splits differ on '" << Describe(original) << "'";
      return false;
    }
  }
#endif
  return true;
}

}  // namespace

// The plain split against the general reader: every byte value at every
// position of edge and random dates, every shortening, a few tails, and
// random texts with their fields around the ranges.
TEST(OleDate, PlainSplitAgreesWithTheGeneralReader) {
  const unsigned seed = std::random_device{}();
  std::printf("PlainSplitAgreesWithTheGeneralReader seed %u\n", seed);
  SCOPED_TRACE(seed);
  std::mt19937 random(seed);
  auto pick = [&](int low, int high) {
    return std::uniform_int_distribution<int>(low, high)(random);
  };
  std::vector<std::string> bases = {
      "0100-01-01 00:00:00", "9999-12-31 23:59:59", "2000-02-29 12:30:45", "2024-02-29",
      "2023-02-28 23:59:59", "1900-02-28",          "2024-04-30 19:09:29", "1999-12-31"};
  for (int i = 0; i < 24; ++i) {
    char text[32];
    const int year = pick(100, 9999), month = pick(1, 12);
    const int day = pick(
        1, static_cast<int>(DaysIn(static_cast<unsigned>(year), static_cast<unsigned>(month))));
    std::snprintf(text, sizeof text, "%04d-%02d-%02d %02d:%02d:%02d", year, month, day, pick(0, 23),
                  pick(0, 59), pick(0, 59));
    bases.push_back(i % 4 == 0 ? std::string(text, 10) : std::string(text));
  }
  const std::string tails[] = {" ", "Z", "0", ".5", std::string(1, '\0')};
  for (const std::string& base : bases) {
    ASSERT_TRUE(SplitAgrees(base));
    for (size_t at = 0; at < base.size(); ++at) {
      ASSERT_TRUE(SplitAgrees(base.substr(0, at)));
      std::string mutated = base;
      for (int byte = 0; byte < 256; ++byte) {
        mutated[at] = static_cast<char>(byte);
        ASSERT_TRUE(SplitAgrees(mutated));
      }
    }
    for (const std::string& tail : tails) ASSERT_TRUE(SplitAgrees(base + tail));
  }
  static constexpr std::string_view kBytes("0123456789-: TZ/;\0", 18);
  for (int i = 0; i < 200000; ++i) {
    char text[32];
    std::snprintf(text, sizeof text, "%04d-%02d-%02d %02d:%02d:%02d", pick(0, 9999), pick(0, 13),
                  pick(0, 32), pick(0, 24), pick(0, 60), pick(0, 60));
    std::string mutated(text, pick(0, 3) == 0 ? 10 : 19);
    for (int n = pick(0, 2); n > 0; --n) {
      mutated[static_cast<size_t>(pick(0, static_cast<int>(mutated.size()) - 1))] =
          kBytes[static_cast<size_t>(pick(0, static_cast<int>(kBytes.size()) - 1))];
    }
    ASSERT_TRUE(SplitAgrees(mutated));
  }
}
