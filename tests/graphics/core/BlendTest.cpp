// The blend rules, checked per channel against the formulas written out here independently,
// for the reference and every SIMD variant usable on this processor.
#include "graphics/core/Blend.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <random>
#include <string>

using namespace kelta::gfx;

namespace {

std::uint32_t Chan(TColor32 C, int I) { return (C >> (8 * I)) & 0xFFu; }

// One channel of the weighted result, straight from the rule.
std::uint32_t ChannelRule(std::uint32_t F, std::uint32_t B, std::uint32_t W) {
  return (F * W + B * (256 - W) + 128) >> 8;
}

TColor32 WeightedRule(TColor32 F, TColor32 B, std::uint32_t W) {
  TColor32 r = 0;
  for (int i = 0; i < 4; ++i) r |= ChannelRule(Chan(F, i), Chan(B, i), W) << (8 * i);
  return r;
}

TColor32 QuadRule(std::uint32_t WX, std::uint32_t WY, TColor32 TL, TColor32 TR, TColor32 BL,
                  TColor32 BR) {
  TColor32 r = 0;
  for (int i = 0; i < 4; ++i) {
    const std::uint32_t t = (Chan(TL, i) * WX + Chan(TR, i) * (256 - WX)) >> 8;
    const std::uint32_t d = (Chan(BL, i) * WX + Chan(BR, i) * (256 - WX)) >> 8;
    r |= ((t * WY + d * (256 - WY)) >> 8) << (8 * i);
  }
  return r;
}

// Four channels that differ, so a lane mix-up cannot hide.
TColor32 Spread(std::uint32_t V) { return Color32(V ^ 0x5Au, 255u - V, (V * 7u) & 0xFFu, V); }

// Inputs biased to the edge values where rounding and shortcuts live.
std::uint32_t EdgeByte(std::mt19937& Rng) {
  static constexpr std::uint32_t edges[] = {0x00, 0x01, 0x7F, 0x80, 0x81, 0xFE, 0xFF};
  const std::uint32_t pick = Rng() % 16;
  return pick < 7 ? edges[pick] : Rng() & 0xFFu;
}

TColor32 EdgeColor(std::mt19937& Rng) {
  return EdgeByte(Rng) << 24 | EdgeByte(Rng) << 16 | EdgeByte(Rng) << 8 | EdgeByte(Rng);
}

class BlendVariant : public ::testing::TestWithParam<int> {
 protected:
  const TBlendFuncs& F() const { return AvailableBlendFuncs(GetParam()); }
};

std::string VariantName(const ::testing::TestParamInfo<int>& Info) {
  return AvailableBlendFuncs(Info.param).Name;
}

}  // namespace

TEST(BlendSelection, ReferenceComesFirstAndChosenIsAvailable) {
  EXPECT_EQ(&AvailableBlendFuncs(0), &ScalarBlendFuncs());
  bool found = false;
  for (int i = 0; i < AvailableBlendFuncCount(); ++i)
    found = found || &AvailableBlendFuncs(i) == &BlendFuncs();
  EXPECT_TRUE(found);
}

TEST_P(BlendVariant, DocumentedEdgeCases) {
  TColor32 b = 0xFFFFFFFF;
  F().BlendPixel(0x80FF0000, b);
  EXPECT_EQ(b, 0xC0FF8080u);

  b = 0xFF000000;
  F().BlendPixelMaster(0xFFFF0000, b, 255);
  EXPECT_EQ(b, 0xFFFE0000u);

  b = 0xFFFFFFFF;
  F().BlendPixelMaster(0x80FF0000, b, 255);
  EXPECT_EQ(b, 0xC0FF8080u);

  b = 0xFFFFFFFF;
  F().BlendPixelMaster(0x80FF0000, b, 128);
  EXPECT_EQ(b, 0xDFFFBFBFu);
  TColor32 row = 0xFFFFFFFF;
  const TColor32 src = 0x80FF0000;
  F().BlendRowMaster(&src, &row, 1, 128);
  EXPECT_EQ(row, 0xDFFFBFBFu);

  // Alpha 1 at master 128: weight 0 for the pixel form, 1 for the row form.
  b = 0xFFFFFFFF;
  F().BlendPixelMaster(0x01000000, b, 128);
  EXPECT_EQ(b, 0xFFFFFFFFu);
  row = 0xFFFFFFFF;
  const TColor32 faint = 0x01000000;
  F().BlendRowMaster(&faint, &row, 1, 128);
  EXPECT_EQ(row, WeightedRule(0x01000000u, 0xFFFFFFFFu, 1));
  EXPECT_NE(row, 0xFFFFFFFFu);

  EXPECT_EQ(F().MixColors(0xFFFFFFFF, 0x00000000, 255), 0xFEFEFEFEu);
  EXPECT_EQ(F().BlendColors(0x00123456, 0xAABBCCDD), 0xAABBCCDDu);
  EXPECT_NE(F().BlendColors(0xFF123456, 0x00000000), 0xFF123456u);

  const TColor32 block[4] = {0xFFFF0000, 0, 0, 0};
  EXPECT_EQ(F().InterpolateQuad(255, 255, block, block + 2), 0xFDFD0000u);
  const TColor32 same[4] = {0x80402010, 0x80402010, 0x80402010, 0x80402010};
  for (std::uint32_t w : {0u, 1u, 99u, 157u, 255u})
    EXPECT_EQ(F().InterpolateQuad(w, 255 - w, same, same + 2), 0x80402010u) << w;
}

