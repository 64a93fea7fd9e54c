// Helpers for the widget tests: a paint flush, and a readout that counts its paints.
#pragma once

#include "tests/support/QtTestApp.h"

#include <gtest/gtest.h>
#include <QApplication>

#include <stdexcept>

#include "sevenseg/qt/iSevenSegmentAnalog.h"

namespace kelta::sevenseg::test {

// Runs the paint cycle until nothing is left to do.
inline void Flush() {
  for (int i = 0; i < 5; ++i) {
    QCoreApplication::sendPostedEvents();
    QCoreApplication::processEvents(QEventLoop::AllEvents);
  }
}

class ProbeReadout : public TiSevenSegmentAnalog {
 public:
  using TiSevenSegmentAnalog::TiSevenSegmentAnalog;

  void DrawContent(Canvas& canvas) override {
    ++paints;
    paintedValue = Value();
    paintedColor = SegmentColor();
    paintedStyle = LeadingStyle();
    if (failPaint) throw std::runtime_error("paint failed");
    TiSevenSegmentAnalog::DrawContent(canvas);
  }

  int paints = 0;
  double paintedValue = 0;
  TColor paintedColor = 0;
  TiLeadingStyle paintedStyle = ilsNone;
  bool failPaint = false;
};

// The console's readout as placed over the dial.
inline void ConfigureAsConsoleReadout(TiSevenSegmentAnalog& r) {
  r.SetAutoSize(false);
  r.setGeometry(144, 221, 113, 36);
  r.SetSegmentColor(clLime);
  r.SetShowOffSegments(false);
  r.SetSegmentOffColor(clBlack);
  r.SetPrecision(1);
  r.SetDigitCount(5);
}

}  // namespace kelta::sevenseg::test
