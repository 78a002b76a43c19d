// tests/types/CTLongBinary_test.cpp: CTLongBinary on the process heap.
#include <gtest/gtest.h>
#include <korvo/platform/fault_internal.h>
#include <korvo/platform/heap.h>
#include <korvo/platform/process.h>
#include <korvo/types/CTLongBinary.h>

#include <cstring>
#include <new>
#include <string>

namespace {

const BYTE* B(const char* s) { return reinterpret_cast<const BYTE*>(s); }

std::string Data(const CTLongBinary& lb) {
  return std::string(static_cast<const char*>(lb.m_pData), lb.m_nDataLength);
}

TEST(CTLongBinaryTest, SetParamWritesAppendsAndEmpties) {
  CTLongBinary lb;
  EXPECT_EQ(lb.m_pData, nullptr);
  EXPECT_EQ(lb.m_nDataLength, 0u);
  EXPECT_EQ(lb.SetParam(B("abc"), 3, 0), 3u);
  EXPECT_EQ(HeapSize(GetProcessHeap(), 0, lb.m_pData), 3u);
  EXPECT_EQ(lb.SetParam(B("de"), 2, 1), 5u);
  EXPECT_EQ(Data(lb), "abcde");
  EXPECT_EQ(HeapSize(GetProcessHeap(), 0, lb.m_pData), 5u);  // exactly the length
  // Without append the data starts over and the block shrinks to fit.
  EXPECT_EQ(lb.SetParam(B("XY"), 2, 0), 2u);
  EXPECT_EQ(Data(lb), "XY");
  EXPECT_EQ(HeapSize(GetProcessHeap(), 0, lb.m_pData), 2u);
  // Nothing to append: the length is reported, nothing changes.
  void* block = lb.m_pData;
  EXPECT_EQ(lb.SetParam(nullptr, 0, 1), 2u);
  EXPECT_EQ(lb.SetParam(B("zz"), 0, 1), 2u);
  EXPECT_EQ(lb.m_pData, block);
  EXPECT_EQ(Data(lb), "XY");
  // Nothing to write without append: emptied, block released.
  EXPECT_EQ(lb.SetParam(nullptr, 0, 0), 0u);
  EXPECT_EQ(lb.m_pData, nullptr);
  EXPECT_EQ(lb.m_nDataLength, 0u);
  // Append on an empty object empties too.
  EXPECT_EQ(lb.SetParam(nullptr, 0, 1), 0u);
  EXPECT_EQ(lb.m_pData, nullptr);
  // Append to an empty object is a plain write.
  EXPECT_EQ(lb.SetParam(B("q"), 1, 1), 1u);
  EXPECT_EQ(Data(lb), "q");
}

TEST(CTLongBinaryTest, AppendAfterAReaderLeftALargerBlock) {
  // A recordset read may leave a block larger than the data; appending
  // continues after the data, not after the block, and SetParam then makes
  // the block exactly as long as the data again.
  CTLongBinary lb;
  lb.m_pData = HeapAlloc(GetProcessHeap(), HEAP_ZERO_MEMORY, 16);
  std::memcpy(lb.m_pData, "abSTALESTALE", 12);
  lb.m_nDataLength = 2;
  EXPECT_EQ(lb.SetParam(B("!"), 1, 1), 3u);
  EXPECT_EQ(Data(lb), "ab!");
  EXPECT_EQ(HeapSize(GetProcessHeap(), 0, lb.m_pData), 3u);
}

TEST(CTLongBinaryTest, GetParamLendsAndGetParam2Copies) {
  CTLongBinary lb;
  BYTE* data = reinterpret_cast<BYTE*>(1);
  DWORD length = 7;
  EXPECT_EQ(lb.GetParam(data, length), 0u);
  EXPECT_EQ(data, nullptr);
  EXPECT_EQ(length, 0u);

  char dest[4];
  std::memset(dest, 'x', sizeof dest);
  EXPECT_EQ(lb.GetParam2(dest, 4), 0u);
  EXPECT_EQ(std::string(dest, 4), std::string(4, '\0'));

  lb.SetParam(B("hello"), 5, 0);
  EXPECT_EQ(lb.GetParam(data, length), 5u);
  EXPECT_EQ(data, lb.m_pData);
  EXPECT_EQ(length, 5u);

  std::memset(dest, 'x', sizeof dest);
  EXPECT_EQ(lb.GetParam2(dest, 2), 5u);  // cut: reports the full length
  EXPECT_EQ(std::string(dest, 4), "hexx");
  char wide[8];
  std::memset(wide, 'x', sizeof wide);
  EXPECT_EQ(lb.GetParam2(wide, 8), 5u);
  EXPECT_EQ(std::string(wide, 8), "helloxxx");  // bytes past the data untouched

  // A null destination of length 0 asks for the length only, with data or
  // without.
  EXPECT_EQ(lb.GetParam2(nullptr, 0), 5u);
  CTLongBinary empty;
  EXPECT_EQ(empty.GetParam2(nullptr, 0), 0u);
}

TEST(CTLongBinaryTest, AppendingItsOwnDataSurvivesTheBlockMoving) {
  CTLongBinary lb;
  lb.SetParam(B("abcdef"), 6, 0);
  // The growth may move the block the source points into.
  EXPECT_EQ(lb.SetParam(static_cast<const BYTE*>(lb.m_pData), 6, 1), 12u);
  EXPECT_EQ(Data(lb), "abcdefabcdef");
  EXPECT_EQ(lb.SetParam(static_cast<const BYTE*>(lb.m_pData) + 2, 3, 1), 15u);
  EXPECT_EQ(Data(lb), "abcdefabcdefcde");
  // Replacing with a part of itself: the part moves to the front.
  EXPECT_EQ(lb.SetParam(static_cast<const BYTE*>(lb.m_pData) + 12, 3, 0), 3u);
  EXPECT_EQ(Data(lb), "cde");
}

TEST(CTLongBinaryTest, LengthsAreReportedAsTheirLow32Bits) {
  CTLongBinary lb;
  lb.SetParam(B("ab"), 2, 0);
  const ULONGLONG real = lb.m_nDataLength;
  lb.m_nDataLength = (1ULL << 32) + 2;  // as if the block held over 4 GiB
  EXPECT_EQ(lb.SetParam(nullptr, 0, 1), 2u);
  BYTE* data;
  DWORD length;
  EXPECT_EQ(lb.GetParam(data, length), 2u);
  lb.m_nDataLength = real;
}

TEST(CTLongBinaryTest, CopiesOwnTheirBlocks) {
  CTLongBinary a;
  a.SetParam(B("data"), 4, 0);
  CTLongBinary copy(a);
  ASSERT_NE(copy.m_pData, a.m_pData);
  EXPECT_EQ(Data(copy), "data");
  CTLongBinary assigned;
  assigned.SetParam(B("old contents"), 12, 0);
  assigned = a;
  ASSERT_NE(assigned.m_pData, a.m_pData);
  EXPECT_EQ(Data(assigned), "data");
  static_cast<BYTE*>(a.m_pData)[0] = 'D';
  EXPECT_EQ(Data(copy), "data");
  auto& self = assigned;
  assigned = self;
  EXPECT_EQ(Data(assigned), "data");
  CTLongBinary empty;
  assigned = empty;
  EXPECT_EQ(assigned.m_pData, nullptr);
  EXPECT_EQ(assigned.m_nDataLength, 0u);
}

TEST(CTLongBinaryTest, HeapFailureKeepsTheOldBlockAndReportsAllOnes) {
  using korvo::platform::FaultSite;
  CTLongBinary lb;
  lb.SetParam(B("abc"), 3, 0);
  void* block = lb.m_pData;
  // Growth (HeapReAlloc) refused.
  korvo::platform::TEST_FailNthCall(FaultSite::kHeapAlloc, 1);
  EXPECT_EQ(lb.SetParam(B("defg"), 4, 1), 0xFFFFFFFFu);
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_NOT_ENOUGH_MEMORY));
  EXPECT_EQ(lb.m_pData, block);
  EXPECT_EQ(Data(lb), "abc");
  // Replacement refused.
  korvo::platform::TEST_FailNthCall(FaultSite::kHeapAlloc, 1);
  EXPECT_EQ(lb.SetParam(B("0123456789"), 10, 0), 0xFFFFFFFFu);
  EXPECT_EQ(Data(lb), "abc");
  // First allocation refused: still empty.
  CTLongBinary fresh;
  korvo::platform::TEST_FailNthCall(FaultSite::kHeapAlloc, 1);
  EXPECT_EQ(fresh.SetParam(B("x"), 1, 0), 0xFFFFFFFFu);
  EXPECT_EQ(fresh.m_pData, nullptr);
  EXPECT_EQ(fresh.m_nDataLength, 0u);
  // The object works on once the heap recovers.
  EXPECT_EQ(lb.SetParam(B("de"), 2, 1), 5u);
  EXPECT_EQ(Data(lb), "abcde");

  // A copy that cannot get its block throws and leaves the target as it was.
  CTLongBinary target;
  target.SetParam(B("keep"), 4, 0);
  korvo::platform::TEST_FailNthCall(FaultSite::kHeapAlloc, 1);
  EXPECT_THROW(target = lb, std::bad_alloc);
  EXPECT_EQ(Data(target), "keep");
  korvo::platform::TEST_FailNthCall(FaultSite::kHeapAlloc, 1);
  EXPECT_THROW(CTLongBinary copy(lb), std::bad_alloc);
  korvo::platform::TEST_ClearFaults();
}

}  // namespace
