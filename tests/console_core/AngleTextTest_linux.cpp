#include <gtest/gtest.h>

#include <clocale>
#include <cstdlib>
#include <cstring>
#include <string>

#include "console/core/AngleText.h"
#include "console/core/RxDecoder.h"
#include "tests/support/TempDir.h"

namespace kelta {
namespace {

using test::TempDir;

bool SetCommaLocale(const char* name) {
  return std::setlocale(LC_ALL, name) && std::strcmp(std::localeconv()->decimal_point, ",") == 0;
}

// The sensor always sends a decimal point; a user whose locale writes "," must still see
// the reading, not 0. Uses an installed comma locale, else compiles one when the locale
// sources are there.
TEST(AngleText, PointIsTheDecimalMarkUnderACommaLocale) {
  const std::string previous = std::setlocale(LC_ALL, nullptr);
  TempDir compiled;
  bool found = false;
  for (const char* name : {"de_DE.UTF-8", "de_DE.utf8", "fr_FR.UTF-8", "ru_RU.UTF-8"})
    if ((found = SetCommaLocale(name))) break;
  if (!found) {
    const std::string command =
        "localedef -i de_DE -f UTF-8 " + compiled.Path() + "de_DE.UTF-8 >/dev/null 2>&1";
    if (std::system(command.c_str()) == 0) {
      setenv("LOCPATH", compiled.Path().c_str(), 1);
      found = SetCommaLocale("de_DE.UTF-8");
      unsetenv("LOCPATH");
    }
  }
  if (!found) {
    std::setlocale(LC_ALL, previous.c_str());
    GTEST_SKIP() << "no locale with a decimal comma available";
  }
  const double point = AngleFromText("12.3");
  const double comma = AngleFromText("12,3");
  double decoded = 0;
  RxDecoder decoder;
  decoder.Feed(
      "\x02"
      "-271.5\x17XY$",
      RxSink{nullptr, [&](double v) { decoded = v; }});
  std::setlocale(LC_ALL, previous.c_str());
  EXPECT_EQ(point, 12.3);
  EXPECT_EQ(comma, 0.0);
  EXPECT_EQ(decoded, -271.5);
}

}  // namespace
}  // namespace kelta
