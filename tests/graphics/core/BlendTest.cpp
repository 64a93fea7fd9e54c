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
  TColor32 R = 0;
  for (int I = 0; I < 4; ++I) R |= ChannelRule(Chan(F, I), Chan(B, I), W) << (8 * I);
  return R;
}

TColor32 QuadRule(std::uint32_t WX, std::uint32_t WY, TColor32 TL, TColor32 TR, TColor32 BL,
                  TColor32 BR) {
  TColor32 R = 0;
  for (int I = 0; I < 4; ++I) {
    const std::uint32_t T = (Chan(TL, I) * WX + Chan(TR, I) * (256 - WX)) >> 8;
    const std::uint32_t D = (Chan(BL, I) * WX + Chan(BR, I) * (256 - WX)) >> 8;
    R |= ((T * WY + D * (256 - WY)) >> 8) << (8 * I);
  }
  return R;
}

// Four channels that differ, so a lane mix-up cannot hide.
TColor32 Spread(std::uint32_t V) { return Color32(V ^ 0x5Au, 255u - V, (V * 7u) & 0xFFu, V); }

// Inputs biased to the edge values where rounding and shortcuts live.
std::uint32_t EdgeByte(std::mt19937& Rng) {
  static constexpr std::uint32_t Edges[] = {0x00, 0x01, 0x7F, 0x80, 0x81, 0xFE, 0xFF};
  const std::uint32_t Pick = Rng() % 16;
  return Pick < 7 ? Edges[Pick] : Rng() & 0xFFu;
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
  bool Found = false;
  for (int I = 0; I < AvailableBlendFuncCount(); ++I)
    Found = Found || &AvailableBlendFuncs(I) == &BlendFuncs();
  EXPECT_TRUE(Found);
}

TEST_P(BlendVariant, DocumentedEdgeCases) {
  TColor32 B = 0xFFFFFFFF;
  F().BlendPixel(0x80FF0000, B);
  EXPECT_EQ(B, 0xC0FF8080u);

  B = 0xFF000000;
  F().BlendPixelMaster(0xFFFF0000, B, 255);
  EXPECT_EQ(B, 0xFFFE0000u);

  B = 0xFFFFFFFF;
  F().BlendPixelMaster(0x80FF0000, B, 255);
  EXPECT_EQ(B, 0xC0FF8080u);

  B = 0xFFFFFFFF;
  F().BlendPixelMaster(0x80FF0000, B, 128);
  EXPECT_EQ(B, 0xDFFFBFBFu);
  TColor32 Row = 0xFFFFFFFF;
  const TColor32 Src = 0x80FF0000;
  F().BlendRowMaster(&Src, &Row, 1, 128);
  EXPECT_EQ(Row, 0xDFFFBFBFu);

  // Alpha 1 at master 128: weight 0 for the pixel form, 1 for the row form.
  B = 0xFFFFFFFF;
  F().BlendPixelMaster(0x01000000, B, 128);
  EXPECT_EQ(B, 0xFFFFFFFFu);
  Row = 0xFFFFFFFF;
  const TColor32 Faint = 0x01000000;
  F().BlendRowMaster(&Faint, &Row, 1, 128);
  EXPECT_EQ(Row, WeightedRule(0x01000000u, 0xFFFFFFFFu, 1));
  EXPECT_NE(Row, 0xFFFFFFFFu);

  EXPECT_EQ(F().MixColors(0xFFFFFFFF, 0x00000000, 255), 0xFEFEFEFEu);
  EXPECT_EQ(F().BlendColors(0x00123456, 0xAABBCCDD), 0xAABBCCDDu);
  EXPECT_NE(F().BlendColors(0xFF123456, 0x00000000), 0xFF123456u);

  const TColor32 Block[4] = {0xFFFF0000, 0, 0, 0};
  EXPECT_EQ(F().InterpolateQuad(255, 255, Block, Block + 2), 0xFDFD0000u);
  const TColor32 Same[4] = {0x80402010, 0x80402010, 0x80402010, 0x80402010};
  for (std::uint32_t W : {0u, 1u, 99u, 157u, 255u})
    EXPECT_EQ(F().InterpolateQuad(W, 255 - W, Same, Same + 2), 0x80402010u) << W;
}

