// Aliased polygons: every pixel of tiny shapes, written as pictures ('#' painted, '.' not), so
// the fill rule, the outline through the vertices and the clipping show at a glance.
#include "graphics/core/Polygon.h"

#include <gtest/gtest.h>

#include <limits>
#include <string>
#include <vector>

namespace kelta::gfx {
namespace {

constexpr TColor32 kInk = 0xFF00FF00u;
constexpr TColor32 kPaper = 0xFF000000u;

std::string Picture(const TBitmap32& B) {
  std::string s;
  for (int y = 0; y < B.Height(); ++y) {
    for (int x = 0; x < B.Width(); ++x) s += B.Pixel(x, y) == kInk ? '#' : '.';
    s += '\n';
  }
  return s;
}

std::string Draw(int W, int H, std::vector<TPoint> Points, bool Outline = true) {
  TBitmap32 b(W, H);
  b.Fill(kPaper);
  if (Outline)
    PolygonOutlined(b, Points, kInk);
  else
    FillPolygonInterior(b, Points, kInk);
  return Picture(b);
}

TEST(Polygon, RectangleOutlineReachesTheRightAndBottomVertices) {
  EXPECT_EQ(Draw(6, 5, {{1, 1}, {4, 1}, {4, 3}, {1, 3}}, false),
            "......\n"
            ".###..\n"
            ".###..\n"
            "......\n"
            "......\n")
      << "the interior: centres inside";
  EXPECT_EQ(Draw(6, 5, {{1, 1}, {4, 1}, {4, 3}, {1, 3}}),
            "......\n"
            ".####.\n"
            ".####.\n"
            ".####.\n"
            "......\n");
}

// Centres on a 45-degree edge: outside on the left edges, inside on the right ones; the outline
// then covers the pixels the edges pass through, so the shape is symmetric.
TEST(Polygon, CentresOnSlantedEdgesAndTheOutline) {
  const std::vector<TPoint> hexagon{{2, 3}, {5, 0}, {8, 0}, {11, 3}, {8, 6}, {5, 6}};
  EXPECT_EQ(Draw(13, 7, hexagon, false),
            ".....####....\n"
            "....######...\n"
            "...########..\n"
            "...########..\n"
            "....######...\n"
            ".....####....\n"
            ".............\n");
  EXPECT_EQ(Draw(13, 7, hexagon),
            ".....####....\n"
            "....######...\n"
            "...########..\n"
            "..##########.\n"
            "...########..\n"
            "....######...\n"
            ".....####....\n");
}

// One pixel per step of the major axis. A descending line is taken in the middle of each column
// (y = 3/8 (x + 1/2) rounded down), a rising one at the column's left edge; steep lines alike
// by rows. Both ends are painted.
TEST(Polygon, ShallowAndSteepLinesOnePixelPerStepBothEndsIncluded) {
  TBitmap32 b(9, 5);
  auto line = [&](TPoint A, TPoint B) {
    b.Fill(kPaper);
    DrawLineInclusive(b, A, B, kInk);
    return Picture(b);
  };
  const std::string descending =
      "###......\n"
      "...##....\n"
      ".....###.\n"
      "........#\n"
      ".........\n";
  EXPECT_EQ(line({0, 0}, {8, 3}), descending);
  EXPECT_EQ(line({8, 3}, {0, 0}), descending) << "the same pixels either way";
  EXPECT_EQ(line({0, 3}, {8, 0}),
            "......###\n"
            "...###...\n"
            ".##......\n"
            "#........\n"
            ".........\n");
  EXPECT_EQ(line({1, 0}, {3, 4}),  // x = 1 + (y + 1/2) / 2 rounded down
            ".#.......\n"
            ".#.......\n"
            "..#......\n"
            "..#......\n"
            "...#.....\n");
  EXPECT_EQ(line({3, 0}, {1, 4}),  // x = 3 - y / 2 rounded down
            "...#.....\n"
            "..#......\n"
            "..#......\n"
            ".#.......\n"
            ".#.......\n");
}

TEST(Polygon, DegenerateShapesPaintTheirOutline) {
  EXPECT_EQ(Draw(4, 3, {{1, 1}, {1, 1}, {1, 1}}), "....\n.#..\n....\n");
  EXPECT_EQ(Draw(4, 3, {{0, 2}, {3, 2}}), "....\n....\n####\n");
  EXPECT_EQ(Draw(4, 3, {}), "....\n....\n....\n");
}

// Nothing outside the clip rectangle or the bitmap, also for shapes far outside or with the
// largest coordinates (the arithmetic is 64-bit).
TEST(Polygon, KeepsToTheClipRectangle) {
  TBitmap32 b(8, 6);
  b.Fill(kPaper);
  b.SetClipRect({2, 1, 6, 5});
  PolygonOutlined(b, std::vector<TPoint>{{-100, -100}, {100, -100}, {100, 100}, {-100, 100}}, kInk);
  EXPECT_EQ(Picture(b),
            "........\n"
            "..####..\n"
            "..####..\n"
            "..####..\n"
            "..####..\n"
            "........\n");
  b.Fill(kPaper);
  b.SetClipRect(b.BoundsRect());
  constexpr int kMax = std::numeric_limits<int>::max(), kMin = std::numeric_limits<int>::min();
  PolygonOutlined(b, std::vector<TPoint>{{kMin, kMin}, {kMax, kMin}, {kMax, kMax}, {kMin, kMax}},
                  kInk);
  EXPECT_EQ(Picture(b),
            "########\n########\n########\n"
            "########\n########\n########\n");
  b.Fill(kPaper);
  PolygonOutlined(b, std::vector<TPoint>{{20, 20}, {30, 20}, {25, 30}}, kInk);
  EXPECT_EQ(Picture(b).find('#'), std::string::npos);
}

}  // namespace
}  // namespace kelta::gfx
