// tests/support/trace_file.cpp: trace file parsing and registry files.
#include "support/trace_file.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <cctype>
#include <cstdio>
#include <cstring>

namespace korvo::test {

std::string RegistryFile(const char* traceDirectory, const std::vector<std::string>& instructions) {
  std::string out =
      "Windows Registry Editor Version 5.00\r\n\r\n"
      "[HKEY_LOCAL_MACHINE\\SOFTWARE\\ZEP\\ORB_P5]\r\n";
  if (traceDirectory != nullptr)
    out += "\"Dbms Korvo Trace\"=\"" + std::string(traceDirectory) + "\"\r\n";
  if (!instructions.empty()) {
    // hex(7): UTF-16LE bytes of each string and its terminator, then one
    // more terminator. The texts used by the tests are ASCII.
    std::string hex;
    auto unit = [&hex](unsigned char c) {
      char buf[8];
      std::snprintf(buf, sizeof buf, "%s%02x,00", hex.empty() ? "" : ",", c);
      hex += buf;
    };
    for (const std::string& s : instructions) {
      for (unsigned char c : s) unit(c);
      unit(0);
    }
    unit(0);
    out += "\"Dbms System Session Instructions\"=hex(7):" + hex + "\r\n";
  }
  return out;
}

std::string RegistryWithTrace(const std::string& value) { return RegistryFile(value.c_str()); }

std::string TraceFileOf(const std::string& dir, int pid) {
  return dir + "/~KORVO" + std::to_string(pid) + ".log";
}

// Reads a header "\r\n[<id> - YYYY/MM/DD h:m:s]" at `pos`; on success
// fills the numeric fields and returns the position after it, else npos.
// (std::regex is avoided: GCC 12 warns inside it under the sanitizers.)
static size_t ParseHeader(const std::string& s, size_t pos, TraceEntry& e) {
  auto literal = [&](const char* text) {
    size_t n = std::strlen(text);
    if (s.compare(pos, n, text) != 0) return false;
    pos += n;
    return true;
  };
  // `exact` digits, or 1..`exact` when `upTo` is set.
  auto number = [&](size_t exact, bool upTo, unsigned long& out) {
    size_t start = pos;
    while (pos < s.size() && std::isdigit(static_cast<unsigned char>(s[pos])) &&
           (upTo || pos - start < exact))
      ++pos;
    size_t n = pos - start;
    if (n == 0 || (!upTo && n != exact) || (upTo && exact && n > exact)) return false;
    out = std::stoul(s.substr(start, n));
    return true;
  };
  unsigned long y, mo, d, h, mi, se;
  if (!literal("\r\n[") || !number(0, true, e.thread) || !literal(" - ") || !number(4, false, y) ||
      !literal("/") || !number(2, false, mo) || !literal("/") || !number(2, false, d) ||
      !literal(" "))
    return std::string::npos;
  size_t hmsStart = pos;
  if (!number(2, true, h) || !literal(":") || !number(2, true, mi) || !literal(":") ||
      !number(2, true, se))
    return std::string::npos;
  e.hms = s.substr(hmsStart, pos - hmsStart);
  if (!literal("]")) return std::string::npos;
  e.year = static_cast<int>(y);
  e.month = static_cast<int>(mo);
  e.day = static_cast<int>(d);
  e.hour = static_cast<int>(h);
  e.minute = static_cast<int>(mi);
  e.second = static_cast<int>(se);
  return pos;
}

// Splits a trace file into entries; the file must start with a header and
// every "\r\n[" must start a whole header.
std::vector<TraceEntry> ParseTraceEntries(const std::string& file) {
  std::vector<TraceEntry> entries;
  size_t pos = 0;
  while (pos < file.size()) {
    TraceEntry e{};
    size_t textStart = ParseHeader(file, pos, e);
    if (textStart == std::string::npos) {
      ADD_FAILURE() << "no whole entry header at offset " << pos;
      return entries;
    }
    size_t next = file.find("\r\n[", textStart);
    if (next == std::string::npos) next = file.size();
    e.text = file.substr(textStart, next - textStart);
    entries.push_back(e);
    pos = next;
  }
  return entries;
}

std::vector<std::string> TraceTexts(const std::string& file) {
  std::vector<std::string> texts;
  for (const TraceEntry& e : ParseTraceEntries(file)) texts.push_back(e.text);
  return texts;
}

std::unique_ptr<ScopedEnv> UseRegistryIn(const std::string& dir, const std::string& registry) {
  const std::string file = dir + "/registry.reg";
  WriteFile(file, registry);
  return std::make_unique<ScopedEnv>("KORVO_REGISTRY", file.c_str());
}

std::unique_ptr<ScopedEnv> TraceInto(const std::string& dir) {
  return UseRegistryIn(dir, RegistryFile(dir.c_str()));
}

std::vector<std::string> ProcessTrace(const std::string& dir) {
  return TraceTexts(ReadFile(TraceFileOf(dir, getpid())));
}

}  // namespace korvo::test
