// Drawing one bitmap into another at its own size (BlockDraw) or stretched (StretchDraw).
#pragma once

#include "graphics/core/Bitmap32.h"
#include "graphics/core/Resamplers.h"

namespace kelta::gfx {

// Copies or blends Src's SrcRect to (DstX, DstY) of Dst row by row: dmOpaque copies, dmBlend
// uses BlendRow at MasterAlpha 255 and BlendRowMaster otherwise, dmTransparent copies pixels
// that differ from Src's OuterColor, dmCustom calls Combine (dmOpaque without one). The
// rectangles are cut to both bitmaps first.
void BlockDraw(TCustomBitmap32& Dst, int DstX, int DstY, const TCustomBitmap32& Src, TRect SrcRect,
               TDrawMode Mode, const TPixelCombineEvent& Combine = {});

// Draws Src's SrcRect into DstRect of Dst, touching only DstClip: BlockDraw when the sizes
// match, otherwise Resampler's stretch. Dst then receives an area-changed notification for
// DstRect. A nullptr bitmap raises "Destination bitmap is nil" / "Source bitmap is nil".
void StretchDraw(TCustomBitmap32* Dst, TRect DstRect, TRect DstClip, TCustomBitmap32* Src,
                 TRect SrcRect, TCustomResampler& Resampler, TDrawMode Mode,
                 const TPixelCombineEvent& Combine = {});

}  // namespace kelta::gfx
