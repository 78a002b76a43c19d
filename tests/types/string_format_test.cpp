// tests/types/string_format_test.cpp: Format and AppendFormat of both string
// classes with string objects as arguments (the template front), with every
// other kind of argument beside them, and the C-variadic entry points that
// stay underneath.
#include <gtest/gtest.h>
#include <korvo/platform/resources.h>
#include <korvo/types/CTString.h>
#include <korvo/types/CTWString.h>

#include <cstdarg>
#include <string>

namespace {

using korvo::detail::StringObject;

std::string Str(const CTString& s) { return std::string(s, static_cast<size_t>(s.GetLength())); }
std::u16string U(const CTWString& s) {
  return std::u16string(static_cast<const WCHAR*>(s), static_cast<size_t>(s.GetLength()));
}

// A host's own string class, derived from the library's.
class HostString : public CTString {
 public:
  using CTString::CTString;
};

enum Color { kRed = 3 };

static_assert(StringObject<CTString> && StringObject<CTWString> && StringObject<HostString>);
static_assert(!StringObject<const char*> && !StringObject<const WCHAR*> && !StringObject<int> &&
              !StringObject<std::string> && !StringObject<char[4]>);

TEST(StringFormat, StringObjectsOfBothWidthsPrintTheirText) {
  const CTString narrow("na");
  const CTWString wide(u"wi\u00e9");
  CTString s;
  s.Format("%s|%S|%d", narrow, wide, 5);
  EXPECT_EQ(Str(s), "na|wi\xc3\xa9|5");  // the ANSI code page is UTF-8
  CTWString w;
  w.Format(u"%s|%S|%d", wide, narrow, 6);
  EXPECT_EQ(U(w), u"wi\u00e9|na|6");

  // By reference, as temporaries, derived, empty, with precision and width.
  const CTString& ref = narrow;
  HostString host("host");
  s.Format("[%s][%s][%s][%.1s][%4s][%-4s]", ref, CTString("tmp"), host, narrow, narrow, CTString());
  EXPECT_EQ(Str(s), "[na][tmp][host][n][  na][    ]");
  // The resource form takes them too.
  korvo::platform::SetStringResource(2101, "name %s, %S");
  s.Format(2101u, narrow, wide);
  EXPECT_EQ(Str(s), "name na, wi\xc3\xa9");
}

TEST(StringFormat, OtherArgumentsBesideAStringObjectPassUnchanged) {
  const CTString tag("t");
  const char literal[] = "lit";
  const char* pointer = "ptr";
  const float f = 1.5f;
  const short h = -7;
  const bool yes = true;
  const long long big = -9000000000LL;
  const unsigned long ul = 4000000000UL;
  const WCHAR unit = u'\u00e9';
  CTString s;
  s.Format("%s %s %s %.2f %c %hd %d %d %lld %lu %C %s %p %s", tag, literal, pointer, f, 'x', h, yes,
           kRed, big, ul, static_cast<int>(unit), static_cast<const char*>(nullptr), nullptr,
           "end");
  EXPECT_EQ(Str(s), "t lit ptr 1.50 x -7 1 3 -9000000000 4000000000 \xc3\xa9 (null) (nil) end");
  // The same call without a string object gives the same text.
  CTString plain;
  plain.Format("%s %s %s %.2f %c %hd %d %d %lld %lu %C %s %p %s", "t", literal, pointer, f, 'x', h,
               yes, kRed, big, ul, static_cast<int>(unit), static_cast<const char*>(nullptr),
               nullptr, "end");
  EXPECT_EQ(Str(plain), Str(s));
  // A format that is itself a string object.
  const CTString format("<%s:%d>");
  s.Format(format, tag, 42);
  EXPECT_EQ(Str(s), "<t:42>");
  // A format error leaves the string unchanged, with or without objects.
  s.Format("%", tag);
  EXPECT_EQ(Str(s), "<t:42>");
  s.Format(static_cast<const char*>(nullptr), tag);
  EXPECT_EQ(Str(s), "<t:42>");
}

TEST(StringFormat, TheStringItselfMayBeAnArgument) {
  CTString s("abc");
  s.Format("%s-%s", s, s);
  EXPECT_EQ(Str(s), "abc-abc");
  // A private block large enough to hold the output.
  CTString roomy("xy");
  roomy.GetBuffer(100);
  roomy.ReleaseBuffer();
  roomy.Format("%s%s%s", roomy, roomy, roomy);
  EXPECT_EQ(Str(roomy), "xyxyxy");
  // A locked string writes into its own block and stays locked.
  CTString locked("lk");
  locked.GetBuffer(50);
  locked.LockBuffer();
  const char* block = locked;
  locked.Format("%s+%s", locked, locked);
  EXPECT_EQ(Str(locked), "lk+lk");
  EXPECT_EQ(static_cast<const char*>(locked), block);
  locked.UnlockBuffer();

  CTWString w(u"w");
  w.Format(u"%s%s", w, w);
  EXPECT_EQ(U(w), u"ww");
}

TEST(StringFormat, AppendFormatAddsToTheText) {
  CTString s("a");
  s.AppendFormat("%s%d", CTString("b"), 1);
  EXPECT_EQ(Str(s), "ab1");
  s.AppendFormat("-%s-%S", "c", u"d");  // C-variadic: text pointers
  EXPECT_EQ(Str(s), "ab1-c-d");
  s.AppendFormat("%s", s);
  EXPECT_EQ(Str(s), "ab1-c-dab1-c-d");
  // A pointer into the string's own text is safe too.
  CTString own("12");
  own.AppendFormat("%s%s", static_cast<const char*>(own), static_cast<const char*>(own));
  EXPECT_EQ(Str(own), "121212");
  // A format error or an empty output appends nothing.
  s = "keep";
  s.AppendFormat("%");
  s.AppendFormat("");
  s.AppendFormat(static_cast<const char*>(nullptr));
  EXPECT_EQ(Str(s), "keep");
  // Into an empty string, and into a shared one: the other holder keeps its
  // text.
  CTString empty;
  empty.AppendFormat("%d", 7);
  EXPECT_EQ(Str(empty), "7");
  CTString shared(s);
  shared.AppendFormat("!");
  EXPECT_EQ(Str(shared), "keep!");
  EXPECT_EQ(Str(s), "keep");

  CTWString w(u"x");
  w.AppendFormat(u"%s|%S|%d", CTWString(u"y"), CTString("z"), 2);
  EXPECT_EQ(U(w), u"xy|z|2");
}

void AppendVia(CTString& s, const char* format, ...) {
  va_list args;
  va_start(args, format);
  s.AppendFormatV(format, args);
  va_end(args);
}

TEST(StringFormat, CVariadicEntryPointsStayCallable) {
  // What a binary built before the template front calls.
  void (CTString::*format)(const char*, ...) = &CTString::Format;
  void (CTString::*formatId)(unsigned int, ...) = &CTString::Format;
  void (CTWString::*formatWide)(const WCHAR*, ...) = &CTWString::Format;
  CTString s;
  (s.*format)("%s=%d", "n", 1);
  EXPECT_EQ(Str(s), "n=1");
  korvo::platform::SetStringResource(2102, "id %d");
  (s.*formatId)(2102u, 9);
  EXPECT_EQ(Str(s), "id 9");
  CTWString w;
  (w.*formatWide)(u"%s", u"wide");
  EXPECT_EQ(U(w), u"wide");
  AppendVia(s, "+%s", "v");
  EXPECT_EQ(Str(s), "id 9+v");
}

}  // namespace
