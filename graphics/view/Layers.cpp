#include "graphics/view/Layers.h"

#include "graphics/core/Draw.h"
#include "graphics/view/Image32.h"

#include <algorithm>
#include <cmath>

namespace kelta::gfx {

namespace {

// Round to nearest, ties to even, saturated.
int RoundEdge(float V) {
  const double r = std::nearbyint(static_cast<double>(V));
  if (!(r == r)) return 0;
  if (r >= 2147483647.0) return 2147483647;
  if (r <= -2147483648.0) return -2147483647 - 1;
  return static_cast<int>(r);
}

}  // namespace

// ---- TCustomLayer ------------------------------------------------------------------------

int TCustomLayer::Index() const { return Collection_->IndexOf(this); }

void TCustomLayer::SetLayerOptions(std::uint32_t V) {
  if (V == LayerOptions_) return;
  LayerOptions_ = V;
  Changed();
}

void TCustomLayer::Changed() { Collection_->Changed(); }

// ---- TPositionedLayer --------------------------------------------------------------------

void TPositionedLayer::SetLayerRect(const TFloatRect& R) {
  if (R == LayerRect_) return;
  LayerRect_ = R;
  Changed();
}

void TPositionedLayer::SetScaled(bool V) {
  if (V == Scaled_) return;
  Scaled_ = V;
  Changed();
}

TFloatRect TPositionedLayer::GetAdjustedLocation() const {
  if (!Scaled_ || !Collection_->Owner()) return LayerRect_;
  float sx, sy, dx, dy;
  Collection_->GetViewportScale(sx, sy);
  Collection_->GetViewportShift(dx, dy);
  return {LayerRect_.Left * sx + dx, LayerRect_.Top * sy + dy, LayerRect_.Right * sx + dx,
          LayerRect_.Bottom * sy + dy};
}

// ---- TBitmapLayer ------------------------------------------------------------------------

TBitmapLayer::TBitmapLayer(TLayerCollection& Collection) : TPositionedLayer(Collection) {
  Bitmap_.OnAreaChanged = [this](TCustomBitmap32&, const TRect&) { BitmapChanged(); };
  Bitmap_.OnChange = [this](TNotifiablePersistent&) { BitmapChanged(); };
}

void TBitmapLayer::BitmapChanged() { Changed(); }

TBitmapLayer::~TBitmapLayer() {
  Bitmap_.OnAreaChanged = nullptr;
  Bitmap_.OnChange = nullptr;
}

void TBitmapLayer::Paint(TBitmap32& Buffer) {
  if (Bitmap_.Empty()) return;
  const TFloatRect l = GetAdjustedLocation();
  const TRect dstRect{RoundEdge(l.Left), RoundEdge(l.Top), RoundEdge(l.Right), RoundEdge(l.Bottom)};
  const TRect clip = Intersect(Intersect(Buffer.ClipRect(), dstRect), Buffer.BoundsRect());
  if (clip.IsEmpty()) return;
  // At its own size with the plain row blend (the dial's case) the clear and opaque runs
  // of the bitmap are settled without reading or blending them; the pixels are those of
  // BlockDraw's BlendRow.
  if (dstRect.Width() == Bitmap_.Width() && dstRect.Height() == Bitmap_.Height() &&
      Bitmap_.DrawMode() == dmBlend && Bitmap_.MasterAlpha() == 255) {
    const TBitmap32& pixels = Bitmap_;  // read only: the const accessors count no change
    if (!Runs_.Built() || RunsChangeCount_ != pixels.ChangeCount() ||
        Runs_.Width() != pixels.Width() || Runs_.Height() != pixels.Height()) {
      Runs_.Build(pixels);
      RunsChangeCount_ = pixels.ChangeCount();
    }
    const TRect srcRect{clip.Left - dstRect.Left, clip.Top - dstRect.Top, clip.Right - dstRect.Left,
                        clip.Bottom - dstRect.Top};
    Runs_.BlendRows(Buffer, clip.Left, clip.Top, Bitmap_, srcRect);
    Buffer.AreaChanged(dstRect);
    return;
  }
  StretchDraw(&Buffer, dstRect, clip, &Bitmap_, Bitmap_.BoundsRect(), Bitmap_.Resampler(),
              Bitmap_.DrawMode(), Bitmap_.OnPixelCombine);
}

// ---- TLayerCollection --------------------------------------------------------------------

TLayerCollection::~TLayerCollection() {
  Owner_ = nullptr;  // nobody to tell while the layers go
  Items_.clear();
}

int TLayerCollection::IndexOf(const TCustomLayer* Layer) const {
  for (std::size_t i = 0; i < Items_.size(); ++i)
    if (Items_[i].get() == Layer) return static_cast<int>(i);
  return -1;
}

void TLayerCollection::Delete(TCustomLayer* Layer) {
  const auto it =
      std::find_if(Items_.begin(), Items_.end(), [&](const auto& P) { return P.get() == Layer; });
  if (it == Items_.end()) return;
  std::unique_ptr<TCustomLayer> gone = std::move(*it);
  Items_.erase(it);
  gone.reset();
  Changed();
}

void TLayerCollection::Clear() {
  if (Items_.empty()) return;
  Items_.clear();
  Changed();
}

void TLayerCollection::GetViewportScale(float& ScaleX, float& ScaleY) const {
  ScaleX = ScaleY = 1;
  if (Owner_) Owner_->GetBitmapScale(ScaleX, ScaleY);
}

void TLayerCollection::GetViewportShift(float& ShiftX, float& ShiftY) const {
  ShiftX = ShiftY = 0;
  if (Owner_) Owner_->GetBitmapShift(ShiftX, ShiftY);
}

void TLayerCollection::Changed() {
  if (Owner_) Owner_->Changed();
}

}  // namespace kelta::gfx
