#include "tools/dialgen/DialArt.h"

#include "tools/dialgen/DialGeometry.h"

#include <QConicalGradient>
#include <QFont>
#include <QFontMetricsF>
#include <QPainter>
#include <QPainterPath>
#include <QRadialGradient>

#include <cmath>
#include <numbers>

namespace kelta::dialgen {
namespace {

constexpr double kTickInner = 136;  // just outside the needle's tip
constexpr double kLabelRadius = 168;
constexpr double kFaceRadius = 186;  // where the bezel starts
constexpr double kBezelOuter = 199;
constexpr int kPartialLimit = 120;  // the partial scale runs -120..+120

const QColor kInk(0x1B, 0x1F, 0x24);

// Screen direction of a scale value, in degrees clockwise from 12 o'clock.
double ScreenAngle(const TDialStyle& S, double Value) { return S.Clockwise ? Value : -Value; }

QPointF Polar(double Radius, double ClockwiseDeg) {
  const double a = ClockwiseDeg * std::numbers::pi / 180.0;
  return {kCentre.x() + Radius * std::sin(a), kCentre.y() - Radius * std::cos(a)};
}

void DrawBezel(QPainter& P) {
  // Brushed ring: a conical sweep of light and dark greys reads as turned metal.
  QConicalGradient metal(kCentre, 60);
  const QColor light(0xE8, 0xEA, 0xEC), mid(0xA9, 0xAE, 0xB3), dark(0x6E, 0x74, 0x7A);
  metal.setColorAt(0.00, light);
  metal.setColorAt(0.15, mid);
  metal.setColorAt(0.30, dark);
  metal.setColorAt(0.45, mid);
  metal.setColorAt(0.55, light);
  metal.setColorAt(0.70, mid);
  metal.setColorAt(0.85, dark);
  metal.setColorAt(1.00, light);
  QPainterPath ring;
  ring.addEllipse(kCentre, kBezelOuter, kBezelOuter);
  ring.addEllipse(kCentre, kFaceRadius, kFaceRadius);
  P.setPen(Qt::NoPen);
  P.setBrush(metal);
  P.drawPath(ring);

  P.setBrush(Qt::NoBrush);
  P.setPen(QPen(QColor(0x3C, 0x40, 0x44), 1.6));
  P.drawEllipse(kCentre, kBezelOuter - 0.8, kBezelOuter - 0.8);
  P.setPen(QPen(QColor(0x4A, 0x4F, 0x54), 1.2));
  P.drawEllipse(kCentre, kFaceRadius + 0.6, kFaceRadius + 0.6);

  // Soft shadow the bezel casts on the face.
  QRadialGradient shade(kCentre, kFaceRadius);
  shade.setColorAt(0.0, QColor(0, 0, 0, 0));
  shade.setColorAt(0.93, QColor(0, 0, 0, 0));
  shade.setColorAt(1.0, QColor(0, 0, 0, 46));
  P.setPen(Qt::NoPen);
  P.setBrush(shade);
  P.drawEllipse(kCentre, kFaceRadius, kFaceRadius);
}

void DrawScale(QPainter& P, const TDialStyle& S) {
  const int from = S.FullTurn ? 0 : -kPartialLimit;
  const int to = S.FullTurn ? 359 : kPartialLimit;

  // Base line of the scale.
  P.setBrush(Qt::NoBrush);
  P.setPen(QPen(kInk, 1.2, Qt::SolidLine, Qt::FlatCap));
  const QRectF arc(kCentre.x() - kTickInner, kCentre.y() - kTickInner, 2 * kTickInner,
                   2 * kTickInner);
  if (S.FullTurn) {
    P.drawEllipse(kCentre, kTickInner, kTickInner);
  } else {
    // Qt arcs: 1/16 degree, counter-clockwise from 3 o'clock.
    P.drawArc(arc, (90 - kPartialLimit) * 16, 2 * kPartialLimit * 16);
  }

  // Red range ends on the partial scale, where the sensor approaches its limit; the ticks
  // are printed over them.
  if (!S.FullTurn) {
    const double r = kTickInner + 3.5;
    const QRectF band(kCentre.x() - r, kCentre.y() - r, 2 * r, 2 * r);
    P.setPen(QPen(QColor(0xD3, 0x2F, 0x2F), 7, Qt::SolidLine, Qt::FlatCap));
    const int span = 20 * 16;
    P.drawArc(band, (90 + kPartialLimit) * 16 - span, span);
    P.drawArc(band, (90 - kPartialLimit) * 16, span);
  }

  for (int v = from; v <= to; ++v) {
    const bool major = v % 10 == 0, half = v % 5 == 0;
    const double len = major ? 17 : half ? 11 : 6.5;
    const double width = major ? 2.2 : half ? 1.5 : 0.9;
    const double a = ScreenAngle(S, v);
    P.setPen(QPen(kInk, width, Qt::SolidLine, Qt::FlatCap));
    P.drawLine(Polar(kTickInner, a), Polar(kTickInner + len, a));
  }
}

QString LabelText(int V) {
  if (V < 0) return QString(QChar(0x2212)) + QString::number(-V);
  return QString::number(V);
}

void DrawLabels(QPainter& P, const TDialStyle& S) {
  QFont f("DejaVu Sans");
  f.setPixelSize(15);
  f.setBold(true);
  P.setFont(f);
  const QFontMetricsF m(f);
  const int from = S.FullTurn ? 0 : -kPartialLimit;
  const int to = S.FullTurn ? 330 : kPartialLimit;
  for (int v = from; v <= to; v += 30) {
    const QString t = LabelText(v);
    const QPointF c = Polar(kLabelRadius, ScreenAngle(S, v));
    // Upright labels centred on their point; the cap height centres them vertically.
    const double w = m.horizontalAdvance(t);
    P.setPen(v == 0 ? QColor(0xB7, 0x1C, 0x1C) : kInk);
    P.drawText(QPointF(c.x() - w / 2, c.y() + m.capHeight() / 2), t);
  }
}

void DrawReadoutWindow(QPainter& P) {
  const QRectF frame = kReadout.adjusted(-4, -4, 4, 4);
  P.setPen(QPen(QColor(0x5A, 0x60, 0x66), 2));
  P.setBrush(QColor(0x08, 0x0A, 0x0C));
  P.drawRoundedRect(frame, 5, 5);

  QFont f("DejaVu Sans");
  f.setPixelSize(10);
  f.setBold(true);
  f.setLetterSpacing(QFont::AbsoluteSpacing, 1.5);
  P.setFont(f);
  P.setPen(QColor(0x6B, 0x72, 0x78));
  const QRectF caption(frame.left(), frame.bottom() + 3, frame.width(), 14);
  P.drawText(caption, Qt::AlignHCenter | Qt::AlignTop, QStringLiteral("ANGLE  DEG"));
}

// The maker's name in the free space below a partial scale, beyond the needle's reach.
void DrawMaker(QPainter& P) {
  QFont f("DejaVu Sans");
  f.setPixelSize(13);
  f.setBold(true);
  f.setLetterSpacing(QFont::AbsoluteSpacing, 3);
  P.setFont(f);
  P.setPen(QColor(0x45, 0x4B, 0x52));
  P.drawText(QRectF(kCentre.x() - 80, kCentre.y() + 146, 160, 18), Qt::AlignCenter,
             QStringLiteral("KELTA"));
}

void DrawHubCap(QPainter& P) {
  QRadialGradient cap(kCentre - QPointF(3, 3), 14);
  cap.setColorAt(0.0, QColor(0x8A, 0x90, 0x96));
  cap.setColorAt(0.6, QColor(0x33, 0x38, 0x3D));
  cap.setColorAt(1.0, QColor(0x15, 0x18, 0x1B));
  P.setPen(QPen(QColor(0x10, 0x12, 0x14), 1));
  P.setBrush(cap);
  P.drawEllipse(kCentre, 10.5, 10.5);
}

}  // namespace

QImage DrawDial(const TDialStyle& Style) {
  QImage img(kDialSize, kDialSize, QImage::Format_ARGB32_Premultiplied);
  img.fill(Qt::transparent);
  QPainter p(&img);
  p.setRenderHint(QPainter::Antialiasing);
  p.setRenderHint(QPainter::TextAntialiasing);
  DrawBezel(p);
  DrawScale(p, Style);
  DrawLabels(p, Style);
  DrawReadoutWindow(p);
  if (!Style.FullTurn) DrawMaker(p);
  DrawHubCap(p);
  p.end();
  return img.convertToFormat(QImage::Format_ARGB32);
}

}  // namespace kelta::dialgen
