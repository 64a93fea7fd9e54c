// The reference implementation of every blend primitive.
#include "BlendScalarOps.h"
#include "BlendVariants.h"

namespace kelta::gfx {

namespace {

TColor32 MixColorsScalar(TColor32 X, TColor32 Y, std::uint32_t W)
{
    return scalar::Weighted(X, Y, W);
}

TColor32 BlendColorsScalar(TColor32 F, TColor32 B)
{
    return scalar::Weighted(F, B, F >> 24);
}

void BlendPixelScalar(TColor32 F, TColor32& B)
{
    scalar::BlendPixel(F, B);
}

void BlendPixelMasterScalar(TColor32 F, TColor32& B, std::uint32_t M)
{
    scalar::BlendPixelMaster(F, B, M);
}

void BlendRowScalar(const TColor32* Src, TColor32* Dst, int Count)
{
    for (int I = 0; I < Count; ++I) {
        const TColor32 F = Src[I];
        const std::uint32_t A = F >> 24;
        // Dial pictures are mostly fully opaque or fully clear; test those first.
        if (A == 0)
            continue;
        if (A == 255)
            Dst[I] = F;
        else
            Dst[I] = scalar::Weighted(F, Dst[I], A);
    }
}

void BlendRowMasterScalar(const TColor32* Src, TColor32* Dst, int Count, std::uint32_t M)
{
    for (int I = 0; I < Count; ++I) {
        const TColor32 F = Src[I];
        const std::uint32_t A = F >> 24;
        if (A == 0)
            continue;
        const std::uint32_t W = ((A + 1u) * M) >> 8;
        if (W != 0)
            Dst[I] = scalar::Weighted(F, Dst[I], W);
    }
}

TColor32 InterpolateQuadScalar(std::uint32_t WX, std::uint32_t WY, const TColor32* Top, const TColor32* Bottom)
{
    return scalar::InterpolateQuad(WX, WY, Top, Bottom);
}

} // namespace

const TBlendFuncs& ScalarBlendFuncs()
{
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

} // namespace kelta::gfx
