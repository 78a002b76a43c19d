// Tests of CTWString: where it differs from CTString (narrow and UTF-32
// input, the widening += of a byte, 16-bit case mapping and white space,
// search and comparison by units, the resource margin of one unit, BSTR
// copies).
#include <gtest/gtest.h>
#include <korvo/com/bstr.h>
#include <korvo/platform/resources.h>
#include <korvo/types/CTString.h>
#include <korvo/types/CTWString.h>

#include <climits>
#include <clocale>
#include <string>

namespace {

const TWStringData* Header(const CTWString& s) {
  return reinterpret_cast<const TWStringData*>(static_cast<const WCHAR*>(s)) - 1;
}
int Count(const CTWString& s) { return Header(s)->nRefCount.load(); }
std::u16string U(const CTWString& s) {
  return std::u16string(static_cast<const WCHAR*>(s), static_cast<size_t>(s.GetLength()));
}
const WCHAR* Units(const CTWString& s) { return s; }
const WCHAR* StaticEmpty() {
  static const CTWString empty;
  return empty;
}

// Sharing, copy-on-write, locking, clamping and the reference count are
// the shared template's, checked once through CTString; here only what
// the 16-bit instance has of its own.
TEST(CTWStringTest, HeaderLayoutAndTheOwnEmptyBuffer) {
  static_assert(sizeof(TWStringData) == 12);
  CTWString empty;
  EXPECT_EQ(Count(empty), -1);
  EXPECT_EQ(Units(CTWString(u"")), StaticEmpty());
  EXPECT_NE(static_cast<const void*>(StaticEmpty()),
            static_cast<const void*>(static_cast<const char*>(CTString())));
  CTWString text(u"abcdef");
  EXPECT_EQ(text.GetLength(), 6);
  EXPECT_EQ(text.GetAllocLength(), 6);  // counted in units, not bytes
}

TEST(CTWStringTest, ClampingSearchAndComparisonCountUnits) {
  const CTWString s(u"abcdef");
  EXPECT_EQ(U(s.Mid(4, 10)), u"ef");
  EXPECT_EQ(U(CTWString(u"ab", 5)), u"ab");
  EXPECT_TRUE(CTWString(u'x', 0).IsEmpty());
  EXPECT_EQ(U(CTWString(u'x', 2)), u"xx");
  EXPECT_EQ(U(s.SpanIncluding(u"ba")), u"ab");
  EXPECT_EQ(U(s.SpanExcluding(u"d")), u"abc");

  EXPECT_EQ(s.Find(u'\0'), 6);
  EXPECT_EQ(s.Find(u""), 0);
  EXPECT_EQ(s.Find(u'z'), -1);
  EXPECT_EQ(s.Find(u"cd"), 2);
  EXPECT_EQ(CTWString(u"abab").ReverseFind(u'a'), 2);
  EXPECT_EQ(s.FindOneOf(u"fe"), 4);

  // Units compare unsigned: U+00E9 and U+FFE9 after z.
  EXPECT_EQ(CTWString(u"\u00e9").Compare(u"z"), 1);
  EXPECT_EQ(CTWString(u"\uffe9").Compare(u"\u00e9"), 1);
  EXPECT_EQ(CTWString(u"z").Compare(u"\u00e9"), -1);
  // The operators are the class's own functions, not the template's.
  const WCHAR* p = u"abc";
  CTWString same(u"abc");
  EXPECT_EQ(p < same, 0);
  EXPECT_EQ(p > same, 0);
  EXPECT_EQ(p <= same, 1);
  EXPECT_EQ(p >= same, 1);
  EXPECT_EQ(p == same, 1);
  EXPECT_EQ(same != CTWString(u"abd"), 1);
  EXPECT_EQ(same < CTWString(u"abd"), 1);
  EXPECT_EQ(CTWString(u"abd") > p, 1);
  EXPECT_EQ(CTWString(u"ABC").CompareNoCase(u"abc"), 0);
  EXPECT_EQ(CTWString(u"abc").Collate(u"abc"), 0);

  EXPECT_EQ(U(same + u"d"), u"abcd");
  EXPECT_EQ(U(u"z" + same), u"zabc");
  EXPECT_EQ(U(same + u'!'), u"abc!");
  EXPECT_EQ(U(u'!' + same), u"!abc");
  EXPECT_EQ(U(same + same), u"abcabc");
}

TEST(CTWStringTest, NarrowInputIsConvertedAndBytesAreWidenedBySign) {
  CTWString plain("plain");
  EXPECT_EQ(U(plain), u"plain");
  EXPECT_EQ(plain.GetAllocLength(), 5);

  // UTF-8 (the default ANSI code page): 6 bytes, 4 units, capacity 6.
  CTWString mixed("\xC3\xA9t\xC3\xA9!");
  EXPECT_EQ(U(mixed), u"\u00e9t\u00e9!");
  EXPECT_EQ(mixed.GetLength(), 4);
  EXPECT_EQ(mixed.GetAllocLength(), 6);
  // Round trip through CTString: nothing lost.
  CTString back(static_cast<const WCHAR*>(mixed));
  EXPECT_STREQ(back, "\xC3\xA9t\xC3\xA9!");
  const WCHAR astral[] = u"\U0001D11E\u20ac";
  CTString narrowAstral(astral);
  CTWString wideAgain(static_cast<const char*>(narrowAstral));
  EXPECT_EQ(U(wideAgain), std::u16string(astral));

  CTWString target(u"holds text");
  CTWString holder(target);
  target = "";
  EXPECT_TRUE(target.IsEmpty());
  EXPECT_EQ(U(holder), u"holds text");
  CTWString privateTarget(u"holds text");
  privateTarget = static_cast<const char*>(nullptr);
  EXPECT_TRUE(privateTarget.IsEmpty());
  privateTarget = "abc";
  EXPECT_EQ(U(privateTarget), u"abc");
  EXPECT_TRUE(CTWString(static_cast<const char*>(nullptr)).IsEmpty());

  CTWString appended(u"x");
  appended += static_cast<char>(0xE9);
  ASSERT_EQ(appended.GetLength(), 2);
  EXPECT_EQ(appended[1], 0xFFE9);
  appended += 'a';
  EXPECT_EQ(appended[2], u'a');

  CTWString number;
  number = static_cast<long>(INT32_MIN);
  EXPECT_EQ(U(number), u"-2147483648");
}

TEST(CTWStringTest, Utf32LiteralsBecomeUtf16) {
  CTWString s(L"caf\u00e9 \U0001D11E");
  EXPECT_EQ(U(s), u"caf\u00e9 \U0001D11E");
  EXPECT_EQ(s.GetLength(), 7);  // the clef is a surrogate pair
  EXPECT_TRUE(CTWString(static_cast<const wchar_t*>(nullptr)).IsEmpty());
  EXPECT_TRUE(CTWString(L"").IsEmpty());

  CTWString assigned(u"before");
  assigned = static_cast<const wchar_t*>(nullptr);
  EXPECT_EQ(U(assigned), u"before");
  const WCHAR* block = assigned;
  assigned = L"abc";
  EXPECT_EQ(Units(assigned), block);
  EXPECT_EQ(U(assigned), u"abc");
  assigned = L"";
  EXPECT_TRUE(assigned.IsEmpty());
  const wchar_t invalid[] = {0x110000, 0xD800, L'a', 0};
  assigned = invalid;
  EXPECT_EQ(U(assigned), u"\ufffd\ufffda");
}

TEST(CTWStringTest, TrimmingAndCaseUseTheWideCharacterFunctions) {
  CTWString s(u"\t  text \u00e9 \n");
  CTWString holder(s);
  s.TrimLeft();
  EXPECT_EQ(U(s), u"text \u00e9 \n");
  EXPECT_EQ(s.GetLength(), holder.GetLength() - 3);
  s.TrimRight();
  EXPECT_EQ(U(s), u"text \u00e9");
  EXPECT_EQ(U(holder), u"\t  text \u00e9 \n");
  CTWString blank(u" \t\n");
  blank.TrimRight();
  EXPECT_EQ(blank.GetLength(), 0);
  CTWString mixed(u"MiXeD\u4e2d");
  mixed.MakeLower();
  EXPECT_EQ(U(mixed), u"mixed\u4e2d");
  mixed.MakeUpper();
  EXPECT_EQ(U(mixed), u"MIXED\u4e2d");
  mixed.MakeReverse();
  EXPECT_EQ(U(mixed), u"\u4e2dDEXIM");
}

TEST(CTWStringTest, TrimmingKnowsTheUnicodeSpacesInTheCLocale) {
  // The default "C" locale, where the C library's iswspace knows only ASCII.
  ASSERT_NE(std::setlocale(LC_ALL, "C"), nullptr);
  CTWString ideographic(u"\u3000x");
  ideographic.TrimLeft();
  EXPECT_EQ(U(ideographic), u"x");
  const std::u16string spaces =
      u"\u00a0\u1680\u2000\u2001\u2002\u2003\u2004\u2005\u2006\u2007\u2008\u2009\u200a"
      u"\u2028\u2029\u202f\u205f\u3000 \t\n\v\f\r";
  CTWString both((spaces + u"a\u3000b" + spaces).c_str());
  both.TrimLeft();
  EXPECT_EQ(U(both), u"a\u3000b" + spaces);
  both.TrimRight();
  EXPECT_EQ(U(both), u"a\u3000b");
  EXPECT_EQ(both.GetLength(), 3);
  // Zero-width and other format characters are not white space.
  CTWString kept(u"\u200b\ufeffy\u0085\u180e");
  kept.TrimLeft();
  kept.TrimRight();
  EXPECT_EQ(U(kept), u"\u200b\ufeffy\u0085\u180e");
}

TEST(CTWStringTest, LoadStringNeedsOneUnitOfMargin) {
  using korvo::platform::SetStringResource;
  const std::string t254(254, 'a'), t255(255, 'b');
  SetStringResource(2254, t254.c_str());
  SetStringResource(2255, t255.c_str());
  SetStringResource(2001, "%s=%d");

  CTWString s254;
  EXPECT_NE(s254.LoadStringA(2254), 0);
  EXPECT_EQ(s254.GetLength(), 254);
  EXPECT_EQ(s254.GetAllocLength(), 254);  // 256 - 254 is above 1: first call
  CTWString s255;
  EXPECT_NE(s255.LoadStringA(2255), 0);
  EXPECT_EQ(s255.GetLength(), 255);
  EXPECT_EQ(s255.GetAllocLength(), 511);  // the retry loop
  EXPECT_EQ(U(s255), std::u16string(255, u'b'));
  CTWString missing(u"x");
  EXPECT_EQ(missing.LoadStringA(88888), 0);
  EXPECT_TRUE(missing.IsEmpty());
  CTWString formatted;
  formatted.Format(2001u, u"n", 5);
  EXPECT_EQ(U(formatted), u"n=5");
}

TEST(CTWStringTest, SysStringsAreCopiesOfTheUnits) {
  BSTR empty = CTWString().AllocSysString();
  ASSERT_NE(empty, nullptr);
  EXPECT_EQ(SysStringLen(empty), 0u);
  SysFreeString(empty);

  CTWString s(u"a\u00e9\U0001D11E");
  BSTR b = s.AllocSysString();
  ASSERT_NE(b, nullptr);
  EXPECT_EQ(SysStringLen(b), 4u);
  EXPECT_EQ(std::u16string(b, 4), U(s));
  BSTR r = CTWString(u"xy").SetSysString(&b);
  EXPECT_EQ(r, b);
  EXPECT_EQ(std::u16string(b, SysStringLen(b)), u"xy");
  SysFreeString(b);
}

// Assignment from 16-bit text is the class's own; the text may be its own.
TEST(CTWStringTest, SelfAssignmentAndAliasing) {
  CTWString s(u"abcdef");
  s = static_cast<const WCHAR*>(s) + 1;  // private block: in place
  EXPECT_EQ(U(s), u"bcdef");
  CTWString holder(s);
  s = static_cast<const WCHAR*>(s) + 2;  // shared block
  EXPECT_EQ(U(s), u"def");
  EXPECT_EQ(U(holder), u"bcdef");
}

}  // namespace
