#include "graphics/core/Draw.h"

#include "graphics/core/Blend.h"

#include <cstring>

namespace kelta::gfx {

namespace {

// Floor and ceiling of A / B for B > 0.
inline long long FloorDiv(long long A, long long B) { return A >= 0 ? A / B : -((-A + B - 1) / B); }

inline long long CeilDiv(long long A, long long B) { return -FloorDiv(-A, B); }

}  // namespace

void BlockDraw(TCustomBitmap32& Dst, int DstX, int DstY, const TCustomBitmap32& Src, TRect SrcRect,
               TDrawMode Mode, const TPixelCombineEvent& Combine) {
  if (Mode == dmCustom && !Combine) Mode = dmOpaque;
  // Cut the source to its bitmap and the destination to its clip, moving the other along.
  const TRect S0 = SrcRect;
  SrcRect = Intersect(SrcRect, Src.BoundsRect());
  DstX += SrcRect.Left - S0.Left;
  DstY += SrcRect.Top - S0.Top;
  TRect D{DstX, DstY, DstX + SrcRect.Width(), DstY + SrcRect.Height()};
  const TRect DC = Intersect(D, Dst.ClipRect());
  if (SrcRect.IsEmpty() || DC.IsEmpty()) return;
  const int SX = SrcRect.Left + (DC.Left - D.Left);
  const int SY = SrcRect.Top + (DC.Top - D.Top);
  const int W = DC.Width();
  const std::uint32_t Master = Src.MasterAlpha();
  const TColor32 Outer = Src.OuterColor();
  const TBlendFuncs& Funcs = BlendFuncs();
  for (int Y = 0; Y < DC.Height(); ++Y) {
    const TColor32* S = Src.PixelPtr(SX, SY + Y);
    TColor32* T = Dst.PixelPtr(DC.Left, DC.Top + Y);
    switch (Mode) {
      case dmOpaque:
        std::memmove(T, S, static_cast<std::size_t>(W) * sizeof(TColor32));
        break;
      case dmBlend:
        if (Master == 255)
          Funcs.BlendRow(S, T, W);
        else
          Funcs.BlendRowMaster(S, T, W, Master);
        break;
      case dmTransparent:
        for (int X = 0; X < W; ++X)
          if (S[X] != Outer) T[X] = S[X];
        break;
      case dmCustom:
        for (int X = 0; X < W; ++X) Combine(S[X], T[X], Master);
        break;
    }
  }
}

void StretchDraw(TCustomBitmap32* Dst, TRect DstRect, TRect DstClip, TCustomBitmap32* Src,
                 TRect SrcRect, TCustomResampler& Resampler, TDrawMode Mode,
                 const TPixelCombineEvent& Combine) {
  if (!Dst) throw EBitmapError("Destination bitmap is nil");
  if (!Src) throw EBitmapError("Source bitmap is nil");

  // A source rectangle reaching outside Src is cut, and DstRect shrinks in proportion:
  // left and top edges rounded up, right and bottom down, so nothing is drawn from outside.
  const long long SW = SrcRect.Width(), SH = SrcRect.Height();
  const long long DW = DstRect.Width(), DH = DstRect.Height();
  const TRect B = Src->BoundsRect();
  if (SW > 0 && SH > 0) {
    TRect D = DstRect;
    if (SrcRect.Left < B.Left)
      D.Left = static_cast<int>(DstRect.Left +
                                CeilDiv((B.Left - static_cast<long long>(SrcRect.Left)) * DW, SW));
    if (SrcRect.Top < B.Top)
      D.Top = static_cast<int>(DstRect.Top +
                               CeilDiv((B.Top - static_cast<long long>(SrcRect.Top)) * DH, SH));
    if (SrcRect.Right > B.Right)
      D.Right = static_cast<int>(
          DstRect.Right - CeilDiv((SrcRect.Right - static_cast<long long>(B.Right)) * DW, SW));
    if (SrcRect.Bottom > B.Bottom)
      D.Bottom = static_cast<int>(
          DstRect.Bottom - CeilDiv((SrcRect.Bottom - static_cast<long long>(B.Bottom)) * DH, SH));
    DstRect = D;
    SrcRect = Intersect(SrcRect, B);
  }

  if (Src->Empty() || Dst->Empty() || (Mode == dmBlend && Src->MasterAlpha() == 0) ||
      SrcRect.IsEmpty())
    return;
  DstClip = Intersect(Intersect(DstClip, Dst->BoundsRect()), DstRect);
  if (DstClip.IsEmpty()) return;
  if (Mode == dmCustom && !Combine) Mode = dmOpaque;

  if (DstRect.Width() == SrcRect.Width() && DstRect.Height() == SrcRect.Height()) {
    const TRect Part{SrcRect.Left + (DstClip.Left - DstRect.Left),
                     SrcRect.Top + (DstClip.Top - DstRect.Top),
                     SrcRect.Left + (DstClip.Right - DstRect.Left),
                     SrcRect.Top + (DstClip.Bottom - DstRect.Top)};
    BlockDraw(*Dst, DstClip.Left, DstClip.Top, *Src, Part, Mode, Combine);
  } else {
    Resampler.Resample(*Dst, DstRect, DstClip, SrcRect, Mode);
  }
  Dst->AreaChanged(DstRect);
}

}  // namespace kelta::gfx
