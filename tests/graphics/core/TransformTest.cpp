#include "graphics/core/Bitmap32.h"
#include "graphics/core/Resamplers.h"
#include "graphics/core/Transformation.h"
#include "graphics/core/Transformer.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <vector>

using namespace kelta::gfx;

namespace {

constexpr TColor32 Sentinel = 0x12345678;

bool IsIdentity(const TFloatMatrix& M) {
  for (int I = 0; I < 3; ++I)
    for (int J = 0; J < 3; ++J)
      if (M[I][J] != (I == J ? 1.0f : 0.0f)) return false;
  return true;
}

}  // namespace

TEST(WeightGamma, TableEntries) {
  const auto& G = WeightGamma();
  const int Head[] = {0, 5, 9, 11, 14, 16, 18, 21};
  for (int I = 0; I < 8; ++I) EXPECT_EQ(G[I], Head[I]) << I;
  EXPECT_EQ(G[127], 157);
  EXPECT_EQ(G[128], 157);
  EXPECT_EQ(G[254], 254);
  EXPECT_EQ(G[255], 255);
  for (int I = 0; I < 256; ++I) {
    const double V = 255.0 * std::pow(I / 255.0, 0.7);
    EXPECT_GT(std::fabs(V - std::floor(V) - 0.5), 0.002) << "entry " << I << " near a tie";
    EXPECT_EQ(G[I], static_cast<int>(std::lround(V))) << I;
    if (I > 0) {
      EXPECT_GE(G[I], G[I - 1]);
    }
  }
}

TEST(Fixed, MultiplyAndRound) {
  EXPECT_EQ(FixedMul(3 << 16, 1 << 15), 3 << 15);
  EXPECT_EQ(FixedMul(-(3 << 16), 1 << 15), -(3 << 15));
  EXPECT_EQ(FixedRound(0x18000), 1) << "exact halves round down";
  EXPECT_EQ(FixedRound(0x18001), 2);
  EXPECT_EQ(FixedRound(-0x8000), -1);
  EXPECT_EQ(FixedRound(-0x7FFF), 0);
  EXPECT_EQ(FloatToFixed(0.5 / 65536), 0) << "ties to even";
  EXPECT_EQ(FloatToFixed(1.5 / 65536), 2);
  EXPECT_EQ(FloatToFixed(1e30), 2147483647);
}

TEST(AffineTransformation, RotateAboutPivotByZeroLeavesIdentity) {
  TAffineTransformation T;
  T.RotateAbout(12, 134, 0);
  EXPECT_TRUE(IsIdentity(T.Matrix));
  T.RotateAbout(0, 0, 0);
  EXPECT_TRUE(IsIdentity(T.Matrix));
}

TEST(AffineTransformation, SineAndCosineOfTheFloatAngleRoundedOnce) {
  // Every reading the console can show (one decimal, -360 .. 360): the matrix holds the
  // exact sine and cosine of the float angle, each rounded to float once.
  int Wrong = 0;
  for (int Tenths = -3600; Tenths <= 3600; ++Tenths) {
    const float Angle = static_cast<float>(Tenths / 10.0);
    const auto A = static_cast<float>(static_cast<long double>(Angle) *
                                      3.14159265358979323846264338327950288L / 180.0L);
    const auto S = static_cast<float>(std::sin(static_cast<double>(A)));
    const auto C = static_cast<float>(std::cos(static_cast<double>(A)));
    TAffineTransformation T;
    T.RotateAbout(0, 0, Angle);
    if (T.Matrix[0][0] != C || T.Matrix[1][1] != C || T.Matrix[1][0] != S || T.Matrix[0][1] != -S) {
      if (++Wrong <= 5)
        ADD_FAILURE() << "angle " << Angle << ": cos " << T.Matrix[0][0] << " want " << C
                      << ", sin " << T.Matrix[1][0] << " want " << S;
    }
  }
  EXPECT_EQ(Wrong, 0);
}

