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
  if (!sampler_) throw ENestedSamplerError("Nested sampler is nil");
  return *sampler_;
}

void TNestedSampler::BeginSampling() { Inner().BeginSampling(); }

void TNestedSampler::EndSampling() { Inner().EndSampling(); }

bool TNestedSampler::HasBounds() const { return Inner().HasBounds(); }

TFloatRect TNestedSampler::SampleBounds() const { return Inner().SampleBounds(); }

// ---- TTransformer ------------------------------------------------------------------------

void TTransformer::BeginSampling() {
  TNestedSampler::BeginSampling();
  transformation_->Prepare();
  affine_ = dynamic_cast<TAffineTransformation*>(transformation_);
  resampler_ = dynamic_cast<TCustomResampler*>(sampler_);
}

bool TTransformer::HasBounds() const {
  return transformation_->HasTransformedBounds() && TNestedSampler::HasBounds();
}

TFloatRect TTransformer::SampleBounds() const {
  return transformation_->TransformedBounds(
      Intersect(Inner().SampleBounds(), transformation_->SrcRect()));
}

TColor32 TTransformer::SampleAt(int X, int Y) {
  TFixed u, v;
  transformation_->ReverseMapFixed(ShiftFixed(X), ShiftFixed(Y), u, v);
  return Inner().SampleFixed(u, v);
}

TColor32 TTransformer::SampleFixed(TFixed X, TFixed Y) {
  TFixed u, v;
  transformation_->ReverseMapFixed(X, Y, u, v);
  return Inner().SampleFixed(u, v);
}

TColor32 TTransformer::SampleFloat(float X, float Y) {
  float u, v;
  transformation_->ReverseMapFloat(X, Y, u, v);
  return Inner().SampleFloat(u, v);
}

TSampleSpan TTransformer::SampleRow(int X, int Y, int Count, TColor32* Out) {
  // Along a row the affine map advances by the inverse matrix's first row exactly:
  // fixmul(x << 16, I) is x * I (mod 2^32) while x << 16 does not wrap, so stepping by
  // I[0][0], I[0][1] gives the very values of the per-pixel ReverseMapFixed.
  const bool steppable = affine_ && resampler_ && Count > 0 && X >= -32768 && Y >= -32768 &&
                         Y <= 32767 && static_cast<long long>(X) + Count - 1 <= 32767;
  if (!steppable) return TCustomSampler::SampleRow(X, Y, Count, Out);
  TFixed u, v;
  affine_->ReverseMapFixed(ShiftFixed(X), ShiftFixed(Y), u, v);
  const TFixedMatrix& i = affine_->InverseFixedMatrix();
  return resampler_->SampleFixedRow(u, v, i[0][0], i[0][1], Count, Out);
}

// ---- TRasterizer -------------------------------------------------------------------------

void TRasterizer::AssignCombineFrom(const TCustomBitmap32& Src) {
  srcAlpha_ = Src.MasterAlpha();
  transparentColor_ = Src.OuterColor();
  mode_ = Src.DrawMode();
  combine_ = Src.OnPixelCombine;
  if (mode_ == dmCustom && !combine_) mode_ = dmOpaque;
}

bool TRasterizer::LeavesPixel(TColor32 C) const {
  switch (mode_) {
    case dmBlend:
      return (C >> 24) == 0;
    case dmTransparent:
      return C == transparentColor_;
    case dmOpaque:
    case dmCustom:
      break;
  }
  return false;
}

void TRasterizer::AssignRow(const TColor32* Samples, TColor32* Row, int Count) const {
  switch (mode_) {
    case dmOpaque:
      for (int i = 0; i < Count; ++i) Row[i] = Samples[i];
      break;
    case dmBlend: {
      // Alpha 0 leaves the pixel by the rule itself; skipping the call is the same. The
      // reference is called inline when it is the chosen one.
      const auto blend = BlendFuncs().BlendPixelMaster;
      if (blend == ScalarBlendFuncs().BlendPixelMaster) {
        for (int i = 0; i < Count; ++i)
          if (Samples[i] >> 24) scalar::BlendPixelMaster(Samples[i], Row[i], srcAlpha_);
      } else {
        for (int i = 0; i < Count; ++i)
          if (Samples[i] >> 24) blend(Samples[i], Row[i], srcAlpha_);
      }
      break;
    }
    case dmTransparent:
      for (int i = 0; i < Count; ++i)
        if (Samples[i] != transparentColor_) Row[i] = Samples[i];
      break;
    case dmCustom:
      for (int i = 0; i < Count; ++i) combine_(Samples[i], Row[i], srcAlpha_);
      break;
  }
}

