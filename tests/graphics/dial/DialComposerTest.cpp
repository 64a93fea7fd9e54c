// The dial composition on real views: where the needle lands for given angles, what stays
// white, one more layer per load, and what failures leave behind.
#include "graphics/dial/DialComposer.h"
#include "graphics/png/PngErrors.h"
#include "graphics/png/PngLoader.h"
#include "graphics/png/PngWriter.h"

#include "tests/support/QtTestApp.h"
#include "tests/support/TempDir.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>

namespace kelta::gfx {
namespace {

namespace fs = std::filesystem;

class DialComposerTest : public ::testing::Test {
 protected:
  std::string Path(const std::string& Name) const { return Dir_.File(Name); }

  // Writes a picture whose pixels come from Pixel(x, y).
  std::string Picture(const std::string& Name, int W, int H,
                      const std::function<TColor32(int, int)>& Pixel) const {
    TBitmap32 B(W, H);
    for (int Y = 0; Y < H; ++Y)
      for (int X = 0; X < W; ++X) B.SetPixel(X, Y, Pixel(X, Y));
    SavePngFile(B, Path(Name));
    return Path(Name);
  }

  // A 25 x 150 needle, transparent but for an opaque red pivot and optionally an opaque
  // blue marker ten pixels to its right.
  std::string MarkerNeedle(const std::string& Name = "needle.png", bool Marker = true) const {
    return Picture(Name, 25, 150, [Marker](int X, int Y) -> TColor32 {
      if (X == 12 && Y == 134) return 0xFFFF0000u;
      if (Marker && X == 22 && Y == 134) return 0xFF0000FFu;
      return 0;
    });
  }

  // A transparent dial with an opaque blue corner block and a half-transparent black block.
  std::string BlockDial(const std::string& Name = "dial.png", int W = 404, int H = 404) const {
    return Picture(Name, W, H, [](int X, int Y) -> TColor32 {
      if (X < 10 && Y < 10) return 0xFF0000FFu;
      if (X >= 20 && X < 30 && Y < 10) return 0x80000000u;
      return 0;
    });
  }

