#include "tools/dialgen/NeedleArt.h"

#include "tools/dialgen/DialGeometry.h"

#include <QLinearGradient>
#include <QPainter>
#include <QPainterPath>
#include <QRadialGradient>

namespace kelta::dialgen {

QImage DrawNeedle() {
  QImage Img(kNeedleWidth, kNeedleHeight, QImage::Format_ARGB32_Premultiplied);
  Img.fill(Qt::transparent);
  QPainter P(&Img);
  P.setRenderHint(QPainter::Antialiasing);
  const double Cx = kNeedlePivot.x();
  const double Py = kNeedlePivot.y();

  // Counterweight tail below the pivot, mostly under the dial's hub cap.
  QPainterPath Tail;
  Tail.moveTo(Cx - 3.2, Py);
  Tail.lineTo(Cx - 4.6, Py + 10);
  Tail.quadTo(Cx, Py + 14.5, Cx + 4.6, Py + 10);
  Tail.lineTo(Cx + 3.2, Py);
  Tail.closeSubpath();
  P.setPen(Qt::NoPen);
  P.setBrush(QColor(0x26, 0x32, 0x38));
  P.drawPath(Tail);

  // The pointer: a slim tapered blade, darker on one side so it reads as a ridge.
  const double Tip = Py - kNeedleReach;
  QPainterPath Blade;
  Blade.moveTo(Cx, Tip);
  Blade.cubicTo(Cx + 1.0, Tip + 1.5, Cx + 2.2, Tip + 8, Cx + 2.6, Tip + 18);
  Blade.lineTo(Cx + 4.4, Py);
  Blade.lineTo(Cx - 4.4, Py);
  Blade.lineTo(Cx - 2.6, Tip + 18);
  Blade.cubicTo(Cx - 2.2, Tip + 8, Cx - 1.0, Tip + 1.5, Cx, Tip);
  Blade.closeSubpath();
  QLinearGradient Ridge(Cx - 4.4, 0, Cx + 4.4, 0);
  Ridge.setColorAt(0.0, QColor(0x9E, 0x12, 0x12));
  Ridge.setColorAt(0.49, QColor(0xE5, 0x39, 0x35));
  Ridge.setColorAt(0.51, QColor(0xC6, 0x28, 0x28));
  Ridge.setColorAt(1.0, QColor(0x8E, 0x0E, 0x0E));
  P.setBrush(Ridge);
  P.setPen(QPen(QColor(0x6D, 0x0A, 0x0A, 160), 0.6));
  P.drawPath(Blade);

  // Hub ring around the pivot.
  QRadialGradient Hub(kNeedlePivot, 7.5);
  Hub.setColorAt(0.0, QColor(0x60, 0x60, 0x60));
  Hub.setColorAt(1.0, QColor(0x20, 0x20, 0x20));
  P.setBrush(Hub);
  P.setPen(Qt::NoPen);
  P.drawEllipse(kNeedlePivot, 7.5, 7.5);
  P.end();

  // Bilinear sampling fades the outermost frame anyway; keep it empty so nothing is cut.
  QImage Out = Img.convertToFormat(QImage::Format_ARGB32);
  for (int X = 0; X < Out.width(); ++X) {
    Out.setPixel(X, 0, 0);
    Out.setPixel(X, Out.height() - 1, 0);
  }
  for (int Y = 0; Y < Out.height(); ++Y) {
    Out.setPixel(0, Y, 0);
    Out.setPixel(Out.width() - 1, Y, 0);
  }
  return Out;
}

}  // namespace kelta::dialgen
