// The trend window as the operator uses it: opened from the console's "Trend" button while the
// simulated sensor streams, its line drawn from the readings, saved as PNG and CSV through the
// file dialog, and both files read back.

#include "tests/console/qt/SensorRig.h"

#include "console/form/TrendBuffer.h"
#include "console/form/TrendPicture.h"
#include "console/qt/TrendWindow.h"
#include "serial/VaComm.h"

#include <QApplication>
#include <QComboBox>
#include <QDateTime>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QFile>
#include <QFileDialog>
#include <QImage>
#include <QLabel>
#include <QPushButton>
#include <QTimer>

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <set>
#include <string>

namespace kelta::test {
namespace {

const QColor kLine(0x00, 0x50, 0xC0);
const QColor kGap(0xF2, 0xD8, 0xD8);

// Columns and rows of an image holding the line's colour.
struct LineSpread {
  std::set<int> columns;
  std::set<int> rows;
};
LineSpread LinePixels(const QImage& image) {
  LineSpread s;
  for (int y = 0; y < image.height(); ++y)
    for (int x = 0; x < image.width(); ++x)
      if (image.pixelColor(x, y) == kLine) {
        s.columns.insert(x);
        s.rows.insert(y);
      }
  return s;
}

// Answers the next file dialog with `path`, from inside its modal loop.
void AnswerFileDialog(const QString& path) {
  auto* timer = new QTimer;
  QObject::connect(timer, &QTimer::timeout, timer, [timer, path] {
    auto* dialog = qobject_cast<QFileDialog*>(QApplication::activeModalWidget());
    if (!dialog) return;
    dialog->selectFile(path);
    QMetaObject::invokeMethod(dialog, "accept");
    timer->deleteLater();
  });
  timer->start(20);
}

TEST(ConsoleTrend, OpensFromTheButtonDrawsTheStreamAndSavesBothFiles) {
  sim::SensorConfig config;
  config.framesPerSecond = 200;
  config.sweepPeriodSeconds = 1;  // the line climbs and falls within the test
  SensorRig rig(config);
  TFVANTORIS& w = rig.w();
  ASSERT_TRUE(rig.Connect());
  Click(w, "btREAD");
  ASSERT_TRUE(rig.PumpUntil([&] { return w.Form().Trend().Size() >= 300; }));

  auto* button = w.findChild<QPushButton*>(QStringLiteral("btTrend"));
  ASSERT_NE(button, nullptr);
  EXPECT_EQ(button->text(), QStringLiteral("Trend"));
  EXPECT_EQ(button->geometry(), QRect(152, 20, 64, 24));
  EXPECT_TRUE(button->isVisible());
  Click(w, "btTrend");
  ASSERT_NE(w.fTrend, nullptr);
  TrendWindow& trend = *w.fTrend;
  EXPECT_TRUE(trend.isVisible());
  Click(w, "btTrend");  // a second click shows the same window
  EXPECT_EQ(w.findChildren<TrendWindow*>().size(), 1);

  // The plot as painted on screen: the sweep spreads the line over many columns and rows.
  const QImage shown = trend.plot->grab().toImage().convertToFormat(QImage::Format_RGB32);
  const LineSpread spread = LinePixels(shown);
  EXPECT_GT(spread.columns.size(), 50u);
  EXPECT_GT(spread.rows.size(), 50u);
  EXPECT_TRUE(trend.lStats->text().startsWith(QStringLiteral("current ")))
      << trend.lStats->text().toStdString();

  // Fixed to the sensor's range: -180 to +180 as its information reported.
  trend.cbScale->setCurrentIndex(TrendWindow::kSensorRange);
  EXPECT_EQ(trend.CurrentView().scale, std::make_pair(-180.0, 180.0));

  const QString png = QString::fromStdString(rig.dir.Path()) + QStringLiteral("trend.png");
  AnswerFileDialog(png);
  trend.btSavePng->click();
  const QImage saved(png);
  ASSERT_FALSE(saved.isNull());
  EXPECT_EQ(saved.size(), trend.plot->size());
  EXPECT_GT(LinePixels(saved.convertToFormat(QImage::Format_RGB32)).columns.size(), 50u);

  const QString csv = QString::fromStdString(rig.dir.Path()) + QStringLiteral("trend.csv");
  AnswerFileDialog(csv);
  trend.btSaveCsv->click();
  ASSERT_TRUE(rig.PumpUntil([&] { return !trend.SavingCsv(); }));
  const std::vector<std::string> lines = ReadLines(csv.toStdString());
  ASSERT_GT(lines.size(), 300u);
  EXPECT_EQ(lines[0], "time,seconds,angle");
  double lastSeconds = -1;
  for (size_t i = 1; i < lines.size(); ++i) {
    const QStringList fields = QString::fromStdString(lines[i]).split(QLatin1Char(','));
    ASSERT_EQ(fields.size(), 3) << lines[i];
    EXPECT_TRUE(QDateTime::fromString(fields[0], Qt::ISODateWithMs).isValid()) << lines[i];
    bool okSeconds = false, okAngle = false;
    const double seconds = fields[1].toDouble(&okSeconds);
    const double angle = fields[2].toDouble(&okAngle);
    ASSERT_TRUE(okSeconds && okAngle) << lines[i];
    EXPECT_GE(seconds, lastSeconds);
    EXPECT_LE(seconds, 10.0);
    EXPECT_LE(std::abs(angle), 180.0);
    lastSeconds = seconds;
  }

  // Closing the port breaks the line: the stretch since is a gap, open while nothing comes.
  w.Form().VaComm1().Close();
  const double now = w.Form().Trend().Now();
  const auto gaps = w.Form().Trend().Gaps(now - 10, now);
  ASSERT_EQ(gaps.size(), 1u);
  EXPECT_TRUE(gaps[0].open);
  // On screen the stretch since is shaded, and the line stops where it began.
  rig.PumpUntil([&] { return w.Form().Trend().Now() - now > 0.5; });
  const QImage after = trend.plot->grab().toImage().convertToFormat(QImage::Format_RGB32);
  int shaded = 0, lineRight = 0, shadeLeft = after.width();
  for (int y = 0; y < after.height(); ++y)
    for (int x = 0; x < after.width(); ++x) {
      const QColor c = after.pixelColor(x, y);
      if (c == kGap) {
        ++shaded;
        shadeLeft = std::min(shadeLeft, x);
      }
      if (c == kLine) lineRight = std::max(lineRight, x);
    }
  EXPECT_GT(shaded, 100);
  EXPECT_LE(lineRight, shadeLeft + 1);
}

// An hour at full speed saved as CSV: the window's event loop runs on while the lines are
// written, the ring goes on filling (overwriting its oldest readings), and the file holds the
// span as it was when the save began, every line of it.
TEST(ConsoleTrend, AFullHourSavesAsCsvWhileTheWindowRunsOn) {
  EnsureApp();
  double now = 0;
  TrendBuffer trend(TrendBuffer::kCapacity, [&now] { return now; });
  const std::size_t count = trend.Capacity();
  const auto valueOf = [](std::size_t i) { return static_cast<float>(i % 7200) * 0.05f - 180; };
  for (std::size_t i = 0; i < count; ++i) trend.Push(static_cast<double>(i) / 1000, valueOf(i));
  // The hour's span starts half a millisecond after a reading: the last 3 600 000 are in it.
  now = static_cast<double>(count - 1) / 1000 + 0.0005;
  const double start = now - 3600;
  const std::size_t first = count - 3'600'000;
  TrendWindow window(trend, {});
  window.SetSpan(3);  // 1 h
  TempDir dir;
  const QString path = QString::fromStdString(dir.File("hour.csv"));

  // The GUI thread's turns while the file is written, each with a reading as a stream brings.
  int ticks = 0;
  QTimer tick;
  QObject::connect(&tick, &QTimer::timeout, [&] {
    ++ticks;
    now += 0.001;
    trend.Push(now, 999);
  });
  tick.start(1);
  QEventLoop loop;
  bool saved = false;
  int ticksWhileSaving = 0;
  QString error = QStringLiteral("no report");
  QObject::connect(&window, &TrendWindow::CsvSaved, &loop, [&](const QString&, const QString& e) {
    saved = true;
    ticksWhileSaving = ticks;
    error = e;
    loop.quit();
  });
  QElapsedTimer clock;
  clock.start();
  ASSERT_TRUE(window.StartSaveCsv(path));
  if (!saved) loop.exec();
  tick.stop();
  std::printf("%zu readings saved in %lld ms; %d turns of the event loop meanwhile\n",
              count - first, static_cast<long long>(clock.elapsed()), ticksWhileSaving);
  EXPECT_TRUE(error.isEmpty()) << error.toStdString();
  EXPECT_GT(ticksWhileSaving, 0);
  EXPECT_FALSE(window.SavingCsv());

  // Read back a line at a time: every reading of the span, in order, as it was.
  std::ifstream in(path.toStdString(), std::ios::binary);
  std::string line;
  ASSERT_TRUE(std::getline(in, line));
  EXPECT_EQ(line, "time,seconds,angle\r");
  std::size_t rows = 0;
  std::string firstBad;
  for (; std::getline(in, line); ++rows) {
    const std::size_t i = first + rows;  // the reading this line must hold
    const std::size_t a = line.find(',');
    const std::size_t b = line.find(',', a + 1);
    const double seconds = static_cast<double>(i) / 1000 - start;
    const bool good = b != std::string::npos && i < count && line.back() == '\r' &&
                      std::abs(std::strtod(line.c_str() + a + 1, nullptr) - seconds) < 0.0006 &&
                      std::strtof(line.c_str() + b + 1, nullptr) == valueOf(i);
    if (!good && firstBad.empty()) firstBad = std::to_string(rows) + ": " + line;
  }
  EXPECT_EQ(rows, 3'600'000u);
  EXPECT_EQ(firstBad, "");
}

// The window shows the form's picture as it is: every pixel of the plot on screen is the
// pixel TrendPicture draws for the window's span and scale (what any other window shows too).
TEST(ConsoleTrend, ThePlotShowsTheFormsPicturePixelForPixel) {
  EnsureApp();
  double now = 100;
  TrendBuffer trend(4096, [&now] { return now; });
  for (int i = 0; i <= 400; ++i) trend.Push(90 + i / 100.0, 60 * std::sin(i / 25.0));
  trend.MarkGap(94.5);
  for (int i = 0; i <= 400; ++i) trend.Push(96 + i / 100.0, 30 + i / 10.0);
  TrendWindow window(trend, [] { return std::make_optional(std::make_pair(-180.0, 180.0)); });
  window.show();
  for (int scale : {TrendWindow::kAutoscale, TrendWindow::kSensorRange}) {
    window.cbScale->setCurrentIndex(scale);
    const QImage shown = window.plot->grab().toImage().convertToFormat(QImage::Format_RGB32);
    ASSERT_EQ(shown.size(), window.plot->size());
    TrendPicture picture;
    const gfx::TBitmap32& drawn =
        picture.Draw(trend, window.CurrentView(), shown.width(), shown.height());
    int differing = 0;
    for (int y = 0; y < shown.height(); ++y)
      for (int x = 0; x < shown.width(); ++x)
        differing += shown.pixel(x, y) != (drawn.Pixel(x, y) | 0xFF000000u);
    EXPECT_EQ(differing, 0) << "scale choice " << scale;
  }
}

}  // namespace
}  // namespace kelta::test
