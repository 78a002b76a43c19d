// VARIANT management: initialisation, clearing and deep copies.
#include <gtest/gtest.h>
#include <korvo/com/variant.h>

#include "support/test_support.h"
#include "test_objects.h"

using korvo::test::U16;

TEST(Variant, InitClearAndOwnership) {
  VARIANT v;
  v.vt = VT_I4;
  v.lVal = 5;
  VariantInit(&v);
  EXPECT_EQ(V_VT(&v), VT_EMPTY);

  v = korvo::test::BstrVariant(u"owned");
  EXPECT_EQ(VariantClear(&v), S_OK);  // frees the string (LeakSanitizer checks)
  EXPECT_EQ(v.vt, VT_EMPTY);

  ICounter* counter = korvo::test::NewCounter();
  ASSERT_NE(counter, nullptr);
  int live = korvo::test::g_liveCounters;
  v.vt = VT_UNKNOWN;
  v.punkVal = counter;  // the variant takes the reference
  EXPECT_EQ(VariantClear(&v), S_OK);
  EXPECT_EQ(korvo::test::g_liveCounters, live - 1);

  v.vt = VT_ARRAY | VT_UI1;
  v.parray = SafeArrayCreateVector(VT_UI1, 0, 4);
  EXPECT_EQ(VariantClear(&v), S_OK);

  v.vt = 15;  // not a type code
  EXPECT_EQ(VariantClear(&v), DISP_E_BADVARTYPE);
  EXPECT_EQ(v.vt, 15);
  v.vt = VT_EMPTY;
}

TEST(Variant, LockedArrayIsNotCleared) {
  VARIANT v;
  VariantInit(&v);
  v.vt = VT_ARRAY | VT_UI1;
  v.parray = SafeArrayCreateVector(VT_UI1, 0, 2);
  void* data = nullptr;
  ASSERT_EQ(SafeArrayAccessData(v.parray, &data), S_OK);
  EXPECT_EQ(VariantClear(&v), DISP_E_ARRAYISLOCKED);
  EXPECT_EQ(v.vt, VT_ARRAY | VT_UI1);
  SafeArrayUnaccessData(v.parray);
  EXPECT_EQ(VariantClear(&v), S_OK);
}

TEST(Variant, CopyIsDeep) {
  VARIANT src = korvo::test::BstrVariant(u"text"), dst;
  VariantInit(&dst);
  ASSERT_EQ(VariantCopy(&dst, &src), S_OK);
  EXPECT_EQ(dst.vt, VT_BSTR);
  EXPECT_NE(dst.bstrVal, src.bstrVal);
  EXPECT_EQ(U16(dst.bstrVal), u"text");
  EXPECT_EQ(VariantCopy(&src, &src), S_OK);  // self-copy leaves it alone
  EXPECT_EQ(U16(src.bstrVal), u"text");

  // A null BSTR copies as null; the old destination is released first.
  VariantClear(&src);
  src.vt = VT_BSTR;
  src.bstrVal = nullptr;
  ASSERT_EQ(VariantCopy(&dst, &src), S_OK);
  EXPECT_EQ(dst.vt, VT_BSTR);
  EXPECT_EQ(dst.bstrVal, nullptr);

  src.vt = VT_ARRAY | VT_UI1;
  src.parray = SafeArrayCreateVector(VT_UI1, 0, 3);
  static_cast<BYTE*>(src.parray->pvData)[1] = 9;
  ASSERT_EQ(VariantCopy(&dst, &src), S_OK);
  EXPECT_NE(dst.parray, src.parray);
  EXPECT_EQ(static_cast<BYTE*>(dst.parray->pvData)[1], 9);
  VariantClear(&src);

  ICounter* counter = korvo::test::NewCounter();
  ASSERT_NE(counter, nullptr);
  src.vt = VT_UNKNOWN;
  src.punkVal = counter;
  ASSERT_EQ(VariantCopy(&dst, &src), S_OK);
  EXPECT_EQ(dst.punkVal, src.punkVal);
  EXPECT_EQ(counter->AddRef(), 3u);  // src, dst, and this one
  counter->Release();
  VariantClear(&src);
  VariantClear(&dst);

  src.vt = 15;
  EXPECT_EQ(VariantCopy(&dst, &src), DISP_E_BADVARTYPE);
}

TEST(Variant, CopyIndFollowsReferences) {
  LONG target = 77;
  VARIANT ref, out;
  VariantInit(&ref);
  VariantInit(&out);
  ref.vt = VT_BYREF | VT_I4;
  ref.plVal = &target;
  ASSERT_EQ(VariantCopy(&out, &ref), S_OK);
  EXPECT_EQ(out.vt, VT_BYREF | VT_I4);  // plain copy keeps the reference
  ASSERT_EQ(VariantCopyInd(&out, &ref), S_OK);
  EXPECT_EQ(out.vt, VT_I4);
  EXPECT_EQ(out.lVal, 77);

  BSTR text = SysAllocString(u"by ref");
  ref.vt = VT_BYREF | VT_BSTR;
  ref.pbstrVal = &text;
  ASSERT_EQ(VariantCopyInd(&out, &ref), S_OK);
  EXPECT_EQ(out.vt, VT_BSTR);
  EXPECT_NE(out.bstrVal, text);
  EXPECT_EQ(U16(out.bstrVal), u"by ref");
  SysFreeString(text);

  VARIANT inner;
  VariantInit(&inner);
  inner.vt = VT_R8;
  inner.dblVal = 1.5;
  ref.vt = VT_BYREF | VT_VARIANT;
  ref.pvarVal = &inner;
  ASSERT_EQ(VariantCopyInd(&out, &ref), S_OK);
  EXPECT_EQ(out.vt, VT_R8);
  EXPECT_EQ(out.dblVal, 1.5);
  VariantClear(&out);
}

TEST(Variant, PublishedLayout) {
  VARIANT v;
  VariantInit(&v);
  EXPECT_EQ(sizeof(VARIANT), 24u);
  EXPECT_EQ(reinterpret_cast<char*>(&v.lVal) - reinterpret_cast<char*>(&v), 8);
  EXPECT_EQ(reinterpret_cast<char*>(&v.decVal), reinterpret_cast<char*>(&v));
  v.decVal.Lo64 = 12345;
  v.decVal.scale = 2;
  v.vt = VT_DECIMAL;  // the type code overlays wReserved of the decimal
  EXPECT_EQ(v.decVal.wReserved, VT_DECIMAL);
  EXPECT_EQ(v.decVal.Lo64, 12345u);
  v.llVal = 1;
  EXPECT_EQ(V_I8(&v), 1);
  EXPECT_EQ(VARIANT_TRUE, -1);
}
