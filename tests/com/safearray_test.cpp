// One-dimensional SAFEARRAYs of fixed-size elements.
#include <gtest/gtest.h>
#include <korvo/com/safearray.h>

#include <cstring>

TEST(SafeArray, ByteVectorBoundsDataAndElements) {
  SAFEARRAYBOUND bound = {5, 0};
  SAFEARRAY* a = SafeArrayCreate(VT_UI1, 1, &bound);
  ASSERT_NE(a, nullptr);
  EXPECT_EQ(SafeArrayGetDim(a), 1u);
  EXPECT_EQ(SafeArrayGetElemsize(a), 1u);
  VARTYPE vt = VT_EMPTY;
  EXPECT_EQ(SafeArrayGetVartype(a, &vt), S_OK);
  EXPECT_EQ(vt, VT_UI1);
  LONG lo = -1, hi = -1;
  EXPECT_EQ(SafeArrayGetLBound(a, 1, &lo), S_OK);
  EXPECT_EQ(SafeArrayGetUBound(a, 1, &hi), S_OK);
  EXPECT_EQ(lo, 0);
  EXPECT_EQ(hi, 4);
  EXPECT_EQ(SafeArrayGetLBound(a, 2, &lo), DISP_E_BADINDEX);

  void* data = nullptr;
  ASSERT_EQ(SafeArrayAccessData(a, &data), S_OK);
  const unsigned char zero[5] = {};
  EXPECT_EQ(std::memcmp(data, zero, 5), 0);  // created zero-filled
  std::memcpy(data, "\x01\x02\x03\x04\x05", 5);
  EXPECT_EQ(a->cLocks, 1u);
  // Destroying a locked array is refused and frees nothing.
  EXPECT_EQ(SafeArrayDestroy(a), DISP_E_ARRAYISLOCKED);
  EXPECT_EQ(SafeArrayUnaccessData(a), S_OK);
  EXPECT_EQ(SafeArrayUnaccessData(a), E_UNEXPECTED);

  LONG index = 2;
  BYTE b = 0;
  EXPECT_EQ(SafeArrayGetElement(a, &index, &b), S_OK);
  EXPECT_EQ(b, 3);
  b = 0x7F;
  EXPECT_EQ(SafeArrayPutElement(a, &index, &b), S_OK);
  EXPECT_EQ(static_cast<BYTE*>(a->pvData)[2], 0x7F);
  index = 5;
  EXPECT_EQ(SafeArrayGetElement(a, &index, &b), DISP_E_BADINDEX);
  index = -1;
  EXPECT_EQ(SafeArrayPutElement(a, &index, &b), DISP_E_BADINDEX);

  SAFEARRAY* copy = nullptr;
  ASSERT_EQ(SafeArrayCopy(a, &copy), S_OK);
  EXPECT_NE(copy->pvData, a->pvData);
  EXPECT_EQ(std::memcmp(copy->pvData, a->pvData, 5), 0);
  EXPECT_EQ(SafeArrayDestroy(copy), S_OK);
  EXPECT_EQ(SafeArrayDestroy(a), S_OK);
  EXPECT_EQ(SafeArrayDestroy(nullptr), S_OK);
}

TEST(SafeArray, VectorWithLowerBoundEmptyArraysAndRedim) {
  SAFEARRAY* a = SafeArrayCreateVector(VT_I4, 10, 3);
  ASSERT_NE(a, nullptr);
  EXPECT_EQ(SafeArrayGetElemsize(a), 4u);
  LONG index = 12, value = -7, read = 0;
  EXPECT_EQ(SafeArrayPutElement(a, &index, &value), S_OK);
  EXPECT_EQ(SafeArrayGetElement(a, &index, &read), S_OK);
  EXPECT_EQ(read, -7);
  index = 9;
  EXPECT_EQ(SafeArrayGetElement(a, &index, &read), DISP_E_BADINDEX);

  SAFEARRAYBOUND grown = {5, 10};
  EXPECT_EQ(SafeArrayRedim(a, &grown), S_OK);
  index = 12;
  EXPECT_EQ(SafeArrayGetElement(a, &index, &read), S_OK);
  EXPECT_EQ(read, -7);  // kept
  index = 14;
  EXPECT_EQ(SafeArrayGetElement(a, &index, &read), S_OK);
  EXPECT_EQ(read, 0);  // new elements are zero
  EXPECT_EQ(SafeArrayDestroy(a), S_OK);

  SAFEARRAY* empty = SafeArrayCreateVector(VT_UI1, 0, 0);
  ASSERT_NE(empty, nullptr);
  LONG hi = 0;
  EXPECT_EQ(SafeArrayGetUBound(empty, 1, &hi), S_OK);
  EXPECT_EQ(hi, -1);
  void* data = reinterpret_cast<void*>(1);
  EXPECT_EQ(SafeArrayAccessData(empty, &data), S_OK);
  EXPECT_EQ(SafeArrayUnaccessData(empty), S_OK);
  EXPECT_EQ(SafeArrayDestroy(empty), S_OK);
}

TEST(SafeArray, RefusesWhatItCannotHold) {
  SAFEARRAYBOUND bounds[2] = {{2, 0}, {2, 0}};
  EXPECT_EQ(SafeArrayCreate(VT_UI1, 2, bounds), nullptr);
  EXPECT_EQ(SafeArrayCreate(VT_BSTR, 1, bounds), nullptr);
  EXPECT_EQ(SafeArrayCreate(VT_VARIANT, 1, bounds), nullptr);
  EXPECT_EQ(SafeArrayCreate(VT_UI1, 1, nullptr), nullptr);
  EXPECT_EQ(SafeArrayAccessData(nullptr, nullptr), E_INVALIDARG);
  EXPECT_EQ(SafeArrayGetDim(nullptr), 0u);
}
