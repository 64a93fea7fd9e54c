// Inline scalar forms of the blend rules, shared by the reference table and by the loops that
// inline them. The four channels are worked side by side in 16-bit lanes of a 64-bit word: a
// lane's result is at most 255 * 256 + 128 = 65408, so finished lanes never overlap and every
// result is the per-channel formula exactly.
#pragma once

#include "graphics/core/Color32.h"

#include <cstdint>

namespace kelta::gfx::scalar {

// A pixel spread over four 16-bit lanes of a 64-bit word: B, R, G, A from the low end.
inline std::uint64_t Spread(TColor32 C) {
  return (static_cast<std::uint64_t>(C) | static_cast<std::uint64_t>(C) << 24) &
         0x00FF00FF00FF00FFull;
}

inline TColor32 Gather(std::uint64_t S) { return static_cast<TColor32>(S | S >> 24); }

// (F * W + B * (256 - W) + 128) >> 8 on every channel, computed as
// (B * 256 + (F - B) * W + 128) >> 8 with one multiply for all four lanes. F - B may be
// negative in a lane, so the word borrows between lanes on the way; but each lane's final
// value lies in 0..65408 and the whole sum is taken modulo 2^64, so the finished word holds
// every lane's exact value and the borrows have cancelled.
inline std::uint64_t WeightedLanes(std::uint64_t F, std::uint64_t B, std::uint32_t W,
                                   std::uint64_t Bias) {
  return (F - B) * W + (B << 8) + Bias;
}

inline TColor32 Weighted(TColor32 F, TColor32 B, std::uint32_t W) {
  const std::uint64_t s = WeightedLanes(Spread(F), Spread(B), W, 0x0080008000800080ull);
  return Gather((s >> 8) & 0x00FF00FF00FF00FFull);
}

// (F * W + B * (256 - W)) >> 8 on every spread channel, no rounding bias.
inline std::uint64_t WeightedTrunc64(std::uint64_t F, std::uint64_t B, std::uint32_t W) {
  return (WeightedLanes(F, B, W, 0) >> 8) & 0x00FF00FF00FF00FFull;
}

inline void BlendPixel(TColor32 F, TColor32& B) {
  const std::uint32_t a = F >> 24;
  if (a == 0) return;
  if (a == 255) {
    B = F;
    return;
  }
  B = Weighted(F, B, a);
}

inline void BlendPixelMaster(TColor32 F, TColor32& B, std::uint32_t M) {
  const std::uint32_t a = F >> 24;
  if (a == 0) return;
  const std::uint32_t w = ((M + 1u) * a) >> 8;
  if (w == 0) return;
  B = Weighted(F, B, w);
}

// One pixel of a master row blend. Its weight is ((A + 1) * M) >> 8, not the single pixel's
// ((M + 1) * A) >> 8: the two rules differ and both are kept.
inline void BlendRowMasterPixel(TColor32 F, TColor32& B, std::uint32_t M) {
  const std::uint32_t a = F >> 24;
  if (a == 0) return;
  const std::uint32_t w = ((a + 1u) * M) >> 8;
  if (w != 0) B = Weighted(F, B, w);
}

inline TColor32 InterpolateQuad(std::uint32_t WX, std::uint32_t WY, const TColor32* Top,
                                const TColor32* Bottom) {
  const std::uint64_t t = WeightedTrunc64(Spread(Top[0]), Spread(Top[1]), WX);
  const std::uint64_t d = WeightedTrunc64(Spread(Bottom[0]), Spread(Bottom[1]), WX);
  return Gather(WeightedTrunc64(t, d, WY));
}

}  // namespace kelta::gfx::scalar
