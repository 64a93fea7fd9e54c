// Time to show a new value on the console's readout (113 x 36, five digits, one decimal),
// beside Qt's own QLCDNumber painting the same values at the same size.
#include <benchmark/benchmark.h>
#include <QApplication>
#include <QImage>
#include <QLCDNumber>
#include <QPainter>
#include <QPalette>

#include <array>
#include <vector>

#include "sevenseg/AnalogLayout.h"
#include "sevenseg/GlyphPaint.h"
#include "sevenseg/qt/QtCanvas.h"
#include "sevenseg/qt/iSevenSegmentAnalog.h"

namespace {

using namespace kelta::sevenseg;

// Angles as a sensor reports them; every step changes the value.
constexpr std::array<double, 8> kValues = {12.3, -45.6, 359.9, 0.0, 180.5, -7.2, 1234.5, 88.8};

void ConfigureReadout(TiSevenSegmentAnalog& r) {
  r.SetAutoSize(false);
  r.setGeometry(0, 0, 113, 36);
  r.SetSegmentColor(clLime);
  r.SetShowOffSegments(false);
  r.SetSegmentOffColor(clBlack);
  r.SetPrecision(1);
  r.SetDigitCount(5);
}

// Whole widget path: Value setter, then the control's double-buffered paint rendered into
// an offscreen image, as QLCDNumber is measured below.
void BM_ReadoutPaint(benchmark::State& state) {
  TiSevenSegmentAnalog readout;
  ConfigureReadout(readout);
  QImage image(113, 36, QImage::Format_RGB32);
  std::size_t i = 0;
  for (auto _ : state) {
    readout.SetValue(kValues[i++ % kValues.size()]);
    readout.render(&image);
    benchmark::DoNotOptimize(image.constBits());
  }
}
BENCHMARK(BM_ReadoutPaint);

// The drawing pipeline alone: format, layout, polygons, QPainter into the image.
void BM_ReadoutPaint_Pipeline(benchmark::State& state) {
  QImage image(113, 36, QImage::Format_RGB32);
  AnalogLayoutParams p;
  p.width = 113;
  p.height = 36;
  p.digitCount = 5;
  p.precision = 1;
  GlyphStyle style;
  style.segmentMargin = 0;
  style.segmentColor = clLime;
  style.segmentOffColor = clBlack;
  style.showOffSegments = false;
  std::vector<CellDraw> cells;
  std::size_t i = 0;
  for (auto _ : state) {
    p.value = kValues[i++ % kValues.size()];
    QPainter painter(&image);
    QtCanvas canvas(painter);
    canvas.FillRect(Rect{0, 0, 113, 36}, clBlack);
    LayoutAnalog(p, cells);
    for (const CellDraw& c : cells) PaintGlyph(canvas, style, c.cell, c.glyph);
    benchmark::DoNotOptimize(image.constBits());
  }
}
BENCHMARK(BM_ReadoutPaint_Pipeline);

void BM_ReadoutPaint_QLCDNumber(benchmark::State& state) {
  QLCDNumber lcd;
  lcd.setGeometry(0, 0, 113, 36);
  lcd.setDigitCount(6);
  lcd.setSmallDecimalPoint(true);
  lcd.setSegmentStyle(QLCDNumber::Filled);
  lcd.setFrameShape(QFrame::NoFrame);
  QPalette pal = lcd.palette();
  pal.setColor(QPalette::Window, Qt::black);
  pal.setColor(QPalette::WindowText, QColor(0, 255, 0));
  lcd.setPalette(pal);
  lcd.setAutoFillBackground(true);
  QImage image(113, 36, QImage::Format_RGB32);
  std::size_t i = 0;
  for (auto _ : state) {
    lcd.display(kValues[i++ % kValues.size()]);
    lcd.render(&image);
    benchmark::DoNotOptimize(image.constBits());
  }
}
BENCHMARK(BM_ReadoutPaint_QLCDNumber);

}  // namespace

int main(int argc, char** argv) {
  if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
  QApplication app(argc, argv);
  benchmark::Initialize(&argc, argv);
  if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  return 0;
}
