#include "sevenseg/qt/iSevenSegmentDisplay.h"

#include <algorithm>

namespace kelta::sevenseg {

TiSevenSegmentDisplay::TiSevenSegmentDisplay(QWidget* parent)
    : TiCustomComponent(parent), glyphPainter_(std::make_unique<TiSevenSegmentCharacter>()) {
  resize(15, 15);
  SetBackGroundColor(clBlack);
  glyphPainter_->SuspendRepaint();
  glyphPainter_->SetSegmentMargin(0);
  glyphPainter_->SetAutoSize(false);
}

TiSevenSegmentDisplay::~TiSevenSegmentDisplay() = default;

void TiSevenSegmentDisplay::ApplyAutoSize() {
  if (IsLoading() || !autoSize_) return;
  const Size64 natural = GetNaturalSize();
  resize(ClampWidgetExtent(natural.w), height());
  resize(width(), ClampWidgetExtent(natural.h));
}

void TiSevenSegmentDisplay::SyncGlyphPainter() {
  TiSevenSegmentCharacter& p = *glyphPainter_;
  p.SetSegmentMargin(0);
  p.SetSegmentColor(segmentColor_);
  p.SetSegmentOffColor(segmentOffColor_);
  p.SetAutoSegmentOffColor(autoSegmentOffColor_);
  p.SetSegmentSize(segmentSize_);
  p.SetSegmentSeperation(segmentSeperation_);
  p.SetShowOffSegments(showOffSegments_);
  p.SetPowerOff(powerOff_);
}

void TiSevenSegmentDisplay::FireValueChange() {
  if (onValueChange_) onValueChange_(*this);
}

void TiSevenSegmentDisplay::SetAutoSize(bool value) {
  if (value == autoSize_) return;
  autoSize_ = value;
  ApplyAutoSize();
  RequestRepaint();
}

void TiSevenSegmentDisplay::SetDigitCount(int value) {
  if (value == digitCount_) return;
  digitCount_ = std::clamp(value, 1, 32);
  ApplyAutoSize();
  RequestRepaint();
}

void TiSevenSegmentDisplay::SetDigitSpacing(int value) {
  if (value == digitSpacing_) return;
  digitSpacing_ = value;
  ApplyAutoSize();
  RequestRepaint();
}

void TiSevenSegmentDisplay::SetLeadingStyle(TiLeadingStyle value) {
  if (value == leadingStyle_) return;
  leadingStyle_ = value;
  RequestRepaint();
}

void TiSevenSegmentDisplay::SetSegmentMargin(int value) {
  if (value == segmentMargin_) return;
  segmentMargin_ = std::max(value, 0);
  ApplyAutoSize();
  RequestRepaint();
}

void TiSevenSegmentDisplay::SetSegmentColor(TColor value) {
  if (value == segmentColor_) return;
  segmentColor_ = value;
  glyphPainter_->SetSegmentColor(value);
  RequestRepaint();
}

void TiSevenSegmentDisplay::SetSegmentSeperation(int value) {
  if (value == segmentSeperation_) return;
  segmentSeperation_ = std::max(value, 0);
  glyphPainter_->SetSegmentSeperation(segmentSeperation_);
  RequestRepaint();
}

void TiSevenSegmentDisplay::SetSegmentSize(int value) {
  if (value == segmentSize_) return;
  segmentSize_ = std::clamp(value, 1, 100);
  glyphPainter_->SetSegmentSize(segmentSize_);
  ApplyAutoSize();
  RequestRepaint();
}

void TiSevenSegmentDisplay::SetShowOffSegments(bool value) {
  if (value == showOffSegments_) return;
  showOffSegments_ = value;
  RequestRepaint();
}

void TiSevenSegmentDisplay::SetPowerOff(bool value) {
  if (value == powerOff_) return;
  powerOff_ = value;
  RequestRepaint();
}

void TiSevenSegmentDisplay::SetAutoSegmentOffColor(bool value) {
  if (value == autoSegmentOffColor_) return;
  autoSegmentOffColor_ = value;
  glyphPainter_->SetAutoSegmentOffColor(value);
  RequestRepaint();
}

void TiSevenSegmentDisplay::SetSegmentOffColor(TColor value) {
  if (value == segmentOffColor_) return;
  segmentOffColor_ = value;
  glyphPainter_->SetSegmentOffColor(value);
  RequestRepaint();
}

}  // namespace kelta::sevenseg
