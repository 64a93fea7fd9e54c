#include "graphics/dial/DialComposer.h"

#include "graphics/core/Transformation.h"
#include "graphics/core/Transformer.h"
#include "graphics/png/PngLoader.h"

#include <utility>

namespace kelta::gfx {
namespace {

// Keeps Dst's update bracket paired even when drawing fails, so that a failed frame cannot
// leave the view deaf to every later change.
class TUpdateBracket {
 public:
  explicit TUpdateBracket(TImage32& View) : View_(View) { View_.BeginUpdate(); }
  ~TUpdateBracket() { View_.EndUpdate(); }
  TUpdateBracket(const TUpdateBracket&) = delete;
  TUpdateBracket& operator=(const TUpdateBracket&) = delete;

 private:
  TImage32& View_;
};

void SetupView(TImage32& View, TDrawMode Mode, const char* Resampler, TWinColor Color,
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

void SetupDialViews(const TDialViews& Views) {
  SetupView(Views.Src, dmBlend, "TLinearResampler", clWindowFrame, true);
  SetupView(Views.ivBGR, dmOpaque, "TNearestResampler", cl3DDkShadow, false);
  SetupView(Views.Dst, dmOpaque, "TNearestResampler", cl3DDkShadow, true);
}

TDialComposer::TDialComposer(const TDialViews& Views, std::string NeedleFileName)
    : Dst_(Views.Dst),
      Src_(Views.Src),
      ivBGR_(Views.ivBGR),
      NeedleFileName_(std::move(NeedleFileName)) {
  SetupDialViews(Views);
}

void TDialComposer::LoadDialImages(const std::string& FileName) {
  bool AlphaUsed = false;
  LoadPngFile(Src_.Bitmap(), NeedleFileName_, AlphaUsed);
  LoadPngFile(ivBGR_.Bitmap(), FileName, AlphaUsed);
  TBitmap32& Dial = ivBGR_.Bitmap();
  Dst_.Bitmap().SetSize(Dial.Width(), Dial.Height());
  // Bilinear sampling then fades to transparent at the needle picture's edge.
  ClearBorderAlpha(Src_.Bitmap(), Src_.Bitmap().BoundsRect());

  TBitmapLayer& Layer = Dst_.Layers().Add<TBitmapLayer>();
  try {
    Layer.Bitmap().CopyFrom(Dial);
    Layer.Bitmap().SetDrawMode(dmBlend);
    const TRect Viewport = Dst_.ViewportRect();
    const TPoint Centre = Dst_.ViewToBitmap(
        {(Viewport.Left + Viewport.Right) / 2, (Viewport.Top + Viewport.Bottom) / 2});
    const float HalfW = static_cast<float>(Layer.Bitmap().Width()) / 2;
    const float HalfH = static_cast<float>(Layer.Bitmap().Height()) / 2;
    const auto X = static_cast<float>(Centre.X), Y = static_cast<float>(Centre.Y);
    Layer.SetLayerRect({X - HalfW, Y - HalfH, X + HalfW, Y + HalfH});
    Layer.SetScaled(true);
  } catch (...) {
    Dst_.Layers().Delete(&Layer);
    throw;
  }
  DrawDial(0);
}

void TDialComposer::DrawDial(float Angle) {
  TBitmap32& Needle = Src_.Bitmap();
  TAffineTransformation T;
  T.SetSrcRect({0, 0, static_cast<float>(Needle.Width()), static_cast<float>(Needle.Height())});
  T.ResetToIdentity();
  T.RotateAbout(kNeedlePivotX, kNeedlePivotY, Angle);
  T.Translate(kNeedleShiftX, kNeedleShiftY);
  {
    TUpdateBracket Bracket(Dst_);
    Dst_.Bitmap().Fill(kDialClearColor);
    DrawTransformed(Dst_.Bitmap(), Needle, T);
  }
  Dst_.Repaint();
}

}  // namespace kelta::gfx
