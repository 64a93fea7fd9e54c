#include <gtest/gtest.h>

#include <map>

#include "sevenseg/GlyphPaint.h"
#include "sevenseg/RecordingCanvas.h"
#include "sevenseg/SevenSegmentColors.h"
#include "sevenseg/SevenSegmentGeometry.h"
#include "sevenseg/SevenSegmentGlyphs.h"
#include "tests/sevenseg/WorkedCell.h"

namespace kelta::sevenseg {
namespace {

using test::Poly;

TEST(Glyphs, CharacterMappingCoversEveryByte) {
  const std::map<char, TSevenSegmentCharacter> mapped = {
      {'0', ssc0},     {'1', ssc1},    {'2', ssc2},       {'3', ssc3},         {'4', ssc4},
      {'5', ssc5},     {'6', ssc6},    {'7', ssc7},       {'8', ssc8},         {'9', ssc9},
      {'A', sscA},     {'a', sscA},    {'B', sscB},       {'b', sscB},         {'C', sscC},
      {'c', sscC},     {'D', sscD},    {'d', sscD},       {'E', sscE},         {'e', sscE},
      {'F', sscF},     {'f', sscF},    {'.', sscPeriod},  {':', sscColon},     {'+', sscPlus},
      {'-', sscMinus}, {'_', sscLine}, {'<', sscUpArrow}, {'>', sscDownArrow}, {';', sscSemiColon},
      {',', sscComma},
  };
  for (int i = 0; i < 256; ++i) {
    const char c = static_cast<char>(i);
    const auto it = mapped.find(c);
    EXPECT_EQ(CharToGlyph(c), it == mapped.end() ? sscBlank : it->second) << "byte " << i;
  }
}

TEST(Glyphs, GlyphToCharIsTheInverseWithLowerCaseHex) {
  const char expected[kGlyphCount + 1] = "0123456789abcdef.:+- _<>;,";
  for (int g = 0; g < kGlyphCount; ++g) {
    const auto glyph = static_cast<TSevenSegmentCharacter>(g);
    EXPECT_EQ(GlyphToChar(glyph), expected[g]) << g;
    EXPECT_EQ(CharToGlyph(GlyphToChar(glyph)), glyph) << g;
  }
}

TEST(Glyphs, SegmentMasks) {
  const std::uint8_t masks[] = {0x3F, 0x06, 0x5B, 0x4F, 0x66, 0x6D, 0x7D, 0x07,
                                0x7F, 0x67, 0x77, 0x7C, 0x39, 0x5E, 0x79, 0x71};
  for (int g = ssc0; g <= sscF; ++g)
    EXPECT_EQ(SegmentMask(static_cast<TSevenSegmentCharacter>(g)), masks[g]) << g;
  EXPECT_EQ(SegmentMask(sscBlank), 0);
  EXPECT_TRUE(IsSegmentGlyph(sscBlank));
  for (auto g : {sscPeriod, sscColon, sscPlus, sscMinus, sscLine, sscUpArrow, sscDownArrow,
                 sscSemiColon, sscComma}) {
    EXPECT_FALSE(IsSegmentGlyph(g)) << int(g);
  }
}

TEST(Glyphs, NaturalSizes) {
  EXPECT_EQ(NaturalGlyphWidth(ssc8, 2, 2), 24);
  EXPECT_EQ(NaturalGlyphHeight(2, 2), 40);
  for (auto g : {sscPeriod, sscColon, sscSemiColon, sscComma})
    EXPECT_EQ(NaturalGlyphWidth(g, 2, 2), 8) << int(g);
  EXPECT_EQ(NaturalGlyphWidth(sscMinus, 2, 2), 24);
  EXPECT_EQ(NaturalGlyphWidth(ssc0, 0, 1), 10);
  EXPECT_EQ(NaturalGlyphHeight(0, 1), 18);
  // Unbounded half-stroke of the standalone character must not overflow.
  EXPECT_EQ(NaturalGlyphWidth(ssc0, 0x7FFFFFFF, 0x7FFFFFFF), 12LL * 0x7FFFFFFF);
}

TEST(Rounding, HalfToEven) {
  const std::pair<double, Coord> cases[] = {{0.5, 0},    {1.5, 2},    {2.5, 2},   {5.5, 6},
                                            {6.5, 6},    {-0.5, 0},   {-1.5, -2}, {-2.5, -2},
                                            {2.4999, 2}, {2.5001, 3}, {-2.6, -3}, {4.2, 4}};
  for (auto [v, r] : cases) EXPECT_EQ(RoundHalfEven(v), r) << v;
}

TEST(Colors, OffAndOnRules) {
  EXPECT_EQ(DerivedOffColor(0xFFFFFF) & 0xFFFFFF, 0x555555u);
  EXPECT_EQ(DerivedOffColor(0x0000FF) & 0xFFFFFF, 0x000055u);
  EXPECT_EQ(DerivedOffColor(clLime), 0x02005500u);
  EXPECT_EQ(DerivedOffColor(0x00FEFDFC), 0x02545454u);  // 0xFC / 3 = 0x54 with truncation
  EXPECT_EQ(OffColor(clLime, 0x123456, false), 0x123456u);
  EXPECT_EQ(OnColor(clLime, 0x123456, false), 0x0200FF00u);
  EXPECT_EQ(OnColor(clLime, 0x123456, true), 0x123456u);
  EXPECT_EQ(OnColor(0xFF000000u, 0, false), 0x01000000u);  // wraps, no overflow
}

struct Painted {
  std::vector<Poly> polys;
  std::vector<TColor> colors;
};

Painted Paint(const GlyphStyle& style, const Rect& cell, TSevenSegmentCharacter g) {
  RecordingCanvas canvas;
  PaintGlyph(canvas, style, cell, g);
  Painted out;
  for (const RecordedOp& op : canvas.Ops()) {
    EXPECT_EQ(op.kind, RecordedOp::kPolygon);
    out.polys.push_back(op.points);
    out.colors.push_back(op.color);
  }
  return out;
}

GlyphStyle WorkedStyle() {
  GlyphStyle s;
  s.segmentMargin = 0;
  s.segmentSeperation = 1;
  s.segmentSize = 1;
  s.segmentColor = clLime;
  s.showOffSegments = false;
  return s;
}

constexpr Rect kCell{0, 0, 12, 26};
constexpr TColor kOn = 0x0200FF00;
constexpr TColor kOff = 0x02005500;

TEST(WorkedCell, SegmentsVertexForVertex) {
  const Painted p = Paint(WorkedStyle(), kCell, ssc8);
  EXPECT_EQ(p.polys, test::kWorkedSegments);
  EXPECT_EQ(p.colors, std::vector<TColor>(7, kOn));
}

TEST(WorkedCell, ShapesVertexForVertex) {
  struct Case {
    TSevenSegmentCharacter glyph;
    Rect cell;
    std::vector<Poly> expected;
  };
  const Case cases[] = {
      {sscPlus, kCell, test::kWorkedPlus},
      {sscMinus, kCell, {test::kWorkedMinus}},
      {sscUpArrow, kCell, {test::kWorkedUpArrow}},
      {sscDownArrow, kCell, {test::kWorkedDownArrow}},
      {sscPeriod, {0, 0, 2, 26}, {test::kWorkedPeriod}},
      // Colon grid rows k(5), k(7), k(11), k(13), k(16) of 26 are 7, 10, 16, 19, 23.
      {sscColon, kCell, {{{5, 7}, {7, 7}, {7, 10}, {5, 10}}, {{5, 16}, {7, 16}, {7, 19}, {5, 19}}}},
      {sscSemiColon,
       kCell,
       {{{5, 7}, {7, 7}, {7, 10}, {5, 10}},
        {{5, 16}, {7, 16}, {7, 19}, {5, 19}},
        {{6, 19}, {7, 19}, {7, 23}, {6, 23}}}},
      {sscComma,
       kCell,
       {{{5, 16}, {7, 16}, {7, 19}, {5, 19}}, {{6, 19}, {7, 19}, {7, 23}, {6, 23}}}},
      {sscLine, kCell, {{{0, 12}, {11, 12}, {11, 12}, {0, 12}}}},
  };
  for (const Case& c : cases) {
    const Painted p = Paint(WorkedStyle(), c.cell, c.glyph);
    EXPECT_EQ(p.polys, c.expected) << "glyph " << int(c.glyph);
    EXPECT_EQ(p.colors, std::vector<TColor>(c.expected.size(), kOn)) << "glyph " << int(c.glyph);
  }
}

TEST(WorkedCell, CellOriginOffsetsEveryVertex) {
  const Painted p = Paint(WorkedStyle(), {95, 5, 12, 26}, ssc8);
  for (std::size_t i = 0; i < p.polys.size(); ++i)
    EXPECT_EQ(p.polys[i], test::Offset(test::kWorkedSegments[i], 95, 5));
}

TEST(Arrows, ApexClampedToMarginInFlatCells) {
  GlyphStyle s = WorkedStyle();
  s.segmentMargin = 1;
  // W 20, H 10: h = 8, a = 9, b = 5; b - h <= M so the apex sits on the margin row.
  EXPECT_EQ(Paint(s, {0, 0, 20, 10}, sscUpArrow).polys,
            (std::vector<Poly>{{{17, 5}, {1, 5}, {9, 1}}}));
  EXPECT_EQ(Paint(s, {0, 0, 20, 10}, sscDownArrow).polys,
            (std::vector<Poly>{{{17, 5}, {1, 5}, {9, 8}}}));
}

TEST(PaintRules, OffSegmentsAndSplitSign) {
  GlyphStyle s = WorkedStyle();
  EXPECT_TRUE(Paint(s, kCell, sscBlank).polys.empty());
  s.showOffSegments = true;
  Painted blank = Paint(s, kCell, sscBlank);
  EXPECT_EQ(blank.polys, test::kWorkedSegments);
  EXPECT_EQ(blank.colors, std::vector<TColor>(7, kOff));

  Painted one = Paint(s, kCell, ssc1);  // B and C lit, in A..G order
  EXPECT_EQ(one.colors, (std::vector<TColor>{kOff, kOn, kOn, kOff, kOff, kOff, kOff}));

  Painted plus = Paint(s, kCell, sscPlus);
  EXPECT_EQ(plus.polys,
            (std::vector<Poly>{test::kWorkedPlus[0], test::kWorkedPlus[1], test::kWorkedMinus}));
  EXPECT_EQ(plus.colors, (std::vector<TColor>{kOn, kOn, kOff}));
  Painted minus = Paint(s, kCell, sscMinus);
  EXPECT_EQ(minus.polys,
            (std::vector<Poly>{test::kWorkedMinus, test::kWorkedPlus[0], test::kWorkedPlus[1]}));
  EXPECT_EQ(minus.colors, (std::vector<TColor>{kOn, kOff, kOff}));
  // Shapes other than the sign have no off part.
  EXPECT_EQ(Paint(s, kCell, sscUpArrow).polys.size(), 1u);

  s.showOffSegments = false;
  EXPECT_EQ(Paint(s, kCell, sscMinus).polys, std::vector<Poly>{test::kWorkedMinus});
}

TEST(PaintRules, PowerOffPaintsLitPartsInOffColour) {
  GlyphStyle s = WorkedStyle();
  s.powerOff = true;
  Painted seven = Paint(s, kCell, ssc7);
  EXPECT_EQ(seven.polys, (std::vector<Poly>{test::kWorkedSegments[0], test::kWorkedSegments[1],
                                            test::kWorkedSegments[2]}));
  EXPECT_EQ(seven.colors, std::vector<TColor>(3, kOff));
  s.autoSegmentOffColor = false;
  s.segmentOffColor = 0x404040;
  EXPECT_EQ(Paint(s, kCell, sscPeriod).colors, std::vector<TColor>{0x404040});
}

TEST(PaintRules, SegmentBitsOverrideEvenShapeGlyphs) {
  GlyphStyle s = WorkedStyle();
  s.useSegmentBits = true;
  s.segmentBits = kSegA | kSegG | 0x80;  // bit 7 ignored
  for (auto g : {sscPeriod, ssc8, sscPlus}) {
    EXPECT_EQ(Paint(s, kCell, g).polys,
              (std::vector<Poly>{test::kWorkedSegments[0], test::kWorkedSegments[6]}))
        << int(g);
  }
}

TEST(PaintRules, HugeSettingsDoNotOverflow) {
  GlyphStyle s = WorkedStyle();
  s.segmentMargin = 0x7FFFFFFF;
  s.segmentSeperation = 0x7FFFFFFF;
  s.segmentSize = 0x7FFFFFFF;
  s.showOffSegments = true;
  for (int g = 0; g < kGlyphCount; ++g) Paint(s, kCell, static_cast<TSevenSegmentCharacter>(g));
  const Painted p = Paint(s, kCell, ssc8);
  EXPECT_EQ(p.polys[0][0], (Point{0xFFFFFFFELL, 0x7FFFFFFFLL}));
}

}  // namespace
}  // namespace kelta::sevenseg
