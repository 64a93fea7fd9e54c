// The dial composition on real views: where the needle lands for given angles, what stays
// white, the one dial layer whose picture every load replaces, and what failures leave behind.
#include "graphics/dial/DialComposer.h"
#include "graphics/png/PngErrors.h"
#include "graphics/png/PngLoader.h"
#include "graphics/png/PngWriter.h"
#include "graphics/qt/Image32.h"

#include "tests/support/HeapCounter.h"
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
  std::string Path(const std::string& Name) const { return dir_.File(Name); }

  // Writes a picture whose pixels come from Pixel(x, y).
  std::string Picture(const std::string& Name, int W, int H,
                      const std::function<TColor32(int, int)>& Pixel) const {
    TBitmap32 b(W, H);
    for (int y = 0; y < H; ++y)
      for (int x = 0; x < W; ++x) b.SetPixel(x, y, Pixel(x, y));
    SavePngFile(b, Path(Name));
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

  kelta::test::TempDir dir_;
  TImage32 Dst, Src, ivBGR;
};

std::vector<TPoint> NonWhite(const TBitmap32& B) {
  std::vector<TPoint> out;
  for (int y = 0; y < B.Height(); ++y)
    for (int x = 0; x < B.Width(); ++x)
      if (B.Pixel(x, y) != 0xFFFFFFFFu) out.push_back({x, y});
  return out;
}

TEST_F(DialComposerTest, NeedlePivotLandsAt202_200AndTurnsCounterClockwise) {
  DialComposer c({Dst, Src, ivBGR}, MarkerNeedle());
  c.LoadDialImages(BlockDial());
  struct TCase {
    float Angle;
    TPoint Marker;  // where the pixel right of the pivot goes
  };
  const TCase cases[] = {
      {0, {212, 200}}, {90, {202, 190}}, {-90, {202, 210}}, {180, {192, 200}}, {360, {212, 200}},
  };
  for (const TCase& k : cases) {
    SCOPED_TRACE(k.Angle);
    c.DrawDial(k.Angle);
    const std::vector<TPoint> changed = NonWhite(Dst.Bitmap());
    ASSERT_EQ(changed.size(), 2u) << "only the pivot and the marker";
    const TColor32 pivot = Dst.Bitmap().Pixel(202, 200);
    const TColor32 marker = Dst.Bitmap().Pixel(k.Marker.X, k.Marker.Y);
    EXPECT_EQ(RedComponent(pivot), 255u);
    EXPECT_LT(GreenComponent(pivot), 8u);
    EXPECT_EQ(BlueComponent(marker), 255u);
    EXPECT_LT(RedComponent(marker), 8u);
  }
}

TEST_F(DialComposerTest, PixelsOutsideTheTurnedNeedlesBoxStayExactlyWhite) {
  const char* source = std::getenv("KELTA_SOURCE_DIR");
  ASSERT_NE(source, nullptr);
  const std::string needle = (fs::path(source) / "img" / "arrow2.PNG").string();
  DialComposer c({Dst, Src, ivBGR}, needle);
  c.LoadDialImages(BlockDial());
  const int w = Src.Bitmap().Width(), h = Src.Bitmap().Height();
  for (float angle : {0.0f, 37.0f, 90.0f, -123.4f, 200.0f}) {
    SCOPED_TRACE(angle);
    c.DrawDial(angle);
    const double a = angle * M_PI / 180, cs = std::cos(a), sn = std::sin(a);
    double l = 1e9, t = 1e9, r = -1e9, b = -1e9;
    for (auto [X, Y] : {std::pair{0, 0}, {w, 0}, {0, h}, {w, h}}) {
      const double px = (X - 12) * cs + (Y - 134) * sn + 202;
      const double py = -(X - 12) * sn + (Y - 134) * cs + 200;
      l = std::min(l, px), r = std::max(r, px), t = std::min(t, py), b = std::max(b, py);
    }
    int inside = 0;
    for (const TPoint& p : NonWhite(Dst.Bitmap())) {
      ASSERT_TRUE(p.X >= std::floor(l) - 1 && p.X <= std::ceil(r) + 1 && p.Y >= std::floor(t) - 1 &&
                  p.Y <= std::ceil(b) + 1)
          << p.X << "," << p.Y;
      ++inside;
    }
    EXPECT_GT(inside, 300) << "the needle was drawn";
  }
}

