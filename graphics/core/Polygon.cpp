#include "graphics/core/Polygon.h"

#include <algorithm>
#include <cstdint>
#include <vector>

namespace kelta::gfx {

namespace {

// Floor of N / D for D > 0 (C++ division truncates toward zero).
std::int64_t FloorDiv(std::int64_t N, std::int64_t D) {
  const std::int64_t q = N / D;
  return (N % D != 0 && N < 0) ? q - 1 : q;
}

void PutPixel(TCustomBitmap32& Dst, const TRect& Clip, std::int64_t X, std::int64_t Y,
              TColor32 Color) {
  if (X < Clip.Left || X >= Clip.Right || Y < Clip.Top || Y >= Clip.Bottom) return;
  Dst.SetPixel(static_cast<int>(X), static_cast<int>(Y), Color);
}

TRect DrawableClip(const TCustomBitmap32& Dst) {
  return Intersect(Dst.ClipRect(), Dst.BoundsRect());
}

}  // namespace

void FillPolygonInterior(TCustomBitmap32& Dst, std::span<const TPoint> Points, TColor32 Color) {
  const TRect clip = DrawableClip(Dst);
  if (Points.size() < 3 || clip.IsEmpty()) return;
  int top = Points[0].Y, bottom = Points[0].Y;
  for (const TPoint& p : Points) {
    top = std::min(top, p.Y);
    bottom = std::max(bottom, p.Y);
  }
  top = std::max(top, clip.Top);
  bottom = std::min(bottom, clip.Bottom);
  // Each crossing is the first pixel column whose centre lies right of the edge (on a right
  // edge counts as inside, on a left one as outside): exact rational arithmetic in 64 bits, so
  // no centre is misjudged by rounding.
  std::vector<std::int64_t> crossings;
  const std::size_t n = Points.size();
  for (int y = top; y < bottom; ++y) {
    crossings.clear();
    const std::int64_t yc2 = 2 * std::int64_t{y} + 1;  // twice the centre's y
    for (std::size_t i = 0; i < n; ++i) {
      const TPoint& a = Points[i];
      const TPoint& b = Points[(i + 1) % n];
      if (a.Y == b.Y) continue;
      const std::int64_t ay2 = 2 * std::int64_t{a.Y}, by2 = 2 * std::int64_t{b.Y};
      if (yc2 < std::min(ay2, by2) || yc2 >= std::max(ay2, by2)) continue;
      // Edge x at the centre row: a.X + (yc - a.Y) * (b.X - a.X) / (b.Y - a.Y) = Num / Den.
      std::int64_t den = 2 * (std::int64_t{b.Y} - a.Y);
      std::int64_t num = 2 * std::int64_t{a.X} * (std::int64_t{b.Y} - a.Y) +
                         (yc2 - ay2) * (std::int64_t{b.X} - a.X);
      if (den < 0) {
        den = -den;
        num = -num;
      }
      // First x with x + 0.5 > Num / Den: floor(Num / Den + 1/2) = floor((2 Num + Den) / 2 Den).
      crossings.push_back(FloorDiv(2 * num + den, 2 * den));
    }
    std::sort(crossings.begin(), crossings.end());
    for (std::size_t i = 0; i + 1 < crossings.size(); i += 2) {
      const std::int64_t l = std::max<std::int64_t>(crossings[i], clip.Left);
      const std::int64_t r = std::min<std::int64_t>(crossings[i + 1], clip.Right);
      if (l >= r) continue;
      TColor32* row = Dst.ScanLine(y);
      std::fill(row + l, row + r, Color);
    }
  }
}

void DrawLineInclusive(TCustomBitmap32& Dst, TPoint A, TPoint B, TColor32 Color) {
  const TRect clip = DrawableClip(Dst);
  if (clip.IsEmpty()) return;
  const std::int64_t dx = std::int64_t{B.X} - A.X, dy = std::int64_t{B.Y} - A.Y;
  const std::int64_t adx = dx < 0 ? -dx : dx, ady = dy < 0 ? -dy : dy;
  if (adx >= ady) {
    if (adx == 0) {
      PutPixel(Dst, clip, A.X, A.Y, Color);
      return;
    }
    if (dx < 0) std::swap(A, B);
    const std::int64_t sdy = std::int64_t{B.Y} - A.Y;
    const std::int64_t from = std::max<std::int64_t>(A.X, clip.Left);
    const std::int64_t to = std::min<std::int64_t>(B.X, clip.Right - 1);
    for (std::int64_t x = from; x <= to; ++x) {
      // Nearest y to A.Y + (x - A.X) * sdy / adx, ties up: floor((2 t sdy + adx) / (2 adx)).
      const std::int64_t y = A.Y + FloorDiv(2 * (x - A.X) * sdy + adx, 2 * adx);
      PutPixel(Dst, clip, x, y, Color);
    }
  } else {
    if (dy < 0) std::swap(A, B);
    const std::int64_t sdx = std::int64_t{B.X} - A.X;
    const std::int64_t from = std::max<std::int64_t>(A.Y, clip.Top);
    const std::int64_t to = std::min<std::int64_t>(B.Y, clip.Bottom - 1);
    for (std::int64_t y = from; y <= to; ++y) {
      const std::int64_t x = A.X + FloorDiv(2 * (y - A.Y) * sdx + ady, 2 * ady);
      PutPixel(Dst, clip, x, y, Color);
    }
  }
}

void PolygonOutlined(TCustomBitmap32& Dst, std::span<const TPoint> Points, TColor32 Color) {
  FillPolygonInterior(Dst, Points, Color);
  const std::size_t n = Points.size();
  for (std::size_t i = 0; i < n; ++i) DrawLineInclusive(Dst, Points[i], Points[(i + 1) % n], Color);
}

}  // namespace kelta::gfx
