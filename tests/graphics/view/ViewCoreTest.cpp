// The view without a window: its own viewport size, AutoSize, a repaint that composes at once,
// and the hooks a window control overrides (a repaint request, the change event) called when
// a change is outside an update bracket. Runs on Linux and, under Wine, on Windows.
#include "graphics/view/ViewCore.h"

#include <gtest/gtest.h>

#include <vector>

namespace kelta::gfx {
namespace {

class CountingView : public ViewCore {
 public:
  int Requests = 0, Changes = 0;

 protected:
  void RequestPaint() override { ++Requests; }
  void DoChange() override { ++Changes; }
};

TEST(ViewCore, ViewportIsItsOwnAndAutoSizeFollowsTheBitmap) {
  ViewCore view;
  EXPECT_EQ(view.ViewportRect(), (TRect{0, 0, 0, 0}));
  view.SetViewSize(-3, 7);
  EXPECT_EQ(view.ViewportRect(), (TRect{0, 0, 0, 7})) << "negative sizes count as 0";
  view.SetViewSize(10, 10);
  view.Bitmap().Resize(4, 2);
  EXPECT_EQ(view.PlacedBitmapRect(), (TRect{3, 4, 7, 6}));
  view.SetAutoSize(true);
  EXPECT_EQ(view.ViewportRect(), (TRect{0, 0, 4, 2}));
  view.Bitmap().Resize(6, 5);
  EXPECT_EQ(view.ViewportRect(), (TRect{0, 0, 6, 5}));
  EXPECT_EQ(view.PlacedBitmapRect(), (TRect{0, 0, 6, 5}));
}

TEST(ViewCore, RepaintComposesAtOnceAtTheViewportsSize) {
  ViewCore view;
  view.SetViewSize(5, 3);
  view.SetColor(0x00FF0000);  // blue
  view.Bitmap().Resize(1, 1);
  view.Bitmap().SetPixel(0, 0, 0xFF00FF00u);
  view.Bitmap().SetDrawMode(dmOpaque);
  EXPECT_FALSE(view.BufferValid());
  view.Repaint();
  ASSERT_TRUE(view.BufferValid());
  ASSERT_EQ(view.Buffer().Width(), 5);
  ASSERT_EQ(view.Buffer().Height(), 3);
  for (int y = 0; y < 3; ++y)
    for (int x = 0; x < 5; ++x)
      EXPECT_EQ(view.Buffer().Pixel(x, y), x == 2 && y == 1 ? 0xFF00FF00u : 0xFF0000FFu)
          << x << "," << y;
  view.SetViewSize(7, 3);
  EXPECT_FALSE(view.BufferValid()) << "a new viewport needs a new frame";
}

TEST(ViewCore, WindowHooksHearChangesOutsideUpdateBrackets) {
  CountingView view;
  view.SetViewSize(4, 4);
  view.Bitmap().Resize(4, 4);
  view.Requests = view.Changes = 0;
  view.BeginUpdate();
  view.Bitmap().Fill(0xFFFFFFFFu);
  view.Layers().Add<TBitmapLayer>();
  view.EndUpdate();
  EXPECT_EQ(view.Requests, 0);
  EXPECT_EQ(view.Changes, 0);
  view.Bitmap().Fill(0xFF000000u);
  EXPECT_EQ(view.Requests, 1);
  EXPECT_EQ(view.Changes, 1);
  view.SetColor(clWindow);
  EXPECT_EQ(view.Requests, 2) << "a new background repaints";
  EXPECT_EQ(view.Changes, 1) << "but is no change of the picture";
}

}  // namespace
}  // namespace kelta::gfx

namespace kelta::gfx {
namespace {

class AreaView : public ViewCore {
 public:
  std::vector<TRect> Requested;
  int WholeRequests = 0;

