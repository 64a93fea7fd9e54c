// TBitmap32: a width x height array of TColor32 with the drawing settings the dial rendering
// uses, its owned resampler and change notification.
//
// Threading: GUI thread only. Lock()/Unlock() bracket whole-bitmap reads by drawing code; no
// second thread touches a bitmap in this system, the lock only keeps that bracket honest.
#pragma once

#include "graphics/core/Color32.h"
#include "graphics/core/Geometry.h"

#include <cstddef>
#include <functional>
#include <memory>
#include <mutex>
#include <stdexcept>
#include <string>
#include <vector>

namespace kelta::gfx {

class TCustomResampler;

enum TDrawMode { dmOpaque = 0, dmBlend = 1, dmCustom = 2, dmTransparent = 3 };
enum TCombineMode { cmBlend = 0, cmMerge = 1 };
enum TWrapMode { wmClamp = 0, wmRepeat = 1, wmMirror = 2 };

// Storage and other bitmap failures; the message is the fixed text.
class EBitmapError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// A broken usage rule (an unpaired EndUpdate): a programming error, raised so that the
// application-wide handler reports it instead of the program ending.
class EAssertionFailed : public std::logic_error {
 public:
  using std::logic_error::logic_error;
};

// Update counter and change event shared by bitmaps and samplers.
class TNotifiablePersistent {
 public:
  virtual ~TNotifiablePersistent() = default;

  void BeginUpdate() { ++UpdateCount_; }
  // Fires nothing itself; an unpaired call raises EAssertionFailed
  // "Unpaired TThreadPersistent.EndUpdate" and changes nothing.
  void EndUpdate();
  int UpdateCount() const { return UpdateCount_; }

  // Fires OnChange unless an update bracket is open.
  virtual void Changed();

  std::function<void(TNotifiablePersistent& Sender)> OnChange;

 protected:
  int UpdateCount_ = 0;
};

using TPixelCombineEvent = std::function<void(TColor32 F, TColor32& B, std::uint32_t M)>;

class TCustomBitmap32 : public TNotifiablePersistent {
 public:
  TCustomBitmap32();
  ~TCustomBitmap32() override;
  TCustomBitmap32(const TCustomBitmap32&) = delete;
  TCustomBitmap32& operator=(const TCustomBitmap32&) = delete;

  int Width() const { return Width_; }
  int Height() const { return Height_; }
  bool Empty() const { return Width_ == 0 || Height_ == 0; }
  TRect BoundsRect() const { return {0, 0, Width_, Height_}; }

  // Largest side: edges times 256 (the 24.8 readers) must stay within an int.
  static constexpr int kMaxSide = 0x7FFFFF;

  // Negative sizes count as 0. New storage is all zero. Returns false when the size is
  // unchanged (then nothing happens); otherwise fires the change, then the resize event.
  // A side above kMaxSide or storage that cannot be had raises "Can't allocate the DIB
  // handle" and leaves the bitmap as it was.
  bool Resize(int NewWidth, int NewHeight);
  void SetSize(int NewWidth, int NewHeight) { Resize(NewWidth, NewHeight); }

  // Every pixel of the clip rectangle; nothing (and no event) for an empty bitmap.
  void Fill(TColor32 Color);
  // Alpha 255 everywhere, colour kept.
  void ResetAlpha();
  // Size, pixels and drawing settings of Source (resampler class and its settings too), one
  // change event at the end.
  void CopyFrom(const TCustomBitmap32& Source);
  // The window-system-picture form: resize, fill opaque white, let Draw paint the picture
  // into the (0, 0, W, H) area of this bitmap, then ResetAlpha; one change event at the end.
  // Draw is not called for an empty size. If Draw throws, the bracket is closed and the
  // exception passes on.
  void CopyFromPicture(int PictureWidth, int PictureHeight,
                       const std::function<void(TCustomBitmap32& Target)>& Draw);

  // Bumped by every call that may change the pixels or the settings, whether or not an
  // event fires (inside an update bracket, SetPixel, the pixel pointers handed out for
  // writing): what a cache of the contents compares to see that it is out of date.
  std::uint64_t ChangeCount() const { return ChangeCount_; }
  void Changed() override;

  // Rows top to bottom, each Width() pixels, no gaps. nullptr when empty. The non-const
  // forms count as a change: the caller writes through them.
  TColor32* Bits() {
    ++ChangeCount_;
    return Bits_.empty() ? nullptr : Bits_.data();
  }
  const TColor32* Bits() const { return Bits_.empty() ? nullptr : Bits_.data(); }
  TColor32* ScanLine(int Y) {
    ++ChangeCount_;
    return Bits_.data() + static_cast<std::size_t>(Y) * Width_;
  }
  const TColor32* ScanLine(int Y) const {
    return Bits_.data() + static_cast<std::size_t>(Y) * Width_;
  }
  TColor32* PixelPtr(int X, int Y) { return ScanLine(Y) + X; }
  const TColor32* PixelPtr(int X, int Y) const { return ScanLine(Y) + X; }

