// Layout and colour properties shared by seven-segment displays, and the hidden glyph
// painter that draws their cells. GUI thread only.
#pragma once

#include <functional>
#include <memory>

#include "sevenseg/AnalogLayout.h"
#include "sevenseg/qt/iCustomComponent.h"
#include "sevenseg/qt/iSevenSegmentCharacter.h"

namespace kelta::sevenseg {

class TiSevenSegmentDisplay : public TiCustomComponent {
 public:
  using NotifyEvent = std::function<void(TiSevenSegmentDisplay& sender)>;

  explicit TiSevenSegmentDisplay(QWidget* parent = nullptr);
  ~TiSevenSegmentDisplay() override;

  bool AutoSize() const { return autoSize_; }
  void SetAutoSize(bool value);
  int DigitCount() const { return digitCount_; }
  void SetDigitCount(int value);
  int DigitSpacing() const { return digitSpacing_; }
  void SetDigitSpacing(int value);
  TiLeadingStyle LeadingStyle() const { return leadingStyle_; }
  void SetLeadingStyle(TiLeadingStyle value);
  int SegmentMargin() const { return segmentMargin_; }
  void SetSegmentMargin(int value);
  TColor SegmentColor() const { return segmentColor_; }
  void SetSegmentColor(TColor value);
  int SegmentSeperation() const { return segmentSeperation_; }
  void SetSegmentSeperation(int value);
  int SegmentSize() const { return segmentSize_; }
  void SetSegmentSize(int value);
  bool ShowOffSegments() const { return showOffSegments_; }
  void SetShowOffSegments(bool value);
  bool PowerOff() const { return powerOff_; }
  void SetPowerOff(bool value);
  const NotifyEvent& OnValueChange() const { return onValueChange_; }
  void SetOnValueChange(NotifyEvent handler) { onValueChange_ = std::move(handler); }
  bool AutoSegmentOffColor() const { return autoSegmentOffColor_; }
  void SetAutoSegmentOffColor(bool value);
  TColor SegmentOffColor() const { return segmentOffColor_; }
  void SetSegmentOffColor(TColor value);

  // Size that fits the cells exactly (64-bit: spacing and margin are unbounded).
  virtual Size64 GetNaturalSize() = 0;
  void ApplyAutoSize();
  void SyncGlyphPainter();

  TiSevenSegmentCharacter& GlyphPainter() { return *glyphPainter_; }
  const TiSevenSegmentCharacter& GlyphPainter() const { return *glyphPainter_; }

 protected:
  void FireValueChange();

 private:
  // Owned, never shown and never given a parent; its repaints stay suspended for life.
  std::unique_ptr<TiSevenSegmentCharacter> glyphPainter_;
  bool autoSize_ = true;
  int digitCount_ = 4;
  int digitSpacing_ = 6;
  TiLeadingStyle leadingStyle_ = ilsSpaces;
  int segmentMargin_ = 5;
  TColor segmentColor_ = clWhite;
  int segmentSeperation_ = 1;
  int segmentSize_ = 1;
  bool showOffSegments_ = true;
  bool powerOff_ = false;
  NotifyEvent onValueChange_;
  bool autoSegmentOffColor_ = true;
  TColor segmentOffColor_ = clGray;
};

}  // namespace kelta::sevenseg
