#include "console/qt/AppIcon.h"

#include <QPainter>
#include <QPixmap>
#include <QtMath>

namespace kelta {

namespace {

void DrawDial(QPaintDevice& pm, int size) {
  QPainter p(&pm);
  p.setRenderHint(QPainter::Antialiasing);
  p.scale(size / 64.0, size / 64.0);

  p.setPen(QPen(QColor(0x30, 0x30, 0x30), 3));
  p.setBrush(QColor(0xF4, 0xF4, 0xEC));
  p.drawEllipse(QRectF(4, 4, 56, 56));

  // Scale ticks every 30 degrees, the long ones at the quarters.
  for (int deg = 0; deg < 360; deg += 30) {
    const double a = qDegreesToRadians(static_cast<double>(deg));
    const double inner = deg % 90 == 0 ? 19 : 23;
    p.setPen(QPen(QColor(0x30, 0x30, 0x30), deg % 90 == 0 ? 3 : 2));
    p.drawLine(QPointF(32 + inner * std::cos(a), 32 - inner * std::sin(a)),
               QPointF(32 + 27 * std::cos(a), 32 - 27 * std::sin(a)));
  }

  // The needle at 60 degrees, red, on a dark hub.
  const double a = qDegreesToRadians(60.0);
  p.setPen(QPen(QColor(0xD0, 0x20, 0x20), 4, Qt::SolidLine, Qt::RoundCap));
  p.drawLine(QPointF(32, 32), QPointF(32 + 22 * std::cos(a), 32 - 22 * std::sin(a)));
  p.setPen(Qt::NoPen);
  p.setBrush(QColor(0x30, 0x30, 0x30));
  p.drawEllipse(QPointF(32, 32), 5, 5);
}

QPixmap DialPixmap(int size) {
  QPixmap pm(size, size);
  pm.fill(Qt::transparent);
  DrawDial(pm, size);
  return pm;
}

}  // namespace

QIcon AppIcon() {
  QIcon icon;
  for (int size : {16, 24, 32, 48, 64}) icon.addPixmap(DialPixmap(size));
  return icon;
}

QImage AppIconImage(int size) {
  QImage image(size, size, QImage::Format_ARGB32_Premultiplied);
  image.fill(Qt::transparent);
  DrawDial(image, size);
  return image;
}

}  // namespace kelta
