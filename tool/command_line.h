// tool/command_line.h: what the command line asks for, parsed with CLI11.
#pragma once

#include <string>
#include <vector>

#include "output_format.h"

namespace korvo::tool {

enum class ToolCommand { kRun, kImport, kExport, kTraceOn, kTraceOff, kTraceShow };

struct CommandLine {
  ToolCommand command = ToolCommand::kRun;
  std::string connect;           // CONNECT
  std::vector<std::string> sql;  // statements (kRun); none: the prompt
  std::string table;             // kImport, kExport
  std::string file;              // kImport, kExport: the CSV file
  std::string directory;         // kTraceOn
  long pid = 0;                  // kTraceShow; 0: the newest trace
  OutputFormat format = OutputFormat::kTable;
};

// Parses argv. On --help, --version or a usage error, prints what CLI11
// prints and returns false with `exitStatus` set.
bool ParseCommandLine(int argc, char** argv, CommandLine& line, int& exitStatus);

}  // namespace korvo::tool
