// tests/types/CTByteArray_test.cpp: CTByteArray sizes, growth, insertion,
// removal, ownership and the caller-block exchange.
#include <gtest/gtest.h>
#include <korvo/types/CTByteArray.h>
#include <korvo/types/alloc_internal.h>

#include <cstdlib>
#include <cstring>
#include <new>
#include <vector>

namespace {

std::vector<BYTE> Bytes(const CTByteArray& a) {
  return std::vector<BYTE>(a.GetData(), a.GetData() + a.GetSize());
}

TEST(CTByteArrayTest, SetSizeAllocatesExactlyThenGrowsByTheAutomaticStep) {
  CTByteArray a;
  EXPECT_EQ(a.m_pData, nullptr);
  EXPECT_EQ(a.GetSize(), 0);
  EXPECT_EQ(a.m_nMaxSize, 0);
  EXPECT_EQ(a.m_nGrowBy, 0);
  EXPECT_EQ(a.GetUpperBound(), -1);

  a.SetSize(7, -1);
  EXPECT_EQ(a.m_nMaxSize, 7);
  EXPECT_EQ(Bytes(a), std::vector<BYTE>(7, 0));
  a.SetSize(0, -1);
  EXPECT_EQ(a.m_pData, nullptr);
  EXPECT_EQ(a.m_nMaxSize, 0);

  // Byte by byte: 1, then +4 while size/8 < 4, then size/8, capped at 1024.
  std::vector<int> capacities;
  for (int i = 0; i < 80; ++i) {
    const int before = a.m_nMaxSize;
    EXPECT_EQ(a.Add(static_cast<BYTE>(i)), i);
    if (a.m_nMaxSize != before) capacities.push_back(a.m_nMaxSize);
  }
  EXPECT_EQ(capacities,
            (std::vector<int>{1, 5, 9, 13, 17, 21, 25, 29, 33, 37, 41, 46, 51, 57, 64, 72, 81}));
  for (int i = 0; i < 80; ++i) ASSERT_EQ(a[i], static_cast<BYTE>(i));

  CTByteArray big;
  big.SetSize(9000, -1);
  big.Add(1);
  EXPECT_EQ(big.m_nMaxSize, 9000 + 1024);
  big.SetSize(big.m_nMaxSize + 1, -1);
  EXPECT_EQ(big.m_nMaxSize, 9000 + 2048);

  // An explicit step replaces the automatic one; -1 keeps it.
  CTByteArray stepped;
  stepped.SetSize(1, 100);
  stepped.Add(0);
  EXPECT_EQ(stepped.m_nMaxSize, 101);
  stepped.SetSize(102, -1);
  EXPECT_EQ(stepped.m_nGrowBy, 100);
  EXPECT_EQ(stepped.m_nMaxSize, 201);
}

TEST(CTByteArrayTest, ShrinkThenRegrowZeroFillsWithinCapacity) {
  CTByteArray a;
  for (int i = 0; i < 10; ++i) a.Add(0xAA);
  const int capacity = a.m_nMaxSize;
  const BYTE* block = a.GetData();
  a.SetSize(3, -1);
  EXPECT_EQ(a.GetData(), block);
  EXPECT_EQ(a.m_nMaxSize, capacity);
  a.SetSize(10, -1);
  EXPECT_EQ(a.GetData(), block);
  EXPECT_EQ(Bytes(a), (std::vector<BYTE>{0xAA, 0xAA, 0xAA, 0, 0, 0, 0, 0, 0, 0}));
  // Growth beyond the capacity keeps the content and zeroes the new bytes.
  a.SetSize(capacity + 3, -1);
  EXPECT_EQ(a[2], 0xAA);
  for (int i = 3; i < a.GetSize(); ++i) ASSERT_EQ(a[i], 0) << i;
}

TEST(CTByteArrayTest, ElementAccessAndSetAtGrow) {
  CTByteArray a;
  a.SetAtGrow(10, 0x42);
  EXPECT_EQ(a.GetSize(), 11);
  for (int i = 0; i < 10; ++i) EXPECT_EQ(a.GetAt(i), 0);
  EXPECT_EQ(a.GetAt(10), 0x42);
  a.SetAtGrow(3, 7);  // within the size: no growth
  EXPECT_EQ(a.GetSize(), 11);
  a.SetAt(4, 8);
  a.ElementAt(5) = 9;
  a[6] = 10;
  const CTByteArray& c = a;
  EXPECT_EQ(c[3], 7);
  EXPECT_EQ(c[4], 8);
  EXPECT_EQ(c.GetAt(5), 9);
  EXPECT_EQ(c.GetData()[6], 10);
  EXPECT_EQ(a.GetUpperBound(), 10);
}

TEST(CTByteArrayTest, InsertAtAndRemoveAt) {
  CTByteArray a;
  a.InsertAt(3, 0x11, 2);  // beyond the end: zeros up to the index
  EXPECT_EQ(Bytes(a), (std::vector<BYTE>{0, 0, 0, 0x11, 0x11}));
  a.InsertAt(1, 0x22, 3);
  EXPECT_EQ(Bytes(a), (std::vector<BYTE>{0, 0x22, 0x22, 0x22, 0, 0, 0x11, 0x11}));
  a.InsertAt(0, 0x33, 0);  // count 0 stores nothing
  EXPECT_EQ(a.GetSize(), 8);
  a.InsertAt(8, 0x44);  // at the end
  EXPECT_EQ(a[8], 0x44);

  CTByteArray source;
  source.SetParam("\x01\x02\x03", 3);
  a.InsertAt(2, &source);
  EXPECT_EQ(Bytes(a), (std::vector<BYTE>{0, 0x22, 1, 2, 3, 0x22, 0x22, 0, 0, 0x11, 0x11, 0x44}));
  CTByteArray empty;
  a.InsertAt(0, &empty);
  a.InsertAt(0, nullptr);
  EXPECT_EQ(a.GetSize(), 12);

  const int capacity = a.m_nMaxSize;
  a.RemoveAt(1, 4);
  EXPECT_EQ(Bytes(a), (std::vector<BYTE>{0, 0x22, 0x22, 0, 0, 0x11, 0x11, 0x44}));
  a.RemoveAt(6, 2);  // nothing follows
  EXPECT_EQ(Bytes(a), (std::vector<BYTE>{0, 0x22, 0x22, 0, 0, 0x11}));
  EXPECT_EQ(a.m_nMaxSize, capacity);
  a.FreeExtra();
  EXPECT_EQ(a.m_nMaxSize, 6);
  EXPECT_EQ(Bytes(a), (std::vector<BYTE>{0, 0x22, 0x22, 0, 0, 0x11}));
  a.RemoveAt(0, 6);
  a.FreeExtra();
  EXPECT_EQ(a.m_pData, nullptr);
  EXPECT_EQ(a.m_nMaxSize, 0);
}

TEST(CTByteArrayTest, AppendCopyAndSelfSources) {
  CTByteArray a, b;
  b.SetParam("xyz", 3);
  a.SetParam("ab", 2);
  EXPECT_EQ(a.Append(b), 2);
  EXPECT_EQ(Bytes(a), (std::vector<BYTE>{'a', 'b', 'x', 'y', 'z'}));
  EXPECT_EQ(a.Append(a), 5);
  EXPECT_EQ(Bytes(a), (std::vector<BYTE>{'a', 'b', 'x', 'y', 'z', 'a', 'b', 'x', 'y', 'z'}));
  a.Copy(b);
  EXPECT_EQ(Bytes(a), (std::vector<BYTE>{'x', 'y', 'z'}));
  a.Copy(a);
  EXPECT_EQ(Bytes(a), (std::vector<BYTE>{'x', 'y', 'z'}));
  a.InsertAt(1, &a);
  EXPECT_EQ(Bytes(a), (std::vector<BYTE>{'x', 'x', 'y', 'z', 'y', 'z'}));
  CTByteArray empty;
  a.Copy(empty);
  EXPECT_EQ(a.GetSize(), 0);
  EXPECT_EQ(a.m_pData, nullptr);
}

TEST(CTByteArrayTest, CopiesOwnTheirBlocks) {
  CTByteArray a;
  a.SetParam("hello", 5);
  CTByteArray copy(a);
  ASSERT_NE(copy.GetData(), a.GetData());
  EXPECT_EQ(Bytes(copy), Bytes(a));
  CTByteArray assigned;
  assigned.SetParam("zz", 2);
  assigned = a;
  ASSERT_NE(assigned.GetData(), a.GetData());
  EXPECT_EQ(Bytes(assigned), Bytes(a));
  a[0] = 'J';
  EXPECT_EQ(copy[0], 'h');
  EXPECT_EQ(assigned[0], 'h');
  auto& self = assigned;
  assigned = self;
  EXPECT_EQ(Bytes(assigned), (std::vector<BYTE>{'h', 'e', 'l', 'l', 'o'}));
}

TEST(CTByteArrayTest, AttachDetachAndRemoveAll) {
  CTByteArray a;
  a.SetParam("old", 3);
  BYTE* block = new BYTE[4]{1, 2, 3, 4};
  a.Attach(block, 4);  // releases the old block (LeakSanitizer checks)
  EXPECT_EQ(a.GetData(), block);
  EXPECT_EQ(a.GetSize(), 4);
  EXPECT_EQ(a.m_nMaxSize, 4);
  BYTE* taken = a.GetData();
  a.Detach();
  EXPECT_EQ(a.m_pData, nullptr);
  EXPECT_EQ(a.GetSize(), 0);
  EXPECT_EQ(a.m_nMaxSize, 4);  // kept; the null block is what counts
  a.Add(9);                    // allocates afresh despite the stale capacity
  EXPECT_EQ(a.m_nMaxSize, 1);
  delete[] taken;

  a.SetSize(5, 16);
  a.RemoveAll();
  EXPECT_EQ(a.m_pData, nullptr);
  EXPECT_EQ(a.GetSize(), 0);
  EXPECT_EQ(a.m_nMaxSize, 0);
  EXPECT_EQ(a.m_nGrowBy, 16);
}

TEST(CTByteArrayTest, SetParamAndGetParamEx) {
  CTByteArray a;
  a.SetParam("abcdef", 6);
  EXPECT_EQ(a.SetParam("zz", 0), 0u);  // count 0: unchanged
  EXPECT_EQ(a.GetSize(), 6);
  EXPECT_EQ(a.SetParam("xy", 2), 2u);
  EXPECT_EQ(Bytes(a), (std::vector<BYTE>{'x', 'y'}));
  EXPECT_EQ(a.m_nMaxSize, 6);  // capacity kept
  // The source may be a later part of the array's own bytes.
  a.SetParam("abcdef", 6);
  EXPECT_EQ(a.SetParam(reinterpret_cast<const char*>(a.GetData()) + 1, 5), 5u);
  EXPECT_EQ(Bytes(a), (std::vector<BYTE>{'b', 'c', 'd', 'e', 'f'}));
  a.SetParam("xy", 2);

  char* block = nullptr;
  DWORD count = 99;
  EXPECT_EQ(a.GetParamEx(block, count), 2u);
  ASSERT_NE(block, nullptr);
  EXPECT_EQ(count, 2u);
  EXPECT_EQ(std::memcmp(block, "xy", 2), 0);
  // The caller's block is reused and grown.
  a.SetParam("0123456789", 10);
  EXPECT_EQ(a.GetParamEx(block, count), 10u);
  EXPECT_EQ(std::memcmp(block, "0123456789", 10), 0);
  // One byte counts as empty: the block is freed.
  a.SetParam("q", 1);
  EXPECT_EQ(a.GetParamEx(block, count), 0u);
  EXPECT_EQ(block, nullptr);
  EXPECT_EQ(count, 0u);
  CTByteArray empty;
  block = static_cast<char*>(std::malloc(3));
  EXPECT_EQ(empty.GetParamEx(block, count), 0u);
  EXPECT_EQ(block, nullptr);
}

TEST(CTByteArrayTest, AllocationFailuresLeaveTheArrayIntact) {
  CTByteArray a;
  a.SetParam("abcd", 4);
  const BYTE* block = a.GetData();
  korvo::types::TEST_FailAllocation(1);
  EXPECT_THROW(a.SetSize(100, 8), std::bad_alloc);
  EXPECT_EQ(a.GetData(), block);
  EXPECT_EQ(a.GetSize(), 4);
  EXPECT_EQ(a.m_nMaxSize, 4);
  EXPECT_EQ(a.m_nGrowBy, 8);  // the step was stored before the failure
  EXPECT_EQ(Bytes(a), (std::vector<BYTE>{'a', 'b', 'c', 'd'}));
  korvo::types::TEST_FailAllocation(1);
  EXPECT_THROW(a.Add('e'), std::bad_alloc);
  EXPECT_EQ(a.GetSize(), 4);

  // GetParamEx: the caller keeps its block and learns of the failure.
  char* mine = static_cast<char*>(std::malloc(2));
  mine[0] = 'M';
  DWORD count = 0;
  korvo::types::TEST_FailAllocation(1);
  EXPECT_THROW(a.GetParamEx(mine, count), std::bad_alloc);
  EXPECT_EQ(mine[0], 'M');
  EXPECT_EQ(count, 4u);
  std::free(mine);

  // Failing the second allocation: the first succeeds, the array works on.
  korvo::types::TEST_FailAllocation(2);
  CTByteArray b;
  b.Add(1);
  EXPECT_THROW(b.Add(2), std::bad_alloc);
  EXPECT_EQ(Bytes(b), (std::vector<BYTE>{1}));
  b.Add(2);
  EXPECT_EQ(Bytes(b), (std::vector<BYTE>{1, 2}));
}

}  // namespace
