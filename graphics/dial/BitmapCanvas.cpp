#include "graphics/dial/BitmapCanvas.h"

#include "graphics/core/Polygon.h"
#include "sevenseg/SevenSegmentColors.h"

#include <algorithm>
#include <array>
#include <vector>

namespace kelta::sevenseg {

namespace {

// Far outside any frame, and small enough that every sum of two stays in an int.
constexpr Coord kCoordLimit = 1 << 22;

int ClampCoord(Coord v) { return static_cast<int>(std::clamp(v, -kCoordLimit, kCoordLimit)); }

}  // namespace

gfx::TColor32 ToColor32(TColor c) {
  return 0xFF000000u | ((c & 0xFFu) << 16) | (c & 0xFF00u) | ((c >> 16) & 0xFFu);
}

BitmapCanvas::BitmapCanvas(gfx::TCustomBitmap32& target, const gfx::TRect& area)
    : target_(target), area_(area), savedClip_(target.ClipRect()) {
  target_.SetClipRect(gfx::Intersect(area, savedClip_));
}

BitmapCanvas::~BitmapCanvas() { target_.SetClipRect(savedClip_); }

void BitmapCanvas::FillRect(const Rect& r, TColor color) {
  const int x = ClampCoord(r.x) + area_.Left, y = ClampCoord(r.y) + area_.Top;
  const gfx::TRect fill =
      gfx::Intersect({x, y, x + ClampCoord(r.w), y + ClampCoord(r.h)}, target_.ClipRect());
  if (fill.IsEmpty()) return;
  const gfx::TColor32 c = ToColor32(color);
  for (int row = fill.Top; row < fill.Bottom; ++row) {
    gfx::TColor32* line = target_.ScanLine(row);
    std::fill(line + fill.Left, line + fill.Right, c);
  }
}

void BitmapCanvas::Polygon(std::span<const Point> points, TColor color) {
  std::array<gfx::TPoint, 8> small;
  std::vector<gfx::TPoint> large;
  gfx::TPoint* pts = small.data();
  if (points.size() > small.size()) {
    large.resize(points.size());
    pts = large.data();
  }
  for (std::size_t i = 0; i < points.size(); ++i)
    pts[i] = {ClampCoord(points[i].x) + area_.Left, ClampCoord(points[i].y) + area_.Top};
  gfx::PolygonOutlined(target_, {pts, points.size()}, ToColor32(color));
}

void BitmapCanvas::Bevel(const Rect& r, TiBevelStyle style) {
  if (style == ibsNone) return;
  const BevelColors c = BevelColorsFor(style);
  auto ring = [this](Coord x, Coord y, Coord w, Coord h, TColor topLeft, TColor bottomRight) {
    if (w <= 0 || h <= 0) return;
    FillRect({x, y, w, 1}, topLeft);
    FillRect({x, y, 1, h}, topLeft);
    FillRect({x, y + h - 1, w, 1}, bottomRight);
    FillRect({x + w - 1, y, 1, h}, bottomRight);
  };
  ring(r.x, r.y, r.w, r.h, c.outerTopLeft, c.outerBottomRight);
  ring(r.x + 1, r.y + 1, r.w - 2, r.h - 2, c.innerTopLeft, c.innerBottomRight);
}

}  // namespace kelta::sevenseg
