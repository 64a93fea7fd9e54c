// The dial frame without a window system: the readout's digits, colours and place, the veil of
// a lost device, and DialFrame composing the dial view with them: the same pixels as the view
// and the readout drawn apart, the needle turned by the mode's rule, marks that come and go
// without a trace, the frame that follows the dial picture, failures that change nothing.
// Runs on Linux and, under Wine, on Windows.
#include "graphics/dial/DialFrame.h"
#include "graphics/dial/DialReadoutPaint.h"
#include "graphics/png/PngErrors.h"
#include "graphics/png/PngWriter.h"
#include "sevenseg/AnalogLayout.h"
#include "sevenseg/SevenSegmentGeometry.h"

#include "tests/support/TempDir.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <stdexcept>
#include <string>
#include <vector>

namespace kelta::gfx {
namespace {

constexpr TColor32 kSentinel = 0xFF123456u;
constexpr TColor32 kLime = 0xFF00FF00u, kDarkGreen = 0xFF008000u, kGrey = 0xFF808080u;

std::string Img(const std::string& Name) {
  const char* s = std::getenv("KELTA_SOURCE_DIR");
  return std::string(s ? s : ".") + "/img/" + Name;
}

bool InReadout(int X, int Y) {
  const DialReadoutRect& r = kDialReadoutRect;
  return X >= r.Left && X < r.Left + r.Width && Y >= r.Top && Y < r.Top + r.Height;
}

// The middle of segment S in the readout's cell Cell (0: the sign), in frame pixels.
TPoint SegmentMiddle(int Cell, sevenseg::Segment S) {
  // The readout's cells: 12 x 26 pixels, 6 apart, from (5, 5) inside the readout.
  const sevenseg::CellGeometry g{5 + Cell * 18, 5, 12, 26, 0, 1, 1};
  const sevenseg::SegPolygon p = sevenseg::SegmentPolygon(S, g);
  std::int64_t x = 0, y = 0;
  for (const sevenseg::Point& v : p.Points()) x += v.x, y += v.y;
  return {kDialReadoutRect.Left + static_cast<int>(x / p.count),
          kDialReadoutRect.Top + static_cast<int>(y / p.count)};
}

TEST(DialReadoutPaint, LitSegmentsInTheMarkColourUnlitOnesHiddenInBlack) {
  using namespace sevenseg;
  struct TCase {
    TColor Segments;
    TColor32 Shown;
  };
  for (const TCase& c : {TCase{kReadoutCurrentColor, kLime}, TCase{kReadoutStaleColor, kDarkGreen},
                         TCase{kReadoutNotLiveColor, kGrey}}) {
    SCOPED_TRACE(c.Shown);
    TBitmap32 frame(404, 404);
    frame.Fill(kSentinel);
    PaintDialReadout(frame, 18.7, c.Segments);  // cells: + _ _ 1 8 . 7
    int lit = 0;
    for (int y = 0; y < 404; ++y)
      for (int x = 0; x < 404; ++x) {
        const TColor32 p = frame.Pixel(x, y);
        if (!InReadout(x, y)) {
          ASSERT_EQ(p, kSentinel) << "outside the readout " << x << "," << y;
          continue;
        }
        ASSERT_TRUE(p == 0xFF000000u || p == c.Shown) << x << "," << y << ": " << p;
        lit += p == c.Shown;
      }
    EXPECT_GT(lit, 300);
    auto at = [&](int Cell, Segment S) {
      const TPoint m = SegmentMiddle(Cell, S);
      return frame.Pixel(m.X, m.Y);
    };
    for (int s = kA; s <= kG; ++s) {
      const auto seg = static_cast<Segment>(s);
      EXPECT_EQ(at(1, seg), 0xFF000000u) << "blank cell, segment " << s;
      EXPECT_EQ(at(3, seg), seg == kB || seg == kC ? c.Shown : 0xFF000000u) << "1, segment " << s;
      EXPECT_EQ(at(4, seg), c.Shown) << "8, segment " << s;
      EXPECT_EQ(at(5, seg), seg <= kC ? c.Shown : 0xFF000000u) << "7, segment " << s;
    }
  }
}

TEST(DialReadoutPaint, SignAndMarkColours) {
  TBitmap32 plus(404, 404), minus(404, 404);
  PaintDialReadout(plus, 5, kReadoutCurrentColor);
  PaintDialReadout(minus, -5, kReadoutCurrentColor);
  // The sign cell is split: a plus in its upper half, a minus in its lower one, the other
  // half unlit and so hidden.
  const int middle = kDialReadoutRect.Top + kDialReadoutRect.Height / 2;
  int plusLit = 0, minusLit = 0;
  for (int y = kDialReadoutRect.Top; y < kDialReadoutRect.Top + kDialReadoutRect.Height; ++y)
    for (int x = kDialReadoutRect.Left; x < kDialReadoutRect.Left + 18; ++x) {
      if (plus.Pixel(x, y) == kLime) {
        ++plusLit;
        EXPECT_LT(y, middle) << x;
      }
      if (minus.Pixel(x, y) == kLime) {
        ++minusLit;
        EXPECT_GE(y, middle) << x;
      }
    }
  EXPECT_GT(plusLit, 15);
  EXPECT_GT(minusLit, 10);

  EXPECT_EQ(DialReadoutColor(true, false), sevenseg::clLime);
  EXPECT_EQ(DialReadoutColor(true, true), sevenseg::clGreen);
  EXPECT_EQ(DialReadoutColor(false, false), sevenseg::clGray);
  EXPECT_EQ(DialReadoutColor(false, true), sevenseg::clGray) << "not live wins";
}

TEST(DialReadoutPaint, VeilWashesOutEveryPixelAndStaysOpaque) {
  TBitmap32 frame(3, 1);
  frame.SetPixel(0, 0, 0xFF000000u);
  frame.SetPixel(1, 0, 0xFFFFFFFFu);
  frame.SetPixel(2, 0, kLime);
  VeilNotLive(frame);
  // (240 * 150 + B * 106 + 128) >> 8 per channel: 141 over 0, 246 over 255.
  EXPECT_EQ(frame.Pixel(0, 0), 0xFF8D8D8Du);
  EXPECT_EQ(frame.Pixel(1, 0), 0xFFF6F6F6u);
  EXPECT_EQ(frame.Pixel(2, 0), 0xFF8DF68Du);
}

class DialFrameTest : public ::testing::Test {
 protected:
  // What the frame must hold: the dial view composed by DialComposer on bare cores with the
  // needle at Needle, opaque, and the readout showing Reading painted alone.
  static void Expected(TBitmap32& Want, const std::string& Dial, float Needle, double Reading,
                       sevenseg::TColor Segments = kReadoutCurrentColor) {
    ViewCore dst, src, ivBGR;
    DialComposer composer({dst, src, ivBGR}, Img("arrow2.PNG"));
    dst.SetViewSize(404, 404);
    composer.LoadDialImages(Img(Dial));
    composer.DrawDial(Needle);
    dst.ComposeBuffer();
    TBitmap32& want = Want;
    want.CopyFrom(dst.Buffer());
    want.ResetAlpha();
    TBitmap32 readout(want.Width(), want.Height());
    PaintDialReadout(readout, Reading, Segments);
    for (int y = 0; y < want.Height(); ++y)
      for (int x = 0; x < want.Width(); ++x)
        if (InReadout(x, y)) want.SetPixel(x, y, readout.Pixel(x, y));
  }

