#include "sevenseg/qt/iSevenSegmentAnalog.h"

#include <QLocale>
#include <algorithm>
#include <cmath>

namespace kelta::sevenseg {

char LocaleDecimalSeparator() {
  const QString point = QLocale().decimalPoint();
  if (point.size() == 1 && point[0].unicode() < 0x80) return static_cast<char>(point[0].unicode());
  return '.';
}

TiSevenSegmentAnalog::TiSevenSegmentAnalog(QWidget* parent)
    : TiSevenSegmentDisplay(parent), decimalSeparator_(LocaleDecimalSeparator()) {
  ApplyAutoSize();
}

void TiSevenSegmentAnalog::SetValue(double value) {
  if (value > 1e15) value = 1e15;
  // NaN never compares equal; treat a second NaN as unchanged so it is a no-op too.
  if (value == value_ || (std::isnan(value) && std::isnan(value_))) return;
  value_ = value;
  RequestRepaint();
  FireValueChange();
}

void TiSevenSegmentAnalog::SetShowSign(bool value) {
  if (value == showSign_) return;
  showSign_ = value;
  RequestRepaint();
  ApplyAutoSize();
}

void TiSevenSegmentAnalog::SetPrecision(int value) {
  value = std::min(value, 13);
  if (value == precision_) return;
  precision_ = std::max(value, 0);
  ApplyAutoSize();
  RequestRepaint();
}

void TiSevenSegmentAnalog::SetDecimalSeparator(char value) {
  if (value == decimalSeparator_) return;
  decimalSeparator_ = value;
  RequestRepaint();
}

Size64 TiSevenSegmentAnalog::GetNaturalSize() {
  TiSevenSegmentCharacter& painter = GlyphPainter();
  painter.SetCharacter('0');
  return AnalogNaturalSize(painter.NaturalGlyphWidth(), painter.NaturalGlyphHeight(), DigitCount(),
                           showSign_, DigitSpacing(), SegmentMargin());
}

void TiSevenSegmentAnalog::Layout(std::vector<CellDraw>& out) const {
  AnalogLayoutParams p;
  p.width = width();
  p.height = height();
  p.digitCount = DigitCount();
  p.digitSpacing = DigitSpacing();
  p.segmentMargin = SegmentMargin();
  p.precision = precision_;
  p.showSign = showSign_;
  p.leadingStyle = LeadingStyle();
  p.decimalSeparator = decimalSeparator_;
  p.value = value_;
  LayoutAnalog(p, out);
}

void TiSevenSegmentAnalog::DrawContent(Canvas& canvas) {
  SyncGlyphPainter();
  DrawBackground(canvas, BackGroundColor());
  Layout(cells_);
  const TiSevenSegmentCharacter& painter = GlyphPainter();
  for (const CellDraw& c : cells_)
    painter.DrawGlyph(canvas, c.cell.x, c.cell.y, c.cell.w, c.cell.h, c.glyph);
}

}  // namespace kelta::sevenseg
