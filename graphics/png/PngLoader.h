// Loading PNG pictures into 32-bit bitmaps.
//
// The picture is decoded completely before the bitmap is touched: a file that cannot be
// opened (EFileOpenError) or is not a valid PNG (EPngError) leaves the bitmap, its size and
// settings, and AlphaUsed as they were. On success the bitmap takes the picture's size and
// pixels; its drawing settings (DrawMode, MasterAlpha, OuterColor, resampler) stay.
//
// How pixels come out, by transparency mode (see PngTransparencyMode):
//   none     opaque picture colours; AlphaUsed false.
//   key      the pixels the file marks transparent become 0x00FFFFFF (white, as the alpha
//            pictures' clear pixels come out), every other pixel keeps its colour, opaque; an
//            opaque pixel that merely has the key's colour stays opaque. AlphaUsed true.
//   partial  colours composited over opaque white, (S*A + (255-A)*255 + 255) >> 8; grey/RGB
//            with alpha get their own alpha back (AlphaUsed true), palette pictures stay
//            opaque (AlphaUsed false: the bitmap's alpha carries nothing).
//
// Threading: none of its own; the bitmap's rules apply (GUI thread).
#pragma once

#include "graphics/core/Bitmap32.h"
#include "graphics/png/PngPicture.h"

#include <istream>
#include <string>

namespace kelta::gfx {

void LoadPngFile(TCustomBitmap32& Bitmap, const std::string& FileName, bool& AlphaUsed);
void LoadPngStream(TCustomBitmap32& Bitmap, std::istream& Stream, bool& AlphaUsed);

// The conversion step alone, for a picture already decoded; returns AlphaUsed.
bool AssignPngPicture(TCustomBitmap32& Bitmap, const PngPicture& Picture);

}  // namespace kelta::gfx