  // Unchecked read and write; callers stay within bounds. Writing fires no event.
  TColor32 Pixel(int X, int Y) const { return *PixelPtr(X, Y); }
  void SetPixel(int X, int Y, TColor32 C) { *PixelPtr(X, Y) = C; }
  // OuterColor outside the clip rectangle.
  TColor32 PixelS(int X, int Y) const {
    if (X < ClipRect_.Left || X >= ClipRect_.Right || Y < ClipRect_.Top || Y >= ClipRect_.Bottom)
      return OuterColor_;
    return Pixel(X, Y);
  }

  // Equal to the bounds unless narrowed; always kept inside the bounds.
  const TRect& ClipRect() const { return ClipRect_; }
  void SetClipRect(const TRect& R);
  // Clip rectangle with every edge shifted left by 8, for the 24.8 readers.
  const TRect& FixedClipRect() const { return FixedClipRect_; }
  bool Clipping() const { return Clipping_; }

  TDrawMode DrawMode() const { return DrawMode_; }
  void SetDrawMode(TDrawMode V);
  TCombineMode CombineMode() const { return CombineMode_; }
  void SetCombineMode(TCombineMode V);
  TWrapMode WrapMode() const { return WrapMode_; }
  void SetWrapMode(TWrapMode V);
  std::uint32_t MasterAlpha() const { return MasterAlpha_; }
  // Clamped to 0..255.
  void SetMasterAlpha(int V);
  TColor32 OuterColor() const { return OuterColor_; }
  void SetOuterColor(TColor32 V);
  TColor32 PenColor() const { return PenColor_; }
  void SetPenColor(TColor32 V) { PenColor_ = V; }
  float StippleStep() const { return StippleStep_; }
  void SetStippleStep(float V) { StippleStep_ = V; }
  bool MeasuringMode() const { return MeasuringMode_; }
  void SetMeasuringMode(bool V) { MeasuringMode_ = V; }

  // Per-pixel combine for dmCustom; unset means dmCustom acts as dmOpaque.
  TPixelCombineEvent OnPixelCombine;

  TCustomResampler& Resampler() const { return *Resampler_; }
  // Takes ownership; the old resampler is destroyed. nullptr is ignored.
  void SetResampler(std::unique_ptr<TCustomResampler> R);
  std::string ResamplerClassName() const;
  // "TNearestResampler" or "TLinearResampler"; an unknown name throws EBitmapError and
  // keeps the current resampler.
  void SetResamplerClassName(const std::string& Name);

  // While the update counter is 0 (or in measuring mode) OnAreaChanged receives the
  // rectangle; then, unless measuring, the change event fires.
  void AreaChanged(const TRect& Area);

  std::function<void(TCustomBitmap32& Sender, const TRect& Area)> OnAreaChanged;
  std::function<void(TCustomBitmap32& Sender)> OnResize;

  void Lock() {
    Lock_.lock();
    ++LockCount_;
  }
  void Unlock() {
    --LockCount_;
    Lock_.unlock();
  }
  int LockCount() const { return LockCount_; }

 private:
  void ResetClipRect();

  int Width_ = 0;
  int Height_ = 0;
  std::vector<TColor32> Bits_;
  TRect ClipRect_;
  TRect FixedClipRect_;
  bool Clipping_ = false;
  TDrawMode DrawMode_ = dmOpaque;
  TCombineMode CombineMode_ = cmBlend;
  TWrapMode WrapMode_ = wmClamp;
  std::uint32_t MasterAlpha_ = 255;
  TColor32 OuterColor_ = 0x00000000;
  TColor32 PenColor_ = 0xFFFFFFFF;
  float StippleStep_ = 1.0f;
  bool MeasuringMode_ = false;
  std::unique_ptr<TCustomResampler> Resampler_;
  std::recursive_mutex Lock_;
  int LockCount_ = 0;
  std::uint64_t ChangeCount_ = 0;
};

// Storage is plain memory here; the view turns it into a screen image when it shows it.
class TBitmap32 : public TCustomBitmap32 {
 public:
  TBitmap32() = default;
  TBitmap32(int W, int H) { Resize(W, H); }
};

// Alpha 0 (colour kept) on the outermost pixel frame of Rect cut to the bitmap.
void ClearBorderAlpha(TCustomBitmap32& Bitmap, const TRect& Rect);

}  // namespace kelta::gfx
