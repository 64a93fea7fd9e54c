// SSE2 forms of the blend primitives; bit for bit the scalar rules (checked by the tests).
// 16-bit lanes suffice: every weighted sum is at most 255 * 256 + 128 = 65408, and the
// products F * W and B * (256 - W) are each below 65536, so the wrapping 16-bit adds of
// the unsigned terms are exact.
#include "graphics/core/BlendScalarOps.h"
#include "graphics/core/BlendVariants.h"

#include <emmintrin.h>

namespace kelta::gfx {

namespace {

inline __m128i Unpack(TColor32 C) {
  return _mm_unpacklo_epi8(_mm_cvtsi32_si128(static_cast<int>(C)), _mm_setzero_si128());
}

inline TColor32 Pack(__m128i V) {
  return static_cast<TColor32>(_mm_cvtsi128_si32(_mm_packus_epi16(V, V)));
}

// (F * W + B * (256 - W) + 128) >> 8 on 16-bit lanes; W lanes hold the weight per channel.
inline __m128i Weighted16(__m128i F, __m128i B, __m128i W) {
  const __m128i NW = _mm_sub_epi16(_mm_set1_epi16(256), W);
  __m128i S = _mm_add_epi16(_mm_mullo_epi16(F, W), _mm_mullo_epi16(B, NW));
  S = _mm_add_epi16(S, _mm_set1_epi16(128));
  return _mm_srli_epi16(S, 8);
}

// The alpha lane of each of the two unpacked pixels copied into its four lanes.
inline __m128i AlphaLanes(__m128i P16) {
  P16 = _mm_shufflelo_epi16(P16, _MM_SHUFFLE(3, 3, 3, 3));
  return _mm_shufflehi_epi16(P16, _MM_SHUFFLE(3, 3, 3, 3));
}

TColor32 MixColorsSse2(TColor32 X, TColor32 Y, std::uint32_t W) {
  return Pack(Weighted16(Unpack(X), Unpack(Y), _mm_set1_epi16(static_cast<short>(W))));
}

TColor32 BlendColorsSse2(TColor32 F, TColor32 B) {
  return Pack(Weighted16(Unpack(F), Unpack(B), _mm_set1_epi16(static_cast<short>(F >> 24))));
}

void BlendPixelSse2(TColor32 F, TColor32& B) {
  const std::uint32_t A = F >> 24;
  if (A == 0) return;
  if (A == 255) {
    B = F;
    return;
  }
  B = Pack(Weighted16(Unpack(F), Unpack(B), _mm_set1_epi16(static_cast<short>(A))));
}

void BlendPixelMasterSse2(TColor32 F, TColor32& B, std::uint32_t M) {
  const std::uint32_t A = F >> 24;
  if (A == 0) return;
  const std::uint32_t W = ((M + 1u) * A) >> 8;
  if (W == 0) return;
  B = Pack(Weighted16(Unpack(F), Unpack(B), _mm_set1_epi16(static_cast<short>(W))));
}

// Four pixels of BlendPixel: alpha 0 keeps B (the formula with W = 0 gives B), alpha 255
// must copy F exactly, so those lanes are selected.
inline __m128i BlendFour(__m128i F, __m128i B) {
  const __m128i Zero = _mm_setzero_si128();
  const __m128i FLo = _mm_unpacklo_epi8(F, Zero), FHi = _mm_unpackhi_epi8(F, Zero);
  const __m128i BLo = _mm_unpacklo_epi8(B, Zero), BHi = _mm_unpackhi_epi8(B, Zero);
  const __m128i R = _mm_packus_epi16(Weighted16(FLo, BLo, AlphaLanes(FLo)),
                                     Weighted16(FHi, BHi, AlphaLanes(FHi)));
  const __m128i AlphaMask = _mm_set1_epi32(static_cast<int>(0xFF000000u));
  const __m128i Opaque = _mm_cmpeq_epi32(_mm_and_si128(F, AlphaMask), AlphaMask);
  return _mm_or_si128(_mm_and_si128(Opaque, F), _mm_andnot_si128(Opaque, R));
}

void BlendRowSse2(const TColor32* Src, TColor32* Dst, int Count) {
  const __m128i AlphaMask = _mm_set1_epi32(static_cast<int>(0xFF000000u));
  int I = 0;
  for (; I + 4 <= Count; I += 4) {
    const __m128i F = _mm_loadu_si128(reinterpret_cast<const __m128i*>(Src + I));
    const __m128i A = _mm_and_si128(F, AlphaMask);
    const int Clear = _mm_movemask_epi8(_mm_cmpeq_epi32(A, _mm_setzero_si128()));
    if (Clear == 0xFFFF) continue;
    __m128i* D = reinterpret_cast<__m128i*>(Dst + I);
    if (_mm_movemask_epi8(_mm_cmpeq_epi32(A, AlphaMask)) == 0xFFFF) {
      _mm_storeu_si128(D, F);
      continue;
    }
    _mm_storeu_si128(D, BlendFour(F, _mm_loadu_si128(D)));
  }
  for (; I < Count; ++I) BlendPixelSse2(Src[I], Dst[I]);
}

void BlendRowMasterSse2(const TColor32* Src, TColor32* Dst, int Count, std::uint32_t M) {
  // W = ((A + 1) * M) >> 8 fits 16 bits; W = 0 (also for A = 0) gives B back exactly.
  const __m128i Zero = _mm_setzero_si128();
  const __m128i Master = _mm_set1_epi16(static_cast<short>(M));
  const __m128i One = _mm_set1_epi16(1);
  int I = 0;
  for (; I + 4 <= Count; I += 4) {
    const __m128i F = _mm_loadu_si128(reinterpret_cast<const __m128i*>(Src + I));
    __m128i* D = reinterpret_cast<__m128i*>(Dst + I);
    const __m128i B = _mm_loadu_si128(D);
    const __m128i FLo = _mm_unpacklo_epi8(F, Zero), FHi = _mm_unpackhi_epi8(F, Zero);
    const __m128i WLo =
        _mm_srli_epi16(_mm_mullo_epi16(_mm_add_epi16(AlphaLanes(FLo), One), Master), 8);
    const __m128i WHi =
        _mm_srli_epi16(_mm_mullo_epi16(_mm_add_epi16(AlphaLanes(FHi), One), Master), 8);
    const __m128i R = _mm_packus_epi16(Weighted16(FLo, _mm_unpacklo_epi8(B, Zero), WLo),
                                       Weighted16(FHi, _mm_unpackhi_epi8(B, Zero), WHi));
    _mm_storeu_si128(D, R);
  }
  for (; I < Count; ++I) scalar::BlendRowMasterPixel(Src[I], Dst[I], M);
}

TColor32 InterpolateQuadSse2(std::uint32_t WX, std::uint32_t WY, const TColor32* Top,
                             const TColor32* Bottom) {
  const __m128i Zero = _mm_setzero_si128();
  // Lanes 0-3 weigh the left (or top) pixel, lanes 4-7 the right (or bottom) one.
  const __m128i Wx = _mm_unpacklo_epi64(_mm_set1_epi16(static_cast<short>(WX)),
                                        _mm_set1_epi16(static_cast<short>(256 - WX)));
  const __m128i Wy = _mm_unpacklo_epi64(_mm_set1_epi16(static_cast<short>(WY)),
                                        _mm_set1_epi16(static_cast<short>(256 - WY)));
  const __m128i T = _mm_mullo_epi16(
      _mm_unpacklo_epi8(_mm_loadl_epi64(reinterpret_cast<const __m128i*>(Top)), Zero), Wx);
  const __m128i D = _mm_mullo_epi16(
      _mm_unpacklo_epi8(_mm_loadl_epi64(reinterpret_cast<const __m128i*>(Bottom)), Zero), Wx);
  const __m128i TopRow = _mm_srli_epi16(_mm_add_epi16(T, _mm_srli_si128(T, 8)), 8);
  const __m128i BottomRow = _mm_srli_epi16(_mm_add_epi16(D, _mm_srli_si128(D, 8)), 8);
  const __m128i V = _mm_mullo_epi16(_mm_unpacklo_epi64(TopRow, BottomRow), Wy);
  return Pack(_mm_srli_epi16(_mm_add_epi16(V, _mm_srli_si128(V, 8)), 8));
}

}  // namespace

const TBlendFuncs* Sse2BlendFuncs() {
  // x86-64 always has SSE2; the file is built only for such targets.
  static const TBlendFuncs Table = {
      "sse2",       MixColorsSse2,      BlendColorsSse2,     BlendPixelSse2, BlendPixelMasterSse2,
      BlendRowSse2, BlendRowMasterSse2, InterpolateQuadSse2,
  };
  return &Table;
}

}  // namespace kelta::gfx
