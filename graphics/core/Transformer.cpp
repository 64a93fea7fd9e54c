#include "graphics/core/Transformer.h"

#include "graphics/core/Blend.h"
#include "graphics/core/BlendScalarOps.h"

#include <cmath>
#include <limits>

namespace kelta::gfx {

namespace {

inline TFixed ShiftFixed(int V) { return static_cast<TFixed>(static_cast<std::uint32_t>(V) << 16); }

// A float edge rounded outward (floor or ceil already applied), saturated to the int range.
inline int SaturatedToInt(double F) {
  if (!(F == F)) return 0;
  if (F <= -2147483648.0) return std::numeric_limits<int>::min();
  if (F >= 2147483647.0) return std::numeric_limits<int>::max();
  return static_cast<int>(F);
}

inline int FloorToInt(float V) { return SaturatedToInt(std::floor(static_cast<double>(V))); }
inline int CeilToInt(float V) { return SaturatedToInt(std::ceil(static_cast<double>(V))); }

constexpr int kRowChunk = 256;

}  // namespace

// ---- TNestedSampler ----------------------------------------------------------------------

TCustomSampler& TNestedSampler::Inner() const {
  if (!Sampler_) throw ENestedSamplerError("Nested sampler is nil");
  return *Sampler_;
}

void TNestedSampler::BeginSampling() { Inner().BeginSampling(); }

void TNestedSampler::EndSampling() { Inner().EndSampling(); }

bool TNestedSampler::HasBounds() const { return Inner().HasBounds(); }

TFloatRect TNestedSampler::SampleBounds() const { return Inner().SampleBounds(); }

// ---- TTransformer ------------------------------------------------------------------------

void TTransformer::BeginSampling() {
  TNestedSampler::BeginSampling();
  Transformation_->Prepare();
  Affine_ = dynamic_cast<TAffineTransformation*>(Transformation_);
  Resampler_ = dynamic_cast<TCustomResampler*>(Sampler_);
}

bool TTransformer::HasBounds() const {
  return Transformation_->HasTransformedBounds() && TNestedSampler::HasBounds();
}

TFloatRect TTransformer::SampleBounds() const {
  return Transformation_->TransformedBounds(
      Intersect(Inner().SampleBounds(), Transformation_->SrcRect()));
}

TColor32 TTransformer::SampleAt(int X, int Y) {
  TFixed U, V;
  Transformation_->ReverseMapFixed(ShiftFixed(X), ShiftFixed(Y), U, V);
  return Inner().SampleFixed(U, V);
}

TColor32 TTransformer::SampleFixed(TFixed X, TFixed Y) {
  TFixed U, V;
  Transformation_->ReverseMapFixed(X, Y, U, V);
  return Inner().SampleFixed(U, V);
}

TColor32 TTransformer::SampleFloat(float X, float Y) {
  float U, V;
  Transformation_->ReverseMapFloat(X, Y, U, V);
  return Inner().SampleFloat(U, V);
}

TSampleSpan TTransformer::SampleRow(int X, int Y, int Count, TColor32* Out) {
  // Along a row the affine map advances by the inverse matrix's first row exactly:
  // fixmul(x << 16, I) is x * I (mod 2^32) while x << 16 does not wrap, so stepping by
  // I[0][0], I[0][1] gives the very values of the per-pixel ReverseMapFixed.
  const bool Steppable = Affine_ && Resampler_ && Count > 0 && X >= -32768 && Y >= -32768 &&
                         Y <= 32767 && static_cast<long long>(X) + Count - 1 <= 32767;
  if (!Steppable) return TCustomSampler::SampleRow(X, Y, Count, Out);
  TFixed U, V;
  Affine_->ReverseMapFixed(ShiftFixed(X), ShiftFixed(Y), U, V);
  const TFixedMatrix& I = Affine_->InverseFixedMatrix();
  return Resampler_->SampleFixedRow(U, V, I[0][0], I[0][1], Count, Out);
}

// ---- TRasterizer -------------------------------------------------------------------------

void TRasterizer::AssignCombineFrom(const TCustomBitmap32& Src) {
  SrcAlpha_ = Src.MasterAlpha();
  TransparentColor_ = Src.OuterColor();
  Mode_ = Src.DrawMode();
  Combine_ = Src.OnPixelCombine;
  if (Mode_ == dmCustom && !Combine_) Mode_ = dmOpaque;
}

bool TRasterizer::LeavesPixel(TColor32 C) const {
  switch (Mode_) {
    case dmBlend:
      return (C >> 24) == 0;
    case dmTransparent:
      return C == TransparentColor_;
    case dmOpaque:
    case dmCustom:
      break;
  }
  return false;
}

void TRasterizer::AssignRow(const TColor32* Samples, TColor32* Row, int Count) const {
  switch (Mode_) {
    case dmOpaque:
      for (int I = 0; I < Count; ++I) Row[I] = Samples[I];
      break;
    case dmBlend: {
      // Alpha 0 leaves the pixel by the rule itself; skipping the call is the same. The
      // reference is called inline when it is the chosen one.
      const auto Blend = BlendFuncs().BlendPixelMaster;
      if (Blend == ScalarBlendFuncs().BlendPixelMaster) {
        for (int I = 0; I < Count; ++I)
          if (Samples[I] >> 24) scalar::BlendPixelMaster(Samples[I], Row[I], SrcAlpha_);
      } else {
        for (int I = 0; I < Count; ++I)
          if (Samples[I] >> 24) Blend(Samples[I], Row[I], SrcAlpha_);
      }
      break;
    }
    case dmTransparent:
      for (int I = 0; I < Count; ++I)
        if (Samples[I] != TransparentColor_) Row[I] = Samples[I];
      break;
    case dmCustom:
      for (int I = 0; I < Count; ++I) Combine_(Samples[I], Row[I], SrcAlpha_);
      break;
  }
}

TRect TRasterizer::WorkRect(const TCustomBitmap32& Dst, const TRect& DstRect) const {
  TRect R = Intersect(DstRect, Dst.BoundsRect());
  if (Sampler_->HasBounds()) {
    const TFloatRect B = Sampler_->SampleBounds();
    const TRect Outward{FloorToInt(B.Left), FloorToInt(B.Top), CeilToInt(B.Right),
                        CeilToInt(B.Bottom)};
    R = Intersect(DstRect, Outward);
  }
  return R;
}

void TRasterizer::Rasterize(TCustomBitmap32& Dst, const TRect& DstRect) {
  struct TSamplingRun {
    TCustomSampler& S;
    TCustomBitmap32& D;
    int Updates;
    ~TSamplingRun() {
      // Brackets opened on Dst during the run are closed again, also on failure.
      while (D.UpdateCount() > Updates) D.EndUpdate();
      S.EndSampling();
    }
  };
  Sampler_->BeginSampling();
  TSamplingRun Run{*Sampler_, Dst, Dst.UpdateCount()};
  const TRect R = WorkRect(Dst, DstRect);
  if (R.IsEmpty()) return;
  DoRasterize(Dst, R);
}

void TRegularRasterizer::DoRasterize(TCustomBitmap32& Dst, const TRect& R) {
  TColor32 Samples[kRowChunk];
  int RowsSinceUpdate = 0;
  int FirstPending = R.Top;
  for (int Y = R.Top; Y < R.Bottom; ++Y) {
    TColor32* Row = Dst.ScanLine(Y);
    for (int X = R.Left; X < R.Right; X += kRowChunk) {
      const int N = R.Right - X < kRowChunk ? R.Right - X : kRowChunk;
      const TSampleSpan Span = Sampler_->SampleRow(X, Y, N, Samples);
      if (Span.Known && LeavesPixel(Span.Outside)) {
        // Outside the span every sample would leave its pixel as it is.
        if (Span.First <= Span.Last)
          AssignRow(Samples + Span.First, Row + X + Span.First, Span.Last - Span.First + 1);
      } else {
        AssignRow(Samples, Row + X, N);
      }
    }
    if (UpdateRowCount > 0 && ++RowsSinceUpdate == UpdateRowCount) {
      Dst.AreaChanged({R.Left, FirstPending, R.Right, Y + 1});
      RowsSinceUpdate = 0;
      FirstPending = Y + 1;
    }
  }
  if (FirstPending < R.Bottom) Dst.AreaChanged({R.Left, FirstPending, R.Right, R.Bottom});
}

// ---- DrawTransformed ---------------------------------------------------------------------

void DrawTransformed(TCustomBitmap32& Dst, TCustomBitmap32& Src, TTransformation& T) {
  TRegularRasterizer Rasterizer;
  const TRect DstRect = Intersect(Dst.BoundsRect(), Dst.ClipRect());
  // A destination without pixels ends here, before anything is notified.
  if (DstRect.IsEmpty()) return;
  if (!Dst.MeasuringMode()) {
    TTransformer Transformer(&Src.Resampler(), &T);
    Rasterizer.SetSampler(&Transformer);
    Rasterizer.AssignCombineFrom(Src);
    Rasterizer.Rasterize(Dst, DstRect);
  }
  Dst.AreaChanged(DstRect);
}

}  // namespace kelta::gfx
