// Tests of the SQL trace file: switch, file name, entry headers, whole
// entries under concurrency, and no locking and no file while tracing is
// off. Every
// case runs in a process of its own (the switch is read once per process).
#include <gtest/gtest.h>
#include <korvo/diag/CKorvoTrace.h>
#include <korvo/diag/CKorvoTrace_internal.h>
#include <korvo/platform/clock_internal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <ctime>
#include <filesystem>
#include <map>
#include <string>
#include <thread>
#include <vector>

#include "support/test_support.h"
#include "support/trace_file.h"

namespace {

using korvo::test::ReadFile;
using korvo::test::ScopedEnv;
using korvo::test::TempDir;
using korvo::test::WriteFile;

using korvo::test::RegistryWithTrace;
using korvo::test::TraceFileOf;
using Entry = korvo::test::TraceEntry;

std::vector<Entry> ParseEntries(const std::string& file) {
  return korvo::test::ParseTraceEntries(file);
}

std::time_t EntryTimeUtc(const Entry& e) {
  std::tm tm{};
  tm.tm_year = e.year - 1900;
  tm.tm_mon = e.month - 1;
  tm.tm_mday = e.day;
  tm.tm_hour = e.hour;
  tm.tm_min = e.minute;
  tm.tm_sec = e.second;
  return timegm(&tm);
}

// KORVO_REGISTRY names registry.reg in the test's own directory, which a
// test writes with UseRegistry (or leaves missing).
class Trace : public testing::Test {
 protected:
  void UseRegistry(const std::string& text) { WriteFile(dir_.File("registry.reg"), text); }
  // The trace files of this process and of `pid`.
  std::string TraceFile(int pid = getpid()) const { return TraceFileOf(dir_.path(), pid); }

