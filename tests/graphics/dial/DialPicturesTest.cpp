// The dial pictures in img/ as an instrument user reads them, loaded and composed by the
// project's own code: the graduation at the needle's tip is made of ticks that stand apart,
// the needle runs into it, the corners take the panel's colour, and a partial dial graduates
// and marks the sector beyond +-120 as well.
#include "graphics/dial/DialComposer.h"
#include "graphics/png/PngLoader.h"
#include "graphics/qt/Image32.h"

#include "tests/support/QtTestApp.h"

#include <QPalette>

#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <numbers>
#include <string>

namespace kelta::gfx {
namespace {

namespace fs = std::filesystem;

struct TDial {
  const char* File;
  bool FullTurn;
};
const TDial kDials[] = {
    {"Mode0.png", true}, {"Mode1.png", false}, {"Mode2.png", true}, {"Mode3.png", false}};

// The graduation's inner edge and the needle's tip, in pixels from the pivot.
constexpr double kScaleInner = 122;
constexpr double kNeedleTip = 132;

// The pixel at Radius from the pivot (202, 200), in the direction Deg clockwise from the top.
TColor32 At(const TBitmap32& B, double Radius, double Deg) {
  const double a = Deg * std::numbers::pi / 180;
  const int x = static_cast<int>(std::floor(202.5 + Radius * std::sin(a)));
  const int y = static_cast<int>(std::floor(200.5 - Radius * std::cos(a)));
  return B.Pixel(x, y);
}

// The most opaque pixel of the 3 x 3 block around that point: a thin tick need not cover the
// centre pixel fully.
TColor32 Densest(const TBitmap32& B, double Radius, double Deg) {
  TColor32 best = 0;
  const double a = Deg * std::numbers::pi / 180;
  const int cx = static_cast<int>(std::floor(202.5 + Radius * std::sin(a)));
  const int cy = static_cast<int>(std::floor(200.5 - Radius * std::cos(a)));
  for (int y = cy - 1; y <= cy + 1; ++y)
    for (int x = cx - 1; x <= cx + 1; ++x)
      if (AlphaComponent(B.Pixel(x, y)) > AlphaComponent(best)) best = B.Pixel(x, y);
  return best;
}

bool Reddish(TColor32 C) { return RedComponent(C) >= GreenComponent(C) + 80; }
bool Dark(TColor32 C) { return RedComponent(C) < 90 && GreenComponent(C) < 90; }

class DialPicturesTest : public ::testing::Test {
 protected:
  void SetUp() override {
    const char* s = std::getenv("KELTA_SOURCE_DIR");
    ASSERT_NE(s, nullptr);
    img_ = fs::path(s) / "img";
  }

  void Load(const char* File, TBitmap32& Out) const {
    bool alphaUsed = false;
    LoadPngFile(Out, (img_ / File).string(), alphaUsed);
  }

  // The view's bitmap with the dial's layer blended over it, at a needle angle.
  void Composed(const char* File, float Angle, TBitmap32& Out) const {
    TImage32 dst, src, ivBGR;
    DialComposer composer({dst, src, ivBGR}, (img_ / "arrow2.PNG").string());
    composer.LoadDialImages((img_ / File).string());
    composer.DrawDial(Angle);
    dst.ComposeBuffer();
    Out.CopyFrom(dst.Buffer());
  }

