#include "sevenseg/qt/QtCanvas.h"

#include <QPen>
#include <QPoint>
#include <algorithm>
#include <array>
#include <vector>

#include "sevenseg/SevenSegmentColors.h"

namespace kelta::sevenseg {

namespace {

// Far outside any widget, yet small enough for the raster engine's fixed-point maths.
constexpr Coord kCoordLimit = 1 << 22;

int ClampCoord(Coord v) { return static_cast<int>(std::clamp(v, -kCoordLimit, kCoordLimit)); }

QRect ToQRect(const Rect& r) {
  return QRect(ClampCoord(r.x), ClampCoord(r.y), ClampCoord(r.w), ClampCoord(r.h));
}

}  // namespace

QColor ToQColor(TColor c) { return QColor(c & 0xFF, (c >> 8) & 0xFF, (c >> 16) & 0xFF); }

TColor FromQColor(const QColor& c) {
  return static_cast<TColor>(c.red()) | (static_cast<TColor>(c.green()) << 8) |
         (static_cast<TColor>(c.blue()) << 16);
}

QtCanvas::QtCanvas(QPainter& painter) : painter_(painter) {
  painter_.setRenderHint(QPainter::Antialiasing, false);
}

void QtCanvas::UseColor(TColor color) {
  color &= 0xFFFFFF;
  if (hasCurrent_ && current_ == color) return;
  const QColor q = ToQColor(color);
  painter_.setPen(QPen(q, 0));  // cosmetic one-pixel outline through the vertices
  painter_.setBrush(q);
  current_ = color;
  hasCurrent_ = true;
}

void QtCanvas::FillRect(const Rect& r, TColor color) {
  painter_.fillRect(ToQRect(r), ToQColor(color));
}

void QtCanvas::Polygon(std::span<const Point> points, TColor color) {
  std::array<QPoint, 8> small;
  std::vector<QPoint> large;
  QPoint* pts = small.data();
  if (points.size() > small.size()) {
    large.resize(points.size());
    pts = large.data();
  }
  for (std::size_t i = 0; i < points.size(); ++i)
    pts[i] = QPoint(ClampCoord(points[i].x), ClampCoord(points[i].y));
  UseColor(color);
  painter_.drawPolygon(pts, static_cast<int>(points.size()));
  // Qt's cosmetic stroker leaves out some line end points (its half-open rule); the
  // outline must go through every vertex, so set them explicitly.
  painter_.drawPoints(pts, static_cast<int>(points.size()));
}

void QtCanvas::Bevel(const Rect& r, TiBevelStyle style) {
  if (style == ibsNone) return;
  const BevelColors c = BevelColorsFor(style);
  const QRect outer = ToQRect(r);
  auto ring = [this](const QRect& q, TColor topLeft, TColor bottomRight) {
    if (q.width() <= 0 || q.height() <= 0) return;
    const QColor tl = ToQColor(topLeft), br = ToQColor(bottomRight);
    painter_.fillRect(QRect(q.left(), q.top(), q.width(), 1), tl);
    painter_.fillRect(QRect(q.left(), q.top(), 1, q.height()), tl);
    painter_.fillRect(QRect(q.left(), q.bottom(), q.width(), 1), br);
    painter_.fillRect(QRect(q.right(), q.top(), 1, q.height()), br);
  };
  ring(outer, c.outerTopLeft, c.outerBottomRight);
  ring(outer.adjusted(1, 1, -1, -1), c.innerTopLeft, c.innerBottomRight);
}

}  // namespace kelta::sevenseg
