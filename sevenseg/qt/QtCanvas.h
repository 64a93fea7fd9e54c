// Canvas on a QPainter: aliased polygons filled and outlined in one colour, like the
// host drawing interface the readout was drawn for.
#pragma once

#include <QColor>
#include <QPainter>

#include "sevenseg/SevenSegmentCanvas.h"

namespace kelta::sevenseg {

QColor ToQColor(TColor c);
TColor FromQColor(const QColor& c);

class QtCanvas final : public Canvas {
 public:
  // Turns antialiasing off on `painter`; the painter must outlive the canvas.
  explicit QtCanvas(QPainter& painter);

  void FillRect(const Rect& r, TColor color) override;
  void Polygon(std::span<const Point> points, TColor color) override;
  void Bevel(const Rect& r, TiBevelStyle style) override;

 private:
  void UseColor(TColor color);

  QPainter& painter_;
  TColor current_ = 0;
  bool hasCurrent_ = false;
};

}  // namespace kelta::sevenseg
