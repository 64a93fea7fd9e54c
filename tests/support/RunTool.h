#pragma once
// Runs a command-line program for tests: exit code, standard output and standard error.
// Safe on any thread.

#include <string>

namespace kelta::test {

struct ToolRun {
  int exitCode = -1;  // -1 when the program did not end by itself
  std::string out;
  std::string err;
};

// command goes to the shell as written; the caller quotes its arguments with ShellQuote.
ToolRun RunTool(const std::string& command);

std::string ShellQuote(const std::string& text);

}  // namespace kelta::test
