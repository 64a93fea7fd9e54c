// Samplers and the two resamplers a bitmap can own: nearest-neighbour and bilinear with
// gamma-warped weights in 24.8 fixed point.
//
// Threading: GUI thread only; a resampler belongs to its bitmap.
#pragma once

#include "graphics/core/Bitmap32.h"

#include <array>
#include <cstdint>
#include <memory>
#include <string>

namespace kelta::gfx {

using TFixed = std::int32_t;  // 16.16

enum TPixelAccessMode { pamUnsafe = 0, pamSafe = 1, pamWrap = 2, pamTransparentEdge = 3 };

// WeightGamma[i] = round(255 * (i / 255)^0.7), filled once before first use.
const std::array<std::uint8_t, 256>& WeightGamma();

// What a row sampler knows about its row: every sample outside [First, Last] equals Outside
// (only when Known). Lets a rasterizer skip stretches that cannot change the destination.
struct TSampleSpan {
  int First = 0;
  int Last = -1;
  TColor32 Outside = 0;
  bool Known = false;
};

class TCustomSampler : public TNotifiablePersistent {
 public:
  // The defaults forward integer -> fixed -> float -> fixed; a sampler overrides at least
  // one of SampleFixed and SampleFloat.
  virtual TColor32 SampleAt(int X, int Y);
  virtual TColor32 SampleFixed(TFixed X, TFixed Y);
  virtual TColor32 SampleFloat(float X, float Y);
  virtual void BeginSampling() {}
  virtual void EndSampling() {}
  virtual bool HasBounds() const { return false; }
  virtual TFloatRect SampleBounds() const;

  // Count samples SampleAt(X + i, Y) into Out. Same results as the single calls; lets
  // samplers hoist per-run work out of the pixel loop.
  virtual TSampleSpan SampleRow(int X, int Y, int Count, TColor32* Out);
};

class TCustomResampler : public TCustomSampler {
 public:
  explicit TCustomResampler(TCustomBitmap32& Owner) : owner_(&Owner) {}

  virtual const char* ClassName() const = 0;
  // The "virtual constructor": a resampler of the same class for another bitmap.
  virtual std::unique_ptr<TCustomResampler> CreateFor(TCustomBitmap32& Owner) const = 0;
  virtual void AssignSettings(const TCustomResampler& From);
  virtual float KernelWidth() const { return 0; }

  // Stretch Src's SrcRect into DstRect of Dst, touching only DstClip, combined by the draw
  // mode (dmBlend: BlendPixelMaster with Src's MasterAlpha). Used only when sizes differ.
  virtual void Resample(TCustomBitmap32& Dst, const TRect& DstRect, const TRect& DstClip,
                        const TRect& SrcRect, TDrawMode Mode);

  // Count samples SampleFixed(U + i * DU, V + i * DV) (32-bit wrapping steps).
  virtual TSampleSpan SampleFixedRow(TFixed U, TFixed V, TFixed DU, TFixed DV, int Count,
                                     TColor32* Out);

  void BeginSampling() override;
  bool HasBounds() const override { return pixelAccessMode_ != pamWrap; }
  TFloatRect SampleBounds() const override;

  TPixelAccessMode PixelAccessMode() const { return pixelAccessMode_; }
  // Fires the owner bitmap's change event when the mode changes.
  void SetPixelAccessMode(TPixelAccessMode V);

  TCustomBitmap32& Bitmap() const { return *owner_; }
  const TRect& ClipRect() const { return clipRect_; }

 protected:
  TCustomBitmap32* owner_;
  TRect clipRect_;
  TPixelAccessMode pixelAccessMode_ = pamSafe;
};

class TNearestResampler : public TCustomResampler {
 public:
  using TCustomResampler::TCustomResampler;
  const char* ClassName() const override { return "TNearestResampler"; }
  std::unique_ptr<TCustomResampler> CreateFor(TCustomBitmap32& Owner) const override;
  float KernelWidth() const override { return 1; }

  TColor32 SampleAt(int X, int Y) override { return Read(X, Y); }
  TColor32 SampleFixed(TFixed X, TFixed Y) override;
  TColor32 SampleFloat(float X, float Y) override;
  TSampleSpan SampleFixedRow(TFixed U, TFixed V, TFixed DU, TFixed DV, int Count,
                             TColor32* Out) override;

 private:
  TColor32 Read(int X, int Y) const;
};

class TLinearResampler : public TCustomResampler {
 public:
  using TCustomResampler::TCustomResampler;
  const char* ClassName() const override { return "TLinearResampler"; }
  std::unique_ptr<TCustomResampler> CreateFor(TCustomBitmap32& Owner) const override;
  float KernelWidth() const override { return 1; }

  TColor32 SampleFixed(TFixed X, TFixed Y) override;
  TColor32 SampleFloat(float X, float Y) override;
  TSampleSpan SampleFixedRow(TFixed U, TFixed V, TFixed DU, TFixed DV, int Count,
                             TColor32* Out) override;
};

// A resampler of the named class for Owner; nullptr for an unknown name.
std::unique_ptr<TCustomResampler> CreateResampler(const std::string& ClassName,
                                                  TCustomBitmap32& Owner);

// 16.16 helpers shared by the transformation and the readers.
inline TFixed FixedMul(TFixed A, TFixed B) {
  // The 64-bit product shifted arithmetically, low 32 bits kept.
  return static_cast<TFixed>(static_cast<std::uint32_t>(
      static_cast<std::uint64_t>((static_cast<std::int64_t>(A) * B) >> 16)));
}
inline int FixedRound(TFixed V) {
  // Exact halves round down.
  return static_cast<std::int32_t>(static_cast<std::uint32_t>(V) + 32767u) >> 16;
}
// round(V * 65536), ties to even, saturated to the 32-bit range.
TFixed FloatToFixed(double V);

}  // namespace kelta::gfx
