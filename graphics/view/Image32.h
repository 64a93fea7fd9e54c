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

  TBitmap32& Bitmap() { return Bitmap_; }
  const TBitmap32& Bitmap() const { return Bitmap_; }
  TLayerCollection& Layers() { return Layers_; }

  TBitmapAlign BitmapAlign() const { return BitmapAlign_; }
  void SetBitmapAlign(TBitmapAlign V);
  TScaleMode ScaleMode() const { return ScaleMode_; }
  void SetScaleMode(TScaleMode V);
  float ScaleX() const { return ScaleX_; }
  float ScaleY() const { return ScaleY_; }
  void SetScale(float V);
  void SetScaleXY(float X, float Y);
  // Offsets used by baCustom.
  void SetOffset(float X, float Y);
  bool AutoSize() const { return AutoSize_; }
  void SetAutoSize(bool V);
  // Background: a window-system colour, system colours looked up when painting.
  TWinColor Color() const { return Color_; }
  void SetColor(TWinColor V);
  std::vector<TPaintStage>& PaintStages() { return PaintStages_; }
  // Every frame is composed whole; the optimized modes are not offered.
  TRepaintMode RepaintMode() const { return RepaintMode_; }

  // Suppress change-driven repaints; EndUpdate triggers none itself. An unpaired
  // EndUpdate raises EAssertionFailed "Unpaired EndUpdate call".
  void BeginUpdate() { ++UpdateCount_; }
  void EndUpdate();
  int UpdateCount() const { return UpdateCount_; }

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
  bool BufferValid() const { return BufferValid_; }

  // Composes the frame into the off-screen buffer by the paint stages if it is not valid
  // (what painting does before the copy to the window).
  void ComposeBuffer();
  const TBitmap32& Buffer() const { return Buffer_; }

  std::function<void(TImage32& Sender)> OnChange;

 protected:
  void paintEvent(QPaintEvent* Event) override;
  void resizeEvent(QResizeEvent* Event) override;

 private:
  void UpdateCache();
  void InvalidateCache() { CacheValid_ = false; }
  void BitmapResized();
  void ApplyAutoSize();
  void ClearBackground();
  void DrawBitmap();
  void DrawLayers(std::uint32_t Mask);
  void RunPaintStages();

  static constexpr int kBandRows = 16;

  TBitmap32 Bitmap_;
  TBitmap32 Buffer_;
  TLayerCollection Layers_;
  TBitmapAlign BitmapAlign_ = baCenter;
  TScaleMode ScaleMode_ = smNormal;
  TRepaintMode RepaintMode_ = rmFull;
  float ScaleX_ = 1, ScaleY_ = 1;
  float OffsetX_ = 0, OffsetY_ = 0;
  bool AutoSize_ = false;
  TWinColor Color_ = clBtnFace;
  std::vector<TPaintStage> PaintStages_;
  int UpdateCount_ = 0;
  bool BufferValid_ = false;

  bool CacheValid_ = false;
  int CachedWidth_ = 0, CachedHeight_ = 0;
  TRect CachedPlaced_;
  float ShiftX_ = 0, ShiftY_ = 0;
  float CachedScaleX_ = 1, CachedScaleY_ = 1;
  float RecipScaleX_ = 1, RecipScaleY_ = 1;
};

}  // namespace kelta::gfx
