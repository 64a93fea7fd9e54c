#include "graphics/view/Image32.h"
#include "graphics/view/Layers.h"

#include "tests/support/QtTestApp.h"

#include <QApplication>
#include <QImage>
#include <QPixmap>

#include <gtest/gtest.h>

using namespace kelta::gfx;

namespace {

constexpr TColor32 DarkShadow = 0xFF404040;

void FillPattern(TBitmap32& B) {
  for (int Y = 0; Y < B.Height(); ++Y)
    for (int X = 0; X < B.Width(); ++X)
      B.SetPixel(X, Y, 0xFF000000u | static_cast<TColor32>(X * 977 + Y * 131));
}

}  // namespace

TEST(Image32, FullSizeBitmapIsPlacedAtOriginWithoutBands) {
  TImage32 View;
  View.resize(404, 404);
  View.SetColor(cl3DDkShadow);
  View.Bitmap().Resize(404, 404);
  FillPattern(View.Bitmap());
  EXPECT_EQ(View.PlacedBitmapRect(), (TRect{0, 0, 404, 404}));
  View.ComposeBuffer();
  for (int Y = 0; Y < 404; ++Y)
    for (int X = 0; X < 404; ++X)
      ASSERT_EQ(View.Buffer().Pixel(X, Y), View.Bitmap().Pixel(X, Y)) << X << "," << Y;
  EXPECT_EQ(View.ViewToBitmap({202, 202}), (TPoint{202, 202}));
}

TEST(Image32, AutoSizeTakesBitmapSizeKeepingPosition) {
  QWidget Parent;
  TImage32 View(&Parent);
  View.setGeometry(200, 272, 404, 404);
  View.SetAutoSize(true);
  View.Bitmap().Resize(300, 200);
  EXPECT_EQ(View.geometry(), QRect(200, 272, 300, 200));
  EXPECT_EQ(View.PlacedBitmapRect(), (TRect{0, 0, 300, 200}));
  View.Bitmap().Resize(0, 50);
  EXPECT_EQ(View.width(), 300) << "an empty bitmap leaves the size";
}

TEST(Image32, CentredSmallerBitmapHasBackgroundBands) {
  TImage32 View;
  View.resize(404, 404);
  View.SetColor(cl3DDkShadow);
  View.Bitmap().Resize(300, 200);
  FillPattern(View.Bitmap());
  View.Bitmap().SetPixel(0, 0, 0x00ABCDEF);
  EXPECT_EQ(View.PlacedBitmapRect(), (TRect{52, 102, 352, 302}));
  EXPECT_EQ(View.ViewToBitmap({52, 102}), (TPoint{0, 0}));
  EXPECT_EQ(View.ViewToBitmap({0, 0}), (TPoint{-52, -102}));
  View.ComposeBuffer();
  for (int Y = 0; Y < 404; ++Y)
    for (int X = 0; X < 404; ++X) {
      const bool In = X >= 52 && X < 352 && Y >= 102 && Y < 302;
      ASSERT_EQ(View.Buffer().Pixel(X, Y), In ? View.Bitmap().Pixel(X - 52, Y - 102) : DarkShadow)
          << X << "," << Y;
    }
}

TEST(Image32, PlacementFollowsResizesOfAHiddenView) {
  TImage32 View;
  View.resize(404, 404);
  View.Bitmap().Resize(300, 200);
  EXPECT_EQ(View.PlacedBitmapRect(), (TRect{52, 102, 352, 302}));
  View.resize(500, 500);
  EXPECT_EQ(View.PlacedBitmapRect(), (TRect{100, 150, 400, 350}));
  EXPECT_EQ(View.ViewToBitmap({100, 150}), (TPoint{0, 0}));
}

TEST(Image32, OddDifferenceCentresTowardZeroAndScaleModeMaps) {
  TImage32 View;
  View.resize(5, 5);
  View.Bitmap().Resize(2, 2);
  EXPECT_EQ(View.PlacedBitmapRect(), (TRect{1, 1, 3, 3}));
  View.Bitmap().Resize(8, 8);
  EXPECT_EQ(View.PlacedBitmapRect(), (TRect{-1, -1, 7, 7})) << "(5 - 8) div 2 is -1";

  TImage32 Scaled;
  Scaled.resize(10, 10);
  Scaled.Bitmap().Resize(2, 2);
  Scaled.SetScaleMode(smScale);
  Scaled.SetScale(3);
  EXPECT_EQ(Scaled.PlacedBitmapRect(), (TRect{2, 2, 8, 8}));
  EXPECT_EQ(Scaled.ViewToBitmap({7, 7}), (TPoint{1, 1}));
  EXPECT_EQ(Scaled.ViewToBitmap({1, 1}), (TPoint{0, 0})) << "-1/3 truncates toward zero";
}

