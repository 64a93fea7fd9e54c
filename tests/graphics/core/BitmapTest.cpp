#include "graphics/core/Bitmap32.h"
#include "graphics/core/Resamplers.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

using namespace kelta::gfx;

namespace {

// Records the bitmap's notifications in order.
struct TEventLog {
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
  TBitmap32 B;
  EXPECT_TRUE(B.Empty());
  EXPECT_EQ(B.Bits(), nullptr);
  EXPECT_EQ(B.DrawMode(), dmOpaque);
  EXPECT_EQ(B.CombineMode(), cmBlend);
  EXPECT_EQ(B.WrapMode(), wmClamp);
  EXPECT_EQ(B.MasterAlpha(), 255u);
  EXPECT_EQ(B.OuterColor(), 0u);
  EXPECT_EQ(B.ResamplerClassName(), "TNearestResampler");
  EXPECT_EQ(B.Resampler().PixelAccessMode(), pamSafe);
}

TEST(Bitmap32, ResizeGivesZeroStorageAndFiresChangeThenResize) {
  TBitmap32 B;
  TEventLog Log;
  Log.Attach(B);
  EXPECT_TRUE(B.Resize(3, 2));
  EXPECT_EQ(Log.Events, (std::vector<std::string>{"change", "resize"}));
  for (int Y = 0; Y < 2; ++Y)
    for (int X = 0; X < 3; ++X) EXPECT_EQ(B.Pixel(X, Y), 0u);
  EXPECT_EQ(B.ClipRect(), (TRect{0, 0, 3, 2}));
  EXPECT_EQ(B.FixedClipRect(), (TRect{0, 0, 768, 512}));
  EXPECT_FALSE(B.Clipping());

  Log.Events.clear();
  B.SetPixel(2, 1, 0xFF00FF00);
  EXPECT_FALSE(B.Resize(3, 2));
  EXPECT_TRUE(Log.Events.empty());
  EXPECT_EQ(B.Pixel(2, 1), 0xFF00FF00u);
  // Rows are top-down and contiguous.
  EXPECT_EQ(B.Bits()[1 * 3 + 2], 0xFF00FF00u);
}

TEST(Bitmap32, NegativeSizeIsEmptyAndFillDoesNothing) {
  TBitmap32 B;
  B.Resize(-5, 10);
  EXPECT_EQ(B.Width(), 0);
  EXPECT_EQ(B.Height(), 10);
  EXPECT_TRUE(B.Empty());
  TEventLog Log;
  Log.Attach(B);
  B.Fill(0xFFFFFFFF);
  EXPECT_TRUE(Log.Events.empty());
}

TEST(Bitmap32, OversizedSideRaisesAndKeepsBitmap) {
  TBitmap32 B(2, 3);
  B.SetPixel(1, 2, 0xFF010203);
  try {
    B.Resize(TBitmap32::kMaxSide + 1, 1);
    FAIL() << "oversized bitmap accepted";
  } catch (const EBitmapError& E) {
    EXPECT_STREQ(E.what(), "Can't allocate the DIB handle");
  }
  EXPECT_EQ(B.Width(), 2);
  EXPECT_EQ(B.Height(), 3);
  EXPECT_EQ(B.Pixel(1, 2), 0xFF010203u);
}

TEST(Bitmap32, FillResetAlphaAndBrackets) {
  TBitmap32 B(2, 2);
  TEventLog Log;
  Log.Attach(B);
  B.BeginUpdate();
  B.Fill(0x00123456);
  EXPECT_TRUE(Log.Events.empty());
  B.EndUpdate();
  EXPECT_TRUE(Log.Events.empty()) << "EndUpdate fires nothing itself";
  B.ResetAlpha();
  EXPECT_EQ(Log.Events, (std::vector<std::string>{"change"}));
  EXPECT_EQ(B.Pixel(1, 1), 0xFF123456u);
  try {
    B.EndUpdate();
    FAIL() << "unpaired EndUpdate accepted";
  } catch (const EAssertionFailed& E) {
    EXPECT_STREQ(E.what(), "Unpaired TThreadPersistent.EndUpdate");
  }
  EXPECT_EQ(B.UpdateCount(), 0);
}

TEST(Bitmap32, SettersFireOnlyOnChange) {
  TBitmap32 B;
  TEventLog Log;
  Log.Attach(B);
  B.SetDrawMode(dmOpaque);
  B.SetMasterAlpha(255);
  B.SetCombineMode(cmBlend);
  EXPECT_TRUE(Log.Events.empty());
  B.SetDrawMode(dmBlend);
  B.SetMasterAlpha(300);
  EXPECT_EQ(B.MasterAlpha(), 255u) << "clamped, so unchanged";
  B.SetMasterAlpha(-4);
  EXPECT_EQ(B.MasterAlpha(), 0u);
  EXPECT_EQ(Log.Events.size(), 2u);
}

TEST(Bitmap32, SafeReadAnswersOuterColorOutside) {
  TBitmap32 B(2, 2);
  B.Fill(0xFF010203);
  B.SetOuterColor(0x80FFFFFF);
  EXPECT_EQ(B.PixelS(0, 0), 0xFF010203u);
  EXPECT_EQ(B.PixelS(1, 1), 0xFF010203u);
  for (auto [X, Y] : {std::pair{-1, 0}, {2, 0}, {0, -1}, {0, 2}, {-100000, 5}})
    EXPECT_EQ(B.PixelS(X, Y), 0x80FFFFFFu) << X << "," << Y;
}

TEST(Bitmap32, CopyFromTakesPixelsSettingsAndResamplerInOneChange) {
  TBitmap32 Src(3, 1);
  Src.SetPixel(0, 0, 1);
  Src.SetPixel(2, 0, 3);
  Src.SetDrawMode(dmBlend);
  Src.SetMasterAlpha(77);
  Src.SetOuterColor(0x11223344);
  Src.SetWrapMode(wmMirror);
  Src.SetResamplerClassName("TLinearResampler");
  Src.Resampler().SetPixelAccessMode(pamTransparentEdge);

  TBitmap32 Dst;
  TEventLog Log;
  Log.Attach(Dst);
  Dst.CopyFrom(Src);
  EXPECT_EQ(Log.Events, (std::vector<std::string>{"resize", "change"}));
  EXPECT_EQ(Dst.Width(), 3);
  EXPECT_EQ(Dst.Pixel(0, 0), 1u);
  EXPECT_EQ(Dst.Pixel(2, 0), 3u);
  EXPECT_EQ(Dst.DrawMode(), dmBlend);
  EXPECT_EQ(Dst.MasterAlpha(), 77u);
  EXPECT_EQ(Dst.OuterColor(), 0x11223344u);
  EXPECT_EQ(Dst.WrapMode(), wmMirror);
  EXPECT_EQ(Dst.ResamplerClassName(), "TLinearResampler");
  EXPECT_EQ(Dst.Resampler().PixelAccessMode(), pamTransparentEdge);
  EXPECT_EQ(&Dst.Resampler().Bitmap(), &Dst);
}

TEST(Bitmap32, CopyFromPictureFillsWhiteDrawsAndMakesOpaque) {
  TBitmap32 B;
  TEventLog Log;
  Log.Attach(B);
  B.CopyFromPicture(2, 1, [](TCustomBitmap32& T) { T.SetPixel(1, 0, 0x00102030); });
  EXPECT_EQ(B.Pixel(0, 0), 0xFFFFFFFFu);
  EXPECT_EQ(B.Pixel(1, 0), 0xFF102030u);
  EXPECT_EQ(Log.Events, (std::vector<std::string>{"resize", "change"}));

  // A failing picture leaves the bracket closed, so later changes are heard again.
  EXPECT_THROW(B.CopyFromPicture(1, 1, [](TCustomBitmap32&) { throw std::runtime_error("bad"); }),
               std::runtime_error);
  EXPECT_EQ(B.UpdateCount(), 0);
}

TEST(Bitmap32, ResamplerClassNameReplacesResampler) {
  TBitmap32 B;
  TEventLog Log;
  Log.Attach(B);
  B.SetResamplerClassName("TLinearResampler");
  EXPECT_EQ(B.ResamplerClassName(), "TLinearResampler");
  EXPECT_EQ(Log.Events.size(), 1u);
  EXPECT_THROW(B.SetResamplerClassName("TNoSuchResampler"), EBitmapError);
  EXPECT_EQ(B.ResamplerClassName(), "TLinearResampler");
  Log.Events.clear();
  B.Resampler().SetPixelAccessMode(pamSafe);
  EXPECT_TRUE(Log.Events.empty());
  B.Resampler().SetPixelAccessMode(pamUnsafe);
  EXPECT_EQ(Log.Events.size(), 1u) << "the owner bitmap hears access-mode changes";
}

TEST(Bitmap32, AreaChangedHonoursBracketsAndMeasuring) {
  TBitmap32 B(4, 4);
  TEventLog Log;
  Log.Attach(B);
  B.AreaChanged({1, 2, 3, 4});
  EXPECT_EQ(Log.Events, (std::vector<std::string>{"area 1,2,3,4", "change"}));
  Log.Events.clear();
  B.BeginUpdate();
  B.AreaChanged({0, 0, 1, 1});
  EXPECT_TRUE(Log.Events.empty());
  B.SetMeasuringMode(true);
  B.AreaChanged({0, 0, 2, 2});
  EXPECT_EQ(Log.Events, (std::vector<std::string>{"area 0,0,2,2"}));
  B.EndUpdate();
}

TEST(Bitmap32, ClearBorderAlphaFrames) {
  struct TCase {
    int W, H;
    TRect R;
    std::vector<int> Cleared;  // row-major indices expected with alpha 0
  };
  const TCase Cases[] = {
      {1, 1, {0, 0, 1, 1}, {0}},
      {2, 2, {0, 0, 2, 2}, {0, 1, 2, 3}},
      {3, 3, {0, 0, 3, 3}, {0, 1, 2, 3, 5, 6, 7, 8}},
      {3, 3, {-5, -5, 50, 50}, {0, 1, 2, 3, 5, 6, 7, 8}},
      {4, 3, {1, 0, 3, 2}, {1, 2, 5, 6}},
      {3, 3, {3, 0, 9, 9}, {}},
  };
  for (const TCase& C : Cases) {
    TBitmap32 B(C.W, C.H);
    B.Fill(0xFF112233);
    ClearBorderAlpha(B, C.R);
    for (int I = 0; I < C.W * C.H; ++I) {
      const bool Want = std::find(C.Cleared.begin(), C.Cleared.end(), I) != C.Cleared.end();
      EXPECT_EQ(B.Bits()[I], Want ? 0x00112233u : 0xFF112233u)
          << C.W << "x" << C.H << " pixel " << I;
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
