// BSTR allocation: length prefix, termination, null versus empty.
#include <gtest/gtest.h>
#include <korvo/com/bstr.h>

#include <cstring>

#include "support/test_support.h"

using korvo::test::U16;

TEST(Bstr, EmptyIsNotNullAndNullHasLengthZero) {
  BSTR empty = SysAllocString(u"");
  ASSERT_NE(empty, nullptr);
  EXPECT_EQ(SysStringLen(empty), 0u);
  EXPECT_EQ(SysStringByteLen(empty), 0u);
  EXPECT_EQ(empty[0], 0);
  SysFreeString(empty);

  BSTR zeroLen = SysAllocStringLen(nullptr, 0);
  ASSERT_NE(zeroLen, nullptr);
  EXPECT_EQ(SysStringLen(zeroLen), 0u);
  SysFreeString(zeroLen);

  EXPECT_EQ(SysStringLen(nullptr), 0u);
  EXPECT_EQ(SysStringByteLen(nullptr), 0u);
  EXPECT_EQ(SysAllocString(nullptr), nullptr);
  SysFreeString(nullptr);  // accepted
}

TEST(Bstr, LengthPrefixTerminatorAndEmbeddedZeros) {
  BSTR s = SysAllocString(u"Korvo");
  ASSERT_NE(s, nullptr);
  EXPECT_EQ(SysStringLen(s), 5u);
  EXPECT_EQ(SysStringByteLen(s), 10u);
  uint32_t prefix;
  std::memcpy(&prefix, reinterpret_cast<char*>(s) - 4, 4);
  EXPECT_EQ(prefix, 10u);  // byte length stored just before the characters
  EXPECT_EQ(U16(s), u"Korvo");
  SysFreeString(s);

  const char16_t withZero[] = {u'a', 0, u'b'};
  s = SysAllocStringLen(withZero, 3);
  EXPECT_EQ(SysStringLen(s), 3u);
  EXPECT_EQ(s[1], 0);
  EXPECT_EQ(s[2], u'b');
  EXPECT_EQ(s[3], 0);
  SysFreeString(s);

  // Contents left zero when no source is given.
  s = SysAllocStringLen(nullptr, 4);
  for (int i = 0; i <= 4; ++i) EXPECT_EQ(s[i], 0);
  SysFreeString(s);
}

TEST(Bstr, ByteLengthStringsKeepOddLengthsAndTerminate) {
  BSTR s = SysAllocStringByteLen("abc", 3);
  ASSERT_NE(s, nullptr);
  EXPECT_EQ(SysStringByteLen(s), 3u);
  EXPECT_EQ(SysStringLen(s), 1u);
  const char* bytes = reinterpret_cast<const char*>(s);
  EXPECT_EQ(std::memcmp(bytes, "abc", 3), 0);
  EXPECT_EQ(bytes[3], 0);
  EXPECT_EQ(bytes[4], 0);
  SysFreeString(s);
}

TEST(Bstr, ReallocCopiesEvenFromInsideTheOldString) {
  BSTR s = SysAllocString(u"hello world");
  ASSERT_TRUE(SysReAllocString(&s, s + 6));  // the text lies inside s
  EXPECT_EQ(U16(s), u"world");
  EXPECT_EQ(SysStringLen(s), 5u);
  ASSERT_TRUE(SysReAllocStringLen(&s, s, 3));
  EXPECT_EQ(U16(s), u"wor");
  ASSERT_TRUE(SysReAllocStringLen(&s, nullptr, 2));
  EXPECT_EQ(SysStringLen(s), 2u);
  EXPECT_FALSE(SysReAllocString(nullptr, u"x"));
  ASSERT_TRUE(SysReAllocString(&s, nullptr));
  EXPECT_EQ(s, nullptr);
}
