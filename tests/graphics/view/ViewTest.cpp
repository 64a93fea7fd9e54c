#include "graphics/qt/Image32.h"
#include "graphics/view/Layers.h"

#include "tests/support/QtTestApp.h"

#include <QApplication>
#include <QImage>
#include <QPaintEvent>
#include <QPixmap>

#include <gtest/gtest.h>

#include <vector>

using namespace kelta::gfx;

namespace {

constexpr TColor32 DarkShadow = 0xFF404040;

void FillPattern(TBitmap32& B) {
  for (int y = 0; y < B.Height(); ++y)
    for (int x = 0; x < B.Width(); ++x)
      B.SetPixel(x, y, 0xFF000000u | static_cast<TColor32>(x * 977 + y * 131));
}

}  // namespace

TEST(Image32, FullSizeBitmapIsPlacedAtOriginWithoutBands) {
  TImage32 view;
  view.resize(404, 404);
  view.SetColor(cl3DDkShadow);
  view.Bitmap().Resize(404, 404);
  FillPattern(view.Bitmap());
  EXPECT_EQ(view.PlacedBitmapRect(), (TRect{0, 0, 404, 404}));
  view.ComposeBuffer();
  for (int y = 0; y < 404; ++y)
    for (int x = 0; x < 404; ++x)
      ASSERT_EQ(view.Buffer().Pixel(x, y), view.Bitmap().Pixel(x, y)) << x << "," << y;
  EXPECT_EQ(view.ViewToBitmap({202, 202}), (TPoint{202, 202}));
}

TEST(Image32, AutoSizeTakesBitmapSizeKeepingPosition) {
  QWidget parent;
  TImage32 view(&parent);
  view.setGeometry(200, 272, 404, 404);
  view.SetAutoSize(true);
  view.Bitmap().Resize(300, 200);
  EXPECT_EQ(view.geometry(), QRect(200, 272, 300, 200));
  EXPECT_EQ(view.PlacedBitmapRect(), (TRect{0, 0, 300, 200}));
  view.Bitmap().Resize(0, 50);
  EXPECT_EQ(view.width(), 300) << "an empty bitmap leaves the size";
}

TEST(Image32, CentredSmallerBitmapHasBackgroundBands) {
  TImage32 view;
  view.resize(404, 404);
  view.SetColor(cl3DDkShadow);
  view.Bitmap().Resize(300, 200);
  FillPattern(view.Bitmap());
  view.Bitmap().SetPixel(0, 0, 0x00ABCDEF);
  EXPECT_EQ(view.PlacedBitmapRect(), (TRect{52, 102, 352, 302}));
  EXPECT_EQ(view.ViewToBitmap({52, 102}), (TPoint{0, 0}));
  EXPECT_EQ(view.ViewToBitmap({0, 0}), (TPoint{-52, -102}));
  view.ComposeBuffer();
  for (int y = 0; y < 404; ++y)
    for (int x = 0; x < 404; ++x) {
      const bool in = x >= 52 && x < 352 && y >= 102 && y < 302;
      ASSERT_EQ(view.Buffer().Pixel(x, y), in ? view.Bitmap().Pixel(x - 52, y - 102) : DarkShadow)
          << x << "," << y;
    }
}

TEST(Image32, PlacementFollowsResizesOfAHiddenView) {
  TImage32 view;
  view.resize(404, 404);
  view.Bitmap().Resize(300, 200);
  EXPECT_EQ(view.PlacedBitmapRect(), (TRect{52, 102, 352, 302}));
  view.resize(500, 500);
  EXPECT_EQ(view.PlacedBitmapRect(), (TRect{100, 150, 400, 350}));
  EXPECT_EQ(view.ViewToBitmap({100, 150}), (TPoint{0, 0}));
}

TEST(Image32, OddDifferenceCentresTowardZeroAndScaleModeMaps) {
  TImage32 view;
  view.resize(5, 5);
  view.Bitmap().Resize(2, 2);
  EXPECT_EQ(view.PlacedBitmapRect(), (TRect{1, 1, 3, 3}));
  view.Bitmap().Resize(8, 8);
  EXPECT_EQ(view.PlacedBitmapRect(), (TRect{-1, -1, 7, 7})) << "(5 - 8) div 2 is -1";

  TImage32 scaled;
  scaled.resize(10, 10);
  scaled.Bitmap().Resize(2, 2);
  scaled.SetScaleMode(smScale);
  scaled.SetScale(3);
  EXPECT_EQ(scaled.PlacedBitmapRect(), (TRect{2, 2, 8, 8}));
  EXPECT_EQ(scaled.ViewToBitmap({7, 7}), (TPoint{1, 1}));
  EXPECT_EQ(scaled.ViewToBitmap({1, 1}), (TPoint{0, 0})) << "-1/3 truncates toward zero";
}

