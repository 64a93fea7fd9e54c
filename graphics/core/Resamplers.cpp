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
  std::array<std::uint8_t, 256> Table{};
  for (int I = 0; I < 256; ++I)
    Table[static_cast<std::size_t>(I)] =
        static_cast<std::uint8_t>(std::nearbyint(255.0 * std::pow(I / 255.0, 0.7)));
  return Table;
}

// Wrapping 32-bit add for 16.16 steps.
inline TFixed AddWrap(TFixed A, TFixed B) {
  return static_cast<TFixed>(static_cast<std::uint32_t>(A) + static_cast<std::uint32_t>(B));
}

inline TFixed ShiftFixed(int V) { return static_cast<TFixed>(static_cast<std::uint32_t>(V) << 16); }

// Round a float to an int, ties to even, saturated so the conversion stays defined.
inline int RoundToInt(double V) {
  if (!(V == V)) return 0;
  const double R = std::nearbyint(V);
  if (R >= 2147483647.0) return std::numeric_limits<int>::max();
  if (R <= -2147483648.0) return std::numeric_limits<int>::min();
  return static_cast<int>(R);
}

inline int WrapInto(int V, int Lo, int Hi) {
  const long long Span = static_cast<long long>(Hi) - Lo;
  long long M = (static_cast<long long>(V) - Lo) % Span;
  if (M < 0) M += Span;
  return static_cast<int>(Lo + M);
}

}  // namespace

const std::array<std::uint8_t, 256>& WeightGamma() {
  static const std::array<std::uint8_t, 256> Table = BuildWeightGamma();
  return Table;
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
  constexpr float Big = std::numeric_limits<float>::max();
  return {-Big, -Big, Big, Big};
}

TSampleSpan TCustomSampler::SampleRow(int X, int Y, int Count, TColor32* Out) {
  for (int I = 0; I < Count; ++I) Out[I] = SampleAt(X + I, Y);
  return {0, Count - 1, 0, false};
}

// ---- TCustomResampler --------------------------------------------------------------------

void TCustomResampler::AssignSettings(const TCustomResampler& From) {
  SetPixelAccessMode(From.PixelAccessMode());
}

void TCustomResampler::BeginSampling() { ClipRect_ = Owner_->ClipRect(); }

TFloatRect TCustomResampler::SampleBounds() const {
  TFloatRect R{static_cast<float>(ClipRect_.Left), static_cast<float>(ClipRect_.Top),
               static_cast<float>(ClipRect_.Right), static_cast<float>(ClipRect_.Bottom)};
  if (PixelAccessMode_ == pamTransparentEdge) {
    R.Left -= 1;
    R.Top -= 1;
    R.Right += 1;
    R.Bottom += 1;
  }
  return R;
}

void TCustomResampler::SetPixelAccessMode(TPixelAccessMode V) {
  if (V == PixelAccessMode_) return;
  PixelAccessMode_ = V;
  Owner_->Changed();
}

TSampleSpan TCustomResampler::SampleFixedRow(TFixed U, TFixed V, TFixed DU, TFixed DV, int Count,
                                             TColor32* Out) {
  for (int I = 0; I < Count; ++I) {
    Out[I] = SampleFixed(U, V);
    U = AddWrap(U, DU);
    V = AddWrap(V, DV);
  }
  return {0, Count - 1, 0, false};
}