TEST_F(DialComposerTest, EveryLoadReplacesThePictureOfTheOneDialLayer) {
  // A second dial of another size and with its blocks elsewhere: nothing of the first may
  // remain, neither in the layer nor in the composed frame.
  const std::string first = BlockDial("first.png");
  const std::string second = Picture("second.png", 300, 200, [](int X, int Y) -> TColor32 {
    return X >= 290 && Y >= 190 ? 0xFF00FF00u : 0;
  });
  struct TCase {
    std::string Dial;
    int W, H;
    TColor32 Corner;  // the layer's pixel (0, 0)
    TColor32 Shown;   // and the frame's
  };
  DialComposer c({Dst, Src, ivBGR}, MarkerNeedle());
  const TCase blue{first, 404, 404, 0xFF0000FFu, 0xFF0000FFu};
  for (const TCase& k : {blue, TCase{second, 300, 200, 0x00FFFFFFu, 0xFFFFFFFFu}, blue}) {
    SCOPED_TRACE(k.Dial);
    c.LoadDialImages(k.Dial);
    ASSERT_EQ(Dst.Layers().Count(), 1);
    auto& layer = dynamic_cast<TBitmapLayer&>(Dst.Layers().Items(0));
    EXPECT_EQ(c.DialLayer(), &layer);
    EXPECT_EQ(Dst.Bitmap().Width(), k.W);
    EXPECT_EQ(Dst.Bitmap().Height(), k.H);
    EXPECT_EQ(Dst.width(), k.W) << "AutoSize";
    const TFloatRect want{0, 0, static_cast<float>(k.W), static_cast<float>(k.H)};
    EXPECT_EQ(layer.LayerRect(), want);
    EXPECT_TRUE(layer.Scaled());
    EXPECT_EQ(layer.Bitmap().DrawMode(), dmBlend);
    EXPECT_EQ(layer.Bitmap().Width(), k.W);
    EXPECT_EQ(layer.Bitmap().Pixel(0, 0), k.Corner);
    Dst.ComposeBuffer();
    EXPECT_EQ(Dst.Buffer().Pixel(0, 0), k.Shown) << "no earlier dial shows through";
  }
  EXPECT_EQ(Src.Bitmap().DrawMode(), dmBlend);
  EXPECT_EQ(Src.Bitmap().ResamplerClassName(), "TLinearResampler");
  EXPECT_EQ(AlphaComponent(Src.Bitmap().Pixel(0, 75)), 0u) << "needle frame cleared";

  // A view whose layers were cleared by someone else gets a dial layer again.
  Dst.Layers().Clear();
  EXPECT_EQ(c.DialLayer(), nullptr);
  c.LoadDialImages(second);
  EXPECT_EQ(Dst.Layers().Count(), 1);
}

TEST_F(DialComposerTest, ReloadingADialLeavesTheFrameAsItWas) {
  DialComposer c({Dst, Src, ivBGR}, MarkerNeedle());
  c.LoadDialImages(BlockDial());
  Dst.ComposeBuffer();
  // Opaque dial pixels replace. Half-transparent black was loaded as 0x807F7F7F (composited
  // over white) and blends over white: (127*128 + 255*128 + 128) >> 8 = 191.
  EXPECT_EQ(Dst.Buffer().Pixel(5, 5) & 0x00FFFFFFu, 0x0000FFu);
  EXPECT_EQ(RedComponent(Dst.Buffer().Pixel(25, 5)), 191u);
  EXPECT_EQ(Dst.Buffer().Pixel(200, 100) & 0x00FFFFFFu, 0xFFFFFFu);
  c.LoadDialImages(BlockDial());
  Dst.ComposeBuffer();
  EXPECT_EQ(RedComponent(Dst.Buffer().Pixel(25, 5)), 191u) << "not covered twice";
}

