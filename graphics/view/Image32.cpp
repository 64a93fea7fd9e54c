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

TImage32::TImage32(QWidget* Parent) : QWidget(Parent), layers_(this) {
  // The whole area is painted from the buffer; Qt need not clear it first.
  setAttribute(Qt::WA_OpaquePaintEvent);
  paintStages_ = {
      {true, true, PST_CLEAR_BACKGND, 0},         {true, false, PST_CONTROL_FRAME, 0},
      {true, true, PST_DRAW_BITMAP, 0},           {true, false, PST_BITMAP_FRAME, 0},
      {true, true, PST_DRAW_LAYERS, LOB_VISIBLE},
  };
  bitmap_.OnChange = [this](TNotifiablePersistent&) { Changed(); };
  bitmap_.OnAreaChanged = [this](TCustomBitmap32&, const TRect&) { Changed(); };
  bitmap_.OnResize = [this](TCustomBitmap32&) { BitmapResized(); };
}

TImage32::~TImage32() {
  bitmap_.OnChange = nullptr;
  bitmap_.OnAreaChanged = nullptr;
  bitmap_.OnResize = nullptr;
  OnChange = nullptr;
  layers_.Clear();
}

void TImage32::SetBitmapAlign(TBitmapAlign V) {
  if (V == bitmapAlign_) return;
  bitmapAlign_ = V;
  InvalidateCache();
  Changed();
}

void TImage32::SetScaleMode(TScaleMode V) {
  if (V == scaleMode_) return;
  scaleMode_ = V;
  InvalidateCache();
  ApplyAutoSize();
  Changed();
}

void TImage32::SetScale(float V) { SetScaleXY(V, V); }

void TImage32::SetScaleXY(float X, float Y) {
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

void TImage32::SetOffset(float X, float Y) {
  if (X == offsetX_ && Y == offsetY_) return;
  offsetX_ = X;
  offsetY_ = Y;
  InvalidateCache();
  Changed();
}

void TImage32::SetAutoSize(bool V) {
  if (V == autoSize_) return;
  autoSize_ = V;
  ApplyAutoSize();
}

void TImage32::SetColor(TWinColor V) {
  if (V == color_) return;
  color_ = V;
  Invalidate();
}

void TImage32::EndUpdate() {
  if (updateCount_ <= 0) throw EAssertionFailed("Unpaired EndUpdate call");
  --updateCount_;
}

void TImage32::Changed() {
  if (updateCount_ != 0) return;
  Invalidate();
  if (OnChange) OnChange(*this);
}

void TImage32::Invalidate() {
  bufferValid_ = false;
  update();
}

void TImage32::Repaint() {
  Invalidate();
  repaint();
}

void TImage32::UpdateCache() {
  // A hidden widget gets its resize events only when shown, so the size is checked here.
  const int w = width(), h = height();
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

TRect TImage32::PlacedBitmapRect() {
  UpdateCache();
  return cachedPlaced_;
}

TPoint TImage32::ViewToBitmap(TPoint P) {
  UpdateCache();
  return {SaturatedInt(std::trunc((static_cast<float>(P.X) - shiftX_) * recipScaleX_)),
          SaturatedInt(std::trunc((static_cast<float>(P.Y) - shiftY_) * recipScaleY_))};
}

void TImage32::GetBitmapScale(float& X, float& Y) {
  UpdateCache();
  X = cachedScaleX_;
  Y = cachedScaleY_;
}

void TImage32::GetBitmapShift(float& X, float& Y) {
  UpdateCache();
  X = shiftX_;
  Y = shiftY_;
}

void TImage32::ApplyAutoSize() {
  if (!autoSize_) return;
  int sw = bitmap_.Width(), sh = bitmap_.Height();
  if (scaleMode_ == smScale) {
    sw = SaturatedInt(std::nearbyint(static_cast<double>(sw) * scaleX_));
    sh = SaturatedInt(std::nearbyint(static_cast<double>(sh) * scaleY_));
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
  const TColor32 c = WinColor(color_);
  const int w = width(), h = height();
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

void TImage32::DrawBitmap() {
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

void TImage32::DrawLayers(std::uint32_t Mask) {
  for (int i = 0; i < layers_.Count(); ++i) {
    TCustomLayer& l = layers_.Items(i);
    if (l.LayerOptions() & Mask) l.Paint(buffer_);
  }
}

void TImage32::ComposeBuffer() {
  if (bufferValid_ && buffer_.Width() == width() && buffer_.Height() == height()) return;
  buffer_.Resize(width(), height());
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

void TImage32::RunPaintStages() {
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

void TImage32::paintEvent(QPaintEvent*) {
  ComposeBuffer();
  if (buffer_.Empty()) return;
  // RGB32 ignores the alpha byte: the frame reaches the screen opaque.
  const QImage frame(reinterpret_cast<const uchar*>(buffer_.Bits()), buffer_.Width(),
                     buffer_.Height(), buffer_.Width() * 4, QImage::Format_RGB32);
  QPainter painter(this);
  painter.drawImage(0, 0, frame);
}

}  // namespace kelta::gfx