TRect TRasterizer::WorkRect(const TCustomBitmap32& Dst, const TRect& DstRect) const {
  // Always inside the bitmap: the rows are written without bounds tests, and a caller's
  // rectangle may reach past them.
  TRect r = Intersect(DstRect, Dst.BoundsRect());
  if (sampler_->HasBounds()) {
    const TFloatRect b = sampler_->SampleBounds();
    const TRect outward{FloorToInt(b.Left), FloorToInt(b.Top), CeilToInt(b.Right),
                        CeilToInt(b.Bottom)};
    r = Intersect(r, outward);
  }
  return r;
}

void TRasterizer::Rasterize(TCustomBitmap32& Dst, const TRect& DstRect) {
  struct SamplingRun {
    TCustomSampler& S;
    TCustomBitmap32& D;
    int Updates;
    ~SamplingRun() {
      // Brackets opened on Dst during the run are closed again, also on failure.
      while (D.UpdateCount() > Updates) D.EndUpdate();
      S.EndSampling();
    }
  };
  sampler_->BeginSampling();
  SamplingRun run{*sampler_, Dst, Dst.UpdateCount()};
  const TRect r = WorkRect(Dst, DstRect);
  if (r.IsEmpty()) return;
  DoRasterize(Dst, r);
}

void TRegularRasterizer::DoRasterize(TCustomBitmap32& Dst, const TRect& R) {
  TColor32 samples[kRowChunk];
  int rowsSinceUpdate = 0;
  int firstPending = R.Top;
  for (int y = R.Top; y < R.Bottom; ++y) {
    TColor32* row = Dst.ScanLine(y);
    for (int x = R.Left; x < R.Right; x += kRowChunk) {
      const int n = R.Right - x < kRowChunk ? R.Right - x : kRowChunk;
      const TSampleSpan span = sampler_->SampleRow(x, y, n, samples);
      if (span.Known && LeavesPixel(span.Outside)) {
        // Outside the span every sample would leave its pixel as it is.
        if (span.First <= span.Last)
          AssignRow(samples + span.First, row + x + span.First, span.Last - span.First + 1);
      } else {
        AssignRow(samples, row + x, n);
      }
    }
    if (UpdateRowCount > 0 && ++rowsSinceUpdate == UpdateRowCount) {
      Dst.AreaChanged({R.Left, firstPending, R.Right, y + 1});
      rowsSinceUpdate = 0;
      firstPending = y + 1;
    }
  }
  if (firstPending < R.Bottom) Dst.AreaChanged({R.Left, firstPending, R.Right, R.Bottom});
}

// ---- DrawTransformed ---------------------------------------------------------------------

void DrawTransformed(TCustomBitmap32& Dst, TCustomBitmap32& Src, TTransformation& T) {
  TRegularRasterizer rasterizer;
  const TRect dstRect = Intersect(Dst.BoundsRect(), Dst.ClipRect());
  // A destination without pixels ends here, before anything is notified.
  if (dstRect.IsEmpty()) return;
  if (!Dst.MeasuringMode()) {
    TTransformer transformer(&Src.Resampler(), &T);
    rasterizer.SetSampler(&transformer);
    rasterizer.AssignCombineFrom(Src);
    rasterizer.Rasterize(Dst, dstRect);
  }
  Dst.AreaChanged(dstRect);
}

TRect TransformedArea(const TCustomBitmap32& Dst, TCustomBitmap32& Src, TTransformation& T) {
  const TRect dstRect = Intersect(Dst.BoundsRect(), Dst.ClipRect());
  if (dstRect.IsEmpty() || Dst.MeasuringMode()) return {};
  TTransformer transformer(&Src.Resampler(), &T);
  TRegularRasterizer rasterizer;
  rasterizer.SetSampler(&transformer);
  transformer.BeginSampling();
  struct TEnd {
    TTransformer& S;
    ~TEnd() { S.EndSampling(); }
  } end{transformer};
  const TRect r = rasterizer.WorkRect(Dst, dstRect);
  return r.IsEmpty() ? TRect{} : r;
}

}  // namespace kelta::gfx
