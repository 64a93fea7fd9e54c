// Cell layout of the numeric readout: which glyph goes into which cell for a value.
#pragma once

#include <cstdint>
#include <vector>

#include "sevenseg/SevenSegmentCanvas.h"
#include "sevenseg/SevenSegmentGlyphs.h"

namespace kelta::sevenseg {

enum TiLeadingStyle : std::uint8_t { ilsNone, ilsZeros, ilsSpaces };

struct AnalogLayoutParams {
  int width = 0;  // control size
  int height = 0;
  int digitCount = 4;
  int digitSpacing = 6;
  int segmentMargin = 5;
  int precision = 2;
  bool showSign = true;
  TiLeadingStyle leadingStyle = ilsSpaces;
  char decimalSeparator = '.';
  double value = 0.0;
};

struct CellDraw {
  TSevenSegmentCharacter glyph = sscBlank;
  Rect cell;
  friend bool operator==(const CellDraw&, const CellDraw&) = default;
};

// Fills `out` (cleared first; reuse it to avoid allocation) with the cells to paint, in
// painting order: sign, integer digits, decimal mark, fraction digits. Cells not listed
// keep the background.
void LayoutAnalog(const AnalogLayoutParams& p, std::vector<CellDraw>& out);

struct Size64 {
  std::int64_t w = 0;
  std::int64_t h = 0;
};

// Width and height that fit the cells exactly, for glyphs of glyphW x glyphH.
Size64 AnalogNaturalSize(std::int64_t glyphW, std::int64_t glyphH, int digitCount, bool showSign,
                         int digitSpacing, int segmentMargin);

}  // namespace kelta::sevenseg
