#include "graphics/view/ViewCore.h"

#include "graphics/core/Draw.h"

#include <algorithm>
#include <cmath>

namespace kelta::gfx {

namespace {

// Float to int for sizes and coordinates, saturated so extreme scales stay defined.
int SaturatedInt(double V) {
  if (!(V == V)) return 0;
  if (V >= 2147483647.0) return 2147483647;
  if (V <= -2147483648.0) return -2147483647 - 1;
  return static_cast<int>(V);
}

}  // namespace

TViewCore::TViewCore() : layers_(this) {
  paintStages_ = {
      {true, true, PST_CLEAR_BACKGND, 0},         {true, false, PST_CONTROL_FRAME, 0},
      {true, true, PST_DRAW_BITMAP, 0},           {true, false, PST_BITMAP_FRAME, 0},
      {true, true, PST_DRAW_LAYERS, LOB_VISIBLE},
  };
  bitmap_.OnChange = [this](TNotifiablePersistent&) { Changed(); };
  bitmap_.OnAreaChanged = [this](TCustomBitmap32&, const TRect&) { Changed(); };
  bitmap_.OnResize = [this](TCustomBitmap32&) { BitmapResized(); };
}

TViewCore::~TViewCore() {
  bitmap_.OnChange = nullptr;
  bitmap_.OnAreaChanged = nullptr;
  bitmap_.OnResize = nullptr;
  layers_.Clear();
}

void TViewCore::SetBitmapAlign(TBitmapAlign V) {
  if (V == bitmapAlign_) return;
  bitmapAlign_ = V;
  InvalidateCache();
  Changed();
}

void TViewCore::SetScaleMode(TScaleMode V) {
  if (V == scaleMode_) return;
  scaleMode_ = V;
  InvalidateCache();
  ApplyAutoSize();
  Changed();
}

void TViewCore::SetScale(float V) { SetScaleXY(V, V); }

void TViewCore::SetScaleXY(float X, float Y) {
  // Non-positive or non-finite factors would give no picture at all; keep them out.
  if (!(X > 0.001f) || !std::isfinite(X)) X = 0.001f;
  if (!(Y > 0.001f) || !std::isfinite(Y)) Y = 0.001f;
  if (X == scaleX_ && Y == scaleY_) return;
  scaleX_ = X;
  scaleY_ = Y;
  InvalidateCache();
  ApplyAutoSize();
  Changed();
}

void TViewCore::SetOffset(float X, float Y) {
  if (X == offsetX_ && Y == offsetY_) return;
  offsetX_ = X;
  offsetY_ = Y;
  InvalidateCache();
  Changed();
}

void TViewCore::SetAutoSize(bool V) {
  if (V == autoSize_) return;
  autoSize_ = V;
  ApplyAutoSize();
}

void TViewCore::SetColor(TWinColor V) {
  if (V == color_) return;
  color_ = V;
  Invalidate();
}

void TViewCore::EndUpdate() {
  if (updateCount_ <= 0) throw EAssertionFailed("Unpaired EndUpdate call");
  --updateCount_;
}

void TViewCore::Changed() {
  if (updateCount_ != 0) return;
  Invalidate();
  DoChange();
}

void TViewCore::Invalidate() {
  bufferValid_ = false;
  RequestPaint();
}

void TViewCore::Repaint() {
  Invalidate();
  PaintNow();
}

void TViewCore::SetViewSize(int Width, int Height) {
  Width = std::max(Width, 0);
  Height = std::max(Height, 0);
  if (Width == viewWidth_ && Height == viewHeight_) return;
  viewWidth_ = Width;
  viewHeight_ = Height;
  ViewResized();
}

void TViewCore::ViewResized() {
  InvalidateCache();
  Invalidate();
}

void TViewCore::UpdateCache() {
  // The size is asked every time: a window may resize without telling the view (a hidden Qt
  // widget gets its resize events only when shown).
  const int w = ViewWidth(), h = ViewHeight();
  if (cacheValid_ && w == cachedWidth_ && h == cachedHeight_) return;
  cachedWidth_ = w;
  cachedHeight_ = h;
  int sw = 0, sh = 0;
  if (!bitmap_.Empty() && w > 0 && h > 0) {
    if (scaleMode_ == smScale) {
      sw = SaturatedInt(std::nearbyint(static_cast<double>(bitmap_.Width()) * scaleX_));
      sh = SaturatedInt(std::nearbyint(static_cast<double>(bitmap_.Height()) * scaleY_));
    } else {
      // The other stretching modes are not used by this system; they show 1 : 1.
      sw = bitmap_.Width();
      sh = bitmap_.Height();
    }
    sw = sw < 0 ? 0 : sw;
    sh = sh < 0 ? 0 : sh;
  }
  TRect p{0, 0, sw, sh};
  if (sw > 0 && sh > 0) {
    int dx = 0, dy = 0;
    if (bitmapAlign_ == baCenter) {
      dx = (w - sw) / 2;  // division truncates toward zero, as the placement wants
      dy = (h - sh) / 2;
    } else if (bitmapAlign_ == baCustom) {
      dx = SaturatedInt(std::nearbyint(offsetX_));
      dy = SaturatedInt(std::nearbyint(offsetY_));
    }
    p = {dx, dy, SaturatedInt(static_cast<double>(dx) + sw),
         SaturatedInt(static_cast<double>(dy) + sh)};
    shiftX_ = static_cast<float>(p.Left);
    shiftY_ = static_cast<float>(p.Top);
    cachedScaleX_ = static_cast<float>(sw) / static_cast<float>(bitmap_.Width());
    cachedScaleY_ = static_cast<float>(sh) / static_cast<float>(bitmap_.Height());
  } else {
    p = {0, 0, 0, 0};
    shiftX_ = shiftY_ = 0;
    cachedScaleX_ = cachedScaleY_ = 1;
  }
  recipScaleX_ = 1 / cachedScaleX_;
  recipScaleY_ = 1 / cachedScaleY_;
  cachedPlaced_ = p;
  cacheValid_ = true;
}

TRect TViewCore::PlacedBitmapRect() {
  UpdateCache();
  return cachedPlaced_;
}

TPoint TViewCore::ViewToBitmap(TPoint P) {
  UpdateCache();
  return {SaturatedInt(std::trunc((static_cast<float>(P.X) - shiftX_) * recipScaleX_)),
          SaturatedInt(std::trunc((static_cast<float>(P.Y) - shiftY_) * recipScaleY_))};
}

void TViewCore::GetBitmapScale(float& X, float& Y) {
  UpdateCache();
  X = cachedScaleX_;
  Y = cachedScaleY_;
}

void TViewCore::GetBitmapShift(float& X, float& Y) {
  UpdateCache();
  X = shiftX_;
  Y = shiftY_;
}

void TViewCore::ApplyAutoSize() {
  if (!autoSize_) return;
  int sw = bitmap_.Width(), sh = bitmap_.Height();
  if (scaleMode_ == smScale) {
    sw = SaturatedInt(std::nearbyint(static_cast<double>(sw) * scaleX_));
    sh = SaturatedInt(std::nearbyint(static_cast<double>(sh) * scaleY_));
  }
  if (sw > 0 && sh > 0 && (sw != ViewWidth() || sh != ViewHeight())) SetViewSize(sw, sh);
}

void TViewCore::BitmapResized() {
  ApplyAutoSize();
  InvalidateCache();
  Invalidate();
}

void TViewCore::ClearBackground() {
  const TColor32 c = WinColor(color_);
  const int w = ViewWidth(), h = ViewHeight();
  if (bitmap_.Empty() || bitmap_.DrawMode() != dmOpaque) {
    buffer_.Fill(c);
    return;
  }
  const TRect p = cachedPlaced_;
  if ((p.Left <= 0 && p.Right >= w && p.Top <= 0 && p.Bottom >= h) || bitmapAlign_ == baTile)
    return;
  auto band = [&](TRect R) {
    R = Intersect(R, buffer_.ClipRect());
    for (int y = R.Top; y < R.Bottom; ++y)
      for (int x = R.Left; x < R.Right; ++x) buffer_.SetPixel(x, y, c);
  };
  band({0, 0, w, p.Top});
  band({0, p.Bottom, w, h});
  band({0, p.Top, p.Left, p.Bottom});
  band({p.Right, p.Top, w, p.Bottom});
}

void TViewCore::DrawBitmap() {
  const TRect p = cachedPlaced_;
  if (bitmap_.Empty() || p.IsEmpty()) return;
  struct TLockGuard {
    TBitmap32& B;
    ~TLockGuard() { B.Unlock(); }
  };
  bitmap_.Lock();
  TLockGuard guard{bitmap_};
  StretchDraw(&buffer_, p, buffer_.ClipRect(), &bitmap_, bitmap_.BoundsRect(), bitmap_.Resampler(),
              bitmap_.DrawMode(), bitmap_.OnPixelCombine);
}

void TViewCore::DrawLayers(std::uint32_t Mask) {
  for (int i = 0; i < layers_.Count(); ++i) {
    TCustomLayer& l = layers_.Items(i);
    if (l.LayerOptions() & Mask) l.Paint(buffer_);
  }
}

void TViewCore::ComposeBuffer() {
  const int w = ViewWidth(), h = ViewHeight();
  if (bufferValid_ && buffer_.Width() == w && buffer_.Height() == h) return;
  buffer_.Resize(w, h);
  UpdateCache();
  // Every stage keeps to the buffer's clip rectangle and works pixel by pixel, so the
  // frame can be composed in bands of rows: each band stays in cache from the bitmap copy
  // through the layer blends instead of the whole frame being streamed once per stage.
  const TRect view = ViewportRect();
  for (int top = view.Top; top < view.Bottom; top += kBandRows) {
    buffer_.SetClipRect({view.Left, top, view.Right, std::min(top + kBandRows, view.Bottom)});
    RunPaintStages();
  }
  buffer_.SetClipRect(view);
  bufferValid_ = true;
}

void TViewCore::RunPaintStages() {
  for (const TPaintStage& s : paintStages_) {
    if (!s.RunTime) continue;
    switch (s.Stage) {
      case PST_CLEAR_BUFFER:
        buffer_.Fill(WinColor(color_));
        break;
      case PST_CLEAR_BACKGND:
        ClearBackground();
        break;
      case PST_DRAW_BITMAP:
        DrawBitmap();
        break;
      case PST_DRAW_LAYERS:
        DrawLayers(s.Parameter);
        break;
      case PST_CUSTOM:
      case PST_CONTROL_FRAME:
      case PST_BITMAP_FRAME:
        break;
    }
  }
}

}  // namespace kelta::gfx