TEST(Image32, EmptyBitmapGivesBackgroundAndLayersStillPaint) {
  TImage32 view;
  view.resize(8, 8);
  view.SetColor(0x00FF0000);  // blue
  auto& layer = view.Layers().Add<TBitmapLayer>();
  layer.Bitmap().Resize(2, 2);
  layer.Bitmap().Fill(0xFF00FF00);
  layer.Bitmap().SetDrawMode(dmBlend);
  layer.SetLayerRect({3, 3, 5, 5});
  view.ComposeBuffer();
  for (int y = 0; y < 8; ++y)
    for (int x = 0; x < 8; ++x) {
      const bool in = x >= 3 && x < 5 && y >= 3 && y < 5;
      ASSERT_EQ(view.Buffer().Pixel(x, y), in ? 0xFF00FF00u : 0xFF0000FFu) << x << "," << y;
    }
}

TEST(BitmapLayer, RectRoundingTiesToEven) {
  struct TCase {
    TFloatRect Rect;
    TRect Want;
  };
  const TCase cases[] = {
      {{-0.5f, -0.5f, 3.5f, 3.5f}, {0, 0, 4, 4}},
      {{0.5f, 1.5f, 4.5f, 5.5f}, {0, 2, 4, 6}},
      {{1.4f, 0.6f, 5.4f, 4.6f}, {1, 1, 5, 5}},
  };
  for (const TCase& c : cases) {
    TImage32 view;
    view.resize(8, 8);
    view.Bitmap().Resize(8, 8);
    view.Bitmap().Fill(0xFF000000);
    auto& layer = view.Layers().Add<TBitmapLayer>();
    layer.Bitmap().Resize(4, 4);
    layer.Bitmap().Fill(0xFFFFFFFF);
    layer.Bitmap().SetDrawMode(dmBlend);
    layer.SetLayerRect(c.Rect);
    layer.SetScaled(true);
    view.ComposeBuffer();
    for (int y = 0; y < 8; ++y)
      for (int x = 0; x < 8; ++x) {
        const bool in =
            x >= c.Want.Left && x < c.Want.Right && y >= c.Want.Top && y < c.Want.Bottom;
        ASSERT_EQ(view.Buffer().Pixel(x, y), in ? 0xFFFFFFFFu : 0xFF000000u)
            << c.Rect.Left << "," << c.Rect.Top << " pixel " << x << "," << y;
      }
  }
}

TEST(BitmapLayer, DialLayerOverFullViewBlendsByRow) {
  TImage32 view;
  view.resize(404, 404);
  view.Bitmap().Resize(404, 404);
  FillPattern(view.Bitmap());
  auto& layer = view.Layers().Add<TBitmapLayer>();
  layer.Bitmap().Resize(404, 404);
  for (int y = 0; y < 404; ++y)
    for (int x = 0; x < 404; ++x)
      layer.Bitmap().SetPixel(x, y, static_cast<TColor32>((x + y) % 256) << 24 | 0x00336699u);
  layer.Bitmap().SetDrawMode(dmBlend);
  layer.SetLayerRect({-0.5f, -0.5f, 404.5f, 404.5f});
  layer.SetScaled(true);
  view.ComposeBuffer();
  for (int y = 0; y < 404; ++y)
    for (int x = 0; x < 404; ++x) {
      const TColor32 f = layer.Bitmap().Pixel(x, y), b = view.Bitmap().Pixel(x, y);
      const std::uint32_t a = f >> 24;
      TColor32 want = b;
      if (a == 255)
        want = f;
      else if (a != 0) {
        want = 0;
        for (int s = 0; s < 32; s += 8)
          want |= ((((f >> s) & 255) * a + ((b >> s) & 255) * (256 - a) + 128) >> 8) << s;
      }
      ASSERT_EQ(view.Buffer().Pixel(x, y), want) << x << "," << y;
    }
}

