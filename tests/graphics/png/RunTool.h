// Runs a command-line tool for tests: exit code, standard output and standard error.
#pragma once

#include <string>

namespace kelta::gfx::test {

struct TToolRun {
  int ExitCode = -1;
  std::string Out;
  std::string Err;
};

// Command is given to the shell as written; the caller quotes its arguments.
TToolRun RunTool(const std::string& Command);

std::string ShellQuote(const std::string& S);

}  // namespace kelta::gfx::test
