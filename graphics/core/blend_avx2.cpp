// AVX2 rows of the blend primitives (eight pixels a step); the single-pixel primitives stay
// those of the table this one extends. Bit for bit the scalar rules, for the reasons given in
// blend_sse2.cpp. Only reached after the processor check in BlendSelect.cpp.
#include "graphics/core/BlendVariants.h"

#include <immintrin.h>

namespace kelta::gfx {

namespace {

const TBlendFuncs* Base = nullptr;

inline __m256i Weighted16(__m256i F, __m256i B, __m256i W) {
  const __m256i NW = _mm256_sub_epi16(_mm256_set1_epi16(256), W);
  __m256i S = _mm256_add_epi16(_mm256_mullo_epi16(F, W), _mm256_mullo_epi16(B, NW));
  S = _mm256_add_epi16(S, _mm256_set1_epi16(128));
  return _mm256_srli_epi16(S, 8);
}

inline __m256i AlphaLanes(__m256i P16) {
  P16 = _mm256_shufflelo_epi16(P16, _MM_SHUFFLE(3, 3, 3, 3));
  return _mm256_shufflehi_epi16(P16, _MM_SHUFFLE(3, 3, 3, 3));
}

void BlendRowAvx2(const TColor32* Src, TColor32* Dst, int Count) {
  const __m256i AlphaMask = _mm256_set1_epi32(static_cast<int>(0xFF000000u));
  const __m256i Zero = _mm256_setzero_si256();
  int I = 0;
  for (; I + 8 <= Count; I += 8) {
    const __m256i F = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(Src + I));
    const __m256i A = _mm256_and_si256(F, AlphaMask);
    if (_mm256_movemask_epi8(_mm256_cmpeq_epi32(A, Zero)) == -1) continue;
    __m256i* D = reinterpret_cast<__m256i*>(Dst + I);
    const __m256i Opaque = _mm256_cmpeq_epi32(A, AlphaMask);
    if (_mm256_movemask_epi8(Opaque) == -1) {
      _mm256_storeu_si256(D, F);
      continue;
    }
    const __m256i B = _mm256_loadu_si256(D);
    // Unpack and pack both work within 128-bit halves, so pixels return to their places.
    const __m256i FLo = _mm256_unpacklo_epi8(F, Zero), FHi = _mm256_unpackhi_epi8(F, Zero);
    const __m256i R =
        _mm256_packus_epi16(Weighted16(FLo, _mm256_unpacklo_epi8(B, Zero), AlphaLanes(FLo)),
                            Weighted16(FHi, _mm256_unpackhi_epi8(B, Zero), AlphaLanes(FHi)));
    // Alpha 0 already gives B; alpha 255 must be F exactly.
    _mm256_storeu_si256(D, _mm256_blendv_epi8(R, F, Opaque));
  }
  if (I < Count) Base->BlendRow(Src + I, Dst + I, Count - I);
}

void BlendRowMasterAvx2(const TColor32* Src, TColor32* Dst, int Count, std::uint32_t M) {
  const __m256i Zero = _mm256_setzero_si256();
  const __m256i Master = _mm256_set1_epi16(static_cast<short>(M));
  const __m256i One = _mm256_set1_epi16(1);
  int I = 0;
  for (; I + 8 <= Count; I += 8) {
    const __m256i F = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(Src + I));
    __m256i* D = reinterpret_cast<__m256i*>(Dst + I);
    const __m256i B = _mm256_loadu_si256(D);
    const __m256i FLo = _mm256_unpacklo_epi8(F, Zero), FHi = _mm256_unpackhi_epi8(F, Zero);
    const __m256i WLo =
        _mm256_srli_epi16(_mm256_mullo_epi16(_mm256_add_epi16(AlphaLanes(FLo), One), Master), 8);
    const __m256i WHi =
        _mm256_srli_epi16(_mm256_mullo_epi16(_mm256_add_epi16(AlphaLanes(FHi), One), Master), 8);
    _mm256_storeu_si256(D,
                        _mm256_packus_epi16(Weighted16(FLo, _mm256_unpacklo_epi8(B, Zero), WLo),
                                            Weighted16(FHi, _mm256_unpackhi_epi8(B, Zero), WHi)));
  }
  if (I < Count) Base->BlendRowMaster(Src + I, Dst + I, Count - I, M);
}

}  // namespace

const TBlendFuncs* Avx2BlendFuncs(const TBlendFuncs& Narrower) {
  static TBlendFuncs Table;
  Base = &Narrower;
  Table = Narrower;
  Table.Name = "avx2";
  Table.BlendRow = BlendRowAvx2;
  Table.BlendRowMaster = BlendRowMasterAvx2;
  return &Table;
}

}  // namespace kelta::gfx
