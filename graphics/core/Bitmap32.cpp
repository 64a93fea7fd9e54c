#include "graphics/core/Bitmap32.h"

#include "graphics/core/Resamplers.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <limits>
#include <new>

namespace kelta::gfx {

namespace {

// The view bitmap is refilled for every reading; a plain loop of 32-bit stores is several
// times slower than the library's block fill and copy.
void FillPixels(TColor32* P, std::size_t N, TColor32 Color) {
  if (N == 0) return;
  const std::uint32_t b = Color & 0xFFu;
  if (Color == b * 0x01010101u) {
    std::memset(P, static_cast<int>(b), N * sizeof(TColor32));
    return;
  }
  // Seed a short run, then copy ever longer runs from the start.
  const std::size_t seed = N < 16 ? N : 16;
  for (std::size_t i = 0; i < seed; ++i) P[i] = Color;
  for (std::size_t done = seed; done < N;) {
    const std::size_t step = done < N - done ? done : N - done;
    std::memcpy(P + done, P, step * sizeof(TColor32));
    done += step;
  }
}

}  // namespace

void TNotifiablePersistent::EndUpdate() {
  if (updateCount_ <= 0) throw EAssertionFailed("Unpaired TThreadPersistent.EndUpdate");
  --updateCount_;
}

void TNotifiablePersistent::Changed() {
  if (updateCount_ == 0 && OnChange) OnChange(*this);
}

TCustomBitmap32::TCustomBitmap32() : resampler_(std::make_unique<TNearestResampler>(*this)) {}

TCustomBitmap32::~TCustomBitmap32() {
  // Listeners may belong to an owner that is being torn down too; nobody hears this.
  OnChange = nullptr;
  OnAreaChanged = nullptr;
  OnResize = nullptr;
  bits_.clear();
  bits_.shrink_to_fit();
}

bool TCustomBitmap32::Resize(int NewWidth, int NewHeight) {
  if (NewWidth < 0) NewWidth = 0;
  if (NewHeight < 0) NewHeight = 0;
  if (NewWidth == width_ && NewHeight == height_) return false;

  if (NewWidth > kMaxSide || NewHeight > kMaxSide)
    throw EBitmapError("Can't allocate the DIB handle");
  std::vector<TColor32> fresh;
  const std::size_t count =
      static_cast<std::size_t>(NewWidth) * static_cast<std::size_t>(NewHeight);
  if (count > std::numeric_limits<std::size_t>::max() / sizeof(TColor32))
    throw EBitmapError("Can't allocate the DIB handle");
  try {
    fresh.assign(count, 0u);
  } catch (const std::bad_alloc&) {
    throw EBitmapError("Can't allocate the DIB handle");
  } catch (const std::length_error&) {
    throw EBitmapError("Can't allocate the DIB handle");
  }
  bits_.swap(fresh);
  width_ = NewWidth;
  height_ = NewHeight;
  ResetClipRect();
  Changed();
  if (OnResize) OnResize(*this);
  return true;
}

void TCustomBitmap32::Changed() {
  ++changeCount_;
  TNotifiablePersistent::Changed();
}

void TCustomBitmap32::ResetClipRect() { SetClipRect(BoundsRect()); }

void TCustomBitmap32::SetClipRect(const TRect& R) {
  TRect c = Intersect(R, BoundsRect());
  if (c.IsEmpty()) c = {0, 0, 0, 0};
  clipRect_ = c;
  // Shifting by multiplication keeps negative edges defined; edges are within the bounds.
  fixedClipRect_ = {c.Left * 256, c.Top * 256, c.Right * 256, c.Bottom * 256};
  clipping_ = !(c == BoundsRect());
}

void TCustomBitmap32::Fill(TColor32 Color) {
  if (Empty()) return;
  if (!clipping_) {
    FillPixels(bits_.data(), bits_.size(), Color);
  } else {
    for (int y = clipRect_.Top; y < clipRect_.Bottom; ++y)
      FillPixels(ScanLine(y) + clipRect_.Left, static_cast<std::size_t>(clipRect_.Width()), Color);
  }
  Changed();
}

void TCustomBitmap32::ResetAlpha() {
  for (TColor32& p : bits_) p |= 0xFF000000u;
  Changed();
}

void TCustomBitmap32::CopyFrom(const TCustomBitmap32& Source) {
  if (&Source == this) return;
  BeginUpdate();
  try {
    Resize(Source.Width(), Source.Height());
    bits_ = Source.bits_;
    drawMode_ = Source.drawMode_;
    combineMode_ = Source.combineMode_;
    wrapMode_ = Source.wrapMode_;
    masterAlpha_ = Source.masterAlpha_;
    outerColor_ = Source.outerColor_;
    SetResamplerClassName(Source.ResamplerClassName());
    resampler_->AssignSettings(Source.Resampler());
  } catch (...) {
    EndUpdate();
    throw;
  }
  EndUpdate();
  Changed();
}

void TCustomBitmap32::CopyFromPicture(int PictureWidth, int PictureHeight,
                                      const std::function<void(TCustomBitmap32&)>& Draw) {
  BeginUpdate();
  try {
    Resize(PictureWidth, PictureHeight);
    if (!Empty()) {
      Fill(0xFFFFFFFFu);
      if (Draw) Draw(*this);
      ResetAlpha();
    }
  } catch (...) {
    EndUpdate();
    throw;
  }
  EndUpdate();
  Changed();
}

void TCustomBitmap32::SetDrawMode(TDrawMode V) {
  if (V == drawMode_) return;
  drawMode_ = V;
  Changed();
}

void TCustomBitmap32::SetCombineMode(TCombineMode V) {
  if (V == combineMode_) return;
  combineMode_ = V;
  Changed();
}

void TCustomBitmap32::SetWrapMode(TWrapMode V) {
  if (V == wrapMode_) return;
  wrapMode_ = V;
  Changed();
}

void TCustomBitmap32::SetMasterAlpha(int V) {
  const std::uint32_t clamped = V < 0 ? 0u : V > 255 ? 255u : static_cast<std::uint32_t>(V);
  if (clamped == masterAlpha_) return;
  masterAlpha_ = clamped;
  Changed();
}

void TCustomBitmap32::SetOuterColor(TColor32 V) {
  if (V == outerColor_) return;
  outerColor_ = V;
  Changed();
}

void TCustomBitmap32::SetResampler(std::unique_ptr<TCustomResampler> R) {
  if (!R || R.get() == resampler_.get()) return;
  resampler_ = std::move(R);
  Changed();
}

std::string TCustomBitmap32::ResamplerClassName() const { return resampler_->ClassName(); }

void TCustomBitmap32::SetResamplerClassName(const std::string& Name) {
  if (Name == resampler_->ClassName()) return;
  std::unique_ptr<TCustomResampler> r = CreateResampler(Name, *this);
  if (!r) throw EBitmapError("Unknown resampler class \"" + Name + "\"");
  SetResampler(std::move(r));
}

void TCustomBitmap32::AreaChanged(const TRect& Area) {
  if ((updateCount_ == 0 || measuringMode_) && OnAreaChanged) OnAreaChanged(*this, Area);
  if (!measuringMode_) Changed();
}

void ClearBorderAlpha(TCustomBitmap32& Bitmap, const TRect& Rect) {
  TRect r = Intersect(Rect, Bitmap.BoundsRect());
  const TRect& clip = Bitmap.ClipRect();
  if (r.Right <= r.Left || r.Bottom <= r.Top) return;
  if (!(r.Left < clip.Right && r.Top < clip.Bottom && r.Right > clip.Left && r.Bottom > clip.Top))
    return;
  --r.Right;
  --r.Bottom;
  for (int x = r.Left; x <= r.Right; ++x) {
    *Bitmap.PixelPtr(x, r.Top) &= 0x00FFFFFFu;
    *Bitmap.PixelPtr(x, r.Bottom) &= 0x00FFFFFFu;
  }
  for (int y = r.Top; y <= r.Bottom; ++y) {
    *Bitmap.PixelPtr(r.Left, y) &= 0x00FFFFFFu;
    *Bitmap.PixelPtr(r.Right, y) &= 0x00FFFFFFu;
  }
  Bitmap.Changed();
}

}  // namespace kelta::gfx