// Every front/back channel pair at every weight, with distinct values in the four channels.
TEST_P(BlendVariant, MixColorsAllPairsAllWeights) {
  int Failures = 0;
  for (std::uint32_t W = 0; W < 256; ++W)
    for (std::uint32_t X = 0; X < 256; ++X)
      for (std::uint32_t Y = 0; Y < 256; ++Y) {
        const TColor32 A = Spread(X), B = Spread(Y);
        const TColor32 Got = F().MixColors(A, B, W);
        if (Got != WeightedRule(A, B, W) && ++Failures < 5)
          ADD_FAILURE() << std::hex << "MixColors(" << A << ", " << B << ", " << std::dec << W
                        << ") = " << std::hex << Got << ", expected " << WeightedRule(A, B, W);
      }
  EXPECT_EQ(Failures, 0);
}

// All 65,536 (front alpha, back value) pairs through the single-pixel and row forms.
TEST_P(BlendVariant, BlendPixelAndRowAllAlphaPairs) {
  int Failures = 0;
  TColor32 Src[256], Row[256], Expect[256];
  for (std::uint32_t Back = 0; Back < 256; ++Back) {
    for (std::uint32_t A = 0; A < 256; ++A) {
      const TColor32 Front = (Spread(A ^ Back) & 0x00FFFFFFu) | A << 24;
      const TColor32 B0 = Spread(Back);
      const TColor32 E = A == 0 ? B0 : A == 255 ? Front : WeightedRule(Front, B0, A);
      TColor32 B = B0;
      F().BlendPixel(Front, B);
      if (B != E && ++Failures < 5)
        ADD_FAILURE() << std::hex << "BlendPixel(" << Front << ", " << B0 << ") = " << B
                      << ", expected " << E;
      Src[A] = Front;
      Row[A] = B0;
      Expect[A] = E;
    }
    // Odd counts and offsets reach the tail handling of wide variants.
    F().BlendRow(Src, Row, 255);
    F().BlendRow(Src + 255, Row + 255, 1);
    for (int I = 0; I < 256; ++I)
      if (Row[I] != Expect[I] && ++Failures < 5)
        ADD_FAILURE() << std::hex << "BlendRow pixel " << Src[I] << " got " << Row[I]
                      << ", expected " << Expect[I];
  }
  EXPECT_EQ(Failures, 0);
  TColor32 Untouched = 0x12345678;
  F().BlendRow(Src, &Untouched, -3);
  EXPECT_EQ(Untouched, 0x12345678u);
}

// Every (master, alpha) pair: the +1 goes on the master in the pixel form and on the pixel's
// alpha in the row form.
TEST_P(BlendVariant, MasterFormsAllMasterAlphaPairs) {
  int Failures = 0;
  TColor32 Src[256], Row[256];
  for (std::uint32_t M = 0; M < 256; ++M) {
    const TColor32 B0 = Spread(M ^ 0xA5u);
    for (std::uint32_t A = 0; A < 256; ++A) {
      const TColor32 Front = (Spread(A) & 0x00FFFFFFu) | A << 24;
      const std::uint32_t WP = ((M + 1) * A) >> 8;
      const TColor32 EP = (A == 0 || WP == 0) ? B0 : WeightedRule(Front, B0, WP);
      TColor32 B = B0;
      F().BlendPixelMaster(Front, B, M);
      if (B != EP && ++Failures < 5)
        ADD_FAILURE() << std::hex << "BlendPixelMaster(" << Front << ", " << B0 << ", " << M
                      << ") = " << B;
      Src[A] = Front;
      Row[A] = B0;
    }
    F().BlendRowMaster(Src, Row, 253, M);
    F().BlendRowMaster(Src + 253, Row + 253, 3, M);
    for (std::uint32_t A = 0; A < 256; ++A) {
      const std::uint32_t WR = ((A + 1) * M) >> 8;
      const TColor32 ER = (A == 0 || WR == 0) ? B0 : WeightedRule(Src[A], B0, WR);
      if (Row[A] != ER && ++Failures < 5)
        ADD_FAILURE() << std::hex << "BlendRowMaster(" << Src[A] << ", " << B0 << ", " << M
                      << ") = " << Row[A];
    }
  }
  EXPECT_EQ(Failures, 0);
}

