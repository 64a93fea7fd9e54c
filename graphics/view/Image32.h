// TImage32: the window control that shows a TBitmap32 and a stack of layers above it. Every
// frame is composed into an off-screen TBitmap32 first and copied to the window opaque.
//
// Threading: GUI thread only, like every QWidget.
#pragma once

#include "graphics/core/Bitmap32.h"
#include "graphics/core/Color32.h"
#include "graphics/view/Layers.h"

#include <QWidget>

#include <functional>
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

class TImage32 : public QWidget {
 public:
  explicit TImage32(QWidget* Parent = nullptr);
  ~TImage32() override;

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
  bool AutoSize() const { return autoSize_; }
  void SetAutoSize(bool V);
  // Background: a window-system colour, system colours looked up when painting.
  TWinColor Color() const { return color_; }
  void SetColor(TWinColor V);
  std::vector<TPaintStage>& PaintStages() { return paintStages_; }
  // Every frame is composed whole; the optimized modes are not offered.
  TRepaintMode RepaintMode() const { return repaintMode_; }

  // Suppress change-driven repaints; EndUpdate triggers none itself. An unpaired
  // EndUpdate raises EAssertionFailed "Unpaired EndUpdate call".
  void BeginUpdate() { ++updateCount_; }
  void EndUpdate();
  int UpdateCount() const { return updateCount_; }

  TRect ViewportRect() const { return {0, 0, width(), height()}; }
  TRect PlacedBitmapRect();
  TPoint ViewToBitmap(TPoint P);
  void GetBitmapScale(float& X, float& Y);
  void GetBitmapShift(float& X, float& Y);

  // Bitmap or layer list changed: when not inside an update bracket, invalidate, then
  // OnChange.
  void Changed();
  // Buffer-valid flag cleared and a window repaint requested.
  void Invalidate();
  // Invalidate and paint at once.
  void Repaint();
  bool BufferValid() const { return bufferValid_; }

  // Composes the frame into the off-screen buffer by the paint stages if it is not valid
  // (what painting does before the copy to the window).
  void ComposeBuffer();
  const TBitmap32& Buffer() const { return buffer_; }

  std::function<void(TImage32& Sender)> OnChange;

 protected:
  void paintEvent(QPaintEvent* Event) override;
  void resizeEvent(QResizeEvent* Event) override;

 private:
  void UpdateCache();
  void InvalidateCache() { cacheValid_ = false; }
  void BitmapResized();
  void ApplyAutoSize();
  void ClearBackground();
  void DrawBitmap();
  void DrawLayers(std::uint32_t Mask);
  void RunPaintStages();

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

  bool cacheValid_ = false;
  int cachedWidth_ = 0, cachedHeight_ = 0;
  TRect cachedPlaced_;
  float shiftX_ = 0, shiftY_ = 0;
  float cachedScaleX_ = 1, cachedScaleY_ = 1;
  float recipScaleX_ = 1, recipScaleY_ = 1;
};

}  // namespace kelta::gfx
