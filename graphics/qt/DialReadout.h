// The angle readout in the dial view as a Qt widget: a five-digit seven-segment display with
// one decimal, lime segments on black with the unlit ones hidden, a child of the view over the
// dial picture's readout window. Its place and the needle angle for a reading come from
// DialReadoutPaint.h, whose window-system-free renderer draws the same digits.
//
// Threading: GUI thread only (the readout is a widget).
#pragma once

#include "graphics/dial/DialReadoutPaint.h"

class QWidget;

namespace kelta::sevenseg {
class TiSevenSegmentAnalog;
}

namespace kelta::gfx {

// Creates the readout as a child of the dial view, placed and set up; it shows 0.0. The view
// owns it.
sevenseg::TiSevenSegmentAnalog* CreateDialReadout(QWidget& view);

}  // namespace kelta::gfx
