// tool/trace_command.h: `korvo trace on|off|show`: the registry value that
// switches the SQL trace, and a process's trace file.
#pragma once

#include <ostream>
#include <string>

namespace korvo::tool {

// The registry file the library reads: $KORVO_REGISTRY, else
// /etc/korvo/registry.reg.
std::string RegistryPath();

// `registry` (the file's text; empty for a new file) with the value
// "Dbms Korvo Trace" under HKEY_LOCAL_MACHINE\SOFTWARE\ZEP\ORB_P5 set to
// `directory`, or removed when `directory` is empty. Other keys and
// values are kept. Throws std::runtime_error for a UTF-16 file (this tool
// writes UTF-8 only).
std::string WithTraceValue(const std::string& registry, const std::string& directory);

// Writes the switch into the registry file (made with its directory when
// missing). Returns the exit status; messages go to `out` / `err`.
int TraceOn(const std::string& directory, std::ostream& out, std::ostream& err);
int TraceOff(std::ostream& out, std::ostream& err);

// Prints the trace file of process `pid` from the directory the registry
// names, one entry per line, under a line naming the process and file.
// `pid` 0: the most recently written file, announced as the newest (not
// the caller's own). Returns the exit status.
int ShowTrace(long pid, std::ostream& out, std::ostream& err);

}  // namespace korvo::tool
