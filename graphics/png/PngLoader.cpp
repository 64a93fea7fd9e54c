#include "graphics/png/PngLoader.h"

#include "graphics/png/PngDecoder.h"

#include <cstddef>

namespace kelta::gfx {
namespace {

std::uint32_t OverWhite(std::uint32_t S, std::uint32_t A) {
  return (S * A + (255 - A) * 255 + 255) >> 8;
}

// The picture drawn onto the bitmap's opaque white, honouring its transparency.
void DrawPicture(const PngPicture& Picture, TCustomBitmap32& Target) {
  const std::size_t n = Picture.Pixels.size();
  TColor32* dst = Target.Bits();
  switch (Picture.Mode) {
    case PngTransparencyMode::None:
      for (std::size_t i = 0; i < n; ++i) dst[i] = Picture.Pixels[i] | 0xFF000000u;
      break;
    case PngTransparencyMode::KeyColor:
      for (std::size_t i = 0; i < n; ++i)
        if (AlphaComponent(Picture.Pixels[i]) != 0) dst[i] = Picture.Pixels[i] | 0xFF000000u;
      break;
    case PngTransparencyMode::Partial:
      for (std::size_t i = 0; i < n; ++i) {
        const TColor32 p = Picture.Pixels[i];
        const std::uint32_t a = AlphaComponent(p);
        dst[i] = Color32(OverWhite(RedComponent(p), a), OverWhite(GreenComponent(p), a),
                         OverWhite(BlueComponent(p), a));
      }
      break;
  }
}

}  // namespace

bool AssignPngPicture(TCustomBitmap32& Bitmap, const PngPicture& Picture) {
  Bitmap.CopyFromPicture(Picture.Width, Picture.Height,
                         [&Picture](TCustomBitmap32& Target) { DrawPicture(Picture, Target); });
  Bitmap.ResetAlpha();
  if (Bitmap.Empty()) return Picture.Mode == PngTransparencyMode::KeyColor;

  TColor32* bits = Bitmap.Bits();
  const std::size_t n = static_cast<std::size_t>(Bitmap.Width()) * Bitmap.Height();
  switch (Picture.Mode) {
    case PngTransparencyMode::None:
      return false;
    case PngTransparencyMode::KeyColor:
      // By what the file marks, not by colour: the keyed pixels were left white by the
      // drawing above, so comparing with the key colour would find them only for a white
      // key, and would clear opaque pixels that share the key's colour.
      for (std::size_t i = 0; i < n; ++i)
        if (AlphaComponent(Picture.Pixels[i]) == 0) bits[i] &= 0x00FFFFFFu;
      return true;
    case PngTransparencyMode::Partial:
      if (Picture.ColorType == pctPalette) return false;
      for (std::size_t i = 0; i < n; ++i)
        bits[i] = (bits[i] & 0x00FFFFFFu) | (Picture.Pixels[i] & 0xFF000000u);
      return true;
  }
  return false;
}

void LoadPngStream(TCustomBitmap32& Bitmap, std::istream& Stream, bool& AlphaUsed) {
  const PngPicture picture = ReadPngStream(Stream);
  AlphaUsed = AssignPngPicture(Bitmap, picture);
}

void LoadPngFile(TCustomBitmap32& Bitmap, const std::string& FileName, bool& AlphaUsed) {
  const PngPicture picture = ReadPngFile(FileName);
  AlphaUsed = AssignPngPicture(Bitmap, picture);
}

}  // namespace kelta::gfx
