#include <gtest/gtest.h>

#include <clocale>
#include <cstring>
#include <string>

#include "console/core/AngleText.h"
#include "console/core/RxDecoder.h"

namespace kelta {
namespace {

// The sensor always sends a decimal point; a user whose regional settings write "," must
// still see the reading, not 0.
TEST(AngleText, PointIsTheDecimalMarkUnderACommaLocale) {
  const std::string previous = std::setlocale(LC_ALL, nullptr);
  bool found = false;
  for (const char* name : {"German_Germany.1252", "de-DE", "French_France.1252", "fr-FR"}) {
    found = std::setlocale(LC_ALL, name) && std::strcmp(std::localeconv()->decimal_point, ",") == 0;
    if (found) break;
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
