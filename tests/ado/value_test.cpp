// Tests of the value conversions: ISO date text of cells, and UTF-8 text
// into and out of BSTRs.
#include <gtest/gtest.h>
#include <korvo/ado/value_internal.h>

#include <cstring>
#include <string>

namespace korvo::ado {
namespace {

// The calendar itself is com's (tests/com/oledate_test.cpp); what the cell
// reader adds is the kept fraction and the ignored 'Z'.
TEST(Value, ReadsIsoDatesOfCellsKeepingFractions) {
  double d = 0;
  for (const char* bad : {"2020-02-30", "2021-02-29", "2020-13-01", "2020-01-01 24:00:00",
                          "0099-12-31", "2020-01-01X10:00", "10:60", "abc", "2020-1-1", ""}) {
    EXPECT_FALSE(ParseIsoDate(bad, std::strlen(bad), &d)) << bad;
  }
  ASSERT_TRUE(ParseIsoDate("2000-02-29T12:00:00.5Z", 22, &d));
  EXPECT_NEAR(d, 36585.5 + 0.5 / 86400, 1e-9);
  ASSERT_TRUE(ParseIsoDate("1899-12-29 06:00:00.25", 22, &d));  // away from day 0
  EXPECT_NEAR(d, -1.25 - 0.25 / 86400, 1e-9);
  ASSERT_TRUE(ParseIsoDate("06:00", 5, &d));
  EXPECT_DOUBLE_EQ(d, 0.25);
  std::string text;
  ASSERT_TRUE(FormatIsoDate(-1.25, 135, &text));
  EXPECT_EQ(text, "1899-12-29 06:00:00");
}

TEST(Value, BstrsHoldTheUtf8TextAsUtf16) {
  // The BSTR is allocated at the byte length and shortened when multi-byte
  // sequences give fewer units: its length must be the unit count.
  const struct {
    std::string utf8;
    std::u16string utf16;
  } cases[] = {
      {"", u""},
      {"plain ascii", u"plain ascii"},
      {"h\xC3\xA9llo \xE2\x82\xAC", u"h\u00e9llo \u20ac"},
      {"\xF0\x9F\x98\x80!", u"\U0001F600!"},
      {"a\xE2\x82"
       "b",
       u"a\uFFFD"
       u"b"},
      {std::string("x\0y", 3), std::u16string(u"x\0y", 3)},
  };
  for (const auto& c : cases) {
    BSTR b = Utf8ToBstr(c.utf8.data(), c.utf8.size());
    ASSERT_NE(b, nullptr);
    EXPECT_EQ(std::u16string(b, SysStringLen(b)), c.utf16) << c.utf8;
    EXPECT_EQ(b[SysStringLen(b)], u'\0') << "terminated after the text";
    if (c.utf16.find(u'\uFFFD') == std::u16string::npos) {
      EXPECT_EQ(BstrToUtf8(b), c.utf8);
    }
    SysFreeString(b);
  }
  EXPECT_EQ(BstrToUtf8(nullptr), "");
}

}  // namespace
}  // namespace korvo::ado
