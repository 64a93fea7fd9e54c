// Aliased polygons of one solid colour, the way a window system's painter draws a polygon
// with a one-pixel pen of the fill's colour: the pixels whose centres lie inside (even-odd
// rule), plus the outline, a one-pixel line along every edge through both of its vertices.
// Every pixel is replaced (no blending); only the bitmap's clip rectangle is touched.
#pragma once

#include "graphics/core/Bitmap32.h"

#include <span>

namespace kelta::gfx {

// Pixels whose centre (x + 0.5, y + 0.5) lies inside; a centre on a right edge is inside, on
// a left edge outside (each row fills from the first centre right of its left edge).
void FillPolygonInterior(TCustomBitmap32& Dst, std::span<const TPoint> Points, TColor32 Color);

// The pixels a one-pixel line from A to B covers, both ends included: one pixel per column of
// a shallow or 45-degree line (per row of a steep one), where the line crosses the column's
// middle if it descends there (its left edge if it rises), rounded down in 16.16 fixed point.
// The same pixels either way round.
void DrawLineInclusive(TCustomBitmap32& Dst, TPoint A, TPoint B, TColor32 Color);

// Interior and outline; a degenerate polygon (a point, a line) still paints its outline.
void PolygonOutlined(TCustomBitmap32& Dst, std::span<const TPoint> Points, TColor32 Color);

}  // namespace kelta::gfx
