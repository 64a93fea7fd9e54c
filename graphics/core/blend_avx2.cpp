// AVX2 rows of the blend primitives (eight pixels a step); the single-pixel primitives stay
// those of the table this one extends. Bit for bit the scalar rules, for the reasons given in
// blend_sse2.cpp. Only reached after the processor check in BlendSelect.cpp.
#include "graphics/core/BlendVariants.h"

#include <immintrin.h>

namespace kelta::gfx {

namespace {

const TBlendFuncs* Base = nullptr;

inline __m256i Weighted16(__m256i F, __m256i B, __m256i W) {
  const __m256i nw = _mm256_sub_epi16(_mm256_set1_epi16(256), W);
  __m256i s = _mm256_add_epi16(_mm256_mullo_epi16(F, W), _mm256_mullo_epi16(B, nw));
  s = _mm256_add_epi16(s, _mm256_set1_epi16(128));
  return _mm256_srli_epi16(s, 8);
}

inline __m256i AlphaLanes(__m256i P16) {
  P16 = _mm256_shufflelo_epi16(P16, _MM_SHUFFLE(3, 3, 3, 3));
  return _mm256_shufflehi_epi16(P16, _MM_SHUFFLE(3, 3, 3, 3));
}

void BlendRowAvx2(const TColor32* Src, TColor32* Dst, int Count) {
  const __m256i alphaMask = _mm256_set1_epi32(static_cast<int>(0xFF000000u));
  const __m256i zero = _mm256_setzero_si256();
  int i = 0;
  for (; i + 8 <= Count; i += 8) {
    const __m256i f = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(Src + i));
    const __m256i a = _mm256_and_si256(f, alphaMask);
    if (_mm256_movemask_epi8(_mm256_cmpeq_epi32(a, zero)) == -1) continue;
    __m256i* d = reinterpret_cast<__m256i*>(Dst + i);
    const __m256i opaque = _mm256_cmpeq_epi32(a, alphaMask);
    if (_mm256_movemask_epi8(opaque) == -1) {
      _mm256_storeu_si256(d, f);
      continue;
    }
    const __m256i b = _mm256_loadu_si256(d);
    // Unpack and pack both work within 128-bit halves, so pixels return to their places.
    const __m256i fLo = _mm256_unpacklo_epi8(f, zero), fHi = _mm256_unpackhi_epi8(f, zero);
    const __m256i r =
        _mm256_packus_epi16(Weighted16(fLo, _mm256_unpacklo_epi8(b, zero), AlphaLanes(fLo)),
                            Weighted16(fHi, _mm256_unpackhi_epi8(b, zero), AlphaLanes(fHi)));
    // Alpha 0 already gives B; alpha 255 must be F exactly.
    _mm256_storeu_si256(d, _mm256_blendv_epi8(r, f, opaque));
  }
  if (i < Count) Base->BlendRow(Src + i, Dst + i, Count - i);
}

void BlendRowMasterAvx2(const TColor32* Src, TColor32* Dst, int Count, std::uint32_t M) {
  const __m256i zero = _mm256_setzero_si256();
  const __m256i master = _mm256_set1_epi16(static_cast<short>(M));
  const __m256i one = _mm256_set1_epi16(1);
  int i = 0;
  for (; i + 8 <= Count; i += 8) {
    const __m256i f = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(Src + i));
    __m256i* d = reinterpret_cast<__m256i*>(Dst + i);
    const __m256i b = _mm256_loadu_si256(d);
    const __m256i fLo = _mm256_unpacklo_epi8(f, zero), fHi = _mm256_unpackhi_epi8(f, zero);
    const __m256i wLo =
        _mm256_srli_epi16(_mm256_mullo_epi16(_mm256_add_epi16(AlphaLanes(fLo), one), master), 8);
    const __m256i wHi =
        _mm256_srli_epi16(_mm256_mullo_epi16(_mm256_add_epi16(AlphaLanes(fHi), one), master), 8);
    _mm256_storeu_si256(d,
                        _mm256_packus_epi16(Weighted16(fLo, _mm256_unpacklo_epi8(b, zero), wLo),
                                            Weighted16(fHi, _mm256_unpackhi_epi8(b, zero), wHi)));
  }
  if (i < Count) Base->BlendRowMaster(Src + i, Dst + i, Count - i, M);
}

}  // namespace

const TBlendFuncs* Avx2BlendFuncs(const TBlendFuncs& Narrower) {
  static TBlendFuncs table;
  Base = &Narrower;
  table = Narrower;
  table.Name = "avx2";
  table.BlendRow = BlendRowAvx2;
  table.BlendRowMaster = BlendRowMasterAvx2;
  return &table;
}

}  // namespace kelta::gfx
