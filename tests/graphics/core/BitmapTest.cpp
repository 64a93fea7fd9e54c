#include "graphics/core/Bitmap32.h"
#include "graphics/core/Resamplers.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <string>
#include <vector>

using namespace kelta::gfx;

namespace {

// Records the bitmap's notifications in order.
struct EventLog {
  std::vector<std::string> Events;
  void Attach(TCustomBitmap32& B) {
    B.OnChange = [this](TNotifiablePersistent&) { Events.push_back("change"); };
    B.OnResize = [this](TCustomBitmap32&) { Events.push_back("resize"); };
    B.OnAreaChanged = [this](TCustomBitmap32&, const TRect& R) {
      Events.push_back("area " + std::to_string(R.Left) + "," + std::to_string(R.Top) + "," +
                       std::to_string(R.Right) + "," + std::to_string(R.Bottom));
    };
  }
};

}  // namespace

TEST(Bitmap32, NewBitmapDefaults) {
  TBitmap32 b;
  EXPECT_TRUE(b.Empty());
  EXPECT_EQ(b.Bits(), nullptr);
  EXPECT_EQ(b.DrawMode(), dmOpaque);
  EXPECT_EQ(b.CombineMode(), cmBlend);
  EXPECT_EQ(b.WrapMode(), wmClamp);
  EXPECT_EQ(b.MasterAlpha(), 255u);
  EXPECT_EQ(b.OuterColor(), 0u);
  EXPECT_EQ(b.ResamplerClassName(), "TNearestResampler");
  EXPECT_EQ(b.Resampler().PixelAccessMode(), pamSafe);
}

TEST(Bitmap32, ResizeGivesZeroStorageAndFiresChangeThenResize) {
  TBitmap32 b;
  EventLog log;
  log.Attach(b);
  EXPECT_TRUE(b.Resize(3, 2));
  EXPECT_EQ(log.Events, (std::vector<std::string>{"change", "resize"}));
  for (int y = 0; y < 2; ++y)
    for (int x = 0; x < 3; ++x) EXPECT_EQ(b.Pixel(x, y), 0u);
  EXPECT_EQ(b.ClipRect(), (TRect{0, 0, 3, 2}));
  EXPECT_EQ(b.FixedClipRect(), (TRect{0, 0, 768, 512}));
  EXPECT_FALSE(b.Clipping());

  log.Events.clear();
  b.SetPixel(2, 1, 0xFF00FF00);
  EXPECT_FALSE(b.Resize(3, 2));
  EXPECT_TRUE(log.Events.empty());
  EXPECT_EQ(b.Pixel(2, 1), 0xFF00FF00u);
  // Rows are top-down and contiguous.
  EXPECT_EQ(b.Bits()[1 * 3 + 2], 0xFF00FF00u);
}

TEST(Bitmap32, NegativeSizeIsEmptyAndFillDoesNothing) {
  TBitmap32 b;
  b.Resize(-5, 10);
  EXPECT_EQ(b.Width(), 0);
  EXPECT_EQ(b.Height(), 10);
  EXPECT_TRUE(b.Empty());
  EventLog log;
  log.Attach(b);
  b.Fill(0xFFFFFFFF);
  EXPECT_TRUE(log.Events.empty());
}

TEST(Bitmap32, OversizedSideRaisesAndKeepsBitmap) {
  TBitmap32 b(2, 3);
  b.SetPixel(1, 2, 0xFF010203);
  try {
    b.Resize(TBitmap32::kMaxSide + 1, 1);
    FAIL() << "oversized bitmap accepted";
  } catch (const EBitmapError& e) {
    EXPECT_STREQ(e.what(), "Can't allocate the DIB handle");
  }
  EXPECT_EQ(b.Width(), 2);
  EXPECT_EQ(b.Height(), 3);
  EXPECT_EQ(b.Pixel(1, 2), 0xFF010203u);
}

TEST(Bitmap32, FillResetAlphaAndBrackets) {
  TBitmap32 b(2, 2);
  EventLog log;
  log.Attach(b);
  b.BeginUpdate();
  b.Fill(0x00123456);
  EXPECT_TRUE(log.Events.empty());
  b.EndUpdate();
  EXPECT_TRUE(log.Events.empty()) << "EndUpdate fires nothing itself";
  b.ResetAlpha();
  EXPECT_EQ(log.Events, (std::vector<std::string>{"change"}));
  EXPECT_EQ(b.Pixel(1, 1), 0xFF123456u);
  try {
    b.EndUpdate();
    FAIL() << "unpaired EndUpdate accepted";
  } catch (const EAssertionFailed& e) {
    EXPECT_STREQ(e.what(), "Unpaired TThreadPersistent.EndUpdate");
  }
  EXPECT_EQ(b.UpdateCount(), 0);
}

