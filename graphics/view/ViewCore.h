// ViewCore: a TBitmap32 and a stack of layers above it, placed and scaled in a viewport of its
// own size, and every frame composed by the paint stages into an off-screen TBitmap32. No
// window system: a window control (TImage32 on Qt, a native window elsewhere) supplies the
// size and shows Buffer(); without one, SetViewSize sets the viewport and ComposeBuffer makes
// the frame.
//
// Threading: one thread at a time (the GUI thread when a window shows it).
#pragma once

#include "graphics/core/Bitmap32.h"
#include "graphics/core/Color32.h"
#include "graphics/view/Layers.h"

#include <vector>

namespace kelta::gfx {

enum TBitmapAlign { baTopLeft, baCenter, baTile, baCustom };
enum TScaleMode { smNormal, smStretch, smScale, smResize, smOptimal, smOptimalScaled };
enum TRepaintMode { rmFull, rmDirect, rmOptimizer };

enum TPaintStageKind {
  PST_CUSTOM,
  PST_CLEAR_BUFFER,
  PST_CLEAR_BACKGND,
  PST_DRAW_BITMAP,
  PST_DRAW_LAYERS,
  PST_CONTROL_FRAME,
  PST_BITMAP_FRAME
};

struct TPaintStage {
  bool DsgnTime;
  bool RunTime;
  TPaintStageKind Stage;
  std::uint32_t Parameter;
};

class ViewCore {
 public:
  ViewCore();
  virtual ~ViewCore();
  ViewCore(const ViewCore&) = delete;
  ViewCore& operator=(const ViewCore&) = delete;

  TBitmap32& Bitmap() { return bitmap_; }
  const TBitmap32& Bitmap() const { return bitmap_; }
  TLayerCollection& Layers() { return layers_; }

  TBitmapAlign BitmapAlign() const { return bitmapAlign_; }
  void SetBitmapAlign(TBitmapAlign V);
  TScaleMode ScaleMode() const { return scaleMode_; }
  void SetScaleMode(TScaleMode V);
  float ScaleX() const { return scaleX_; }
  float ScaleY() const { return scaleY_; }
  void SetScale(float V);
  void SetScaleXY(float X, float Y);
  // Offsets used by baCustom.
  void SetOffset(float X, float Y);
  // On: the viewport takes the (scaled) bitmap's size whenever either changes.
  bool AutoSize() const { return autoSize_; }
  void SetAutoSize(bool V);
  // Background: a window-system colour, system colours looked up when painting.
  TWinColor Color() const { return color_; }
  void SetColor(TWinColor V);
  std::vector<TPaintStage>& PaintStages() { return paintStages_; }
  // A change of the view composes the whole frame again; only InvalidateBitmapArea narrows
  // the work to what a change of bitmap pixels shows. The optimized modes are not offered.
  TRepaintMode RepaintMode() const { return repaintMode_; }

  // Suppress change-driven repaints; EndUpdate triggers none itself. An unpaired
  // EndUpdate raises EAssertionFailed "Unpaired EndUpdate call".
  void BeginUpdate() { ++updateCount_; }
  void EndUpdate();
  int UpdateCount() const { return updateCount_; }

  // The viewport's size: the window's when a window shows the view.
  virtual int ViewWidth() const { return viewWidth_; }
  virtual int ViewHeight() const { return viewHeight_; }
  // Resizes the viewport (a window control resizes its window); negative sizes count as 0.
  virtual void SetViewSize(int Width, int Height);
  TRect ViewportRect() const { return {0, 0, ViewWidth(), ViewHeight()}; }
  TRect PlacedBitmapRect();
  TPoint ViewToBitmap(TPoint P);
  void GetBitmapScale(float& X, float& Y);
  void GetBitmapShift(float& X, float& Y);