 protected:
  void RequestPaint() override { ++WholeRequests; }
  void RequestAreaPaint(const TRect& Area) override { Requested.push_back(Area); }
};

// Every pixel of a bitmap and of a half-transparent layer over it different, so that a pixel
// composed from the wrong place shows.
void Patterned(ViewCore& View, int W, int H) {
  View.Bitmap().SetDrawMode(dmOpaque);
  View.Bitmap().Resize(W, H);
  for (int y = 0; y < H; ++y)
    for (int x = 0; x < W; ++x)
      View.Bitmap().SetPixel(x, y, 0xFF000000u | static_cast<TColor32>(x * 977 + y * 131));
  TBitmapLayer& layer = View.Layers().Add<TBitmapLayer>();
  layer.Bitmap().Resize(W, H);
  for (int y = 0; y < H; ++y)
    for (int x = 0; x < W; ++x)
      layer.Bitmap().SetPixel(x, y, static_cast<TColor32>((x + y) % 3) * 0x7F000000u | 0x00306090u);
  layer.Bitmap().SetDrawMode(dmBlend);
  layer.SetLayerRect({0, 0, static_cast<float>(W), static_cast<float>(H)});
  layer.SetScaled(true);
}

std::size_t Pixels(const std::vector<TRect>& Areas) {
  std::size_t n = 0;
  for (const TRect& a : Areas) n += static_cast<std::size_t>(a.Width()) * a.Height();
  return n;
}

TEST(ViewCoreArea, ABitmapAreaRecomposesOnlyWhereItShowsAndEqualsTheWholeFrame) {
  AreaView view, whole;
  view.SetViewSize(30, 20);
  whole.SetViewSize(30, 20);
  Patterned(view, 20, 10);  // centred: placed at (5, 5)
  Patterned(whole, 20, 10);
  view.ComposeBuffer();
  view.Requested.clear();
  view.WholeRequests = 0;
  const std::uint64_t count = view.ComposeCount();

  view.BeginUpdate();
  for (int y = 2; y < 6; ++y)
    for (int x = 15; x < 25; ++x) view.Bitmap().SetPixel(x < 20 ? x : 19, y, 0xFF00FF00u);
  view.EndUpdate();
  EXPECT_TRUE(view.BufferValid()) << "bitmap changes in a bracket wait for their area";
  view.InvalidateBitmapArea({15, 2, 25, 6});   // reaches past the bitmap
  view.InvalidateBitmapArea({-9, -9, 0, 40});  // shows nowhere
  EXPECT_FALSE(view.BufferValid());
  ASSERT_EQ(view.InvalidAreas(), (std::vector<TRect>{{20, 7, 25, 11}}));
  EXPECT_EQ(view.Requested, view.InvalidAreas());
  EXPECT_EQ(view.WholeRequests, 0);
  view.RepaintInvalid();
  EXPECT_TRUE(view.BufferValid());
  EXPECT_EQ(view.ComposeCount(), count + 1);
  EXPECT_EQ(view.ComposedAreas(), (std::vector<TRect>{{20, 7, 25, 11}}));

  for (int y = 2; y < 6; ++y)
    for (int x = 15; x < 20; ++x) whole.Bitmap().SetPixel(x, y, 0xFF00FF00u);
  whole.ComposeBuffer();
  for (int y = 0; y < 20; ++y)
    for (int x = 0; x < 30; ++x)
      ASSERT_EQ(view.Buffer().Pixel(x, y), whole.Buffer().Pixel(x, y)) << x << "," << y;
}

TEST(ViewCoreArea, OverlappingAreasAreComposedOnceAndManyMergeIntoOne) {
  AreaView view;
  view.SetViewSize(100, 100);
  Patterned(view, 100, 100);
  view.ComposeBuffer();
  view.InvalidateBitmapArea({0, 0, 10, 10});
  view.InvalidateBitmapArea({5, 5, 15, 15});
  view.InvalidateBitmapArea({6, 6, 9, 9});  // inside both
  EXPECT_EQ(Pixels(view.InvalidAreas()), 100u + 100u - 25u);
  for (const TRect& a : view.InvalidAreas())
    for (const TRect& b : view.InvalidAreas())
      if (&a != &b) {
        EXPECT_TRUE(Intersect(a, b).IsEmpty());
      }
  // Overlapping this much, one box has fewer pixels than the two: merged.
  view.InvalidateBitmapArea({50, 0, 60, 10});
  view.InvalidateBitmapArea({51, 1, 61, 11});
  EXPECT_EQ(view.InvalidAreas().back(), (TRect{50, 0, 61, 11}));
  EXPECT_EQ(Pixels(view.InvalidAreas()), 175u + 121u);
  for (int i = 0; i < 40; ++i) view.InvalidateBitmapArea({i * 2, 50, i * 2 + 1, 51 + i});
  ASSERT_LE(view.InvalidAreas().size(), 16u);
  view.ComposeBuffer();
  EXPECT_TRUE(view.BufferValid());
}

TEST(ViewCoreArea, WholeFrameWhenAChangeWasHeldOrTheBitmapIsScaled) {
  AreaView view;
  view.SetViewSize(20, 20);
  Patterned(view, 20, 20);
  view.ComposeBuffer();
  view.BeginUpdate();
  view.Layers().Items(0).SetLayerOptions(0);  // hidden: no area of the bitmap says so
  view.EndUpdate();
  view.InvalidateBitmapArea({0, 0, 2, 2});
  EXPECT_TRUE(view.InvalidAreas().empty());
  EXPECT_FALSE(view.BufferValid());
  view.ComposeBuffer();
  EXPECT_EQ(view.ComposedAreas(), (std::vector<TRect>{{0, 0, 20, 20}}));

  view.InvalidateBitmapArea({0, 0, 2, 2});
  EXPECT_EQ(view.InvalidAreas().size(), 1u) << "the held change was composed";
  view.ComposeBuffer();
  view.SetScaleMode(smScale);
  view.SetScale(2);
  view.ComposeBuffer();
  view.InvalidateBitmapArea({0, 0, 2, 2});
  EXPECT_TRUE(view.InvalidAreas().empty());
  EXPECT_FALSE(view.BufferValid());
}

}  // namespace
}  // namespace kelta::gfx
