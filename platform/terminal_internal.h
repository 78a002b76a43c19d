// platform/terminal_internal.h: the terminal, for the one place the
// library asks a person something (the connection's connect-string
// prompt when the host set no prompt callback).
//
// A test replaces the terminal with a function of its own, so the prompt's
// question and its answers can be checked without a terminal. Not
// installed.
// Thread-safety: AskTerminal may be called from any thread (calls are
// serialised; the question and the answer are one exchange);
// TEST_SetTerminal must not race with AskTerminal.
#pragma once

#include <string>

namespace korvo::platform {

enum class TerminalAnswer {
  kAnswered,    // *line holds the line typed (without its newline)
  kNoTerminal,  // standard input is not a terminal: nothing was asked
  kEnded,       // the input ended before a line was typed
};

// Writes `question` to standard error and reads one line from standard
// input, when standard input is a terminal.
TerminalAnswer AskTerminal(const std::string& question, std::string* line);

// Tests: AskTerminal calls `terminal` instead (nullptr: the real one).
using TerminalFunction = TerminalAnswer (*)(const std::string& question, std::string* line);
void TEST_SetTerminal(TerminalFunction terminal);

}  // namespace korvo::platform
