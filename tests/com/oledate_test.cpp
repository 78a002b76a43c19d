// OLE dates: calendar fields, negative dates, range, ISO text.
#include <gtest/gtest.h>
#include <korvo/com/oledate.h>
#include <korvo/com/variant.h>

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
