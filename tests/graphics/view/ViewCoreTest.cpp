// The view without a window: its own viewport size, AutoSize, a repaint that composes at once,
// and the hooks a window control overrides (a repaint request, the change event) called when
// a change is outside an update bracket. Runs on Linux and, under Wine, on Windows.
#include "graphics/view/ViewCore.h"

#include <gtest/gtest.h>

namespace kelta::gfx {
namespace {

class TCountingView : public TViewCore {
 public:
  int Requests = 0, Changes = 0;

 protected:
  void RequestPaint() override { ++Requests; }
  void DoChange() override { ++Changes; }
};

TEST(ViewCore, ViewportIsItsOwnAndAutoSizeFollowsTheBitmap) {
  TViewCore view;
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
  TViewCore view;
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
  TCountingView view;
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
