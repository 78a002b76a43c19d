// Code-page conversion: UTF-8 <-> UTF-16 (the default ANSI code page),
// iconv code pages, counting mode and buffer limits, malformed input.
#include <gtest/gtest.h>
#include <iconv.h>
#include <korvo/platform/codepage.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <random>
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
    EXPECT_EQ(
        n, MultiByteToWideChar(cp, 0, bytes.data(), static_cast<int>(bytes.size()), out.data(), n));
  }
  return out;
}

std::string ToNarrow(UINT cp, const std::u16string& text, BOOL* used = nullptr,
                     const char* defaultChar = nullptr) {
  int n = WideCharToMultiByte(cp, 0, text.data(), static_cast<int>(text.size()), nullptr, 0,
                              defaultChar, used);
  std::string out(static_cast<size_t>(n), '\0');
  if (n > 0) {
    EXPECT_EQ(n, WideCharToMultiByte(cp, 0, text.data(), static_cast<int>(text.size()), out.data(),
                                     n, defaultChar, used));
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
      {"\x80", u"\uFFFD"},                             // lone continuation
      {"\xC0\xAF", u"\uFFFD\uFFFD"},                   // overlong lead C0
      {"\xE0\x80\xAF", u"\uFFFD\uFFFD\uFFFD"},         // overlong three-byte form
      {std::string("\xE2\x82", 2) + "A", u"\uFFFDA"},  // truncated: one replacement
      {"a\xE2\x82"
       "b",
       u"a\uFFFD"
       u"b"},
      {"\xED\xA0\x80", u"\uFFFD\uFFFD\uFFFD"},            // encoded surrogate
      {"\xF4\x90\x80\x80", u"\uFFFD\uFFFD\uFFFD\uFFFD"},  // above U+10FFFF
      {"\xFF\xFE", u"\uFFFD\uFFFD"},
      {"a\xF0\x9F\x98", u"a\uFFFD"},                         // truncated at the end
      {std::string("x\0y", 3), std::u16string(u"x\0y", 3)},  // embedded NUL is data
  };
  for (const Case& c : cases) {
    EXPECT_EQ(c.expected, ToWide(CP_UTF8, c.bytes)) << c.bytes;
  }
}

// iconv as the reference decoder: it converts the well-formed runs, and
// where it stops the ill-formed subsequence is the longest prefix that some
// continuation would make well-formed for iconv (at least one byte).
class IconvReference {
 public:
  IconvReference(const char* to, const char* from) : cd_(iconv_open(to, from)) {}
  ~IconvReference() { iconv_close(cd_); }
  bool ok() const { return cd_ != reinterpret_cast<iconv_t>(-1); }

  // Converts the whole input; at each place iconv refuses, `onRefused`
  // appends the replacement and returns how many bytes it stands for.
  template <class OnRefused>
  std::string Convert(const std::string& input, OnRefused onRefused) {
    std::string out;
    size_t at = 0;
    while (at < input.size()) {
      iconv(cd_, nullptr, nullptr, nullptr, nullptr);
      char* in = const_cast<char*>(input.data()) + at;
      size_t inLeft = input.size() - at;
      char buffer[256];
      char* o = buffer;
      size_t oLeft = sizeof buffer;
      const bool stopped = iconv(cd_, &in, &inLeft, &o, &oLeft) == static_cast<size_t>(-1);
      out.append(buffer, static_cast<size_t>(o - buffer));
      at = input.size() - inLeft;
      if (stopped && errno != E2BIG) at += onRefused(input.substr(at), out);
    }
    return out;
  }
  // True when iconv converts all of `bytes` without complaint.
  bool Accepts(const std::string& bytes) {
    iconv(cd_, nullptr, nullptr, nullptr, nullptr);
    char* in = const_cast<char*>(bytes.data());
    size_t inLeft = bytes.size();
    char buffer[16];
    char* o = buffer;
    size_t oLeft = sizeof buffer;
    return iconv(cd_, &in, &inLeft, &o, &oLeft) != static_cast<size_t>(-1) && inLeft == 0;
  }

 private:
  iconv_t cd_;
};

// Whether some continuation bytes complete `prefix` to one character iconv
// accepts. Only the second byte has a narrowed range (A0.., ..9F, 90..,
// ..8F), so these four values cover every lead byte.
bool Completable(IconvReference& iconvUtf8, const std::string& prefix) {
  const unsigned char lead = static_cast<unsigned char>(prefix[0]);
  const size_t length = lead >= 0xF0 ? 4 : lead >= 0xE0 ? 3 : lead >= 0xC0 ? 2 : 1;
  if (prefix.size() >= length) return false;
  const std::string tails[] = {"\x80", "\x90", "\xA0", "\xBF"};
  std::vector<std::string> candidates = {prefix};
  for (size_t k = prefix.size(); k < length; ++k) {
    std::vector<std::string> longer;
    for (const std::string& c : candidates) {
      for (const std::string& t : tails) longer.push_back(c + t);
    }
    candidates.swap(longer);
  }
  for (const std::string& c : candidates) {
    if (iconvUtf8.Accepts(c)) return true;
  }
  return false;
}

