// Where things sit in the dial view. The needle picture's pivot (12, 134) lands at (202, 200)
// of the 404 x 404 view; the seven-segment readout is a child of the view at (144, 221).
#pragma once

#include "graphics/qt/DialReadout.h"

#include <QColor>
#include <QPointF>
#include <QRectF>

namespace kelta::dialgen {

constexpr int kDialSize = 404;
// Paint coordinates: pixel (x, y) covers (x, y)-(x+1, y+1), so pixel (202, 200) is centred here.
inline const QPointF kCentre(202.5, 200.5);

constexpr int kNeedleWidth = 25;
constexpr int kNeedleHeight = 150;
inline const QPointF kNeedlePivot(12.5, 134.5);
// The needle's tip lies this far from the pivot (the picture allows no more: the pivot sits
// 134 rows below its top edge, which stays clear).
constexpr double kNeedleReach = 132;

// The graduation starts inside the needle's reach, so the tip runs into the ticks and a reading
// is taken where they are. Inside this radius the dial stays transparent so the needle shows,
// but for the hub cap, the readout window and the printing below it.
constexpr double kScaleInner = 122;

inline const QRectF kReadout(gfx::kDialReadoutRect.Left, gfx::kDialReadoutRect.Top,
                             gfx::kDialReadoutRect.Width, gfx::kDialReadoutRect.Height);

// The console panel around the dial view (Qt's standard window colour, which the console
// keeps): the dial's corners are painted in it, as the view under them is opaque white.
inline const QColor kPanelColour(0xEF, 0xEF, 0xEF);

}  // namespace kelta::dialgen