TEST(AffineTransformation, QuarterTurnAndCompositionOrder) {
  TAffineTransformation T;
  T.RotateAbout(0, 0, 90);
  float X, Y;
  T.ForwardMapFloat(1, 0, X, Y);
  EXPECT_NEAR(X, 0.0f, 1e-7f);
  EXPECT_LT(X, 0.0f) << "cosine of the float angle is about -4.4e-8";
  EXPECT_EQ(Y, -1.0f);
  // No translation was added around a (0, 0) centre.
  EXPECT_EQ(T.Matrix[2][0], 0.0f);
  EXPECT_EQ(T.Matrix[2][1], 0.0f);

  // Operations act in the order they are called.
  TAffineTransformation A;
  A.Translate(10, 0);
  A.RotateAbout(0, 0, 90);
  A.ForwardMapFloat(0, 0, X, Y);
  EXPECT_NEAR(X, 0.0f, 1e-5f);
  EXPECT_NEAR(Y, -10.0f, 1e-5f);
  TAffineTransformation B;
  B.RotateAbout(0, 0, 90);
  B.Translate(10, 0);
  B.ForwardMapFloat(0, 0, X, Y);
  EXPECT_EQ(X, 10.0f);
  EXPECT_EQ(Y, 0.0f);
}

TEST(AffineTransformation, PrepareBuildsFixedInverseAndHandlesSingular) {
  TAffineTransformation T;
  T.Translate(190, 66);
  EXPECT_FALSE(T.TransformValid());
  T.Prepare();
  EXPECT_TRUE(T.TransformValid());
  EXPECT_EQ(T.InverseFixedMatrix()[2][0], -190 * 65536);
  EXPECT_EQ(T.InverseFixedMatrix()[2][1], -66 * 65536);
  EXPECT_EQ(T.FixedMatrix()[2][0], 190 * 65536);
  EXPECT_EQ(T.ReverseMapInt(200, 70), (TPoint{10, 4}));
  T.Translate(1, 0);
  EXPECT_FALSE(T.TransformValid()) << "every change clears the valid flag";

  TAffineTransformation S;
  S.Scale(0.001f, 0.001f);  // determinant 1e-6, below 1e-5
  TFixed U, V;
  S.ReverseMapFixed(5 << 16, 7 << 16, U, V);
  EXPECT_EQ(U, 5 << 16);
  EXPECT_EQ(V, 7 << 16);

  TAffineTransformation H;
  H.Scale(0.01f, 0.01f);  // determinant 1e-4: a real inverse
  H.ReverseMapFixed(1 << 16, 0, U, V);
  EXPECT_NEAR(U / 65536.0, 100.0, 0.01);
}

TEST(Transformation, BaseRaisesNotImplemented) {
  TTransformation T;
  float U, V;
  try {
    T.ReverseMapFloat(0, 0, U, V);
    FAIL();
  } catch (const ETransformationError& E) {
    EXPECT_STREQ(E.what(), "Reverse transformation is not implemented in TTransformation.");
  }
  try {
    T.ForwardMapInt(1, 1);
    FAIL();
  } catch (const ETransformationError& E) {
    EXPECT_STREQ(E.what(), "Forward transformation is not implemented in TTransformation.");
  }
  TNestedSampler Empty;
  EXPECT_THROW(Empty.BeginSampling(), ENestedSamplerError);
}

TEST(DrawTransformed, TranslatedWhiteOverWhiteAndOverTransparent) {
  TBitmap32 Src(27, 150);
  Src.Fill(0xFFFFFFFF);
  Src.SetDrawMode(dmBlend);
  Src.SetResamplerClassName("TLinearResampler");
  TAffineTransformation T;
  T.SetSrcRect({0, 0, 27, 150});
  T.Translate(190, 66);

  for (TColor32 Back : {0xFFFFFFFFu, 0x00000000u}) {
    TBitmap32 Dst(404, 404);
    Dst.Fill(Back);
    DrawTransformed(Dst, Src, T);
    const TColor32 Covered = Back ? 0xFFFFFFFFu : 0xFEFEFEFEu;
    for (int Y = 0; Y < 404; ++Y)
      for (int X = 0; X < 404; ++X) {
        const bool In = X >= 190 && X < 190 + 27 && Y >= 66 && Y < 66 + 150;
        ASSERT_EQ(Dst.Pixel(X, Y), In ? Covered : Back) << X << "," << Y;
      }
  }
}

