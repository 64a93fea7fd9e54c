#include "graphics/dial/DialComposer.h"

#include "graphics/core/Transformation.h"
#include "graphics/core/Transformer.h"
#include "graphics/png/PngLoader.h"

#include <utility>

namespace kelta::gfx {
namespace {

// Keeps Dst's update bracket paired even when drawing fails, so that a failed frame cannot
// leave the view deaf to every later change.
class UpdateBracket {
 public:
  explicit UpdateBracket(ViewCore& View) : view_(View) { view_.BeginUpdate(); }
  ~UpdateBracket() { view_.EndUpdate(); }
  UpdateBracket(const UpdateBracket&) = delete;
  UpdateBracket& operator=(const UpdateBracket&) = delete;

 private:
  ViewCore& view_;
};

void SetupView(ViewCore& View, TDrawMode Mode, const char* Resampler, TWinColor Color,
               bool AutoSize) {
  View.Bitmap().SetDrawMode(Mode);
  View.Bitmap().SetResamplerClassName(Resampler);
  View.SetBitmapAlign(baCenter);
  View.SetScaleMode(smNormal);
  View.SetScale(1.0f);
  View.SetColor(Color);
  View.SetAutoSize(AutoSize);
}

}  // namespace

void SetupDialViews(const DialViews& Views) {
  SetupView(Views.Src, dmBlend, "TLinearResampler", clWindowFrame, true);
  SetupView(Views.ivBGR, dmOpaque, "TNearestResampler", cl3DDkShadow, false);
  SetupView(Views.Dst, dmOpaque, "TNearestResampler", cl3DDkShadow, true);
}

DialComposer::DialComposer(const DialViews& Views, std::string NeedleFileName)
    : dst_(Views.Dst),
      src_(Views.Src),
      ivBGR_(Views.ivBGR),
      needleFileName_(std::move(NeedleFileName)) {
  SetupDialViews(Views);
}

void DialComposer::LoadDialImages(const std::string& FileName) {
  bool alphaUsed = false;
  LoadPngFile(src_.Bitmap(), needleFileName_, alphaUsed);
  LoadPngFile(ivBGR_.Bitmap(), FileName, alphaUsed);
  TBitmap32& dial = ivBGR_.Bitmap();
  dst_.Bitmap().SetSize(dial.Width(), dial.Height());
  // Bilinear sampling then fades to transparent at the needle picture's edge.
  ClearBorderAlpha(src_.Bitmap(), src_.Bitmap().BoundsRect());

  // One dial layer for the life of the view: a new picture (another range or mode) replaces
  // the old one instead of being stacked over it, where the old scale would show through
  // and every layer would cost memory and blending for good.
  TBitmapLayer* const existing = DialLayer();
  TBitmapLayer& layer = existing ? *existing : dst_.Layers().Add<TBitmapLayer>();
  try {
    layer.Bitmap().CopyFrom(dial);
    layer.Bitmap().SetDrawMode(dmBlend);
    const TRect viewport = dst_.ViewportRect();
    const TPoint centre = dst_.ViewToBitmap(
        {(viewport.Left + viewport.Right) / 2, (viewport.Top + viewport.Bottom) / 2});
    const float halfW = static_cast<float>(layer.Bitmap().Width()) / 2;
    const float halfH = static_cast<float>(layer.Bitmap().Height()) / 2;
    const auto x = static_cast<float>(centre.X), y = static_cast<float>(centre.Y);
    layer.SetLayerRect({x - halfW, y - halfH, x + halfW, y + halfH});
    layer.SetScaled(true);
  } catch (...) {
    if (!existing) dst_.Layers().Delete(&layer);
    throw;
  }
  dialLayer_ = &layer;
  DrawDial(0);
}

TBitmapLayer* DialComposer::DialLayer() const {
  // Only what is still in the collection counts: a view whose layers were cleared gets a new
  // dial layer on the next load.
  return dialLayer_ && dst_.Layers().IndexOf(dialLayer_) >= 0 ? dialLayer_ : nullptr;
}

void DialComposer::DrawDial(float Angle) {
  TBitmap32& needle = src_.Bitmap();
  TBitmap32& bitmap = dst_.Bitmap();
  // The bitmap is white but for the needle last drawn, inside needleArea_.
  const bool known = needleDrawn_ && bitmap.ChangeCount() == bitmapCount_;
  if (known && Angle == angle_ && needle.ChangeCount() == needleCount_ && dst_.BufferValid())
    return;
  TAffineTransformation t;
  t.SetSrcRect({0, 0, static_cast<float>(needle.Width()), static_cast<float>(needle.Height())});
  t.ResetToIdentity();
  t.RotateAbout(kNeedlePivotX, kNeedlePivotY, Angle);
  t.Translate(kNeedleShiftX, kNeedleShiftY);
  const TRect oldArea = needleArea_;
  needleDrawn_ = false;  // until the drawing below is through
  TRect area;
  {
    UpdateBracket bracket(dst_);
    area = TransformedArea(bitmap, needle, t);
    if (known) {
      // Clearing both areas makes the bitmap all white, as the whole fill would.
      const TRect clip = bitmap.ClipRect();
      for (const TRect& a : {oldArea, area}) {
        if (a.IsEmpty()) continue;
        bitmap.SetClipRect(Intersect(a, clip));
        bitmap.Fill(kDialClearColor);
      }
      bitmap.SetClipRect(clip);
    } else {
      bitmap.Fill(kDialClearColor);
    }
    DrawTransformed(bitmap, needle, t);
  }
  needleArea_ = area;
  bitmapCount_ = bitmap.ChangeCount();
  needleCount_ = needle.ChangeCount();
  angle_ = Angle;
  needleDrawn_ = true;
  if (!known) {
    dst_.Repaint();
    return;
  }
  dst_.InvalidateBitmapArea(oldArea);
  dst_.InvalidateBitmapArea(area);
  dst_.RepaintInvalid();
}

}  // namespace kelta::gfx
