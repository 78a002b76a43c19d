// _bstr_t: conversions, sharing, aliasing, copies on two threads.
#include <gtest/gtest.h>
#include <korvo/com/bstr_t.h>
#include <korvo/com/com_error.h>
#include <korvo/com/variant_t.h>
#include <korvo/platform/codepage.h>

#include <cstring>
#include <string>
#include <thread>
#include <vector>

#include "support/test_support.h"
#include "test_objects.h"

using korvo::test::U16;

TEST(BstrT, NarrowAndWideViews) {
  _bstr_t empty;
  EXPECT_EQ(static_cast<const WCHAR*>(empty), nullptr);
  EXPECT_EQ(static_cast<const char*>(empty), nullptr);
  EXPECT_EQ(empty.length(), 0u);
  EXPECT_TRUE(!empty);
  EXPECT_TRUE(empty == _bstr_t(""));  // an empty holder equals ""

  _bstr_t s("caf\xC3\xA9");  // UTF-8, the default ANSI code page
  EXPECT_EQ(s.length(), 4u);
  EXPECT_EQ(U16(s), u"caf\u00E9");
  EXPECT_STREQ(static_cast<const char*>(s), "caf\xC3\xA9");
  EXPECT_FALSE(!s);

  _bstr_t w(u"wide");
  EXPECT_STREQ(static_cast<const char*>(w), "wide");
  BSTR copy = w.copy();
  EXPECT_NE(copy, static_cast<const WCHAR*>(w));
  EXPECT_EQ(SysStringLen(copy), 4u);
  SysFreeString(copy);
  EXPECT_EQ(w.copy(false), static_cast<const WCHAR*>(w));

  _bstr_t zero("");
  EXPECT_NE(static_cast<const WCHAR*>(zero), nullptr);  // length 0, not null
  EXPECT_EQ(zero.length(), 0u);
  EXPECT_STREQ(static_cast<const char*>(zero), "");
}

TEST(BstrT, CopiesShareAndChangesDetach) {
  _bstr_t a(u"shared");
  _bstr_t b = a;
  EXPECT_EQ(static_cast<const WCHAR*>(a), static_cast<const WCHAR*>(b));  // one BSTR
  const char* narrowA = a;
  EXPECT_EQ(narrowA, static_cast<const char*>(b));  // one narrow view too

  b += _bstr_t(u"!");
  EXPECT_EQ(U16(a), u"shared");
  EXPECT_EQ(U16(b), u"shared!");
  EXPECT_STREQ(static_cast<const char*>(b), "shared!");

  BSTR& slot = b.GetBSTR();
  EXPECT_EQ(U16(slot), u"shared!");
  EXPECT_TRUE(SysReAllocString(&slot, u"via slot"));
  EXPECT_STREQ(static_cast<const char*>(b), "via slot");  // narrow view rebuilt
  EXPECT_EQ(U16(a), u"shared");

  _bstr_t c = a;
  BSTR* address = c.GetAddress();
  EXPECT_EQ(*address, nullptr);
  *address = SysAllocString(u"out arg");
  EXPECT_EQ(U16(c), u"out arg");
  EXPECT_EQ(U16(a), u"shared");

  _bstr_t d = a;
  BSTR detached = d.Detach();  // shared: a copy
  EXPECT_NE(detached, static_cast<const WCHAR*>(a));
  EXPECT_EQ(U16(detached), u"shared");
  EXPECT_EQ(static_cast<const WCHAR*>(d), nullptr);
  d.Attach(detached);  // takes it back
  EXPECT_EQ(static_cast<const WCHAR*>(d), detached);
  BSTR own = d.Detach();  // unshared: the very string
  EXPECT_EQ(own, detached);
  SysFreeString(own);

  _bstr_t e;
  e.Assign(static_cast<BSTR>(static_cast<WCHAR*>(a)));
  EXPECT_NE(static_cast<const WCHAR*>(e), static_cast<const WCHAR*>(a));
  EXPECT_TRUE(e == a);
}

