// One seven-segment character as a control. The numeric display keeps a hidden instance
// as the painter of all its cells (DrawGlyph); its properties are the painter's settings.
// GUI thread only.
#pragma once

#include <cstdint>

#include "sevenseg/GlyphPaint.h"
#include "sevenseg/SevenSegmentGlyphs.h"
#include "sevenseg/qt/iCustomComponent.h"

namespace kelta::sevenseg {

class TiSevenSegmentCharacter : public TiCustomComponent {
 public:
  explicit TiSevenSegmentCharacter(QWidget* parent = nullptr);

  // Paints glyph g into the cell; reads the settings, never the control's size or Value.
  void DrawGlyph(Canvas& canvas, Coord x0, Coord y0, Coord w, Coord h,
                 TSevenSegmentCharacter g) const;

  bool AutoSize() const { return autoSize_; }
  void SetAutoSize(bool value);
  char Character() const { return GlyphToChar(value_); }
  void SetCharacter(char value) { SetValue(CharToGlyph(value)); }
  bool PowerOff() const { return style_.powerOff; }
  void SetPowerOff(bool value);
  TColor SegmentColor() const { return style_.segmentColor; }
  void SetSegmentColor(TColor value);
  int SegmentMargin() const { return style_.segmentMargin; }
  void SetSegmentMargin(int value);
  int SegmentSeperation() const { return style_.segmentSeperation; }
  void SetSegmentSeperation(int value);
  int SegmentSize() const { return style_.segmentSize; }
  void SetSegmentSize(int value);
  bool ShowOffSegments() const { return style_.showOffSegments; }
  void SetShowOffSegments(bool value);
  // The seven flags as a byte, A in bit 0; bit 7 is ignored. Always repaints.
  std::uint8_t SegmentBits() const { return style_.segmentBits; }
  void SetSegmentBits(std::uint8_t value);
  bool UseSegmentBits() const { return style_.useSegmentBits; }
  void SetUseSegmentBits(bool value);
  bool SegAOn() const { return Flag(kSegA); }
  bool SegBOn() const { return Flag(kSegB); }
  bool SegCOn() const { return Flag(kSegC); }
  bool SegDOn() const { return Flag(kSegD); }
  bool SegEOn() const { return Flag(kSegE); }
  bool SegFOn() const { return Flag(kSegF); }
  bool SegGOn() const { return Flag(kSegG); }
  void SetSegAOn(bool value) { SetFlag(kSegA, value); }
  void SetSegBOn(bool value) { SetFlag(kSegB, value); }
  void SetSegCOn(bool value) { SetFlag(kSegC, value); }
  void SetSegDOn(bool value) { SetFlag(kSegD, value); }
  void SetSegEOn(bool value) { SetFlag(kSegE, value); }
  void SetSegFOn(bool value) { SetFlag(kSegF, value); }
  void SetSegGOn(bool value) { SetFlag(kSegG, value); }
  TSevenSegmentCharacter Value() const { return value_; }
  void SetValue(TSevenSegmentCharacter value);
  TColor SegmentOffColor() const { return style_.segmentOffColor; }
  void SetSegmentOffColor(TColor value);
  bool AutoSegmentOffColor() const { return style_.autoSegmentOffColor; }
  void SetAutoSegmentOffColor(bool value);

  // Natural glyph size of Value with the current margin and segment size.
  std::int64_t NaturalGlyphWidth() const;
  std::int64_t NaturalGlyphHeight() const;
  void ApplyAutoSize();

 protected:
  void DrawContent(Canvas& canvas) override;

 private:
  bool Flag(SegmentBit bit) const { return (style_.segmentBits & bit) != 0; }
  void SetFlag(SegmentBit bit, bool value);

  bool autoSize_ = true;
  TSevenSegmentCharacter value_ = ssc0;
  GlyphStyle style_;
};

// Clamps a 64-bit size into what a widget can take.
int ClampWidgetExtent(std::int64_t v);

}  // namespace kelta::sevenseg
