#pragma once

#include <QImage>

namespace kelta::dialgen {

struct DialStyle {
  // Full turn 0..360, or the partial scale -120..+120 with 0 at the top; the partial dial marks
  // the sector beyond +-120 as over-range and graduates it too, since a partial-range sensor
  // may report up to a full turn either way.
  bool FullTurn = true;
  // The needle turns clockwise on screen for a growing reading (modes 0 and 1 negate the
  // angle before turning it); otherwise counter-clockwise (modes 2 and 3).
  bool Clockwise = true;
};

// 404 x 404, straight alpha; transparent inside the graduation except the hub cap, the readout
// window and the printing there; the corners outside the bezel opaque in the panel colour.
QImage DrawDial(const DialStyle& Style);

}  // namespace kelta::dialgen
