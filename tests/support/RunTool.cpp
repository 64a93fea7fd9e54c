#include "tests/support/RunTool.h"

#include <sys/wait.h>

#include <cstdlib>

#include "tests/support/Files.h"
#include "tests/support/TempDir.h"

namespace kelta::test {

std::string ShellQuote(const std::string& text) {
  std::string quoted = "'";
  for (const char c : text) quoted += c == '\'' ? std::string("'\\''") : std::string(1, c);
  return quoted + "'";
}

ToolRun RunTool(const std::string& command) {
  const TempDir dir;
  const std::string outFile = dir.File("out"), errFile = dir.File("err");
  const int status =
      std::system((command + " >" + ShellQuote(outFile) + " 2>" + ShellQuote(errFile)).c_str());
  ToolRun run;
  run.exitCode = status != -1 && WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  run.out = ReadFile(outFile);
  run.err = ReadFile(errFile);
  return run;
}

}  // namespace kelta::test
