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
  const double A = ClockwiseDeg * std::numbers::pi / 180.0;
  return {kCentre.x() + Radius * std::sin(A), kCentre.y() - Radius * std::cos(A)};
}

void DrawBezel(QPainter& P) {
  // Brushed ring: a conical sweep of light and dark greys reads as turned metal.
  QConicalGradient Metal(kCentre, 60);
  const QColor Light(0xE8, 0xEA, 0xEC), Mid(0xA9, 0xAE, 0xB3), Dark(0x6E, 0x74, 0x7A);
  Metal.setColorAt(0.00, Light);
  Metal.setColorAt(0.15, Mid);
  Metal.setColorAt(0.30, Dark);
  Metal.setColorAt(0.45, Mid);
  Metal.setColorAt(0.55, Light);
  Metal.setColorAt(0.70, Mid);
  Metal.setColorAt(0.85, Dark);
  Metal.setColorAt(1.00, Light);
  QPainterPath Ring;
  Ring.addEllipse(kCentre, kBezelOuter, kBezelOuter);
  Ring.addEllipse(kCentre, kFaceRadius, kFaceRadius);
  P.setPen(Qt::NoPen);
  P.setBrush(Metal);
  P.drawPath(Ring);

  P.setBrush(Qt::NoBrush);
  P.setPen(QPen(QColor(0x3C, 0x40, 0x44), 1.6));
  P.drawEllipse(kCentre, kBezelOuter - 0.8, kBezelOuter - 0.8);
  P.setPen(QPen(QColor(0x4A, 0x4F, 0x54), 1.2));
  P.drawEllipse(kCentre, kFaceRadius + 0.6, kFaceRadius + 0.6);

  // Soft shadow the bezel casts on the face.
  QRadialGradient Shade(kCentre, kFaceRadius);
  Shade.setColorAt(0.0, QColor(0, 0, 0, 0));
  Shade.setColorAt(0.93, QColor(0, 0, 0, 0));
  Shade.setColorAt(1.0, QColor(0, 0, 0, 46));
  P.setPen(Qt::NoPen);
  P.setBrush(Shade);
  P.drawEllipse(kCentre, kFaceRadius, kFaceRadius);
}

void DrawScale(QPainter& P, const TDialStyle& S) {
  const int From = S.FullTurn ? 0 : -kPartialLimit;
  const int To = S.FullTurn ? 359 : kPartialLimit;

  // Base line of the scale.
  P.setBrush(Qt::NoBrush);
  P.setPen(QPen(kInk, 1.2, Qt::SolidLine, Qt::FlatCap));
  const QRectF Arc(kCentre.x() - kTickInner, kCentre.y() - kTickInner, 2 * kTickInner,
                   2 * kTickInner);
  if (S.FullTurn) {
    P.drawEllipse(kCentre, kTickInner, kTickInner);
  } else {
    // Qt arcs: 1/16 degree, counter-clockwise from 3 o'clock.
    P.drawArc(Arc, (90 - kPartialLimit) * 16, 2 * kPartialLimit * 16);
  }

  // Red range ends on the partial scale, where the sensor approaches its limit; the ticks
  // are printed over them.
  if (!S.FullTurn) {
    const double R = kTickInner + 3.5;
    const QRectF Band(kCentre.x() - R, kCentre.y() - R, 2 * R, 2 * R);
    P.setPen(QPen(QColor(0xD3, 0x2F, 0x2F), 7, Qt::SolidLine, Qt::FlatCap));
    const int Span = 20 * 16;
    P.drawArc(Band, (90 + kPartialLimit) * 16 - Span, Span);
    P.drawArc(Band, (90 - kPartialLimit) * 16, Span);
  }

  for (int V = From; V <= To; ++V) {
    const bool Major = V % 10 == 0, Half = V % 5 == 0;
    const double Len = Major ? 17 : Half ? 11 : 6.5;
    const double Width = Major ? 2.2 : Half ? 1.5 : 0.9;
    const double A = ScreenAngle(S, V);
    P.setPen(QPen(kInk, Width, Qt::SolidLine, Qt::FlatCap));
    P.drawLine(Polar(kTickInner, A), Polar(kTickInner + Len, A));
  }
}

