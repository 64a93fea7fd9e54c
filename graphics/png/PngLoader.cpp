#include "graphics/png/PngLoader.h"

#include "graphics/png/PngDecoder.h"

#include <cstddef>

namespace kelta::gfx {
namespace {

std::uint32_t OverWhite(std::uint32_t S, std::uint32_t A) {
  return (S * A + (255 - A) * 255 + 255) >> 8;
}

// The picture drawn onto the bitmap's opaque white, honouring its transparency.
void DrawPicture(const TPngPicture& Picture, TCustomBitmap32& Target) {
  const std::size_t N = Picture.Pixels.size();
  TColor32* Dst = Target.Bits();
  switch (Picture.Mode) {
    case TPngTransparencyMode::None:
      for (std::size_t I = 0; I < N; ++I) Dst[I] = Picture.Pixels[I] | 0xFF000000u;
      break;
    case TPngTransparencyMode::KeyColor:
      for (std::size_t I = 0; I < N; ++I)
        if (AlphaComponent(Picture.Pixels[I]) != 0) Dst[I] = Picture.Pixels[I] | 0xFF000000u;
      break;
    case TPngTransparencyMode::Partial:
      for (std::size_t I = 0; I < N; ++I) {
        const TColor32 P = Picture.Pixels[I];
        const std::uint32_t A = AlphaComponent(P);
        Dst[I] = Color32(OverWhite(RedComponent(P), A), OverWhite(GreenComponent(P), A),
                         OverWhite(BlueComponent(P), A));
      }
      break;
  }
}

}  // namespace

bool AssignPngPicture(TCustomBitmap32& Bitmap, const TPngPicture& Picture) {
  Bitmap.CopyFromPicture(Picture.Width, Picture.Height,
                         [&Picture](TCustomBitmap32& Target) { DrawPicture(Picture, Target); });
  Bitmap.ResetAlpha();
  if (Bitmap.Empty()) return Picture.Mode == TPngTransparencyMode::KeyColor;

  TColor32* Bits = Bitmap.Bits();
  const std::size_t N = static_cast<std::size_t>(Bitmap.Width()) * Bitmap.Height();
  switch (Picture.Mode) {
    case TPngTransparencyMode::None:
      return false;
    case TPngTransparencyMode::KeyColor:
      for (std::size_t I = 0; I < N; ++I)
        if (Bits[I] == Picture.KeyColor) Bits[I] &= 0x00FFFFFFu;
      return true;
    case TPngTransparencyMode::Partial:
      if (Picture.ColorType == pctPalette) return false;
      for (std::size_t I = 0; I < N; ++I)
        Bits[I] = (Bits[I] & 0x00FFFFFFu) | (Picture.Pixels[I] & 0xFF000000u);
      return true;
  }
  return false;
}

void LoadPngStream(TCustomBitmap32& Bitmap, std::istream& Stream, bool& AlphaUsed) {
  const TPngPicture Picture = ReadPngStream(Stream);
  AlphaUsed = AssignPngPicture(Bitmap, Picture);
}

void LoadPngFile(TCustomBitmap32& Bitmap, const std::string& FileName, bool& AlphaUsed) {
  const TPngPicture Picture = ReadPngFile(FileName);
  AlphaUsed = AssignPngPicture(Bitmap, Picture);
}

}  // namespace kelta::gfx
