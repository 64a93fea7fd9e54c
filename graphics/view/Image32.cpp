#include "graphics/view/Image32.h"

#include "graphics/core/Draw.h"

#include <QImage>
#include <QPainter>

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

TImage32::TImage32(QWidget* Parent) : QWidget(Parent), Layers_(this) {
  // The whole area is painted from the buffer; Qt need not clear it first.
  setAttribute(Qt::WA_OpaquePaintEvent);
  PaintStages_ = {
      {true, true, PST_CLEAR_BACKGND, 0},         {true, false, PST_CONTROL_FRAME, 0},
      {true, true, PST_DRAW_BITMAP, 0},           {true, false, PST_BITMAP_FRAME, 0},
      {true, true, PST_DRAW_LAYERS, LOB_VISIBLE},
  };
  Bitmap_.OnChange = [this](TNotifiablePersistent&) { Changed(); };
  Bitmap_.OnAreaChanged = [this](TCustomBitmap32&, const TRect&) { Changed(); };
  Bitmap_.OnResize = [this](TCustomBitmap32&) { BitmapResized(); };
}

TImage32::~TImage32() {
  Bitmap_.OnChange = nullptr;
  Bitmap_.OnAreaChanged = nullptr;
  Bitmap_.OnResize = nullptr;
  OnChange = nullptr;
  Layers_.Clear();
}

void TImage32::SetBitmapAlign(TBitmapAlign V) {
  if (V == BitmapAlign_) return;
  BitmapAlign_ = V;
  InvalidateCache();
  Changed();
}

void TImage32::SetScaleMode(TScaleMode V) {
  if (V == ScaleMode_) return;
  ScaleMode_ = V;
  InvalidateCache();
  ApplyAutoSize();
  Changed();
}

void TImage32::SetScale(float V) { SetScaleXY(V, V); }

void TImage32::SetScaleXY(float X, float Y) {
  // Non-positive or non-finite factors would give no picture at all; keep them out.
  if (!(X > 0.001f) || !std::isfinite(X)) X = 0.001f;
  if (!(Y > 0.001f) || !std::isfinite(Y)) Y = 0.001f;
  if (X == ScaleX_ && Y == ScaleY_) return;
  ScaleX_ = X;
  ScaleY_ = Y;
  InvalidateCache();
  ApplyAutoSize();
  Changed();
}

void TImage32::SetOffset(float X, float Y) {
  if (X == OffsetX_ && Y == OffsetY_) return;
  OffsetX_ = X;
  OffsetY_ = Y;
  InvalidateCache();
  Changed();
}

void TImage32::SetAutoSize(bool V) {
  if (V == AutoSize_) return;
  AutoSize_ = V;
  ApplyAutoSize();
}

void TImage32::SetColor(TWinColor V) {
  if (V == Color_) return;
  Color_ = V;
  Invalidate();
}

void TImage32::EndUpdate() {
  if (UpdateCount_ <= 0) throw EAssertionFailed("Unpaired EndUpdate call");
  --UpdateCount_;
}

void TImage32::Changed() {
  if (UpdateCount_ != 0) return;
  Invalidate();
  if (OnChange) OnChange(*this);
}

void TImage32::Invalidate() {
  BufferValid_ = false;
  update();
}

void TImage32::Repaint() {
  Invalidate();
  repaint();
}

void TImage32::UpdateCache() {
  // A hidden widget gets its resize events only when shown, so the size is checked here.
  const int w = width(), h = height();
  if (CacheValid_ && w == CachedWidth_ && h == CachedHeight_) return;
  CachedWidth_ = w;
  CachedHeight_ = h;
  int sw = 0, sh = 0;
  if (!Bitmap_.Empty() && w > 0 && h > 0) {
    if (ScaleMode_ == smScale) {
      sw = SaturatedInt(std::nearbyint(static_cast<double>(Bitmap_.Width()) * ScaleX_));
      sh = SaturatedInt(std::nearbyint(static_cast<double>(Bitmap_.Height()) * ScaleY_));
    } else {
      // The other stretching modes are not used by this system; they show 1 : 1.
      sw = Bitmap_.Width();
      sh = Bitmap_.Height();
    }
    sw = sw < 0 ? 0 : sw;
    sh = sh < 0 ? 0 : sh;
  }
  TRect p{0, 0, sw, sh};
  if (sw > 0 && sh > 0) {
    int dx = 0, dy = 0;
    if (BitmapAlign_ == baCenter) {
      dx = (w - sw) / 2;  // division truncates toward zero, as the placement wants
      dy = (h - sh) / 2;
    } else if (BitmapAlign_ == baCustom) {
      dx = SaturatedInt(std::nearbyint(OffsetX_));
      dy = SaturatedInt(std::nearbyint(OffsetY_));
    }
    p = {dx, dy, SaturatedInt(static_cast<double>(dx) + sw),
         SaturatedInt(static_cast<double>(dy) + sh)};
    ShiftX_ = static_cast<float>(p.Left);
    ShiftY_ = static_cast<float>(p.Top);
    CachedScaleX_ = static_cast<float>(sw) / static_cast<float>(Bitmap_.Width());
    CachedScaleY_ = static_cast<float>(sh) / static_cast<float>(Bitmap_.Height());
  } else {
    p = {0, 0, 0, 0};
    ShiftX_ = ShiftY_ = 0;
    CachedScaleX_ = CachedScaleY_ = 1;
  }
  RecipScaleX_ = 1 / CachedScaleX_;
  RecipScaleY_ = 1 / CachedScaleY_;
  CachedPlaced_ = p;
  CacheValid_ = true;
}

