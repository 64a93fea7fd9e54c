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

// Ticks every 5 degrees, longer every 10, numbers every 30. At the scale's radius 5 degrees are
// over 10 px apart, so each tick stands alone; 1-degree ticks, 2.1 px apart there, merge into
// a grey band. The 5-degree ticks end just past the needle's tip, the 10-degree ones further
// out, so the tip always lies among them.
constexpr double kMinorLength = 12;
constexpr double kMajorLength = 21;
constexpr double kLabelRadius = kScaleInner + kMajorLength + 5;  // labels start here
constexpr double kFaceRadius = 186;                              // where the bezel starts
constexpr double kBezelOuter = 199;
constexpr int kPartialLimit = 120;  // the partial scale's numbers run -120..+120

const QColor kInk(0x1B, 0x1F, 0x24);
const QColor kZeroInk(0xB7, 0x1C, 0x1C);
// The over-range sector of a partial dial: red ticks and numbers on a pale red band.
const QColor kOverInk(0xC6, 0x28, 0x28);
const QColor kOverBand(0xE5, 0x39, 0x35, 60);
const QColor kOverSecondInk(0x9A, 0x5A, 0x5A);

// Screen direction of a scale value, in degrees clockwise from 12 o'clock.
double ScreenAngle(const DialStyle& S, double Value) { return S.Clockwise ? Value : -Value; }

QPointF Polar(double Radius, double ClockwiseDeg) {
  const double a = ClockwiseDeg * std::numbers::pi / 180.0;
  return {kCentre.x() + Radius * std::sin(a), kCentre.y() - Radius * std::cos(a)};
}

// Qt arcs: 1/16 degree, counter-clockwise from 3 o'clock.
int QtArcAngle(double ClockwiseDeg) {
  return static_cast<int>(std::lround((90 - ClockwiseDeg) * 16));
}

void DrawArc(QPainter& P, double Radius, double FromDeg, double ToDeg) {
  const QRectF r(kCentre.x() - Radius, kCentre.y() - Radius, 2 * Radius, 2 * Radius);
  P.drawArc(r, QtArcAngle(ToDeg), QtArcAngle(FromDeg) - QtArcAngle(ToDeg));
}

