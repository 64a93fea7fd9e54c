#include "graphics/core/Resamplers.h"

#include "graphics/core/Blend.h"
#include "graphics/core/BlendScalarOps.h"

#include <algorithm>
#include <climits>
#include <cmath>
#include <limits>

namespace kelta::gfx {

namespace {

std::array<std::uint8_t, 256> BuildWeightGamma() {
  std::array<std::uint8_t, 256> table{};
  for (int i = 0; i < 256; ++i)
    table[static_cast<std::size_t>(i)] =
        static_cast<std::uint8_t>(std::nearbyint(255.0 * std::pow(i / 255.0, 0.7)));
  return table;
}

// Wrapping 32-bit add for 16.16 steps.
inline TFixed AddWrap(TFixed A, TFixed B) {
  return static_cast<TFixed>(static_cast<std::uint32_t>(A) + static_cast<std::uint32_t>(B));
}

inline TFixed ShiftFixed(int V) { return static_cast<TFixed>(static_cast<std::uint32_t>(V) << 16); }

// Round a float to an int, ties to even, saturated so the conversion stays defined.
inline int RoundToInt(double V) {
  if (!(V == V)) return 0;
  const double r = std::nearbyint(V);
  if (r >= 2147483647.0) return std::numeric_limits<int>::max();
  if (r <= -2147483648.0) return std::numeric_limits<int>::min();
  return static_cast<int>(r);
}

inline int WrapInto(int V, int Lo, int Hi) {
  const long long span = static_cast<long long>(Hi) - Lo;
  long long m = (static_cast<long long>(V) - Lo) % span;
  if (m < 0) m += span;
  return static_cast<int>(Lo + m);
}

}  // namespace

const std::array<std::uint8_t, 256>& WeightGamma() {
  static const std::array<std::uint8_t, 256> table = BuildWeightGamma();
  return table;
}

TFixed FloatToFixed(double V) { return RoundToInt(V * 65536.0); }

// ---- TCustomSampler ----------------------------------------------------------------------

TColor32 TCustomSampler::SampleAt(int X, int Y) {
  return SampleFixed(ShiftFixed(X), ShiftFixed(Y));
}

TColor32 TCustomSampler::SampleFixed(TFixed X, TFixed Y) {
  return SampleFloat(static_cast<float>(X / 65536.0), static_cast<float>(Y / 65536.0));
}

TColor32 TCustomSampler::SampleFloat(float X, float Y) {
  return SampleFixed(FloatToFixed(X), FloatToFixed(Y));
}

TFloatRect TCustomSampler::SampleBounds() const {
  constexpr float big = std::numeric_limits<float>::max();
  return {-big, -big, big, big};
}

TSampleSpan TCustomSampler::SampleRow(int X, int Y, int Count, TColor32* Out) {
  for (int i = 0; i < Count; ++i) Out[i] = SampleAt(X + i, Y);
  return {0, Count - 1, 0, false};
}

// ---- TCustomResampler --------------------------------------------------------------------

void TCustomResampler::AssignSettings(const TCustomResampler& From) {
  SetPixelAccessMode(From.PixelAccessMode());
}

void TCustomResampler::BeginSampling() { clipRect_ = owner_->ClipRect(); }

TFloatRect TCustomResampler::SampleBounds() const {
  TFloatRect r{static_cast<float>(clipRect_.Left), static_cast<float>(clipRect_.Top),
               static_cast<float>(clipRect_.Right), static_cast<float>(clipRect_.Bottom)};
  if (pixelAccessMode_ == pamTransparentEdge) {
    r.Left -= 1;
    r.Top -= 1;
    r.Right += 1;
    r.Bottom += 1;
  }
  return r;
}

void TCustomResampler::SetPixelAccessMode(TPixelAccessMode V) {
  if (V == pixelAccessMode_) return;
  pixelAccessMode_ = V;
  owner_->Changed();
}

TSampleSpan TCustomResampler::SampleFixedRow(TFixed U, TFixed V, TFixed DU, TFixed DV, int Count,
                                             TColor32* Out) {
  for (int i = 0; i < Count; ++i) {
    Out[i] = SampleFixed(U, V);
    U = AddWrap(U, DU);
    V = AddWrap(V, DV);
  }
  return {0, Count - 1, 0, false};
}

void TCustomResampler::Resample(TCustomBitmap32& Dst, const TRect& DstRect, const TRect& DstClip,
                                const TRect& SrcRect, TDrawMode Mode) {
  const TRect clip = Intersect(Intersect(DstClip, DstRect), Dst.BoundsRect());
  if (clip.IsEmpty() || DstRect.IsEmpty() || SrcRect.IsEmpty()) return;
  const TCustomBitmap32& src = *owner_;
  if (Mode == dmCustom && !src.OnPixelCombine) Mode = dmOpaque;
  const std::uint32_t master = src.MasterAlpha();
  const TColor32 outer = src.OuterColor();
  const TBlendFuncs& funcs = BlendFuncs();

  // Pixel centres of the destination mapped to source positions; 64-bit so large
  // rectangles cannot overflow, and the sample position is the pixel's top-left in 16.16.
  const long long sw = SrcRect.Width(), sh = SrcRect.Height();
  const long long dw = DstRect.Width(), dh = DstRect.Height();
  BeginSampling();
  for (int y = clip.Top; y < clip.Bottom; ++y) {
    const long long num = (2LL * (y - DstRect.Top) + 1) * sh * 65536 - dh * 65536;
    const TFixed v = static_cast<TFixed>(SrcRect.Top * 65536LL + num / (2 * dh));
    TColor32* row = Dst.ScanLine(y);
    for (int x = clip.Left; x < clip.Right; ++x) {
      const long long numX = (2LL * (x - DstRect.Left) + 1) * sw * 65536 - dw * 65536;
      const TFixed u = static_cast<TFixed>(SrcRect.Left * 65536LL + numX / (2 * dw));
      const TColor32 s = SampleFixed(u, v);
      switch (Mode) {
        case dmOpaque:
          row[x] = s;
          break;
        case dmBlend:
          funcs.BlendPixelMaster(s, row[x], master);
          break;
        case dmTransparent:
          if (s != outer) row[x] = s;
          break;
        case dmCustom:
          src.OnPixelCombine(s, row[x], master);
          break;
      }
    }
  }
  EndSampling();
}

// ---- TNearestResampler -------------------------------------------------------------------

std::unique_ptr<TCustomResampler> TNearestResampler::CreateFor(TCustomBitmap32& Owner) const {
  return std::make_unique<TNearestResampler>(Owner);
}

namespace {

// The nearest reader of every access mode over a copy of the clip rectangle.
TColor32 ReadNearest(const TCustomBitmap32& Bmp, const TRect& C, TPixelAccessMode Mode, int X,
                     int Y) {
  switch (Mode) {
    case pamUnsafe:
      return Bmp.Pixel(X, Y);
    case pamSafe:
      if (X < C.Left || X >= C.Right || Y < C.Top || Y >= C.Bottom) return Bmp.OuterColor();
      return Bmp.Pixel(X, Y);
    case pamWrap:
      if (C.IsEmpty()) return Bmp.OuterColor();
      return Bmp.Pixel(WrapInto(X, C.Left, C.Right), WrapInto(Y, C.Top, C.Bottom));
    case pamTransparentEdge: {
      if (C.IsEmpty()) return Bmp.OuterColor();
      const int cx = X < C.Left ? C.Left : X >= C.Right ? C.Right - 1 : X;
      const int cy = Y < C.Top ? C.Top : Y >= C.Bottom ? C.Bottom - 1 : Y;
      const TColor32 p = Bmp.Pixel(cx, cy);
      return (cx == X && cy == Y) ? p : (p & 0x00FFFFFFu);
    }
  }
  return Bmp.OuterColor();
}

}  // namespace

TColor32 TNearestResampler::Read(int X, int Y) const {
  return ReadNearest(*owner_, clipRect_, pixelAccessMode_, X, Y);
}

TColor32 TNearestResampler::SampleFixed(TFixed X, TFixed Y) {
  return Read(FixedRound(X), FixedRound(Y));
}

TColor32 TNearestResampler::SampleFloat(float X, float Y) {
  return Read(RoundToInt(X), RoundToInt(Y));
}

TSampleSpan TNearestResampler::SampleFixedRow(TFixed U, TFixed V, TFixed DU, TFixed DV, int Count,
                                              TColor32* Out) {
  for (int i = 0; i < Count; ++i) {
    Out[i] = Read(FixedRound(U), FixedRound(V));
    U = AddWrap(U, DU);
    V = AddWrap(V, DV);
  }
  return {0, Count - 1, 0, false};
}

// ---- TLinearResampler --------------------------------------------------------------------

std::unique_ptr<TCustomResampler> TLinearResampler::CreateFor(TCustomBitmap32& Owner) const {
  return std::make_unique<TLinearResampler>(Owner);
}

namespace {

// What the pamSafe bilinear read needs, taken out of the bitmap once per run so the pixel
// loop keeps it in registers.
struct LinearSafeReader {
  const TColor32* Bits;
  int Width;
  int Left8, Top8;   // 24.8 clip left and top
  int Wd, Ht;        // 24.8 positions of the last column and row
  int LastX, LastY;  // last column and row
  TColor32 Outer;
  const std::uint8_t* Gamma;
  TColor32 (*Quad)(std::uint32_t, std::uint32_t, const TColor32*, const TColor32*);

