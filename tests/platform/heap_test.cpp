// The process heap: exact sizes, zero-filling on allocation and growth,
// content kept on growth, failures that leave the old block alone.
#include <gtest/gtest.h>
#include <korvo/platform/fault_internal.h>
#include <korvo/platform/heap.h>

#include <cstdint>
#include <cstring>

namespace {

using korvo::platform::FaultSite;

bool AllBytes(const void* p, size_t from, size_t to, unsigned char value) {
  const auto* b = static_cast<const unsigned char*>(p);
  for (size_t i = from; i < to; ++i) {
    if (b[i] != value) return false;
  }
  return true;
}

TEST(Heap, SizesAndZeroFill) {
  HANDLE heap = GetProcessHeap();
  ASSERT_NE(nullptr, heap);
  void* zero = HeapAlloc(heap, 0, 0);
  ASSERT_NE(nullptr, zero);
  EXPECT_EQ(0u, HeapSize(heap, 0, zero));
  EXPECT_TRUE(HeapFree(heap, 0, zero));

  auto* block = static_cast<unsigned char*>(HeapAlloc(heap, HEAP_ZERO_MEMORY, 1000));
  ASSERT_NE(nullptr, block);
  EXPECT_EQ(1000u, HeapSize(heap, 0, block));
  EXPECT_TRUE(AllBytes(block, 0, 1000, 0));
  EXPECT_EQ(0u, reinterpret_cast<uintptr_t>(block) % alignof(std::max_align_t));

  // Growth with zero-fill keeps the content and zeroes only the new bytes.
  std::memset(block, 0xAB, 1000);
  block = static_cast<unsigned char*>(HeapReAlloc(heap, HEAP_ZERO_MEMORY, block, 5000));
  ASSERT_NE(nullptr, block);
  EXPECT_EQ(5000u, HeapSize(heap, 0, block));
  EXPECT_TRUE(AllBytes(block, 0, 1000, 0xAB));
  EXPECT_TRUE(AllBytes(block, 1000, 5000, 0));

  // Shrinking, then growing again with zero-fill: the bytes beyond the
  // shrunken size are zero, not the old 0xAB.
  block = static_cast<unsigned char*>(HeapReAlloc(heap, 0, block, 10));
  ASSERT_NE(nullptr, block);
  EXPECT_EQ(10u, HeapSize(heap, 0, block));
  block = static_cast<unsigned char*>(HeapReAlloc(heap, HEAP_ZERO_MEMORY, block, 2000));
  ASSERT_NE(nullptr, block);
  EXPECT_TRUE(AllBytes(block, 0, 10, 0xAB));
  EXPECT_TRUE(AllBytes(block, 10, 2000, 0));

  // Growth without the flag keeps the content.
  block = static_cast<unsigned char*>(HeapReAlloc(heap, 0, block, 100000));
  ASSERT_NE(nullptr, block);
  EXPECT_EQ(100000u, HeapSize(heap, 0, block));
  EXPECT_TRUE(AllBytes(block, 0, 10, 0xAB));
  EXPECT_TRUE(HeapFree(heap, 0, block));
}

TEST(Heap, NullAndImpossibleRequests) {
  HANDLE heap = GetProcessHeap();
  EXPECT_TRUE(HeapFree(heap, 0, nullptr));
  EXPECT_EQ(static_cast<SIZE_T>(-1), HeapSize(heap, 0, nullptr));
  SetLastError(0);
  EXPECT_EQ(nullptr, HeapReAlloc(heap, 0, nullptr, 10));
  EXPECT_EQ(static_cast<DWORD>(ERROR_INVALID_PARAMETER), GetLastError());

  SetLastError(0);
  EXPECT_EQ(nullptr, HeapAlloc(heap, 0, static_cast<SIZE_T>(-1)));
  EXPECT_EQ(static_cast<DWORD>(ERROR_NOT_ENOUGH_MEMORY), GetLastError());
  auto* block = static_cast<char*>(HeapAlloc(heap, 0, 4));
  ASSERT_NE(nullptr, block);
  std::memcpy(block, "abc", 4);
  SetLastError(0);
  EXPECT_EQ(nullptr, HeapReAlloc(heap, HEAP_ZERO_MEMORY, block, static_cast<SIZE_T>(-1) / 2));
  EXPECT_EQ(static_cast<DWORD>(ERROR_NOT_ENOUGH_MEMORY), GetLastError());
  EXPECT_STREQ("abc", block);
  EXPECT_EQ(4u, HeapSize(heap, 0, block));
  HeapFree(heap, 0, block);
}

TEST(Heap, InjectedFailuresKeepTheOldBlock) {
  HANDLE heap = GetProcessHeap();
  auto* block = static_cast<char*>(HeapAlloc(heap, 0, 8));
  ASSERT_NE(nullptr, block);
  std::memcpy(block, "content", 8);

  korvo::platform::TEST_FailNthCall(FaultSite::kHeapAlloc, 2);
  void* first = HeapAlloc(heap, 0, 16);
  EXPECT_NE(nullptr, first);
  SetLastError(0);
  EXPECT_EQ(nullptr, HeapReAlloc(heap, 0, block, 64));
  EXPECT_EQ(static_cast<DWORD>(ERROR_NOT_ENOUGH_MEMORY), GetLastError());
  EXPECT_STREQ("content", block);
  EXPECT_EQ(8u, HeapSize(heap, 0, block));
  void* third = HeapAlloc(heap, 0, 16);  // only the 2nd call fails
  EXPECT_NE(nullptr, third);
  EXPECT_EQ(3, korvo::platform::TEST_CallCount(FaultSite::kHeapAlloc));
  EXPECT_EQ(1, korvo::platform::TEST_FailureCount(FaultSite::kHeapAlloc));

  korvo::platform::TEST_FailNthCall(FaultSite::kHeapAlloc, 1, /*persistent=*/true);
  EXPECT_EQ(nullptr, HeapAlloc(heap, 0, 1));
  EXPECT_EQ(nullptr, HeapAlloc(heap, HEAP_ZERO_MEMORY, 1));
  korvo::platform::TEST_ClearFaults();
  void* after = HeapAlloc(heap, 0, 1);
  EXPECT_NE(nullptr, after);

  for (void* p : {first, third, after, static_cast<void*>(block)}) HeapFree(heap, 0, p);
}

}  // namespace
