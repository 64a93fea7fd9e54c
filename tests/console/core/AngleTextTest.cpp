#include "protocol/AngleText.h"

#include <gtest/gtest.h>

#include <clocale>
#include <cstdlib>
#include <cstring>
#include <optional>
#include <string>

#include "protocol/RxDecoder.h"
#include "tests/console/core/CommaLocale.h"
#include "tests/support/TempDir.h"

namespace kelta {
namespace {

TEST(AngleText, NumbersAndNotNumbers) {
  const struct {
    const char* text;
    std::optional<double> value;
  } cases[] = {
      {"12.3", 12.3},
      {"  12.3  ", 12.3},
      {"-45", -45.0},
      {"+1.5", 1.5},
      {"12.", 12.0},
      {".5", 0.5},
      {"-.5", -0.5},
      {"1e2", 100.0},
      {"1E-1", 0.1},
      {"359.9", 359.9},
      {"0000.25", 0.25},
      {"0", 0.0},
      {"-0.0", 0.0},
      {"-7200.5", -7200.5},
      // Not a number as a whole: no reading at all (never 0).
      {"12.3abc", std::nullopt},
      {"abc", std::nullopt},
      {"", std::nullopt},
      {" ", std::nullopt},
      {".", std::nullopt},
      {"-", std::nullopt},
      {"1e", std::nullopt},
      {"1e+", std::nullopt},
      {"12,3", std::nullopt},
      {"1 2", std::nullopt},
      {"--1", std::nullopt},
      {"+-1", std::nullopt},
      {"\t12", std::nullopt},
      {"0x10", std::nullopt},
      {"nan", std::nullopt},
      {"inf", std::nullopt},
      {"1e400", std::nullopt},
      {"1.2.3", std::nullopt},
      {"12.513.5", std::nullopt},
      {"48421.048441.0", std::nullopt},
  };
  for (const auto& c : cases) EXPECT_EQ(AngleFromText(c.text), c.value) << '"' << c.text << '"';
}

// The sensor always sends a decimal point; a user whose regional settings write "," must
// still see the reading, not 0.
TEST(AngleText, PointIsTheDecimalMarkUnderACommaLocale) {
  const std::string previous = std::setlocale(LC_ALL, nullptr);
  const test::TempDir scratch;
  if (!test::SetCommaLocale(scratch.Path()))
    GTEST_SKIP() << "no locale with a decimal comma available";
  const std::optional<double> point = AngleFromText("12.3");
  const std::optional<double> comma = AngleFromText("12,3");
  double decoded = 0;
  RxDecoder decoder;
  decoder.Feed(
      "\x02"
      "-271.5\x17XY$",
      RxSink{nullptr, [&](double v) { decoded = v; }});
  std::setlocale(LC_ALL, previous.c_str());
  EXPECT_EQ(point, 12.3);
  EXPECT_EQ(comma, std::nullopt);
  EXPECT_EQ(decoded, -271.5);
}

}  // namespace
}  // namespace kelta
