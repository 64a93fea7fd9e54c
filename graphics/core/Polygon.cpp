#include "graphics/core/Polygon.h"

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <vector>

namespace kelta::gfx {

namespace {

// Products of two coordinate differences need 65 bits: a 32-bit coordinate span times another.
__extension__ using TWide = __int128;

// Floor of N / D for D > 0 (C++ division truncates toward zero); the caller knows it fits.
std::int64_t FloorDiv(TWide N, TWide D) {
  const TWide q = N / D;
  return static_cast<std::int64_t>((N % D != 0 && N < 0) ? q - 1 : q);
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
  // edge counts as inside, on a left one as outside): exact rational arithmetic, so no centre
  // is misjudged by rounding. A crossing lies between the edge's ends, so it fits 64 bits.
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
      TWide den = 2 * (TWide{b.Y} - a.Y);
      TWide num = 2 * TWide{a.X} * (TWide{b.Y} - a.Y) + TWide{yc2 - ay2} * (TWide{b.X} - a.X);
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
  const std::int64_t adx = std::abs(std::int64_t{B.X} - A.X);
  const std::int64_t ady = std::abs(std::int64_t{B.Y} - A.Y);
  // Along the major axis (x when the line is shallow or 45 degrees), from the lower end.
  const bool steep = adx < ady;
  auto major = [steep](TPoint P) -> std::int64_t { return steep ? P.Y : P.X; };
  auto minor = [steep](TPoint P) -> std::int64_t { return steep ? P.X : P.Y; };
  if (major(A) > major(B)) std::swap(A, B);
  const std::int64_t steps = major(B) - major(A);
  if (steps > 0) {
    // The minor coordinate in 16.16 fixed point, its step truncated toward zero; sampled in the
    // middle of each major step when it grows, at the step's start when it shrinks. Every
    // position is then rounded down. This is the window system painter's own arithmetic, so an
    // outline covers the same pixels on every system.
    const TWide inc = TWide{minor(B) - minor(A)} * 65536 / steps;
    TWide pos = TWide{minor(A)} * 65536 + (inc > 0 ? FloorDiv(inc, 2) : 0);
    const std::int64_t lo = steep ? clip.Top : clip.Left, hi = steep ? clip.Bottom : clip.Right;
    const std::int64_t first = std::max(major(A), lo), last = std::min(major(B), hi);
    pos += inc * (first - major(A));
    for (std::int64_t m = first; m < last; ++m, pos += inc) {
      const std::int64_t n = FloorDiv(pos, 65536);
      if (steep)
        PutPixel(Dst, clip, n, m, Color);
      else
        PutPixel(Dst, clip, m, n, Color);
    }
  }
  PutPixel(Dst, clip, B.X, B.Y, Color);
}

void PolygonOutlined(TCustomBitmap32& Dst, std::span<const TPoint> Points, TColor32 Color) {
  FillPolygonInterior(Dst, Points, Color);
  const std::size_t n = Points.size();
  for (std::size_t i = 0; i < n; ++i) DrawLineInclusive(Dst, Points[i], Points[(i + 1) % n], Color);
}

}  // namespace kelta::gfx