TEST(Image32, EmptyBitmapGivesBackgroundAndLayersStillPaint) {
  TImage32 View;
  View.resize(8, 8);
  View.SetColor(0x00FF0000);  // blue
  auto& Layer = View.Layers().Add<TBitmapLayer>();
  Layer.Bitmap().Resize(2, 2);
  Layer.Bitmap().Fill(0xFF00FF00);
  Layer.Bitmap().SetDrawMode(dmBlend);
  Layer.SetLayerRect({3, 3, 5, 5});
  View.ComposeBuffer();
  for (int Y = 0; Y < 8; ++Y)
    for (int X = 0; X < 8; ++X) {
      const bool In = X >= 3 && X < 5 && Y >= 3 && Y < 5;
      ASSERT_EQ(View.Buffer().Pixel(X, Y), In ? 0xFF00FF00u : 0xFF0000FFu) << X << "," << Y;
    }
}

TEST(BitmapLayer, RectRoundingTiesToEven) {
  struct TCase {
    TFloatRect Rect;
    TRect Want;
  };
  const TCase Cases[] = {
      {{-0.5f, -0.5f, 3.5f, 3.5f}, {0, 0, 4, 4}},
      {{0.5f, 1.5f, 4.5f, 5.5f}, {0, 2, 4, 6}},
      {{1.4f, 0.6f, 5.4f, 4.6f}, {1, 1, 5, 5}},
  };
  for (const TCase& C : Cases) {
    TImage32 View;
    View.resize(8, 8);
    View.Bitmap().Resize(8, 8);
    View.Bitmap().Fill(0xFF000000);
    auto& Layer = View.Layers().Add<TBitmapLayer>();
    Layer.Bitmap().Resize(4, 4);
    Layer.Bitmap().Fill(0xFFFFFFFF);
    Layer.Bitmap().SetDrawMode(dmBlend);
    Layer.SetLayerRect(C.Rect);
    Layer.SetScaled(true);
    View.ComposeBuffer();
    for (int Y = 0; Y < 8; ++Y)
      for (int X = 0; X < 8; ++X) {
        const bool In =
            X >= C.Want.Left && X < C.Want.Right && Y >= C.Want.Top && Y < C.Want.Bottom;
        ASSERT_EQ(View.Buffer().Pixel(X, Y), In ? 0xFFFFFFFFu : 0xFF000000u)
            << C.Rect.Left << "," << C.Rect.Top << " pixel " << X << "," << Y;
      }
  }
}

TEST(BitmapLayer, DialLayerOverFullViewBlendsByRow) {
  TImage32 View;
  View.resize(404, 404);
  View.Bitmap().Resize(404, 404);
  FillPattern(View.Bitmap());
  auto& Layer = View.Layers().Add<TBitmapLayer>();
  Layer.Bitmap().Resize(404, 404);
  for (int Y = 0; Y < 404; ++Y)
    for (int X = 0; X < 404; ++X)
      Layer.Bitmap().SetPixel(X, Y, static_cast<TColor32>((X + Y) % 256) << 24 | 0x00336699u);
  Layer.Bitmap().SetDrawMode(dmBlend);
  Layer.SetLayerRect({-0.5f, -0.5f, 404.5f, 404.5f});
  Layer.SetScaled(true);
  View.ComposeBuffer();
  for (int Y = 0; Y < 404; ++Y)
    for (int X = 0; X < 404; ++X) {
      const TColor32 F = Layer.Bitmap().Pixel(X, Y), B = View.Bitmap().Pixel(X, Y);
      const std::uint32_t A = F >> 24;
      TColor32 Want = B;
      if (A == 255)
        Want = F;
      else if (A != 0) {
        Want = 0;
        for (int S = 0; S < 32; S += 8)
          Want |= ((((F >> S) & 255) * A + ((B >> S) & 255) * (256 - A) + 128) >> 8) << S;
      }
      ASSERT_EQ(View.Buffer().Pixel(X, Y), Want) << X << "," << Y;
    }
}

