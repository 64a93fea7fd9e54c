// Lit and unlit colours of a seven-segment painter.
#pragma once

#include "sevenseg/SevenSegmentCanvas.h"

namespace kelta::sevenseg {

// The host's palette-relative flag. It is added, not or-ed, so a colour that already has
// a top byte keeps the value it always produced; canvases ignore the top byte.
inline constexpr TColor kPaletteRelative = 0x02000000;

// A third of each RGB byte of the segment colour: a dim version of the same hue.
TColor DerivedOffColor(TColor segmentColor);
TColor OffColor(TColor segmentColor, TColor segmentOffColor, bool autoOffColor);
TColor OnColor(TColor segmentColor, TColor offColor, bool powerOff);

}  // namespace kelta::sevenseg

namespace kelta::sevenseg {

// Colours of the two-pixel edge: the host's standard 3-D edge (light, highlight,
// shadow, dark shadow), fixed so that the readout looks the same under every style.
struct BevelColors {
  TColor outerTopLeft, outerBottomRight, innerTopLeft, innerBottomRight;
};
BevelColors BevelColorsFor(TiBevelStyle style);

}  // namespace kelta::sevenseg
