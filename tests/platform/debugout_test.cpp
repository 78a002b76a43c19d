// The debugger output channel: installed sinks, the environment default.
#include <gtest/gtest.h>
#include <korvo/platform/debugout.h>

#include <string>

#include "support/test_support.h"

namespace {

void Collect(const char* text, void* context) { *static_cast<std::string*>(context) += text; }

TEST(DebugOutput, SinkReceivesEveryText) {
  std::string got;
  korvo::platform::SetDebugOutputSink(Collect, &got);
  OutputDebugStringA("one ");
  OutputDebugStringA(nullptr);
  OutputDebugStringW(u"caf\u00E9");
  EXPECT_EQ("one caf\xC3\xA9", got);
  korvo::platform::SetDebugOutputSink(nullptr, nullptr);
  OutputDebugStringA("discarded");
  EXPECT_EQ("one caf\xC3\xA9", got);
}

// Read once per process: relies on CTest's one process per case.
TEST(DebugOutputEnv, FileNamedByTheEnvironmentIsAppended) {
  korvo::test::TempDir dir;
  std::string path = dir.File("debug.txt");
  korvo::test::WriteFile(path, "before\n");
  korvo::test::ScopedEnv env("KORVO_DEBUG_OUTPUT", path.c_str());
  OutputDebugStringA("first ");
  OutputDebugStringA("second\n");
  EXPECT_EQ("before\nfirst second\n", korvo::test::ReadFile(path));
  std::string got;
  korvo::platform::SetDebugOutputSink(Collect, &got);
  OutputDebugStringA("to the sink");
  korvo::platform::SetDebugOutputSink(nullptr, nullptr);
  OutputDebugStringA("back");
  EXPECT_EQ("to the sink", got);
  EXPECT_EQ("before\nfirst second\nback", korvo::test::ReadFile(path));
}

}  // namespace
