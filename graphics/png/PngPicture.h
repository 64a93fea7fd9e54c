// A decoded PNG picture, independent of any bitmap: its size, what the loader classifies
// from the file, and the pixels as the decoder delivers them.
#pragma once

#include "graphics/core/Color32.h"

#include <cstdint>
#include <vector>

namespace kelta::gfx {

enum class PngTransparencyMode { None, KeyColor, Partial };

// PNG colour types.
enum PngColorType : std::uint8_t {
  pctGrey = 0,
  pctRGB = 2,
  pctPalette = 3,
  pctGreyAlpha = 4,
  pctRGBAlpha = 6,
};

// Limits against hostile files: a picture beyond them is refused before any pixel storage is
// allocated, so a few bytes of header cannot make us allocate gigabytes.
constexpr std::uint32_t kPngMaxDimension = 8192;
constexpr std::uint64_t kPngMaxPixels = 16u * 1024u * 1024u;
// Ancillary chunks kept per picture, and the largest chunk (also after decompression).
constexpr std::uint32_t kPngMaxCachedChunks = 128;
constexpr std::uint32_t kPngMaxChunkBytes = 4u * 1024u * 1024u;

struct PngPicture {
  int Width = 0;
  int Height = 0;
  PngColorType ColorType = pctRGB;
  PngTransparencyMode Mode = PngTransparencyMode::None;
  // Opaque; meaningful in the key-colour mode only.
  TColor32 KeyColor = 0xFF000000u;
  // Rows top-down, 8-bit channels, straight alpha. The alpha is what the picture says of
  // each pixel: its own sample (grey/RGB with alpha), its palette entry's transparency, or
  // for a key-colour picture 0 exactly where the file marks the pixel transparent (grey/RGB:
  // the transparency chunk's value at the file's depth; palette: an entry of alpha 0), else
  // 255.
  std::vector<TColor32> Pixels;
};

}  // namespace kelta::gfx
