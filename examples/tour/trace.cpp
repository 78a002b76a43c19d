// examples/tour/trace.cpp: the last step prints this process's SQL trace.
// The registry setting "Dbms Korvo Trace" names the trace directory; the
// file there is ~KORVO<process id>.log.
#include <cstdio>
#include <fstream>
#include <string>
#include <vector>

#include "tour.h"

namespace tour {
namespace {

// The trace directory from the registry file, or "" when the trace is off.
std::string TraceDirectory() {
  HKEY key = nullptr;
  if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, "SOFTWARE\\ZEP\\ORB_P5", 0, KEY_READ, &key) !=
      ERROR_SUCCESS) {
    return "";
  }
  char dir[4096] = {};
  DWORD size = sizeof dir - 1;
  const LONG rc = RegQueryValueExA(key, "Dbms Korvo Trace", nullptr, nullptr,
                                   reinterpret_cast<BYTE*>(dir), &size);
  RegCloseKey(key);
  return rc == ERROR_SUCCESS ? dir : "";
}

}  // namespace

void ShowTrace() {
  Step("the SQL trace",
       "with \"Dbms Korvo Trace\" set in the registry file, each process writes "
       "what it ran and what failed");
  const std::string dir = TraceDirectory();
  if (dir.empty()) {
    Say("the trace is off (KORVO_REGISTRY names no file with \"Dbms Korvo Trace\")");
    return;
  }
  const std::string file = dir + "/~KORVO" + std::to_string(GetCurrentProcessId()) + ".log";
  std::ifstream in(file, std::ios::binary);
  if (!in) {
    Say("no trace file at %s", file.c_str());
    return;
  }
  // The trace has a line per library call: too many to read here. Show
  // the first few, then every line that is not a call, i.e. the failures.
  constexpr int kFirstLines = 4;
  int lines = 0;
  std::vector<std::string> failures;
  std::string line;
  while (std::getline(in, line)) {
    if (!line.empty() && line.back() == '\r') line.pop_back();  // CRLF lines, as on Windows
    if (line.empty()) continue;
    if (++lines <= kFirstLines) Say("| %s", line.c_str());
    if (line.find("::") == std::string::npos) failures.push_back(line);
  }
  Say("| ... %d lines in all, one per library call, in %s", lines, file.c_str());
  Say("the failures in it:");
  for (const std::string& failure : failures) Say("| %s", failure.c_str());
}

}  // namespace tour
