// Per-pixel blend primitives with their exact integer rules. Every primitive works on all
// four channels alike (alpha included) with the weighted result
//     (F * W + B * (256 - W) + 128) >> 8,   W in 0..255
// so W never reaches 256: W = 255, F = 255, B = 0 gives 254.
//
// Each primitive is written once as the scalar reference (BlendScalarOps.h, tabled in
// BlendScalar.cpp); faster variants (blend_<isa>.cpp) register in BlendSelect.cpp and one
// table is chosen once, on first use. Setting the environment variable KELTA_GFX_SCALAR (to
// anything but "" or "0") forces the reference. Pixel loops fetch the chosen table once; when
// it is the reference they may call BlendScalarOps.h inline instead of through the table.
#pragma once

#include "graphics/core/Color32.h"

#include <cstdint>

namespace kelta::gfx {

struct TBlendFuncs {
  const char* Name;
  // Weighted result of X over Y with weight W; no shortcuts.
  TColor32 (*MixColors)(TColor32 X, TColor32 Y, std::uint32_t W);
  // Weight = alpha of F; no shortcuts.
  TColor32 (*BlendColors)(TColor32 F, TColor32 B);
  // Alpha 0: B kept; alpha 255: B := F; else weight = alpha of F.
  void (*BlendPixel)(TColor32 F, TColor32& B);
  // W = ((M + 1) * alpha of F) >> 8; W = 0 keeps B; no copy shortcut.
  void (*BlendPixelMaster)(TColor32 F, TColor32& B, std::uint32_t M);
  // BlendPixel per pair; Count <= 0 does nothing.
  void (*BlendRow)(const TColor32* Src, TColor32* Dst, int Count);
  // Per pixel W = ((alpha of F + 1) * M) >> 8 (the +1 on the pixel here); W = 0 skips.
  void (*BlendRowMaster)(const TColor32* Src, TColor32* Dst, int Count, std::uint32_t M);
  // Truncating bilinear mix of a 2x2 block: WX weighs the left column, WY the top row.
  TColor32 (*InterpolateQuad)(std::uint32_t WX, std::uint32_t WY, const TColor32* Top,
                              const TColor32* Bottom);
};

// The scalar reference table.
const TBlendFuncs& ScalarBlendFuncs();
// The table chosen for this process (once; KELTA_GFX_SCALAR forces the reference).
const TBlendFuncs& BlendFuncs();
// Every table usable on this processor, reference first (for tests and benchmarks).
int AvailableBlendFuncCount();
const TBlendFuncs& AvailableBlendFuncs(int Index);

inline TColor32 MixColors(TColor32 X, TColor32 Y, std::uint32_t W) {
  return BlendFuncs().MixColors(X, Y, W);
}
inline TColor32 BlendColors(TColor32 F, TColor32 B) { return BlendFuncs().BlendColors(F, B); }
inline void BlendPixel(TColor32 F, TColor32& B) { BlendFuncs().BlendPixel(F, B); }
inline void BlendPixelMaster(TColor32 F, TColor32& B, std::uint32_t M) {
  BlendFuncs().BlendPixelMaster(F, B, M);
}
inline void BlendRow(const TColor32* Src, TColor32* Dst, int Count) {
  BlendFuncs().BlendRow(Src, Dst, Count);
}
inline void BlendRowMaster(const TColor32* Src, TColor32* Dst, int Count, std::uint32_t M) {
  BlendFuncs().BlendRowMaster(Src, Dst, Count, M);
}
inline TColor32 InterpolateQuad(std::uint32_t WX, std::uint32_t WY, const TColor32* Top,
                                const TColor32* Bottom) {
  return BlendFuncs().InterpolateQuad(WX, WY, Top, Bottom);
}

}  // namespace kelta::gfx
