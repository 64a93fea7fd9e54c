// The bitmap canvas draws the pixels the Qt canvas draws: every glyph in cells of many sizes,
// with and without the unlit segments, segment sizes and separations, colours, bevels and
// clipped fills, painted both ways and compared pixel by pixel.
#include "graphics/dial/BitmapCanvas.h"
#include "sevenseg/GlyphPaint.h"
#include "sevenseg/qt/QtCanvas.h"

#include "tests/support/QtTestApp.h"

#include <QImage>
#include <QPainter>

#include <gtest/gtest.h>

#include <functional>
#include <string>

namespace kelta::sevenseg {
namespace {

constexpr int kW = 40, kH = 60;
constexpr TColor kPaper = 0x123456;

struct TDifference {
  int Pixels = 0;
  std::string First;  // where the first one is, and both colours
};

// Paints through Qt and through the bitmap canvas on a frame of kPaper and compares.
TDifference Compare(const std::function<void(Canvas&)>& Paint, gfx::TRect Area) {
  QImage q(kW, kH, QImage::Format_RGB32);
  q.fill(ToQColor(kPaper));
  {
    QPainter painter(&q);
    painter.setClipRect(Area.Left, Area.Top, Area.Width(), Area.Height());
    painter.translate(Area.Left, Area.Top);
    QtCanvas canvas(painter);
    Paint(canvas);
  }
  gfx::TBitmap32 b(kW, kH);
  b.Fill(ToColor32(kPaper));
  {
    BitmapCanvas canvas(b, Area);
    Paint(canvas);
  }
  EXPECT_EQ(b.ClipRect(), b.BoundsRect()) << "clip restored";
  TDifference d;
  for (int y = 0; y < kH; ++y)
    for (int x = 0; x < kW; ++x)
      if (b.Pixel(x, y) != q.pixel(x, y) && d.Pixels++ == 0)
        d.First = std::to_string(x) + "," + std::to_string(y) + ": " +
                  std::to_string(b.Pixel(x, y)) + " drawn, Qt " + std::to_string(q.pixel(x, y));
  return d;
}

std::string FirstDifference(const std::function<void(Canvas&)>& Paint,
                            gfx::TRect Area = {0, 0, kW, kH}) {
  return Compare(Paint, Area).First;  // "" when no pixel differs
}

// Every glyph but the arrows exactly, in every cell. The arrows' slanted edges are not at 45
// degrees: where one passes exactly through a pixel's centre, Qt's outline depends on the edge
// drawn before it, so a squat cell may differ in a pixel there. In upright cells (the
// readout's is 12 x 26) they are exact too.
TEST(BitmapCanvas, EveryGlyphAsQtDrawsIt) {
  struct StyleCase {
    int Separation, Size;
    bool ShowOff;
  };
  const StyleCase styles[] = {{1, 1, false}, {1, 1, true}, {0, 2, true}, {2, 3, false}};
  int compared = 0;
  for (const StyleCase& s : styles)
    for (int w = 3; w <= 30; w += 3)
      for (int h = 5; h <= 50; h += 5)
        for (int g = 0; g < kGlyphCount; ++g) {
          GlyphStyle style;
          style.segmentMargin = 0;
          style.segmentSeperation = s.Separation;
          style.segmentSize = s.Size;
          style.showOffSegments = s.ShowOff;
          style.segmentColor = clLime;
          style.segmentOffColor = clBlack;
          const TDifference d = Compare(
              [&](Canvas& c) {
                PaintGlyph(c, style, {3, 2, w, h}, static_cast<TSevenSegmentCharacter>(g));
              },
              {0, 0, kW, kH});
          ++compared;
          if ((g == sscUpArrow || g == sscDownArrow) && h < w) {
            EXPECT_LE(d.Pixels, 2) << d.First << " arrow " << g << " in " << w << " x " << h;
            continue;
          }
          ASSERT_EQ(d.Pixels, 0) << d.First << " glyph " << g << " in " << w << " x " << h
                                 << ", separation " << s.Separation << ", size " << s.Size;
        }
  EXPECT_EQ(compared, 4 * 10 * 10 * kGlyphCount);
}

TEST(BitmapCanvas, ClippedToItsAreaAndPlacedAtItsCorner) {
  // A readout-like area inside the frame: the shapes cross its edges.
  const gfx::TRect area{5, 7, 30, 40};
  const std::string diff = FirstDifference(
      [](Canvas& c) {
        c.FillRect({-3, -3, 10, 10}, clGray);
        c.FillRect({20, 25, 100, 100}, clWhite);
        const Point tri[] = {{-10, 5}, {40, 20}, {10, 50}};
        c.Polygon(tri, clLime);
        GlyphStyle style;
        PaintGlyph(c, style, {12, 4, 12, 30}, ssc8);
      },
      area);
  EXPECT_EQ(diff, "");
}

TEST(BitmapCanvas, BevelsAndRectsAsQt) {
  for (TiBevelStyle style : {ibsNone, ibsRaised, ibsLowered})
    for (Rect r : {Rect{2, 3, 20, 30}, Rect{0, 0, kW, kH}, Rect{5, 5, 3, 2}, Rect{5, 5, 1, 1}}) {
      const std::string diff = FirstDifference([&](Canvas& c) {
        c.FillRect(r, clGreen);
        c.Bevel(r, style);
      });
      EXPECT_EQ(diff, "") << static_cast<int>(style) << " at " << r.x << "," << r.y << " " << r.w
                          << " x " << r.h;
    }
}

TEST(BitmapCanvas, ColoursTurnIntoOpaqueBitmapPixels) {
  EXPECT_EQ(ToColor32(clLime), 0xFF00FF00u);
  EXPECT_EQ(ToColor32(0x00332211), 0xFF112233u);
  EXPECT_EQ(ToColor32(0x02FFFFFF), 0xFFFFFFFFu) << "the palette flag is ignored";
}

}  // namespace
}  // namespace kelta::sevenseg