TEST(CodePage, Utf8AndUtf16AgreeWithIconvOnRandomBytes) {
  IconvReference fromUtf8("UTF-16LE", "UTF-8");
  IconvReference fromUtf16("UTF-8", "UTF-16LE");
  ASSERT_TRUE(fromUtf8.ok() && fromUtf16.ok());
  const std::string kReplacement16("\xFD\xFF", 2);
  const unsigned seed = std::random_device{}();
  std::printf("seed %u\n", seed);
  SCOPED_TRACE("seed " + std::to_string(seed));
  std::mt19937 rng(seed);
  // Bytes near the edges of the UTF-8 ranges, so that most strings hold
  // both well-formed and ill-formed sequences; every fourth byte is any.
  const unsigned char kEdges[] = {'a',  0x00, 0x7F, 0x80, 0x8F, 0x90, 0x9F, 0xA0, 0xBF,
                                  0xC0, 0xC1, 0xC2, 0xDF, 0xE0, 0xE1, 0xED, 0xEE, 0xEF,
                                  0xF0, 0xF1, 0xF3, 0xF4, 0xF5, 0xF8, 0xFE, 0xFF};
  for (int round = 0; round < 20000; ++round) {
    std::string bytes(rng() % 24, '\0');
    for (char& b : bytes) {
      b = static_cast<char>(rng() % 4 == 0 ? rng() % 256 : kEdges[rng() % sizeof kEdges]);
    }
    const std::string expected =
        fromUtf8.Convert(bytes, [&](const std::string& rest, std::string& out) {
          out += kReplacement16;
          size_t k = std::min<size_t>(3, rest.size());
          while (k > 1 && !Completable(fromUtf8, rest.substr(0, k))) --k;
          return size_t{1} > k ? size_t{1} : k;
        });
    const std::u16string ours = korvo::platform::Utf8ToUtf16(bytes);
    ASSERT_EQ(expected, std::string(reinterpret_cast<const char*>(ours.data()), ours.size() * 2))
        << "round " << round;
    if (!bytes.empty()) {
      ASSERT_EQ(ours, ToWide(CP_UTF8, bytes)) << "counting and writing passes, round " << round;
    }

    // The reverse direction on random units, unpaired surrogates included.
    std::u16string units(rng() % 12, u'\0');
    for (char16_t& u : units) {
      const unsigned r = rng();
      u = static_cast<char16_t>(r % 3 == 0 ? 0xD800 + r / 3 % 0x800 : r / 3 % 0x10000);
    }
    const std::string utf16(reinterpret_cast<const char*>(units.data()), units.size() * 2);
    const std::string expectedUtf8 =
        fromUtf16.Convert(utf16, [](const std::string&, std::string& out) {
          out += "\xEF\xBF\xBD";
          return size_t{2};
        });
    ASSERT_EQ(expectedUtf8, korvo::platform::Utf16ToUtf8(units)) << "round " << round;
  }
}

TEST(CodePage, UnpairedSurrogateToUtf8) {
  BOOL used = FALSE;
  EXPECT_EQ(
      "a\xEF\xBF\xBD"
      "b",
      ToNarrow(CP_UTF8,
               std::u16string(u"a\xD800"
                              u"b"),
               &used));
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
  const int results[] = {
      MultiByteToWideChar(CP_ACP, 0, nullptr, -1, wide, 4),
      MultiByteToWideChar(CP_ACP, 0, "a", -2, wide, 4),
      MultiByteToWideChar(CP_ACP, 0, "a", 0, wide, 4),
      MultiByteToWideChar(CP_ACP, 0, "a", 1, nullptr, 4),
      MultiByteToWideChar(CP_ACP, 0, "a", 1, wide, -1),
      MultiByteToWideChar(424242, 0, "a", 1, wide, 4),
      WideCharToMultiByte(CP_ACP, 0, nullptr, -1, narrow, 4, nullptr, nullptr),
      WideCharToMultiByte(CP_ACP, 0, u"a", -5, narrow, 4, nullptr, nullptr),
      WideCharToMultiByte(CP_ACP, 0, u"a", 1, nullptr, 4, nullptr, nullptr),
      WideCharToMultiByte(424242, 0, u"a", 1, narrow, 4, nullptr, nullptr),
  };
  EXPECT_EQ(std::vector<int>(std::begin(results), std::end(results)), std::vector<int>(10, 0));
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
  char text[] =
      "Gr\xC3\xBC\xC3\x9F"
      "e";  // Grüße in UTF-8, 7 bytes
  ASSERT_TRUE(CharToOemA(text, text));
  EXPECT_STREQ(
      "Gr\x81\xE1"
      "e",
      text);  // CP437: ü 0x81, ß 0xE1
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
        std::u16string wide =
            u"caf\u00E9 \u20AC" + std::u16string(static_cast<size_t>(i % 7), u'x');
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
