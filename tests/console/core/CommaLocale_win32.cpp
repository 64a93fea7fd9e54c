#include <clocale>
#include <cstring>
#include <string>

#include "tests/console/core/CommaLocale.h"

namespace kelta::test {

// Windows has the regional settings built in: no scratch folder needed.
bool SetCommaLocale(const std::string&) {
  const std::string previous = std::setlocale(LC_ALL, nullptr);
  for (const char* name : {"German_Germany.1252", "de-DE", "French_France.1252", "fr-FR"}) {
    if (std::setlocale(LC_ALL, name) && std::strcmp(std::localeconv()->decimal_point, ",") == 0) {
      return true;
    }
  }
  std::setlocale(LC_ALL, previous.c_str());
  return false;
}

}  // namespace kelta::test
