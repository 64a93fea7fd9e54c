#include "sevenseg/SevenSegmentColors.h"

namespace kelta::sevenseg {

TColor DerivedOffColor(TColor segmentColor) {
  const TColor r = (segmentColor & 0xFF) / 3;
  const TColor g = ((segmentColor >> 8) & 0xFF) / 3;
  const TColor b = ((segmentColor >> 16) & 0xFF) / 3;
  return (r | (g << 8) | (b << 16)) + kPaletteRelative;
}

TColor OffColor(TColor segmentColor, TColor segmentOffColor, bool autoOffColor) {
  return autoOffColor ? DerivedOffColor(segmentColor) : segmentOffColor;
}

TColor OnColor(TColor segmentColor, TColor offColor, bool powerOff) {
  // Unsigned: a caller's colour with a top byte set wraps instead of overflowing.
  return powerOff ? offColor : segmentColor + kPaletteRelative;
}

}  // namespace kelta::sevenseg

namespace kelta::sevenseg {

namespace {
constexpr TColor kHighlight = 0xFFFFFF;
constexpr TColor kLight = 0xE3E3E3;
constexpr TColor kShadow = 0xA0A0A0;
constexpr TColor kDarkShadow = 0x404040;
}  // namespace

BevelColors BevelColorsFor(TiBevelStyle style) {
  if (style == ibsLowered) return {kShadow, kHighlight, kDarkShadow, kLight};
  return {kLight, kDarkShadow, kHighlight, kShadow};
}

}  // namespace kelta::sevenseg