TEST(LinearResampler, IsolatedPixelHalfStepAndLastColumn) {
  // An opaque pixel among zeros, read at its own position through an integer offset.
  TBitmap32 Src(3, 3);
  Src.SetPixel(1, 1, 0xFFFF0000);
  Src.SetResamplerClassName("TLinearResampler");
  TAffineTransformation Shift;
  Shift.SetSrcRect({0, 0, 3, 3});
  Shift.Translate(4, 2);
  TBitmap32 Dst(8, 8);
  DrawTransformed(Dst, Src, Shift);
  EXPECT_EQ(Dst.Pixel(5, 3), 0xFDFD0000u);

  // Half a pixel to the right: weights 157 and 99.
  TBitmap32 Two(2, 2);
  Two.Fill(0x00000000);
  Two.SetPixel(0, 0, 0xFFFFFFFF);
  Two.SetPixel(0, 1, 0xFFFFFFFF);
  Two.SetResamplerClassName("TLinearResampler");
  TAffineTransformation Half;
  Half.Translate(-0.5f, 0);
  Two.Resampler().BeginSampling();
  TTransformer Tr(&Two.Resampler(), &Half);
  Tr.BeginSampling();
  // Truncating quad: left column 157/256 of white, then rows of equal value.
  const std::uint32_t Chan = (255u * 157u + 0u * 99u) >> 8;
  const std::uint32_t Mix = (Chan * 255u + Chan * 1u) >> 8;
  EXPECT_EQ(Tr.SampleAt(0, 0), Mix * 0x01010101u);
  Tr.EndSampling();

  // On the last column and row the pixel itself is read, not a blend with OuterColor.
  TBitmap32 Quad(2, 2);
  Quad.SetPixel(0, 0, 0xFF102030);
  Quad.SetPixel(1, 0, 0x80405060);
  Quad.SetPixel(0, 1, 0x40708090);
  Quad.SetPixel(1, 1, 0xC0A0B0C0);
  Quad.SetOuterColor(0x01010101);
  Quad.SetResamplerClassName("TLinearResampler");
  Quad.Resampler().BeginSampling();
  EXPECT_EQ(Quad.Resampler().SampleFixed(1 << 16, 0), 0x80405060u);
  EXPECT_EQ(Quad.Resampler().SampleFixed(1 << 16, 1 << 16), 0xC0A0B0C0u);
  EXPECT_EQ(Quad.Resampler().SampleFixed(0, 1 << 16), 0x40708090u);
  EXPECT_EQ(Quad.Resampler().SampleFixed((1 << 16) + 256, 0), 0x01010101u);
  EXPECT_EQ(Quad.Resampler().SampleFixed(-128, 0), 0x01010101u)
      << "an exact half rounds down to -1/256";
  EXPECT_NE(Quad.Resampler().SampleFixed(-127, 0), 0x01010101u) << "rounds to 0";
}

