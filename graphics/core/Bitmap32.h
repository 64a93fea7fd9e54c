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

  void BeginUpdate() { ++updateCount_; }
  // Fires nothing itself; an unpaired call raises EAssertionFailed
  // "Unpaired TThreadPersistent.EndUpdate" and changes nothing.
  void EndUpdate();
  int UpdateCount() const { return updateCount_; }

  // Fires OnChange unless an update bracket is open.
  virtual void Changed();

  std::function<void(TNotifiablePersistent& Sender)> OnChange;

 protected:
  int updateCount_ = 0;
};

using TPixelCombineEvent = std::function<void(TColor32 F, TColor32& B, std::uint32_t M)>;

class TCustomBitmap32 : public TNotifiablePersistent {
 public:
  TCustomBitmap32();
  ~TCustomBitmap32() override;
  TCustomBitmap32(const TCustomBitmap32&) = delete;
  TCustomBitmap32& operator=(const TCustomBitmap32&) = delete;

  int Width() const { return width_; }
  int Height() const { return height_; }
  bool Empty() const { return width_ == 0 || height_ == 0; }
  TRect BoundsRect() const { return {0, 0, width_, height_}; }

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
  std::uint64_t ChangeCount() const { return changeCount_; }
  void Changed() override;

  // Rows top to bottom, each Width() pixels, no gaps. nullptr when empty. The non-const
  // forms count as a change: the caller writes through them.
  TColor32* Bits() {
    ++changeCount_;
    return bits_.empty() ? nullptr : bits_.data();
  }
  const TColor32* Bits() const { return bits_.empty() ? nullptr : bits_.data(); }
  TColor32* ScanLine(int Y) {
    ++changeCount_;
    return bits_.data() + static_cast<std::size_t>(Y) * width_;
  }
  const TColor32* ScanLine(int Y) const {
    return bits_.data() + static_cast<std::size_t>(Y) * width_;
  }
  TColor32* PixelPtr(int X, int Y) { return ScanLine(Y) + X; }
  const TColor32* PixelPtr(int X, int Y) const { return ScanLine(Y) + X; }

  // Unchecked read and write; callers stay within bounds. Writing fires no event.
  TColor32 Pixel(int X, int Y) const { return *PixelPtr(X, Y); }
  void SetPixel(int X, int Y, TColor32 C) { *PixelPtr(X, Y) = C; }
  // OuterColor outside the clip rectangle.
  TColor32 PixelS(int X, int Y) const {
    if (X < clipRect_.Left || X >= clipRect_.Right || Y < clipRect_.Top || Y >= clipRect_.Bottom)
      return outerColor_;
    return Pixel(X, Y);
  }

  // Equal to the bounds unless narrowed; always kept inside the bounds.
  const TRect& ClipRect() const { return clipRect_; }
  void SetClipRect(const TRect& R);
  // Clip rectangle with every edge shifted left by 8, for the 24.8 readers.
  const TRect& FixedClipRect() const { return fixedClipRect_; }
  bool Clipping() const { return clipping_; }

  TDrawMode DrawMode() const { return drawMode_; }
  void SetDrawMode(TDrawMode V);
  TCombineMode CombineMode() const { return combineMode_; }
  void SetCombineMode(TCombineMode V);
  TWrapMode WrapMode() const { return wrapMode_; }
  void SetWrapMode(TWrapMode V);
  std::uint32_t MasterAlpha() const { return masterAlpha_; }
  // Clamped to 0..255.
  void SetMasterAlpha(int V);
  TColor32 OuterColor() const { return outerColor_; }
  void SetOuterColor(TColor32 V);
  TColor32 PenColor() const { return penColor_; }
  void SetPenColor(TColor32 V) { penColor_ = V; }
  float StippleStep() const { return stippleStep_; }
  void SetStippleStep(float V) { stippleStep_ = V; }
  bool MeasuringMode() const { return measuringMode_; }
  void SetMeasuringMode(bool V) { measuringMode_ = V; }

  // Per-pixel combine for dmCustom; unset means dmCustom acts as dmOpaque.
  TPixelCombineEvent OnPixelCombine;

  TCustomResampler& Resampler() const { return *resampler_; }
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
    lock_.lock();
    ++lockCount_;
  }
  void Unlock() {
    --lockCount_;
    lock_.unlock();
  }
  int LockCount() const { return lockCount_; }

 private:
  void ResetClipRect();

  int width_ = 0;
  int height_ = 0;
  std::vector<TColor32> bits_;
  TRect clipRect_;
  TRect fixedClipRect_;
  bool clipping_ = false;
  TDrawMode drawMode_ = dmOpaque;
  TCombineMode combineMode_ = cmBlend;
  TWrapMode wrapMode_ = wmClamp;
  std::uint32_t masterAlpha_ = 255;
  TColor32 outerColor_ = 0x00000000;
  TColor32 penColor_ = 0xFFFFFFFF;
  float stippleStep_ = 1.0f;
  bool measuringMode_ = false;
  std::unique_ptr<TCustomResampler> resampler_;
  std::recursive_mutex lock_;
  int lockCount_ = 0;
  std::uint64_t changeCount_ = 0;
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