TEST(Image32, ChangesInvalidateOutsideUpdateBracketsOnly) {
  TImage32 view;
  view.resize(4, 4);
  int changes = 0;
  view.OnChange = [&](TImage32&) { ++changes; };
  view.Bitmap().Resize(4, 4);
  view.ComposeBuffer();
  ASSERT_TRUE(view.BufferValid());
  changes = 0;

  view.BeginUpdate();
  view.Bitmap().Fill(0xFFFFFFFF);
  EXPECT_TRUE(view.BufferValid());
  view.EndUpdate();
  EXPECT_TRUE(view.BufferValid()) << "EndUpdate repaints nothing itself";
  EXPECT_EQ(changes, 0);

  view.Bitmap().Fill(0xFF000000);
  EXPECT_FALSE(view.BufferValid());
  EXPECT_EQ(changes, 1);
  try {
    view.EndUpdate();
    FAIL() << "unpaired EndUpdate accepted";
  } catch (const EAssertionFailed& e) {
    EXPECT_STREQ(e.what(), "Unpaired EndUpdate call");
  }
  EXPECT_EQ(view.UpdateCount(), 0);

  view.ComposeBuffer();
  auto& layer = view.Layers().Add<TBitmapLayer>();
  EXPECT_FALSE(view.BufferValid()) << "a new layer repaints";
  view.ComposeBuffer();
  layer.SetScaled(true);
  EXPECT_FALSE(view.BufferValid());
  view.ComposeBuffer();
  view.Layers().Delete(&layer);
  EXPECT_FALSE(view.BufferValid());
  EXPECT_EQ(view.Layers().Count(), 0);
}

TEST(Image32, ScreenCopyIsOpaque) {
  TImage32 view;
  view.resize(2, 1);
  view.Bitmap().Resize(2, 1);
  view.Bitmap().SetPixel(0, 0, 0x00FF0000);  // alpha 0, red
  view.Bitmap().SetPixel(1, 0, 0x800000FF);
  const QImage shot = view.grab().toImage().convertToFormat(QImage::Format_ARGB32);
  EXPECT_EQ(shot.pixel(0, 0), 0xFFFF0000u);
  EXPECT_EQ(shot.pixel(1, 0), 0xFF0000FFu);
}

// A layer bitmap with long clear and opaque stretches, short ones and anti-aliased pixels:
// the frame equals the row blend rule pixel by pixel, also after the layer bitmap changed.
TEST(BitmapLayer, RunBlendingMatchesRuleAndFollowsChanges) {
  TImage32 view;
  view.resize(97, 61);
  view.Bitmap().Resize(97, 61);
  FillPattern(view.Bitmap());
  auto& layer = view.Layers().Add<TBitmapLayer>();
  TBitmap32& L = layer.Bitmap();
  L.Resize(97, 61);
  std::uint32_t seed = 12345;
  auto next = [&] { return seed = seed * 1103515245u + 12345u, seed >> 8; };
  for (int y = 0; y < 61; ++y)
    for (int x = 0; x < 97;) {
      const std::uint32_t len = 1 + next() % 40, kind = next() % 3;
      for (std::uint32_t i = 0; i < len && x < 97; ++i, ++x) {
        const std::uint32_t a = kind == 0 ? 0 : kind == 1 ? 255 : next() % 256;
        L.SetPixel(x, y, a << 24 | (next() & 0xFFFFFFu));
      }
    }
  L.SetDrawMode(dmBlend);
  layer.SetLayerRect({0, 0, 97, 61});

  auto check = [&](const char* When) {
    view.ComposeBuffer();
    for (int y = 0; y < 61; ++y)
      for (int x = 0; x < 97; ++x) {
        const TColor32 f = L.Pixel(x, y), b = view.Bitmap().Pixel(x, y);
        const std::uint32_t a = f >> 24;
        TColor32 want = a == 0 ? b : f;
        if (a != 0 && a != 255) {
          want = 0;
          for (int s = 0; s < 32; s += 8)
            want |= ((((f >> s) & 255) * a + ((b >> s) & 255) * (256 - a) + 128) >> 8) << s;
        }
        ASSERT_EQ(view.Buffer().Pixel(x, y), want) << When << " " << x << "," << y;
      }
  };
  check("first frame");
  // Turn a clear stretch opaque and an opaque one clear; the layer hears it and re-reads.
  for (int x = 0; x < 97; ++x) {
    L.SetPixel(x, 7, 0xFF00FF00);
    L.SetPixel(x, 8, 0x00000000);
  }
  L.Changed();
  EXPECT_FALSE(view.BufferValid());
  check("after the change");

  // Frames over a changing view bitmap: white (what the layer expects first), the pattern
  // again, then the pattern with a stripe changed, as the needle does between readings.
  view.Bitmap().Fill(0xFFFFFFFF);
  check("over white");
  FillPattern(view.Bitmap());
  view.Bitmap().Changed();
  check("over the pattern again");
  for (int y = 20; y < 30; ++y)
    for (int x = 0; x < 97; ++x)
      view.Bitmap().SetPixel(x, y, 0x80123456u + static_cast<TColor32>(x));
  view.Bitmap().Changed();
  check("over a changed stripe");
}

