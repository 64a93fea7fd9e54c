// The angle readout in the dial view, as the operator sees it: a five-digit seven-segment
// display with one decimal, lime segments on black with the unlit ones hidden, a child of the
// view over the dial picture's readout window; and the needle angle for a reading. The
// console's angle display and kelta-render-dial both take them from here, so a dial drawn
// for one looks the same in the other.
//
// Threading: GUI thread only (the readout is a widget).
#pragma once

#include <string_view>

class QWidget;

namespace kelta::sevenseg {
class TiSevenSegmentAnalog;
}

namespace kelta::gfx {

// The readout's place in the dial view, in view pixels. Dial pictures leave a window there.
struct TDialReadoutRect {
  int Left;
  int Top;
  int Width;
  int Height;
};
inline constexpr TDialReadoutRect kDialReadoutRect{144, 221, 113, 36};

// Creates the readout as a child of the dial view, placed and set up; it shows 0.0. The view
// owns it.
sevenseg::TiSevenSegmentAnalog* CreateDialReadout(QWidget& view);

// The needle angle for a reading the readout shows as received: negated in direction modes "0"
// and "1" (exact text), unchanged for any other mode text, the empty one before the sensor
// first reported its mode included.
float DialAngleFor(double reading, std::string_view mode);

}  // namespace kelta::gfx
