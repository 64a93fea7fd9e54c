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
  constexpr std::uint64_t alphas = 0xFF000000FF000000ull;
  int i = 0;
  // Dial pictures are mostly long runs of clear or opaque pixels: settle eight at a time
  // when all of them take the same shortcut of the rule.
  for (; i + 8 <= Count; i += 8) {
    std::uint64_t w0, w1, w2, w3;
    std::memcpy(&w0, Src + i, 8);
    std::memcpy(&w1, Src + i + 2, 8);
    std::memcpy(&w2, Src + i + 4, 8);
    std::memcpy(&w3, Src + i + 6, 8);
    if (((w0 | w1 | w2 | w3) & alphas) == 0) continue;
    if ((w0 & w1 & w2 & w3 & alphas) == alphas) {
      std::memcpy(Dst + i, Src + i, 8 * sizeof(TColor32));
      continue;
    }
    for (int k = i; k < i + 8; ++k) scalar::BlendPixel(Src[k], Dst[k]);
  }
  for (; i < Count; ++i) scalar::BlendPixel(Src[i], Dst[i]);
}

void BlendRowMasterScalar(const TColor32* Src, TColor32* Dst, int Count, std::uint32_t M) {
  for (int i = 0; i < Count; ++i) scalar::BlendRowMasterPixel(Src[i], Dst[i], M);
}

TColor32 InterpolateQuadScalar(std::uint32_t WX, std::uint32_t WY, const TColor32* Top,
                               const TColor32* Bottom) {
  return scalar::InterpolateQuad(WX, WY, Top, Bottom);
}

}  // namespace

const TBlendFuncs& ScalarBlendFuncs() {
  static const TBlendFuncs table = {
      "scalar",
      MixColorsScalar,
      BlendColorsScalar,
      BlendPixelScalar,
      BlendPixelMasterScalar,
      BlendRowScalar,
      BlendRowMasterScalar,
      InterpolateQuadScalar,
  };
  return table;
}

}  // namespace kelta::gfx