void TCustomResampler::Resample(TCustomBitmap32& Dst, const TRect& DstRect, const TRect& DstClip,
                                const TRect& SrcRect, TDrawMode Mode) {
  const TRect Clip = Intersect(Intersect(DstClip, DstRect), Dst.BoundsRect());
  if (Clip.IsEmpty() || DstRect.IsEmpty() || SrcRect.IsEmpty()) return;
  const TCustomBitmap32& Src = *Owner_;
  if (Mode == dmCustom && !Src.OnPixelCombine) Mode = dmOpaque;
  const std::uint32_t Master = Src.MasterAlpha();
  const TColor32 Outer = Src.OuterColor();
  const TBlendFuncs& Funcs = BlendFuncs();

  // Pixel centres of the destination mapped to source positions; 64-bit so large
  // rectangles cannot overflow, and the sample position is the pixel's top-left in 16.16.
  const long long SW = SrcRect.Width(), SH = SrcRect.Height();
  const long long DW = DstRect.Width(), DH = DstRect.Height();
  BeginSampling();
  for (int Y = Clip.Top; Y < Clip.Bottom; ++Y) {
    const long long Num = (2LL * (Y - DstRect.Top) + 1) * SH * 65536 - DH * 65536;
    const TFixed V = static_cast<TFixed>(SrcRect.Top * 65536LL + Num / (2 * DH));
    TColor32* Row = Dst.ScanLine(Y);
    for (int X = Clip.Left; X < Clip.Right; ++X) {
      const long long NumX = (2LL * (X - DstRect.Left) + 1) * SW * 65536 - DW * 65536;
      const TFixed U = static_cast<TFixed>(SrcRect.Left * 65536LL + NumX / (2 * DW));
      const TColor32 S = SampleFixed(U, V);
      switch (Mode) {
        case dmOpaque:
          Row[X] = S;
          break;
        case dmBlend:
          Funcs.BlendPixelMaster(S, Row[X], Master);
          break;
        case dmTransparent:
          if (S != Outer) Row[X] = S;
          break;
        case dmCustom:
          Src.OnPixelCombine(S, Row[X], Master);
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
      const int CX = X < C.Left ? C.Left : X >= C.Right ? C.Right - 1 : X;
      const int CY = Y < C.Top ? C.Top : Y >= C.Bottom ? C.Bottom - 1 : Y;
      const TColor32 P = Bmp.Pixel(CX, CY);
      return (CX == X && CY == Y) ? P : (P & 0x00FFFFFFu);
    }
  }
  return Bmp.OuterColor();
}

}  // namespace

TColor32 TNearestResampler::Read(int X, int Y) const {
  return ReadNearest(*Owner_, ClipRect_, PixelAccessMode_, X, Y);
}

TColor32 TNearestResampler::SampleFixed(TFixed X, TFixed Y) {
  return Read(FixedRound(X), FixedRound(Y));
}

TColor32 TNearestResampler::SampleFloat(float X, float Y) {
  return Read(RoundToInt(X), RoundToInt(Y));
}

