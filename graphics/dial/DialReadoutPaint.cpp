#include "graphics/dial/DialReadoutPaint.h"

#include "graphics/core/Blend.h"
#include "graphics/dial/BitmapCanvas.h"
#include "sevenseg/AnalogLayout.h"
#include "sevenseg/GlyphPaint.h"

#include <vector>

namespace kelta::gfx {

sevenseg::TColor DialReadoutColor(bool Live, bool Stale) {
  if (!Live) return kReadoutNotLiveColor;
  return Stale ? kReadoutStaleColor : kReadoutCurrentColor;
}

void PaintDialReadout(TCustomBitmap32& Frame, double Value, sevenseg::TColor SegmentColor,
                      char DecimalSeparator) {
  PaintDialReadoutAt(Frame, kDialReadoutRect.Left, kDialReadoutRect.Top, Value, SegmentColor,
                     DecimalSeparator);
}

void PaintDialReadoutAt(TCustomBitmap32& Frame, int Left, int Top, double Value,
                        sevenseg::TColor SegmentColor, char DecimalSeparator) {
  PaintDialReadoutSized(Frame, Left, Top, kDialReadoutRect.Width, kDialReadoutRect.Height, Value,
                        SegmentColor, DecimalSeparator);
}

void PaintDialReadoutSized(TCustomBitmap32& Frame, int Left, int Top, int Width, int Height,
                           double Value, sevenseg::TColor SegmentColor, char DecimalSeparator) {
  sevenseg::BitmapCanvas canvas(Frame, {Left, Top, Left + Width, Top + Height});
  canvas.FillRect({0, 0, Width, Height}, sevenseg::clBlack);

  // The widget's settings (CreateDialReadout) and its defaults for the rest.
  sevenseg::AnalogLayoutParams layout;
  layout.width = Width;
  layout.height = Height;
  layout.digitCount = 5;
  layout.precision = 1;
  layout.decimalSeparator = DecimalSeparator;
  layout.value = Value > 1e15 ? 1e15 : Value;
  std::vector<sevenseg::CellDraw> cells;
  sevenseg::LayoutAnalog(layout, cells);

  sevenseg::GlyphStyle style;
  style.segmentMargin = 0;  // the display's margin is around the cells, not in them
  style.segmentColor = SegmentColor;
  style.segmentOffColor = sevenseg::clBlack;
  style.showOffSegments = false;
  for (const sevenseg::CellDraw& c : cells) sevenseg::PaintGlyph(canvas, style, c.cell, c.glyph);
}

void VeilNotLive(TCustomBitmap32& Frame) {
  for (int y = 0; y < Frame.Height(); ++y) {
    TColor32* row = Frame.ScanLine(y);
    // The blend weighs alpha like the colours; the veiled view stays opaque.
    for (int x = 0; x < Frame.Width(); ++x)
      row[x] = BlendColors(kNotLiveVeil, row[x]) | 0xFF000000u;
  }
}

float DialAngleFor(double reading, std::string_view mode) {
  if (mode == "1" || mode == "0") reading *= -1.0;
  return static_cast<float>(reading);
}

}  // namespace kelta::gfx