  TempDir dir_;
  ScopedEnv registry_{"KORVO_REGISTRY", dir_.File("registry.reg").c_str()};
};

TEST_F(Trace, FileNamedByProcessIdWithUtcHeadersInOrder) {
  UseRegistry(RegistryWithTrace(dir_.path()));
  // A zone far from UTC: a header written in local time would show 18:50.
  ScopedEnv zone("TZ", "XST-5:45");  // POSIX form: needs no zone files
  tzset();

  // The headers take the time of each write from the library's wall clock,
  // fixed here at known instants (2026-01-31 13:05:09 UTC, then a second
  // and a day later), so the fields are checked exactly.
  const std::time_t first = 1769864709;
  korvo::platform::TEST_FixWallClock(first, 250000000);
  CKorvoTrace trace;
  trace.PrintTrace("CDatabase::OpenEx");
  trace.PrintTrace(nullptr);  // writes nothing
  korvo::platform::TEST_FixWallClock(first + 1);
  trace.PrintTrace("no such table: t");
  korvo::platform::TEST_FixWallClock(first + 86400 - 13 * 3600);
  CKorvoTrace second;  // a second object writes to the same file
  second.PrintTrace("DbException1");
  korvo::platform::TEST_UseRealClock();

  std::string file = ReadFile(TraceFile());
  ASSERT_FALSE(file.empty());
  EXPECT_EQ(file.substr(0, 3), "\r\n[") << "each entry starts on a new line";
  EXPECT_NE(file.back(), '\n') << "an entry has no line end of its own";

  std::vector<Entry> entries = ParseEntries(file);
  ASSERT_EQ(entries.size(), 3u);
  EXPECT_EQ(entries[0].text, "CDatabase::OpenEx");
  EXPECT_EQ(entries[1].text, "no such table: t");
  EXPECT_EQ(entries[2].text, "DbException1");
  const std::time_t expected[] = {first, first + 1, first + 86400 - 13 * 3600};
  for (size_t i = 0; i < entries.size(); ++i) {
    const Entry& e = entries[i];
    EXPECT_EQ(e.thread, static_cast<unsigned long>(gettid()));
    EXPECT_EQ(EntryTimeUtc(e), expected[i]) << "entry " << i;
    // Hour, minute and second carry no leading zeros.
    EXPECT_EQ(e.hms, std::to_string(e.hour) + ":" + std::to_string(e.minute) + ":" +
                         std::to_string(e.second));
  }
  EXPECT_EQ(entries[0].hms, "13:5:9");
  EXPECT_EQ(entries[2].hms, "0:5:9");
}

TEST_F(Trace, OlderFileOfTheSameNameIsOverwrittenFromItsStart) {
  UseRegistry(RegistryWithTrace(dir_.path()));
  std::string old(400, 'o');
  WriteFile(TraceFile(), old);

  CKorvoTrace trace;
  trace.PrintTrace("new");
  std::string file = ReadFile(TraceFile());
  ASSERT_EQ(file.size(), old.size()) << "the file is not truncated";
  size_t headerEnd = file.find("]new");
  ASSERT_NE(headerEnd, std::string::npos);
  EXPECT_EQ(file.substr(0, 3), "\r\n[");
  EXPECT_EQ(file.substr(headerEnd + 4), old.substr(headerEnd + 4));
}

TEST_F(Trace, EachProcessWritesItsOwnFile) {
  UseRegistry(RegistryWithTrace(dir_.path()));

  // The child must be the first to read the switch, so fork before any
  // trace object exists in this process.
  pid_t child = fork();
  ASSERT_NE(child, -1);
  if (child == 0) {
    CKorvoTrace trace;
    trace.PrintTrace("child");
    _exit(0);
  }
  int status = 0;
  ASSERT_EQ(waitpid(child, &status, 0), child);
  ASSERT_TRUE(WIFEXITED(status));

  CKorvoTrace trace;
  trace.PrintTrace("parent");
  std::vector<Entry> childEntries = ParseEntries(ReadFile(TraceFile(child)));
  std::vector<Entry> ownEntries = ParseEntries(ReadFile(TraceFile()));
  ASSERT_EQ(childEntries.size(), 1u);
  ASSERT_EQ(ownEntries.size(), 1u);
  EXPECT_EQ(childEntries[0].text, "child");
  EXPECT_EQ(ownEntries[0].text, "parent");
}

TEST_F(Trace, EntriesStayWholeWhenEightThreadsWrite) {
  UseRegistry(RegistryWithTrace(dir_.path()));
  CKorvoTrace trace;

  constexpr int kThreads = 8;
  constexpr int kEntries = 400;
  std::vector<std::thread> threads;
  std::vector<unsigned long> ids(kThreads);
  for (int t = 0; t < kThreads; ++t) {
    threads.emplace_back([t, &ids] {
      ids[t] = static_cast<unsigned long>(gettid());
      CKorvoTrace own;
      for (int n = 0; n < kEntries; ++n) {
        // Lengths vary up to a few kilobytes so that a torn write shows.
        std::string text = "T" + std::to_string(t) + "#" + std::to_string(n) + ":" +
                           std::string(1 + (n * 37) % 3000, static_cast<char>('a' + t));
        own.PrintTrace(text.c_str());
      }
    });
  }
  for (auto& th : threads) th.join();

  std::vector<Entry> entries = ParseEntries(ReadFile(TraceFile()));
  ASSERT_EQ(entries.size(), static_cast<size_t>(kThreads * kEntries));
  std::map<unsigned long, int> threadOfId;
  for (int t = 0; t < kThreads; ++t) threadOfId[ids[t]] = t;
  std::vector<int> nextExpected(kThreads, 0);
  for (const Entry& e : entries) {
    ASSERT_TRUE(threadOfId.count(e.thread)) << "unknown thread id " << e.thread;
    int t = threadOfId[e.thread];
    int n = nextExpected[t]++;
    std::string expected = "T" + std::to_string(t) + "#" + std::to_string(n) + ":" +
                           std::string(1 + (n * 37) % 3000, static_cast<char>('a' + t));
    ASSERT_EQ(e.text, expected) << "entry torn or out of order";
  }
}

// With tracing off PrintTrace must not touch the mutex: while this thread
// holds it, a PrintTrace on another thread still returns. (Were it to take
// the mutex, the join would never return and the runner's time-out would
// report the case: no guess from a short wait.)
void ExpectPrintTraceTakesNoLock() {
  CKorvoTrace trace;
  korvo::platform::MutexLock held(korvo::diag::TEST_TraceMutex());
  std::thread other([&] { trace.PrintTrace("ignored"); });
  other.join();
}

// With tracing off a PrintTrace writes no file: not in `dir` (which holds
// any directory the registry names), and not in the working directory,
// which is `dir` too so that a relative or empty directory would land there.
void ExpectTracingOffWritesNothing(const TempDir& dir) {
  const std::filesystem::path before = std::filesystem::current_path();
  std::filesystem::current_path(dir.path());
  ExpectPrintTraceTakesNoLock();
  std::filesystem::current_path(before);
  for (const auto& entry : std::filesystem::recursive_directory_iterator(dir.path())) {
    EXPECT_NE(entry.path().filename().string().rfind("~KORVO", 0), 0u)
        << "trace file written while tracing is off: " << entry.path();
  }
}

TEST_F(Trace, EmptyValueSwitchesTracingOff) {
  UseRegistry(RegistryWithTrace(""));
  ExpectTracingOffWritesNothing(dir_);
}

TEST_F(Trace, MissingValueOrRegistrySwitchesTracingOff) {
  UseRegistry(
      "Windows Registry Editor Version 5.00\r\n\r\n"
      "[HKEY_LOCAL_MACHINE\\SOFTWARE\\ZEP\\ORB_P5]\r\n"
      "\"Other\"=\"" +
      dir_.path() + "\"\r\n");
  ExpectTracingOffWritesNothing(dir_);
}

TEST_F(Trace, MissingRegistryFileSwitchesTracingOff) {
  ExpectTracingOffWritesNothing(dir_);  // registry.reg was never written
}

TEST_F(Trace, ValueLongerThanTheBufferSwitchesTracingOff) {
  // A directory that exists, named by more bytes than the 260-byte buffer.
  std::string longDir = dir_.path();
  while (longDir.size() <= 300) longDir += "/" + std::string(60, 'd');
  std::filesystem::create_directories(longDir);
  UseRegistry(RegistryWithTrace(longDir));
  ExpectTracingOffWritesNothing(dir_);
}

TEST_F(Trace, DirectoryThatCannotBeOpenedWritesNothingAndDoesNotFail) {
  std::string missing = dir_.path() + "/missing";
  UseRegistry(RegistryWithTrace(missing));
  CKorvoTrace trace;
  trace.PrintTrace("lost");
  EXPECT_FALSE(std::filesystem::exists(missing));
}

}  // namespace
