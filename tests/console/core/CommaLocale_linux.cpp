#include <clocale>
#include <cstdlib>
#include <cstring>
#include <string>

#include "tests/console/core/CommaLocale.h"

namespace kelta::test {

namespace {

bool TrySet(const char* name) {
  return std::setlocale(LC_ALL, name) && std::strcmp(std::localeconv()->decimal_point, ",") == 0;
}

}  // namespace

// An installed comma locale, else one compiled into scratchDir when the locale sources are
// there.
bool SetCommaLocale(const std::string& scratchDir) {
  const std::string previous = std::setlocale(LC_ALL, nullptr);
  for (const char* name : {"de_DE.UTF-8", "de_DE.utf8", "fr_FR.UTF-8", "ru_RU.UTF-8"}) {
    if (TrySet(name)) return true;
  }
  const std::string command =
      "localedef -i de_DE -f UTF-8 " + scratchDir + "de_DE.UTF-8 >/dev/null 2>&1";
  if (std::system(command.c_str()) == 0) {
    setenv("LOCPATH", scratchDir.c_str(), 1);
    const bool found = TrySet("de_DE.UTF-8");
    unsetenv("LOCPATH");
    if (found) return true;
  }
  std::setlocale(LC_ALL, previous.c_str());
  return false;
}

}  // namespace kelta::test