TSampleSpan TNearestResampler::SampleFixedRow(TFixed U, TFixed V, TFixed DU, TFixed DV, int Count,
                                              TColor32* Out) {
  for (int I = 0; I < Count; ++I) {
    Out[I] = Read(FixedRound(U), FixedRound(V));
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
struct TLinearSafeReader {
  const TColor32* Bits;
  int Width;
  int Left8, Top8;   // 24.8 clip left and top
  int Wd, Ht;        // 24.8 positions of the last column and row
  int LastX, LastY;  // last column and row
  TColor32 Outer;
  const std::uint8_t* Gamma;
  TColor32 (*Quad)(std::uint32_t, std::uint32_t, const TColor32*, const TColor32*);

  TLinearSafeReader(const TCustomBitmap32& Bmp, const TRect& Clip)
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
    // 24.8 positions rounded to the nearest 1/256, exact halves down; the add wraps like
    // the 32-bit original and the shift is arithmetic.
    const int X8 = static_cast<std::int32_t>(static_cast<std::uint32_t>(U) + 127u) >> 8;
    const int Y8 = static_cast<std::int32_t>(static_cast<std::uint32_t>(V) + 127u) >> 8;
    if (X8 < Left8 || Y8 < Top8) return Outer;
    if (X8 < Wd && Y8 < Ht) {
      const TColor32* Top = Bits + static_cast<std::ptrdiff_t>(Y8 >> 8) * Width + (X8 >> 8);
      const TColor32* Bottom = Top + Width;
      // Four equal pixels interpolate to that pixel at any weights (P * W + P * (256 - W)
      // is P * 256 in every step); most of a needle's box is such blocks.
      if (Top[0] == Top[1] && Top[0] == Bottom[0] && Top[0] == Bottom[1]) return Top[0];
      if constexpr (InlineQuad)
        return scalar::InterpolateQuad(Gamma[255 - (X8 & 255)], Gamma[255 - (Y8 & 255)], Top,
                                       Bottom);
      else
        return Quad(Gamma[255 - (X8 & 255)], Gamma[255 - (Y8 & 255)], Top, Bottom);
    }
    if (X8 == Wd && Y8 <= Ht) return Pixel(LastX, Y8 >> 8);
    if (X8 <= Wd && Y8 == Ht) return Pixel(X8 >> 8, LastY);
    return Outer;
  }
};

// Floor and ceiling of A / B for B != 0.
inline std::int64_t FloorDiv(std::int64_t A, std::int64_t B) {
  std::int64_t Q = A / B;
  if (A % B != 0 && ((A < 0) != (B < 0))) --Q;
  return Q;
}

inline std::int64_t CeilDiv(std::int64_t A, std::int64_t B) {
  std::int64_t Q = A / B;
  if (A % B != 0 && ((A < 0) == (B < 0))) ++Q;
  return Q;
}

// Narrows [First, Last] to the steps I with Lo <= P0 + I * D <= Hi.
inline void NarrowSteps(std::int64_t P0, std::int64_t D, std::int64_t Lo, std::int64_t Hi,
                        std::int64_t& First, std::int64_t& Last) {
  if (D == 0) {
    if (P0 < Lo || P0 > Hi) Last = First - 1;
    return;
  }
  std::int64_t A, B;
  if (D > 0) {
    A = CeilDiv(Lo - P0, D);
    B = FloorDiv(Hi - P0, D);
  } else {
    A = CeilDiv(Hi - P0, D);
    B = FloorDiv(Lo - P0, D);
  }
  First = std::max(First, A);
  Last = std::min(Last, B);
}

}  // namespace

TColor32 TLinearResampler::SampleFixed(TFixed U, TFixed V) {
  const std::uint8_t* Gamma = WeightGamma().data();
  const auto Quad = BlendFuncs().InterpolateQuad;
  const TCustomBitmap32& Bmp = *Owner_;
  switch (PixelAccessMode_) {
    case pamSafe:
      if (ClipRect_.IsEmpty()) return Bmp.OuterColor();
      return TLinearSafeReader(Bmp, ClipRect_).Read(U, V);
    case pamUnsafe: {
      // No bounds test: the caller keeps every position inside the bitmap.
      const std::uint32_t X8 = (static_cast<std::uint32_t>(U) + 127u) >> 8;
      const std::uint32_t Y8 = (static_cast<std::uint32_t>(V) + 127u) >> 8;
      const TColor32* Top = Bmp.PixelPtr(static_cast<int>(X8 >> 8), static_cast<int>(Y8 >> 8));
      return Quad(Gamma[255 - (X8 & 255)], Gamma[255 - (Y8 & 255)], Top, Top + Bmp.Width());
    }
    case pamWrap:
    case pamTransparentEdge: {
      // Not on any path of this system: the four neighbours through the nearest reader of
      // the same mode, then the same interpolation.
      if (ClipRect_.IsEmpty()) return Bmp.OuterColor();
      const int X8 = static_cast<std::int32_t>(static_cast<std::uint32_t>(U) + 127u) >> 8;
      const int Y8 = static_cast<std::int32_t>(static_cast<std::uint32_t>(V) + 127u) >> 8;
      const int CX = X8 >> 8, CY = Y8 >> 8;
      const TPixelAccessMode M = PixelAccessMode_;
      const TColor32 Block[4] = {ReadNearest(Bmp, ClipRect_, M, CX, CY),
                                 ReadNearest(Bmp, ClipRect_, M, CX + 1, CY),
                                 ReadNearest(Bmp, ClipRect_, M, CX, CY + 1),
                                 ReadNearest(Bmp, ClipRect_, M, CX + 1, CY + 1)};
      return Quad(Gamma[255 - (X8 & 255)], Gamma[255 - (Y8 & 255)], Block, Block + 2);
    }
  }
  return Bmp.OuterColor();
}

