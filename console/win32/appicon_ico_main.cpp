// kelta-appicon-ico OUT.ico: the console's icon as a Windows icon file, drawn by the same code
// as the window's icon (AppIconPixels.cpp), in the sizes Explorer, the Start menu and the
// "Apps & features" list ask for. Built for and run on the build machine: the file goes into
// KELTA_Dispaly.exe as its icon resource, which the installer's shortcut and uninstall entry
// name.
// Exit codes: 0 written, 1 the file could not be written, 2 wrong usage.

#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

#include "console/win32/AppIconPixels.h"

namespace {

void Put16(std::string& out, unsigned v) {
  out += static_cast<char>(v & 0xFF);
  out += static_cast<char>((v >> 8) & 0xFF);
}

void Put32(std::string& out, std::uint32_t v) {
  Put16(out, v & 0xFFFF);
  Put16(out, v >> 16);
}

// One image of the file: a 32-bit bitmap (its height doubled: colours, then the mask), rows
// from the bottom up, each mask row padded to 32 bits, a set mask bit where the icon is clear.
std::string IconImage(int size) {
  std::string out;
  Put32(out, 40);  // BITMAPINFOHEADER
  Put32(out, static_cast<std::uint32_t>(size));
  Put32(out, static_cast<std::uint32_t>(size * 2));
  Put16(out, 1);   // planes
  Put16(out, 32);  // bits per pixel
  for (int i = 0; i < 6; ++i) Put32(out, 0);
  const double scale = 64.0 / size;
  const size_t maskRow = static_cast<size_t>((size + 31) / 32 * 4);
  std::vector<std::uint8_t> mask(maskRow * static_cast<size_t>(size), 0);
  for (int row = 0; row < size; ++row) {
    const int y = size - 1 - row;
    for (int x = 0; x < size; ++x) {
      const std::uint32_t argb = kelta::win32::IconPixel((x + 0.5) * scale, (y + 0.5) * scale);
      Put32(out, argb);  // little-endian 0xAARRGGBB is B, G, R, A
      if ((argb >> 24) == 0)
        mask[row * maskRow + x / 8] |= static_cast<std::uint8_t>(0x80 >> (x % 8));
    }
  }
  out.append(mask.begin(), mask.end());
  return out;
}

}  // namespace

int main(int argc, char* argv[]) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: kelta-appicon-ico OUT.ico\n");
    return 2;
  }
  const int sizes[] = {16, 24, 32, 48, 64, 256};
  constexpr int kCount = sizeof sizes / sizeof sizes[0];
  std::vector<std::string> images;
  for (const int size : sizes) images.push_back(IconImage(size));
  std::string file;
  Put16(file, 0);
  Put16(file, 1);  // an icon, not a cursor
  Put16(file, kCount);
  std::uint32_t offset = 6 + 16 * kCount;
  for (int i = 0; i < kCount; ++i) {
    file += static_cast<char>(sizes[i] & 0xFF);  // 256 is written as 0
    file += static_cast<char>(sizes[i] & 0xFF);
    file += '\0';  // no palette
    file += '\0';
    Put16(file, 1);
    Put16(file, 32);
    Put32(file, static_cast<std::uint32_t>(images[i].size()));
    Put32(file, offset);
    offset += static_cast<std::uint32_t>(images[i].size());
  }
  for (const std::string& image : images) file += image;
  std::FILE* out = std::fopen(argv[1], "wb");
  const bool written =
      out != nullptr && std::fwrite(file.data(), 1, file.size(), out) == file.size();
  if (out != nullptr && std::fclose(out) != 0) return 1;
  if (!written) {
    std::fprintf(stderr, "kelta-appicon-ico: cannot write %s\n", argv[1]);
    return 1;
  }
  return 0;
}