TEST(Image32, ChangesInvalidateOutsideUpdateBracketsOnly) {
  TImage32 View;
  View.resize(4, 4);
  int Changes = 0;
  View.OnChange = [&](TImage32&) { ++Changes; };
  View.Bitmap().Resize(4, 4);
  View.ComposeBuffer();
  ASSERT_TRUE(View.BufferValid());
  Changes = 0;

  View.BeginUpdate();
  View.Bitmap().Fill(0xFFFFFFFF);
  EXPECT_TRUE(View.BufferValid());
  View.EndUpdate();
  EXPECT_TRUE(View.BufferValid()) << "EndUpdate repaints nothing itself";
  EXPECT_EQ(Changes, 0);

  View.Bitmap().Fill(0xFF000000);
  EXPECT_FALSE(View.BufferValid());
  EXPECT_EQ(Changes, 1);
  try {
    View.EndUpdate();
    FAIL() << "unpaired EndUpdate accepted";
  } catch (const EAssertionFailed& E) {
    EXPECT_STREQ(E.what(), "Unpaired EndUpdate call");
  }
  EXPECT_EQ(View.UpdateCount(), 0);

  View.ComposeBuffer();
  auto& Layer = View.Layers().Add<TBitmapLayer>();
  EXPECT_FALSE(View.BufferValid()) << "a new layer repaints";
  View.ComposeBuffer();
  Layer.SetScaled(true);
  EXPECT_FALSE(View.BufferValid());
  View.ComposeBuffer();
  View.Layers().Delete(&Layer);
  EXPECT_FALSE(View.BufferValid());
  EXPECT_EQ(View.Layers().Count(), 0);
}

TEST(Image32, ScreenCopyIsOpaque) {
  TImage32 View;
  View.resize(2, 1);
  View.Bitmap().Resize(2, 1);
  View.Bitmap().SetPixel(0, 0, 0x00FF0000);  // alpha 0, red
  View.Bitmap().SetPixel(1, 0, 0x800000FF);
  const QImage Shot = View.grab().toImage().convertToFormat(QImage::Format_ARGB32);
  EXPECT_EQ(Shot.pixel(0, 0), 0xFFFF0000u);
  EXPECT_EQ(Shot.pixel(1, 0), 0xFF0000FFu);
}

// A layer bitmap with long clear and opaque stretches, short ones and anti-aliased pixels:
// the frame equals the row blend rule pixel by pixel, also after the layer bitmap changed.
TEST(BitmapLayer, RunBlendingMatchesRuleAndFollowsChanges) {
  TImage32 View;
  View.resize(97, 61);
  View.Bitmap().Resize(97, 61);
  FillPattern(View.Bitmap());
  auto& Layer = View.Layers().Add<TBitmapLayer>();
  TBitmap32& L = Layer.Bitmap();
  L.Resize(97, 61);
  std::uint32_t Seed = 12345;
  auto Next = [&] { return Seed = Seed * 1103515245u + 12345u, Seed >> 8; };
  for (int Y = 0; Y < 61; ++Y)
    for (int X = 0; X < 97;) {
      const std::uint32_t Len = 1 + Next() % 40, Kind = Next() % 3;
      for (std::uint32_t I = 0; I < Len && X < 97; ++I, ++X) {
        const std::uint32_t A = Kind == 0 ? 0 : Kind == 1 ? 255 : Next() % 256;
        L.SetPixel(X, Y, A << 24 | (Next() & 0xFFFFFFu));
      }
    }
  L.SetDrawMode(dmBlend);
  Layer.SetLayerRect({0, 0, 97, 61});

  auto Check = [&](const char* When) {
    View.ComposeBuffer();
    for (int Y = 0; Y < 61; ++Y)
      for (int X = 0; X < 97; ++X) {
        const TColor32 F = L.Pixel(X, Y), B = View.Bitmap().Pixel(X, Y);
        const std::uint32_t A = F >> 24;
        TColor32 Want = A == 0 ? B : F;
        if (A != 0 && A != 255) {
          Want = 0;
          for (int S = 0; S < 32; S += 8)
            Want |= ((((F >> S) & 255) * A + ((B >> S) & 255) * (256 - A) + 128) >> 8) << S;
        }
        ASSERT_EQ(View.Buffer().Pixel(X, Y), Want) << When << " " << X << "," << Y;
      }
  };
  Check("first frame");
  // Turn a clear stretch opaque and an opaque one clear; the layer hears it and re-reads.
  for (int X = 0; X < 97; ++X) {
    L.SetPixel(X, 7, 0xFF00FF00);
    L.SetPixel(X, 8, 0x00000000);
  }
  L.Changed();
  EXPECT_FALSE(View.BufferValid());
  Check("after the change");

  // Frames over a changing view bitmap: white (what the layer expects first), the pattern
  // again, then the pattern with a stripe changed, as the needle does between readings.
  View.Bitmap().Fill(0xFFFFFFFF);
  Check("over white");
  FillPattern(View.Bitmap());
  View.Bitmap().Changed();
  Check("over the pattern again");
  for (int Y = 20; Y < 30; ++Y)
    for (int X = 0; X < 97; ++X)
      View.Bitmap().SetPixel(X, Y, 0x80123456u + static_cast<TColor32>(X));
  View.Bitmap().Changed();
  Check("over a changed stripe");
}