// The layer's blend cache follows every change of its bitmap, also those that fire no event:
// a change inside an update bracket, and pixel writes followed only by the view's Changed().
// Each step turns clear pixels opaque or translucent and the other way, which a stale cache
// would paint as they were.
TEST(BitmapLayer, BlendCacheFollowsChangesThatFireNoEvent) {
  TImage32 view;
  view.resize(8, 4);
  view.Bitmap().Resize(8, 4);
  FillPattern(view.Bitmap());
  auto& layer = view.Layers().Add<TBitmapLayer>();
  TBitmap32& L = layer.Bitmap();
  L.Resize(8, 4);
  for (int y = 0; y < 4; ++y)
    for (int x = 0; x < 4; ++x) L.SetPixel(x, y, 0x80000000u);
  L.SetDrawMode(dmBlend);
  layer.SetLayerRect({0, 0, 8, 4});

  auto check = [&](const char* When) {
    view.ComposeBuffer();
    for (int y = 0; y < 4; ++y)
      for (int x = 0; x < 8; ++x) {
        const TColor32 f = L.Pixel(x, y), b = view.Bitmap().Pixel(x, y);
        const std::uint32_t a = f >> 24;
        TColor32 want = a == 0 ? b : f;
        if (a != 0 && a != 255) {
          want = 0;
          for (int s = 0; s < 32; s += 8)
            want |= ((((f >> s) & 255) * a + ((b >> s) & 255) * (256 - a) + 128) >> 8) << s;
        }
        EXPECT_EQ(view.Buffer().Pixel(x, y), want) << When << " " << x << "," << y;
      }
  };
  check("first frame");

  L.BeginUpdate();
  L.Fill(0xFFFF0000u);
  L.SetPixel(0, 0, 0x4000FF00u);
  L.EndUpdate();
  view.Repaint();
  check("after a bracketed change");
  L.Changed();  // each step stands alone: the cache is in step here whatever came before
  view.ComposeBuffer();

  L.SetPixel(0, 0, 0x40FF00FFu);
  L.SetPixel(5, 2, 0x00000000u);
  L.SetPixel(6, 3, 0x80123456u);
  view.Changed();
  check("after pixel writes and the view's Changed()");
}

namespace {

class RecordingImage : public TImage32 {
 public:
  std::vector<QRect> Painted;

 protected:
  void paintEvent(QPaintEvent* Event) override {
    Painted.push_back(Event->rect());
    TImage32::paintEvent(Event);
  }
};

}  // namespace

// A window shows the bitmap area changed by repainting only the part of itself that shows it,
// and what it shows then is the whole frame.
TEST(Image32, ABitmapAreaRepaintsOnlyItsPartOfTheWindow) {
  RecordingImage view;
  view.resize(40, 30);
  view.Bitmap().Resize(40, 30);
  FillPattern(view.Bitmap());
  view.show();
  // Painted once the window is exposed.
  for (int i = 0; i < 200 && view.Painted.empty(); ++i)
    QApplication::processEvents(QEventLoop::AllEvents, 10);
  ASSERT_TRUE(view.BufferValid());
  view.Painted.clear();

  view.BeginUpdate();
  for (int y = 6; y < 10; ++y)
    for (int x = 5; x < 9; ++x) view.Bitmap().SetPixel(x, y, 0xFF00FF00u);
  view.EndUpdate();
  view.InvalidateBitmapArea({5, 6, 9, 10});
  view.RepaintInvalid();
  ASSERT_EQ(view.Painted.size(), 1u);
  EXPECT_EQ(view.Painted[0], QRect(5, 6, 4, 4));
  EXPECT_TRUE(view.BufferValid());

  TBitmap32 want(40, 30);
  FillPattern(want);
  for (int y = 6; y < 10; ++y)
    for (int x = 5; x < 9; ++x) want.SetPixel(x, y, 0xFF00FF00u);
  const QImage shot = view.grab().toImage().convertToFormat(QImage::Format_ARGB32);
  for (int y = 0; y < 30; ++y)
    for (int x = 0; x < 40; ++x) ASSERT_EQ(shot.pixel(x, y), want.Pixel(x, y)) << x << "," << y;
}
