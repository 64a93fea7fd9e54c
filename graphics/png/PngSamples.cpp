#include "graphics/png/PngSamples.h"

#include <algorithm>
#include <cstddef>

namespace kelta::gfx {
namespace {

struct SampleReader {
  const std::uint8_t* Row;
  int BitDepth;

  // Sample I at the file's own precision.
  std::uint32_t Native(std::size_t I) const {
    if (BitDepth == 16) return static_cast<std::uint32_t>(Row[2 * I]) << 8 | Row[2 * I + 1];
    return Row[I];
  }
};

// 16-bit samples keep their high byte; 1-, 2- and 4-bit ones are spread over 0..255 so that
// the top value becomes 255 exactly.
std::uint32_t To8Bit(std::uint32_t Native, int BitDepth) {
  if (BitDepth == 16) return Native >> 8;
  if (BitDepth == 8) return Native;
  const std::uint32_t max = (1u << BitDepth) - 1;
  return std::min<std::uint32_t>(Native * 255 / max, 255);
}

bool PaletteEntryTransparent(const PngFormat& F, int Index) {
  return AlphaComponent(F.Palette[static_cast<std::size_t>(Index)]) != 255;
}

}  // namespace

PngTransparencyMode ClassifyTransparency(const PngFormat& F) {
  switch (F.ColorType) {
    case pctGreyAlpha:
    case pctRGBAlpha:
      return PngTransparencyMode::Partial;
    case pctPalette: {
      if (!F.HasTrans) return PngTransparencyMode::None;
      int notOpaque = 0;
      for (int i = 0; i < F.TransCount; ++i) notOpaque += PaletteEntryTransparent(F, i) ? 1 : 0;
      return notOpaque == 1 ? PngTransparencyMode::KeyColor : PngTransparencyMode::Partial;
    }
    default:
      return F.HasTrans ? PngTransparencyMode::KeyColor : PngTransparencyMode::None;
  }
}

TColor32 KeyColorOf(const PngFormat& F) {
  switch (F.ColorType) {
    case pctPalette:
      for (int i = 0; i < F.TransCount; ++i)
        if (AlphaComponent(F.Palette[static_cast<std::size_t>(i)]) == 0)
          return F.Palette[static_cast<std::size_t>(i)] | 0xFF000000u;
      return 0xFF000000u;
    case pctGrey: {
      const std::uint32_t g = To8Bit(F.TransGrey, F.BitDepth);
      return Color32(g, g, g);
    }
    case pctRGB:
      return Color32(To8Bit(F.TransRed, F.BitDepth), To8Bit(F.TransGreen, F.BitDepth),
                     To8Bit(F.TransBlue, F.BitDepth));
    default:
      return 0xFF000000u;
  }
}

void ConvertPngRow(const PngFormat& F, const std::uint8_t* Row, int Width, TColor32* Out) {
  const SampleReader s{Row, F.BitDepth};
  const int d = F.BitDepth;
  const std::size_t n = static_cast<std::size_t>(Width);
  switch (F.ColorType) {
    case pctGrey:
      for (std::size_t x = 0; x < n; ++x) {
        const std::uint32_t g = s.Native(x);
        const bool keyed = F.HasTrans && g == F.TransGrey;
        const std::uint32_t g8 = To8Bit(g, d);
        Out[x] = Color32(g8, g8, g8, keyed ? 0 : 255);
      }
      break;
    case pctRGB:
      for (std::size_t x = 0; x < n; ++x) {
        const std::uint32_t r = s.Native(3 * x), g = s.Native(3 * x + 1), b = s.Native(3 * x + 2);
        const bool keyed = F.HasTrans && r == F.TransRed && g == F.TransGreen && b == F.TransBlue;
        Out[x] = Color32(To8Bit(r, d), To8Bit(g, d), To8Bit(b, d), keyed ? 0 : 255);
      }
      break;
    case pctPalette:
      for (std::size_t x = 0; x < n; ++x) Out[x] = F.Palette[s.Native(x)];
      break;
    case pctGreyAlpha:
      for (std::size_t x = 0; x < n; ++x) {
        const std::uint32_t g8 = To8Bit(s.Native(2 * x), d);
        Out[x] = Color32(g8, g8, g8, To8Bit(s.Native(2 * x + 1), d));
      }
      break;
    case pctRGBAlpha:
      for (std::size_t x = 0; x < n; ++x)
        Out[x] = Color32(To8Bit(s.Native(4 * x), d), To8Bit(s.Native(4 * x + 1), d),
                         To8Bit(s.Native(4 * x + 2), d), To8Bit(s.Native(4 * x + 3), d));
      break;
  }
}

void FinishPngPicture(const PngFormat& F, PngPicture& Picture) {
  Picture.ColorType = F.ColorType;
  Picture.Mode = ClassifyTransparency(F);
  Picture.KeyColor = KeyColorOf(F);
  // A palette key is the entry the file marks transparent (alpha 0), not its colour: an
  // opaque entry of the same colour stays opaque, and the one entry that is translucent
  // without being clear is drawn opaque like every other.
  if (F.ColorType == pctPalette && Picture.Mode == PngTransparencyMode::KeyColor) {
    for (TColor32& p : Picture.Pixels)
      p = (p & 0x00FFFFFFu) | (AlphaComponent(p) == 0 ? 0u : 0xFF000000u);
  }
}

}  // namespace kelta::gfx
