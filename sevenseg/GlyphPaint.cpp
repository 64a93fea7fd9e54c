#include "sevenseg/GlyphPaint.h"

#include "sevenseg/SevenSegmentColors.h"
#include "sevenseg/SevenSegmentGeometry.h"

namespace kelta::sevenseg {

namespace {

void PaintShape(Canvas& canvas, Shape shape, const CellGeometry& g, TColor color) {
  const ShapePolygons s = ShapeGeometry(shape, g);
  for (int i = 0; i < s.count; ++i) canvas.Polygon(s.polys[i].Points(), color);
}

void PaintSegments(Canvas& canvas, std::uint8_t mask, const CellGeometry& g, TColor on, TColor off,
                   bool showOff) {
  for (int s = kA; s <= kG; ++s) {
    const bool lit = (mask >> s) & 1;
    if (!lit && !showOff) continue;
    canvas.Polygon(SegmentPolygon(static_cast<Segment>(s), g).Points(), lit ? on : off);
  }
}

}  // namespace

void PaintGlyph(Canvas& canvas, const GlyphStyle& style, const Rect& cell,
                TSevenSegmentCharacter glyph) {
  const TColor off = OffColor(style.segmentColor, style.segmentOffColor, style.autoSegmentOffColor);
  const TColor on = OnColor(style.segmentColor, off, style.powerOff);
  const CellGeometry g{
      cell.x,           cell.y, cell.w, cell.h, style.segmentMargin, style.segmentSeperation,
      style.segmentSize};

  if (style.useSegmentBits) {
    PaintSegments(canvas, style.segmentBits & kAllSegments, g, on, off, style.showOffSegments);
    return;
  }
  if (IsSegmentGlyph(glyph)) {
    PaintSegments(canvas, SegmentMask(glyph), g, on, off, style.showOffSegments);
    return;
  }
  switch (glyph) {
    case sscPeriod:
      PaintShape(canvas, Shape::kPeriod, g, on);
      break;
    case sscColon:
      PaintShape(canvas, Shape::kColon, g, on);
      break;
    case sscSemiColon:
      PaintShape(canvas, Shape::kSemiColon, g, on);
      break;
    case sscComma:
      PaintShape(canvas, Shape::kComma, g, on);
      break;
    case sscLine:
      PaintShape(canvas, Shape::kLine, g, on);
      break;
    case sscUpArrow:
      PaintShape(canvas, Shape::kUpArrow, g, on);
      break;
    case sscDownArrow:
      PaintShape(canvas, Shape::kDownArrow, g, on);
      break;
    // The sign cell is split: the inactive half shows as an off segment.
    case sscPlus:
      PaintShape(canvas, Shape::kPlus, g, on);
      if (style.showOffSegments) PaintShape(canvas, Shape::kMinus, g, off);
      break;
    case sscMinus:
      PaintShape(canvas, Shape::kMinus, g, on);
      if (style.showOffSegments) PaintShape(canvas, Shape::kPlus, g, off);
      break;
    default:
      break;
  }
}

}  // namespace kelta::sevenseg
