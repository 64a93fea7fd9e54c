#include "graphics/core/AlphaRuns.h"
#include "graphics/core/Bitmap32.h"
#include "graphics/core/Draw.h"

#include <gtest/gtest.h>

#include <random>

using namespace kelta::gfx;

// Blending through the run index equals BlockDraw's BlendRow for any part of the picture,
// frame after frame over a destination that partly changes in between.
TEST(AlphaRunIndex, BlendRowsEqualsBlockDrawOverChangingDestinations) {
  std::mt19937 rng(4242);
  TBitmap32 pic(73, 29);
  for (int y = 0; y < 29; ++y)
    for (int x = 0; x < 73;) {
      const int len = 1 + static_cast<int>(rng() % 30);
      const std::uint32_t kind = rng() % 3;
      for (int i = 0; i < len && x < 73; ++i, ++x) {
        const std::uint32_t a = kind == 0 ? 0 : kind == 1 ? 255 : rng() % 256;
        pic.SetPixel(x, y, a << 24 | (rng() & 0xFFFFFFu));
      }
    }
  pic.SetDrawMode(dmBlend);
  TAlphaRunIndex index;
  index.Build(pic);
  ASSERT_TRUE(index.Built());
  for (int y = 0; y < 29; ++y) {
    int covered = 0;
    for (const auto* r = index.RowBegin(y); r != index.RowEnd(y); ++r) {
      EXPECT_EQ(r->Start, covered);
      covered += r->Length;
    }
    EXPECT_EQ(covered, 73) << "runs cover row " << y;
  }

  TBitmap32 back(80, 40), viaRuns(80, 40), viaRows(80, 40);
  for (int frame = 0; frame < 12; ++frame) {
    // Mostly white, as under a dial, with a changing patch.
    back.Fill(0xFFFFFFFF);
    for (int i = 0; i < 200; ++i)
      back.SetPixel(static_cast<int>(rng() % 80), static_cast<int>(rng() % 40), rng());
    const int l = static_cast<int>(rng() % 40), t = static_cast<int>(rng() % 15);
    const TRect part{l, t, l + 1 + static_cast<int>(rng() % static_cast<std::uint32_t>(73 - l)),
                     t + 1 + static_cast<int>(rng() % static_cast<std::uint32_t>(29 - t))};
    const int dx = static_cast<int>(rng() % 7), dy = static_cast<int>(rng() % 11);
    viaRuns.CopyFrom(back);
    viaRows.CopyFrom(back);
    index.BlendRows(viaRuns, dx, dy, pic, part);
    BlockDraw(viaRows, dx, dy, pic, part, dmBlend);
    for (int y = 0; y < 40; ++y)
      for (int x = 0; x < 80; ++x)
        ASSERT_EQ(viaRuns.Pixel(x, y), viaRows.Pixel(x, y))
            << "frame " << frame << " at " << x << "," << y;
  }
}