  static void ExpectFrame(const TBitmap32& Got, const std::string& Dial, float Needle,
                          double Reading, sevenseg::TColor Segments = kReadoutCurrentColor) {
    TBitmap32 want;
    Expected(want, Dial, Needle, Reading, Segments);
    ExpectSame(Got, want);
  }

  static void ExpectSame(const TBitmap32& Got, const TBitmap32& Want) {
    ASSERT_EQ(Got.Width(), Want.Width());
    ASSERT_EQ(Got.Height(), Want.Height());
    for (int y = 0; y < Want.Height(); ++y)
      for (int x = 0; x < Want.Width(); ++x)
        ASSERT_EQ(Got.Pixel(x, y), Want.Pixel(x, y)) << x << "," << y;
  }

  kelta::test::TempDir dir_;
};

TEST_F(DialFrameTest, ComposesTheDialViewWithTheReadoutAndTurnsTheNeedleByTheModesRule) {
  struct TCase {
    const char* Dial;
    double Reading;
    const char* Mode;
    float Needle;
  };
  const TCase cases[] = {{"Mode0.png", 30, "", 30},
                         {"Mode0.png", 30, "0", -30},
                         {"Mode1.png", 137.25, "1", -137.25f},
                         {"Mode3.png", -72.5, "3", -72.5f},
                         {"Mode2.png", 359.9, "2", 359.9f}};
  for (const TCase& c : cases) {
    SCOPED_TRACE(std::string(c.Dial) + " mode \"" + c.Mode + "\"");
    DialFrame frame(Img("arrow2.PNG"));
    frame.LoadDialImages(Img(c.Dial));
    frame.ShowAngle(c.Reading, c.Mode);
    EXPECT_EQ(frame.Reading(), c.Reading);
    ExpectFrame(frame.Compose(), c.Dial, c.Needle, c.Reading);
  }
}

// The frame is what a native window hands to the system as a top-down 32-bit DIB.
TEST_F(DialFrameTest, FrameIsOpaqueBgraTopDown) {
  DialFrame frame(Img("arrow2.PNG"));
  frame.LoadDialImages(Img("Mode0.png"));
  const TBitmap32& f = frame.Compose();
  ASSERT_EQ(f.Width(), 404);
  ASSERT_EQ(f.Height(), 404);
  EXPECT_EQ(frame.Width(), 404);
  const auto* bytes = reinterpret_cast<const unsigned char*>(f.Bits());
  const TPoint lit = SegmentMiddle(5, sevenseg::kA);  // "+    0.0": the fraction's top segment
  const std::size_t at = (static_cast<std::size_t>(lit.Y) * 404 + lit.X) * 4;
  EXPECT_EQ(f.Pixel(lit.X, lit.Y), kLime);
  EXPECT_EQ(bytes[at + 0], 0x00) << "blue";
  EXPECT_EQ(bytes[at + 1], 0xFF) << "green";
  EXPECT_EQ(bytes[at + 2], 0x00) << "red";
  EXPECT_EQ(bytes[at + 3], 0xFF) << "alpha";
  for (int y = 0; y < 404; ++y)
    for (int x = 0; x < 404; ++x) ASSERT_EQ(f.Pixel(x, y) >> 24, 0xFFu) << x << "," << y;
}

TEST_F(DialFrameTest, MarksRecolourTheReadoutVeilTheViewAndLeaveNoTrace) {
  DialFrame frame(Img("arrow2.PNG"));
  frame.LoadDialImages(Img("Mode0.png"));
  frame.ShowAngle(88.8);
  TBitmap32 current;
  current.CopyFrom(frame.Compose());

  frame.SetStale(true);
  EXPECT_TRUE(frame.Stale());
  ExpectFrame(frame.Compose(), "Mode0.png", 88.8f, 88.8, kReadoutStaleColor);

  frame.SetLive(false);
  EXPECT_FALSE(frame.Live());
  TBitmap32 veiled;
  Expected(veiled, "Mode0.png", 88.8f, 88.8, kReadoutNotLiveColor);
  VeilNotLive(veiled);
  ExpectSame(frame.Compose(), veiled);
  EXPECT_NE(frame.Compose().Pixel(10, 10), current.Pixel(10, 10)) << "the dial too";

  frame.SetLive(true);
  frame.SetStale(false);
  ExpectSame(frame.Compose(), current);
}

// For a denser screen: the dial resampled to the scaled size, the readout laid out afresh at
// its scaled place (not the small one enlarged), the veil over all of it; at a scale of 1 the
// frame itself.
TEST_F(DialFrameTest, AScaledFrameHasTheDialResampledAndTheReadoutPaintedAtItsScaledSize) {
  DialFrame frame(Img("arrow2.PNG"));
  frame.LoadDialImages(Img("Mode0.png"));
  frame.ShowAngle(-12.5, "3");
  EXPECT_EQ(&frame.ComposeScaled(96, 96), &frame.Compose());
  EXPECT_THROW(frame.ComposeScaled(0, 96), std::invalid_argument);
  TBitmap32 small;
  small.CopyFrom(frame.Compose());
  for (const int dpi : {144, 192}) {
    SCOPED_TRACE(dpi);
    const TBitmap32& big = frame.ComposeScaled(dpi, 96);
    const int size = (404 * dpi + 48) / 96;
    ASSERT_EQ(big.Width(), size);
    ASSERT_EQ(big.Height(), size);
    // The readout: a bitmap of its own painted at the scaled size holds the same pixels.
    const DialReadoutRect& r = kDialReadoutRect;
    const int left = (r.Left * dpi + 48) / 96, top = (r.Top * dpi + 48) / 96;
    const int width = ((r.Left + r.Width) * dpi + 48) / 96 - left;
    const int height = ((r.Top + r.Height) * dpi + 48) / 96 - top;
    TBitmap32 digits(width, height);
    PaintDialReadoutSized(digits, 0, 0, width, height, -12.5, kReadoutCurrentColor);
    int lit = 0;
    for (int y = 0; y < height; ++y)
      for (int x = 0; x < width; ++x) {
        ASSERT_EQ(big.Pixel(left + x, top + y), digits.Pixel(x, y)) << x << "," << y;
        lit += digits.Pixel(x, y) == kLime;
      }
    // Segments grow with the square of the scale: drawn at the size, not a copy of the small.
    EXPECT_GT(lit, 0);
    // Outside it: the dial, where it is flat, as it is at its own size; opaque everywhere.
    // The edges too: the resampler sees the frame's edge beyond it, not the black around it.
    EXPECT_EQ(big.Pixel(0, 0), small.Pixel(0, 0));
    EXPECT_EQ(big.Pixel(size - 1, size - 1), small.Pixel(403, 403));
    EXPECT_EQ(big.Pixel(size - 1, size / 2), small.Pixel(403, 202));
    EXPECT_EQ(big.Pixel(size / 2, 0), small.Pixel(202, 0));
    for (int y = 0; y < size; ++y)
      for (int x = 0; x < size; ++x) ASSERT_EQ(big.Pixel(x, y) >> 24, 0xFFu) << x << "," << y;
  }
  // A device lost: the scaled readout is veiled like the rest.
  frame.SetLive(false);
  const TBitmap32& veiled = frame.ComposeScaled(192, 96);
  TBitmap32 grey(226, 72);
  PaintDialReadoutSized(grey, 0, 0, 226, 72, -12.5, kReadoutNotLiveColor);
  VeilNotLive(grey);
  EXPECT_EQ(veiled.Pixel(288 + 100, 442 + 36), grey.Pixel(100, 36));
  EXPECT_EQ(veiled.Pixel(10, 10), frame.Compose().Pixel(5, 5));
}

TEST_F(DialFrameTest, TheReadingOutlivesAReloadAndTheFrameFollowsThePicture) {
  DialFrame frame(Img("arrow2.PNG"));
  EXPECT_EQ(frame.Width(), DialFrame::kInitialSize);
  EXPECT_EQ(frame.Compose().Pixel(0, 0), 0xFF404040u) << "before a load: the view's background";
  frame.ShowAngle(45, "3");
  frame.LoadDialImages(Img("Mode3.png"));
  ExpectFrame(frame.Compose(), "Mode3.png", 45, 45);

  TBitmap32 small(300, 280);
  small.Fill(0x00000000u);
  const std::string file = dir_.File("small.png");
  SavePngFile(small, file);
  frame.LoadDialImages(file);
  EXPECT_EQ(frame.Width(), 300);
  EXPECT_EQ(frame.Height(), 280);
  EXPECT_EQ(frame.Compose().Width(), 300);
  EXPECT_EQ(frame.Compose().Height(), 280);
}

TEST_F(DialFrameTest, FailedLoadsRaiseAndLeaveTheFrame) {
  {
    DialFrame frame(dir_.File("missing-needle.png"));
    try {
      frame.LoadDialImages(Img("Mode0.png"));
      FAIL() << "no error";
    } catch (const EFileOpenError& e) {
      EXPECT_EQ(std::string(e.what()).rfind("Cannot open file \"", 0), 0u) << e.what();
    }
  }
  DialFrame frame(Img("arrow2.PNG"));
  frame.LoadDialImages(Img("Mode0.png"));
  frame.ShowAngle(12.5);
  TBitmap32 before;
  before.CopyFrom(frame.Compose());
  const std::string bad = dir_.File("bad.png");
  SavePngFile(before, bad);
  {
    // Cut short: a PNG signature and little else.
    std::vector<char> bytes(64, 0);
    const unsigned char sig[] = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};
    std::memcpy(bytes.data(), sig, sizeof sig);
    FILE* f = std::fopen(bad.c_str(), "wb");
    ASSERT_NE(f, nullptr);
    std::fwrite(bytes.data(), 1, bytes.size(), f);
    std::fclose(f);
  }
  EXPECT_THROW(frame.LoadDialImages(bad), EPngError);
  EXPECT_THROW(frame.LoadDialImages(dir_.File("none.png")), EFileOpenError);
  ExpectSame(frame.Compose(), before);
}

}  // namespace
}  // namespace kelta::gfx
