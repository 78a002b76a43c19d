// platform/terminal.cpp: the terminal behind the connect-string prompt.
#include <korvo/platform/terminal_internal.h>
#include <korvo/platform/thread_annotations.h>
#include <unistd.h>

#include <atomic>
#include <cstdio>
#include <iostream>

namespace korvo::platform {
namespace {

std::atomic<TerminalFunction> g_terminal{nullptr};
// Two prompts at once would interleave their questions and answers.
Mutex g_exchange_mutex;

TerminalAnswer AskRealTerminal(const std::string& question, std::string* line) {
  if (!::isatty(STDIN_FILENO)) return TerminalAnswer::kNoTerminal;
  std::fputs(question.c_str(), stderr);
  std::fflush(stderr);
  return std::getline(std::cin, *line) ? TerminalAnswer::kAnswered : TerminalAnswer::kEnded;
}

}  // namespace

TerminalAnswer AskTerminal(const std::string& question, std::string* line) {
  MutexLock lock(g_exchange_mutex);
  const TerminalFunction terminal = g_terminal.load(std::memory_order_acquire);
  return terminal != nullptr ? terminal(question, line) : AskRealTerminal(question, line);
}

void TEST_SetTerminal(TerminalFunction terminal) {
  g_terminal.store(terminal, std::memory_order_release);
}

}  // namespace korvo::platform
