// tests/support/trace_file.h: reading the library's trace file and
// writing registry files that switch it (and the session instructions) on.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "support/test_support.h"

namespace korvo::test {

struct TraceEntry {
  unsigned long thread;
  int year, month, day, hour, minute, second;
  std::string hms;  // the h:m:s text as written
  std::string text;
};

// A registry export whose key SOFTWARE\ZEP\ORB_P5 holds "Dbms Korvo
// Trace" = `traceDirectory` (omitted when null) and, when `instructions`
// is not empty, "Dbms System Session Instructions" as a multi-string.
std::string RegistryFile(const char* traceDirectory,
                         const std::vector<std::string>& instructions = {});
// The registry file with only the trace value.
std::string RegistryWithTrace(const std::string& value);

// <dir>/~KORVO<pid>.log
std::string TraceFileOf(const std::string& dir, int pid);

// Splits a trace file into entries. The file must start with a header and
// every "\r\n[" must start a whole one (reported as a test failure).
std::vector<TraceEntry> ParseTraceEntries(const std::string& file);
// Just the texts of the entries, in order.
std::vector<std::string> TraceTexts(const std::string& file);

// Writes `registry` to <dir>/registry.reg and points KORVO_REGISTRY at it
// while the returned object lives. The registry is read once per process:
// call this before the first library object of the process is made (CTest
// runs each case in a process of its own).
std::unique_ptr<ScopedEnv> UseRegistryIn(const std::string& dir, const std::string& registry);
// UseRegistryIn with a registry that switches the trace into `dir`.
std::unique_ptr<ScopedEnv> TraceInto(const std::string& dir);
// The entry texts of this process's trace file in `dir`.
std::vector<std::string> ProcessTrace(const std::string& dir);

}  // namespace korvo::test