// A 3x3 source turned about its centre pixel by quarter turns, drawn opaque into a 5x5
// destination: inside the rasterized box every pixel is the source pixel the exact integer
// rotation names (or OuterColor), outside it the destination is untouched.
TEST(DrawTransformed, QuarterTurnsOfTinyBitmapEveryPixel) {
  TBitmap32 Src(3, 3);
  for (int Y = 0; Y < 3; ++Y)
    for (int X = 0; X < 3; ++X)
      Src.SetPixel(X, Y, 0xFF000000u | static_cast<TColor32>(Y * 3 + X + 1));
  Src.SetOuterColor(0xAA000000);
  for (int Quarter = 0; Quarter < 4; ++Quarter) {
    TAffineTransformation T;
    T.SetSrcRect({0, 0, 3, 3});
    T.RotateAbout(1, 1, 90.0f * Quarter);
    T.Translate(1, 1);
    TBitmap32 Dst(5, 5);
    Dst.Fill(Sentinel);
    DrawTransformed(Dst, Src, T);

    const TFloatRect B = T.TransformedBounds({0, 0, 3, 3});
    const TRect Box{static_cast<int>(std::floor(B.Left)), static_cast<int>(std::floor(B.Top)),
                    static_cast<int>(std::ceil(B.Right)), static_cast<int>(std::ceil(B.Bottom))};
    const int Dx[4] = {1, 0, -1, 0}, Dy[4] = {0, -1, 0, 1};  // where source +x goes
    for (int Y = 0; Y < 5; ++Y)
      for (int X = 0; X < 5; ++X) {
        // Invert the exact quarter turn about (2, 2) in the destination.
        const int RX = X - 2, RY = Y - 2;
        const int SX = 1 + RX * Dx[Quarter] + RY * Dy[Quarter];
        const int SY = 1 + RX * -Dy[Quarter] + RY * Dx[Quarter];
        TColor32 Want = Sentinel;
        if (X >= Box.Left && X < Box.Right && Y >= Box.Top && Y < Box.Bottom)
          Want = (SX >= 0 && SX < 3 && SY >= 0 && SY < 3) ? Src.Pixel(SX, SY) : 0xAA000000u;
        EXPECT_EQ(Dst.Pixel(X, Y), Want) << Quarter * 90 << " degrees, pixel " << X << "," << Y;
      }
    // The box is the exactly turned square up to float rounding of sine and cosine.
    int EL = 99, ET = 99, ER = -99, EB = -99;
    for (auto [CX, CY] : {std::pair{-1, -1}, {2, -1}, {-1, 2}, {2, 2}}) {
      const int PX = 2 + CX * Dx[Quarter] - CY * Dy[Quarter];
      const int PY = 2 + CX * Dy[Quarter] + CY * Dx[Quarter];
      EL = std::min(EL, PX), ER = std::max(ER, PX), ET = std::min(ET, PY), EB = std::max(EB, PY);
    }
    EXPECT_LE(std::abs(Box.Left - EL), 1);
    EXPECT_LE(std::abs(Box.Top - ET), 1);
    EXPECT_LE(std::abs(Box.Right - ER), 1);
    EXPECT_LE(std::abs(Box.Bottom - EB), 1);
    EXPECT_NE(Dst.Pixel(2, 2), Sentinel);
    EXPECT_EQ(Dst.Pixel(2, 2), Src.Pixel(1, 1));
  }
}

TEST(DrawTransformed, RowsOutsideRotatedBoundingBoxAreNeverSampled) {
  TBitmap32 Src(27, 150);
  Src.Fill(0xFF00FF00);
  Src.SetResamplerClassName("TLinearResampler");
  TAffineTransformation T;
  T.SetSrcRect({0, 0, 27, 150});
  T.RotateAbout(12, 134, 45);
  T.Translate(190, 66);
  TBitmap32 Dst(404, 404);
  Dst.Fill(Sentinel);
  // dmOpaque writes every sampled position, OuterColor included.
  DrawTransformed(Dst, Src, T);

  const TFloatRect B = T.TransformedBounds({0, 0, 27, 150});
  const int Top = static_cast<int>(std::floor(B.Top)),
            Bottom = static_cast<int>(std::ceil(B.Bottom));
  const int Left = static_cast<int>(std::floor(B.Left)),
            Right = static_cast<int>(std::ceil(B.Right));
  ASSERT_GT(Top, 0);
  ASSERT_LT(Bottom, 404);
  for (int Y = 0; Y < 404; ++Y)
    for (int X = 0; X < 404; ++X) {
      const bool Sampled = Y >= Top && Y < Bottom && X >= Left && X < Right;
      ASSERT_EQ(Dst.Pixel(X, Y) != Sentinel, Sampled) << X << "," << Y;
    }
}

