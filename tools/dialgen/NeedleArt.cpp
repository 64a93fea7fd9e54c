#include "tools/dialgen/NeedleArt.h"

#include "tools/dialgen/DialGeometry.h"

#include <QLinearGradient>
#include <QPainter>
#include <QPainterPath>
#include <QRadialGradient>

namespace kelta::dialgen {

QImage DrawNeedle() {
  QImage img(kNeedleWidth, kNeedleHeight, QImage::Format_ARGB32_Premultiplied);
  img.fill(Qt::transparent);
  QPainter p(&img);
  p.setRenderHint(QPainter::Antialiasing);
  const double cx = kNeedlePivot.x();
  const double py = kNeedlePivot.y();

  // Counterweight tail below the pivot, mostly under the dial's hub cap.
  QPainterPath tail;
  tail.moveTo(cx - 3.2, py);
  tail.lineTo(cx - 4.6, py + 10);
  tail.quadTo(cx, py + 14.5, cx + 4.6, py + 10);
  tail.lineTo(cx + 3.2, py);
  tail.closeSubpath();
  p.setPen(Qt::NoPen);
  p.setBrush(QColor(0x26, 0x32, 0x38));
  p.drawPath(tail);

  // The pointer: a slim tapered blade, darker on one side so it reads as a ridge.
  const double tip = py - kNeedleReach;
  QPainterPath blade;
  blade.moveTo(cx, tip);
  blade.cubicTo(cx + 1.0, tip + 1.5, cx + 2.2, tip + 8, cx + 2.6, tip + 18);
  blade.lineTo(cx + 4.4, py);
  blade.lineTo(cx - 4.4, py);
  blade.lineTo(cx - 2.6, tip + 18);
  blade.cubicTo(cx - 2.2, tip + 8, cx - 1.0, tip + 1.5, cx, tip);
  blade.closeSubpath();
  QLinearGradient ridge(cx - 4.4, 0, cx + 4.4, 0);
  ridge.setColorAt(0.0, QColor(0x9E, 0x12, 0x12));
  ridge.setColorAt(0.49, QColor(0xE5, 0x39, 0x35));
  ridge.setColorAt(0.51, QColor(0xC6, 0x28, 0x28));
  ridge.setColorAt(1.0, QColor(0x8E, 0x0E, 0x0E));
  p.setBrush(ridge);
  p.setPen(QPen(QColor(0x6D, 0x0A, 0x0A, 160), 0.6));
  p.drawPath(blade);

  // Hub ring around the pivot.
  QRadialGradient hub(kNeedlePivot, 7.5);
  hub.setColorAt(0.0, QColor(0x60, 0x60, 0x60));
  hub.setColorAt(1.0, QColor(0x20, 0x20, 0x20));
  p.setBrush(hub);
  p.setPen(Qt::NoPen);
  p.drawEllipse(kNeedlePivot, 7.5, 7.5);
  p.end();

  // Bilinear sampling fades the outermost frame anyway; keep it empty so nothing is cut.
  QImage out = img.convertToFormat(QImage::Format_ARGB32);
  for (int x = 0; x < out.width(); ++x) {
    out.setPixel(x, 0, 0);
    out.setPixel(x, out.height() - 1, 0);
  }
  for (int y = 0; y < out.height(); ++y) {
    out.setPixel(0, y, 0);
    out.setPixel(out.width() - 1, y, 0);
  }
  return out;
}

}  // namespace kelta::dialgen