  LinearSafeReader(const TCustomBitmap32& Bmp, const TRect& Clip)
      : Bits(Bmp.Bits()),
        Width(Bmp.Width()),
        Left8(Clip.Left * 256),
        Top8(Clip.Top * 256),
        Wd((Clip.Right - 1) * 256),
        Ht((Clip.Bottom - 1) * 256),
        LastX(Clip.Right - 1),
        LastY(Clip.Bottom - 1),
        Outer(Bmp.OuterColor()),
        Gamma(WeightGamma().data()),
        Quad(BlendFuncs().InterpolateQuad) {}

  TColor32 Pixel(int X, int Y) const { return Bits[static_cast<std::ptrdiff_t>(Y) * Width + X]; }

  // The chosen interpolation is the reference: call it inline rather than through the table.
  bool QuadIsReference() const { return Quad == ScalarBlendFuncs().InterpolateQuad; }

  // The pamSafe bilinear read of one 16.16 position (the needle's case).
  template <bool InlineQuad = false>
  [[gnu::always_inline]] TColor32 Read(TFixed U, TFixed V) const {
    // 24.8 positions rounded to the nearest 1/256, exact halves down; the add wraps in
    // 32 bits and the shift is arithmetic.
    const int x8 = static_cast<std::int32_t>(static_cast<std::uint32_t>(U) + 127u) >> 8;
    const int y8 = static_cast<std::int32_t>(static_cast<std::uint32_t>(V) + 127u) >> 8;
    if (x8 < Left8 || y8 < Top8) return Outer;
    if (x8 < Wd && y8 < Ht) {
      const TColor32* top = Bits + static_cast<std::ptrdiff_t>(y8 >> 8) * Width + (x8 >> 8);
      const TColor32* bottom = top + Width;
      // Four equal pixels interpolate to that pixel at any weights (P * W + P * (256 - W)
      // is P * 256 in every step); most of a needle's box is such blocks.
      if (top[0] == top[1] && top[0] == bottom[0] && top[0] == bottom[1]) return top[0];
      if constexpr (InlineQuad)
        return scalar::InterpolateQuad(Gamma[255 - (x8 & 255)], Gamma[255 - (y8 & 255)], top,
                                       bottom);
      else
        return Quad(Gamma[255 - (x8 & 255)], Gamma[255 - (y8 & 255)], top, bottom);
    }
    if (x8 == Wd && y8 <= Ht) return Pixel(LastX, y8 >> 8);
    if (x8 <= Wd && y8 == Ht) return Pixel(x8 >> 8, LastY);
    return Outer;
  }
};

// Floor and ceiling of A / B for B != 0.
inline std::int64_t FloorDiv(std::int64_t A, std::int64_t B) {
  std::int64_t q = A / B;
  if (A % B != 0 && ((A < 0) != (B < 0))) --q;
  return q;
}

inline std::int64_t CeilDiv(std::int64_t A, std::int64_t B) {
  std::int64_t q = A / B;
  if (A % B != 0 && ((A < 0) == (B < 0))) ++q;
  return q;
}

// Narrows [First, Last] to the steps I with Lo <= P0 + I * D <= Hi.
inline void NarrowSteps(std::int64_t P0, std::int64_t D, std::int64_t Lo, std::int64_t Hi,
                        std::int64_t& First, std::int64_t& Last) {
  if (D == 0) {
    if (P0 < Lo || P0 > Hi) Last = First - 1;
    return;
  }
  std::int64_t a, b;
  if (D > 0) {
    a = CeilDiv(Lo - P0, D);
    b = FloorDiv(Hi - P0, D);
  } else {
    a = CeilDiv(Hi - P0, D);
    b = FloorDiv(Lo - P0, D);
  }
  First = std::max(First, a);
  Last = std::min(Last, b);
}

}  // namespace

TColor32 TLinearResampler::SampleFixed(TFixed U, TFixed V) {
  const std::uint8_t* gamma = WeightGamma().data();
  const auto quad = BlendFuncs().InterpolateQuad;
  const TCustomBitmap32& bmp = *owner_;
  switch (pixelAccessMode_) {
    case pamSafe:
      if (clipRect_.IsEmpty()) return bmp.OuterColor();
      return LinearSafeReader(bmp, clipRect_).Read(U, V);
    case pamUnsafe: {
      // No bounds test: the caller keeps every position inside the bitmap.
      const std::uint32_t x8 = (static_cast<std::uint32_t>(U) + 127u) >> 8;
      const std::uint32_t y8 = (static_cast<std::uint32_t>(V) + 127u) >> 8;
      const TColor32* top = bmp.PixelPtr(static_cast<int>(x8 >> 8), static_cast<int>(y8 >> 8));
      return quad(gamma[255 - (x8 & 255)], gamma[255 - (y8 & 255)], top, top + bmp.Width());
    }
    case pamWrap:
    case pamTransparentEdge: {
      // Not on any path of this system: the four neighbours through the nearest reader of
      // the same mode, then the same interpolation.
      if (clipRect_.IsEmpty()) return bmp.OuterColor();
      const int x8 = static_cast<std::int32_t>(static_cast<std::uint32_t>(U) + 127u) >> 8;
      const int y8 = static_cast<std::int32_t>(static_cast<std::uint32_t>(V) + 127u) >> 8;
      const int cx = x8 >> 8, cy = y8 >> 8;
      const TPixelAccessMode m = pixelAccessMode_;
      const TColor32 block[4] = {ReadNearest(bmp, clipRect_, m, cx, cy),
                                 ReadNearest(bmp, clipRect_, m, cx + 1, cy),
                                 ReadNearest(bmp, clipRect_, m, cx, cy + 1),
                                 ReadNearest(bmp, clipRect_, m, cx + 1, cy + 1)};
      return quad(gamma[255 - (x8 & 255)], gamma[255 - (y8 & 255)], block, block + 2);
    }
  }
  return bmp.OuterColor();
}

TColor32 TLinearResampler::SampleFloat(float X, float Y) {
  return SampleFixed(FloatToFixed(X), FloatToFixed(Y));
}

TSampleSpan TLinearResampler::SampleFixedRow(TFixed U, TFixed V, TFixed DU, TFixed DV, int Count,
                                             TColor32* Out) {
  if (pixelAccessMode_ != pamSafe) {
    return TCustomResampler::SampleFixedRow(U, V, DU, DV, Count, Out);
  }
  const TCustomBitmap32& bmp = *owner_;
  if (Count <= 0) return {};
  if (clipRect_.IsEmpty()) {
    std::fill_n(Out, Count, bmp.OuterColor());
    return {0, -1, bmp.OuterColor(), true};
  }
  const LinearSafeReader reader(bmp, clipRect_);

  // Only the steps whose position can reach the source need the reader; all others are
  // OuterColor by its first and last tests. Worked out exactly in 64 bits, which equals the
  // 32-bit wrapping walk as long as no position of the row leaves the 32-bit range.
  const std::int64_t lastStep = Count - 1;
  const std::int64_t uEnd = U + lastStep * DU, vEnd = V + lastStep * DV;
  constexpr std::int64_t min32 = INT32_MIN, max32 = static_cast<std::int64_t>(INT32_MAX) - 127;
  if (std::min(uEnd, std::int64_t{U}) < min32 || std::max(uEnd, std::int64_t{U}) > max32 ||
      std::min(vEnd, std::int64_t{V}) < min32 || std::max(vEnd, std::int64_t{V}) > max32) {
    for (int i = 0; i < Count; ++i) {
      Out[i] = reader.Read(U, V);
      U = AddWrap(U, DU);
      V = AddWrap(V, DV);
    }
    return {0, Count - 1, 0, false};
  }
  // X8 >= Left8 <=> U >= Left8 * 256 - 127, and X8 <= Wd <=> U <= Wd * 256 + 128.
  std::int64_t first = 0, last = lastStep;
  NarrowSteps(U, DU, std::int64_t{reader.Left8} * 256 - 127, std::int64_t{reader.Wd} * 256 + 128,
              first, last);
  NarrowSteps(V, DV, std::int64_t{reader.Top8} * 256 - 127, std::int64_t{reader.Ht} * 256 + 128,
              first, last);
  if (first > last) {
    std::fill_n(Out, Count, reader.Outer);
    return {0, -1, reader.Outer, true};
  }
  std::fill_n(Out, first, reader.Outer);
  if (reader.QuadIsReference()) {
    for (std::int64_t i = first; i <= last; ++i)
      Out[i] = reader.Read<true>(static_cast<TFixed>(U + i * DU), static_cast<TFixed>(V + i * DV));
  } else {
    for (std::int64_t i = first; i <= last; ++i)
      Out[i] = reader.Read(static_cast<TFixed>(U + i * DU), static_cast<TFixed>(V + i * DV));
  }
  std::fill_n(Out + last + 1, lastStep - last, reader.Outer);
  return {static_cast<int>(first), static_cast<int>(last), reader.Outer, true};
}

std::unique_ptr<TCustomResampler> CreateResampler(const std::string& ClassName,
                                                  TCustomBitmap32& Owner) {
  if (ClassName == "TNearestResampler") return std::make_unique<TNearestResampler>(Owner);
  if (ClassName == "TLinearResampler") return std::make_unique<TLinearResampler>(Owner);
  return nullptr;
}

}  // namespace kelta::gfx
