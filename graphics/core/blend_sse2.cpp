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
  const __m128i nw = _mm_sub_epi16(_mm_set1_epi16(256), W);
  __m128i s = _mm_add_epi16(_mm_mullo_epi16(F, W), _mm_mullo_epi16(B, nw));
  s = _mm_add_epi16(s, _mm_set1_epi16(128));
  return _mm_srli_epi16(s, 8);
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
  const std::uint32_t a = F >> 24;
  if (a == 0) return;
  if (a == 255) {
    B = F;
    return;
  }
  B = Pack(Weighted16(Unpack(F), Unpack(B), _mm_set1_epi16(static_cast<short>(a))));
}

void BlendPixelMasterSse2(TColor32 F, TColor32& B, std::uint32_t M) {
  const std::uint32_t a = F >> 24;
  if (a == 0) return;
  const std::uint32_t w = ((M + 1u) * a) >> 8;
  if (w == 0) return;
  B = Pack(Weighted16(Unpack(F), Unpack(B), _mm_set1_epi16(static_cast<short>(w))));
}

// Four pixels of BlendPixel: alpha 0 keeps B (the formula with W = 0 gives B), alpha 255
// must copy F exactly, so those lanes are selected.
inline __m128i BlendFour(__m128i F, __m128i B) {
  const __m128i zero = _mm_setzero_si128();
  const __m128i fLo = _mm_unpacklo_epi8(F, zero), fHi = _mm_unpackhi_epi8(F, zero);
  const __m128i bLo = _mm_unpacklo_epi8(B, zero), bHi = _mm_unpackhi_epi8(B, zero);
  const __m128i r = _mm_packus_epi16(Weighted16(fLo, bLo, AlphaLanes(fLo)),
                                     Weighted16(fHi, bHi, AlphaLanes(fHi)));
  const __m128i alphaMask = _mm_set1_epi32(static_cast<int>(0xFF000000u));
  const __m128i opaque = _mm_cmpeq_epi32(_mm_and_si128(F, alphaMask), alphaMask);
  return _mm_or_si128(_mm_and_si128(opaque, F), _mm_andnot_si128(opaque, r));
}

void BlendRowSse2(const TColor32* Src, TColor32* Dst, int Count) {
  const __m128i alphaMask = _mm_set1_epi32(static_cast<int>(0xFF000000u));
  int i = 0;
  for (; i + 4 <= Count; i += 4) {
    const __m128i f = _mm_loadu_si128(reinterpret_cast<const __m128i*>(Src + i));
    const __m128i a = _mm_and_si128(f, alphaMask);
    const int clear = _mm_movemask_epi8(_mm_cmpeq_epi32(a, _mm_setzero_si128()));
    if (clear == 0xFFFF) continue;
    __m128i* d = reinterpret_cast<__m128i*>(Dst + i);
    if (_mm_movemask_epi8(_mm_cmpeq_epi32(a, alphaMask)) == 0xFFFF) {
      _mm_storeu_si128(d, f);
      continue;
    }
    _mm_storeu_si128(d, BlendFour(f, _mm_loadu_si128(d)));
  }
  for (; i < Count; ++i) BlendPixelSse2(Src[i], Dst[i]);
}

void BlendRowMasterSse2(const TColor32* Src, TColor32* Dst, int Count, std::uint32_t M) {
  // W = ((A + 1) * M) >> 8 fits 16 bits; W = 0 (also for A = 0) gives B back exactly.
  const __m128i zero = _mm_setzero_si128();
  const __m128i master = _mm_set1_epi16(static_cast<short>(M));
  const __m128i one = _mm_set1_epi16(1);
  int i = 0;
  for (; i + 4 <= Count; i += 4) {
    const __m128i f = _mm_loadu_si128(reinterpret_cast<const __m128i*>(Src + i));
    __m128i* d = reinterpret_cast<__m128i*>(Dst + i);
    const __m128i b = _mm_loadu_si128(d);
    const __m128i fLo = _mm_unpacklo_epi8(f, zero), fHi = _mm_unpackhi_epi8(f, zero);
    const __m128i wLo =
        _mm_srli_epi16(_mm_mullo_epi16(_mm_add_epi16(AlphaLanes(fLo), one), master), 8);
    const __m128i wHi =
        _mm_srli_epi16(_mm_mullo_epi16(_mm_add_epi16(AlphaLanes(fHi), one), master), 8);
    const __m128i r = _mm_packus_epi16(Weighted16(fLo, _mm_unpacklo_epi8(b, zero), wLo),
                                       Weighted16(fHi, _mm_unpackhi_epi8(b, zero), wHi));
    _mm_storeu_si128(d, r);
  }
  for (; i < Count; ++i) scalar::BlendRowMasterPixel(Src[i], Dst[i], M);
}

TColor32 InterpolateQuadSse2(std::uint32_t WX, std::uint32_t WY, const TColor32* Top,
                             const TColor32* Bottom) {
  const __m128i zero = _mm_setzero_si128();
  // Lanes 0-3 weigh the left (or top) pixel, lanes 4-7 the right (or bottom) one.
  const __m128i wx = _mm_unpacklo_epi64(_mm_set1_epi16(static_cast<short>(WX)),
                                        _mm_set1_epi16(static_cast<short>(256 - WX)));
  const __m128i wy = _mm_unpacklo_epi64(_mm_set1_epi16(static_cast<short>(WY)),
                                        _mm_set1_epi16(static_cast<short>(256 - WY)));
  const __m128i t = _mm_mullo_epi16(
      _mm_unpacklo_epi8(_mm_loadl_epi64(reinterpret_cast<const __m128i*>(Top)), zero), wx);
  const __m128i d = _mm_mullo_epi16(
      _mm_unpacklo_epi8(_mm_loadl_epi64(reinterpret_cast<const __m128i*>(Bottom)), zero), wx);
  const __m128i topRow = _mm_srli_epi16(_mm_add_epi16(t, _mm_srli_si128(t, 8)), 8);
  const __m128i bottomRow = _mm_srli_epi16(_mm_add_epi16(d, _mm_srli_si128(d, 8)), 8);
  const __m128i v = _mm_mullo_epi16(_mm_unpacklo_epi64(topRow, bottomRow), wy);
  return Pack(_mm_srli_epi16(_mm_add_epi16(v, _mm_srli_si128(v, 8)), 8));
}

}  // namespace

const TBlendFuncs* Sse2BlendFuncs() {
  // x86-64 always has SSE2; the file is built only for such targets.
  static const TBlendFuncs table = {
      "sse2",       MixColorsSse2,      BlendColorsSse2,     BlendPixelSse2, BlendPixelMasterSse2,
      BlendRowSse2, BlendRowMasterSse2, InterpolateQuadSse2,
  };
  return &table;
}

}  // namespace kelta::gfx
