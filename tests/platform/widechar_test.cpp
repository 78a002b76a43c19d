// The 16-bit wide-text functions against the C library's wchar_t versions
// on text of the Basic Multilingual Plane.
#include <gtest/gtest.h>
#include <korvo/platform/widechar.h>

#include <clocale>
#include <cstring>
#include <cwchar>
#include <cwctype>
#include <string>
#include <vector>

namespace {

using korvo::platform::IsWAlpha;
using korvo::platform::IsWDigit;
using korvo::platform::IsWSpace;
using korvo::platform::ToWLower;
using korvo::platform::ToWUpper;

// Runs the test body in the UTF-8 locale so the C library classifies
// beyond ASCII, and restores the previous locale.
class WideChar : public ::testing::Test {
 protected:
  void SetUp() override {
    old_ = std::setlocale(LC_ALL, nullptr);
    ASSERT_NE(nullptr, std::setlocale(LC_ALL, "C.UTF-8"));
  }
  void TearDown() override { std::setlocale(LC_ALL, old_.c_str()); }

 private:
  std::string old_;
};

std::wstring W(const std::u16string& s) { return std::wstring(s.begin(), s.end()); }

int Sign(long v) { return v < 0 ? -1 : (v > 0 ? 1 : 0); }

// Where a search stopped, counted from the start of the text; -1: not found.
template <class C>
long Offset(const C* found, const std::basic_string<C>& text) {
  return found != nullptr ? found - text.c_str() : -1;
}

const std::vector<std::u16string> kSamples = {
    u"",
    u"a",
    u"abc",
    u"ABC",
    u"abd",
    u"ab",
    u"\u00E9t\u00E9",
    u"\u00C9T\u00C9",
    u"\u0436\u0416",
    u"\u4E2D\u6587",
    u"x y\tz",
    u"\uFFFF",
    u"\u00E0\u00E1b",
    u"zzz",
    u"\u03A3\u03C3",
};

TEST_F(WideChar, DigitsLettersAndCaseMatchTheCLibraryOnEveryBmpUnit) {
  int mismatches = 0;
  for (char32_t c = 0; c < 0x10000; ++c) {
    WCHAR u = static_cast<WCHAR>(c);
    if (c >= 0xD800 && c <= 0xDFFF) {
      // Surrogates are never classified or mapped.
      if (IsWSpace(u) || IsWAlpha(u) || IsWDigit(u) || ToWUpper(u) != u || ToWLower(u) != u) {
        ++mismatches;
      }
      continue;
    }
    wint_t w = static_cast<wint_t>(c);
    if ((IsWDigit(u) != 0) != (std::iswdigit(w) != 0)) ++mismatches;
    if ((IsWAlpha(u) != 0) != (std::iswalpha(w) != 0)) ++mismatches;
    if (std::towupper(w) <= 0xFFFF && ToWUpper(u) != std::towupper(w)) ++mismatches;
    if (std::towlower(w) <= 0xFFFF && ToWLower(u) != std::towlower(w)) ++mismatches;
  }
  EXPECT_EQ(0, mismatches);
  EXPECT_EQ(u'\u00C9', ToWUpper(u'\u00E9'));
}

// The Windows white-space set, written out unit by unit.
bool IsListedSpace(char32_t c) {
  return (c >= 0x09 && c <= 0x0D) || c == 0x20 || c == 0xA0 || c == 0x1680 ||
         (c >= 0x2000 && c <= 0x200A) || c == 0x2028 || c == 0x2029 || c == 0x202F || c == 0x205F ||
         c == 0x3000;
}

// Counts the BMP units whose IsWSpace differs from the listed set.
int SpaceMismatches() {
  int mismatches = 0;
  for (char32_t c = 0; c < 0x10000; ++c) {
    if ((IsWSpace(static_cast<WCHAR>(c)) != 0) != IsListedSpace(c)) ++mismatches;
  }
  return mismatches;
}

TEST(WideSpace, IsTheWindowsSetInEveryLocale) {
  const std::string old = std::setlocale(LC_ALL, nullptr);
  ASSERT_NE(nullptr, std::setlocale(LC_ALL, "C"));
  EXPECT_EQ(0, SpaceMismatches());
  // In the "C" locale glibc knows only the ASCII spaces.
  EXPECT_EQ(0, std::iswspace(0x3000));
  EXPECT_EQ(1, IsWSpace(u'\u3000'));
  ASSERT_NE(nullptr, std::setlocale(LC_ALL, "C.UTF-8"));
  EXPECT_EQ(0, SpaceMismatches());
  // glibc leaves the no-break spaces out even here.
  EXPECT_EQ(0, std::iswspace(0x00A0));
  EXPECT_EQ(1, IsWSpace(u'\u00A0'));
  EXPECT_EQ(1, IsWSpace(u'\u2007'));
  EXPECT_EQ(1, IsWSpace(u'\u202F'));
  std::setlocale(LC_ALL, old.c_str());
  // Neighbours and look-alikes that are not white space.
  for (WCHAR c : {u'\u0008', u'\u000E', u'\u001F', u'\u0085', u'\u180E', u'\u200B', u'\u2027',
                  u'\u202A', u'\u205E', u'\u2060', u'\u3001', u'\uFEFF'}) {
    EXPECT_EQ(0, IsWSpace(c)) << std::hex << static_cast<int>(c);
  }
}

TEST_F(WideChar, StringFunctionsMatchTheCLibrary) {
  for (const auto& a : kSamples) {
    std::wstring wa = W(a);
    EXPECT_EQ(std::wcslen(wa.c_str()), wcslen(a.c_str()));
    for (WCHAR c : {u'a', u'b', u'\u00E9', u'\u4E2D', u'\0', u'q'}) {
      const wchar_t wc = static_cast<wchar_t>(c);
      EXPECT_EQ(Offset(std::wcschr(wa.c_str(), wc), wa), Offset(wcschr(a.c_str(), c), a));
      EXPECT_EQ(Offset(std::wcsrchr(wa.c_str(), wc), wa), Offset(wcsrchr(a.c_str(), c), a));
    }
    for (const auto& b : kSamples) {
      std::wstring wb = W(b);
      SCOPED_TRACE(::testing::Message() << "sample sizes " << a.size() << "/" << b.size());
      EXPECT_EQ(Sign(std::wcscmp(wa.c_str(), wb.c_str())), Sign(wcscmp(a.c_str(), b.c_str())));
      EXPECT_EQ(Sign(std::wcsncmp(wa.c_str(), wb.c_str(), 2)),
                Sign(wcsncmp(a.c_str(), b.c_str(), 2)));
      EXPECT_EQ(Sign(std::wcscoll(wa.c_str(), wb.c_str())), Sign(wcscoll(a.c_str(), b.c_str())));
      EXPECT_EQ(Sign(::wcscasecmp(wa.c_str(), wb.c_str())), Sign(_wcsicmp(a.c_str(), b.c_str())));
      EXPECT_EQ(Sign(::wcsncasecmp(wa.c_str(), wb.c_str(), 2)),
                Sign(_wcsnicmp(a.c_str(), b.c_str(), 2)));
      EXPECT_EQ(std::wcsspn(wa.c_str(), wb.c_str()), wcsspn(a.c_str(), b.c_str()));
      EXPECT_EQ(std::wcscspn(wa.c_str(), wb.c_str()), wcscspn(a.c_str(), b.c_str()));
      EXPECT_EQ(Offset(std::wcsstr(wa.c_str(), wb.c_str()), wa),
                Offset(wcsstr(a.c_str(), b.c_str()), a));
      EXPECT_EQ(Offset(std::wcspbrk(wa.c_str(), wb.c_str()), wa),
                Offset(wcspbrk(a.c_str(), b.c_str()), a));
    }
  }
}

TEST_F(WideChar, CopiesAndInPlaceEdits) {
  WCHAR buf[16];
  EXPECT_EQ(buf, wcscpy(buf, u"ab"));
  EXPECT_EQ(buf, wcscat(buf, u"\u00E9c"));
  EXPECT_EQ(std::u16string(u"ab\u00E9c"), buf);
  // wcsncpy pads with NULs up to n and does not terminate a cut copy.
  WCHAR pad[6] = {u'x', u'x', u'x', u'x', u'x', u'x'};
  wcsncpy(pad, u"ab", 5);
  EXPECT_EQ(0, pad[2]);
  EXPECT_EQ(0, pad[4]);
  EXPECT_EQ(u'x', pad[5]);
  wcsncpy(pad, u"abcdefgh", 3);
  EXPECT_EQ(u'c', pad[2]);
  EXPECT_EQ(0, pad[3]);

  WCHAR text[] = u"Gr\u00FC\u00DFe \u0436!";
  EXPECT_EQ(text, _wcsupr(text));
  EXPECT_EQ(std::u16string(u"GR\u00DC\u00DFE \u0416!"), text);  // ß has no one-unit upper case
  _wcslwr(text);
  EXPECT_EQ(std::u16string(u"gr\u00FC\u00DFe \u0436!"), text);
  _wcsrev(text);
  EXPECT_EQ(std::u16string(u"!\u0436 e\u00DF\u00FCrg"), text);
  // A surrogate pair passes case mapping untouched.
  WCHAR pair[] = u"a\U0001F600b";
  _wcsupr(pair);
  EXPECT_EQ(std::u16string(u"A\U0001F600B"), pair);
}

TEST(NarrowExtensions, MatchStrcasecmpAndEditInPlace) {
  const char* samples[] = {"", "a", "A", "abc", "ABD", "ab", "Zeta", "zeta", "\xE9", "z"};
  for (const char* a : samples) {
    for (const char* b : samples) {
      EXPECT_EQ(Sign(::strcasecmp(a, b)), Sign(_stricmp(a, b))) << a << " / " << b;
      EXPECT_EQ(Sign(::strncasecmp(a, b, 1)), Sign(_strnicmp(a, b, 1))) << a << " / " << b;
    }
  }
  // Bytes compare unsigned: 0xE9 sorts after 'z'.
  EXPECT_GT(_stricmp("\xE9", "z"), 0);
  char text[] = "Hello, World";
  EXPECT_STREQ("HELLO, WORLD", _strupr(text));
  EXPECT_STREQ("hello, world", _strlwr(text));
  EXPECT_STREQ("dlrow ,olleh", _strrev(text));
  char empty[] = "";
  EXPECT_STREQ("", _strrev(empty));
}

}  // namespace
