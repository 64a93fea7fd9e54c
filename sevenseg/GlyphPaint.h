// Paints one glyph into one cell: which polygons, in which colour, in which order.
#pragma once

#include <cstdint>

#include "sevenseg/SevenSegmentCanvas.h"
#include "sevenseg/SevenSegmentGlyphs.h"

namespace kelta::sevenseg {

struct GlyphStyle {
  int segmentMargin = 2;
  int segmentSeperation = 1;
  int segmentSize = 1;
  TColor segmentColor = clLime;
  TColor segmentOffColor = clGreen;
  bool autoSegmentOffColor = true;
  bool showOffSegments = true;
  bool powerOff = false;
  bool useSegmentBits = false;
  std::uint8_t segmentBits = 0;  // A .. G in bits 0 .. 6, used with useSegmentBits
};

void PaintGlyph(Canvas& canvas, const GlyphStyle& style, const Rect& cell,
                TSevenSegmentCharacter glyph);

}  // namespace kelta::sevenseg
