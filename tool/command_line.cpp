// tool/command_line.cpp: the command line's grammar.
#include "command_line.h"

#include <CLI/CLI.hpp>

namespace korvo::tool {
namespace {

constexpr const char kDescription[] =
    "korvo: run SQL through the Korvo library.\n"
    "\n"
    "  korvo CONNECT                       interactive prompt (statements end with ';')\n"
    "  korvo CONNECT 'SELECT ...' ...      run statements and leave\n"
    "  korvo import CONNECT TABLE FILE.csv insert a CSV file in one transaction\n"
    "  korvo export CONNECT TABLE FILE.csv write a table as CSV ('-': standard output)\n"
    "  korvo trace on DIR | off            switch the SQL trace in the registry file\n"
    "  korvo trace show [PID]              print a process's trace (default: the newest file;\n"
    "                                      .trace in the prompt prints the prompt's own)\n"
    "\n"
    "CONNECT is a connect string (\"Provider=SQLite;Data Source=app.db\", \"DSN=sales;UID=me\")\n"
    "or a file path, which opens that file with the embedded SQLite engine.\n"
    "CSV files have a header line; an empty unquoted field is NULL, \"\" is the empty text.\n"
    "Rows print as an aligned table (NULL shown as NULL), or with --csv / --json.\n"
    "The registry file is $KORVO_REGISTRY, else /etc/korvo/registry.reg.\n"
    "Exit status: 0 success, 1 failure, 2 import with rejected lines.";

}  // namespace

bool ParseCommandLine(int argc, char** argv, CommandLine& line, int& exitStatus) {
  CLI::App app{kDescription, "korvo"};
  app.set_version_flag("--version", "korvo 0.1.0");
  app.require_subcommand(0, 1);

  bool csv = false, json = false;
  auto* csv_flag = app.add_flag("--csv", csv, "print rows as CSV");
  app.add_flag("--json", json, "print rows as JSON")->excludes(csv_flag);
  app.add_option("CONNECT", line.connect, "connect string or SQLite file");
  app.add_option("SQL", line.sql, "statements to run (none: the prompt)");

  auto* import = app.add_subcommand("import", "insert the rows of a CSV file into a table");
  auto* export_command = app.add_subcommand("export", "write the rows of a table as CSV");
  for (CLI::App* sub : {import, export_command}) {
    sub->add_option("CONNECT", line.connect, "connect string or SQLite file")->required();
    sub->add_option("TABLE", line.table, "table name")->required();
    sub->add_option("FILE", line.file, "CSV file")->required();
  }
  auto* trace = app.add_subcommand("trace", "switch or show the SQL trace");
  trace->require_subcommand(1);
  auto* on = trace->add_subcommand("on", "write the trace directory into the registry file");
  on->add_option("DIR", line.directory, "directory of the trace files")->required();
  auto* off = trace->add_subcommand("off", "remove the trace directory from the registry file");
  off->add_option("DIR", line.directory, "ignored (accepted for symmetry with on)");
  auto* show = trace->add_subcommand("show", "print a process's trace file");
  show->add_option("PID", line.pid, "process id (default: the newest trace file)");

  try {
    app.parse(argc, argv);
  } catch (const CLI::ParseError& e) {
    exitStatus = app.exit(e);
    return false;
  }
  if (import->parsed()) line.command = ToolCommand::kImport;
  if (export_command->parsed()) line.command = ToolCommand::kExport;
  if (on->parsed()) line.command = ToolCommand::kTraceOn;
  if (off->parsed()) line.command = ToolCommand::kTraceOff;
  if (show->parsed()) line.command = ToolCommand::kTraceShow;
  if (line.command == ToolCommand::kRun && line.connect.empty()) {
    std::cerr << app.help();
    exitStatus = 2;
    return false;
  }
  line.format = csv ? OutputFormat::kCsv : json ? OutputFormat::kJson : OutputFormat::kTable;
  return true;
}

}  // namespace korvo::tool
