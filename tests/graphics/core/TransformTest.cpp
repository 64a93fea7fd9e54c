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
  for (int i = 0; i < 3; ++i)
    for (int j = 0; j < 3; ++j)
      if (M[i][j] != (i == j ? 1.0f : 0.0f)) return false;
  return true;
}

}  // namespace

TEST(WeightGamma, TableEntries) {
  const auto& g = WeightGamma();
  const int head[] = {0, 5, 9, 11, 14, 16, 18, 21};
  for (int i = 0; i < 8; ++i) EXPECT_EQ(g[i], head[i]) << i;
  EXPECT_EQ(g[127], 157);
  EXPECT_EQ(g[128], 157);
  EXPECT_EQ(g[254], 254);
  EXPECT_EQ(g[255], 255);
  for (int i = 0; i < 256; ++i) {
    const double v = 255.0 * std::pow(i / 255.0, 0.7);
    EXPECT_GT(std::fabs(v - std::floor(v) - 0.5), 0.002) << "entry " << i << " near a tie";
    EXPECT_EQ(g[i], static_cast<int>(std::lround(v))) << i;
    if (i > 0) {
      EXPECT_GE(g[i], g[i - 1]);
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
  TAffineTransformation t;
  t.RotateAbout(12, 134, 0);
  EXPECT_TRUE(IsIdentity(t.Matrix));
  t.RotateAbout(0, 0, 0);
  EXPECT_TRUE(IsIdentity(t.Matrix));
}

TEST(AffineTransformation, SineAndCosineOfTheFloatAngleRoundedOnce) {
  // Every reading the console can show (one decimal, -360 .. 360): the matrix holds the
  // exact sine and cosine of the float angle, each rounded to float once.
  int wrong = 0;
  for (int tenths = -3600; tenths <= 3600; ++tenths) {
    const float angle = static_cast<float>(tenths / 10.0);
    const auto a = static_cast<float>(static_cast<long double>(angle) *
                                      3.14159265358979323846264338327950288L / 180.0L);
    const auto s = static_cast<float>(std::sin(static_cast<double>(a)));
    const auto c = static_cast<float>(std::cos(static_cast<double>(a)));
    TAffineTransformation t;
    t.RotateAbout(0, 0, angle);
    if (t.Matrix[0][0] != c || t.Matrix[1][1] != c || t.Matrix[1][0] != s || t.Matrix[0][1] != -s) {
      if (++wrong <= 5)
        ADD_FAILURE() << "angle " << angle << ": cos " << t.Matrix[0][0] << " want " << c
                      << ", sin " << t.Matrix[1][0] << " want " << s;
    }
  }
  EXPECT_EQ(wrong, 0);
}

TEST(AffineTransformation, QuarterTurnAndCompositionOrder) {
  TAffineTransformation t;
  t.RotateAbout(0, 0, 90);
  float x, y;
  t.ForwardMapFloat(1, 0, x, y);
  EXPECT_NEAR(x, 0.0f, 1e-7f);
  EXPECT_LT(x, 0.0f) << "cosine of the float angle is about -4.4e-8";
  EXPECT_EQ(y, -1.0f);
  // No translation was added around a (0, 0) centre.
  EXPECT_EQ(t.Matrix[2][0], 0.0f);
  EXPECT_EQ(t.Matrix[2][1], 0.0f);

  // Operations act in the order they are called.
  TAffineTransformation a;
  a.Translate(10, 0);
  a.RotateAbout(0, 0, 90);
  a.ForwardMapFloat(0, 0, x, y);
  EXPECT_NEAR(x, 0.0f, 1e-5f);
  EXPECT_NEAR(y, -10.0f, 1e-5f);
  TAffineTransformation b;
  b.RotateAbout(0, 0, 90);
  b.Translate(10, 0);
  b.ForwardMapFloat(0, 0, x, y);
  EXPECT_EQ(x, 10.0f);
  EXPECT_EQ(y, 0.0f);
}

TEST(AffineTransformation, PrepareBuildsFixedInverseAndHandlesSingular) {
  TAffineTransformation t;
  t.Translate(190, 66);
  EXPECT_FALSE(t.TransformValid());
  t.Prepare();
  EXPECT_TRUE(t.TransformValid());
  EXPECT_EQ(t.InverseFixedMatrix()[2][0], -190 * 65536);
  EXPECT_EQ(t.InverseFixedMatrix()[2][1], -66 * 65536);
  EXPECT_EQ(t.FixedMatrix()[2][0], 190 * 65536);
  EXPECT_EQ(t.ReverseMapInt(200, 70), (TPoint{10, 4}));
  t.Translate(1, 0);
  EXPECT_FALSE(t.TransformValid()) << "every change clears the valid flag";

  TAffineTransformation s;
  s.Scale(0.001f, 0.001f);  // determinant 1e-6, below 1e-5
  TFixed u, v;
  s.ReverseMapFixed(5 << 16, 7 << 16, u, v);
  EXPECT_EQ(u, 5 << 16);
  EXPECT_EQ(v, 7 << 16);

  TAffineTransformation h;
  h.Scale(0.01f, 0.01f);  // determinant 1e-4: a real inverse
  h.ReverseMapFixed(1 << 16, 0, u, v);
  EXPECT_NEAR(u / 65536.0, 100.0, 0.01);
}

TEST(Transformation, BaseRaisesNotImplemented) {
  TTransformation t;
  float u, v;
  try {
    t.ReverseMapFloat(0, 0, u, v);
    FAIL();
  } catch (const ETransformationError& e) {
    EXPECT_STREQ(e.what(), "Reverse transformation is not implemented in TTransformation.");
  }
  try {
    t.ForwardMapInt(1, 1);
    FAIL();
  } catch (const ETransformationError& e) {
    EXPECT_STREQ(e.what(), "Forward transformation is not implemented in TTransformation.");
  }
  TNestedSampler empty;
  EXPECT_THROW(empty.BeginSampling(), ENestedSamplerError);
}

TEST(DrawTransformed, TranslatedWhiteOverWhiteAndOverTransparent) {
  TBitmap32 src(27, 150);
  src.Fill(0xFFFFFFFF);
  src.SetDrawMode(dmBlend);
  src.SetResamplerClassName("TLinearResampler");
  TAffineTransformation t;
  t.SetSrcRect({0, 0, 27, 150});
  t.Translate(190, 66);

  for (TColor32 back : {0xFFFFFFFFu, 0x00000000u}) {
    TBitmap32 dst(404, 404);
    dst.Fill(back);
    DrawTransformed(dst, src, t);
    const TColor32 covered = back ? 0xFFFFFFFFu : 0xFEFEFEFEu;
    for (int y = 0; y < 404; ++y)
      for (int x = 0; x < 404; ++x) {
        const bool in = x >= 190 && x < 190 + 27 && y >= 66 && y < 66 + 150;
        ASSERT_EQ(dst.Pixel(x, y), in ? covered : back) << x << "," << y;
      }
  }
}

TEST(LinearResampler, IsolatedPixelHalfStepAndLastColumn) {
  // An opaque pixel among zeros, read at its own position through an integer offset.
  TBitmap32 src(3, 3);
  src.SetPixel(1, 1, 0xFFFF0000);
  src.SetResamplerClassName("TLinearResampler");
  TAffineTransformation shift;
  shift.SetSrcRect({0, 0, 3, 3});
  shift.Translate(4, 2);
  TBitmap32 dst(8, 8);
  DrawTransformed(dst, src, shift);
  EXPECT_EQ(dst.Pixel(5, 3), 0xFDFD0000u);

  // Half a pixel to the right: weights 157 and 99.
  TBitmap32 two(2, 2);
  two.Fill(0x00000000);
  two.SetPixel(0, 0, 0xFFFFFFFF);
  two.SetPixel(0, 1, 0xFFFFFFFF);
  two.SetResamplerClassName("TLinearResampler");
  TAffineTransformation half;
  half.Translate(-0.5f, 0);
  two.Resampler().BeginSampling();
  TTransformer tr(&two.Resampler(), &half);
  tr.BeginSampling();
  // Truncating quad: left column 157/256 of white, then rows of equal value.
  const std::uint32_t chan = (255u * 157u + 0u * 99u) >> 8;
  const std::uint32_t mix = (chan * 255u + chan * 1u) >> 8;
  EXPECT_EQ(tr.SampleAt(0, 0), mix * 0x01010101u);
  tr.EndSampling();

  // On the last column and row the pixel itself is read, not a blend with OuterColor.
  TBitmap32 quad(2, 2);
  quad.SetPixel(0, 0, 0xFF102030);
  quad.SetPixel(1, 0, 0x80405060);
  quad.SetPixel(0, 1, 0x40708090);
  quad.SetPixel(1, 1, 0xC0A0B0C0);
  quad.SetOuterColor(0x01010101);
  quad.SetResamplerClassName("TLinearResampler");
  quad.Resampler().BeginSampling();
  EXPECT_EQ(quad.Resampler().SampleFixed(1 << 16, 0), 0x80405060u);
  EXPECT_EQ(quad.Resampler().SampleFixed(1 << 16, 1 << 16), 0xC0A0B0C0u);
  EXPECT_EQ(quad.Resampler().SampleFixed(0, 1 << 16), 0x40708090u);
  EXPECT_EQ(quad.Resampler().SampleFixed((1 << 16) + 256, 0), 0x01010101u);
  EXPECT_EQ(quad.Resampler().SampleFixed(-128, 0), 0x01010101u)
      << "an exact half rounds down to -1/256";
  EXPECT_NE(quad.Resampler().SampleFixed(-127, 0), 0x01010101u) << "rounds to 0";
}

// A 3x3 source turned about its centre pixel by quarter turns, drawn opaque into a 5x5
// destination: inside the rasterized box every pixel is the source pixel the exact integer
// rotation names (or OuterColor), outside it the destination is untouched.
TEST(DrawTransformed, QuarterTurnsOfTinyBitmapEveryPixel) {
  TBitmap32 src(3, 3);
  for (int y = 0; y < 3; ++y)
    for (int x = 0; x < 3; ++x)
      src.SetPixel(x, y, 0xFF000000u | static_cast<TColor32>(y * 3 + x + 1));
  src.SetOuterColor(0xAA000000);
  for (int quarter = 0; quarter < 4; ++quarter) {
    TAffineTransformation t;
    t.SetSrcRect({0, 0, 3, 3});
    t.RotateAbout(1, 1, 90.0f * quarter);
    t.Translate(1, 1);
    TBitmap32 dst(5, 5);
    dst.Fill(Sentinel);
    DrawTransformed(dst, src, t);

    const TFloatRect b = t.TransformedBounds({0, 0, 3, 3});
    const TRect box{static_cast<int>(std::floor(b.Left)), static_cast<int>(std::floor(b.Top)),
                    static_cast<int>(std::ceil(b.Right)), static_cast<int>(std::ceil(b.Bottom))};
    const int dx[4] = {1, 0, -1, 0}, dy[4] = {0, -1, 0, 1};  // where source +x goes
    for (int y = 0; y < 5; ++y)
      for (int x = 0; x < 5; ++x) {
        // Invert the exact quarter turn about (2, 2) in the destination.
        const int rx = x - 2, ry = y - 2;
        const int sx = 1 + rx * dx[quarter] + ry * dy[quarter];
        const int sy = 1 + rx * -dy[quarter] + ry * dx[quarter];
        TColor32 want = Sentinel;
        if (x >= box.Left && x < box.Right && y >= box.Top && y < box.Bottom)
          want = (sx >= 0 && sx < 3 && sy >= 0 && sy < 3) ? src.Pixel(sx, sy) : 0xAA000000u;
        EXPECT_EQ(dst.Pixel(x, y), want) << quarter * 90 << " degrees, pixel " << x << "," << y;
      }
    // The box is the exactly turned square up to float rounding of sine and cosine.
    int el = 99, et = 99, er = -99, eb = -99;
    for (auto [CX, CY] : {std::pair{-1, -1}, {2, -1}, {-1, 2}, {2, 2}}) {
      const int px = 2 + CX * dx[quarter] - CY * dy[quarter];
      const int py = 2 + CX * dy[quarter] + CY * dx[quarter];
      el = std::min(el, px), er = std::max(er, px), et = std::min(et, py), eb = std::max(eb, py);
    }
    EXPECT_LE(std::abs(box.Left - el), 1);
    EXPECT_LE(std::abs(box.Top - et), 1);
    EXPECT_LE(std::abs(box.Right - er), 1);
    EXPECT_LE(std::abs(box.Bottom - eb), 1);
    EXPECT_NE(dst.Pixel(2, 2), Sentinel);
    EXPECT_EQ(dst.Pixel(2, 2), src.Pixel(1, 1));
  }
}

TEST(DrawTransformed, RowsOutsideRotatedBoundingBoxAreNeverSampled) {
  TBitmap32 src(27, 150);
  src.Fill(0xFF00FF00);
  src.SetResamplerClassName("TLinearResampler");
  TAffineTransformation t;
  t.SetSrcRect({0, 0, 27, 150});
  t.RotateAbout(12, 134, 45);
  t.Translate(190, 66);
  TBitmap32 dst(404, 404);
  dst.Fill(Sentinel);
  // dmOpaque writes every sampled position, OuterColor included.
  DrawTransformed(dst, src, t);

  const TFloatRect b = t.TransformedBounds({0, 0, 27, 150});
  const int top = static_cast<int>(std::floor(b.Top)),
            bottom = static_cast<int>(std::ceil(b.Bottom));
  const int left = static_cast<int>(std::floor(b.Left)),
            right = static_cast<int>(std::ceil(b.Right));
  ASSERT_GT(top, 0);
  ASSERT_LT(bottom, 404);
  for (int y = 0; y < 404; ++y)
    for (int x = 0; x < 404; ++x) {
      const bool sampled = y >= top && y < bottom && x >= left && x < right;
      ASSERT_EQ(dst.Pixel(x, y) != Sentinel, sampled) << x << "," << y;
    }
}

TEST(DrawTransformed, EmptyDestinationAndMeasuringMode) {
  TBitmap32 src(4, 4);
  src.Fill(0xFFFFFFFF);
  TAffineTransformation t;
  t.SetSrcRect({0, 0, 4, 4});

  TBitmap32 empty;
  int notes = 0;
  empty.OnAreaChanged = [&](TCustomBitmap32&, const TRect&) { ++notes; };
  empty.OnChange = [&](TNotifiablePersistent&) { ++notes; };
  DrawTransformed(empty, src, t);
  EXPECT_EQ(notes, 0);

  TBitmap32 dst(8, 8);
  std::vector<TRect> areas;
  dst.OnAreaChanged = [&](TCustomBitmap32&, const TRect& R) { areas.push_back(R); };
  dst.SetMeasuringMode(true);
  DrawTransformed(dst, src, t);
  EXPECT_EQ(dst.Pixel(0, 0), 0u);
  ASSERT_EQ(areas.size(), 1u);
  EXPECT_EQ(areas[0], (TRect{0, 0, 8, 8}));

  dst.SetMeasuringMode(false);
  areas.clear();
  DrawTransformed(dst, src, t);
  EXPECT_EQ(dst.Pixel(3, 3), 0xFFFFFFFFu);
  EXPECT_EQ(dst.Pixel(4, 4), 0u);
  ASSERT_EQ(areas.size(), 2u);
  EXPECT_EQ(areas[0], (TRect{0, 0, 4, 4})) << "rasterized rows";
  EXPECT_EQ(areas[1], (TRect{0, 0, 8, 8}));
}

// The row stepping of the transformer (with its narrowing to the steps that can reach the
// source) equals per-pixel ReverseMapFixed sampling, for turns whose row steps are positive,
// negative and zero, for a shear, and for rows whose positions wrap the 32-bit range.
TEST(Transformer, RowSamplingEqualsSingleSamples) {
  TBitmap32 src(31, 17);
  for (int y = 0; y < 17; ++y)
    for (int x = 0; x < 31; ++x)
      src.SetPixel(x, y, static_cast<TColor32>(x * 0x01030507u + y * 0x0B0D1113u) | 0x20000000u);
  src.SetOuterColor(0x00ABCDEF);
  struct TCase {
    float Angle, Dx, Dy, Sx, Sy;
  };
  const TCase cases[] = {
      {33.3f, -3.7f, 5.2f, 1, 1}, {0, 0.5f, -0.25f, 1, 1}, {90, 2, 3, 1, 1},
      {180, 30, 16, 1, 1},        {270, -1, 20, 1, 1},     {-120, 7, 7, 1, 1},
      {45, 0, 0, 0.3f, 4},        {10, -40000, 0, 1, 1},   {0, 0, 0, 0.0001f, 1},
  };
  for (const char* name : {"TLinearResampler", "TNearestResampler"}) {
    src.SetResamplerClassName(name);
    for (const TCase& c : cases) {
      TAffineTransformation t;
      t.Scale(c.Sx, c.Sy);
      t.RotateAbout(12, 8, c.Angle);
      t.Translate(c.Dx, c.Dy);
      TTransformer tr(&src.Resampler(), &t);
      tr.BeginSampling();
      TColor32 row[70];
      for (int y = -6; y < 40; ++y)
        for (int x0 : {-10, -1, 0, 3}) {
          tr.SampleRow(x0, y, 70 + (x0 < 0 ? x0 : -x0), row);
          for (int i = 0; i < 70 + (x0 < 0 ? x0 : -x0); ++i)
            ASSERT_EQ(row[i], tr.SampleAt(x0 + i, y))
                << name << " angle " << c.Angle << " at " << x0 + i << "," << y;
        }
      tr.EndSampling();
    }
  }
}

// The public Rasterize with a rectangle larger than the destination walks only the
// destination: a source bigger than the bitmap must not be written past its rows (under
// AddressSanitizer a heap-buffer-overflow before the work rectangle was clipped), and the
// result equals DrawTransformed's.
TEST(Rasterizer, RectangleLargerThanTheBitmapIsClippedToIt) {
  TBitmap32 src(10, 10);
  for (int y = 0; y < 10; ++y)
    for (int x = 0; x < 10; ++x)
      src.SetPixel(x, y, 0xFF000000u | static_cast<TColor32>(y * 16 + x));
  for (const char* resampler : {"TNearestResampler", "TLinearResampler"}) {
    SCOPED_TRACE(resampler);
    src.SetResamplerClassName(resampler);
    TAffineTransformation t;
    t.SetSrcRect({0, 0, 10, 10});
    t.Translate(-1, 0);

    TBitmap32 drawn(4, 4);
    drawn.Fill(Sentinel);
    DrawTransformed(drawn, src, t);

    TBitmap32 dst(4, 4);
    dst.Fill(Sentinel);
    std::vector<TRect> areas;
    dst.OnAreaChanged = [&](TCustomBitmap32&, const TRect& R) { areas.push_back(R); };
    TTransformer transformer(&src.Resampler(), &t);
    TRegularRasterizer rasterizer;
    rasterizer.SetSampler(&transformer);
    rasterizer.AssignCombineFrom(src);
    transformer.BeginSampling();
    EXPECT_EQ(rasterizer.WorkRect(dst, {0, 0, 100, 100}), (TRect{0, 0, 4, 4}));
    EXPECT_EQ(rasterizer.WorkRect(dst, {-50, 2, 100, 100}), (TRect{0, 2, 4, 4}));
    transformer.EndSampling();
    rasterizer.Rasterize(dst, {0, 0, 100, 100});

    for (const TRect& a : areas) EXPECT_EQ(Intersect(a, dst.BoundsRect()), a);
    for (int y = 0; y < 4; ++y)
      for (int x = 0; x < 4; ++x) ASSERT_EQ(dst.Pixel(x, y), drawn.Pixel(x, y)) << x << "," << y;
    EXPECT_NE(dst.Pixel(3, 3), Sentinel) << "the whole bitmap was walked";
  }
}