// Each 8-bit channel value against each weight pair for the quad, then seeded random blocks
// biased to edge values, all folded into one checksum shared by every variant.
TEST_P(BlendVariant, InterpolateQuadMatchesRule) {
  int Failures = 0;
  for (std::uint32_t WX = 0; WX < 256; ++WX)
    for (std::uint32_t V = 0; V < 256; ++V) {
      const TColor32 Block[4] = {Spread(V), Spread(255 - V), Spread(V ^ 0x33u), Spread(V / 2)};
      const std::uint32_t WY = (WX * 151u + V) & 0xFFu;
      const TColor32 Got = F().InterpolateQuad(WX, WY, Block, Block + 2);
      const TColor32 E = QuadRule(WX, WY, Block[0], Block[1], Block[2], Block[3]);
      if (Got != E && ++Failures < 5)
        ADD_FAILURE() << "InterpolateQuad(" << WX << ", " << WY << ") over " << std::hex << Block[0]
                      << " " << Block[1] << " " << Block[2] << " " << Block[3] << " = " << Got
                      << ", expected " << E;
    }
  EXPECT_EQ(Failures, 0);
}

// Seeded random cases biased to edge values, every result compared with the reference and
// folded into one checksum per table; the first differing case is printed with its inputs.
TEST_P(BlendVariant, SeededRandomCasesEqualReference) {
  if (&F() == &ScalarBlendFuncs()) GTEST_SKIP() << "the reference itself";
  const TBlendFuncs& V = F();
  const TBlendFuncs& R = ScalarBlendFuncs();
  std::mt19937 Rng(20261207);
  std::uint32_t SumV = 0, SumR = 0;
  int Reported = 0;
  auto Compare = [&](const char* What, TColor32 A, TColor32 B, std::uint32_t W, TColor32 Got,
                     TColor32 Want) {
    SumV = SumV * 31u + Got;
    SumR = SumR * 31u + Want;
    if (Got != Want && Reported++ < 5)
      ADD_FAILURE() << std::hex << What << "(" << A << ", " << B << ", " << std::dec << W
                    << ") = " << std::hex << Got << ", reference " << Want;
  };
  TColor32 Src[37], RowV[37], RowR[37], Before[37];
  for (int Round = 0; Round < 20000; ++Round) {
    const TColor32 A = EdgeColor(Rng), B = EdgeColor(Rng), C = EdgeColor(Rng), D = EdgeColor(Rng);
    const std::uint32_t W = EdgeByte(Rng), M = EdgeByte(Rng);
    Compare("MixColors", A, B, W, V.MixColors(A, B, W), R.MixColors(A, B, W));
    Compare("BlendColors", A, C, 0, V.BlendColors(A, C), R.BlendColors(A, C));
    TColor32 PV = B, PR = B;
    V.BlendPixel(A, PV);
    R.BlendPixel(A, PR);
    Compare("BlendPixel", A, B, 0, PV, PR);
    PV = PR = B;
    V.BlendPixelMaster(A, PV, M);
    R.BlendPixelMaster(A, PR, M);
    Compare("BlendPixelMaster", A, B, M, PV, PR);
    const TColor32 Block[4] = {A, B, C, D};
    Compare("InterpolateQuad", A, B, W * 256 + M, V.InterpolateQuad(W, M, Block, Block + 2),
            R.InterpolateQuad(W, M, Block, Block + 2));
    const int N = static_cast<int>(Rng() % 37u);
    for (int I = 0; I < N; ++I) {
      Src[I] = EdgeColor(Rng);
      RowV[I] = RowR[I] = Before[I] = EdgeColor(Rng);
    }
    if (Round & 1) {
      V.BlendRow(Src, RowV, N);
      R.BlendRow(Src, RowR, N);
    } else {
      V.BlendRowMaster(Src, RowV, N, M);
      R.BlendRowMaster(Src, RowR, N, M);
    }
    for (int I = 0; I < N; ++I)
      Compare(Round & 1 ? "BlendRow" : "BlendRowMaster", Src[I], Before[I], M, RowV[I], RowR[I]);
  }
  EXPECT_EQ(SumV, SumR) << V.Name << " checksum differs from the reference";
}

INSTANTIATE_TEST_SUITE_P(Variants, BlendVariant, ::testing::Range(0, AvailableBlendFuncCount()),
                         VariantName);