TEST(Bitmap32, SettersFireOnlyOnChange) {
  TBitmap32 b;
  EventLog log;
  log.Attach(b);
  b.SetDrawMode(dmOpaque);
  b.SetMasterAlpha(255);
  b.SetCombineMode(cmBlend);
  EXPECT_TRUE(log.Events.empty());
  b.SetDrawMode(dmBlend);
  b.SetMasterAlpha(300);
  EXPECT_EQ(b.MasterAlpha(), 255u) << "clamped, so unchanged";
  b.SetMasterAlpha(-4);
  EXPECT_EQ(b.MasterAlpha(), 0u);
  EXPECT_EQ(log.Events.size(), 2u);
}

TEST(Bitmap32, SafeReadAnswersOuterColorOutside) {
  TBitmap32 b(2, 2);
  b.Fill(0xFF010203);
  b.SetOuterColor(0x80FFFFFF);
  EXPECT_EQ(b.PixelS(0, 0), 0xFF010203u);
  EXPECT_EQ(b.PixelS(1, 1), 0xFF010203u);
  for (auto [X, Y] : {std::pair{-1, 0}, {2, 0}, {0, -1}, {0, 2}, {-100000, 5}})
    EXPECT_EQ(b.PixelS(X, Y), 0x80FFFFFFu) << X << "," << Y;
}

TEST(Bitmap32, CopyFromTakesPixelsSettingsAndResamplerInOneChange) {
  TBitmap32 src(3, 1);
  src.SetPixel(0, 0, 1);
  src.SetPixel(2, 0, 3);
  src.SetDrawMode(dmBlend);
  src.SetMasterAlpha(77);
  src.SetOuterColor(0x11223344);
  src.SetWrapMode(wmMirror);
  src.SetResamplerClassName("TLinearResampler");
  src.Resampler().SetPixelAccessMode(pamTransparentEdge);

  TBitmap32 dst;
  EventLog log;
  log.Attach(dst);
  dst.CopyFrom(src);
  EXPECT_EQ(log.Events, (std::vector<std::string>{"resize", "change"}));
  EXPECT_EQ(dst.Width(), 3);
  EXPECT_EQ(dst.Pixel(0, 0), 1u);
  EXPECT_EQ(dst.Pixel(2, 0), 3u);
  EXPECT_EQ(dst.DrawMode(), dmBlend);
  EXPECT_EQ(dst.MasterAlpha(), 77u);
  EXPECT_EQ(dst.OuterColor(), 0x11223344u);
  EXPECT_EQ(dst.WrapMode(), wmMirror);
  EXPECT_EQ(dst.ResamplerClassName(), "TLinearResampler");
  EXPECT_EQ(dst.Resampler().PixelAccessMode(), pamTransparentEdge);
  EXPECT_EQ(&dst.Resampler().Bitmap(), &dst);
}

TEST(Bitmap32, CopyFromPictureFillsWhiteDrawsAndMakesOpaque) {
  TBitmap32 b;
  EventLog log;
  log.Attach(b);
  b.CopyFromPicture(2, 1, [](TCustomBitmap32& T) { T.SetPixel(1, 0, 0x00102030); });
  EXPECT_EQ(b.Pixel(0, 0), 0xFFFFFFFFu);
  EXPECT_EQ(b.Pixel(1, 0), 0xFF102030u);
  EXPECT_EQ(log.Events, (std::vector<std::string>{"resize", "change"}));

  // A failing picture leaves the bracket closed, so later changes are heard again.
  EXPECT_THROW(b.CopyFromPicture(1, 1, [](TCustomBitmap32&) { throw std::runtime_error("bad"); }),
               std::runtime_error);
  EXPECT_EQ(b.UpdateCount(), 0);
}

TEST(Bitmap32, ResamplerClassNameReplacesResampler) {
  TBitmap32 b;
  EventLog log;
  log.Attach(b);
  b.SetResamplerClassName("TLinearResampler");
  EXPECT_EQ(b.ResamplerClassName(), "TLinearResampler");
  EXPECT_EQ(log.Events.size(), 1u);
  EXPECT_THROW(b.SetResamplerClassName("TNoSuchResampler"), EBitmapError);
  EXPECT_EQ(b.ResamplerClassName(), "TLinearResampler");
  log.Events.clear();
  b.Resampler().SetPixelAccessMode(pamSafe);
  EXPECT_TRUE(log.Events.empty());
  b.Resampler().SetPixelAccessMode(pamUnsafe);
  EXPECT_EQ(log.Events.size(), 1u) << "the owner bitmap hears access-mode changes";
}

