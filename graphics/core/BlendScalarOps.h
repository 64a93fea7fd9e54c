// Inline scalar forms of the blend rules, shared by the reference table and by the loops that
// inline them. Two channels are worked in one 32-bit word (red/blue, alpha/green): each lane
// holds at most 255 * 256 + 128 = 65408, so lanes never carry into each other and the result
// is the per-channel formula exactly.
#pragma once

#include "Color32.h"

#include <cstdint>

namespace kelta::gfx::scalar {

// (F * W + B * (256 - W) + 128) >> 8 on every channel.
inline TColor32 Weighted(TColor32 F, TColor32 B, std::uint32_t W)
{
    const std::uint32_t NW = 256u - W;
    const std::uint32_t RB = ((F & 0x00FF00FFu) * W + (B & 0x00FF00FFu) * NW + 0x00800080u) >> 8;
    const std::uint32_t AG = ((F >> 8) & 0x00FF00FFu) * W + ((B >> 8) & 0x00FF00FFu) * NW + 0x00800080u;
    return (RB & 0x00FF00FFu) | (AG & 0xFF00FF00u);
}

// (F * W + B * (256 - W)) >> 8 on every channel, no rounding bias.
inline TColor32 WeightedTrunc(TColor32 F, TColor32 B, std::uint32_t W)
{
    const std::uint32_t NW = 256u - W;
    const std::uint32_t RB = ((F & 0x00FF00FFu) * W + (B & 0x00FF00FFu) * NW) >> 8;
    const std::uint32_t AG = ((F >> 8) & 0x00FF00FFu) * W + ((B >> 8) & 0x00FF00FFu) * NW;
    return (RB & 0x00FF00FFu) | (AG & 0xFF00FF00u);
}

inline void BlendPixel(TColor32 F, TColor32& B)
{
    const std::uint32_t A = F >> 24;
    if (A == 0)
        return;
    if (A == 255) {
        B = F;
        return;
    }
    B = Weighted(F, B, A);
}

inline void BlendPixelMaster(TColor32 F, TColor32& B, std::uint32_t M)
{
    const std::uint32_t A = F >> 24;
    if (A == 0)
        return;
    const std::uint32_t W = ((M + 1u) * A) >> 8;
    if (W == 0)
        return;
    B = Weighted(F, B, W);
}

inline TColor32 InterpolateQuad(std::uint32_t WX, std::uint32_t WY, const TColor32* Top, const TColor32* Bottom)
{
    const TColor32 T = WeightedTrunc(Top[0], Top[1], WX);
    const TColor32 D = WeightedTrunc(Bottom[0], Bottom[1], WX);
    return WeightedTrunc(T, D, WY);
}

} // namespace kelta::gfx::scalar
