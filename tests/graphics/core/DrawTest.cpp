#include "graphics/core/Bitmap32.h"
#include "graphics/core/Draw.h"
#include "graphics/core/Resamplers.h"

#include <gtest/gtest.h>

using namespace kelta::gfx;

TEST(BlockDraw, ModesPerPixel) {
  TBitmap32 src(3, 1);
  src.SetPixel(0, 0, 0x00FF0000);  // clear
  src.SetPixel(1, 0, 0xFF00FF00);  // opaque
  src.SetPixel(2, 0, 0x80FF0000);  // half
  struct TCase {
    TDrawMode Mode;
    int Master;
    TColor32 Want[3];
  };
  const TCase cases[] = {
      {dmOpaque, 255, {0x00FF0000, 0xFF00FF00, 0x80FF0000}},
      {dmBlend, 255, {0xFFFFFFFF, 0xFF00FF00, 0xC0FF8080}},
      {dmBlend, 128, {0xFFFFFFFF, 0xFF80FF80, 0xDFFFBFBF}},
      {dmTransparent, 255, {0xFFFFFFFF, 0xFF00FF00, 0x80FF0000}},
  };
  for (const TCase& c : cases) {
    src.SetMasterAlpha(c.Master);
    src.SetOuterColor(0x00FF0000);
    TBitmap32 dst(3, 1);
    dst.Fill(0xFFFFFFFF);
    BlockDraw(dst, 0, 0, src, src.BoundsRect(), c.Mode);
    for (int x = 0; x < 3; ++x)
      EXPECT_EQ(dst.Pixel(x, 0), c.Want[x])
          << "mode " << c.Mode << " master " << c.Master << " x " << x;
  }
}

TEST(BlockDraw, ClipsBothSides) {
  TBitmap32 src(4, 4);
  src.Fill(0xFF000001);
  TBitmap32 dst(3, 3);
  BlockDraw(dst, -3, 1, src, {-1, 0, 4, 4}, dmOpaque);
  // Source column -1 does not exist; the rest lands from x = -2, so x 0..1 are covered.
  for (int y = 0; y < 3; ++y)
    for (int x = 0; x < 3; ++x)
      EXPECT_EQ(dst.Pixel(x, y), (y >= 1 && x <= 1) ? 0xFF000001u : 0u) << x << "," << y;
}

TEST(StretchDraw, SameSizeBlendsAndNotifies) {
  TBitmap32 layer(2, 2);
  layer.SetPixel(0, 0, 0x00000000);
  layer.SetPixel(1, 0, 0xFF0000FF);
  layer.SetPixel(0, 1, 0x800000FF);
  layer.SetPixel(1, 1, 0x01FFFFFF);
  layer.SetDrawMode(dmBlend);
  TBitmap32 dst(4, 4);
  dst.Fill(0xFF336699);
  std::vector<TRect> areas;
  dst.OnAreaChanged = [&](TCustomBitmap32&, const TRect& R) { areas.push_back(R); };
  StretchDraw(&dst, {1, 1, 3, 3}, dst.ClipRect(), &layer, layer.BoundsRect(), layer.Resampler(),
              dmBlend);
  EXPECT_EQ(dst.Pixel(1, 1), 0xFF336699u) << "alpha 0 leaves the pixel exactly";
  EXPECT_EQ(dst.Pixel(2, 1), 0xFF0000FFu) << "alpha 255 replaces it exactly";
  EXPECT_EQ(dst.Pixel(1, 2), 0xC01A33CCu);
  EXPECT_EQ(dst.Pixel(0, 0), 0xFF336699u);
  ASSERT_EQ(areas.size(), 1u);
  EXPECT_EQ(areas[0], (TRect{1, 1, 3, 3}));
}

TEST(StretchDraw, NilEmptyAndZeroMaster) {
  TBitmap32 a(2, 2), b(2, 2);
  EXPECT_THROW(
      StretchDraw(nullptr, {0, 0, 2, 2}, {0, 0, 2, 2}, &a, {0, 0, 2, 2}, a.Resampler(), dmOpaque),
      EBitmapError);
  try {
    StretchDraw(&b, {0, 0, 2, 2}, {0, 0, 2, 2}, nullptr, {0, 0, 2, 2}, a.Resampler(), dmOpaque);
    FAIL();
  } catch (const EBitmapError& e) {
    EXPECT_STREQ(e.what(), "Source bitmap is nil");
  }
  a.Fill(0xFFFFFFFF);
  a.SetMasterAlpha(0);
  int notes = 0;
  b.OnAreaChanged = [&](TCustomBitmap32&, const TRect&) { ++notes; };
  StretchDraw(&b, {0, 0, 2, 2}, {0, 0, 2, 2}, &a, {0, 0, 2, 2}, a.Resampler(), dmBlend);
  TBitmap32 empty;
  StretchDraw(&b, {0, 0, 2, 2}, {0, 0, 2, 2}, &empty, {0, 0, 2, 2}, empty.Resampler(), dmOpaque);
  EXPECT_EQ(notes, 0);
  EXPECT_EQ(b.Pixel(0, 0), 0u);
}

TEST(StretchDraw, DoubleSizeNearestAndCutSource) {
  TBitmap32 src(2, 1);
  src.SetPixel(0, 0, 0xFF0000AA);
  src.SetPixel(1, 0, 0xFF0000BB);
  TBitmap32 dst(4, 2);
  StretchDraw(&dst, {0, 0, 4, 2}, dst.ClipRect(), &src, src.BoundsRect(), src.Resampler(),
              dmOpaque);
  for (int y = 0; y < 2; ++y)
    for (int x = 0; x < 4; ++x)
      EXPECT_EQ(dst.Pixel(x, y), x < 2 ? 0xFF0000AAu : 0xFF0000BBu) << x << "," << y;

  // A source rectangle one pixel wider than the source on the left: the destination
  // rectangle loses its share (rounded up), so nothing comes from outside.
  TBitmap32 wide(6, 1);
  wide.Fill(0xFF000000);
  StretchDraw(&wide, {0, 0, 6, 1}, wide.ClipRect(), &src, {-1, 0, 2, 1}, src.Resampler(), dmOpaque);
  EXPECT_EQ(wide.Pixel(0, 0), 0xFF000000u);
  EXPECT_EQ(wide.Pixel(1, 0), 0xFF000000u);
  EXPECT_EQ(wide.Pixel(2, 0), 0xFF0000AAu);
  EXPECT_EQ(wide.Pixel(5, 0), 0xFF0000BBu);
}