// Every front/back channel pair at every weight, with distinct values in the four channels.
TEST_P(BlendVariant, MixColorsAllPairsAllWeights) {
  int failures = 0;
  for (std::uint32_t w = 0; w < 256; ++w)
    for (std::uint32_t x = 0; x < 256; ++x)
      for (std::uint32_t y = 0; y < 256; ++y) {
        const TColor32 a = Spread(x), b = Spread(y);
        const TColor32 got = F().MixColors(a, b, w);
        if (got != WeightedRule(a, b, w) && ++failures < 5)
          ADD_FAILURE() << std::hex << "MixColors(" << a << ", " << b << ", " << std::dec << w
                        << ") = " << std::hex << got << ", expected " << WeightedRule(a, b, w);
      }
  EXPECT_EQ(failures, 0);
}

// All 65,536 (front alpha, back value) pairs through the single-pixel and row forms.
TEST_P(BlendVariant, BlendPixelAndRowAllAlphaPairs) {
  int failures = 0;
  TColor32 src[256], row[256], expect[256];
  for (std::uint32_t back = 0; back < 256; ++back) {
    for (std::uint32_t a = 0; a < 256; ++a) {
      const TColor32 front = (Spread(a ^ back) & 0x00FFFFFFu) | a << 24;
      const TColor32 b0 = Spread(back);
      const TColor32 e = a == 0 ? b0 : a == 255 ? front : WeightedRule(front, b0, a);
      TColor32 b = b0;
      F().BlendPixel(front, b);
      if (b != e && ++failures < 5)
        ADD_FAILURE() << std::hex << "BlendPixel(" << front << ", " << b0 << ") = " << b
                      << ", expected " << e;
      src[a] = front;
      row[a] = b0;
      expect[a] = e;
    }
    // Odd counts and offsets reach the tail handling of wide variants.
    F().BlendRow(src, row, 255);
    F().BlendRow(src + 255, row + 255, 1);
    for (int i = 0; i < 256; ++i)
      if (row[i] != expect[i] && ++failures < 5)
        ADD_FAILURE() << std::hex << "BlendRow pixel " << src[i] << " got " << row[i]
                      << ", expected " << expect[i];
  }
  EXPECT_EQ(failures, 0);
  TColor32 untouched = 0x12345678;
  F().BlendRow(src, &untouched, -3);
  EXPECT_EQ(untouched, 0x12345678u);
}

// Every (master, alpha) pair: the +1 goes on the master in the pixel form and on the pixel's
// alpha in the row form.
TEST_P(BlendVariant, MasterFormsAllMasterAlphaPairs) {
  int failures = 0;
  TColor32 src[256], row[256];
  for (std::uint32_t m = 0; m < 256; ++m) {
    const TColor32 b0 = Spread(m ^ 0xA5u);
    for (std::uint32_t a = 0; a < 256; ++a) {
      const TColor32 front = (Spread(a) & 0x00FFFFFFu) | a << 24;
      const std::uint32_t wp = ((m + 1) * a) >> 8;
      const TColor32 ep = (a == 0 || wp == 0) ? b0 : WeightedRule(front, b0, wp);
      TColor32 b = b0;
      F().BlendPixelMaster(front, b, m);
      if (b != ep && ++failures < 5)
        ADD_FAILURE() << std::hex << "BlendPixelMaster(" << front << ", " << b0 << ", " << m
                      << ") = " << b;
      src[a] = front;
      row[a] = b0;
    }
    F().BlendRowMaster(src, row, 253, m);
    F().BlendRowMaster(src + 253, row + 253, 3, m);
    for (std::uint32_t a = 0; a < 256; ++a) {
      const std::uint32_t wr = ((a + 1) * m) >> 8;
      const TColor32 er = (a == 0 || wr == 0) ? b0 : WeightedRule(src[a], b0, wr);
      if (row[a] != er && ++failures < 5)
        ADD_FAILURE() << std::hex << "BlendRowMaster(" << src[a] << ", " << b0 << ", " << m
                      << ") = " << row[a];
    }
  }
  EXPECT_EQ(failures, 0);
}