  // Bitmap or layer list changed: when not inside an update bracket, invalidate, then
  // DoChange. Inside one the change is held: the next InvalidateBitmapArea then
  // invalidates the whole view. The bitmap's own change events inside a bracket are not
  // held: whoever brackets bitmap drawing reports it, by Repaint or by area.
  void Changed();
  // Buffer-valid flag cleared (the whole frame) and a repaint requested.
  void Invalidate();
  // Invalidate and paint at once (without a window: compose the buffer now).
  void Repaint();
  // Bitmap pixels inside Area (bitmap coordinates) changed, and none outside it since the
  // view was last invalidated: only the part of the viewport showing Area is recomposed,
  // the rest of the buffer is kept. The whole view is invalidated instead when the bitmap
  // is scaled or tiled, or a change was held in an update bracket. Requests a repaint of
  // that part; no DoChange.
  void InvalidateBitmapArea(const TRect& Area);
  // Paints what is invalid at once (without a window: compose the buffer now).
  void RepaintInvalid() { PaintInvalidNow(); }
  // The buffer holds the current frame: nothing invalid, whole or in part.
  bool BufferValid() const { return bufferValid_ && invalidAreas_.empty(); }
  // Viewport areas to recompose while the rest of the buffer is valid; disjoint.
  const std::vector<TRect>& InvalidAreas() const { return invalidAreas_; }

  // Composes the frame into the off-screen buffer by the paint stages where it is not valid
  // (what painting does before the copy to the window): the whole buffer, or only the
  // invalid areas. The buffer has the viewport's size.
  void ComposeBuffer();
  const TBitmap32& Buffer() const { return buffer_; }
  // What the last ComposeBuffer that did anything recomposed (disjoint rectangles), and how
  // many did: a copy of the buffer kept in step needs to copy only those areas when the
  // count moved by one since its last copy.
  const std::vector<TRect>& ComposedAreas() const { return composedAreas_; }
  std::uint64_t ComposeCount() const { return composeCount_; }

 protected:
  // What a window adds: a repaint request for later, a paint now, the change event.
  virtual void RequestPaint() {}
  // A repaint request for a part of the viewport only.
  virtual void RequestAreaPaint(const TRect& Area) {
    (void)Area;
    RequestPaint();
  }
  virtual void PaintNow() { ComposeBuffer(); }
  // Paints the invalid part (InvalidAreas, or the whole when the buffer is invalid) now.
  virtual void PaintInvalidNow() { ComposeBuffer(); }
  virtual void DoChange() {}
  // The viewport's size changed behind the view's back (a window resized).
  void ViewResized();

 private:
  void UpdateCache();
  void InvalidateCache() { cacheValid_ = false; }
  void BitmapResized();
  void ApplyAutoSize();
  void ClearBackground();
  void DrawBitmap();
  void DrawLayers(std::uint32_t Mask);
  void RunPaintStages();
  void ComposeArea(const TRect& Area);
  void BitmapChanged();

  static constexpr int kBandRows = 16;

  TBitmap32 bitmap_;
  TBitmap32 buffer_;
  TLayerCollection layers_;
  TBitmapAlign bitmapAlign_ = baCenter;
  TScaleMode scaleMode_ = smNormal;
  TRepaintMode repaintMode_ = rmFull;
  float scaleX_ = 1, scaleY_ = 1;
  float offsetX_ = 0, offsetY_ = 0;
  bool autoSize_ = false;
  TWinColor color_ = clBtnFace;
  std::vector<TPaintStage> paintStages_;
  int updateCount_ = 0;
  bool bufferValid_ = false;
  bool heldChange_ = false;
  std::vector<TRect> invalidAreas_;
  std::vector<TRect> composedAreas_;
  std::uint64_t composeCount_ = 0;
  int viewWidth_ = 0, viewHeight_ = 0;

  bool cacheValid_ = false;
  int cachedWidth_ = 0, cachedHeight_ = 0;
  TRect cachedPlaced_;
  float shiftX_ = 0, shiftY_ = 0;
  float cachedScaleX_ = 1, cachedScaleY_ = 1;
  float recipScaleX_ = 1, recipScaleY_ = 1;
};

}  // namespace kelta::gfx
