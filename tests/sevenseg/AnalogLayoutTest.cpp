#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <string>

#include "sevenseg/AnalogLayout.h"

namespace kelta::sevenseg {
namespace {

// The console's readout: 113 x 36, five digits, one decimal, sign shown, margin 5,
// spacing 6. Cells of 12 x 26 at 5, 23, 41, 59, 77, 95; the mark at 91, 2 wide.
AnalogLayoutParams Readout(double value) {
  AnalogLayoutParams p;
  p.width = 113;
  p.height = 36;
  p.digitCount = 5;
  p.precision = 1;
  p.value = value;
  return p;
}

std::vector<CellDraw> Layout(const AnalogLayoutParams& p) {
  std::vector<CellDraw> out;
  LayoutAnalog(p, out);
  return out;
}

// Glyphs as characters, the mark written in place: "+   12.3".
std::string Glyphs(const std::vector<CellDraw>& cells) {
  std::string s;
  for (const CellDraw& c : cells) s += GlyphToChar(c.glyph);
  return s;
}

std::vector<Coord> Lefts(const std::vector<CellDraw>& cells) {
  std::vector<Coord> out;
  for (const CellDraw& c : cells) out.push_back(c.cell.x);
  return out;
}

TEST(ReadoutLayout, WorkedTable) {
  struct Case {
    double value;
    const char* glyphs;
  };
  const Case cases[] = {
      {0.0, "+   0.0"},    {12.3, "+  12.3"},   {-5.0, "-   5.0"},    {360.0, "+ 360.0"},
      {1234.5, "+1234.5"}, {12345.6, "+<<<<<"}, {-10000.0, "->>>>>"},
  };
  for (const Case& c : cases) {
    const auto cells = Layout(Readout(c.value));
    EXPECT_EQ(Glyphs(cells), c.glyphs) << c.value;
    const bool overflow = std::string(c.glyphs).find_first_of("<>") != std::string::npos;
    const std::vector<Coord> lefts = overflow ? std::vector<Coord>{5, 23, 41, 59, 77, 95}
                                              : std::vector<Coord>{5, 23, 41, 59, 77, 91, 95};
    EXPECT_EQ(Lefts(cells), lefts) << c.value;
    for (const CellDraw& cell : cells) {
      EXPECT_EQ(cell.cell.y, 5);
      EXPECT_EQ(cell.cell.h, 26);
      EXPECT_EQ(cell.cell.w, cell.glyph == sscPeriod ? 2 : 12) << c.value;
    }
  }
}

TEST(ReadoutLayout, EdgeValues) {
  struct Case {
    double value;
    const char* glyphs;
  };
  const Case cases[] = {
      {-0.0, "+   0.0"},
      {-0.04, "-   0.0"},
      {-0.05, "-   0.1"},
      {0.25, "+   0.3"},
      {9999.95, "+<<<<<"},
      {9999.94, "+9999.9"},
      {-9999.95, "->>>>>"},
      {1e15, "+<<<<<"},
      {-std::numeric_limits<double>::infinity(), "->>>>>"},
      {std::nan(""), "->>>>>"},
  };
  for (const Case& c : cases) EXPECT_EQ(Glyphs(Layout(Readout(c.value))), c.glyphs) << c.value;
}

TEST(ReadoutLayout, PrecisionZeroHasNoMark) {
  AnalogLayoutParams p = Readout(12345.0);
  p.precision = 0;
  EXPECT_EQ(Glyphs(Layout(p)), "+12345");
  p.value = 123456.0;
  EXPECT_EQ(Glyphs(Layout(p)), "+<<<<<");
  p.value = 7.4;
  EXPECT_EQ(Glyphs(Layout(p)), "+    7");
}

TEST(ReadoutLayout, PrecisionAtLeastDigitCountAlwaysOverflows) {
  for (int precision : {5, 6, 13}) {
    AnalogLayoutParams p = Readout(0.0);
    p.precision = precision;
    EXPECT_EQ(Glyphs(Layout(p)), "+<<<<<") << precision;
  }
  AnalogLayoutParams p = Readout(0.0);
  p.precision = 4;  // "0.0000" is six characters: fits
  EXPECT_EQ(Glyphs(Layout(p)), "+0.0000");
}

TEST(ReadoutLayout, LeadingStyles) {
  AnalogLayoutParams p = Readout(12.3);
  p.leadingStyle = ilsZeros;
  EXPECT_EQ(Glyphs(Layout(p)), "+0012.3");
  p.leadingStyle = ilsNone;
  const auto cells = Layout(p);
  EXPECT_EQ(Glyphs(cells), "+12.3");
  // Digits right after the sign; the mark before the cell that follows "2"; two cells left empty.
  EXPECT_EQ(Lefts(cells), (std::vector<Coord>{5, 23, 41, 55, 59}));
}

TEST(ReadoutLayout, WithoutSignTheRowIsRecentred) {
  AnalogLayoutParams p = Readout(-12.3);
  p.showSign = false;
  const auto cells = Layout(p);
  EXPECT_EQ(Glyphs(cells), "  12.3");
  // n = 5: cw = (113 - 10 - 24) / 5 = 15, first left = (113 - 5 * 21 + 6) / 2 = 7.
  EXPECT_EQ(Lefts(cells), (std::vector<Coord>{7, 28, 49, 70, 87, 91}));
  EXPECT_EQ(cells[0].cell.w, 15);
  EXPECT_EQ(cells[4].cell.w, 3);  // the mark: 15 div 5, at 91 - Round(1.5 + 3.0) = 91 - 4
}

TEST(ReadoutLayout, CommaSeparatorDrawsTheCommaGlyph) {
  AnalogLayoutParams p = Readout(12.3);
  p.decimalSeparator = ',';
  EXPECT_EQ(Glyphs(Layout(p)), "+  12,3");
}

TEST(ReadoutLayout, HugeNegativeValuesFillWideRows) {
  AnalogLayoutParams p = Readout(-1e20);
  p.digitCount = 32;
  p.precision = 0;
  p.width = 2000;
  EXPECT_EQ(Glyphs(Layout(p)), "-           100000000000000000000");
}

TEST(ReadoutLayout, UnboundedInputsStayBounded) {
  AnalogLayoutParams p = Readout(1.0);
  p.digitCount = 1 << 30;
  p.precision = 1 << 30;
  p.digitSpacing = 0x7FFFFFFF;
  p.segmentMargin = 0x7FFFFFFF;
  const auto cells = Layout(p);
  // 32 digits, 13 decimals: sign, 19 integer cells, mark, 13 fraction cells.
  EXPECT_EQ(cells.size(), 34u);
  p.digitCount = -4;
  EXPECT_EQ(Layout(p).size(), 2u);
}

TEST(ReadoutLayout, NaturalSizes) {
  const Size64 def = AnalogNaturalSize(10, 18, 4, true, 6, 5);
  EXPECT_EQ(def.w, 84);
  EXPECT_EQ(def.h, 28);
  const Size64 five = AnalogNaturalSize(10, 18, 5, true, 6, 5);
  EXPECT_EQ(five.w, 100);
  EXPECT_EQ(five.h, 28);
  EXPECT_EQ(AnalogNaturalSize(10, 18, 5, false, 6, 5).w, 84);
}

}  // namespace
}  // namespace kelta::sevenseg
