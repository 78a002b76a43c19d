// CreateFileA and friends over POSIX descriptors, with injected failures.
#include <gtest/gtest.h>
#include <korvo/platform/fault_internal.h>
#include <korvo/platform/file.h>

#include <string>

#include "support/test_support.h"

namespace {

using korvo::platform::FaultSite;
using korvo::test::ReadFile;
using korvo::test::TempDir;

bool Write(HANDLE h, const std::string& text) {
  DWORD written = 12345;
  BOOL ok = WriteFile(h, text.data(), static_cast<DWORD>(text.size()), &written, nullptr);
  return ok && written == text.size();
}

// CreateFileA for writing, with no sharing, security or attributes.
HANDLE Create(const std::string& path, DWORD disposition) {
  return CreateFileA(path.c_str(), GENERIC_WRITE, 0, nullptr, disposition, 0, nullptr);
}

TEST(File, DispositionsAsTheTraceUsesThem) {
  TempDir dir;
  std::string path = dir.File("trace.log");
  HANDLE h = CreateFileA(path.c_str(), GENERIC_WRITE, FILE_SHARE_READ, nullptr, CREATE_NEW,
                         FILE_ATTRIBUTE_NORMAL, nullptr);
  ASSERT_NE(INVALID_HANDLE_VALUE, h);
  ASSERT_NE(nullptr, h);
  EXPECT_TRUE(Write(h, "hello world"));
  EXPECT_TRUE(FlushFileBuffers(h));
  EXPECT_TRUE(CloseHandle(h));
  EXPECT_EQ("hello world", ReadFile(path));

  SetLastError(0);
  EXPECT_EQ(INVALID_HANDLE_VALUE, Create(path, CREATE_NEW));
  EXPECT_EQ(static_cast<DWORD>(ERROR_FILE_EXISTS), GetLastError());

  // OPEN_ALWAYS keeps the content and writes from the start.
  h = CreateFileA(path.c_str(), GENERIC_WRITE, FILE_SHARE_READ, nullptr, OPEN_ALWAYS,
                  FILE_ATTRIBUTE_NORMAL, nullptr);
  ASSERT_NE(INVALID_HANDLE_VALUE, h);
  EXPECT_TRUE(Write(h, "HELLO"));
  EXPECT_TRUE(Write(h, ""));
  EXPECT_TRUE(CloseHandle(h));
  EXPECT_EQ("HELLO world", ReadFile(path));

  h = Create(path, TRUNCATE_EXISTING);
  ASSERT_NE(INVALID_HANDLE_VALUE, h);
  EXPECT_TRUE(CloseHandle(h));
  EXPECT_EQ("", ReadFile(path));
  h = Create(path, CREATE_ALWAYS);
  EXPECT_TRUE(Write(h, "x"));
  EXPECT_TRUE(CloseHandle(h));
  EXPECT_EQ("x", ReadFile(path));

  SetLastError(0);
  EXPECT_EQ(INVALID_HANDLE_VALUE, CreateFileA(dir.File("missing").c_str(), GENERIC_READ, 0, nullptr,
                                              OPEN_EXISTING, 0, nullptr));
  EXPECT_EQ(static_cast<DWORD>(ERROR_FILE_NOT_FOUND), GetLastError());
  EXPECT_EQ(INVALID_HANDLE_VALUE, Create(dir.File("no/such/dir"), OPEN_ALWAYS));
  EXPECT_EQ(static_cast<DWORD>(ERROR_FILE_NOT_FOUND), GetLastError());
  EXPECT_EQ(INVALID_HANDLE_VALUE, Create(dir.path(), OPEN_ALWAYS));
  EXPECT_EQ(static_cast<DWORD>(ERROR_ACCESS_DENIED), GetLastError());
  EXPECT_EQ(INVALID_HANDLE_VALUE,
            CreateFileA(nullptr, GENERIC_WRITE, 0, nullptr, OPEN_ALWAYS, 0, nullptr));
  EXPECT_EQ(INVALID_HANDLE_VALUE, Create(path, 42));
  EXPECT_EQ(static_cast<DWORD>(ERROR_INVALID_PARAMETER), GetLastError());
}

TEST(File, BadHandlesFailCleanly) {
  DWORD written = 7;
  for (HANDLE h : {static_cast<HANDLE>(nullptr), INVALID_HANDLE_VALUE,
                   reinterpret_cast<HANDLE>(static_cast<intptr_t>(12345))}) {
    SetLastError(0);
    EXPECT_FALSE(WriteFile(h, "x", 1, &written, nullptr));
    EXPECT_EQ(0u, written);
    EXPECT_EQ(static_cast<DWORD>(ERROR_INVALID_HANDLE), GetLastError());
    EXPECT_FALSE(FlushFileBuffers(h));
    EXPECT_FALSE(CloseHandle(h));
  }
  TempDir dir;
  HANDLE h = Create(dir.File("f"), CREATE_ALWAYS);
  ASSERT_TRUE(CloseHandle(h));
  EXPECT_FALSE(CloseHandle(h));  // already closed
  EXPECT_FALSE(WriteFile(h, "x", 1, &written, nullptr));
}

TEST(File, InjectedOpenAndWriteFailures) {
  TempDir dir;
  std::string path = dir.File("f");
  korvo::platform::TEST_FailNthCall(FaultSite::kFileOpen, 1);
  SetLastError(0);
  EXPECT_EQ(INVALID_HANDLE_VALUE, Create(path, CREATE_ALWAYS));
  EXPECT_EQ(static_cast<DWORD>(ERROR_ACCESS_DENIED), GetLastError());
  HANDLE h = Create(path, CREATE_ALWAYS);
  ASSERT_NE(INVALID_HANDLE_VALUE, h);

  korvo::platform::TEST_FailNthCall(FaultSite::kFileWrite, 2);
  EXPECT_TRUE(Write(h, "a"));
  DWORD written = 9;
  EXPECT_FALSE(WriteFile(h, "b", 1, &written, nullptr));
  EXPECT_EQ(0u, written);
  EXPECT_EQ(static_cast<DWORD>(ERROR_DISK_FULL), GetLastError());
  EXPECT_TRUE(Write(h, "c"));
  korvo::platform::TEST_ClearFaults();
  EXPECT_TRUE(CloseHandle(h));
  EXPECT_EQ("ac", ReadFile(path));
}

}  // namespace
