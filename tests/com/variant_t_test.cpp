// _variant_t: type codes of the constructors, conversions, ownership.
#include <gtest/gtest.h>
#include <korvo/com/com_error.h>
#include <korvo/com/variant_t.h>

#include <cstdint>

#include "support/test_support.h"
#include "test_objects.h"

using korvo::test::RaisedBy;
using korvo::test::U16;

TEST(VariantT, ConstructorsSetTheMatchingType) {
  EXPECT_EQ(_variant_t().vt, VT_EMPTY);
  EXPECT_EQ(_variant_t(static_cast<short>(-3)).vt, VT_I2);
  EXPECT_EQ(_variant_t(static_cast<short>(1), VT_BOOL).boolVal, VARIANT_TRUE);
  EXPECT_EQ(_variant_t(5L).vt, VT_I4);
  EXPECT_EQ(_variant_t(5L).lVal, 5);
  EXPECT_EQ(_variant_t(5L, VT_BOOL).vt, VT_BOOL);
  EXPECT_EQ(_variant_t(1.5f).vt, VT_R4);
  EXPECT_EQ(_variant_t(1.5).vt, VT_R8);
  EXPECT_EQ(_variant_t(43831.5, VT_DATE).vt, VT_DATE);
  EXPECT_EQ(_variant_t(true).vt, VT_BOOL);
  EXPECT_EQ(_variant_t(true).boolVal, VARIANT_TRUE);
  EXPECT_EQ(_variant_t(false).boolVal, VARIANT_FALSE);
  EXPECT_EQ(_variant_t(static_cast<BYTE>(200)).vt, VT_UI1);
  EXPECT_EQ(_variant_t('c').vt, VT_I1);
  EXPECT_EQ(_variant_t(static_cast<unsigned short>(7)).vt, VT_UI2);
  EXPECT_EQ(_variant_t(7UL).vt, VT_UI4);
  EXPECT_EQ(_variant_t(7).vt, VT_INT);
  EXPECT_EQ(_variant_t(7, VT_I4).vt, VT_I4);
  EXPECT_EQ(_variant_t(7U).vt, VT_UINT);
  EXPECT_EQ(_variant_t(7LL).vt, VT_I8);
  EXPECT_EQ(_variant_t(7ULL).vt, VT_UI8);
  EXPECT_EQ(_variant_t("narrow").vt, VT_BSTR);
  EXPECT_EQ(U16(_variant_t("narrow").bstrVal), u"narrow");
  EXPECT_EQ(U16(_variant_t(u"wide").bstrVal), u"wide");
  EXPECT_EQ(U16(_variant_t(_bstr_t("held")).bstrVal), u"held");
  EXPECT_EQ(_variant_t(static_cast<const char*>(nullptr)).bstrVal, nullptr);

  // A long beyond 32 bits (LONGLONG is the same type on Linux) keeps its
  // value as VT_I8 instead of being cut.
  _variant_t big(static_cast<long>(INT64_C(5000000000)));
  EXPECT_EQ(big.vt, VT_I8);
  EXPECT_EQ(big.llVal, INT64_C(5000000000));
  EXPECT_EQ(_variant_t(static_cast<LONGLONG>(-2)).vt, VT_I4);

  EXPECT_EQ(RaisedBy([] { _variant_t(1.0, VT_I4); }), E_INVALIDARG);
  EXPECT_EQ(RaisedBy([] { _variant_t(static_cast<short>(1), VT_R8); }), E_INVALIDARG);
  EXPECT_EQ(RaisedBy([] { _variant_t(1L, VT_R8); }), E_INVALIDARG);
}

