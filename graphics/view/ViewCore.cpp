#include "graphics/view/ViewCore.h"

#include "graphics/core/Draw.h"

#include <algorithm>
#include <cmath>
#include <cstddef>
#include <cstdint>

namespace kelta::gfx {

namespace {

// Float to int for sizes and coordinates, saturated so extreme scales stay defined.
int SaturatedInt(double V) {
  if (!(V == V)) return 0;
  if (V >= 2147483647.0) return 2147483647;
  if (V <= -2147483648.0) return -2147483647 - 1;
  return static_cast<int>(V);
}

// More areas than this are merged into their bounding box: past a few the bookkeeping and the
// per-area overhead cost more than the pixels saved.
constexpr std::size_t kMaxInvalidAreas = 16;

bool Overlap(const TRect& A, const TRect& B) { return !Intersect(A, B).IsEmpty(); }

std::int64_t PixelCount(const TRect& R) {
  return static_cast<std::int64_t>(R.Width()) * R.Height();
}

TRect Bounds(const TRect& A, const TRect& B) {
  return {std::min(A.Left, B.Left), std::min(A.Top, B.Top), std::max(A.Right, B.Right),
          std::max(A.Bottom, B.Bottom)};
}

// Adds the part of R that none of Areas covers, keeping Areas disjoint: each pixel then is
// composed once. An area R overlaps is merged with it into their bounding box when that has
// no more pixels than the two together: a few larger areas compose faster than many slivers
// (each area costs its own setup in every band of rows).
void AddDisjoint(std::vector<TRect>& Areas, TRect R) {
  if (R.IsEmpty()) return;
  for (std::size_t i = 0; i < Areas.size();) {
    const TRect b = Bounds(Areas[i], R);
    if (Overlap(Areas[i], R) && PixelCount(b) <= PixelCount(Areas[i]) + PixelCount(R)) {
      R = b;
      Areas.erase(Areas.begin() + static_cast<std::ptrdiff_t>(i));
      i = 0;  // the larger R may now overlap areas it missed
      continue;
    }
    ++i;
  }
  std::vector<TRect> pieces{R}, next;
  for (const TRect& e : Areas) {
    next.clear();
    for (const TRect& p : pieces) {
      if (!Overlap(p, e)) {
        next.push_back(p);
        continue;
      }
      const int top = std::max(p.Top, e.Top), bottom = std::min(p.Bottom, e.Bottom);
      if (p.Top < top) next.push_back({p.Left, p.Top, p.Right, top});
      if (bottom < p.Bottom) next.push_back({p.Left, bottom, p.Right, p.Bottom});
      if (p.Left < e.Left) next.push_back({p.Left, top, e.Left, bottom});
      if (e.Right < p.Right) next.push_back({e.Right, top, p.Right, bottom});
    }
    pieces.swap(next);
    if (pieces.empty()) return;
  }
  Areas.insert(Areas.end(), pieces.begin(), pieces.end());
  if (Areas.size() <= kMaxInvalidAreas) return;
  TRect box = Areas.front();
  for (const TRect& a : Areas) box = Bounds(box, a);
  Areas.assign(1, box);
}

}  // namespace

ViewCore::ViewCore() : layers_(this) {
  paintStages_ = {
      {true, true, PST_CLEAR_BACKGND, 0},         {true, false, PST_CONTROL_FRAME, 0},
      {true, true, PST_DRAW_BITMAP, 0},           {true, false, PST_BITMAP_FRAME, 0},
      {true, true, PST_DRAW_LAYERS, LOB_VISIBLE},
  };
  bitmap_.OnChange = [this](TNotifiablePersistent&) { BitmapChanged(); };
  bitmap_.OnAreaChanged = [this](TCustomBitmap32&, const TRect&) { BitmapChanged(); };
  bitmap_.OnResize = [this](TCustomBitmap32&) { BitmapResized(); };
}

ViewCore::~ViewCore() {
  bitmap_.OnChange = nullptr;
  bitmap_.OnAreaChanged = nullptr;
  bitmap_.OnResize = nullptr;
  layers_.Clear();
}

void ViewCore::SetBitmapAlign(TBitmapAlign V) {
  if (V == bitmapAlign_) return;
  bitmapAlign_ = V;
  InvalidateCache();
  Changed();
}

void ViewCore::SetScaleMode(TScaleMode V) {
  if (V == scaleMode_) return;
  scaleMode_ = V;
  InvalidateCache();
  ApplyAutoSize();
  Changed();
}

void ViewCore::SetScale(float V) { SetScaleXY(V, V); }

void ViewCore::SetScaleXY(float X, float Y) {
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

void ViewCore::SetOffset(float X, float Y) {
  if (X == offsetX_ && Y == offsetY_) return;
  offsetX_ = X;
  offsetY_ = Y;
  InvalidateCache();
  Changed();
}

void ViewCore::SetAutoSize(bool V) {
  if (V == autoSize_) return;
  autoSize_ = V;
  ApplyAutoSize();
}

void ViewCore::SetColor(TWinColor V) {
  if (V == color_) return;
  color_ = V;
  Invalidate();
}

void ViewCore::EndUpdate() {
  if (updateCount_ <= 0) throw EAssertionFailed("Unpaired EndUpdate call");
  --updateCount_;
}

void ViewCore::Changed() {
  if (updateCount_ != 0) {
    heldChange_ = true;
    return;
  }
  Invalidate();
  DoChange();
}

void ViewCore::BitmapChanged() {
  if (updateCount_ != 0) return;
  Changed();
}

void ViewCore::Invalidate() {
  bufferValid_ = false;
  heldChange_ = false;
  invalidAreas_.clear();
  RequestPaint();
}

void ViewCore::InvalidateBitmapArea(const TRect& Area) {
  if (!bufferValid_) {
    RequestPaint();
    return;
  }
  UpdateCache();
  if (heldChange_ || bitmapAlign_ == baTile || cachedScaleX_ != 1 || cachedScaleY_ != 1) {
    Invalidate();
    return;
  }
  // At scale 1 a bitmap pixel shows as exactly one view pixel, moved by the placement.
  const TRect a = Intersect(Area, bitmap_.BoundsRect());
  if (a.IsEmpty()) return;
  const TRect p = cachedPlaced_;
  const TRect shown = Intersect(
      {a.Left + p.Left, a.Top + p.Top, a.Right + p.Left, a.Bottom + p.Top}, ViewportRect());
  if (shown.IsEmpty()) return;
  AddDisjoint(invalidAreas_, shown);
  RequestAreaPaint(shown);
}

void ViewCore::Repaint() {
  Invalidate();
  PaintNow();
}

void ViewCore::SetViewSize(int Width, int Height) {
  Width = std::max(Width, 0);
  Height = std::max(Height, 0);
  if (Width == viewWidth_ && Height == viewHeight_) return;
  viewWidth_ = Width;
  viewHeight_ = Height;
  ViewResized();
}

void ViewCore::ViewResized() {
  InvalidateCache();
  Invalidate();
}

void ViewCore::UpdateCache() {
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

TRect ViewCore::PlacedBitmapRect() {
  UpdateCache();
  return cachedPlaced_;
}

TPoint ViewCore::ViewToBitmap(TPoint P) {
  UpdateCache();
  return {SaturatedInt(std::trunc((static_cast<float>(P.X) - shiftX_) * recipScaleX_)),
          SaturatedInt(std::trunc((static_cast<float>(P.Y) - shiftY_) * recipScaleY_))};
}

void ViewCore::GetBitmapScale(float& X, float& Y) {
  UpdateCache();
  X = cachedScaleX_;
  Y = cachedScaleY_;
}

void ViewCore::GetBitmapShift(float& X, float& Y) {
  UpdateCache();
  X = shiftX_;
  Y = shiftY_;
}

void ViewCore::ApplyAutoSize() {
  if (!autoSize_) return;
  int sw = bitmap_.Width(), sh = bitmap_.Height();
  if (scaleMode_ == smScale) {
    sw = SaturatedInt(std::nearbyint(static_cast<double>(sw) * scaleX_));
    sh = SaturatedInt(std::nearbyint(static_cast<double>(sh) * scaleY_));
  }
  if (sw > 0 && sh > 0 && (sw != ViewWidth() || sh != ViewHeight())) SetViewSize(sw, sh);
}

void ViewCore::BitmapResized() {
  ApplyAutoSize();
  InvalidateCache();
  Invalidate();
}

void ViewCore::ClearBackground() {
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

void ViewCore::DrawBitmap() {
  const TRect p = cachedPlaced_;
  if (bitmap_.Empty() || p.IsEmpty()) return;
  struct LockGuard {
    TBitmap32& B;
    ~LockGuard() { B.Unlock(); }
  };
  bitmap_.Lock();
  LockGuard guard{bitmap_};
  StretchDraw(&buffer_, p, buffer_.ClipRect(), &bitmap_, bitmap_.BoundsRect(), bitmap_.Resampler(),
              bitmap_.DrawMode(), bitmap_.OnPixelCombine);
}

void ViewCore::DrawLayers(std::uint32_t Mask) {
  for (int i = 0; i < layers_.Count(); ++i) {
    TCustomLayer& l = layers_.Items(i);
    if (l.LayerOptions() & Mask) l.Paint(buffer_);
  }
}

void ViewCore::ComposeBuffer() {
  const int w = ViewWidth(), h = ViewHeight();
  const bool sized = buffer_.Width() == w && buffer_.Height() == h;
  if (bufferValid_ && sized && invalidAreas_.empty()) return;
  composedAreas_.clear();
  if (!bufferValid_ || !sized) {
    buffer_.Resize(w, h);
    composedAreas_.push_back(ViewportRect());
    heldChange_ = false;
  } else {
    composedAreas_.swap(invalidAreas_);
  }
  invalidAreas_.clear();
  UpdateCache();
  for (const TRect& a : composedAreas_) ComposeArea(a);
  buffer_.SetClipRect(ViewportRect());
  bufferValid_ = true;
  ++composeCount_;
}

void ViewCore::ComposeArea(const TRect& Area) {
  // Every stage keeps to the buffer's clip rectangle and works pixel by pixel, each pixel
  // computed from the bitmap and the layers alone: so a part of the frame composed alone
  // is bit for bit that part of the whole frame, and the frame can be composed in bands of
  // rows: each band stays in cache from the bitmap copy through the layer blends instead of
  // the whole frame being streamed once per stage.
  const TRect a = Intersect(Area, ViewportRect());
  for (int top = a.Top; top < a.Bottom; top += kBandRows) {
    buffer_.SetClipRect({a.Left, top, a.Right, std::min(top + kBandRows, a.Bottom)});
    RunPaintStages();
  }
}

void ViewCore::RunPaintStages() {
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