TRect TImage32::PlacedBitmapRect() {
  UpdateCache();
  return CachedPlaced_;
}

TPoint TImage32::ViewToBitmap(TPoint P) {
  UpdateCache();
  return {SaturatedInt(std::trunc((static_cast<float>(P.X) - ShiftX_) * RecipScaleX_)),
          SaturatedInt(std::trunc((static_cast<float>(P.Y) - ShiftY_) * RecipScaleY_))};
}

void TImage32::GetBitmapScale(float& X, float& Y) {
  UpdateCache();
  X = CachedScaleX_;
  Y = CachedScaleY_;
}

void TImage32::GetBitmapShift(float& X, float& Y) {
  UpdateCache();
  X = ShiftX_;
  Y = ShiftY_;
}

void TImage32::ApplyAutoSize() {
  if (!AutoSize_) return;
  int sw = Bitmap_.Width(), sh = Bitmap_.Height();
  if (ScaleMode_ == smScale) {
    sw = SaturatedInt(std::nearbyint(static_cast<double>(sw) * ScaleX_));
    sh = SaturatedInt(std::nearbyint(static_cast<double>(sh) * ScaleY_));
  }
  if (sw > 0 && sh > 0 && (sw != width() || sh != height())) resize(sw, sh);  // left and top stay
}

void TImage32::BitmapResized() {
  ApplyAutoSize();
  InvalidateCache();
  Invalidate();
}

void TImage32::resizeEvent(QResizeEvent* Event) {
  QWidget::resizeEvent(Event);
  InvalidateCache();
  Invalidate();
}

void TImage32::ClearBackground() {
  const TColor32 c = WinColor(Color_);
  const int w = width(), h = height();
  if (Bitmap_.Empty() || Bitmap_.DrawMode() != dmOpaque) {
    Buffer_.Fill(c);
    return;
  }
  const TRect p = CachedPlaced_;
  if ((p.Left <= 0 && p.Right >= w && p.Top <= 0 && p.Bottom >= h) || BitmapAlign_ == baTile)
    return;
  auto band = [&](TRect R) {
    R = Intersect(R, Buffer_.ClipRect());
    for (int y = R.Top; y < R.Bottom; ++y)
      for (int x = R.Left; x < R.Right; ++x) Buffer_.SetPixel(x, y, c);
  };
  band({0, 0, w, p.Top});
  band({0, p.Bottom, w, h});
  band({0, p.Top, p.Left, p.Bottom});
  band({p.Right, p.Top, w, p.Bottom});
}

void TImage32::DrawBitmap() {
  const TRect p = CachedPlaced_;
  if (Bitmap_.Empty() || p.IsEmpty()) return;
  struct TLockGuard {
    TBitmap32& B;
    ~TLockGuard() { B.Unlock(); }
  };
  Bitmap_.Lock();
  TLockGuard guard{Bitmap_};
  StretchDraw(&Buffer_, p, Buffer_.ClipRect(), &Bitmap_, Bitmap_.BoundsRect(), Bitmap_.Resampler(),
              Bitmap_.DrawMode(), Bitmap_.OnPixelCombine);
}

void TImage32::DrawLayers(std::uint32_t Mask) {
  for (int i = 0; i < Layers_.Count(); ++i) {
    TCustomLayer& l = Layers_.Items(i);
    if (l.LayerOptions() & Mask) l.Paint(Buffer_);
  }
}

void TImage32::ComposeBuffer() {
  if (BufferValid_ && Buffer_.Width() == width() && Buffer_.Height() == height()) return;
  Buffer_.Resize(width(), height());
  UpdateCache();
  // Every stage keeps to the buffer's clip rectangle and works pixel by pixel, so the
  // frame can be composed in bands of rows: each band stays in cache from the bitmap copy
  // through the layer blends instead of the whole frame being streamed once per stage.
  const TRect view = ViewportRect();
  for (int top = view.Top; top < view.Bottom; top += kBandRows) {
    Buffer_.SetClipRect({view.Left, top, view.Right, std::min(top + kBandRows, view.Bottom)});
    RunPaintStages();
  }
  Buffer_.SetClipRect(view);
  BufferValid_ = true;
}

void TImage32::RunPaintStages() {
  for (const TPaintStage& s : PaintStages_) {
    if (!s.RunTime) continue;
    switch (s.Stage) {
      case PST_CLEAR_BUFFER:
        Buffer_.Fill(WinColor(Color_));
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

void TImage32::paintEvent(QPaintEvent*) {
  ComposeBuffer();
  if (Buffer_.Empty()) return;
  // RGB32 ignores the alpha byte: the frame reaches the screen opaque.
  const QImage frame(reinterpret_cast<const uchar*>(Buffer_.Bits()), Buffer_.Width(),
                     Buffer_.Height(), Buffer_.Width() * 4, QImage::Format_RGB32);
  QPainter painter(this);
  painter.drawImage(0, 0, frame);
}

}  // namespace kelta::gfx
