// Exhausted memory: every COM allocation fails cleanly (null,
// E_OUTOFMEMORY or _com_error(E_OUTOFMEMORY)), leaves its arguments as they
// were and leaks nothing (LeakSanitizer checks).
#include <gtest/gtest.h>
#include <korvo/com/bstr_t.h>
#include <korvo/com/com_error.h>
#include <korvo/com/variant.h>
#include <korvo/com/variant_t.h>
#include <korvo/platform/fault_internal.h>

#include <climits>

#include "support/test_support.h"
#include "test_objects.h"

using korvo::platform::FaultSite;
using korvo::test::RaisedBy;
using korvo::test::U16;

namespace {

class ComFaults : public ::testing::Test {
 protected:
  void TearDown() override { korvo::platform::TEST_ClearFaults(); }
  static void FailNth(int n) { korvo::platform::TEST_FailNthCall(FaultSite::kHeapAlloc, n); }
};

}  // namespace

TEST_F(ComFaults, BstrAndArrayAllocationsReturnNull) {
  FailNth(1);
  EXPECT_EQ(SysAllocString(u"x"), nullptr);
  BSTR s = SysAllocString(u"old");
  FailNth(1);
  EXPECT_FALSE(SysReAllocString(&s, u"new"));
  EXPECT_EQ(U16(s), u"old");  // untouched
  SysFreeString(s);

  for (int n = 1; n <= 2; ++n) {  // the descriptor, then the data
    FailNth(n);
    EXPECT_EQ(SafeArrayCreateVector(VT_UI1, 0, 16), nullptr) << n;
  }
  SAFEARRAY* a = SafeArrayCreateVector(VT_UI1, 0, 4);
  ASSERT_NE(a, nullptr);
  SAFEARRAY* copy = reinterpret_cast<SAFEARRAY*>(0x1);
  FailNth(2);
  EXPECT_EQ(SafeArrayCopy(a, &copy), E_OUTOFMEMORY);
  EXPECT_EQ(copy, nullptr);
  SAFEARRAYBOUND bigger = {64, 0};
  FailNth(1);
  EXPECT_EQ(SafeArrayRedim(a, &bigger), E_OUTOFMEMORY);
  EXPECT_EQ(a->rgsabound[0].cElements, 4u);
  EXPECT_EQ(SafeArrayDestroy(a), S_OK);
}

TEST_F(ComFaults, VariantFunctionsReportOutOfMemoryAndKeepTheDestination) {
  VARIANT src = korvo::test::BstrVariant(u"text"), dst;
  VariantInit(&dst);
  FailNth(1);
  EXPECT_EQ(VariantCopy(&dst, &src), E_OUTOFMEMORY);
  EXPECT_EQ(dst.vt, VT_EMPTY);

  dst = korvo::test::BstrVariant(u"kept");
  VARIANT number;
  VariantInit(&number);
  number.vt = VT_I4;
  number.lVal = 12;
  FailNth(1);
  EXPECT_EQ(VariantChangeType(&dst, &number, 0, VT_BSTR), E_OUTOFMEMORY);
  EXPECT_EQ(U16(dst.bstrVal), u"kept");
  FailNth(1);
  EXPECT_EQ(VariantChangeType(&dst, &src, 0, VT_BSTR), E_OUTOFMEMORY);
  EXPECT_EQ(U16(dst.bstrVal), u"kept");
  FailNth(1);
  EXPECT_EQ(VariantCopyInd(&dst, &src), E_OUTOFMEMORY);
  EXPECT_EQ(U16(dst.bstrVal), u"kept");
  VariantClear(&src);
  VariantClear(&dst);
}

TEST_F(ComFaults, SupportTypesRaiseOutOfMemory) {
  FailNth(1);
  EXPECT_EQ(RaisedBy([] { _bstr_t s(u"x"); }), E_OUTOFMEMORY);
  FailNth(1);
  EXPECT_EQ(RaisedBy([] { _bstr_t s("narrow"); }), E_OUTOFMEMORY);
  FailNth(1);
  EXPECT_EQ(RaisedBy([] { _variant_t v(u"x"); }), E_OUTOFMEMORY);
  _variant_t text(u"42");
  FailNth(1);
  EXPECT_EQ(RaisedBy([&] { _variant_t copy(text); }), E_OUTOFMEMORY);
  _variant_t number(42L);
  FailNth(1);
  EXPECT_EQ(RaisedBy([&] { number.ChangeType(VT_BSTR); }), E_OUTOFMEMORY);
  EXPECT_EQ(number.vt, VT_I4);
  _bstr_t a(u"left"), b(u"right");
  FailNth(1);
  EXPECT_EQ(RaisedBy([&] { a += b; }), E_OUTOFMEMORY);
  EXPECT_EQ(U16(a), u"left");
}

// A chain of operations, with the Nth allocation failing for every N until
// the chain gets through: each run either completes or raises
// E_OUTOFMEMORY, and the next run starts clean.
TEST_F(ComFaults, EveryAllocationOfAChainMayFail) {
  auto chain = []() -> std::u16string {
    _variant_t v(u" 2.5 ");
    v.ChangeType(VT_I4);  // 2
    _variant_t d(43831.25, VT_DATE);
    _bstr_t text = _bstr_t(v) + _bstr_t(u"|") + _bstr_t(d);
    _variant_t back(text);
    _variant_t copy = back;
    _bstr_t narrow = static_cast<const char*>(_bstr_t(copy));
    return U16(static_cast<const WCHAR*>(narrow));
  };
  std::u16string expected = chain();
  EXPECT_EQ(expected, u"2|2020-01-01 06:00:00");
  bool completed = false;
  int failures = 0;
  for (int n = 1; n < 100 && !completed; ++n) {
    FailNth(n);
    try {
      EXPECT_EQ(chain(), expected);
      completed = korvo::platform::TEST_FailureCount(FaultSite::kHeapAlloc) == 0;
    } catch (const _com_error& e) {
      EXPECT_EQ(e.Error(), E_OUTOFMEMORY) << n;
      ++failures;
    }
  }
  EXPECT_TRUE(completed);
  EXPECT_GE(failures, 8);  // the chain makes at least that many BSTRs
}
