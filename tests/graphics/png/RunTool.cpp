#include "tests/graphics/png/RunTool.h"

#include <sys/wait.h>
#include <unistd.h>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>

namespace kelta::gfx::test {
namespace {

std::string Slurp(const std::filesystem::path& P) {
  std::ifstream F(P, std::ios::binary);
  std::ostringstream S;
  S << F.rdbuf();
  return S.str();
}

}  // namespace

std::string ShellQuote(const std::string& S) {
  std::string Out = "'";
  for (char C : S) Out += C == '\'' ? std::string("'\\''") : std::string(1, C);
  return Out + "'";
}

TToolRun RunTool(const std::string& Command) {
  static int Counter = 0;
  const auto Base = std::filesystem::temp_directory_path() /
                    ("kelta-tool-" + std::to_string(getpid()) + "-" + std::to_string(++Counter));
  const std::string OutFile = Base.string() + ".out", ErrFile = Base.string() + ".err";
  const int Status =
      std::system((Command + " >" + ShellQuote(OutFile) + " 2>" + ShellQuote(ErrFile)).c_str());
  TToolRun R;
  R.ExitCode = Status != -1 && WIFEXITED(Status) ? WEXITSTATUS(Status) : -1;
  R.Out = Slurp(OutFile);
  R.Err = Slurp(ErrFile);
  std::filesystem::remove(OutFile);
  std::filesystem::remove(ErrFile);
  return R;
}

}  // namespace kelta::gfx::test
