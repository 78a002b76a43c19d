// String resources: lengths at the 256-character buffer boundary, wide and
// narrow forms, loading from a file.
#include <gtest/gtest.h>
#include <korvo/platform/resources.h>

#include <string>

#include "support/test_support.h"

namespace {

using korvo::platform::ClearStringResources;
using korvo::platform::LoadStringResourceFile;
using korvo::platform::SetStringResource;

TEST(Resources, LengthsAtTheBufferBoundary) {
  HMODULE self = GetModuleHandleA(nullptr);
  ASSERT_NE(nullptr, self);
  for (int len : {0, 1, 253, 254, 255, 256, 600}) {
    std::string text;
    for (int i = 0; i < len; ++i) text += static_cast<char>('a' + i % 26);
    SetStringResource(100, text.c_str());
    char buf[256];
    int got = LoadStringA(self, 100, buf, 256);
    int expected = len < 255 ? len : 255;
    EXPECT_EQ(expected, got) << len;
    EXPECT_EQ(text.substr(0, static_cast<size_t>(expected)), std::string(buf)) << len;
    WCHAR wbuf[256];
    EXPECT_EQ(expected, LoadStringW(self, 100, wbuf, 256)) << len;
    EXPECT_EQ(static_cast<size_t>(expected), std::u16string(wbuf).size());
    // A larger buffer takes the whole text.
    std::string big(1024, '#');
    EXPECT_EQ(len, LoadStringA(self, 100, big.data(), 1024));
    EXPECT_EQ(text, std::string(big.c_str()));
  }
}

TEST(Resources, MultiByteTextIsCutAtTheByteLimit) {
  // 200 two-byte characters are 400 bytes in UTF-8: the narrow form fills
  // the buffer to the last byte so the caller sees the cut and retries.
  std::string text;
  for (int i = 0; i < 200; ++i) text += "\xC3\xA9";
  SetStringResource(7, text.c_str());
  char buf[256];
  EXPECT_EQ(255, LoadStringA(nullptr, 7, buf, 256));
  char big[512];
  EXPECT_EQ(400, LoadStringA(nullptr, 7, big, 512));
  EXPECT_EQ(text, std::string(big));
  WCHAR wbuf[256];
  EXPECT_EQ(200, LoadStringW(nullptr, 7, wbuf, 256));
  EXPECT_EQ(u'\u00E9', wbuf[199]);
}

TEST(Resources, MissingIdentifiersAndOtherModules) {
  SetStringResource(1, "one");
  char buf[16] = "garbage";
  EXPECT_EQ(0, LoadStringA(nullptr, 2, buf, 16));
  EXPECT_STREQ("", buf);
  EXPECT_EQ(static_cast<DWORD>(ERROR_RESOURCE_NAME_NOT_FOUND), GetLastError());
  EXPECT_EQ(nullptr, GetModuleHandleA("libother.so"));
  int token = 0;
  EXPECT_EQ(0, LoadStringA(static_cast<HINSTANCE>(&token), 1, buf, 16));
  EXPECT_EQ(0, LoadStringA(nullptr, 1, nullptr, 16));
  EXPECT_EQ(0, LoadStringA(nullptr, 1, buf, 0));
  EXPECT_EQ(1, LoadStringA(nullptr, 1, buf, 2));
  EXPECT_STREQ("o", buf);
  SetStringResource(1, nullptr);
  EXPECT_EQ(0, LoadStringA(nullptr, 1, buf, 16));
  SetStringResource(3, "x");
  ClearStringResources();
  EXPECT_EQ(0, LoadStringA(nullptr, 3, buf, 16));
}

TEST(Resources, FileWithEscapesCommentsAndBadLines) {
  korvo::test::TempDir dir;
  std::string path = dir.File("strings.txt");
  korvo::test::WriteFile(path,
                         "# comment\r\n"
                         "10=plain\r\n"
                         "11=tab\\there\\nnext \\\\ \\q\n"
                         "=no id\n"
                         "x12=bad id\n"
                         "99999999999=too big\n"
                         "no equals sign\n"
                         "\n"
                         "12=caf\xC3\xA9=still text\n"
                         "13=\n");
  EXPECT_EQ(4, LoadStringResourceFile(path.c_str()));
  char buf[64];
  EXPECT_EQ(5, LoadStringA(nullptr, 10, buf, 64));
  EXPECT_STREQ("plain", buf);
  LoadStringA(nullptr, 11, buf, 64);
  EXPECT_STREQ("tab\there\nnext \\ \\q", buf);
  LoadStringA(nullptr, 12, buf, 64);
  EXPECT_STREQ("caf\xC3\xA9=still text", buf);
  EXPECT_EQ(0, LoadStringA(nullptr, 13, buf, 64));
  EXPECT_EQ(-1, LoadStringResourceFile(dir.File("missing.txt").c_str()));
  EXPECT_EQ(-1, LoadStringResourceFile(nullptr));
}

}  // namespace
