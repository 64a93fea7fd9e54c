// kelta-render-dial: the written picture is the composed view, opaque, with the readout the
// console puts over it showing the angle or, with a mode, the reading; failures exit non-zero.
#include "tests/support/RunTool.h"
#include "tests/support/TempDir.h"

#include "graphics/dial/DialComposer.h"
#include "graphics/dial/DialFrame.h"
#include "graphics/png/PngLoader.h"
#include "graphics/qt/DialReadout.h"
#include "graphics/qt/Image32.h"
#include "sevenseg/qt/iSevenSegmentAnalog.h"

#include "tests/support/QtTestApp.h"

#include <QImage>

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>

namespace kelta::gfx {
namespace {

namespace fs = std::filesystem;
using kelta::test::RunTool;
using kelta::test::ShellQuote;

class RenderDialToolTest : public ::testing::Test {
 protected:
  void SetUp() override {
    const char* s = std::getenv("KELTA_SOURCE_DIR");
    ASSERT_NE(s, nullptr);
    source_ = s;
  }

  fs::path source_;
  kelta::test::TempDir dir_;
  const std::string out_ = dir_.File("dial.png");
};

bool InReadout(int x, int y) {
  const DialReadoutRect& r = kDialReadoutRect;
  return x >= r.Left && x < r.Left + r.Width && y >= r.Top && y < r.Top + r.Height;
}

// The console's readout on its own, showing Value, as the screen shows it.
QImage Readout(double Value) {
  QWidget view;
  view.resize(404, 404);
  sevenseg::TiSevenSegmentAnalog* r = CreateDialReadout(view);
  r->SetValue(Value);
  QImage shot(r->size(), QImage::Format_RGB32);
  r->render(&shot);
  return shot;
}

TEST_F(RenderDialToolTest, WritesTheComposedViewOpaqueWithTheReadout) {
  // Without a mode the readout shows the needle angle; with one, the reading, which turns the
  // needle the other way in modes 0 and 1.
  struct TCase {
    const char* Dial;
    const char* Args;
    double Reading;
    float Needle;
  };
  const TCase cases[] = {{"Mode0.png", " --angle 30", 30, 30},
                         {"Mode3.png", " --angle -72.5", -72.5, -72.5f},
                         {"Mode1.png", " --angle 137.25 --mode 1", 137.25, -137.25f},
                         {"Mode3.png", " --angle 12.3 --mode 3", 12.3, 12.3f}};
  for (const TCase& c : cases) {
    SCOPED_TRACE(std::string(c.Dial) + c.Args);
    // Run from the source folder, so the needle comes from img/ there.
    const auto r =
        RunTool("cd " + ShellQuote(source_.string()) + " && " + ShellQuote(KELTA_RENDER_DIAL) +
                " --dial img/" + c.Dial + c.Args + " --out " + ShellQuote(out_));
    ASSERT_EQ(r.exitCode, 0) << r.err;

    TBitmap32 written;
    bool alphaUsed = false;
    LoadPngFile(written, out_, alphaUsed);

    TImage32 dst, src, ivBGR;
    DialComposer composer({dst, src, ivBGR}, (source_ / "img" / "arrow2.PNG").string());
    composer.LoadDialImages((source_ / "img" / c.Dial).string());
    composer.DrawDial(c.Needle);
    dst.ComposeBuffer();
    ASSERT_EQ(written.Width(), dst.Buffer().Width());
    ASSERT_EQ(written.Height(), dst.Buffer().Height());
    // Around the readout: the composed view.
    for (int y = 0; y < written.Height(); ++y) {
      for (int x = 0; x < written.Width(); ++x) {
        if (InReadout(x, y)) continue;
        ASSERT_EQ(written.Pixel(x, y), dst.Buffer().Pixel(x, y) | 0xFF000000u) << x << "," << y;
      }
    }

    // In its place: the readout showing the angle, lit segments lime.
    const QImage readout = Readout(c.Reading);
    int lime = 0;
    for (int y = 0; y < readout.height(); ++y) {
      for (int x = 0; x < readout.width(); ++x) {
        const TColor32 shown = written.Pixel(kDialReadoutRect.Left + x, kDialReadoutRect.Top + y);
        ASSERT_EQ(shown, readout.pixel(x, y)) << x << "," << y;
        lime += shown == 0xFF00FF00u;
      }
    }
    EXPECT_GT(lime, 100);
    EXPECT_NE(readout, Readout(-c.Reading));
  }
}

// DialFrame draws what the console's Qt view shows: the view composed by the widget with the
// readout widget painted over it, for readings of every sign, overflowing ones and the stale
// colour, pixel for pixel.
TEST_F(RenderDialToolTest, DialFrameMatchesTheQtViewWithItsReadout) {
  struct TCase {
    const char* Dial;
    double Reading;
    const char* Mode;
    bool Stale;
  };
  const TCase cases[] = {{"Mode0.png", 0, "0", false},      {"Mode0.png", -0.04, "0", false},
                         {"Mode1.png", 137.25, "1", false}, {"Mode2.png", 359.95, "2", true},
                         {"Mode3.png", -118.6, "3", false}, {"Mode3.png", 12345.6, "3", false},
                         {"Mode3.png", -98765.4, "", true}};
  for (const TCase& c : cases) {
    SCOPED_TRACE(std::string(c.Dial) + " " + std::to_string(c.Reading));
    TImage32 dst, src, ivBGR;
    DialComposer composer({dst, src, ivBGR}, (source_ / "img" / "arrow2.PNG").string());
    dst.resize(404, 404);
    sevenseg::TiSevenSegmentAnalog* readout = CreateDialReadout(dst);
    readout->SetDecimalSeparator('.');
    readout->SetValue(c.Reading);
    if (c.Stale) readout->SetSegmentColor(sevenseg::clGreen);
    composer.LoadDialImages((source_ / "img" / c.Dial).string());
    composer.DrawDial(DialAngleFor(c.Reading, c.Mode));
    dst.ComposeBuffer();
    TBitmap32 qt;
    qt.CopyFrom(dst.Buffer());
    qt.ResetAlpha();
    QImage shot(reinterpret_cast<uchar*>(qt.Bits()), qt.Width(), qt.Height(), qt.Width() * 4,
                QImage::Format_RGB32);
    readout->render(&shot, readout->pos());

    DialFrame frame((source_ / "img" / "arrow2.PNG").string());
    frame.LoadDialImages((source_ / "img" / c.Dial).string());
    frame.ShowAngle(c.Reading, c.Mode);
    frame.SetStale(c.Stale);
    const TBitmap32& f = frame.Compose();
    ASSERT_EQ(f.Width(), qt.Width());
    ASSERT_EQ(f.Height(), qt.Height());
    for (int y = 0; y < f.Height(); ++y)
      for (int x = 0; x < f.Width(); ++x) ASSERT_EQ(f.Pixel(x, y), qt.Pixel(x, y)) << x << "," << y;
  }
}

TEST_F(RenderDialToolTest, FailuresExitNonZero) {
  struct TCase {
    std::string Args;
    int Exit;
    std::string ErrPart;
  };
  const std::string needle = " --needle " + ShellQuote((source_ / "img" / "arrow2.PNG").string());
  const TCase cases[] = {
      {"--dial /nonexistent-kelta.png --angle 0 --out " + ShellQuote(out_) + needle, 1,
       "Cannot open file \"/nonexistent-kelta.png\". No such file or directory"},
      {"--dial " + ShellQuote((source_ / "img" / "Mode0.png").string()) + " --angle 0 --out " +
           ShellQuote(out_) + " --needle /nonexistent-kelta-needle.png",
       1, "Cannot open file \"/nonexistent-kelta-needle.png\""},
      {"--dial x.png --angle ten --out " + ShellQuote(out_), 2, "usage:"},
      {"--dial x.png --out " + ShellQuote(out_), 2, "usage:"},
      {"--dial x.png --angle 1e39 --out " + ShellQuote(out_), 2, "usage:"},
      {"--dial x.png --angle 1 --out", 2, "usage:"},
  };
  for (const TCase& c : cases) {
    const auto r = RunTool(ShellQuote(KELTA_RENDER_DIAL) + " " + c.Args);
    EXPECT_EQ(r.exitCode, c.Exit) << c.Args;
    EXPECT_NE(r.err.find(c.ErrPart), std::string::npos) << r.err;
    EXPECT_FALSE(fs::exists(out_));
  }
}

}  // namespace
}  // namespace kelta::gfx