TEST(DrawTransformed, EmptyDestinationAndMeasuringMode) {
  TBitmap32 Src(4, 4);
  Src.Fill(0xFFFFFFFF);
  TAffineTransformation T;
  T.SetSrcRect({0, 0, 4, 4});

  TBitmap32 Empty;
  int Notes = 0;
  Empty.OnAreaChanged = [&](TCustomBitmap32&, const TRect&) { ++Notes; };
  Empty.OnChange = [&](TNotifiablePersistent&) { ++Notes; };
  DrawTransformed(Empty, Src, T);
  EXPECT_EQ(Notes, 0);

  TBitmap32 Dst(8, 8);
  std::vector<TRect> Areas;
  Dst.OnAreaChanged = [&](TCustomBitmap32&, const TRect& R) { Areas.push_back(R); };
  Dst.SetMeasuringMode(true);
  DrawTransformed(Dst, Src, T);
  EXPECT_EQ(Dst.Pixel(0, 0), 0u);
  ASSERT_EQ(Areas.size(), 1u);
  EXPECT_EQ(Areas[0], (TRect{0, 0, 8, 8}));

  Dst.SetMeasuringMode(false);
  Areas.clear();
  DrawTransformed(Dst, Src, T);
  EXPECT_EQ(Dst.Pixel(3, 3), 0xFFFFFFFFu);
  EXPECT_EQ(Dst.Pixel(4, 4), 0u);
  ASSERT_EQ(Areas.size(), 2u);
  EXPECT_EQ(Areas[0], (TRect{0, 0, 4, 4})) << "rasterized rows";
  EXPECT_EQ(Areas[1], (TRect{0, 0, 8, 8}));
}

// The row stepping of the transformer (with its narrowing to the steps that can reach the
// source) equals per-pixel ReverseMapFixed sampling, for turns whose row steps are positive,
// negative and zero, for a shear, and for rows whose positions wrap the 32-bit range.
TEST(Transformer, RowSamplingEqualsSingleSamples) {
  TBitmap32 Src(31, 17);
  for (int Y = 0; Y < 17; ++Y)
    for (int X = 0; X < 31; ++X)
      Src.SetPixel(X, Y, static_cast<TColor32>(X * 0x01030507u + Y * 0x0B0D1113u) | 0x20000000u);
  Src.SetOuterColor(0x00ABCDEF);
  struct TCase {
    float Angle, Dx, Dy, Sx, Sy;
  };
  const TCase Cases[] = {
      {33.3f, -3.7f, 5.2f, 1, 1}, {0, 0.5f, -0.25f, 1, 1}, {90, 2, 3, 1, 1},
      {180, 30, 16, 1, 1},        {270, -1, 20, 1, 1},     {-120, 7, 7, 1, 1},
      {45, 0, 0, 0.3f, 4},        {10, -40000, 0, 1, 1},   {0, 0, 0, 0.0001f, 1},
  };
  for (const char* Name : {"TLinearResampler", "TNearestResampler"}) {
    Src.SetResamplerClassName(Name);
    for (const TCase& C : Cases) {
      TAffineTransformation T;
      T.Scale(C.Sx, C.Sy);
      T.RotateAbout(12, 8, C.Angle);
      T.Translate(C.Dx, C.Dy);
      TTransformer Tr(&Src.Resampler(), &T);
      Tr.BeginSampling();
      TColor32 Row[70];
      for (int Y = -6; Y < 40; ++Y)
        for (int X0 : {-10, -1, 0, 3}) {
          Tr.SampleRow(X0, Y, 70 + (X0 < 0 ? X0 : -X0), Row);
          for (int I = 0; I < 70 + (X0 < 0 ? X0 : -X0); ++I)
            ASSERT_EQ(Row[I], Tr.SampleAt(X0 + I, Y))
                << Name << " angle " << C.Angle << " at " << X0 + I << "," << Y;
        }
      Tr.EndSampling();
    }
  }
}
