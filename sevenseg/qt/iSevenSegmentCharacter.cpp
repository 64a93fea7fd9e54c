#include "sevenseg/qt/iSevenSegmentCharacter.h"

#include <algorithm>

namespace kelta::sevenseg {

int ClampWidgetExtent(std::int64_t v) {
  return static_cast<int>(std::clamp<std::int64_t>(v, 0, QWIDGETSIZE_MAX));
}

TiSevenSegmentCharacter::TiSevenSegmentCharacter(QWidget* parent) : TiCustomComponent(parent) {
  SetBackGroundColor(clBlack);
  ApplyAutoSize();
}

void TiSevenSegmentCharacter::DrawGlyph(Canvas& canvas, Coord x0, Coord y0, Coord w, Coord h,
                                        TSevenSegmentCharacter g) const {
  PaintGlyph(canvas, style_, Rect{x0, y0, w, h}, g);
}

void TiSevenSegmentCharacter::DrawContent(Canvas& canvas) {
  DrawBackground(canvas, BackGroundColor());
  DrawGlyph(canvas, 0, 0, width(), height(), value_);
}

std::int64_t TiSevenSegmentCharacter::NaturalGlyphWidth() const {
  return sevenseg::NaturalGlyphWidth(value_, style_.segmentMargin, style_.segmentSize);
}

std::int64_t TiSevenSegmentCharacter::NaturalGlyphHeight() const {
  return sevenseg::NaturalGlyphHeight(style_.segmentMargin, style_.segmentSize);
}

void TiSevenSegmentCharacter::ApplyAutoSize() {
  if (IsLoading() || !autoSize_) return;
  // One more than the glyph: the period dot reaches one row below the glyph box.
  resize(width(), ClampWidgetExtent(NaturalGlyphHeight() + 1));
  resize(ClampWidgetExtent(NaturalGlyphWidth() + 1), height());
}

void TiSevenSegmentCharacter::SetAutoSize(bool value) {
  if (value == autoSize_) return;
  autoSize_ = value;
  ApplyAutoSize();
  RequestRepaint();
}

void TiSevenSegmentCharacter::SetPowerOff(bool value) {
  if (value == style_.powerOff) return;
  style_.powerOff = value;
  RequestRepaint();
}

void TiSevenSegmentCharacter::SetSegmentColor(TColor value) {
  if (value == style_.segmentColor) return;
  style_.segmentColor = value;
  RequestRepaint();
}

void TiSevenSegmentCharacter::SetSegmentMargin(int value) {
  if (value == style_.segmentMargin) return;
  style_.segmentMargin = std::max(value, 0);
  ApplyAutoSize();
  RequestRepaint();
}

void TiSevenSegmentCharacter::SetSegmentSeperation(int value) {
  if (value == style_.segmentSeperation) return;
  style_.segmentSeperation = std::max(value, 0);
  RequestRepaint();
}

void TiSevenSegmentCharacter::SetSegmentSize(int value) {
  if (value == style_.segmentSize) return;
  style_.segmentSize = std::max(value, 1);
  ApplyAutoSize();
  RequestRepaint();
}

void TiSevenSegmentCharacter::SetShowOffSegments(bool value) {
  if (value == style_.showOffSegments) return;
  style_.showOffSegments = value;
  RequestRepaint();
}

void TiSevenSegmentCharacter::SetSegmentBits(std::uint8_t value) {
  style_.segmentBits = value & kAllSegments;
  RequestRepaint();
}

void TiSevenSegmentCharacter::SetUseSegmentBits(bool value) {
  if (value == style_.useSegmentBits) return;
  style_.useSegmentBits = value;
  RequestRepaint();
}

void TiSevenSegmentCharacter::SetFlag(SegmentBit bit, bool value) {
  if (value == Flag(bit)) return;
  style_.segmentBits =
      static_cast<std::uint8_t>(value ? (style_.segmentBits | bit) : (style_.segmentBits & ~bit));
  RequestRepaint();
}

void TiSevenSegmentCharacter::SetValue(TSevenSegmentCharacter value) {
  if (value == value_) return;
  value_ = value;
  RequestRepaint();
  ApplyAutoSize();
}

void TiSevenSegmentCharacter::SetSegmentOffColor(TColor value) {
  if (value == style_.segmentOffColor) return;
  style_.segmentOffColor = value;
  RequestRepaint();
}

void TiSevenSegmentCharacter::SetAutoSegmentOffColor(bool value) {
  if (value == style_.autoSegmentOffColor) return;
  style_.autoSegmentOffColor = value;
  RequestRepaint();
}

}  // namespace kelta::sevenseg