TEST(VariantT, ConversionOperatorsAndChangeType) {
  _variant_t text(u"42");
  EXPECT_EQ(static_cast<long>(text), 42);
  EXPECT_EQ(static_cast<int>(text), 42);
  EXPECT_EQ(static_cast<short>(text), 42);
  EXPECT_EQ(static_cast<double>(text), 42.0);
  EXPECT_EQ(static_cast<BYTE>(text), 42);
  EXPECT_EQ(static_cast<long long>(text), 42);
  EXPECT_EQ(text.vt, VT_BSTR);  // conversions leave the value alone
  EXPECT_TRUE(static_cast<bool>(_variant_t(u"True")));
  EXPECT_EQ(static_cast<long>(_variant_t(true)), -1);
  EXPECT_EQ(U16(static_cast<_bstr_t>(_variant_t(2.5))), u"2.5");
  EXPECT_EQ(static_cast<int>(_variant_t(2.5)), 2);
  EXPECT_EQ(RaisedBy([] { (void)static_cast<short>(_variant_t(70000L)); }), DISP_E_OVERFLOW);
  EXPECT_EQ(RaisedBy([] { (void)static_cast<long>(_variant_t(u"abc")); }), DISP_E_TYPEMISMATCH);
  EXPECT_EQ(RaisedBy([] { (void)static_cast<IUnknown*>(_variant_t(1L)); }), DISP_E_TYPEMISMATCH);

  _variant_t v(u"123");
  v.ChangeType(VT_I4);
  EXPECT_EQ(v.vt, VT_I4);
  EXPECT_EQ(v.lVal, 123);
  EXPECT_EQ(RaisedBy([&] { v.ChangeType(VT_NULL); }), DISP_E_TYPEMISMATCH);
  EXPECT_EQ(v.vt, VT_I4);  // kept on failure
  _variant_t from(u"7");
  v.ChangeType(VT_R8, &from);
  EXPECT_EQ(v.vt, VT_R8);
  EXPECT_EQ(v.dblVal, 7.0);
  EXPECT_EQ(from.vt, VT_BSTR);

  CY money = _variant_t(u"12.5");
  EXPECT_EQ(money.int64, 125000);
  DECIMAL exact = _variant_t(u"-0.25");
  EXPECT_EQ(exact.Lo64, 25u);
  EXPECT_EQ(exact.scale, 2);
  EXPECT_EQ(exact.sign, DECIMAL_NEG);
  EXPECT_EQ(exact.wReserved, 0);
  EXPECT_EQ(static_cast<double>(_variant_t(exact)), -0.25);
  EXPECT_EQ(RaisedBy([] { (void)static_cast<CY>(_variant_t(1e300)); }), DISP_E_OVERFLOW);

  v.SetString("set");
  EXPECT_EQ(v.vt, VT_BSTR);
  EXPECT_EQ(U16(v.bstrVal), u"set");
}

TEST(VariantT, OwnershipCopiesAndComparison) {
  ICounter* counter = korvo::test::NewCounter();
  ASSERT_NE(counter, nullptr);
  {
    _variant_t held(static_cast<IUnknown*>(counter));
    EXPECT_EQ(held.vt, VT_UNKNOWN);
    _variant_t copy = held;
    EXPECT_EQ(counter->AddRef(), 4u);  // caller, held, copy, this
    counter->Release();
    IUnknown* out = copy;
    EXPECT_EQ(out, static_cast<IUnknown*>(counter));
    out->Release();
    INamed* named = nullptr;
    counter->QueryInterface(&named);
    _variant_t dispatch(static_cast<IDispatch*>(named), false);  // takes the reference
    EXPECT_EQ(dispatch.vt, VT_DISPATCH);
    IDispatch* d = dispatch;
    EXPECT_EQ(d, static_cast<IDispatch*>(named));
    d->Release();
  }
  EXPECT_EQ(counter->Release(), 0u);
  EXPECT_EQ(korvo::test::g_liveCounters, 0);

  _variant_t a(u"same"), b("same"), c(u"other");
  EXPECT_TRUE(a == b);
  EXPECT_TRUE(a != c);
  EXPECT_TRUE(a != _variant_t(1L));
  EXPECT_TRUE(_variant_t(1.5) == _variant_t(1.5));
  EXPECT_FALSE(_variant_t(1L) == _variant_t(1));  // VT_I4 versus VT_INT

  _variant_t s(u"self");
  s = s;
  EXPECT_EQ(U16(s.bstrVal), u"self");
  s = static_cast<const VARIANT&>(s);
  EXPECT_EQ(U16(s.bstrVal), u"self");
  s = 3.25;
  EXPECT_EQ(s.vt, VT_R8);
  s = "again";
  EXPECT_EQ(s.vt, VT_BSTR);
  s = static_cast<BYTE>(9);
  EXPECT_EQ(s.vt, VT_UI1);

  VARIANT raw = s.Detach();
  EXPECT_EQ(s.vt, VT_EMPTY);
  EXPECT_EQ(raw.vt, VT_UI1);
  VARIANT text;
  VariantInit(&text);
  text.vt = VT_BSTR;
  text.bstrVal = SysAllocString(u"attached");
  s.Attach(text);
  EXPECT_EQ(text.vt, VT_EMPTY);
  EXPECT_EQ(U16(s.bstrVal), u"attached");
  VARIANT* slot = s.GetAddress();
  EXPECT_EQ(slot->vt, VT_EMPTY);
  slot->vt = VT_I2;
  slot->iVal = 5;
  EXPECT_EQ(static_cast<short>(s), 5);

  const _variant_t& missing = vtMissing;
  EXPECT_EQ(missing.vt, VT_ERROR);
  EXPECT_EQ(missing.scode, DISP_E_PARAMNOTFOUND);
}
