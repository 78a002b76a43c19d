// tool/prompt.cpp: the interactive loop over libedit's readline interface.
#include "prompt.h"

#include <editline/readline.h>
#include <unistd.h>

#include <cstdlib>
#include <iostream>
#include <memory>
#include <string>

#include "statements.h"
#include "trace_command.h"

namespace korvo::tool {
namespace {

constexpr const char kPrompt[] = "korvo> ";
constexpr const char kContinuation[] = "  ...> ";
constexpr const char kHelp[] =
    "Statements end with ';' and may span lines.\n"
    "  .mode table|csv|json   how rows are shown\n"
    "  .trace                 this process's SQL trace (see: korvo trace on DIR)\n"
    "  .help                  this text\n"
    "  .quit                  leave (or Ctrl-D)\n";

std::string HistoryPath() {
  if (const char* chosen = std::getenv("KORVO_HISTORY")) return chosen;
  if (const char* home = std::getenv("HOME")) return std::string(home) + "/.korvo_history";
  return {};
}

// Owner of a line readline returned.
struct FreeLine {
  void operator()(char* line) const { std::free(line); }
};

// A dot command; false when the line asks to leave.
bool RunDotCommand(const std::string& line, OutputFormat& format) {
  if (line == ".quit" || line == ".exit") return false;
  if (line == ".help") {
    std::cout << kHelp;
  } else if (line == ".trace") {
    ShowTrace(static_cast<long>(getpid()), std::cout, std::cout);
  } else if (line == ".mode table") {
    format = OutputFormat::kTable;
  } else if (line == ".mode csv") {
    format = OutputFormat::kCsv;
  } else if (line == ".mode json") {
    format = OutputFormat::kJson;
  } else {
    std::cout << "unknown command " << line << " (.help lists them)\n";
  }
  return true;
}

}  // namespace

int RunPrompt(CDatabase& db, OutputFormat format) {
  const std::string history = HistoryPath();
  using_history();
  if (!history.empty()) read_history(history.c_str());
  std::cout << "Connected. Statements end with ';'. .help for help, .quit to leave.\n"
            << std::flush;

  int status = 0;
  std::string pending;
  for (;;) {
    std::unique_ptr<char, FreeLine> raw(readline(pending.empty() ? kPrompt : kContinuation));
    if (!raw) break;
    const std::string line = raw.get();
    if (pending.empty() && line.rfind('.', 0) == 0) {
      add_history(line.c_str());
      if (!RunDotCommand(line, format)) break;
      continue;
    }
    pending += pending.empty() ? line : "\n" + line;
    std::string rest;
    const std::vector<std::string> statements = SplitStatements(pending, &rest);
    if (statements.empty() && !rest.empty()) continue;  // not ended yet
    // The whole statement goes into history as one entry.
    if (!statements.empty()) add_history((pending.substr(0, pending.size() - rest.size())).c_str());
    pending = rest;
    for (const std::string& sql : statements) {
      status = RunStatement(db, sql, format, std::cout, std::cout, std::cout) ? 0 : 1;
    }
  }
  std::cout << "\n";
  if (!history.empty()) write_history(history.c_str());
  return status;
}

}  // namespace korvo::tool
