// tool/main.cpp: the korvo command-line program.
#include <unistd.h>

#include <iostream>

#include "command_line.h"
#include "display_width.h"
#include "import_command.h"
#include "prompt.h"
#include "session.h"
#include "statements.h"
#include "trace_command.h"

using namespace korvo::tool;

namespace {

int RunStatements(CDatabase& db, const CommandLine& line) {
  for (const std::string& argument : line.sql) {
    for (const std::string& sql : SplitStatements(argument)) {
      if (!RunStatement(db, sql, line.format, std::cout, std::cerr, std::cerr)) return 1;
    }
  }
  return 0;
}

int Run(const CommandLine& line) {
  switch (line.command) {
    case ToolCommand::kTraceOn:
      return TraceOn(line.directory, std::cout, std::cerr);
    case ToolCommand::kTraceOff:
      return TraceOff(std::cout, std::cerr);
    case ToolCommand::kTraceShow:
      return ShowTrace(line.pid, std::cout, std::cerr);
    default:
      break;
  }
  ComScope com;
  return ReportingFailures(std::cerr, [&] {
    std::unique_ptr<CDatabase> db = OpenDatabase(line.connect);
    switch (line.command) {
      case ToolCommand::kImport:
        return ImportCsv(*db, line.table, line.file, isatty(STDERR_FILENO) != 0, std::cout,
                         std::cerr);
      case ToolCommand::kExport:
        return ExportCsv(*db, line.table, line.file, std::cout, std::cerr);
      default:
        return line.sql.empty() ? RunPrompt(*db, line.format) : RunStatements(*db, line);
    }
  });
}

}  // namespace

int main(int argc, char** argv) {
  UseUtf8Locale();
  CommandLine line;
  int status = 0;
  if (!ParseCommandLine(argc, argv, line, status)) return status;
  return Run(line);
}
