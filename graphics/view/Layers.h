// Layers of a view (ViewCore): an ordered collection owned by the view (index 0 painted first),
// and the positioned bitmap layer that carries a dial picture.
//
// Threading: GUI thread only.
#pragma once

#include "graphics/core/AlphaRuns.h"
#include "graphics/core/Bitmap32.h"

#include <cstdint>
#include <memory>
#include <vector>

namespace kelta::gfx {

class ViewCore;
class TLayerCollection;

// Option mask bits.
constexpr std::uint32_t LOB_VISIBLE = 0x80000000u;       // painted by the draw-layers stage
constexpr std::uint32_t LOB_GDI_OVERLAY = 0x40000000u;   // paints on the window after the copy
constexpr std::uint32_t LOB_MOUSE_EVENTS = 0x20000000u;  // found by the under-mouse search

class TCustomLayer {
 public:
  explicit TCustomLayer(TLayerCollection& Collection) : collection_(&Collection) {}
  virtual ~TCustomLayer() = default;
  TCustomLayer(const TCustomLayer&) = delete;
  TCustomLayer& operator=(const TCustomLayer&) = delete;

  TLayerCollection& Collection() const { return *collection_; }
  int Index() const;

  std::uint32_t LayerOptions() const { return layerOptions_; }
  void SetLayerOptions(std::uint32_t V);
  bool Visible() const { return (layerOptions_ & LOB_VISIBLE) != 0; }

  // Paints into the view's off-screen buffer (the draw-layers stage), touching only the
  // buffer's clip rectangle: the view composes a frame in bands of rows.
  virtual void Paint(TBitmap32& Buffer) { (void)Buffer; }

  // Tells the view to repaint.
  void Changed();

 protected:
  TLayerCollection* collection_;
  std::uint32_t layerOptions_ = LOB_VISIBLE;
};

class TPositionedLayer : public TCustomLayer {
 public:
  explicit TPositionedLayer(TLayerCollection& Collection) : TCustomLayer(Collection) {
    layerOptions_ = LOB_VISIBLE | LOB_MOUSE_EVENTS;
  }

  const TFloatRect& LayerRect() const { return layerRect_; }
  void SetLayerRect(const TFloatRect& R);
  bool Scaled() const { return scaled_; }
  void SetScaled(bool V);

  // LayerRect in view coordinates: with Scaled on each x edge * scale x + shift x (and so
  // for y); otherwise unchanged.
  TFloatRect GetAdjustedLocation() const;

 protected:
  TFloatRect layerRect_{0, 0, 64, 64};
  bool scaled_ = false;
};

// A change notification of the layer's bitmap repaints the view. The run index the bitmap
// is blended with is rebuilt whenever the bitmap's change counter moved, whatever events
// fired: changes inside an update bracket and bare pixel writes are painted as they are.
class TBitmapLayer : public TPositionedLayer {
 public:
  explicit TBitmapLayer(TLayerCollection& Collection);
  ~TBitmapLayer() override;

  TBitmap32& Bitmap() { return bitmap_; }
  const TBitmap32& Bitmap() const { return bitmap_; }

  // Edges rounded to the nearest integer (ties to even), clipped to the buffer, then the
  // bitmap stretch-drawn with its own resampler and draw mode (same size: BlockDraw).
  void Paint(TBitmap32& Buffer) override;

 private:
  void BitmapChanged();

  TBitmap32 bitmap_;
  TAlphaRunIndex runs_;
  // The bitmap's ChangeCount() when runs_ was built.
  std::uint64_t runsChangeCount_ = 0;
};

class TLayerCollection {
 public:
  explicit TLayerCollection(ViewCore* Owner = nullptr) : owner_(Owner) {}
  ~TLayerCollection();
  TLayerCollection(const TLayerCollection&) = delete;
  TLayerCollection& operator=(const TLayerCollection&) = delete;

  int Count() const { return static_cast<int>(items_.size()); }
  TCustomLayer& Items(int Index) const { return *items_.at(static_cast<std::size_t>(Index)); }
  int IndexOf(const TCustomLayer* Layer) const;

  // A new layer above every layer already there.
  template <class TLayer>
  TLayer& Add() {
    auto layer = std::make_unique<TLayer>(*this);
    TLayer& ref = *layer;
    items_.push_back(std::move(layer));
    Changed();
    return ref;
  }
  // Destroys the layer (no-op for a layer of another collection).
  void Delete(TCustomLayer* Layer);
  void Clear();

  ViewCore* Owner() const { return owner_; }
  // The owner view's current scale and shift (1 and 0 without a view).
  void GetViewportScale(float& ScaleX, float& ScaleY) const;
  void GetViewportShift(float& ShiftX, float& ShiftY) const;

  // The list or a layer changed: the owner view repaints.
  void Changed();

 private:
  ViewCore* owner_;
  std::vector<std::unique_ptr<TCustomLayer>> items_;
};

}  // namespace kelta::gfx