TEST(BstrT, SelfAssignmentAndAliasing) {
  _bstr_t s(u"abc");
  s = s;
  EXPECT_EQ(U16(s), u"abc");
  s += s;
  EXPECT_EQ(U16(s), u"abcabc");
  s = static_cast<const WCHAR*>(s) + 3;  // assignment from its own tail
  EXPECT_EQ(U16(s), u"abc");
  s = static_cast<const char*>(s) + 1;
  EXPECT_EQ(U16(s), u"bc");
  _bstr_t t = s + s;
  EXPECT_EQ(U16(t), u"bcbc");
  EXPECT_EQ(U16("x" + s), u"xbc");
  EXPECT_EQ(U16(u"y" + s), u"ybc");
  _bstr_t moved = std::move(t);
  EXPECT_EQ(U16(moved), u"bcbc");
  moved = std::move(moved);
  EXPECT_EQ(U16(moved), u"bcbc");
}

TEST(BstrT, ComparisonsAndVariants) {
  EXPECT_TRUE(_bstr_t("abc") == _bstr_t(u"abc"));
  EXPECT_TRUE(_bstr_t("abc") != _bstr_t("abd"));
  EXPECT_TRUE(_bstr_t("abc") < _bstr_t("abd"));
  EXPECT_TRUE(_bstr_t("ab") < _bstr_t("abc"));
  EXPECT_TRUE(_bstr_t("b") > _bstr_t("abc"));
  EXPECT_TRUE(_bstr_t("a") <= _bstr_t("a"));
  EXPECT_TRUE(_bstr_t() >= _bstr_t(""));
  EXPECT_FALSE(_bstr_t("a") == _bstr_t("A"));  // exact, case-sensitive

  EXPECT_EQ(U16(_bstr_t(_variant_t(42L))), u"42");
  EXPECT_EQ(U16(_bstr_t(_variant_t(true))), u"True");
  EXPECT_EQ(U16(_bstr_t(_variant_t(u"text"))), u"text");
  EXPECT_EQ(korvo::test::RaisedBy(
                [] { _bstr_t bad{_variant_t(static_cast<long>(DISP_E_PARAMNOTFOUND), VT_ERROR)}; }),
            DISP_E_TYPEMISMATCH);
  VARIANT null;
  VariantInit(&null);
  null.vt = VT_NULL;
  _bstr_t fromNull;
  EXPECT_EQ(korvo::test::RaisedBy([&] { fromNull = _variant_t(null); }), DISP_E_TYPEMISMATCH);
}

// Copies of one string used and dropped on two threads at once; the first
// narrow view is built concurrently. Run under the sanitizers for races
// on the count and the view.
TEST(BstrT, CopiesOnTwoThreads) {
  for (int round = 0; round < 50; ++round) {
    _bstr_t original(u"concurrent text");
    auto work = [original]() {
      std::vector<_bstr_t> copies;
      for (int i = 0; i < 200; ++i) copies.push_back(original);
      for (const _bstr_t& c : copies) ASSERT_STREQ(static_cast<const char*>(c), "concurrent text");
    };
    std::thread t1(work), t2(work);
    t1.join();
    t2.join();
    EXPECT_STREQ(static_cast<const char*>(original), "concurrent text");
  }
}

// The narrow side follows the ANSI code page (read once per process, so
// this case relies on running in a process of its own, as CTest does).
TEST(BstrT, NarrowTextFollowsTheAnsiCodePage) {
  korvo::test::ScopedEnv codePage("KORVO_CODEPAGE", "CP1252");
  if (std::string(korvo::platform::AnsiCodePageName()) != "CP1252")
    GTEST_SKIP() << "the code page was read earlier in this process";
  _bstr_t s("caf\xE9 \x80");
  EXPECT_EQ(U16(s), u"caf\u00E9 \u20AC");
  EXPECT_STREQ(static_cast<const char*>(s), "caf\xE9 \x80");
  _bstr_t unrepresentable(u"\u4E2D");
  EXPECT_STREQ(static_cast<const char*>(unrepresentable), "?");
  _variant_t v("\xE9t\xE9");
  EXPECT_EQ(U16(v.bstrVal), u"\u00E9t\u00E9");
}
