// UTF-32 <-> UTF-16: every class of code point, both directions, both ways
// of treating invalid input.
#include <gtest/gtest.h>
#include <korvo/platform/utf32.h>

#include <string>
#include <vector>

namespace {

using korvo::InvalidText;

std::wstring U32(std::initializer_list<uint32_t> values) {
  std::wstring s;
  for (uint32_t v : values) s.push_back(static_cast<wchar_t>(v));
  return s;
}

std::u16string U16(std::initializer_list<uint32_t> values) {
  std::u16string s;
  for (uint32_t v : values) s.push_back(static_cast<char16_t>(v));
  return s;
}

TEST(Utf32, ValidTextRoundTripsThroughUtf16) {
  struct Row {
    const char* what;
    std::wstring utf32;
    std::u16string utf16;
  };
  const std::vector<Row> rows = {
      {"empty", U32({}), U16({})},
      {"ASCII", U32({'K', 0x7F}), U16({'K', 0x7F})},
      {"BMP", U32({0xE9, 0x20AC, 0xD7FF, 0xE000, 0xFFFD, 0xFFFF}),
       U16({0xE9, 0x20AC, 0xD7FF, 0xE000, 0xFFFD, 0xFFFF})},
      {"supplementary", U32({0x10000, 0x1F99C, 0x10FFFF}),
       U16({0xD800, 0xDC00, 0xD83E, 0xDD9C, 0xDBFF, 0xDFFF})},
      {"mixed", U32({'a', 0x1F600, 0xE9}), U16({'a', 0xD83D, 0xDE00, 0xE9})},
  };
  for (const Row& row : rows) {
    for (InvalidText mode : {InvalidText::kStop, InvalidText::kReplace}) {
      std::u16string utf16 = u"<";  // appended to, not replaced
      EXPECT_TRUE(korvo::Utf32ToUtf16(row.utf32, utf16, mode).ok) << row.what;
      EXPECT_EQ(u"<" + row.utf16, utf16) << row.what;
      std::wstring utf32;
      EXPECT_TRUE(korvo::Utf16ToUtf32(row.utf16, utf32, mode).ok) << row.what;
      EXPECT_EQ(row.utf32, utf32) << row.what;
    }
  }
}

TEST(Utf32, InvalidUtf32IsReportedAndStoppedOrReplaced) {
  struct Row {
    const char* what;
    std::wstring in;
    size_t index;
    uint32_t value;
  };
  const std::vector<Row> rows = {
      {"high surrogate value", U32({'a', 0xD800, 'b', 0x110000}), 1, 0xD800},
      {"low surrogate value", U32({'a', 0xDFFF, 'b', 0x110000}), 1, 0xDFFF},
      {"above 0x10FFFF", U32({'a', 0x110000, 'b', 0xD800}), 1, 0x110000},
      {"negative wchar_t", U32({'a', 0xFFFFFFFF, 'b', 0xD800}), 1, 0xFFFFFFFF},
  };
  for (const Row& row : rows) {
    std::u16string stopped;
    const korvo::WideConversion stop = korvo::Utf32ToUtf16(row.in, stopped, InvalidText::kStop);
    EXPECT_FALSE(stop.ok) << row.what;
    EXPECT_EQ(row.index, stop.index) << row.what;
    EXPECT_EQ(row.value, stop.value) << row.what;
    EXPECT_EQ(u"a", stopped) << row.what;
    // Replacing goes on past both invalid elements and reports the first.
    std::u16string replaced;
    const korvo::WideConversion go = korvo::Utf32ToUtf16(row.in, replaced, InvalidText::kReplace);
    EXPECT_EQ(row.value, go.value) << row.what;
    EXPECT_EQ(u"a\uFFFDb\uFFFD", replaced) << row.what;
  }
  EXPECT_EQ("U+110000 at index 1 is not a Unicode scalar value",
            korvo::DescribeInvalidWideText({false, 1, 0x110000}));
}

TEST(Utf32, LoneSurrogatesInUtf16AreReportedAndStoppedOrReplaced) {
  struct Row {
    const char* what;
    std::u16string in;
    std::wstring replaced;
    size_t index;
    uint32_t value;
  };
  const std::vector<Row> rows = {
      {"high at the end", U16({'a', 0xD83D}), L"a\uFFFD", 1, 0xD83D},
      {"high before a non-surrogate", U16({'a', 0xD83D, 'b'}), L"a\uFFFDb", 1, 0xD83D},
      {"lone low", U16({'a', 0xDC00, 'b'}), L"a\uFFFDb", 1, 0xDC00},
      {"reversed pair", U16({'a', 0xDE00, 0xD83D}), L"a\uFFFD\uFFFD", 1, 0xDE00},
      {"two highs then a low", U16({'a', 0xD83D, 0xD83D, 0xDE00}), L"a\uFFFD\U0001F600", 1, 0xD83D},
  };
  for (const Row& row : rows) {
    std::wstring stopped;
    const korvo::WideConversion stop = korvo::Utf16ToUtf32(row.in, stopped, InvalidText::kStop);
    EXPECT_FALSE(stop.ok) << row.what;
    EXPECT_EQ(row.index, stop.index) << row.what;
    EXPECT_EQ(row.value, stop.value) << row.what;
    EXPECT_EQ(L"a", stopped) << row.what;
    std::wstring replaced;
    EXPECT_FALSE(korvo::Utf16ToUtf32(row.in, replaced, InvalidText::kReplace).ok) << row.what;
    EXPECT_EQ(row.replaced, replaced) << row.what;
  }
}

TEST(Utf32, Utf16CopyKeepsNullAndReportsTheFirstFailure) {
  EXPECT_EQ(nullptr, korvo::Utf16Copy(nullptr, InvalidText::kStop).c_str());
  const korvo::Utf16Copy copy(L"x\U0001F99C", InvalidText::kStop);
  EXPECT_EQ(std::u16string(u"x\U0001F99C"), copy.c_str());
  const std::wstring bad = U32({'x', 0x110000});
  const korvo::Utf16Copy replaced(bad.c_str(), InvalidText::kReplace);
  EXPECT_EQ(std::u16string(u"x\uFFFD"), replaced.c_str());
  EXPECT_FALSE(replaced.result().ok);
}

}  // namespace