  fs::path img_;
};

TEST_F(DialPicturesTest, CornersTakeThePanelColour) {
  // The console panel around the dial keeps Qt's standard window colour.
  const TColor32 panel = 0xFF000000u | QPalette().color(QPalette::Window).rgb();
  for (const TDial& d : kDials) {
    SCOPED_TRACE(d.File);
    TBitmap32 b;
    Load(d.File, b);
    ASSERT_EQ(b.Width(), 404);
    ASSERT_EQ(b.Height(), 404);
    int outside = 0;
    for (int y = 0; y < b.Height(); ++y) {
      for (int x = 0; x < b.Width(); ++x) {
        if (std::hypot(x + 0.5 - 202.5, y + 0.5 - 200.5) < 201) continue;
        ASSERT_EQ(b.Pixel(x, y), panel) << x << "," << y;
        ++outside;
      }
    }
    EXPECT_GT(outside, 30000);
    // Over the view's white, as the operator sees it.
    TBitmap32 shown;
    Composed(d.File, 0, shown);
    for (const auto& [x, y] : {std::pair{0, 0}, {403, 0}, {0, 403}, {403, 403}})
      EXPECT_EQ(shown.Pixel(x, y) | 0xFF000000u, panel);
  }
}

TEST_F(DialPicturesTest, TicksAtTheNeedlesTipStandApart) {
  // Every 5 degrees round the whole dial (the partial one graduates its over-range sector
  // too), each tick separated from the next by clear face.
  const double r = kScaleInner + 6;
  for (const TDial& d : kDials) {
    SCOPED_TRACE(d.File);
    TBitmap32 b;
    Load(d.File, b);
    int ticks = 0;
    double gap = 0, narrowestGap = 360;
    bool inTick = AlphaComponent(At(b, r, -0.05)) >= 128;
    for (double deg = 0; deg < 360; deg += 0.05) {
      const bool ink = AlphaComponent(At(b, r, deg)) >= 128;
      if (ink && !inTick) {
        ++ticks;
        narrowestGap = std::min(narrowestGap, gap);
      }
      gap = ink ? 0 : gap + 0.05;
      inTick = ink;
    }
    EXPECT_EQ(ticks, 72);
    EXPECT_GE(narrowestGap * r * std::numbers::pi / 180, 6.0) << "pixels between ticks";
  }
}

TEST_F(DialPicturesTest, TheNeedleShowsAndRunsIntoTheGraduation) {
  for (const TDial& d : kDials) {
    SCOPED_TRACE(d.File);
    TBitmap32 dial;
    Load(d.File, dial);
    // Angles between two ticks; the screen direction of a needle angle is its negation.
    for (const float angle : {2.5f, 47.5f, -92.5f, 177.5f}) {
      SCOPED_TRACE(angle);
      const double deg = -angle;
      // The face is clear along the needle's way up to the graduation (the lower half holds
      // the readout window and its caption).
      if (std::abs(angle) < 90) {
        for (double r = 12; r < kScaleInner - 1; r += 0.5)
          ASSERT_EQ(AlphaComponent(At(dial, r, deg)), 0u) << r;
      }
      // The ticks on both sides reach inside the needle's tip.
      EXPECT_GE(AlphaComponent(Densest(dial, kNeedleTip - 4, deg - 2.5)), 160u);
      EXPECT_GE(AlphaComponent(Densest(dial, kNeedleTip - 4, deg + 2.5)), 160u);
      // The needle is seen up to its tip, among the ticks: the view differs there from the
      // view with the needle turned away.
      TBitmap32 with, without;
      Composed(d.File, angle, with);
      Composed(d.File, angle + 180, without);
      double farthest = 0;
      for (double r = 20; r < 150; r += 0.5)
        if (At(with, r, deg) != At(without, r, deg)) farthest = r;
      EXPECT_GE(farthest, kScaleInner + 6);
      EXPECT_LE(farthest, kNeedleTip + 1);
    }
  }
}

TEST_F(DialPicturesTest, PartialDialsMarkTheSectorBeyond120) {
  const double r = kScaleInner + 6;
  for (const TDial& d : kDials) {
    SCOPED_TRACE(d.File);
    TBitmap32 b;
    Load(d.File, b);
    for (int deg = -175; deg <= 180; deg += 5) {
      SCOPED_TRACE(deg);
      const bool over = !d.FullTurn && std::abs(deg) > 120;
      // The tick itself: red beyond +-120 on a partial dial, dark ink elsewhere.
      const TColor32 tick = Densest(b, r, deg);
      if (over) {
        EXPECT_TRUE(Reddish(tick)) << std::hex << tick;
      } else if (std::abs(deg) != 120 || d.FullTurn) {
        EXPECT_TRUE(Dark(tick)) << std::hex << tick;
      }
      // Between ticks: a pale red band over the sector, clear face on the measuring scale.
      const TColor32 between = At(b, r, deg + 2.5);
      if (over && std::abs(deg + 2.5) > 120) {
        EXPECT_GE(AlphaComponent(between), 30u);
        EXPECT_LE(AlphaComponent(between), 100u) << "the needle still shows through";
        // The loader keeps colours composed over white: a pale red.
        EXPECT_GE(RedComponent(between), GreenComponent(between) + 24) << std::hex << between;
      } else if (std::abs(deg + 2.5) < 120) {
        EXPECT_EQ(AlphaComponent(between), 0u);
      }
    }
    // The stops at the ends of the partial scale are red too.
    if (!d.FullTurn) {
      EXPECT_TRUE(Reddish(Densest(b, r, 120)));
      EXPECT_TRUE(Reddish(Densest(b, r, -120)));
    }
  }
}

}  // namespace
}  // namespace kelta::gfx
