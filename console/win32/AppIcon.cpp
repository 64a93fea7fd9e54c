#include "console/win32/AppIcon.h"

#include <cmath>
#include <cstdint>
#include <numbers>
#include <vector>

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

// The icon's colour at (x, y) of a 64-unit square, as 0xAARRGGBB (the same drawing as the Qt
// console's icon: a light face with a dark rim and ticks, the needle at 60 degrees, a hub).
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

}  // namespace

HICON MakeAppIcon(int size) {
  BITMAPV5HEADER header{};
  header.bV5Size = sizeof header;
  header.bV5Width = size;
  header.bV5Height = -size;  // top row first
  header.bV5Planes = 1;
  header.bV5BitCount = 32;
  header.bV5Compression = BI_BITFIELDS;
  header.bV5RedMask = 0x00FF0000;
  header.bV5GreenMask = 0x0000FF00;
  header.bV5BlueMask = 0x000000FF;
  header.bV5AlphaMask = 0xFF000000;
  void* bits = nullptr;
  HDC screen = ::GetDC(nullptr);
  HBITMAP color = ::CreateDIBSection(screen, reinterpret_cast<const BITMAPINFO*>(&header),
                                     DIB_RGB_COLORS, &bits, nullptr, 0);
  ::ReleaseDC(nullptr, screen);
  if (color == nullptr) return nullptr;
  auto* pixels = static_cast<std::uint32_t*>(bits);
  const double scale = 64.0 / size;
  for (int y = 0; y < size; ++y)
    for (int x = 0; x < size; ++x)
      pixels[y * size + x] = IconPixel((x + 0.5) * scale, (y + 0.5) * scale);
  // The colour bitmap's alpha decides; the mask only has to be there.
  std::vector<std::uint8_t> maskBits(static_cast<size_t>((size + 15) / 16 * 2 * size), 0);
  HBITMAP mask = ::CreateBitmap(size, size, 1, 1, maskBits.data());
  ICONINFO info{};
  info.fIcon = TRUE;
  info.hbmColor = color;
  info.hbmMask = mask;
  HICON icon = ::CreateIconIndirect(&info);
  ::DeleteObject(color);
  ::DeleteObject(mask);
  return icon;
}

}  // namespace kelta::win32
