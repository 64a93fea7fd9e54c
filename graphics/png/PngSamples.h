// Turning decoded PNG rows (libpng's native layout, sub-byte samples unpacked to one byte
// each, 16-bit samples big-endian) into PngPicture pixels, and classifying the transparency.
// Kept apart from the libpng calls so that it stays plain code.
#pragma once

#include "graphics/png/PngPicture.h"

#include <array>
#include <cstdint>

namespace kelta::gfx {

struct PngFormat {
  PngColorType ColorType = pctRGB;
  int BitDepth = 8;
  // Palette colours with their tRNS alpha (255 beyond the chunk); entries beyond the palette
  // read as opaque black.
  std::array<TColor32, 256> Palette{};
  int PaletteCount = 0;
  // tRNS chunk: palette alphas (TransCount of them) or the grey/RGB key at the file's depth.
  bool HasTrans = false;
  int TransCount = 0;
  std::uint16_t TransGrey = 0, TransRed = 0, TransGreen = 0, TransBlue = 0;
};

PngTransparencyMode ClassifyTransparency(const PngFormat& F);
// Opaque key colour per the classification (palette: first fully transparent entry, else
// black; grey/RGB: the tRNS value brought to 8 bits).
TColor32 KeyColorOf(const PngFormat& F);

// One row of Width pixels into Out.
void ConvertPngRow(const PngFormat& F, const std::uint8_t* Row, int Width, TColor32* Out);

// After all rows: the key-colour mask of palette pictures (colour comparison), mode and key.
void FinishPngPicture(const PngFormat& F, PngPicture& Picture);

}  // namespace kelta::gfx