TEST(Bitmap32, AreaChangedHonoursBracketsAndMeasuring) {
  TBitmap32 b(4, 4);
  EventLog log;
  log.Attach(b);
  b.AreaChanged({1, 2, 3, 4});
  EXPECT_EQ(log.Events, (std::vector<std::string>{"area 1,2,3,4", "change"}));
  log.Events.clear();
  b.BeginUpdate();
  b.AreaChanged({0, 0, 1, 1});
  EXPECT_TRUE(log.Events.empty());
  b.SetMeasuringMode(true);
  b.AreaChanged({0, 0, 2, 2});
  EXPECT_EQ(log.Events, (std::vector<std::string>{"area 0,0,2,2"}));
  b.EndUpdate();
}

TEST(Bitmap32, ClearBorderAlphaFrames) {
  struct TCase {
    int W, H;
    TRect R;
    std::vector<int> Cleared;  // row-major indices expected with alpha 0
  };
  const TCase cases[] = {
      {1, 1, {0, 0, 1, 1}, {0}},
      {2, 2, {0, 0, 2, 2}, {0, 1, 2, 3}},
      {3, 3, {0, 0, 3, 3}, {0, 1, 2, 3, 5, 6, 7, 8}},
      {3, 3, {-5, -5, 50, 50}, {0, 1, 2, 3, 5, 6, 7, 8}},
      {4, 3, {1, 0, 3, 2}, {1, 2, 5, 6}},
      {3, 3, {3, 0, 9, 9}, {}},
  };
  for (const TCase& c : cases) {
    TBitmap32 b(c.W, c.H);
    b.Fill(0xFF112233);
    ClearBorderAlpha(b, c.R);
    for (int i = 0; i < c.W * c.H; ++i) {
      const bool want = std::find(c.Cleared.begin(), c.Cleared.end(), i) != c.Cleared.end();
      EXPECT_EQ(b.Bits()[i], want ? 0x00112233u : 0xFF112233u)
          << c.W << "x" << c.H << " pixel " << i;
    }
  }
}

TEST(Color32, WindowColourConversion) {
  EXPECT_EQ(WinColor(0x0000FF00), 0xFF00FF00u);    // clLime
  EXPECT_EQ(WinColor(0x00000000), 0xFF000000u);    // clBlack
  EXPECT_EQ(WinColor(0x00332211), 0xFF112233u);    // red and blue swap places
  EXPECT_EQ(WinColor(cl3DDkShadow), 0xFF404040u);  // system colour looked up first
  EXPECT_EQ(WinColor(clWindowFrame), 0xFF000000u);
}

// The change counter moves for every change, inside an update bracket as well, and for the
// pixel pointers handed out for writing; reading moves it not.
TEST(Bitmap32, ChangeCountMovesForEveryChangeWhateverFires) {
  TBitmap32 b(3, 2);
  TBitmap32 other(1, 1);
  EventLog log;
  log.Attach(b);
  b.BeginUpdate();
  struct TCase {
    const char* Name;
    std::function<void()> Change;
  };
  const TCase cases[] = {
      {"Fill", [&] { b.Fill(0xFF102030u); }},
      {"SetPixel", [&] { b.SetPixel(2, 1, 1u); }},
      {"Bits", [&] { b.Bits()[0] = 2u; }},
      {"ScanLine", [&] { b.ScanLine(1)[0] = 3u; }},
      {"PixelPtr", [&] { *b.PixelPtr(1, 0) = 4u; }},
      {"ResetAlpha", [&] { b.ResetAlpha(); }},
      {"ClearBorderAlpha", [&] { ClearBorderAlpha(b, b.BoundsRect()); }},
      {"Resize", [&] { b.Resize(4, 2); }},
      {"CopyFrom", [&] { b.CopyFrom(other); }},
      {"SetDrawMode", [&] { b.SetDrawMode(dmBlend); }},
      {"Changed", [&] { b.Changed(); }},
  };
  for (const TCase& c : cases) {
    const std::uint64_t before = b.ChangeCount();
    c.Change();
    EXPECT_GT(b.ChangeCount(), before) << c.Name;
  }
  b.EndUpdate();
  EXPECT_EQ(std::count(log.Events.begin(), log.Events.end(), "change"), 0)
      << "no change event inside the bracket";

  const std::uint64_t before = b.ChangeCount();
  const TBitmap32& reader = b;
  (void)reader.Pixel(0, 0);
  (void)reader.Bits();
  (void)reader.ScanLine(0);
  (void)b.PixelS(5, 5);
  EXPECT_EQ(b.ChangeCount(), before);
}
