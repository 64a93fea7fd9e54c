// The reference implementation of every blend primitive.
#include "graphics/core/BlendScalarOps.h"
#include "graphics/core/BlendVariants.h"

#include <cstring>

namespace kelta::gfx {

namespace {

TColor32 MixColorsScalar(TColor32 X, TColor32 Y, std::uint32_t W) {
  return scalar::Weighted(X, Y, W);
}

TColor32 BlendColorsScalar(TColor32 F, TColor32 B) { return scalar::Weighted(F, B, F >> 24); }

void BlendPixelScalar(TColor32 F, TColor32& B) { scalar::BlendPixel(F, B); }

void BlendPixelMasterScalar(TColor32 F, TColor32& B, std::uint32_t M) {
  scalar::BlendPixelMaster(F, B, M);
}

void BlendRowScalar(const TColor32* Src, TColor32* Dst, int Count) {
  constexpr std::uint64_t Alphas = 0xFF000000FF000000ull;
  int I = 0;
  // Dial pictures are mostly long runs of clear or opaque pixels: settle eight at a time
  // when all of them take the same shortcut of the rule.
  for (; I + 8 <= Count; I += 8) {
    std::uint64_t W0, W1, W2, W3;
    std::memcpy(&W0, Src + I, 8);
    std::memcpy(&W1, Src + I + 2, 8);
    std::memcpy(&W2, Src + I + 4, 8);
    std::memcpy(&W3, Src + I + 6, 8);
    if (((W0 | W1 | W2 | W3) & Alphas) == 0) continue;
    if ((W0 & W1 & W2 & W3 & Alphas) == Alphas) {
      std::memcpy(Dst + I, Src + I, 8 * sizeof(TColor32));
      continue;
    }
    for (int K = I; K < I + 8; ++K) scalar::BlendPixel(Src[K], Dst[K]);
  }
  for (; I < Count; ++I) scalar::BlendPixel(Src[I], Dst[I]);
}

void BlendRowMasterScalar(const TColor32* Src, TColor32* Dst, int Count, std::uint32_t M) {
  for (int I = 0; I < Count; ++I) scalar::BlendRowMasterPixel(Src[I], Dst[I], M);
}

TColor32 InterpolateQuadScalar(std::uint32_t WX, std::uint32_t WY, const TColor32* Top,
                               const TColor32* Bottom) {
  return scalar::InterpolateQuad(WX, WY, Top, Bottom);
}

}  // namespace

const TBlendFuncs& ScalarBlendFuncs() {
  static const TBlendFuncs Table = {
      "scalar",
      MixColorsScalar,
      BlendColorsScalar,
      BlendPixelScalar,
      BlendPixelMasterScalar,
      BlendRowScalar,
      BlendRowMasterScalar,
      InterpolateQuadScalar,
  };
  return Table;
}

}  // namespace kelta::gfx
