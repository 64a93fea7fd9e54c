// Where things sit in the dial view. The needle picture's pivot (12, 134) lands at (202, 200)
// of the 404 x 404 view; the seven-segment readout is a child of the view at (144, 221).
#pragma once

#include <QPointF>
#include <QRectF>

namespace kelta::dialgen {

constexpr int kDialSize = 404;
// Paint coordinates: pixel (x, y) covers (x, y)-(x+1, y+1), so pixel (202, 200) is centred here.
inline const QPointF kCentre(202.5, 200.5);

constexpr int kNeedleWidth = 25;
constexpr int kNeedleHeight = 150;
inline const QPointF kNeedlePivot(12.5, 134.5);
// The needle's tip lies this far from the pivot; the scale starts just outside it, and inside
// it the dial stays transparent so the needle shows.
constexpr double kNeedleReach = 132;

inline const QRectF kReadout(144, 221, 113, 36);

}  // namespace kelta::dialgen
