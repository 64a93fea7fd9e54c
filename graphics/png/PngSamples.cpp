#include "graphics/png/PngSamples.h"

#include <algorithm>
#include <cstddef>

namespace kelta::gfx {
namespace {

struct TSampleReader {
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
  const std::uint32_t Max = (1u << BitDepth) - 1;
  return std::min<std::uint32_t>(Native * 255 / Max, 255);
}

bool PaletteEntryTransparent(const TPngFormat& F, int Index) {
  return AlphaComponent(F.Palette[static_cast<std::size_t>(Index)]) != 255;
}

}  // namespace

TPngTransparencyMode ClassifyTransparency(const TPngFormat& F) {
  switch (F.ColorType) {
    case pctGreyAlpha:
    case pctRGBAlpha:
      return TPngTransparencyMode::Partial;
    case pctPalette: {
      if (!F.HasTrans) return TPngTransparencyMode::None;
      int NotOpaque = 0;
      for (int I = 0; I < F.TransCount; ++I) NotOpaque += PaletteEntryTransparent(F, I) ? 1 : 0;
      return NotOpaque == 1 ? TPngTransparencyMode::KeyColor : TPngTransparencyMode::Partial;
    }
    default:
      return F.HasTrans ? TPngTransparencyMode::KeyColor : TPngTransparencyMode::None;
  }
}

TColor32 KeyColorOf(const TPngFormat& F) {
  switch (F.ColorType) {
    case pctPalette:
      for (int I = 0; I < F.TransCount; ++I)
        if (AlphaComponent(F.Palette[static_cast<std::size_t>(I)]) == 0)
          return F.Palette[static_cast<std::size_t>(I)] | 0xFF000000u;
      return 0xFF000000u;
    case pctGrey: {
      const std::uint32_t G = To8Bit(F.TransGrey, F.BitDepth);
      return Color32(G, G, G);
    }
    case pctRGB:
      return Color32(To8Bit(F.TransRed, F.BitDepth), To8Bit(F.TransGreen, F.BitDepth),
                     To8Bit(F.TransBlue, F.BitDepth));
    default:
      return 0xFF000000u;
  }
}

void ConvertPngRow(const TPngFormat& F, const std::uint8_t* Row, int Width, TColor32* Out) {
  const TSampleReader S{Row, F.BitDepth};
  const int D = F.BitDepth;
  const std::size_t N = static_cast<std::size_t>(Width);
  switch (F.ColorType) {
    case pctGrey:
      for (std::size_t X = 0; X < N; ++X) {
        const std::uint32_t G = S.Native(X);
        const bool Keyed = F.HasTrans && G == F.TransGrey;
        const std::uint32_t G8 = To8Bit(G, D);
        Out[X] = Color32(G8, G8, G8, Keyed ? 0 : 255);
      }
      break;
    case pctRGB:
      for (std::size_t X = 0; X < N; ++X) {
        const std::uint32_t R = S.Native(3 * X), G = S.Native(3 * X + 1), B = S.Native(3 * X + 2);
        const bool Keyed = F.HasTrans && R == F.TransRed && G == F.TransGreen && B == F.TransBlue;
        Out[X] = Color32(To8Bit(R, D), To8Bit(G, D), To8Bit(B, D), Keyed ? 0 : 255);
      }
      break;
    case pctPalette:
      for (std::size_t X = 0; X < N; ++X) Out[X] = F.Palette[S.Native(X)];
      break;
    case pctGreyAlpha:
      for (std::size_t X = 0; X < N; ++X) {
        const std::uint32_t G8 = To8Bit(S.Native(2 * X), D);
        Out[X] = Color32(G8, G8, G8, To8Bit(S.Native(2 * X + 1), D));
      }
      break;
    case pctRGBAlpha:
      for (std::size_t X = 0; X < N; ++X)
        Out[X] = Color32(To8Bit(S.Native(4 * X), D), To8Bit(S.Native(4 * X + 1), D),
                         To8Bit(S.Native(4 * X + 2), D), To8Bit(S.Native(4 * X + 3), D));
      break;
  }
}

void FinishPngPicture(const TPngFormat& F, TPngPicture& Picture) {
  Picture.ColorType = F.ColorType;
  Picture.Mode = ClassifyTransparency(F);
  Picture.KeyColor = KeyColorOf(F);
  // A palette key is a colour, not an entry: every pixel of that colour is the key, whichever
  // entry it came from, and the one translucent entry counts only if it has that colour.
  if (F.ColorType == pctPalette && Picture.Mode == TPngTransparencyMode::KeyColor) {
    const TColor32 Key = Picture.KeyColor & 0x00FFFFFFu;
    for (TColor32& P : Picture.Pixels)
      P = (P & 0x00FFFFFFu) | ((P & 0x00FFFFFFu) == Key ? 0u : 0xFF000000u);
  }
}

}  // namespace kelta::gfx