QString LabelText(int V) {
  if (V < 0) return QString(QChar(0x2212)) + QString::number(-V);
  return QString::number(V);
}

void DrawLabels(QPainter& P, const TDialStyle& S) {
  QFont F("DejaVu Sans");
  F.setPixelSize(15);
  F.setBold(true);
  P.setFont(F);
  const QFontMetricsF M(F);
  const int From = S.FullTurn ? 0 : -kPartialLimit;
  const int To = S.FullTurn ? 330 : kPartialLimit;
  for (int V = From; V <= To; V += 30) {
    const QString T = LabelText(V);
    const QPointF C = Polar(kLabelRadius, ScreenAngle(S, V));
    // Upright labels centred on their point; the cap height centres them vertically.
    const double W = M.horizontalAdvance(T);
    P.setPen(V == 0 ? QColor(0xB7, 0x1C, 0x1C) : kInk);
    P.drawText(QPointF(C.x() - W / 2, C.y() + M.capHeight() / 2), T);
  }
}

void DrawReadoutWindow(QPainter& P) {
  const QRectF Frame = kReadout.adjusted(-4, -4, 4, 4);
  P.setPen(QPen(QColor(0x5A, 0x60, 0x66), 2));
  P.setBrush(QColor(0x08, 0x0A, 0x0C));
  P.drawRoundedRect(Frame, 5, 5);

  QFont F("DejaVu Sans");
  F.setPixelSize(10);
  F.setBold(true);
  F.setLetterSpacing(QFont::AbsoluteSpacing, 1.5);
  P.setFont(F);
  P.setPen(QColor(0x6B, 0x72, 0x78));
  const QRectF Caption(Frame.left(), Frame.bottom() + 3, Frame.width(), 14);
  P.drawText(Caption, Qt::AlignHCenter | Qt::AlignTop, QStringLiteral("ANGLE  DEG"));
}

// The maker's name in the free space below a partial scale, beyond the needle's reach.
void DrawMaker(QPainter& P) {
  QFont F("DejaVu Sans");
  F.setPixelSize(13);
  F.setBold(true);
  F.setLetterSpacing(QFont::AbsoluteSpacing, 3);
  P.setFont(F);
  P.setPen(QColor(0x45, 0x4B, 0x52));
  P.drawText(QRectF(kCentre.x() - 80, kCentre.y() + 146, 160, 18), Qt::AlignCenter,
             QStringLiteral("KELTA"));
}

void DrawHubCap(QPainter& P) {
  QRadialGradient Cap(kCentre - QPointF(3, 3), 14);
  Cap.setColorAt(0.0, QColor(0x8A, 0x90, 0x96));
  Cap.setColorAt(0.6, QColor(0x33, 0x38, 0x3D));
  Cap.setColorAt(1.0, QColor(0x15, 0x18, 0x1B));
  P.setPen(QPen(QColor(0x10, 0x12, 0x14), 1));
  P.setBrush(Cap);
  P.drawEllipse(kCentre, 10.5, 10.5);
}

}  // namespace

QImage DrawDial(const TDialStyle& Style) {
  QImage Img(kDialSize, kDialSize, QImage::Format_ARGB32_Premultiplied);
  Img.fill(Qt::transparent);
  QPainter P(&Img);
  P.setRenderHint(QPainter::Antialiasing);
  P.setRenderHint(QPainter::TextAntialiasing);
  DrawBezel(P);
  DrawScale(P, Style);
  DrawLabels(P, Style);
  DrawReadoutWindow(P);
  if (!Style.FullTurn) DrawMaker(P);
  DrawHubCap(P);
  P.end();
  return Img.convertToFormat(QImage::Format_ARGB32);
}

}  // namespace kelta::dialgen