// What the console does on every information reply: memory must not grow with the number
// of loads (each stacked layer used to keep its own copy of the dial).
TEST_F(DialComposerTest, LayerCountAndHeapStayFlatOverAThousandLoads) {
  const std::string a = BlockDial("a.png", 200, 200);
  const std::string b =
      Picture("b.png", 200, 200, [](int X, int) -> TColor32 { return X < 100 ? 0x80FF0000u : 0; });
  DialComposer c({Dst, Src, ivBGR}, MarkerNeedle());
  constexpr int kLoads = 1000, kSettled = 50;
  std::size_t settled = 0;
  for (int i = 0; i < kLoads; ++i) {
    c.LoadDialImages(i % 2 ? b : a);
    Dst.ComposeBuffer();
    if (i + 1 == kSettled) settled = kelta::test::HeapBytesInUse();
  }
  EXPECT_EQ(Dst.Layers().Count(), 1);
  const long long grown =
      static_cast<long long>(kelta::test::HeapBytesInUse()) - static_cast<long long>(settled);
  // One more layer per load would be 950 x 160 kB; some slack for the rest.
  EXPECT_LT(grown, 256 * 1024) << "bytes gained over " << kLoads - kSettled << " loads";
}

TEST_F(DialComposerTest, DrawDialBeforeAnyLoadDrawsNothing) {
  DialComposer c({Dst, Src, ivBGR}, MarkerNeedle());
  EXPECT_NO_THROW(c.DrawDial(45));
  EXPECT_TRUE(Dst.Bitmap().Empty());
  EXPECT_EQ(Dst.Layers().Count(), 0);
  EXPECT_EQ(Dst.UpdateCount(), 0);
}

TEST_F(DialComposerTest, MissingNeedleFailsBeforeAnythingChanges) {
  DialComposer c({Dst, Src, ivBGR}, Path("missing.PNG"));
  try {
    c.LoadDialImages(BlockDial());
    FAIL() << "no error";
  } catch (const EFileOpenError& e) {
    EXPECT_EQ(std::string(e.what()),
              "Cannot open file \"" + Path("missing.PNG") + "\". No such file or directory");
  }
  EXPECT_TRUE(Src.Bitmap().Empty());
  EXPECT_TRUE(ivBGR.Bitmap().Empty());
  EXPECT_TRUE(Dst.Bitmap().Empty());
  EXPECT_EQ(Dst.Layers().Count(), 0);
}

TEST_F(DialComposerTest, FailingDialLeavesTheNeedleReloadedAndTheDialLayerAsItWas) {
  const std::string needle = MarkerNeedle();
  DialComposer c({Dst, Src, ivBGR}, needle);
  c.LoadDialImages(BlockDial());
  c.DrawDial(30);
  const std::vector<TColor32> before(Dst.Bitmap().Bits(), Dst.Bitmap().Bits() + 404 * 404);

  MarkerNeedle("needle.png", false);  // the same file, now without the marker
  {
    std::ofstream bad(Path("bad.png"), std::ios::binary);
    bad << "this is not a picture";
  }
  struct TCase {
    std::string Dial;
    bool OpenError;
  };
  for (const TCase& k : {TCase{Path("bad.png"), false}, TCase{Path("none.png"), true}}) {
    SCOPED_TRACE(k.Dial);
    if (k.OpenError)
      EXPECT_THROW(c.LoadDialImages(k.Dial), EFileOpenError);
    else
      EXPECT_THROW(c.LoadDialImages(k.Dial), EPngError);
    EXPECT_EQ(AlphaComponent(Src.Bitmap().Pixel(22, 134)), 0u) << "needle reloaded";
    ASSERT_EQ(Dst.Layers().Count(), 1);
    EXPECT_EQ(dynamic_cast<TBitmapLayer&>(Dst.Layers().Items(0)).Bitmap().Pixel(0, 0), 0xFF0000FFu)
        << "the dial layer keeps its picture";
    EXPECT_EQ(ivBGR.Bitmap().Pixel(0, 0), 0xFF0000FFu);
    EXPECT_TRUE(std::equal(before.begin(), before.end(), Dst.Bitmap().Bits())) << "not redrawn";
    EXPECT_EQ(Dst.UpdateCount(), 0);
  }
}

}  // namespace
}  // namespace kelta::gfx
