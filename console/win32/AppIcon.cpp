#include "console/win32/AppIcon.h"

#include <cstdint>
#include <vector>

#include "console/win32/AppIconPixels.h"

namespace kelta::win32 {

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