  kelta::test::TempDir Dir_;
  TImage32 Dst, Src, ivBGR;
};

std::vector<TPoint> NonWhite(const TBitmap32& B) {
  std::vector<TPoint> Out;
  for (int Y = 0; Y < B.Height(); ++Y)
    for (int X = 0; X < B.Width(); ++X)
      if (B.Pixel(X, Y) != 0xFFFFFFFFu) Out.push_back({X, Y});
  return Out;
}

TEST_F(DialComposerTest, NeedlePivotLandsAt202_200AndTurnsCounterClockwise) {
  TDialComposer C({Dst, Src, ivBGR}, MarkerNeedle());
  C.LoadDialImages(BlockDial());
  struct TCase {
    float Angle;
    TPoint Marker;  // where the pixel right of the pivot goes
  };
  const TCase Cases[] = {
      {0, {212, 200}}, {90, {202, 190}}, {-90, {202, 210}}, {180, {192, 200}}, {360, {212, 200}},
  };
  for (const TCase& K : Cases) {
    SCOPED_TRACE(K.Angle);
    C.DrawDial(K.Angle);
    const std::vector<TPoint> Changed = NonWhite(Dst.Bitmap());
    ASSERT_EQ(Changed.size(), 2u) << "only the pivot and the marker";
    const TColor32 Pivot = Dst.Bitmap().Pixel(202, 200);
    const TColor32 Marker = Dst.Bitmap().Pixel(K.Marker.X, K.Marker.Y);
    EXPECT_EQ(RedComponent(Pivot), 255u);
    EXPECT_LT(GreenComponent(Pivot), 8u);
    EXPECT_EQ(BlueComponent(Marker), 255u);
    EXPECT_LT(RedComponent(Marker), 8u);
  }
}

TEST_F(DialComposerTest, PixelsOutsideTheTurnedNeedlesBoxStayExactlyWhite) {
  const char* Source = std::getenv("KELTA_SOURCE_DIR");
  ASSERT_NE(Source, nullptr);
  const std::string Needle = (fs::path(Source) / "img" / "arrow2.PNG").string();
  TDialComposer C({Dst, Src, ivBGR}, Needle);
  C.LoadDialImages(BlockDial());
  const int W = Src.Bitmap().Width(), H = Src.Bitmap().Height();
  for (float Angle : {0.0f, 37.0f, 90.0f, -123.4f, 200.0f}) {
    SCOPED_TRACE(Angle);
    C.DrawDial(Angle);
    const double A = Angle * M_PI / 180, Cs = std::cos(A), Sn = std::sin(A);
    double L = 1e9, T = 1e9, R = -1e9, B = -1e9;
    for (auto [X, Y] : {std::pair{0, 0}, {W, 0}, {0, H}, {W, H}}) {
      const double Px = (X - 12) * Cs + (Y - 134) * Sn + 202;
      const double Py = -(X - 12) * Sn + (Y - 134) * Cs + 200;
      L = std::min(L, Px), R = std::max(R, Px), T = std::min(T, Py), B = std::max(B, Py);
    }
    int Inside = 0;
    for (const TPoint& P : NonWhite(Dst.Bitmap())) {
      ASSERT_TRUE(P.X >= std::floor(L) - 1 && P.X <= std::ceil(R) + 1 && P.Y >= std::floor(T) - 1 &&
                  P.Y <= std::ceil(B) + 1)
          << P.X << "," << P.Y;
      ++Inside;
    }
    EXPECT_GT(Inside, 300) << "the needle was drawn";
  }
}

TEST_F(DialComposerTest, EveryLoadAddsOneLayerCoveringTheDial) {
  struct TCase {
    int W, H;
  };
  for (const TCase& K : {TCase{404, 404}, TCase{300, 200}}) {
    SCOPED_TRACE(K.W);
    TImage32 D, S, I;
    TDialComposer C({D, S, I}, MarkerNeedle());
    const std::string Dial = BlockDial("dial" + std::to_string(K.W) + ".png", K.W, K.H);
    C.LoadDialImages(Dial);
    C.LoadDialImages(Dial);
    ASSERT_EQ(D.Layers().Count(), 2);
    EXPECT_EQ(D.Bitmap().Width(), K.W);
    EXPECT_EQ(D.Bitmap().Height(), K.H);
    EXPECT_EQ(D.width(), K.W) << "AutoSize";
    for (int Index = 0; Index < 2; ++Index) {
      auto& Layer = dynamic_cast<TBitmapLayer&>(D.Layers().Items(Index));
      const TFloatRect Want{0, 0, static_cast<float>(K.W), static_cast<float>(K.H)};
      EXPECT_EQ(Layer.LayerRect(), Want);
      EXPECT_TRUE(Layer.Scaled());
      EXPECT_EQ(Layer.Bitmap().DrawMode(), dmBlend);
      EXPECT_EQ(Layer.Bitmap().Pixel(0, 0), 0xFF0000FFu);
    }
    EXPECT_EQ(S.Bitmap().DrawMode(), dmBlend);
    EXPECT_EQ(S.Bitmap().ResamplerClassName(), "TLinearResampler");
    EXPECT_EQ(AlphaComponent(S.Bitmap().Pixel(0, 75)), 0u) << "needle frame cleared";
  }
}

TEST_F(DialComposerTest, StackedLayersCoverTheNeedleMoreStrongly) {
  TDialComposer C({Dst, Src, ivBGR}, MarkerNeedle());
  C.LoadDialImages(BlockDial());
  Dst.ComposeBuffer();
  // Opaque dial pixels replace. Half-transparent black was loaded as 0x807F7F7F (composited
  // over white) and blends over white: (127*128 + 255*128 + 128) >> 8 = 191.
  EXPECT_EQ(Dst.Buffer().Pixel(5, 5) & 0x00FFFFFFu, 0x0000FFu);
  EXPECT_EQ(RedComponent(Dst.Buffer().Pixel(25, 5)), 191u);
  EXPECT_EQ(Dst.Buffer().Pixel(200, 100) & 0x00FFFFFFu, 0xFFFFFFu);
  C.LoadDialImages(BlockDial());
  Dst.ComposeBuffer();
  EXPECT_EQ(RedComponent(Dst.Buffer().Pixel(25, 5)), 159u);  // (127*128 + 191*128 + 128) >> 8
}

TEST_F(DialComposerTest, DrawDialBeforeAnyLoadDrawsNothing) {
  TDialComposer C({Dst, Src, ivBGR}, MarkerNeedle());
  EXPECT_NO_THROW(C.DrawDial(45));
  EXPECT_TRUE(Dst.Bitmap().Empty());
  EXPECT_EQ(Dst.Layers().Count(), 0);
  EXPECT_EQ(Dst.UpdateCount(), 0);
}

TEST_F(DialComposerTest, MissingNeedleFailsBeforeAnythingChanges) {
  TDialComposer C({Dst, Src, ivBGR}, Path("missing.PNG"));
  try {
    C.LoadDialImages(BlockDial());
    FAIL() << "no error";
  } catch (const EFileOpenError& E) {
    EXPECT_EQ(std::string(E.what()),
              "Cannot open file \"" + Path("missing.PNG") + "\". No such file or directory");
  }
  EXPECT_TRUE(Src.Bitmap().Empty());
  EXPECT_TRUE(ivBGR.Bitmap().Empty());
  EXPECT_TRUE(Dst.Bitmap().Empty());
  EXPECT_EQ(Dst.Layers().Count(), 0);
}

TEST_F(DialComposerTest, FailingDialLeavesTheNeedleReloadedButAddsNothing) {
  const std::string Needle = MarkerNeedle();
  TDialComposer C({Dst, Src, ivBGR}, Needle);
  C.LoadDialImages(BlockDial());
  C.DrawDial(30);
  const std::vector<TColor32> Before(Dst.Bitmap().Bits(), Dst.Bitmap().Bits() + 404 * 404);

  MarkerNeedle("needle.png", false);  // the same file, now without the marker
  {
    std::ofstream Bad(Path("bad.png"), std::ios::binary);
    Bad << "this is not a picture";
  }
  struct TCase {
    std::string Dial;
    bool OpenError;
  };
  for (const TCase& K : {TCase{Path("bad.png"), false}, TCase{Path("none.png"), true}}) {
    SCOPED_TRACE(K.Dial);
    if (K.OpenError)
      EXPECT_THROW(C.LoadDialImages(K.Dial), EFileOpenError);
    else
      EXPECT_THROW(C.LoadDialImages(K.Dial), EPngError);
    EXPECT_EQ(AlphaComponent(Src.Bitmap().Pixel(22, 134)), 0u) << "needle reloaded";
    EXPECT_EQ(Dst.Layers().Count(), 1);
    EXPECT_EQ(ivBGR.Bitmap().Pixel(0, 0), 0xFF0000FFu);
    EXPECT_TRUE(std::equal(Before.begin(), Before.end(), Dst.Bitmap().Bits())) << "not redrawn";
    EXPECT_EQ(Dst.UpdateCount(), 0);
  }
}

}  // namespace
}  // namespace kelta::gfx
