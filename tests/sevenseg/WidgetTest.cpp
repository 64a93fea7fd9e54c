#include <gtest/gtest.h>
#include <QImage>
#include <QLocale>

#include <chrono>
#include <cstdlib>

#include <QPainter>

#include "sevenseg/GlyphPaint.h"
#include "sevenseg/RecordingCanvas.h"
#include "sevenseg/qt/QtCanvas.h"
#include "sevenseg/qt/iSevenSegmentCharacter.h"
#include "tests/sevenseg/WidgetTestSupport.h"
#include "tests/sevenseg/WorkedCell.h"

namespace kelta::sevenseg {
namespace {

using namespace std::chrono_literals;
using test::Flush;
using test::ProbeReadout;

TEST(Character, DefaultsAndAutoSize) {
  TiSevenSegmentCharacter c;
  EXPECT_EQ(c.size(), QSize(15, 23));
  EXPECT_EQ(c.BackGroundColor(), clBlack);
  EXPECT_EQ(c.SegmentColor(), clLime);
  EXPECT_EQ(c.SegmentOffColor(), clGreen);
  EXPECT_EQ(c.SegmentMargin(), 2);
  EXPECT_EQ(c.Value(), ssc0);
  c.SetSegmentSize(2);
  c.SetSegmentMargin(2);
  EXPECT_EQ(c.size(), QSize(25, 41));
  c.SetCharacter('.');
  EXPECT_EQ(c.size(), QSize(9, 41));
  c.SetAutoSize(false);
  c.SetCharacter('8');
  EXPECT_EQ(c.size(), QSize(9, 41));
}

TEST(Character, CharacterAndSegmentBits) {
  TiSevenSegmentCharacter c;
  c.SetCharacter('B');
  EXPECT_EQ(c.Value(), sscB);
  EXPECT_EQ(c.Character(), 'b');
  c.SetCharacter('x');
  EXPECT_EQ(c.Value(), sscBlank);
  EXPECT_EQ(c.Character(), ' ');
  c.SetSegmentBits(0xFF);
  EXPECT_EQ(c.SegmentBits(), 0x7F);
  EXPECT_TRUE(c.SegAOn() && c.SegBOn() && c.SegCOn() && c.SegDOn() && c.SegEOn() && c.SegFOn() &&
              c.SegGOn());
  c.SetSegDOn(false);
  EXPECT_EQ(c.SegmentBits(), 0x77);
}

TEST(Character, ClampsAndRepaintRequests) {
  TiSevenSegmentCharacter c;
  c.SetSegmentSize(0);
  EXPECT_EQ(c.SegmentSize(), 1);
  c.SetSegmentSize(500);  // no upper bound for the standalone character
  EXPECT_EQ(c.SegmentSize(), 500);
  c.SetSegmentMargin(-1);
  EXPECT_EQ(c.SegmentMargin(), 0);
  c.SetSegmentSeperation(-4);
  EXPECT_EQ(c.SegmentSeperation(), 0);

  c.SuspendRepaint();
  c.SetSegmentColor(clLime);  // unchanged: nothing
  EXPECT_FALSE(c.IsContentPending());
  c.SetSegmentBits(c.SegmentBits());  // the byte setter always repaints
  EXPECT_TRUE(c.IsContentPending());
}

TEST(Readout, Defaults) {
  TiSevenSegmentAnalog r;
  EXPECT_EQ(r.size(), QSize(84, 28));
  EXPECT_EQ(r.BackGroundColor(), clBlack);
  EXPECT_EQ(r.BorderStyle(), ibsNone);
  EXPECT_FALSE(r.Transparent());
  EXPECT_TRUE(r.AutoSize());
  EXPECT_EQ(r.DigitCount(), 4);
  EXPECT_EQ(r.DigitSpacing(), 6);
  EXPECT_EQ(r.LeadingStyle(), ilsSpaces);
  EXPECT_EQ(r.SegmentMargin(), 5);
  EXPECT_EQ(r.SegmentColor(), clWhite);
  EXPECT_EQ(r.SegmentSeperation(), 1);
  EXPECT_EQ(r.SegmentSize(), 1);
  EXPECT_TRUE(r.ShowOffSegments());
  EXPECT_FALSE(r.PowerOff());
  EXPECT_TRUE(r.AutoSegmentOffColor());
  EXPECT_EQ(r.SegmentOffColor(), clGray);
  EXPECT_EQ(r.Value(), 0.0);
  EXPECT_TRUE(r.ShowSign());
  EXPECT_EQ(r.Precision(), 2);
  EXPECT_EQ(r.AutoFrameRate(), false);
  EXPECT_EQ(r.UpdateFrameRate(), 60);
  // The hidden painter: no parent, never shown, repaints suspended, margin 0, no auto size.
  const TiSevenSegmentCharacter& p = r.GlyphPainter();
  EXPECT_EQ(p.parentWidget(), nullptr);
  EXPECT_FALSE(p.isVisible());
  EXPECT_TRUE(p.IsUpdateLocked());
  EXPECT_EQ(p.SegmentMargin(), 0);
  EXPECT_FALSE(p.AutoSize());
}

TEST(Readout, AutoSizeFollowsLayoutProperties) {
  TiSevenSegmentAnalog r;
  r.SetDigitCount(5);
  EXPECT_EQ(r.size(), QSize(100, 28));
  r.SetShowSign(false);
  EXPECT_EQ(r.size(), QSize(84, 28));
  r.SetSegmentSize(2);
  EXPECT_EQ(r.size(), QSize(5 * 26 + 10 - 6, 46));
  r.SetSegmentMargin(0);
  EXPECT_EQ(r.size(), QSize(5 * 26 - 6, 36));
  EXPECT_EQ(r.GlyphPainter().SegmentMargin(), 0);
  EXPECT_EQ(r.GlyphPainter().SegmentSize(), 2);

  r.BeginLoading();  // stored sizes stand while loading
  r.SetDigitCount(8);
  EXPECT_EQ(r.size(), QSize(5 * 26 - 6, 36));
  r.EndLoading();
}

TEST(Readout, ConsoleConfigurationKeepsItsSize) {
  TiSevenSegmentAnalog r;
  test::ConfigureAsConsoleReadout(r);
  EXPECT_EQ(r.geometry(), QRect(144, 221, 113, 36));
  EXPECT_EQ(r.Precision(), 1);
  EXPECT_EQ(r.DigitCount(), 5);
}

TEST(Readout, Clamps) {
  TiSevenSegmentAnalog r;
  struct IntCase {
    void (TiSevenSegmentAnalog::*set)(int);
    int (TiSevenSegmentAnalog::*get)() const;
    int in, out;
  };
  using R = TiSevenSegmentAnalog;
  const IntCase cases[] = {
      {&R::SetDigitCount, &R::DigitCount, 0, 1},
      {&R::SetDigitCount, &R::DigitCount, 40, 32},
      {&R::SetDigitCount, &R::DigitCount, -7, 1},
      {&R::SetPrecision, &R::Precision, 20, 13},
      {&R::SetPrecision, &R::Precision, -3, 0},
      {&R::SetSegmentSize, &R::SegmentSize, 0, 1},
      {&R::SetSegmentSize, &R::SegmentSize, 101, 100},
      {&R::SetSegmentMargin, &R::SegmentMargin, -1, 0},
      {&R::SetSegmentSeperation, &R::SegmentSeperation, -2, 0},
      {&R::SetDigitSpacing, &R::DigitSpacing, -3, -3},
  };
  for (const IntCase& c : cases) {
    (r.*c.set)(c.in);
    EXPECT_EQ((r.*c.get)(), c.out) << c.in;
  }
  EXPECT_EQ(r.GlyphPainter().SegmentSize(), 100);
  EXPECT_EQ(r.GlyphPainter().SegmentSeperation(), 0);
  r.SetValue(2e15);
  EXPECT_EQ(r.Value(), 1e15);
  r.SetValue(-2e15);  // no lower clamp
  EXPECT_EQ(r.Value(), -2e15);
}

TEST(Readout, ValueChangeNotifiesOnlyOnChange) {
  TiSevenSegmentAnalog r;
  int events = 0;
  r.SetOnValueChange([&](TiSevenSegmentDisplay& sender) {
    EXPECT_EQ(&sender, &r);
    ++events;
  });
  r.SuspendRepaint();
  r.SetValue(0.0);
  r.SetValue(-0.0);
  EXPECT_EQ(events, 0);
  EXPECT_FALSE(r.IsContentPending());
  r.SetValue(12.3);
  EXPECT_EQ(events, 1);
  EXPECT_TRUE(r.IsContentPending());
  r.SetValue(5e15);
  r.SetValue(7e15);  // both stored as 1e15
  EXPECT_EQ(events, 2);
  r.SetValue(std::nan(""));
  r.SetValue(std::nan(""));
  EXPECT_EQ(events, 3);
}

TEST(Readout, PaintSyncsThePainterAndDrawsBackgroundThenBorder) {
  ProbeReadout r;
  r.SetSegmentColor(0x0000FF);
  r.SetPowerOff(true);
  r.SetBorderStyle(ibsLowered);
  RecordingCanvas canvas;
  r.DrawContent(canvas);
  const auto& ops = canvas.Ops();
  ASSERT_GE(ops.size(), 3u);
  EXPECT_EQ(ops[0].kind, RecordedOp::kFillRect);
  EXPECT_EQ(ops[0].rect, (Rect{0, 0, 84, 28}));
  EXPECT_EQ(ops[0].color, clBlack);
  EXPECT_EQ(ops[1].kind, RecordedOp::kBevel);
  EXPECT_EQ(ops[1].bevel, ibsLowered);
  EXPECT_EQ(r.GlyphPainter().SegmentColor(), 0x0000FFu);
  EXPECT_TRUE(r.GlyphPainter().PowerOff());
  for (std::size_t i = 2; i < ops.size(); ++i) EXPECT_EQ(ops[i].color, 0x02000055u) << i;

  r.SetTransparent(true);
  canvas.Clear();
  r.DrawContent(canvas);
  for (const RecordedOp& op : canvas.Ops()) EXPECT_EQ(op.kind, RecordedOp::kPolygon);
}

TEST(Readout, LocaleSeparatorIsInjectable) {
  ProbeReadout r;
  test::ConfigureAsConsoleReadout(r);
  r.SetValue(12.3);
  std::vector<CellDraw> cells;
  r.SetDecimalSeparator(',');
  r.Layout(cells);
  EXPECT_EQ(cells[5].glyph, sscComma);
  r.SetDecimalSeparator('.');
  r.Layout(cells);
  EXPECT_EQ(cells[5].glyph, sscPeriod);

  const QLocale saved;
  QLocale::setDefault(QLocale(QLocale::German, QLocale::Germany));
  EXPECT_EQ(LocaleDecimalSeparator(), ',');
  TiSevenSegmentAnalog german;
  EXPECT_EQ(german.DecimalSeparator(), ',');
  QLocale::setDefault(saved);
}

class ShownReadout : public ::testing::Test {
 protected:
  void SetUp() override {
    r.show();
    Flush();
    ASSERT_GT(r.paints, 0) << "the offscreen platform did not paint";
    r.paints = 0;
  }
  ProbeReadout r;
};

TEST_F(ShownReadout, SeveralChangesBetweenPaintsGiveOnePaint) {
  r.SetValue(12.3);
  r.SetSegmentColor(clLime);
  r.SetLeadingStyle(ilsZeros);
  Flush();
  EXPECT_EQ(r.paints, 1);
  EXPECT_EQ(r.paintedValue, 12.3);
  EXPECT_EQ(r.paintedColor, clLime);
  EXPECT_EQ(r.paintedStyle, ilsZeros);
}

TEST_F(ShownReadout, UpdateLockHoldsRepaintsUntilReleased) {
  r.SuspendRepaint();
  r.SetValue(1.0);
  r.SetBackGroundColor(0x202020);
  Flush();
  EXPECT_EQ(r.paints, 0);
  EXPECT_TRUE(r.IsContentPending());
  EXPECT_TRUE(r.IsBackgroundPending());
  r.ResumeRepaint();
  Flush();
  EXPECT_EQ(r.paints, 1);
  EXPECT_FALSE(r.IsContentPending() || r.IsBackgroundPending());
  r.SuspendRepaint();
  r.ResumeRepaint();  // nothing changed: no repaint
  r.SetBackGroundColor(0x202020);
  Flush();
  EXPECT_EQ(r.paints, 1);
}

TEST_F(ShownReadout, AutoFrameRateHoldsASecondChangeWithinOneFrame) {
  auto now = std::chrono::steady_clock::time_point{} + 1h;
  r.SetClock([&] { return now; });
  r.SetAutoFrameRate(true);  // requested at the stamp itself: held
  EXPECT_TRUE(r.IsBackgroundPending());
  now += 1s;
  r.SetValue(1.0);
  EXPECT_FALSE(r.IsContentPending() || r.IsBackgroundPending());
  now += 10ms;
  r.SetValue(2.0);
  EXPECT_TRUE(r.IsContentPending());
  Flush();
  EXPECT_EQ(r.paints, 1);
  now += 16ms;  // 26 ms after the last repaint: due
  r.SetValue(3.0);
  EXPECT_FALSE(r.IsContentPending());
  Flush();
  EXPECT_EQ(r.paints, 2);
  EXPECT_EQ(r.paintedValue, 3.0);

  r.SetUpdateFrameRate(0);  // no limit: every request repaints at once
  for (double v : {4.0, 5.0, 6.0}) {
    r.SetValue(v);
    EXPECT_FALSE(r.IsContentPending()) << v;
  }
  r.SetUpdateFrameRate(60);
  now += 1ms;
  r.SetValue(7.0);
  EXPECT_TRUE(r.IsContentPending());
  r.SetAutoFrameRate(false);  // releases what was held
  EXPECT_FALSE(r.IsContentPending());
}

// The last change of a burst must reach the screen without waiting for another change.
TEST_F(ShownReadout, HeldChangeIsPaintedWhenItsFrameEnds) {
  auto now = std::chrono::steady_clock::time_point{} + 1h;
  r.SetClock([&] { return now; });
  r.SetAutoFrameRate(true);
  now += 1s;
  r.SetValue(1.0);
  Flush();
  const int before = r.paints;
  now += 5ms;
  r.SetValue(2.0);
  ASSERT_TRUE(r.IsContentPending());
  now += 20ms;
  const auto deadline = std::chrono::steady_clock::now() + 5s;
  while (r.paints == before && std::chrono::steady_clock::now() < deadline) {
    QCoreApplication::processEvents(QEventLoop::AllEvents | QEventLoop::WaitForMoreEvents, 50);
  }
  EXPECT_EQ(r.paints, before + 1);
  EXPECT_EQ(r.paintedValue, 2.0);
  EXPECT_FALSE(r.IsContentPending());
}

TEST(Readout, FailedPaintKeepsTheLastPicture) {
  ProbeReadout r;
  test::ConfigureAsConsoleReadout(r);
  r.SetValue(12.3);
  QImage before(r.size(), QImage::Format_RGB32);
  r.render(&before);
  r.failPaint = true;
  r.SetValue(45.6);
  QImage after(r.size(), QImage::Format_RGB32);
  after.fill(Qt::red);
  EXPECT_NO_THROW(r.render(&after));
  EXPECT_EQ(after, before);
  r.failPaint = false;
  r.render(&after);
  EXPECT_NE(after, before);
}

TEST(Readout, BorderIsATwoPixelBevel) {
  struct Case {
    TiBevelStyle style;
    QRgb outerTopLeft, innerTopLeft, innerBottomRight, outerBottomRight;
  };
  const Case cases[] = {{ibsRaised, 0xE3E3E3, 0xFFFFFF, 0xA0A0A0, 0x404040},
                        {ibsLowered, 0xA0A0A0, 0x404040, 0xE3E3E3, 0xFFFFFF}};
  for (const Case& c : cases) {
    TiSevenSegmentAnalog r;
    r.SetBorderStyle(c.style);
    QImage image(r.size(), QImage::Format_RGB32);
    r.render(&image);
    const int w = image.width(), h = image.height();
    EXPECT_EQ(image.pixel(0, 5) & 0xFFFFFF, c.outerTopLeft);
    EXPECT_EQ(image.pixel(5, 1) & 0xFFFFFF, c.innerTopLeft);
    EXPECT_EQ(image.pixel(w - 2, 5) & 0xFFFFFF, c.innerBottomRight);
    EXPECT_EQ(image.pixel(5, h - 1) & 0xFFFFFF, c.outerBottomRight);
    EXPECT_EQ(image.pixel(2, 2) & 0xFFFFFF, 0u);  // background inside the edge
  }
}

TEST(Readout, TransparentShowsWhatLiesBehind) {
  QWidget parent;
  parent.resize(200, 100);
  QPalette pal = parent.palette();
  pal.setColor(QPalette::Window, QColor(0, 0, 255));
  parent.setPalette(pal);
  parent.setAutoFillBackground(true);
  auto* r = new TiSevenSegmentAnalog(&parent);
  r->move(10, 10);
  r->SetSegmentColor(clLime);
  r->SetTransparent(true);
  r->SetValue(8.0);
  QImage image(parent.size(), QImage::Format_RGB32);
  parent.render(&image);
  EXPECT_EQ(image.pixel(10 + 1, 10 + 1) & 0xFFFFFF, 0x0000FFu);  // no fill: the parent shows
  // The "8" of "+ 8.00" is fully lit: its top bar's left end at (cell + 1, margin).
  std::vector<CellDraw> cells;
  r->Layout(cells);
  const Rect eight = cells[2].cell;
  ASSERT_EQ(cells[2].glyph, ssc8);
  EXPECT_EQ(image.pixel(10 + eight.x + 1, 10 + eight.y) & 0xFFFFFF, 0x00FF00u);
  r->SetTransparent(false);
  parent.render(&image);
  EXPECT_EQ(image.pixel(10 + 1, 10 + 1) & 0xFFFFFF, 0u);
}

// Closed convex polygon (degenerate ones included) at integer points.
bool Covers(const test::Poly& poly, Coord x, Coord y) {
  Coord minX = poly[0].x, maxX = minX, minY = poly[0].y, maxY = minY;
  for (const Point& p : poly) {
    minX = std::min(minX, p.x), maxX = std::max(maxX, p.x);
    minY = std::min(minY, p.y), maxY = std::max(maxY, p.y);
  }
  if (x < minX || x > maxX || y < minY || y > maxY) return false;
  bool pos = false, neg = false;
  for (std::size_t i = 0; i < poly.size(); ++i) {
    const Point& a = poly[i];
    const Point& b = poly[(i + 1) % poly.size()];
    const Coord cross = (b.x - a.x) * (y - a.y) - (b.y - a.y) * (x - a.x);
    pos |= cross > 0;
    neg |= cross < 0;
  }
  return !(pos && neg);
}

TEST(Readout, RendersTheConsoleReadoutPixelExact) {
  TiSevenSegmentAnalog r;
  test::ConfigureAsConsoleReadout(r);
  r.SetValue(12.3);
  QImage image(113, 36, QImage::Format_RGB32);
  image.fill(Qt::red);
  r.render(&image);
  if (const char* path = std::getenv("KELTA_SEVENSEG_SNAPSHOT")) image.save(path);

  // "+  12.3": cells at 5, 23, 41, 59, 77, 95 (top 5), the mark at 91.
  std::vector<test::Poly> lit;
  for (const auto& p : test::kWorkedPlus) lit.push_back(test::Offset(p, 5, 5));
  const auto segments = [&](Coord left, std::initializer_list<int> which) {
    for (int s : which) lit.push_back(test::Offset(test::kWorkedSegments[s], left, 5));
  };
  segments(59, {1, 2});           // 1: B C
  segments(77, {0, 1, 3, 4, 6});  // 2: A B D E G
  segments(95, {0, 1, 2, 3, 6});  // 3: A B C D G
  lit.push_back(test::Offset(test::kWorkedPeriod, 91, 5));

  int limePixels = 0;
  for (int y = 0; y < image.height(); ++y) {
    for (int x = 0; x < image.width(); ++x) {
      bool expected = false;
      for (const auto& p : lit) expected = expected || Covers(p, x, y);
      const QRgb px = image.pixel(x, y) & 0xFFFFFF;
      if (expected) {
        EXPECT_EQ(px, 0x00FF00u) << x << "," << y;
        ++limePixels;
      } else {
        EXPECT_EQ(px, 0u) << x << "," << y;
      }
    }
  }
  EXPECT_GT(limePixels, 100);
}

// The Qt canvas must light exactly the closed polygons the painter asks for, for every
// glyph, in the readout's cell and in a larger one with a thicker stroke.
TEST(QtCanvasPixels, EveryGlyphPaintsExactlyItsPolygons) {
  struct Cell {
    Rect rect;
    int size;
  };
  for (const Cell& cell : {Cell{{3, 2, 12, 26}, 1}, Cell{{2, 3, 29, 51}, 3}}) {
    GlyphStyle style;
    style.segmentMargin = 0;
    style.segmentSize = cell.size;
    style.showOffSegments = false;
    for (int g = 0; g < kGlyphCount; ++g) {
      const auto glyph = static_cast<TSevenSegmentCharacter>(g);
      RecordingCanvas recorded;
      PaintGlyph(recorded, style, cell.rect, glyph);
      QImage image(40, 60, QImage::Format_RGB32);
      image.fill(Qt::black);
      {
        QPainter painter(&image);
        QtCanvas canvas(painter);
        PaintGlyph(canvas, style, cell.rect, glyph);
      }
      int wrong = 0;
      for (int y = 0; y < image.height(); ++y) {
        for (int x = 0; x < image.width(); ++x) {
          bool expected = false;
          for (const RecordedOp& op : recorded.Ops())
            expected = expected || Covers(op.points, x, y);
          wrong += expected != ((image.pixel(x, y) & 0xFFFFFF) == 0x00FF00u);
        }
      }
      EXPECT_EQ(wrong, 0) << "glyph " << g << " size " << cell.size;
    }
  }
}

}  // namespace
}  // namespace kelta::sevenseg
