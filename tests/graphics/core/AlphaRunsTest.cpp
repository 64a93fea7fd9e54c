#include "graphics/core/AlphaRuns.h"
#include "graphics/core/Bitmap32.h"
#include "graphics/core/Draw.h"

#include <gtest/gtest.h>

#include <random>

using namespace kelta::gfx;

// Blending through the run index equals BlockDraw's BlendRow for any part of the picture,
// frame after frame over a destination that partly changes in between.
TEST(AlphaRunIndex, BlendRowsEqualsBlockDrawOverChangingDestinations) {
  std::mt19937 Rng(4242);
  TBitmap32 Pic(73, 29);
  for (int Y = 0; Y < 29; ++Y)
    for (int X = 0; X < 73;) {
      const int Len = 1 + static_cast<int>(Rng() % 30);
      const std::uint32_t Kind = Rng() % 3;
      for (int I = 0; I < Len && X < 73; ++I, ++X) {
        const std::uint32_t A = Kind == 0 ? 0 : Kind == 1 ? 255 : Rng() % 256;
        Pic.SetPixel(X, Y, A << 24 | (Rng() & 0xFFFFFFu));
      }
    }
  Pic.SetDrawMode(dmBlend);
  TAlphaRunIndex Index;
  Index.Build(Pic);
  ASSERT_TRUE(Index.Built());
  for (int Y = 0; Y < 29; ++Y) {
    int Covered = 0;
    for (const auto* R = Index.RowBegin(Y); R != Index.RowEnd(Y); ++R) {
      EXPECT_EQ(R->Start, Covered);
      Covered += R->Length;
    }
    EXPECT_EQ(Covered, 73) << "runs cover row " << Y;
  }

  TBitmap32 Back(80, 40), ViaRuns(80, 40), ViaRows(80, 40);
  for (int Frame = 0; Frame < 12; ++Frame) {
    // Mostly white, as under a dial, with a changing patch.
    Back.Fill(0xFFFFFFFF);
    for (int I = 0; I < 200; ++I)
      Back.SetPixel(static_cast<int>(Rng() % 80), static_cast<int>(Rng() % 40), Rng());
    const int L = static_cast<int>(Rng() % 40), T = static_cast<int>(Rng() % 15);
    const TRect Part{L, T, L + 1 + static_cast<int>(Rng() % static_cast<std::uint32_t>(73 - L)),
                     T + 1 + static_cast<int>(Rng() % static_cast<std::uint32_t>(29 - T))};
    const int DX = static_cast<int>(Rng() % 7), DY = static_cast<int>(Rng() % 11);
    ViaRuns.CopyFrom(Back);
    ViaRows.CopyFrom(Back);
    Index.BlendRows(ViaRuns, DX, DY, Pic, Part);
    BlockDraw(ViaRows, DX, DY, Pic, Part, dmBlend);
    for (int Y = 0; Y < 40; ++Y)
      for (int X = 0; X < 80; ++X)
        ASSERT_EQ(ViaRuns.Pixel(X, Y), ViaRows.Pixel(X, Y))
            << "frame " << Frame << " at " << X << "," << Y;
  }
}
