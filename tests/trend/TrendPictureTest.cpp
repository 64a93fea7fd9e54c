// The trend's picture from known readings: pixels checked where the columns, the gaps and the
// scale put them; sizes down to nothing; values no scale can hold; the PNG and the CSV files.

#include "console/form/TrendPicture.h"

#include "graphics/png/PngLoader.h"
#include "tests/support/Files.h"
#include "tests/support/TempDir.h"

#include <gtest/gtest.h>

#include <cfloat>
#include <cmath>
#include <filesystem>
#include <future>
#include <limits>
#include <string>

namespace kelta {
namespace {

// 166 x 130 pixels: a plot of 100 x 100, columns a tenth of a second apart over 10 s.
constexpr int kWidth = 166, kHeight = 130;
constexpr int kLeft = TrendPicture::kLeftMargin, kTop = TrendPicture::kTopMargin;
constexpr int kRight = kWidth - TrendPicture::kRightMargin - 1;
constexpr int kBottom = kHeight - TrendPicture::kBottomMargin - 1;

// Rows of column x holding the line's colour, first and last; {-1, -1} when none.
std::pair<int, int> LineRows(const gfx::TBitmap32& b, int x) {
  int first = -1, last = -1;
  for (int y = 0; y < b.Height(); ++y)
    if (b.Pixel(x, y) == TrendPicture::kLine) {
      if (first < 0) first = y;
      last = y;
    }
  return {first, last};
}

struct Rig {
  double now = 10;
  TrendBuffer trend{4096, [this] { return now; }};
  TrendPicture picture;
  const gfx::TBitmap32& Draw(std::optional<std::pair<double, double>> scale) {
    return picture.Draw(trend, TrendView{now, 10, scale}, kWidth, kHeight);
  }
};

TEST(TrendPicture, EachColumnSpansExactlyItsReadingsExtremes) {
  Rig r;
  // Column 20 (2.00 s to 2.10 s): first 10, then 50, last 30. Column 60: 70 alone.
  r.trend.Push(2.01, 10);
  r.trend.Push(2.03, 50);
  r.trend.Push(2.05, 30);
  r.trend.Push(6.02, 70);
  // Fixed 0 to 99 over 100 rows: value v lies on row kBottom - v.
  const gfx::TBitmap32& b = r.Draw(std::make_pair(0.0, 99.0));
  ASSERT_EQ(b.Width(), kWidth);
  ASSERT_EQ(b.Height(), kHeight);
  EXPECT_EQ(LineRows(b, kLeft + 20), std::make_pair(kBottom - 50, kBottom - 10));
  EXPECT_EQ(b.Pixel(kLeft + 60, kBottom - 70), TrendPicture::kLine);
  // Between them the joining line, one pixel per column of a shallow stretch.
  EXPECT_EQ(LineRows(b, kLeft + 40).first, LineRows(b, kLeft + 40).second);
  EXPECT_EQ(LineRows(b, kLeft + 19), std::make_pair(-1, -1));
  EXPECT_EQ(LineRows(b, kLeft + 61), std::make_pair(-1, -1));
  // Frame, background and labels in their places.
  EXPECT_EQ(b.Pixel(kLeft, kTop + 50), TrendPicture::kFrame);
  EXPECT_EQ(b.Pixel(kRight, kBottom), TrendPicture::kFrame);
  EXPECT_EQ(b.Pixel(kWidth - 1, 0), TrendPicture::kBackground);
  int labelLeft = 0, labelBelow = 0;
  for (int y = 0; y < kHeight; ++y)
    for (int x = 0; x < kWidth; ++x)
      if (b.Pixel(x, y) == TrendPicture::kLabel) (x < kLeft ? labelLeft : labelBelow) += 1;
  EXPECT_GT(labelLeft, 50);
  EXPECT_GT(labelBelow, 50);
}

TEST(TrendPicture, TheStretchWithoutConnectionIsShadedAndTheLineBreaks) {
  Rig r;
  for (int i = 0; i <= 30; ++i) r.trend.Push(i / 10.0, 20);
  r.trend.MarkGap(4);
  for (int i = 60; i <= 99; ++i) r.trend.Push(i / 10.0, 20);
  const gfx::TBitmap32& b = r.Draw(std::make_pair(0.0, 99.0));
  const int row = kBottom - 60;  // clear of the grid lines and the line
  EXPECT_EQ(b.Pixel(kLeft + 20, row), TrendPicture::kBackground);
  for (int c = 41; c < 59; ++c) {
    EXPECT_EQ(b.Pixel(kLeft + c, row), TrendPicture::kGap) << c;
    EXPECT_EQ(LineRows(b, kLeft + c), std::make_pair(-1, -1)) << c;
  }
  EXPECT_EQ(b.Pixel(kLeft + 70, row), TrendPicture::kBackground);
  EXPECT_EQ(LineRows(b, kLeft + 30), std::make_pair(kBottom - 20, kBottom - 20));
  EXPECT_EQ(LineRows(b, kLeft + 60), std::make_pair(kBottom - 20, kBottom - 20));
}

TEST(TrendPicture, AutoscaleFitsTheSpanAndAFixedScaleKeepsItsRange) {
  Rig r;
  // One reading in the middle of each column: 10 to 22.375 in eighths.
  for (int i = 0; i < 100; ++i) r.trend.Push((i + 0.5) / 10, 10 + i * 0.125);
  const auto row = [](double v, double low, double high) {
    return static_cast<int>(std::lround(kBottom - (v - low) / (high - low) * 99));
  };
  // Autoscaled: the extremes with 5 % of their distance as room (at least half a degree).
  const double pad = 12.375 * 0.05, low = 10 - pad, high = 22.375 + pad;
  const gfx::TBitmap32& a = r.Draw(std::nullopt);
  // The frame covers the plot's outer columns: the second and the last but one.
  EXPECT_EQ(LineRows(a, kLeft + 1).second, row(10.125, low, high));
  EXPECT_EQ(LineRows(a, kLeft + 98).first, row(22.25, low, high));
  const gfx::TBitmap32& f = r.Draw(std::make_pair(-180.0, 180.0));
  EXPECT_EQ(LineRows(f, kLeft + 1).second, row(10.125, -180, 180));
  EXPECT_EQ(LineRows(f, kLeft + 98).first, row(22.25, -180, 180));
}

TEST(TrendPicture, AnySizeAndAnyValueStayInsideTheBitmap) {
  Rig r;
  r.trend.Push(1, 5);
  r.trend.Push(2, FLT_MAX);
  r.trend.Push(3, -std::numeric_limits<double>::infinity());
  r.trend.Push(4, std::nan(""));
  r.trend.MarkGap(5);
  for (int w = -1; w <= 72; ++w)
    for (int h = -1; h <= 36; ++h) {
      const gfx::TBitmap32& b = r.Draw(std::nullopt);  // a full size first, then the small one
      ASSERT_EQ(b.Width(), kWidth);
      const gfx::TBitmap32& s =
          r.picture.Draw(r.trend, TrendView{r.now, 10, std::make_pair(0.0, 1.0)}, w, h);
      ASSERT_EQ(s.Width(), std::max(w, 0));
      ASSERT_EQ(s.Height(), std::max(h, 0));
      if (TrendPicture::PlotRect(w, h).IsEmpty() && w > 0 && h > 0) {
        ASSERT_EQ(s.Pixel(w - 1, h - 1), TrendPicture::kBackground);
      }
    }
}

// Values so large that half a degree is lost in them: readings all at 1e17 still get a scale
// around them (the line in the plot's middle), and a fixed scale one step of the numbers wide
// on a tall plot (grid steps smaller than the numbers can add) still ends its grid.
TEST(TrendPicture, ValuesTooLargeForTheirStepsStillGetAScaleAndAGrid) {
  Rig r;
  for (int i = 0; i < 100; ++i) r.trend.Push(i / 10.0, 1e17);
  const gfx::TBitmap32& b = r.Draw(std::nullopt);
  // Half way up the 100 rows: 49.5 rows above the bottom one, rounded.
  EXPECT_EQ(LineRows(b, kLeft + 50), std::make_pair(kBottom - 49, kBottom - 49));
  const gfx::TBitmap32& tall =
      r.picture.Draw(r.trend, TrendView{r.now, 10, std::make_pair(1e17, 1e17 + 16)}, 200, 1030);
  int gridRows = 0;
  for (int y = 0; y < tall.Height(); ++y)
    gridRows += tall.Pixel(kLeft + 50, y) == TrendPicture::kGrid;
  EXPECT_LE(gridRows, 1000);
}

TEST(TrendPicture, StatisticsAndLabelsReadAsTheWindowsShowThem) {
  TrendBuffer::Stats s;
  EXPECT_EQ(TrendStatsText(s, 600, false), "No readings in the last 10 min");
  s.count = 3;
  s.current = 12.34;
  s.min = -4;
  s.max = 45.06;
  s.mean = 20.126;
  EXPECT_EQ(TrendStatsText(s, 10, true),
            "current 12.3°   min -4.0°   max 45.1°   mean 20.13°   (3 readings)"
            "   (no sensor range yet: autoscaled)");
  EXPECT_EQ(TrendSpanText(2880), "48 min");
  EXPECT_EQ(TrendSpanText(2), "2 s");
  // "-2 s": 4 + 1 + 5 + 1 + 2 + 1 + 5 pixels; "°" one glyph of 4.
  EXPECT_EQ(TrendTextWidth("-2 s"), 19);
  EXPECT_EQ(TrendTextWidth("0.0\u00B0"), 5 + 1 + 2 + 1 + 5 + 1 + 4);
}

TEST(TrendPicture, SavesThePictureAsPngPixelForPixel) {
  Rig r;
  for (int i = 0; i < 100; ++i) r.trend.Push(i / 10.0, std::sin(i / 10.0) * 90);
  const gfx::TBitmap32& b = r.Draw(std::nullopt);
  test::TempDir dir;
  ASSERT_EQ(r.picture.SavePng(dir.File("trend.png")), "");
  gfx::TBitmap32 back;
  bool alpha = false;
  gfx::LoadPngFile(back, dir.File("trend.png"), alpha);
  ASSERT_EQ(back.Width(), b.Width());
  ASSERT_EQ(back.Height(), b.Height());
  for (int y = 0; y < b.Height(); ++y)
    for (int x = 0; x < b.Width(); ++x) ASSERT_EQ(back.Pixel(x, y), b.Pixel(x, y)) << x << "," << y;
  EXPECT_NE(r.picture.SavePng(dir.File("no/such/folder/trend.png")), "");
}

TEST(TrendPicture, CsvSavedInTheBackgroundHoldsTheSpanAsItWasWhenStarted) {
  Rig r;
  for (int i = 0; i < 50; ++i) r.trend.Push(i / 5.0, i * 0.5);
  test::TempDir dir;
  const std::string path = dir.File("trend.csv");
  const auto expected = r.trend.Samples(2, 10);
  std::promise<void> release;
  std::shared_future<void> released = release.get_future().share();
  std::promise<std::string> outcome;
  TrendCsvSave save;
  ASSERT_TRUE(save.Start(r.trend, 2, 10, path, [&, released](const std::string& error) {
    released.wait();
    outcome.set_value(error);
  }));
  r.trend.Push(10, 999);  // after the copy: not in the file
  EXPECT_TRUE(save.Running());
  EXPECT_FALSE(save.Start(r.trend, 2, 10, path, {}));  // one save at a time
  release.set_value();
  EXPECT_EQ(outcome.get_future().get(), "");
  save.Finish();
  EXPECT_FALSE(save.Running());
  const std::string text = test::ReadFile(path);
  EXPECT_EQ(text.rfind(kTrendCsvHeader, 0), 0u);
  EXPECT_EQ(std::count(text.begin(), text.end(), '\n'),
            static_cast<std::ptrdiff_t>(expected.size() + 1));
  EXPECT_EQ(text.find("999"), std::string::npos);
  EXPECT_FALSE(std::filesystem::exists(test::NativePath(path + ".part")));

  // A folder that is not there: a clear error, no file left.
  const std::string bad = dir.File("missing/trend.csv");
  const std::string error = WriteTrendCsv(bad, expected, 2, std::chrono::system_clock::now());
  EXPECT_NE(error, "");
  EXPECT_FALSE(std::filesystem::exists(test::NativePath(bad + ".part")));
}

}  // namespace
}  // namespace kelta
