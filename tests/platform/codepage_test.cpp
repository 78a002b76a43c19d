// Code-page conversion: UTF-8 <-> UTF-16 (the default ANSI code page),
// iconv code pages, counting mode and buffer limits, malformed input.
#include <korvo/platform/codepage.h>

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <thread>
#include <vector>

#include "support/test_support.h"

namespace {

using korvo::test::ScopedEnv;

std::u16string ToWide(UINT cp, const std::string& bytes) {
  int n = MultiByteToWideChar(cp, 0, bytes.data(), static_cast<int>(bytes.size()), nullptr, 0);
  std::u16string out(static_cast<size_t>(n), u'\0');
  if (n > 0) {
    EXPECT_EQ(n, MultiByteToWideChar(cp, 0, bytes.data(), static_cast<int>(bytes.size()),
                                     out.data(), n));
  }
  return out;
}

std::string ToNarrow(UINT cp, const std::u16string& text, BOOL* used = nullptr,
                     const char* defaultChar = nullptr) {
  int n = WideCharToMultiByte(cp, 0, text.data(), static_cast<int>(text.size()), nullptr, 0,
                              defaultChar, used);
  std::string out(static_cast<size_t>(n), '\0');
  if (n > 0) {
    EXPECT_EQ(n, WideCharToMultiByte(cp, 0, text.data(), static_cast<int>(text.size()),
                                     out.data(), n, defaultChar, used));
  }
  return out;
}

const char kMixed[] = "a\xC3\xA9\xE2\x82\xAC\xF0\x9F\x98\x80";  // a é € U+1F600
const char16_t kMixedWide[] = u"a\u00E9\u20AC\U0001F600";

TEST(CodePage, Utf8RoundTripsIncludingSurrogatePairs) {
  EXPECT_STREQ("UTF-8", korvo::platform::AnsiCodePageName());
  for (UINT cp : {static_cast<UINT>(CP_ACP), static_cast<UINT>(CP_UTF8)}) {
    std::u16string wide = ToWide(cp, kMixed);
    EXPECT_EQ(std::u16string(kMixedWide), wide);
    ASSERT_EQ(5u, wide.size());
    EXPECT_EQ(0xD83D, wide[3]);
    EXPECT_EQ(0xDE00, wide[4]);
    EXPECT_EQ(std::string(kMixed), ToNarrow(cp, wide));
  }
  // Every BMP scalar value and a sample above it survives the round trip.
  std::u16string all;
  for (char32_t c = 1; c < 0x10000; ++c) {
    if (c < 0xD800 || c > 0xDFFF) all.push_back(static_cast<char16_t>(c));
  }
  for (char32_t c = 0x10000; c <= 0x10FFFF; c += 0x1111) {
    all.push_back(static_cast<char16_t>(0xD800 + ((c - 0x10000) >> 10)));
    all.push_back(static_cast<char16_t>(0xDC00 + ((c - 0x10000) & 0x3FF)));
  }
  std::string utf8 = ToNarrow(CP_UTF8, all);
  EXPECT_EQ(all, ToWide(CP_UTF8, utf8));
}

TEST(CodePage, MinusOneConvertsAndCountsTheTerminator) {
  EXPECT_EQ(4, MultiByteToWideChar(CP_ACP, 0, "abc", -1, nullptr, 0));
  WCHAR wide[8];
  std::fill(std::begin(wide), std::end(wide), u'#');
  EXPECT_EQ(4, MultiByteToWideChar(CP_ACP, 0, "abc", -1, wide, 8));
  EXPECT_EQ(std::u16string(u"abc"), std::u16string(wide));
  // With an explicit length no terminator is written.
  std::fill(std::begin(wide), std::end(wide), u'#');
  EXPECT_EQ(3, MultiByteToWideChar(CP_ACP, 0, "abc", 3, wide, 8));
  EXPECT_EQ(u'#', wide[3]);

  EXPECT_EQ(6, WideCharToMultiByte(CP_ACP, 0, u"\u00E9t\u00E9", -1, nullptr, 0, nullptr, nullptr));
  char narrow[8];
  std::memset(narrow, '#', sizeof narrow);
  EXPECT_EQ(6, WideCharToMultiByte(CP_ACP, 0, u"\u00E9t\u00E9", -1, narrow, 8, nullptr, nullptr));
  EXPECT_STREQ("\xC3\xA9t\xC3\xA9", narrow);
  std::memset(narrow, '#', sizeof narrow);
  EXPECT_EQ(5, WideCharToMultiByte(CP_ACP, 0, u"\u00E9t\u00E9", 3, narrow, 8, nullptr, nullptr));
  EXPECT_EQ('#', narrow[5]);
  // An empty text with -1 is its terminator alone.
  EXPECT_EQ(1, MultiByteToWideChar(CP_ACP, 0, "", -1, wide, 8));
  EXPECT_EQ(0, wide[0]);
}

TEST(CodePage, CountingModeAndExactBufferLimits) {
  // kMixed with -1 needs 6 units; exactly 6 fits, 5 does not.
  ASSERT_EQ(6, MultiByteToWideChar(CP_UTF8, 0, kMixed, -1, nullptr, 0));
  WCHAR wide[6];
  EXPECT_EQ(6, MultiByteToWideChar(CP_UTF8, 0, kMixed, -1, wide, 6));
  SetLastError(0);
  EXPECT_EQ(0, MultiByteToWideChar(CP_UTF8, 0, kMixed, -1, wide, 5));
  EXPECT_EQ(static_cast<DWORD>(ERROR_INSUFFICIENT_BUFFER), GetLastError());
  // The surrogate pair is never split: 4 units hold "a é €" but not the pair.
  SetLastError(0);
  EXPECT_EQ(0, MultiByteToWideChar(CP_UTF8, 0, kMixed, 10, wide, 4));
  EXPECT_EQ(static_cast<DWORD>(ERROR_INSUFFICIENT_BUFFER), GetLastError());
  EXPECT_EQ(5, MultiByteToWideChar(CP_UTF8, 0, kMixed, 10, wide, 5));
  // Pure ASCII past the limit takes the same failure.
  EXPECT_EQ(0, MultiByteToWideChar(CP_UTF8, 0, "abcdefgh", 8, wide, 6));
  EXPECT_EQ(static_cast<DWORD>(ERROR_INSUFFICIENT_BUFFER), GetLastError());

  // UTF-16 to UTF-8: 11 bytes with the terminator.
  ASSERT_EQ(11, WideCharToMultiByte(CP_UTF8, 0, kMixedWide, -1, nullptr, 0, nullptr, nullptr));
  char narrow[11];
  EXPECT_EQ(11, WideCharToMultiByte(CP_UTF8, 0, kMixedWide, -1, narrow, 11, nullptr, nullptr));
  EXPECT_STREQ(kMixed, narrow);
  for (int room = 1; room < 11; ++room) {
    SetLastError(0);
    EXPECT_EQ(0, WideCharToMultiByte(CP_UTF8, 0, kMixedWide, -1, narrow, room, nullptr, nullptr))
        << room;
    EXPECT_EQ(static_cast<DWORD>(ERROR_INSUFFICIENT_BUFFER), GetLastError());
  }
  // A multi-byte character is not split: "é" needs 2 bytes.
  EXPECT_EQ(0, WideCharToMultiByte(CP_UTF8, 0, u"\u00E9", 1, narrow, 1, nullptr, nullptr));
  EXPECT_EQ(static_cast<DWORD>(ERROR_INSUFFICIENT_BUFFER), GetLastError());
}

TEST(CodePage, MalformedUtf8BecomesReplacementCharacters) {
  struct Case {
    std::string bytes;
    std::u16string expected;
  } cases[] = {
      {"\x80", u"\uFFFD"},                                  // lone continuation
      {"\xC0\xAF", u"\uFFFD\uFFFD"},                        // overlong lead C0
      {"\xE0\x80\xAF", u"\uFFFD\uFFFD\uFFFD"},              // overlong three-byte form
      {std::string("\xE2\x82", 2) + "A", u"\uFFFDA"},       // truncated: one replacement
      {"\xED\xA0\x80", u"\uFFFD\uFFFD\uFFFD"},              // encoded surrogate
      {"\xF4\x90\x80\x80", u"\uFFFD\uFFFD\uFFFD\uFFFD"},    // above U+10FFFF
      {"\xFF\xFE", u"\uFFFD\uFFFD"},
      {"a\xF0\x9F\x98", u"a\uFFFD"},                        // truncated at the end
      {std::string("x\0y", 3), std::u16string(u"x\0y", 3)},  // embedded NUL is data
  };
  for (const Case& c : cases) {
    EXPECT_EQ(c.expected, ToWide(CP_UTF8, c.bytes)) << c.bytes;
  }
  // Every single byte and every byte pair converts without crashing, and the
  // counting pass agrees with the writing pass.
  for (int a = 0; a < 256; ++a) {
    for (int b = 0; b < 256; b += 7) {
      char two[2] = {static_cast<char>(a), static_cast<char>(b)};
      int n = MultiByteToWideChar(CP_UTF8, 0, two, 2, nullptr, 0);
      WCHAR out[2];
      ASSERT_GE(n, 1);
      ASSERT_EQ(n, MultiByteToWideChar(CP_UTF8, 0, two, 2, out, 2));
    }
  }
}

TEST(CodePage, UnpairedSurrogateToUtf8) {
  BOOL used = FALSE;
  EXPECT_EQ("a\xEF\xBF\xBD" "b", ToNarrow(CP_UTF8, std::u16string(u"a\xD800" u"b"), &used));
  EXPECT_TRUE(used);
  EXPECT_EQ("\xEF\xBF\xBD", ToNarrow(CP_UTF8, std::u16string(1, u'\xDC00'), &used));
  // A high surrogate at the very end of the input.
  EXPECT_EQ("\xEF\xBF\xBD", ToNarrow(CP_UTF8, std::u16string(1, u'\xDBFF'), &used));
  used = TRUE;
  EXPECT_EQ("ok", ToNarrow(CP_UTF8, u"ok", &used));
  EXPECT_FALSE(used);
}

TEST(CodePage, InvalidParameters) {
  WCHAR wide[4];
  char narrow[4];
  struct {
    int result;
  } calls[] = {
      {MultiByteToWideChar(CP_ACP, 0, nullptr, -1, wide, 4)},
      {MultiByteToWideChar(CP_ACP, 0, "a", -2, wide, 4)},
      {MultiByteToWideChar(CP_ACP, 0, "a", 0, wide, 4)},
      {MultiByteToWideChar(CP_ACP, 0, "a", 1, nullptr, 4)},
      {MultiByteToWideChar(CP_ACP, 0, "a", 1, wide, -1)},
      {MultiByteToWideChar(424242, 0, "a", 1, wide, 4)},
      {WideCharToMultiByte(CP_ACP, 0, nullptr, -1, narrow, 4, nullptr, nullptr)},
      {WideCharToMultiByte(CP_ACP, 0, u"a", -5, narrow, 4, nullptr, nullptr)},
      {WideCharToMultiByte(CP_ACP, 0, u"a", 1, nullptr, 4, nullptr, nullptr)},
      {WideCharToMultiByte(424242, 0, u"a", 1, narrow, 4, nullptr, nullptr)},
  };
  for (auto& c : calls) EXPECT_EQ(0, c.result);
  SetLastError(0);
  EXPECT_EQ(0, MultiByteToWideChar(424242, 0, "a", 1, wide, 4));
  EXPECT_EQ(static_cast<DWORD>(ERROR_INVALID_PARAMETER), GetLastError());
  EXPECT_FALSE(CharToOemA(nullptr, narrow));
  EXPECT_FALSE(OemToCharA("a", nullptr));
}

TEST(CodePage, NumberedCodePagesThroughIconv) {
  // CP1252: é is 0xE9, € is 0x80; 0x81 is undefined and becomes '?'.
  EXPECT_EQ(std::u16string(u"\u00E9\u20AC?"), ToWide(1252, "\xE9\x80\x81"));
  BOOL used = TRUE;
  EXPECT_EQ("\xE9\x80", ToNarrow(1252, u"\u00E9\u20AC", &used));
  EXPECT_FALSE(used);
  // Unrepresentable: the default character, once per character (a surrogate
  // pair is one character).
  EXPECT_EQ("a?b?", ToNarrow(1252, u"a\u4E2Db\U0001F600", &used));
  EXPECT_TRUE(used);
  char star = '*';
  EXPECT_EQ("*x", ToNarrow(1252, u"\u4E2Dx", &used, &star));
  // An unpaired surrogate is not representable either.
  EXPECT_EQ("?", ToNarrow(1252, std::u16string(1, u'\xD801'), &used));
  // Exact limits hold for the iconv path too.
  char narrow[3];
  EXPECT_EQ(0, WideCharToMultiByte(1252, 0, u"abc", -1, narrow, 3, nullptr, nullptr));
  EXPECT_EQ(static_cast<DWORD>(ERROR_INSUFFICIENT_BUFFER), GetLastError());
  EXPECT_EQ(3, WideCharToMultiByte(1252, 0, u"abc", 3, narrow, 3, nullptr, nullptr));
  EXPECT_EQ(4, MultiByteToWideChar(1252, 0, "abc", -1, nullptr, 0));
}

TEST(CodePage, OemConversionInPlace) {
  EXPECT_STREQ("CP437", korvo::platform::OemCodePageName());
  char text[] = "Gr\xC3\xBC\xC3\x9F" "e";  // Grüße in UTF-8, 7 bytes
  ASSERT_TRUE(CharToOemA(text, text));
  EXPECT_STREQ("Gr\x81\xE1" "e", text);  // CP437: ü 0x81, ß 0xE1
  // Back to UTF-8 into a separate buffer: the longer result is cut to the
  // source's 5 bytes, before a whole character.
  char back[16];
  ASSERT_TRUE(OemToCharA(text, back));
  EXPECT_STREQ("Gr\xC3\xBC", back);
  char same[] = "plain ASCII";
  ASSERT_TRUE(OemToCharA(same, same));
  EXPECT_STREQ("plain ASCII", same);
  // Not representable in CP437: '?'.
  char cjk[] = "\xE4\xB8\xAD!";
  ASSERT_TRUE(CharToOemA(cjk, cjk));
  EXPECT_STREQ("?!", cjk);
}

TEST(CodePage, ConversionsOnManyThreadsAgree) {
  std::vector<std::thread> threads;
  std::vector<int> failures(4, 0);
  for (int t = 0; t < 4; ++t) {
    threads.emplace_back([t, &failures] {
      for (int i = 0; i < 500; ++i) {
        UINT cp = (i + t) % 2 ? 1252 : CP_UTF8;
        std::u16string wide = u"caf\u00E9 \u20AC" + std::u16string(static_cast<size_t>(i % 7), u'x');
        std::string narrow = ToNarrow(cp, wide);
        if (ToWide(cp, narrow) != wide) ++failures[static_cast<size_t>(t)];
      }
    });
  }
  for (auto& th : threads) th.join();
  for (int f : failures) EXPECT_EQ(0, f);
}

// The settings below are read once per process: each case relies on CTest
// running it in a process of its own.
TEST(CodePageEnv, Cp1252AsAnsiCodePage) {
  ScopedEnv acp("KORVO_CODEPAGE", "CP1252");
  EXPECT_STREQ("CP1252", korvo::platform::AnsiCodePageName());
  EXPECT_EQ(std::u16string(u"\u00E9\u20AC"), ToWide(CP_ACP, "\xE9\x80"));
  EXPECT_EQ("caf\xE9", ToNarrow(CP_ACP, u"caf\u00E9"));
  // CP_UTF8 is still UTF-8.
  EXPECT_EQ("caf\xC3\xA9", ToNarrow(CP_UTF8, u"caf\u00E9"));
  // ANSI -> OEM goes CP1252 -> CP437 byte for byte.
  char text[] = "\xE9t\xE9";
  ASSERT_TRUE(CharToOemA(text, text));
  EXPECT_STREQ("\x82t\x82", text);
}

TEST(CodePageEnv, UnknownCharsetKeepsTheDefault) {
  ScopedEnv acp("KORVO_CODEPAGE", "NO-SUCH-CHARSET");
  ScopedEnv oem("KORVO_OEMCP", "CP850");
  EXPECT_STREQ("UTF-8", korvo::platform::AnsiCodePageName());
  EXPECT_STREQ("CP850", korvo::platform::OemCodePageName());
  EXPECT_EQ(std::u16string(u"\u00E9"), ToWide(CP_ACP, "\xC3\xA9"));
}

}  // namespace
