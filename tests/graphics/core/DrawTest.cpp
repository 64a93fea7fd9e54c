#include "graphics/core/Bitmap32.h"
#include "graphics/core/Draw.h"
#include "graphics/core/Resamplers.h"

#include <gtest/gtest.h>

using namespace kelta::gfx;

TEST(BlockDraw, ModesPerPixel) {
  TBitmap32 Src(3, 1);
  Src.SetPixel(0, 0, 0x00FF0000);  // clear
  Src.SetPixel(1, 0, 0xFF00FF00);  // opaque
  Src.SetPixel(2, 0, 0x80FF0000);  // half
  struct TCase {
    TDrawMode Mode;
    int Master;
    TColor32 Want[3];
  };
  const TCase Cases[] = {
      {dmOpaque, 255, {0x00FF0000, 0xFF00FF00, 0x80FF0000}},
      {dmBlend, 255, {0xFFFFFFFF, 0xFF00FF00, 0xC0FF8080}},
      {dmBlend, 128, {0xFFFFFFFF, 0xFF80FF80, 0xDFFFBFBF}},
      {dmTransparent, 255, {0xFFFFFFFF, 0xFF00FF00, 0x80FF0000}},
  };
  for (const TCase& C : Cases) {
    Src.SetMasterAlpha(C.Master);
    Src.SetOuterColor(0x00FF0000);
    TBitmap32 Dst(3, 1);
    Dst.Fill(0xFFFFFFFF);
    BlockDraw(Dst, 0, 0, Src, Src.BoundsRect(), C.Mode);
    for (int X = 0; X < 3; ++X)
      EXPECT_EQ(Dst.Pixel(X, 0), C.Want[X])
          << "mode " << C.Mode << " master " << C.Master << " x " << X;
  }
}

TEST(BlockDraw, ClipsBothSides) {
  TBitmap32 Src(4, 4);
  Src.Fill(0xFF000001);
  TBitmap32 Dst(3, 3);
  BlockDraw(Dst, -3, 1, Src, {-1, 0, 4, 4}, dmOpaque);
  // Source column -1 does not exist; the rest lands from x = -2, so x 0..1 are covered.
  for (int Y = 0; Y < 3; ++Y)
    for (int X = 0; X < 3; ++X)
      EXPECT_EQ(Dst.Pixel(X, Y), (Y >= 1 && X <= 1) ? 0xFF000001u : 0u) << X << "," << Y;
}

TEST(StretchDraw, SameSizeBlendsAndNotifies) {
  TBitmap32 Layer(2, 2);
  Layer.SetPixel(0, 0, 0x00000000);
  Layer.SetPixel(1, 0, 0xFF0000FF);
  Layer.SetPixel(0, 1, 0x800000FF);
  Layer.SetPixel(1, 1, 0x01FFFFFF);
  Layer.SetDrawMode(dmBlend);
  TBitmap32 Dst(4, 4);
  Dst.Fill(0xFF336699);
  std::vector<TRect> Areas;
  Dst.OnAreaChanged = [&](TCustomBitmap32&, const TRect& R) { Areas.push_back(R); };
  StretchDraw(&Dst, {1, 1, 3, 3}, Dst.ClipRect(), &Layer, Layer.BoundsRect(), Layer.Resampler(),
              dmBlend);
  EXPECT_EQ(Dst.Pixel(1, 1), 0xFF336699u) << "alpha 0 leaves the pixel exactly";
  EXPECT_EQ(Dst.Pixel(2, 1), 0xFF0000FFu) << "alpha 255 replaces it exactly";
  EXPECT_EQ(Dst.Pixel(1, 2), 0xC01A33CCu);
  EXPECT_EQ(Dst.Pixel(0, 0), 0xFF336699u);
  ASSERT_EQ(Areas.size(), 1u);
  EXPECT_EQ(Areas[0], (TRect{1, 1, 3, 3}));
}

TEST(StretchDraw, NilEmptyAndZeroMaster) {
  TBitmap32 A(2, 2), B(2, 2);
  EXPECT_THROW(
      StretchDraw(nullptr, {0, 0, 2, 2}, {0, 0, 2, 2}, &A, {0, 0, 2, 2}, A.Resampler(), dmOpaque),
      EBitmapError);
  try {
    StretchDraw(&B, {0, 0, 2, 2}, {0, 0, 2, 2}, nullptr, {0, 0, 2, 2}, A.Resampler(), dmOpaque);
    FAIL();
  } catch (const EBitmapError& E) {
    EXPECT_STREQ(E.what(), "Source bitmap is nil");
  }
  A.Fill(0xFFFFFFFF);
  A.SetMasterAlpha(0);
  int Notes = 0;
  B.OnAreaChanged = [&](TCustomBitmap32&, const TRect&) { ++Notes; };
  StretchDraw(&B, {0, 0, 2, 2}, {0, 0, 2, 2}, &A, {0, 0, 2, 2}, A.Resampler(), dmBlend);
  TBitmap32 Empty;
  StretchDraw(&B, {0, 0, 2, 2}, {0, 0, 2, 2}, &Empty, {0, 0, 2, 2}, Empty.Resampler(), dmOpaque);
  EXPECT_EQ(Notes, 0);
  EXPECT_EQ(B.Pixel(0, 0), 0u);
}

TEST(StretchDraw, DoubleSizeNearestAndCutSource) {
  TBitmap32 Src(2, 1);
  Src.SetPixel(0, 0, 0xFF0000AA);
  Src.SetPixel(1, 0, 0xFF0000BB);
  TBitmap32 Dst(4, 2);
  StretchDraw(&Dst, {0, 0, 4, 2}, Dst.ClipRect(), &Src, Src.BoundsRect(), Src.Resampler(),
              dmOpaque);
  for (int Y = 0; Y < 2; ++Y)
    for (int X = 0; X < 4; ++X)
      EXPECT_EQ(Dst.Pixel(X, Y), X < 2 ? 0xFF0000AAu : 0xFF0000BBu) << X << "," << Y;

  // A source rectangle one pixel wider than the source on the left: the destination
  // rectangle loses its share (rounded up), so nothing comes from outside.
  TBitmap32 Wide(6, 1);
  Wide.Fill(0xFF000000);
  StretchDraw(&Wide, {0, 0, 6, 1}, Wide.ClipRect(), &Src, {-1, 0, 2, 1}, Src.Resampler(), dmOpaque);
  EXPECT_EQ(Wide.Pixel(0, 0), 0xFF000000u);
  EXPECT_EQ(Wide.Pixel(1, 0), 0xFF000000u);
  EXPECT_EQ(Wide.Pixel(2, 0), 0xFF0000AAu);
  EXPECT_EQ(Wide.Pixel(5, 0), 0xFF0000BBu);
}