TColor32 TLinearResampler::SampleFloat(float X, float Y) {
  return SampleFixed(FloatToFixed(X), FloatToFixed(Y));
}

TSampleSpan TLinearResampler::SampleFixedRow(TFixed U, TFixed V, TFixed DU, TFixed DV, int Count,
                                             TColor32* Out) {
  if (PixelAccessMode_ != pamSafe) {
    return TCustomResampler::SampleFixedRow(U, V, DU, DV, Count, Out);
  }
  const TCustomBitmap32& Bmp = *Owner_;
  if (Count <= 0) return {};
  if (ClipRect_.IsEmpty()) {
    std::fill_n(Out, Count, Bmp.OuterColor());
    return {0, -1, Bmp.OuterColor(), true};
  }
  const TLinearSafeReader Reader(Bmp, ClipRect_);

  // Only the steps whose position can reach the source need the reader; all others are
  // OuterColor by its first and last tests. Worked out exactly in 64 bits, which equals the
  // 32-bit wrapping walk as long as no position of the row leaves the 32-bit range.
  const std::int64_t LastStep = Count - 1;
  const std::int64_t UEnd = U + LastStep * DU, VEnd = V + LastStep * DV;
  constexpr std::int64_t Min32 = INT32_MIN, Max32 = static_cast<std::int64_t>(INT32_MAX) - 127;
  if (std::min(UEnd, std::int64_t{U}) < Min32 || std::max(UEnd, std::int64_t{U}) > Max32 ||
      std::min(VEnd, std::int64_t{V}) < Min32 || std::max(VEnd, std::int64_t{V}) > Max32) {
    for (int I = 0; I < Count; ++I) {
      Out[I] = Reader.Read(U, V);
      U = AddWrap(U, DU);
      V = AddWrap(V, DV);
    }
    return {0, Count - 1, 0, false};
  }
  // X8 >= Left8 <=> U >= Left8 * 256 - 127, and X8 <= Wd <=> U <= Wd * 256 + 128.
  std::int64_t First = 0, Last = LastStep;
  NarrowSteps(U, DU, std::int64_t{Reader.Left8} * 256 - 127, std::int64_t{Reader.Wd} * 256 + 128,
              First, Last);
  NarrowSteps(V, DV, std::int64_t{Reader.Top8} * 256 - 127, std::int64_t{Reader.Ht} * 256 + 128,
              First, Last);
  if (First > Last) {
    std::fill_n(Out, Count, Reader.Outer);
    return {0, -1, Reader.Outer, true};
  }
  std::fill_n(Out, First, Reader.Outer);
  if (Reader.QuadIsReference()) {
    for (std::int64_t I = First; I <= Last; ++I)
      Out[I] = Reader.Read<true>(static_cast<TFixed>(U + I * DU), static_cast<TFixed>(V + I * DV));
  } else {
    for (std::int64_t I = First; I <= Last; ++I)
      Out[I] = Reader.Read(static_cast<TFixed>(U + I * DU), static_cast<TFixed>(V + I * DV));
  }
  std::fill_n(Out + Last + 1, LastStep - Last, Reader.Outer);
  return {static_cast<int>(First), static_cast<int>(Last), Reader.Outer, true};
}

std::unique_ptr<TCustomResampler> CreateResampler(const std::string& ClassName,
                                                  TCustomBitmap32& Owner) {
  if (ClassName == "TNearestResampler") return std::make_unique<TNearestResampler>(Owner);
  if (ClassName == "TLinearResampler") return std::make_unique<TLinearResampler>(Owner);
  return nullptr;
}

}  // namespace kelta::gfx
