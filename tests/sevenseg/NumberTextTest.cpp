#include <gtest/gtest.h>

#include <cmath>
#include <limits>

#include "sevenseg/NumberText.h"

namespace kelta::sevenseg {
namespace {

TEST(FormatMagnitude, RoundsTheDecimalExpansionHalfAwayFromZero) {
  struct Case {
    double value;
    int precision;
    const char* text;
  };
  const Case cases[] = {
      {0.0, 1, "0.0"},
      {-0.0, 1, "0.0"},
      {12.3, 1, "12.3"},
      {-5.0, 1, "5.0"},
      {360.0, 1, "360.0"},
      {12345.6, 1, "12345.6"},
      {0.25, 1, "0.3"},  // exact binary half: away from zero, not to even
      {0.35, 1, "0.3"},  // 0.349999999999999978 on 18 digits: below the half
      {9999.95, 1, "10000.0"},
      {9999.94, 1, "9999.9"},
      {0.05, 1, "0.1"},
      {0.04, 1, "0.0"},
      {-0.04, 1, "0.0"},
      {0.004, 1, "0.0"},
      {2.5, 0, "3"},
      {0.5, 0, "1"},
      {0.49, 0, "0"},
      {12345.0, 0, "12345"},
      {999.999, 2, "1000.00"},
      {1.005, 2, "1.00"},  // 1.00499999999999989...: below the half on 18 digits
      {0.1, 13, "0.1000000000000"},
      {1e-20, 13, "0.0000000000000"},
      {1e15, 1, "1000000000000000.0"},
      {123456789.123456789, 4, "123456789.1235"},
      {1e20, 0, "100000000000000000000"},
      {-1.2345678901234567e25, 0, "12345678901234566100000000"},
      {std::numeric_limits<double>::denorm_min(), 2, "0.00"},
  };
  for (const Case& c : cases)
    EXPECT_EQ(FormatMagnitude(c.value, c.precision, '.'), c.text)
        << c.value << " / " << c.precision;
}

TEST(FormatMagnitude, SeparatorAndOddInputs) {
  EXPECT_EQ(FormatMagnitude(12.3, 1, ','), "12,3");
  EXPECT_EQ(FormatMagnitude(12.3, 0, ','), "12");
  EXPECT_EQ(FormatMagnitude(7.0, -3, '.'), "7");
  EXPECT_EQ(FormatMagnitude(std::numeric_limits<double>::infinity(), 1, '.'), "INF");
  EXPECT_EQ(FormatMagnitude(-std::numeric_limits<double>::infinity(), 1, '.'), "INF");
  EXPECT_EQ(FormatMagnitude(std::nan(""), 1, '.'), "NAN");
  EXPECT_EQ(FormatMagnitude(-std::numeric_limits<double>::max(), 0, '.').size(), 309u);
}

// Every value with one decimal that the sensor can report must come back as written.
TEST(FormatMagnitude, EveryTenthUpToTheFullRangeRoundTrips) {
  for (int tenths = 0; tenths <= 200000; ++tenths) {
    const double v = tenths / 10.0;
    const std::string expected = std::to_string(tenths / 10) + "." + std::to_string(tenths % 10);
    ASSERT_EQ(FormatMagnitude(v, 1, '.'), expected) << tenths;
    ASSERT_EQ(FormatMagnitude(-v, 1, '.'), expected) << tenths;
  }
}

TEST(SplitNumberText, PointFirstThenComma) {
  struct Case {
    const char* text;
    const char* integer;
    const char* fraction;
    const char* separator;
  };
  const Case cases[] = {
      {"12.3", "12", "3", "."},   {"12,3", "12", "3", ","}, {"1,2.3", "1,2", "3", "."},
      {"1.2,3", "1", "2,3", "."}, {"123", "123", "", ""},   {"", "", "", ""},
      {".5", "", "5", "."},       {"7.", "7", "", "."},
  };
  for (const Case& c : cases) {
    const NumberParts p = SplitNumberText(c.text);
    EXPECT_EQ(p.integer, c.integer) << c.text;
    EXPECT_EQ(p.fraction, c.fraction) << c.text;
    EXPECT_EQ(p.separator, c.separator) << c.text;
  }
}

}  // namespace
}  // namespace kelta::sevenseg