// The view under the dial is opaque white; outside the bezel the panel colour covers it.
void DrawCorners(QPainter& P) {
  P.fillRect(QRectF(0, 0, kDialSize, kDialSize), kPanelColour);
  P.setCompositionMode(QPainter::CompositionMode_Clear);
  P.setPen(Qt::NoPen);
  P.setBrush(Qt::black);
  P.drawEllipse(kCentre, kBezelOuter - 1, kBezelOuter - 1);
  P.setCompositionMode(QPainter::CompositionMode_SourceOver);
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

void DrawTick(QPainter& P, double ScreenDeg, bool Major, const QColor& Ink) {
  P.setPen(QPen(Ink, Major ? 2.2 : 1.4, Qt::SolidLine, Qt::FlatCap));
  P.drawLine(Polar(kScaleInner, ScreenDeg),
             Polar(kScaleInner + (Major ? kMajorLength : kMinorLength), ScreenDeg));
}

// Screen angles are whole multiples of 5 here; a tick is major on the tens.
bool IsMajor(int ScreenDeg) { return ScreenDeg % 10 == 0; }

void DrawScale(QPainter& P, const DialStyle& S) {
  P.setBrush(Qt::NoBrush);
  if (S.FullTurn) {
    P.setPen(QPen(kInk, 1.2));
    P.drawEllipse(kCentre, kScaleInner, kScaleInner);
    for (int deg = 0; deg < 360; deg += 5) DrawTick(P, deg, IsMajor(deg), kInk);
    return;
  }

  // The over-range sector, 120 to 240 degrees clockwise from the top whichever way the numbers
  // run: a pale red band under its ticks.
  P.setPen(QPen(kOverBand, kMajorLength, Qt::SolidLine, Qt::FlatCap));
  DrawArc(P, kScaleInner + kMajorLength / 2, kPartialLimit, 360 - kPartialLimit);
  P.setPen(QPen(kOverInk, 2, Qt::SolidLine, Qt::FlatCap));
  DrawArc(P, kScaleInner, kPartialLimit, 360 - kPartialLimit);
  for (int deg = kPartialLimit + 5; deg < 360 - kPartialLimit; deg += 5)
    DrawTick(P, deg, IsMajor(deg), kOverInk);

  // The measuring scale.
  P.setPen(QPen(kInk, 1.2, Qt::SolidLine, Qt::FlatCap));
  DrawArc(P, kScaleInner, -kPartialLimit, kPartialLimit);
  for (int deg = -kPartialLimit + 5; deg < kPartialLimit; deg += 5)
    DrawTick(P, deg, IsMajor(deg), kInk);

  // Where the measuring scale ends: a heavy red stop reaching across the tick band.
  for (int deg : {-kPartialLimit, kPartialLimit}) {
    P.setPen(QPen(kOverInk, 3.4, Qt::SolidLine, Qt::FlatCap));
    P.drawLine(Polar(kScaleInner - 3, deg), Polar(kScaleInner + kMajorLength + 2, deg));
  }
}

QString LabelText(int V) {
  if (V < 0) return QString(QChar(0x2212)) + QString::number(-V);
  return QString::number(V);
}

QFont LabelFont(int PixelSize, bool Bold) {
  QFont f("DejaVu Sans");
  f.setPixelSize(PixelSize);
  f.setBold(Bold);
  return f;
}

// Draws T upright, centred on the ray at ScreenDeg, its nearest edge Radius from the centre
// (outwards) or its farthest edge there (inwards).
void DrawRadialLabel(QPainter& P, const QString& T, double ScreenDeg, double Radius, bool Outwards,
                     const QFont& F, const QColor& Ink) {
  P.setFont(F);
  const QFontMetricsF m(F);
  const double w = m.horizontalAdvance(T), h = m.capHeight();
  const double a = ScreenDeg * std::numbers::pi / 180.0;
  // Half the label's extent along the ray.
  const double extent = std::abs(std::sin(a)) * w / 2 + std::abs(std::cos(a)) * h / 2;
  const QPointF c = Polar(Outwards ? Radius + extent : Radius - extent, ScreenDeg);
  P.setPen(Ink);
  P.drawText(QPointF(c.x() - w / 2, c.y() + h / 2), T);
}

// The reading at a screen angle, in -180..180 (180 for straight down).
int ReadingAt(const DialStyle& S, int ScreenDeg) {
  int v = S.Clockwise ? ScreenDeg : -ScreenDeg;
  v = ((v % 360) + 360) % 360;
  return v > 180 ? v - 360 : v;
}

void DrawLabels(QPainter& P, const DialStyle& S) {
  const QFont main = LabelFont(15, true);
  if (S.FullTurn) {
    for (int v = 0; v < 360; v += 30)
      DrawRadialLabel(P, LabelText(v), ScreenAngle(S, v), kLabelRadius, true, main,
                      v == 0 ? kZeroInk : kInk);
    return;
  }
  for (int v = -kPartialLimit; v <= kPartialLimit; v += 30)
    DrawRadialLabel(P, LabelText(v), ScreenAngle(S, v), kLabelRadius, true, main,
                    v == 0 ? kZeroInk : kInk);
  // Over-range: the reading reached by going on past +-120 outside, and inside in smaller
  // type the same direction reached the other way round (beyond +-180).
  const QFont second = LabelFont(11, false);
  for (int deg = kPartialLimit + 30; deg < 360 - kPartialLimit; deg += 30) {
    const int v = ReadingAt(S, deg);
    if (v == 180) {
      DrawRadialLabel(P, QString(QChar(0x00B1)) + QStringLiteral("180"), deg, kLabelRadius, true,
                      main, kOverInk);
      continue;
    }
    DrawRadialLabel(P, LabelText(v), deg, kLabelRadius, true, main, kOverInk);
    DrawRadialLabel(P, LabelText(v > 0 ? v - 360 : v + 360), deg, kScaleInner - 5, false, second,
                    kOverSecondInk);
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

// The maker's name below the readout, where the needle passes only when over range.
void DrawMaker(QPainter& P) {
  QFont f("DejaVu Sans");
  f.setPixelSize(12);
  f.setBold(true);
  f.setLetterSpacing(QFont::AbsoluteSpacing, 3);
  P.setFont(f);
  P.setPen(QColor(0x45, 0x4B, 0x52));
  P.drawText(QRectF(kCentre.x() - 50, kReadout.bottom() + 26, 100, 16), Qt::AlignCenter,
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

QImage DrawDial(const DialStyle& Style) {
  QImage img(kDialSize, kDialSize, QImage::Format_ARGB32_Premultiplied);
  img.fill(Qt::transparent);
  QPainter p(&img);
  p.setRenderHint(QPainter::Antialiasing);
  p.setRenderHint(QPainter::TextAntialiasing);
  DrawCorners(p);
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
