#include "console/win32/AppIconPixels.h"

#include <cmath>
#include <numbers>

namespace kelta::win32 {

namespace {

// Distance of p from the segment a-b.
double SegmentDistance(double px, double py, double ax, double ay, double bx, double by) {
  const double dx = bx - ax;
  const double dy = by - ay;
  double t = ((px - ax) * dx + (py - ay) * dy) / (dx * dx + dy * dy);
  t = std::fmax(0.0, std::fmin(1.0, t));
  return std::hypot(px - (ax + t * dx), py - (ay + t * dy));
}

}  // namespace

std::uint32_t IconPixel(double x, double y) {
  constexpr std::uint32_t kDark = 0xFF303030u;
  constexpr std::uint32_t kFace = 0xFFF4F4ECu;
  constexpr std::uint32_t kRed = 0xFFD02020u;
  const double r = std::hypot(x - 32, y - 32);
  if (r > 29.5) return 0;
  if (r <= 5) return kDark;
  const double needle = 60 * std::numbers::pi / 180;
  if (SegmentDistance(x, y, 32, 32, 32 + 22 * std::cos(needle), 32 - 22 * std::sin(needle)) <= 2)
    return kRed;
  if (r >= 26.5) return kDark;
  for (int deg = 0; deg < 360; deg += 30) {
    const double a = deg * std::numbers::pi / 180;
    const double inner = deg % 90 == 0 ? 19 : 23;
    const double half = deg % 90 == 0 ? 1.5 : 1.0;
    if (SegmentDistance(x, y, 32 + inner * std::cos(a), 32 - inner * std::sin(a),
                        32 + 27 * std::cos(a), 32 - 27 * std::sin(a)) <= half)
      return kDark;
  }
  return kFace;
}

}  // namespace kelta::win32
