// Resampled transform: a transformer maps destination pixels back into the source and samples
// there; a rasterizer walks the destination and combines the samples by the source's settings.
//
// Threading: GUI thread only. A transformer and a rasterizer live for one DrawTransformed call.
#pragma once

#include "graphics/core/Bitmap32.h"
#include "graphics/core/Resamplers.h"
#include "graphics/core/Transformation.h"

#include <stdexcept>

namespace kelta::gfx {

class ENestedSamplerError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// Passes begin, end and bounds to an inner sampler it does not own.
class TNestedSampler : public TCustomSampler {
 public:
  explicit TNestedSampler(TCustomSampler* Sampler = nullptr) : sampler_(Sampler) {}

  void BeginSampling() override;
  void EndSampling() override;
  bool HasBounds() const override;
  TFloatRect SampleBounds() const override;

  TCustomSampler* Sampler() const { return sampler_; }
  void SetSampler(TCustomSampler* S) { sampler_ = S; }

 protected:
  TCustomSampler& Inner() const;

  TCustomSampler* sampler_;
};

class TTransformer : public TNestedSampler {
 public:
  TTransformer(TCustomSampler* Sampler, TTransformation* Transformation)
      : TNestedSampler(Sampler), transformation_(Transformation) {}

  // Inner sampler begins, then the transformation is prepared if its valid flag is clear.
  void BeginSampling() override;
  bool HasBounds() const override;
  // TransformedBounds(inner SampleBounds intersected with SrcRect).
  TFloatRect SampleBounds() const override;

  // The integer position itself is mapped (no half-pixel offset).
  TColor32 SampleAt(int X, int Y) override;
  TColor32 SampleFixed(TFixed X, TFixed Y) override;
  TColor32 SampleFloat(float X, float Y) override;
  TSampleSpan SampleRow(int X, int Y, int Count, TColor32* Out) override;

  TTransformation* Transformation() const { return transformation_; }

 private:
  TTransformation* transformation_;
  TAffineTransformation* affine_ = nullptr;
  TCustomResampler* resampler_ = nullptr;
};

class TRasterizer {
 public:
  virtual ~TRasterizer() = default;

  TCustomSampler* Sampler() const { return sampler_; }
  void SetSampler(TCustomSampler* S) { sampler_ = S; }

  // Source alpha, transparent colour and draw mode (dmCustom without a callback counts as
  // dmOpaque) from the drawn bitmap.
  void AssignCombineFrom(const TCustomBitmap32& Src);

  // Begins sampling, cuts DstRect to Dst's bounds and to the sampler's bounds (rounded
  // outward) when it has them, rasterizes, notifies Dst of the rasterized rows and ends
  // sampling.
  void Rasterize(TCustomBitmap32& Dst, const TRect& DstRect);

  // The rectangle Rasterize would walk (valid between begin and end of sampling).
  TRect WorkRect(const TCustomBitmap32& Dst, const TRect& DstRect) const;

 protected:
  virtual void DoRasterize(TCustomBitmap32& Dst, const TRect& R) = 0;
  // Combine Count samples into Row by the draw mode.
  void AssignRow(const TColor32* Samples, TColor32* Row, int Count) const;
  // True when a sample of value C leaves the destination pixel as it is.
  bool LeavesPixel(TColor32 C) const;

  TCustomSampler* sampler_ = nullptr;
  std::uint32_t srcAlpha_ = 255;
  TDrawMode mode_ = dmOpaque;
  TColor32 transparentColor_ = 0;
  TPixelCombineEvent combine_;
};

class TRegularRasterizer : public TRasterizer {
 public:
  // Rows between progress notifications (0: none).
  int UpdateRowCount = 0;

 protected:
  void DoRasterize(TCustomBitmap32& Dst, const TRect& R) override;
};

// Draws Src into Dst through T, combined by Src's settings (dmBlend: BlendPixelMaster with
// Src's MasterAlpha). Only the outward-rounded bounding box of the mapped source is walked.
void DrawTransformed(TCustomBitmap32& Dst, TCustomBitmap32& Src, TTransformation& T);

// The rectangle DrawTransformed(Dst, Src, T) would walk, so the only pixels it may change;
// empty when it would change none. Nothing is drawn.
TRect TransformedArea(const TCustomBitmap32& Dst, TCustomBitmap32& Src, TTransformation& T);

}  // namespace kelta::gfx