// Each 8-bit channel value against each weight pair for the quad, then seeded random blocks
// biased to edge values, all folded into one checksum shared by every variant.
TEST_P(BlendVariant, InterpolateQuadMatchesRule) {
  int failures = 0;
  for (std::uint32_t wx = 0; wx < 256; ++wx)
    for (std::uint32_t v = 0; v < 256; ++v) {
      const TColor32 block[4] = {Spread(v), Spread(255 - v), Spread(v ^ 0x33u), Spread(v / 2)};
      const std::uint32_t wy = (wx * 151u + v) & 0xFFu;
      const TColor32 got = F().InterpolateQuad(wx, wy, block, block + 2);
      const TColor32 e = QuadRule(wx, wy, block[0], block[1], block[2], block[3]);
      if (got != e && ++failures < 5)
        ADD_FAILURE() << "InterpolateQuad(" << wx << ", " << wy << ") over " << std::hex << block[0]
                      << " " << block[1] << " " << block[2] << " " << block[3] << " = " << got
                      << ", expected " << e;
    }
  EXPECT_EQ(failures, 0);
}

// Seeded random cases biased to edge values, every result compared with the reference and
// folded into one checksum per table; the first differing case is printed with its inputs.
TEST_P(BlendVariant, SeededRandomCasesEqualReference) {
  if (&F() == &ScalarBlendFuncs()) GTEST_SKIP() << "the reference itself";
  const TBlendFuncs& v = F();
  const TBlendFuncs& r = ScalarBlendFuncs();
  std::mt19937 rng(20261207);
  std::uint32_t SumV = 0, SumR = 0;
  int Reported = 0;
  auto compare = [&](const char* What, TColor32 A, TColor32 B, std::uint32_t W, TColor32 Got,
                     TColor32 Want) {
    SumV = SumV * 31u + Got;
    SumR = SumR * 31u + Want;
    if (Got != Want && Reported++ < 5)
      ADD_FAILURE() << std::hex << What << "(" << A << ", " << B << ", " << std::dec << W
                    << ") = " << std::hex << Got << ", reference " << Want;
  };
  TColor32 src[37], rowV[37], rowR[37], before[37];
  for (int round = 0; round < 20000; ++round) {
    const TColor32 a = EdgeColor(rng), b = EdgeColor(rng), c = EdgeColor(rng), d = EdgeColor(rng);
    const std::uint32_t w = EdgeByte(rng), m = EdgeByte(rng);
    compare("MixColors", a, b, w, v.MixColors(a, b, w), r.MixColors(a, b, w));
    compare("BlendColors", a, c, 0, v.BlendColors(a, c), r.BlendColors(a, c));
    TColor32 pv = b, pr = b;
    v.BlendPixel(a, pv);
    r.BlendPixel(a, pr);
    compare("BlendPixel", a, b, 0, pv, pr);
    pv = pr = b;
    v.BlendPixelMaster(a, pv, m);
    r.BlendPixelMaster(a, pr, m);
    compare("BlendPixelMaster", a, b, m, pv, pr);
    const TColor32 block[4] = {a, b, c, d};
    compare("InterpolateQuad", a, b, w * 256 + m, v.InterpolateQuad(w, m, block, block + 2),
            r.InterpolateQuad(w, m, block, block + 2));
    const int n = static_cast<int>(rng() % 37u);
    for (int i = 0; i < n; ++i) {
      src[i] = EdgeColor(rng);
      rowV[i] = rowR[i] = before[i] = EdgeColor(rng);
    }
    if (round & 1) {
      v.BlendRow(src, rowV, n);
      r.BlendRow(src, rowR, n);
    } else {
      v.BlendRowMaster(src, rowV, n, m);
      r.BlendRowMaster(src, rowR, n, m);
    }
    for (int i = 0; i < n; ++i)
      compare(round & 1 ? "BlendRow" : "BlendRowMaster", src[i], before[i], m, rowV[i], rowR[i]);
  }
  EXPECT_EQ(SumV, SumR) << v.Name << " checksum differs from the reference";
}

INSTANTIATE_TEST_SUITE_P(Variants, BlendVariant, ::testing::Range(0, AvailableBlendFuncCount()),
                         VariantName);
