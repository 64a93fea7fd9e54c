#include "graphics/view/Layers.h"

#include "graphics/core/Draw.h"
#include "graphics/view/ViewCore.h"

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

int TCustomLayer::Index() const { return collection_->IndexOf(this); }

void TCustomLayer::SetLayerOptions(std::uint32_t V) {
  if (V == layerOptions_) return;
  layerOptions_ = V;
  Changed();
}

void TCustomLayer::Changed() { collection_->Changed(); }

// ---- TPositionedLayer --------------------------------------------------------------------

void TPositionedLayer::SetLayerRect(const TFloatRect& R) {
  if (R == layerRect_) return;
  layerRect_ = R;
  Changed();
}

void TPositionedLayer::SetScaled(bool V) {
  if (V == scaled_) return;
  scaled_ = V;
  Changed();
}

TFloatRect TPositionedLayer::GetAdjustedLocation() const {
  if (!scaled_ || !collection_->Owner()) return layerRect_;
  float sx, sy, dx, dy;
  collection_->GetViewportScale(sx, sy);
  collection_->GetViewportShift(dx, dy);
  return {layerRect_.Left * sx + dx, layerRect_.Top * sy + dy, layerRect_.Right * sx + dx,
          layerRect_.Bottom * sy + dy};
}

// ---- TBitmapLayer ------------------------------------------------------------------------

TBitmapLayer::TBitmapLayer(TLayerCollection& Collection) : TPositionedLayer(Collection) {
  bitmap_.OnAreaChanged = [this](TCustomBitmap32&, const TRect&) { BitmapChanged(); };
  bitmap_.OnChange = [this](TNotifiablePersistent&) { BitmapChanged(); };
}

void TBitmapLayer::BitmapChanged() { Changed(); }

TBitmapLayer::~TBitmapLayer() {
  bitmap_.OnAreaChanged = nullptr;
  bitmap_.OnChange = nullptr;
}

void TBitmapLayer::Paint(TBitmap32& Buffer) {
  if (bitmap_.Empty()) return;
  const TFloatRect l = GetAdjustedLocation();
  const TRect dstRect{RoundEdge(l.Left), RoundEdge(l.Top), RoundEdge(l.Right), RoundEdge(l.Bottom)};
  const TRect clip = Intersect(Intersect(Buffer.ClipRect(), dstRect), Buffer.BoundsRect());
  if (clip.IsEmpty()) return;
  // At its own size with the plain row blend (the dial's case) the clear and opaque runs
  // of the bitmap are settled without reading or blending them; the pixels are those of
  // BlockDraw's BlendRow.
  if (dstRect.Width() == bitmap_.Width() && dstRect.Height() == bitmap_.Height() &&
      bitmap_.DrawMode() == dmBlend && bitmap_.MasterAlpha() == 255) {
    const TBitmap32& pixels = bitmap_;  // read only: the const accessors count no change
    if (!runs_.Built() || runsChangeCount_ != pixels.ChangeCount() ||
        runs_.Width() != pixels.Width() || runs_.Height() != pixels.Height()) {
      runs_.Build(pixels);
      runsChangeCount_ = pixels.ChangeCount();
    }
    const TRect srcRect{clip.Left - dstRect.Left, clip.Top - dstRect.Top, clip.Right - dstRect.Left,
                        clip.Bottom - dstRect.Top};
    runs_.BlendRows(Buffer, clip.Left, clip.Top, bitmap_, srcRect);
    Buffer.AreaChanged(dstRect);
    return;
  }
  StretchDraw(&Buffer, dstRect, clip, &bitmap_, bitmap_.BoundsRect(), bitmap_.Resampler(),
              bitmap_.DrawMode(), bitmap_.OnPixelCombine);
}

// ---- TLayerCollection --------------------------------------------------------------------

TLayerCollection::~TLayerCollection() {
  owner_ = nullptr;  // nobody to tell while the layers go
  items_.clear();
}

int TLayerCollection::IndexOf(const TCustomLayer* Layer) const {
  for (std::size_t i = 0; i < items_.size(); ++i)
    if (items_[i].get() == Layer) return static_cast<int>(i);
  return -1;
}

void TLayerCollection::Delete(TCustomLayer* Layer) {
  const auto it =
      std::find_if(items_.begin(), items_.end(), [&](const auto& P) { return P.get() == Layer; });
  if (it == items_.end()) return;
  std::unique_ptr<TCustomLayer> gone = std::move(*it);
  items_.erase(it);
  gone.reset();
  Changed();
}

void TLayerCollection::Clear() {
  if (items_.empty()) return;
  items_.clear();
  Changed();
}

void TLayerCollection::GetViewportScale(float& ScaleX, float& ScaleY) const {
  ScaleX = ScaleY = 1;
  if (owner_) owner_->GetBitmapScale(ScaleX, ScaleY);
}

void TLayerCollection::GetViewportShift(float& ShiftX, float& ShiftY) const {
  ShiftX = ShiftY = 0;
  if (owner_) owner_->GetBitmapShift(ShiftX, ShiftY);
}

void TLayerCollection::Changed() {
  if (owner_) owner_->Changed();
}

}  // namespace kelta::gfx
